// The block of named shared memory through which the recorder and the sound helper talk:
// 594 bytes, little-endian integers, ANSI strings zero-terminated in zero-filled fields.
// Portable: no <windows.h>; both sides copy the whole block in and out through these codecs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tqk::snd {

constexpr size_t kBlockBytes = 594;
constexpr size_t kPathField = 261;  // MAX_PATH + 1: room for 260 characters and a zero

// Field offsets, fixed by the other process.
constexpr size_t kOffCode = 0;
constexpr size_t kOffBits = 4;  // also the helper's process id in the handshake reply
constexpr size_t kOffSamplesPerSec = 8;
constexpr size_t kOffChannels = 12;
constexpr size_t kOffLengthSec = 16;
constexpr size_t kOffBufferKb = 20;
constexpr size_t kOffWavePath = 24;
constexpr size_t kOffScratchPath = 285;
constexpr size_t kOffAlignment = 546;
constexpr size_t kOffActualStartTime = 548;
constexpr size_t kOffStartTime = 552;
constexpr size_t kOffUnused = 556;
constexpr size_t kUnusedBytes = 38;

static_assert(kOffWavePath + kPathField == kOffScratchPath);
static_assert(kOffScratchPath + kPathField == kOffAlignment);
static_assert(kOffAlignment + 2 == kOffActualStartTime);
static_assert(kOffActualStartTime + 4 == kOffStartTime);
static_assert(kOffStartTime + 4 == kOffUnused);
static_assert(kOffUnused + kUnusedBytes == kBlockBytes);

// Values of the first field, the only synchronisation between the two processes.
enum SoundCode : int32_t {
    kCodeIdle = 0,       // helper: handshake reply / stop acknowledged; recorder: conversation over
    kCodeStart = 1,      // recorder: record with the parameters in the block
    kCodeStop = 3,       // recorder: stop recording
    kCodeDone = 4,       // helper: recording finished, WAV written
    kCodeExit = 5,       // anyone: the helper leaves its loop
    kCodeFailed = 6,     // helper: recording failed
    kCodeHandshake = 7,  // recorder: handshake request
};

// The name of the shared memory.
constexpr const char* kBlockNameUtf8 = "{1FF13A99-90A3-11d6-952A-000629195288}";

struct SoundHelperBlock {
    int32_t Code = 0;
    int32_t Bits = 0;  // helper's process id in the handshake reply
    int32_t SamplesPerSec = 0;
    int32_t Channels = 0;
    int32_t LengthSec = 0;
    int32_t BufferKb = 0;
    std::string WavePath;     // ANSI bytes, at most 260
    std::string ScratchPath;  // ANSI bytes, at most 260; empty = default in TEMP
    int32_t ActualStartTime = 0;
    int32_t StartTime = 0;
};

// Writes the whole block. False (and nothing written) when a path does not fit its field
// or holds a zero byte.
[[nodiscard]] bool EncodeBlock(const SoundHelperBlock& b, uint8_t out[kBlockBytes]);
// Reads the whole block; a path without a terminating zero is cut at its field's end.
SoundHelperBlock DecodeBlock(const uint8_t in[kBlockBytes]);
int32_t DecodeCode(const uint8_t in[kBlockBytes]);

// The helper's command line: one process id in decimal, blanks around it allowed.
// False for anything else (empty, signs, other characters, out of 32-bit range, zero).
[[nodiscard]] bool ParseProcessId(const std::string& commandLine, uint32_t* retPid);

// How a recorder's wait for the helper's reply ended.
enum class StopOutcome { Done, Failed, NoReply };

// The recorder's two-line message for an outcome (UTF-8); empty for Done.
std::string StopOutcomeMessageUtf8(StopOutcome outcome);

}  // namespace tqk::snd
