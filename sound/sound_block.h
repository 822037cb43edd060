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
constexpr size_t kOffProgress = 556;  // with status 8: thousandths of the WAV written
// With 9 and 11: the moment (PerfMillis, whole ms); with 3: the most milliseconds of recorded
// sound to keep (0: all).
constexpr size_t kOffMoment = 560;
constexpr size_t kOffUnused = 564;
constexpr size_t kUnusedBytes = 30;

static_assert(kOffWavePath + kPathField == kOffScratchPath);
static_assert(kOffScratchPath + kPathField == kOffAlignment);
static_assert(kOffAlignment + 2 == kOffActualStartTime);
static_assert(kOffActualStartTime + 4 == kOffStartTime);
static_assert(kOffStartTime + 4 == kOffProgress);
static_assert(kOffProgress + 4 == kOffMoment);
static_assert(kOffMoment + 4 == kOffUnused);
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
    // helper: stopped, taking the device's last sound and writing the WAV; 4 or 6 follows.
    // An addition: a recorder that does not know it asks for the stop again and times out
    // as before.
    kCodeWriting = 8,
    // Additions for pausing: the device records on, but no sound is kept from the moment of a
    // pause until the moment of the resume. The recorder writes the moment before the code and
    // waits for the reply; a helper that does not know them leaves them unanswered.
    kCodePause = 9,     // recorder: keep no sound from Moment on (PerfMillis, whole ms)
    kCodePaused = 10,   // helper: pause taken
    kCodeResume = 11,   // recorder: keep sound again from Moment on
    kCodeResumed = 12,  // helper: resume taken
};

// The name of the shared memory.
constexpr const char* kBlockNameUtf8 = "{1FF13A99-90A3-11d6-952A-000629195288}";
// The helper's instance mutex.
constexpr const char* kHelperInstanceNameUtf8 = "TaviroWave.{1FF13A99-90A3-11d6-952A-000629195288}";
// Owned by a helper whose recorder ended during a recording, from then until the helper ends:
// a recorder that starts meanwhile waits for that recording's WAV.
constexpr const char* kHelperOrphanNameUtf8 =
    "TaviroWave.Orphan.{1FF13A99-90A3-11d6-952A-000629195288}";

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
    int32_t Progress = 0;  // with kCodeWriting: 0..1000
    // With kCodePause / kCodeResume: the moment; with kCodeStop: the most milliseconds of
    // recorded sound to keep (0: all).
    int32_t Moment = 0;
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

// The helper takes the device's last sound for up to this long after the stop.
constexpr uint32_t kDrainLimitMs = 2500;
// What writing the WAV may take per second recorded, with room to spare: under Wine a minute
// of 48 kHz stereo sound is written (and laid back on the clock) in well under a second.
constexpr uint32_t kWritingMsPerSecond = 50;

// How long, from the end of the capture, the recorder waits for a helper that says it is
// writing a recording of lengthSec seconds: the reply time, the drain and the writing.
uint32_t WritingWaitMs(uint32_t replyMs, int32_t lengthSec);

// One look at the block while the recorder waits for the reply after the capture.
enum class StopStep {
    kDone,      // status 4: answer with 0
    kFailed,    // status 6: answer with 0, tell the user
    kNoReply,   // waited long enough: tell the user
    kSendStop,  // write the stop (3) over the code read
    kWait,      // the stop is there, or the helper is writing: look again
};
// sinceStopMs: time since the capture ended. A helper that has said it is writing (status 8,
// remembered in *writingSeen) is given writingMs instead of replyMs.
StopStep NextStopStep(int32_t code, double sinceStopMs, uint32_t replyMs, uint32_t writingMs,
                      bool* writingSeen);

// The recorder's two-line message for an outcome (UTF-8); empty for Done.
std::string StopOutcomeMessageUtf8(StopOutcome outcome);

}  // namespace tqk::snd
