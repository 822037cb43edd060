// The WAV file that an export copies into an AVI: the reader, and the whole copy of its sound
// into a small finished AVI, as the AVI library does it.
#include <cstdint>
#include <cstdlib>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_writer.h"
#include "fuzz_memory_file.h"
#include "wav_reader.h"

namespace {

using tqk::fuzz::MemoryFile;

// A finished one-frame AVI of the suite's own writer, made once.
const std::vector<uint8_t>& SmallAvi() {
    static const std::vector<uint8_t> bytes = [] {
        MemoryFile f;
        tqk::avi::Writer w;
        const uint8_t frame[16 * 4 * 3] = {};
        if (w.Create(&f, tqk::avi::VideoStream(
                             tqk::avi::FourCC("DIB "), 16, 4, 10, 1, "v",
                             tqk::avi::BitmapFormat(16, 4, 24, 0, sizeof frame, nullptr))) !=
                tqk::avi::Status::kOk ||
            w.WriteChunk(0, frame, sizeof frame, true) != tqk::avi::Status::kOk ||
            w.Close() != tqk::avi::Status::kOk)
            std::abort();
        return f.data;
    }();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile wavFile(data, size);
    tqk::avi::WavInfo info;
    const tqk::avi::WavStatus st = tqk::avi::ReadWavInfo(wavFile, &info);
    if (st == tqk::avi::WavStatus::kReadFailed) std::abort();  // every read lies within the file
    if (st == tqk::avi::WavStatus::kOk) {
        if (info.format.size() < 16 || info.format.size() > tqk::avi::kMaxWavFormatBytes ||
            info.blockAlign == 0 || info.dataOffset > size ||
            info.samples * info.blockAlign > size - info.dataOffset)
            std::abort();
    }
    MemoryFile aviFile;
    aviFile.data = SmallAvi();
    const int32_t rc = tqk::avi::AddWaveToAvi(aviFile, wavFile, nullptr);
    if (st != tqk::avi::WavStatus::kOk && rc == tqk::avi::kAviOk) std::abort();
    if (rc == tqk::avi::kAviOk) {
        // The file took its second stream and stays one this writer can read back.
        tqk::avi::Writer again;
        MemoryFile copy;
        copy.data = aviFile.data;
        if (again.OpenToAddStream(&copy, tqk::avi::AudioStream(info)) != tqk::avi::Status::kNoRoom)
            std::abort();
    }
    return 0;
}
