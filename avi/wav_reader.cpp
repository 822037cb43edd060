#include "wav_reader.h"

#include <algorithm>

namespace tqk::avi {

namespace {

uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
bool Is(const uint8_t* p, const char* tag) {
    return p[0] == tag[0] && p[1] == tag[1] && p[2] == tag[2] && p[3] == tag[3];
}

}  // namespace

WavStatus ReadWavInfo(RandomFile& file, WavInfo* info) {
    *info = WavInfo();
    const uint64_t size = file.Size();
    uint8_t head[12];
    if (size < 12) return WavStatus::kBadFormat;
    if (!file.ReadAt(0, head, 12)) return WavStatus::kReadFailed;
    if (!Is(head, "RIFF") || !Is(head + 8, "WAVE")) return WavStatus::kBadFormat;
    // Writers that stop early leave the RIFF size short or zero: the file's length decides.
    bool haveFormat = false, haveData = false;
    uint64_t dataBytes = 0;
    uint64_t pos = 12;
    for (int chunks = 0; pos + 8 <= size && chunks < 100000 && !(haveFormat && haveData);
         ++chunks) {
        uint8_t ck[8];
        if (!file.ReadAt(pos, ck, 8)) return WavStatus::kReadFailed;
        const uint64_t n = Load32(ck + 4);
        const uint64_t body = pos + 8;
        if (Is(ck, "fmt ") && !haveFormat) {
            if (n < 16 || n > kMaxWavFormatBytes || body + n > size) return WavStatus::kBadFormat;
            info->format.resize(size_t(n));
            if (!file.ReadAt(body, info->format.data(), info->format.size()))
                return WavStatus::kReadFailed;
            haveFormat = true;
        } else if (Is(ck, "data") && !haveData) {
            info->dataOffset = body;
            dataBytes = std::min<uint64_t>(n, size - body);
            haveData = true;
        }
        pos = body + n + (n & 1);
    }
    if (!haveFormat || !haveData) return WavStatus::kBadFormat;
    const uint8_t* f = info->format.data();
    info->formatTag = Load16(f);
    info->channels = Load16(f + 2);
    info->samplesPerSec = Load32(f + 4);
    info->avgBytesPerSec = Load32(f + 8);
    info->blockAlign = Load16(f + 12);
    info->bitsPerSample = Load16(f + 14);
    if (info->channels == 0 || info->samplesPerSec == 0 || info->avgBytesPerSec == 0 ||
        info->blockAlign == 0)
        return WavStatus::kBadFormat;
    info->samples = dataBytes / info->blockAlign;
    return WavStatus::kOk;
}

}  // namespace tqk::avi
