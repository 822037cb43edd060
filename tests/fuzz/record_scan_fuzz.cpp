// libFuzzer target for the scan of a movie's record heads (ScanRecords, what the engine, the
// player and tqk run before playing or re-encoding a movie, cut short or not). The scan reads
// through a read-ahead window, so its answer is checked against a plain walk of the same bytes;
// and it is run again over a file whose reads fail from some offset on (a damaged disk), where
// it may find fewer records, never others.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tqk_format.h"

namespace {

using tqk::kHeaderBytes;
using tqk::kRecordHeadBytes;

// Reads beyond failAt give nothing, as a read error would; the length stays the file's.
class FailingFile : public tqk::RandomSource {
public:
    FailingFile(const uint8_t* data, size_t size, uint64_t failAt)
        : data_(data), size_(size), failAt_(failAt) {}
    uint64_t Length() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        const uint64_t end = failAt_ < size_ ? failAt_ : size_;
        if (offset >= end) return 0;
        const size_t k = static_cast<size_t>(n < end - offset ? n : end - offset);
        std::memcpy(dst, data_ + offset, k);
        return k;
    }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t failAt_;
};

// The file offsets behind each whole record, from the first on, as the format defines them.
std::vector<uint64_t> WalkRecords(const uint8_t* data, size_t size, const tqk::MovieHeader& h) {
    std::vector<uint64_t> ends;
    const uint64_t total = tqk::FrameCount(h);
    const uint64_t capacity = tqk::PackedCapacity(tqk::FrameBytes(h));
    uint64_t at = kHeaderBytes;
    while (ends.size() < total && size - at >= kRecordHeadBytes &&
           std::memcmp(data + at, "FRAM", 4) == 0) {
        const uint32_t packed = tqk::LoadLE32(data + at + 4);
        if (packed % 4 != 0 || packed > capacity || size - at - kRecordHeadBytes < packed) break;
        at += kRecordHeadBytes + packed;
        ends.push_back(at);
    }
    return ends;
}

void CheckScan(const tqk::MovieHeader& h, const tqk::RecordScan& s, uint64_t length) {
    const uint64_t total = tqk::FrameCount(h);
    if (s.records > total || s.recordsEnd > length || s.secondsEnd > s.recordsEnd) std::abort();
    if ((s.end == tqk::RecordsEnd::kComplete) != (s.records == total)) std::abort();
    const int32_t seconds = tqk::PlayableSeconds(h, s);
    // A header of no length (sec 0) passes the play checks and plays nothing; a negative one
    // does not pass.
    if (h.sec < 0) std::abort();
    if (h.sec == 0 ? seconds != 0 : seconds < 0 || seconds > h.sec) std::abort();
    if (s.end == tqk::RecordsEnd::kCutShort && uint64_t(seconds) * uint64_t(h.fps) > s.records)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes) return 0;
    tqk::MovieHeader h;
    if (tqk::DecodeHeader(data, &h) != tqk::kOk || tqk::CheckHeaderForPlay(h) != tqk::kOk) return 0;

    tqk::MemoryFile file(data, size);
    const tqk::RecordScan s = tqk::ScanRecords(file, h);
    CheckScan(h, s, size);
    const std::vector<uint64_t> ends = WalkRecords(data, size, h);
    if (s.records != ends.size()) std::abort();
    if (s.recordsEnd != (ends.empty() ? kHeaderBytes : ends.back())) std::abort();
    const uint64_t fps = uint64_t(h.fps);
    const uint64_t wholeSeconds = ends.size() / fps * fps;
    if (s.secondsEnd != (wholeSeconds == 0 ? kHeaderBytes : ends[wholeSeconds - 1])) std::abort();
    // A file that ends right behind its last whole record was cut short, not damaged.
    if (s.records < tqk::FrameCount(h) && s.recordsEnd == size &&
        s.end != tqk::RecordsEnd::kCutShort)
        std::abort();

    // The same bytes with every read failing from an offset the input's last byte picks.
    const uint64_t failAt = kHeaderBytes + (size - kHeaderBytes) * data[size - 1] / 255;
    FailingFile failing(data, size, failAt);
    const tqk::RecordScan f = tqk::ScanRecords(failing, h);
    CheckScan(h, f, size);
    if (f.records > s.records) std::abort();
    if (f.recordsEnd != (f.records == 0 ? kHeaderBytes : ends[f.records - 1])) std::abort();
    // Every head it counted was read, so lies before the failing offset.
    if (f.records != 0) {
        const uint64_t lastHead = f.records == 1 ? kHeaderBytes : ends[f.records - 2];
        if (lastHead + kRecordHeadBytes > failAt) std::abort();
    }
    return 0;
}
