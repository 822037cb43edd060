// Building blocks of AVI export shared by the library and the tools: stream descriptions,
// frame sizes, and copying a WAV file's sound into a finished AVI. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "avi_writer.h"
#include "wav_reader.h"

namespace tqk::avi {

// Bytes of one bottom-up device-independent frame: rows padded to 4 bytes. 0 when a factor
// is not positive.
uint64_t DibFrameBytes(int32_t width, int32_t height, int32_t bits);

// A BITMAPINFOHEADER (40 bytes), followed by the colour table when one is given (256 entries
// of blue, green, red, reserved).
std::vector<uint8_t> BitmapFormat(int32_t width, int32_t height, uint16_t bits,
                                  uint32_t compression, uint32_t imageSize,
                                  const uint8_t* colourTable);

StreamInfo VideoStream(uint32_t handler, int32_t width, int32_t height, uint32_t rate,
                       uint32_t announcedFrames, const std::string& name,
                       std::vector<uint8_t> format);
// The sound stream of a WAV file: one sample is one block.
StreamInfo AudioStream(const WavInfo& wav);

// The library's code for a writer status.
int32_t ToAviError(Status s);

// Progress of copying sound: (samples copied, total samples).
using Progress = std::function<void(int32_t position, int32_t total)>;

// Copies every sample of the WAV file into the finished AVI as a second stream. The AVI must
// exist (nothing is created otherwise). Returns 0 or the library's code.
int32_t AddWaveToAvi(const std::string& aviUtf8, const std::string& wavUtf8,
                     const Progress& progress, uint64_t segmentBytes = kDefaultSegmentBytes);
// The same on files already open (the AVI for reading and writing).
int32_t AddWaveToAvi(RandomFile& avi, RandomFile& wav, const Progress& progress,
                     uint64_t segmentBytes = kDefaultSegmentBytes);

}  // namespace tqk::avi
