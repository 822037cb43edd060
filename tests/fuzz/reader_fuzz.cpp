// libFuzzer target for everything that reads movie bytes: GetTVRFileData's header checks,
// the playback checks, the record reader over a whole movie, and the in-place unpacker on a
// frame buffer of exactly F bytes (so AddressSanitizer sees any write past it); and the
// packer's round trip on frames cut from the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tqk_format.h"
#include "tvr_pack.h"

namespace {

// Movies whose frames exceed this are only checked, not read: a 1 GiB calloc per input
// would slow the fuzzer to a crawl without reaching any new code.
constexpr uint64_t kMaxFuzzFrameBytes = uint64_t{4} << 20;
constexpr uint64_t kMaxRecords = 256;

void ReadMovie(const uint8_t* data, size_t size) {
    tqk::MovieHeader info;
    const int32_t infoRc = tqk::CheckInfoBytes(size, data, size, &info);
    if (infoRc != tqk::kOk && infoRc != tqk::kErrBadFile && infoRc != tqk::kErrEmptyFile)
        std::abort();
    if (size < tqk::kHeaderBytes) return;
    tqk::MovieHeader h;
    if (tqk::DecodeHeader(data, &h) != tqk::kOk) return;
    if (infoRc == tqk::kOk && std::memcmp(&info, &h, sizeof h) != 0) std::abort();
    if (tqk::CheckHeaderForPlay(h) != tqk::kOk) return;
    const uint64_t F = tqk::FrameBytes(h);
    if (F == 0 || F > tqk::kMaxFrameBytes) std::abort();  // the checks must have refused it
    if (F > kMaxFuzzFrameBytes) return;

    tqk::MemorySource counted(data + tqk::kHeaderBytes, size - tqk::kHeaderBytes);
    const uint64_t whole = tqk::CountRecords(counted, kMaxRecords);

    tqk::FrameReader reader;
    if (reader.Start(h) != tqk::kOk) return;
    tqk::MemorySource src(data + tqk::kHeaderBytes, size - tqk::kHeaderBytes);
    const uint64_t n = std::min(tqk::FrameCount(h), kMaxRecords);
    uint64_t good = 0;
    for (; good < n; ++good) {
        const int32_t rc = reader.ReadNext(src);
        if (rc == tqk::kOk) continue;
        if (rc != tqk::kErrNoFrameTag && rc != tqk::kErrFrameSize) std::abort();
        break;
    }
    // Every record that decoded was a whole record.
    if (good > whole) std::abort();
}

void UnpackRaw(const uint8_t* data, size_t size) {
    if (size < 4) return;
    const size_t F = (tqk::LoadLE32(data) % 4096) * 4;
    // The frame's old bytes, made once: a byte loop per input would cost more than the unpack.
    static const std::vector<uint8_t> before = [] {
        std::vector<uint8_t> b(4096 * 4);
        for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i * 7);
        return b;
    }();
    // An exact-size heap block: AddressSanitizer flags the first byte written past F.
    uint8_t* frame = static_cast<uint8_t*>(std::malloc(F ? F : 1));
    if (F) std::memcpy(frame, before.data(), F);
    // The packed bytes in a block of their own too, so reads past them are caught.
    const size_t packedBytes = size - 4;
    uint8_t* packed = static_cast<uint8_t*>(std::malloc(packedBytes ? packedBytes : 1));
    if (packedBytes) std::memcpy(packed, data + 4, packedBytes);
    const int32_t rc = tqk::UnpackFrameInPlace(packed, packedBytes, frame, F);
    if (rc != tqk::kOk && rc != tqk::kErrFrameSize) std::abort();
    std::free(packed);
    std::free(frame);
}

// The packer's wide compares must never read outside the frames nor write past the packed
// words, and every version must give the same bytes. The input is split into two frames.
void PackRoundTrip(const uint8_t* data, size_t size) {
    const size_t words = size / 8;
    const size_t F = words * 4;
    uint8_t* cur = static_cast<uint8_t*>(std::malloc(F ? F : 1));
    uint8_t* prev = static_cast<uint8_t*>(std::malloc(F ? F : 1));
    if (F) {
        std::memcpy(cur, data, F);
        std::memcpy(prev, data + F, F);
        // Make runs of quiet words likely: where a byte of prev is even, copy the word over.
        for (size_t i = 0; i < words; ++i)
            if ((prev[i * 4] & 1) == 0) std::memcpy(cur + i * 4, prev + i * 4, 4);
    }
    const size_t capacity = static_cast<size_t>(tqk::PackedCapacity(F));
    std::vector<uint8_t> first;
    for (tqk::PackerVersion v :
         {tqk::PackerVersion::Portable, tqk::PackerVersion::Sse2, tqk::PackerVersion::Avx2}) {
        if (!tqk::PackerVersionAvailable(v)) continue;
        uint8_t* out = static_cast<uint8_t*>(std::malloc(capacity));
        const int32_t n = tqk::PackFrameWith(v, out, cur, prev, static_cast<int32_t>(words));
        if (n < 1 || size_t(n) * 4 > capacity) std::abort();
        if (first.empty()) {
            first.assign(out, out + size_t(n) * 4);
        } else if (first.size() != size_t(n) * 4 || std::memcmp(first.data(), out, first.size())) {
            std::abort();
        }
        std::vector<uint8_t> frame(prev, prev + F);
        if (tqk::UnpackFrameInPlace(out, size_t(n) * 4, frame.data(), F) != tqk::kOk) std::abort();
        if (F && std::memcmp(frame.data(), cur, F) != 0) std::abort();
        std::free(out);
    }
    std::free(cur);
    std::free(prev);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadMovie(data, size);
    UnpackRaw(data, size);
    PackRoundTrip(data, size);
    return 0;
}
