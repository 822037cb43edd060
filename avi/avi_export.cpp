#include "avi_export.h"

#include <algorithm>
#include <cstring>

#include "avi_errors.h"

namespace tqk::avi {

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

int16_t Clamp16(int32_t v) { return int16_t(std::min<int32_t>(std::max<int32_t>(v, 0), 32767)); }

// Sound is copied in pieces of at most this many samples and bytes.
constexpr uint32_t kPieceSamples = 32768;
constexpr uint32_t kPieceBytes = 1u << 20;

}  // namespace

uint64_t DibFrameBytes(int32_t width, int32_t height, int32_t bits) {
    if (width <= 0 || height <= 0 || bits <= 0) return 0;
    const uint64_t stride = (uint64_t(width) * uint64_t(bits) + 31) / 32 * 4;
    return stride * uint64_t(height);
}

std::vector<uint8_t> BitmapFormat(int32_t width, int32_t height, uint16_t bits,
                                  uint32_t compression, uint32_t imageSize,
                                  const uint8_t* colourTable) {
    std::vector<uint8_t> b(colourTable ? 40 + 1024 : 40, 0);
    Put32(b, 0, 40);
    Put32(b, 4, uint32_t(width));
    Put32(b, 8, uint32_t(height));
    b[12] = 1;
    b[14] = uint8_t(bits);
    b[15] = uint8_t(bits >> 8);
    Put32(b, 16, compression);
    Put32(b, 20, imageSize);
    if (colourTable) {
        Put32(b, 32, 256);
        std::memcpy(&b[40], colourTable, 1024);
    }
    return b;
}

StreamInfo VideoStream(uint32_t handler, int32_t width, int32_t height, uint32_t rate,
                       uint32_t announcedFrames, const std::string& name,
                       std::vector<uint8_t> format) {
    StreamInfo s;
    s.fccType = FourCC("vids");
    s.fccHandler = handler;
    s.scale = 1;
    s.rate = rate;
    s.quality = 0xFFFFFFFFu;
    s.announcedLength = announcedFrames;
    s.width = Clamp16(width);
    s.height = Clamp16(height);
    s.name = name;
    s.format = std::move(format);
    return s;
}

StreamInfo AudioStream(const WavInfo& wav) {
    StreamInfo s;
    s.fccType = FourCC("auds");
    s.fccHandler = 0;
    s.scale = wav.blockAlign;
    s.rate = wav.avgBytesPerSec;
    s.sampleSize = wav.blockAlign;
    s.quality = 0xFFFFFFFFu;
    s.announcedLength = uint32_t(std::min<uint64_t>(wav.samples, 0xFFFFFFFFu));
    s.format = wav.format;
    return s;
}

int32_t ToAviError(Status s) {
    switch (s) {
    case Status::kOk: return kAviOk;
    case Status::kWriteFailed: return kAviErrFileWrite;
    case Status::kReadFailed: return kAviErrFileRead;
    case Status::kBadFormat: return kAviErrBadFormat;
    case Status::kNoRoom: return kAviErrUnsupported;
    case Status::kBadArgument: return kAviErrBadParam;
    case Status::kTooLarge: return kAviErrBadSize;
    }
    return kAviErrError;
}

int32_t AddWaveToAvi(const std::string& aviUtf8, const std::string& wavUtf8,
                     const Progress& progress, uint64_t segmentBytes) {
    // Opening for update never creates: a missing AVI stays missing.
    StdioFile aviFile;
    if (!aviFile.Open(aviUtf8, StdioFile::Mode::kReadWrite)) return kAviErrFileOpen;
    StdioFile wavFile;
    if (!wavFile.Open(wavUtf8, StdioFile::Mode::kRead)) return kAviErrFileOpen;
    int32_t result = AddWaveToAvi(aviFile, wavFile, progress, segmentBytes);
    if (!aviFile.Close() && result == kAviOk) result = kAviErrFileWrite;
    return result;
}

int32_t AddWaveToAvi(RandomFile& aviFile, RandomFile& wavFile, const Progress& progress,
                     uint64_t segmentBytes) {
    WavInfo wav;
    switch (ReadWavInfo(wavFile, &wav)) {
    case WavStatus::kOk: break;
    case WavStatus::kReadFailed: return kAviErrFileRead;
    case WavStatus::kBadFormat: return kAviErrBadFormat;
    }
    Writer writer;
    if (Status s = writer.OpenToAddStream(&aviFile, AudioStream(wav), segmentBytes);
        s != Status::kOk)
        return ToAviError(s);

    const int32_t total = int32_t(std::min<uint64_t>(wav.samples, 0x7FFFFFFF));
    if (progress) progress(0, total);
    const uint32_t pieceSamples =
        std::max<uint32_t>(1, std::min<uint32_t>(kPieceSamples, kPieceBytes / wav.blockAlign));
    std::vector<uint8_t> buffer(size_t(pieceSamples) * wav.blockAlign);
    int32_t result = kAviOk;
    for (uint64_t done = 0; done < wav.samples;) {
        const uint64_t n = std::min<uint64_t>(pieceSamples, wav.samples - done);
        const size_t bytes = size_t(n * wav.blockAlign);
        if (!wavFile.ReadAt(wav.dataOffset + done * wav.blockAlign, buffer.data(), bytes)) {
            result = kAviErrFileRead;
            break;
        }
        if (Status s = writer.WriteChunk(1, buffer.data(), bytes, true); s != Status::kOk) {
            result = ToAviError(s);
            break;
        }
        done += n;
        if (progress) progress(int32_t(std::min<uint64_t>(done, 0x7FFFFFFF)), total);
    }
    const Status closed = writer.Close();
    if (result == kAviOk) result = ToAviError(closed);
    return result;
}

}  // namespace tqk::avi
