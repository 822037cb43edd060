// libFuzzer target for FrameSeeker: the record index made when the player opens a movie, the
// snapshots and the seeks over any bytes. Every frame a seek reaches must equal what reading
// the records in order gives, whatever route the seek took (snapshots, whole-frame records,
// the frame at hand), and a damaged record must give a code, never a crash.
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame_seek.h"
#include "tqk_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Frames up to the format's 1 GiB are the seeker's to allocate (two of them); above a few
    // MiB they only slow the fuzzer down without reaching new code.
    tqk::MovieHeader h;
    if (size >= tqk::kHeaderBytes && tqk::DecodeHeader(data, &h) == tqk::kOk &&
        tqk::FrameBytes(h) > (uint64_t{4} << 20))
        return 0;
    tqk::MemoryFile file(data, size);
    tqk::FrameSeeker seeker(size_t{1} << 16);  // small: the thinning runs too
    if (seeker.Open(&file) != tqk::kOk) return 0;
    const int32_t frames = seeker.Frames();
    if (size_t(frames) * seeker.FrameSize() > (size_t{64} << 20)) return 0;  // bounded work
    // The frames in order, as the reference.
    std::vector<std::vector<uint8_t>> ordered;
    for (int32_t n = 0; n < frames; ++n) {
        if (seeker.Seek(n) != tqk::kOk) break;
        ordered.emplace_back(seeker.Frame(), seeker.Frame() + seeker.FrameSize());
    }
    seeker.Prepare(frames + 1);
    // Backwards and skipping, through the snapshots.
    for (int32_t n = int32_t(ordered.size()) - 1; n >= 0; n -= 3) {
        if (seeker.Seek(n) != tqk::kOk) __builtin_trap();
        if (std::memcmp(seeker.Frame(), ordered[size_t(n)].data(), seeker.FrameSize()) != 0)
            __builtin_trap();
    }
    return 0;
}
