// Finds the format and the sound data of a WAV file. Hostile files get an error, never a
// read past the file or an allocation sized by the file. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <vector>

#include "avi_file.h"

namespace tqk::avi {

struct WavInfo {
    std::vector<uint8_t> format;  // the "fmt " chunk as stored (WAVEFORMATEX or longer)
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint64_t dataOffset = 0;
    uint64_t samples = 0;  // whole blocks present in the file
};

enum class WavStatus { kOk, kReadFailed, kBadFormat };

// Largest "fmt " chunk accepted.
constexpr uint32_t kMaxWavFormatBytes = 1024;

[[nodiscard]] WavStatus ReadWavInfo(RandomFile& file, WavInfo* info);

}  // namespace tqk::avi
