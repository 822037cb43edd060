#include "wave_math.h"

#include <cmath>

namespace tqk::snd {
namespace {

uint64_t RoundUpTo(uint64_t v, uint64_t unit) { return (v + unit - 1) / unit * unit; }

}  // namespace

uint32_t HalfBufferBytes(int32_t bufferKb, uint32_t granularity) {
    const uint64_t g = granularity ? granularity : 65536;
    uint64_t half = bufferKb > 0 ? uint64_t(bufferKb) * 1024 / 2 : 0;
    if (half > kMaxHalfBufferBytes) half = kMaxHalfBufferBytes;
    if (half == 0) half = 1;
    return static_cast<uint32_t>(RoundUpTo(half, g));
}

bool MakePcmFormat(int32_t bits, int32_t samplesPerSec, int32_t channels, PcmFormat* ret) {
    if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return false;
    if (samplesPerSec < 1 || samplesPerSec > 192000) return false;
    PcmFormat f;
    f.Channels = static_cast<uint16_t>(channels);
    f.SamplesPerSec = static_cast<uint32_t>(samplesPerSec);
    f.BitsPerSample = static_cast<uint16_t>(bits);
    f.BlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.AvgBytesPerSec = f.BlockAlign * f.SamplesPerSec;
    *ret = f;
    return true;
}

void EncodeFmtChunk(const PcmFormat& f, uint8_t out[18]) {
    auto put16 = [&](int at, uint32_t v) {
        out[at] = uint8_t(v);
        out[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&](int at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    put16(0, 1);  // PCM
    put16(2, f.Channels);
    put32(4, f.SamplesPerSec);
    put32(8, f.AvgBytesPerSec);
    put16(12, f.BlockAlign);
    put16(14, f.BitsPerSample);
    put16(16, 0);
}

int32_t StartTimeAheadMs(int32_t startTime, int32_t nowMs) {
    if (startTime == 0) return 0;
    const auto ahead =
        static_cast<int32_t>(static_cast<uint32_t>(startTime) - static_cast<uint32_t>(nowMs));
    if (ahead <= 0) return 0;
    return ahead < kMaxStartWaitMs ? ahead : kMaxStartWaitMs;
}

int64_t ElapsedWholeMillis(double elapsedMs) {
    if (!(elapsedMs > 0)) return 0;
    return static_cast<int64_t>(std::llround(elapsedMs));
}

uint64_t SoundLengthBytes(int64_t elapsedMs, const PcmFormat& f, uint64_t capturedBytes) {
    if (elapsedMs <= 0 || f.BlockAlign == 0) return 0;
    // Round half up in integers: exact for any length a recording can have.
    uint64_t bytes = (uint64_t(elapsedMs) * f.AvgBytesPerSec + 500) / 1000;
    if (bytes > capturedBytes) bytes = capturedBytes;
    return bytes - bytes % f.BlockAlign;
}

uint32_t CopyPieceBytes(uint32_t granularity) {
    const uint64_t g = granularity ? granularity : 65536;
    return static_cast<uint32_t>(RoundUpTo(1048576, g));
}

std::string DefaultScratchPath(const std::string& tempFolder) {
    std::string p = tempFolder;
    if (p.empty() || p.back() != '\\') p += '\\';
    return p + "_waverec.wavtemp";
}

std::string FormatBytePosition(uint32_t bytes) {
    const std::string digits = std::to_string(bytes);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace tqk::snd
