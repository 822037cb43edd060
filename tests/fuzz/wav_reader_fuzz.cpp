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
        avi::Writer w;
        const uint8_t frame[16 * 4 * 3] = {};
        if (w.Create(&f, avi::VideoStream(avi::FourCC("DIB "), 16, 4, 10, 1, "v",
                                          avi::BitmapFormat(16, 4, 24, 0, sizeof frame,
                                                            nullptr))) != avi::Status::kOk ||
            w.WriteChunk(0, frame, sizeof frame, true) != avi::Status::kOk ||
            w.Close() != avi::Status::kOk)
            std::abort();
        return f.data;
    }();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile wavFile(data, size);
    avi::WavInfo info;
    const avi::WavStatus st = avi::ReadWavInfo(wavFile, &info);
    if (st == avi::WavStatus::kReadFailed) std::abort();  // every read lies within the file
    if (st == avi::WavStatus::kOk) {
        if (info.format.size() < 16 || info.format.size() > avi::kMaxWavFormatBytes ||
            info.blockAlign == 0 || info.dataOffset > size ||
            info.samples * info.blockAlign > size - info.dataOffset)
            std::abort();
    }
    MemoryFile aviFile;
    aviFile.data = SmallAvi();
    const int32_t rc = avi::AddWaveToAvi(aviFile, wavFile, nullptr);
    if (st != avi::WavStatus::kOk && rc == avi::kAviOk) std::abort();
    if (rc == avi::kAviOk) {
        // The file took its second stream and stays one this writer can read back.
        avi::Writer again;
        MemoryFile copy;
        copy.data = aviFile.data;
        if (again.OpenToAddStream(&copy, avi::AudioStream(info)) != avi::Status::kNoRoom)
            std::abort();
    }
    return 0;
}
