// Sizes and lengths of a wave-in recording: capture buffers, the PCM format, the sound length
// taken from the elapsed time, the pieces copied into the WAV file. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

namespace tqk::snd {

// A value from the shared block is trusted only up to this: 64 MiB per capture buffer is
// minutes of sound at any format, and the cap keeps a damaged block from sizing memory.
constexpr uint64_t kMaxHalfBufferBytes = uint64_t{64} << 20;

// Bytes of each of the two capture buffers for a buffer size given in kilobytes for both
// together: half of it, rounded up to a whole multiple of the allocation granularity (at
// least one granularity, at most kMaxHalfBufferBytes rounded the same way).
uint32_t HalfBufferBytes(int32_t bufferKb, uint32_t granularity);

struct PcmFormat {
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint16_t BitsPerSample = 0;
    uint16_t BlockAlign = 0;
    uint32_t AvgBytesPerSec = 0;
};

// The PCM format of a recording; false for what a wave-in device cannot record
// (bits other than 8/16, channels other than 1/2, rates outside 1..192000).
[[nodiscard]] bool MakePcmFormat(int32_t bits, int32_t samplesPerSec, int32_t channels,
                                 PcmFormat* ret);

// The 18 bytes of the "fmt " chunk (PCM WAVEFORMATEX with cbSize 0), little-endian.
void EncodeFmtChunk(const PcmFormat& f, uint8_t out[18]);

// The longest wait for a start time: the recorder sets it a fraction of a second ahead, so a
// value further out is damaged and must not hold the helper in its wait.
constexpr int32_t kMaxStartWaitMs = 10000;

// How far a start time from the shared block lies ahead of the clock, both as the block's
// 32-bit milliseconds (which wrap after 24.8 days of uptime, so the difference is taken on
// the wrapped values). 0 means start at once: no start time (0), or one already reached.
int32_t StartTimeAheadMs(int32_t startTime, int32_t nowMs);

// Whole milliseconds from a PerfMillis difference (rounded, never negative).
int64_t ElapsedWholeMillis(double elapsedMs);

// Bytes of sound for an elapsed time: round(ms / 1000 × bytes per second), never more than
// what was captured, and cut down to whole sample frames.
uint64_t SoundLengthBytes(int64_t elapsedMs, const PcmFormat& f, uint64_t capturedBytes);

// Bytes mapped per piece when copying the scratch file into the WAV file: 1 MiB rounded up
// to a whole multiple of the allocation granularity.
uint32_t CopyPieceBytes(uint32_t granularity);

// The scratch file used when the block names none: TEMP folder + "_waverec.wavtemp".
std::string DefaultScratchPath(const std::string& tempFolder);

// A byte position with thousands separators, as the diagnostic window shows it.
std::string FormatBytePosition(uint32_t bytes);

}  // namespace tqk::snd
