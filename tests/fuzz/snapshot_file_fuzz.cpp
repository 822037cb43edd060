// libFuzzer target for the snapshot file beside a movie: the input is a movie and a snapshot
// file (its first 4 bytes, little-endian, say how many of the following bytes are the movie;
// the rest is the file). Whether the file is refused or taken, every frame a seek reaches
// must equal what reading the records in order gives: a file that does not fit is ignored,
// a snapshot that does not read back right is skipped, and nothing crashes, hangs or
// allocates beyond what the file's own length holds.
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame_seek.h"
#include "snapshot_file.h"
#include "tqk_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const size_t movieBytes = std::min<size_t>(tqk::LoadLE32(data), size - 4);
    const uint8_t* movie = data + 4;
    const uint8_t* snap = movie + movieBytes;
    const size_t snapBytes = size - 4 - movieBytes;
    tqk::MovieHeader h;
    if (movieBytes >= tqk::kHeaderBytes && tqk::DecodeHeader(movie, &h) == tqk::kOk &&
        tqk::FrameBytes(h) > (uint64_t{4} << 20))
        return 0;  // large frames only slow the fuzzer down
    tqk::MemoryFile movieFile(movie, movieBytes);
    tqk::FrameSeeker reference(0);
    if (reference.Open(&movieFile) != tqk::kOk) return 0;
    const int32_t frames = reference.Frames();
    if (size_t(frames) * reference.FrameSize() > (size_t{64} << 20)) return 0;  // bounded work
    std::vector<std::vector<uint8_t>> ordered;
    for (int32_t n = 0; n < frames; ++n) {
        if (reference.Seek(n) != tqk::kOk) break;
        ordered.emplace_back(reference.Frame(), reference.Frame() + reference.FrameSize());
    }
    tqk::MemoryFile snapFile(snap, snapBytes);
    tqk::FrameSeeker seeker(size_t{1} << 16);
    if (seeker.Open(&movieFile) != tqk::kOk) __builtin_trap();
    (void)seeker.UseSnapshotFile(&snapFile);
    // Backwards and skipping, through the file's snapshots, then the walk for what it lacks.
    for (int pass = 0; pass < 2; ++pass) {
        for (int32_t n = int32_t(ordered.size()) - 1; n >= 0; n -= 2 + pass) {
            if (seeker.Seek(n) != tqk::kOk) __builtin_trap();
            if (std::memcmp(seeker.Frame(), ordered[size_t(n)].data(), seeker.FrameSize()) != 0)
                __builtin_trap();
        }
        seeker.Prepare(frames + 1);
    }
    return 0;
}
