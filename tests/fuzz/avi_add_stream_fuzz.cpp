// The AVI that sound is added to: the writer's reading of an existing file (its layout, the
// first segment's idx1, the later RIFF segments), then adding a short sound stream and closing,
// as the export does it. A file that opens must come out as one that opens again.
#include <cstdint>
#include <cstdlib>

#include "avi_export.h"
#include "avi_writer.h"
#include "fuzz_memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tqk::fuzz::MemoryFile;
    MemoryFile file(data, size);
    tqk::avi::WavInfo wav;
    wav.format = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0};
    wav.formatTag = 1;
    wav.channels = 1;
    wav.samplesPerSec = 8000;
    wav.avgBytesPerSec = 16000;
    wav.blockAlign = 2;
    wav.bitsPerSample = 16;
    // The second byte picks a segment size, so the adding also runs into segment ends.
    const uint64_t segment = size > 1 && (data[1] & 1) ? 0 : tqk::avi::kDefaultSegmentBytes;
    tqk::avi::Writer w;
    const tqk::avi::Status st = w.OpenToAddStream(&file, tqk::avi::AudioStream(wav), segment);
    if (st != tqk::avi::Status::kOk) return 0;
    const uint8_t sound[300] = {};
    for (int i = 0; i < 3; ++i)
        if (w.WriteChunk(1, sound, sizeof sound, true) != tqk::avi::Status::kOk) break;
    if (w.Close() != tqk::avi::Status::kOk) return 0;
    // The stream slot is now taken: the file is refused politely, never misread.
    MemoryFile again;
    again.data = file.data;
    tqk::avi::Writer w2;
    const tqk::avi::Status st2 = w2.OpenToAddStream(&again, tqk::avi::AudioStream(wav), segment);
    if (st2 != tqk::avi::Status::kNoRoom) std::abort();
    return 0;
}
