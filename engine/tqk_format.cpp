#include "tqk_format.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "copy_run.h"
#include "tvr_pack.h"

namespace tqk {

namespace {
const uint8_t kMagic[4] = {'T', 'V', 'R', 'X'};
const uint8_t kFrameTag[4] = {'F', 'R', 'A', 'M'};

bool IsSupportedDepth(int32_t bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }
}  // namespace

void EncodeHeader(const MovieHeader& h, uint8_t out[kHeaderBytes]) {
    std::memcpy(out + kOffMagic, kMagic, 4);
    StoreLE32(out + kOffVersion, kVersion);
    StoreLE32(out + kOffMethod, static_cast<uint32_t>(h.Method));
    StoreLE32(out + kOffBitCo, static_cast<uint32_t>(h.BitCo));
    StoreLE32(out + kOffW, static_cast<uint32_t>(h.W));
    StoreLE32(out + kOffH, static_cast<uint32_t>(h.H));
    StoreLE32(out + kOffFps, static_cast<uint32_t>(h.fps));
    StoreLE32(out + kOffSec, static_cast<uint32_t>(h.sec));
}

int32_t DecodeHeader(const uint8_t in[kHeaderBytes], MovieHeader* h) {
    if (std::memcmp(in + kOffMagic, kMagic, 4) != 0 || LoadLE32(in + kOffVersion) != kVersion)
        return kErrBadFile;
    h->Method = static_cast<int32_t>(LoadLE32(in + kOffMethod));
    h->BitCo = static_cast<int32_t>(LoadLE32(in + kOffBitCo));
    h->W = static_cast<int32_t>(LoadLE32(in + kOffW));
    h->H = static_cast<int32_t>(LoadLE32(in + kOffH));
    h->fps = static_cast<int32_t>(LoadLE32(in + kOffFps));
    h->sec = static_cast<int32_t>(LoadLE32(in + kOffSec));
    return kOk;
}

uint64_t FrameBytes(const MovieHeader& h) {
    if (h.BitCo <= 0 || h.W <= 0 || h.H <= 0) return 0;
    // At most 2^31 * 2^31 * 2^31 / 8 would overflow 64 bits; 2^31 * 2^31 fits, and a
    // product that large is refused anyway, so cap each step.
    const uint64_t pixels = uint64_t(uint32_t(h.W)) * uint64_t(uint32_t(h.H));
    if (pixels > (uint64_t{1} << 40)) return UINT64_MAX;
    uint64_t f = pixels * uint64_t(uint32_t(h.BitCo)) / 8;
    if (h.BitCo == 8) f += kColourTableBytes;
    return f;
}

uint64_t DibRowBytes(int32_t W, int32_t bits) {
    if (W <= 0 || bits <= 0) return 0;
    return (uint64_t(uint32_t(W)) * uint64_t(uint32_t(bits)) + 31) / 32 * 4;
}

bool RowsFillWords(const MovieHeader& h) {
    return h.W > 0 && h.BitCo > 0 &&
           uint64_t(uint32_t(h.W)) * uint64_t(uint32_t(h.BitCo)) % 32 == 0;
}

uint64_t FrameCount(const MovieHeader& h) {
    if (h.fps <= 0 || h.sec <= 0) return 0;
    return uint64_t(uint32_t(h.fps)) * uint64_t(uint32_t(h.sec));
}

int32_t CheckHeaderForInfo(const MovieHeader& h) {
    if (h.W < 1 || h.H < 1 || h.fps < 1 || h.sec < 1) return kErrBadFile;
    if (h.Method < 0 || h.Method > 2) return kErrBadFile;
    if (!IsSupportedDepth(h.BitCo)) return kErrBadFile;
    if (!RowsFillWords(h)) return kErrBadFile;
    if (FrameBytes(h) > kMaxFrameBytes) return kErrBadFile;
    return kOk;
}

int32_t CheckHeaderForPlay(const MovieHeader& h) {
    if (h.BitCo == 8 && h.Method != 1) return kErrEightBitType;
    // A length of 0 plays no frame; a negative one is no length at all, and would be copied
    // into every movie made from this one.
    if (h.W < 1 || h.H < 1 || h.fps < 1 || h.sec < 0) return kErrBadFile;
    if (h.Method < 0 || h.Method > 2) return kErrBadFile;
    if (!IsSupportedDepth(h.BitCo)) return kErrBadFile;
    // Padded rows would make the platform read or write past a frame of F bytes.
    if (!RowsFillWords(h)) return kErrBadFile;
    const uint64_t f = FrameBytes(h);
    if (f > kMaxFrameBytes || f % 4 != 0) return kErrBadFile;
    return kOk;
}

int32_t CheckInfoBytes(uint64_t fileLength, const uint8_t* first, size_t got, MovieHeader* h) {
    if (fileLength == 0) return kErrEmptyFile;
    if (got < kHeaderBytes) return kErrBadFile;
    MovieHeader read;
    int32_t rc = DecodeHeader(first, &read);
    if (rc == kOk) rc = CheckHeaderForInfo(read);
    if (rc == kOk) *h = read;
    return rc;
}

void PatchHeader(MovieHeader* h, int32_t W, int32_t H, int32_t BitCo, int32_t fps, int32_t sec) {
    if (W != 0) h->W = W;
    if (H != 0) h->H = H;
    if (BitCo != 0) h->BitCo = BitCo;
    if (fps != 0) h->fps = fps;
    if (sec != 0) h->sec = sec;
}

uint64_t PackedCapacity(uint64_t F) {
    const uint64_t half = (F * 3 / 2 + 3) / 4 * 4;
    return std::max(half, F + 8);
}

int32_t UnpackFrameInPlace(const uint8_t* packed, size_t packedBytes, uint8_t* frame, size_t F) {
    size_t p = 0;
    size_t q = 0;
    while (p < F) {
        // An unchanged run leaves the previous frame's bytes where they are.
        if (packedBytes - q < 4) return kErrFrameSize;  // runs stop short of F
        uint64_t b = uint64_t{LoadLE32(packed + q)} * 4;
        q += 4;
        if (b > F - p) return kErrFrameSize;  // a run beyond the frame
        p += static_cast<size_t>(b);
        if (p >= F) break;
        // A literal run.
        if (packedBytes - q < 4) return kErrFrameSize;
        b = uint64_t{LoadLE32(packed + q)} * 4;
        q += 4;
        if (b > F - p) return kErrFrameSize;
        if (b > packedBytes - q) return kErrFrameSize;  // data beyond the record
        CopyRun(frame + p, packed + q, static_cast<size_t>(b));
        q += static_cast<size_t>(b);
        p += static_cast<size_t>(b);
    }
    return kOk;
}

void EncodeRecordHead(uint8_t out[kRecordHeadBytes], uint32_t packedBytes) {
    std::memcpy(out, kFrameTag, 4);
    StoreLE32(out + 4, packedBytes);
}

void EncodeDroppedRecord(uint8_t out[kDroppedRecordBytes], uint64_t F) {
    EncodeRecordHead(out, 4);
    StoreLE32(out + 8, static_cast<uint32_t>(F / 4));
}

size_t MemorySource::Read(void* dst, size_t n) {
    const size_t k = std::min(n, size_ - pos_);
    if (k != 0) std::memcpy(dst, data_ + pos_, k);
    pos_ += k;
    return k;
}

bool ByteSource::Skip(uint64_t n) {
    uint8_t scratch[4096];
    while (n > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(n, sizeof scratch));
        if (Read(scratch, want) != want) return false;
        n -= want;
    }
    return true;
}

uint64_t CountRecords(ByteSource& src, uint64_t limit) {
    uint64_t count = 0;
    uint8_t head[kRecordHeadBytes];
    while (count < limit) {
        if (src.Read(head, kRecordHeadBytes) != kRecordHeadBytes ||
            std::memcmp(head, kFrameTag, 4) != 0)
            break;
        const uint32_t packedBytes = LoadLE32(head + 4);
        const int64_t remaining = src.Remaining();
        if (remaining >= 0 && packedBytes > static_cast<uint64_t>(remaining)) break;
        if (!src.Skip(packedBytes)) break;
        ++count;
    }
    return count;
}

size_t MemoryFile::ReadAt(uint64_t offset, void* dst, size_t n) {
    if (offset >= size_) return 0;
    const size_t k = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    std::memcpy(dst, data_ + offset, k);
    return k;
}

namespace {

bool AllZeroFrom(RandomSource& file, uint64_t from) {
    const uint64_t length = file.Length();
    if (from >= length) return true;
    // No bigger than what is left: most reserves are short or end behind the file.
    std::vector<uint8_t> chunk(size_t(std::min<uint64_t>(uint64_t{1} << 20, length - from)));
    for (uint64_t at = from; at < length;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), length - at));
        const size_t got = file.ReadAt(at, chunk.data(), want);
        if (got == 0) return false;
        for (size_t i = 0; i < got; ++i)
            if (chunk[i] != 0) return false;
        at += got;
    }
    return true;
}

// What stands at a record position behind which the records stop early.
RecordsEnd ClassifyEnd(RandomSource& file, uint64_t at, uint64_t capacity) {
    const uint64_t length = file.Length();
    if (at >= length) return RecordsEnd::kCutShort;
    const uint64_t rest = length - at;
    uint8_t head[kRecordHeadBytes] = {};
    const size_t got = file.ReadAt(at, head, size_t(std::min<uint64_t>(rest, sizeof head)));
    if (got < std::min<uint64_t>(rest, sizeof head)) return RecordsEnd::kDamaged;
    if (rest < kRecordHeadBytes) {
        // A head cut by the end of the file: its tag as far as it goes.
        const size_t tagBytes = std::min<size_t>(got, 4);
        return std::memcmp(head, kFrameTag, tagBytes) == 0 ? RecordsEnd::kCutShort
                                                           : RecordsEnd::kDamaged;
    }
    if (std::memcmp(head, kFrameTag, 4) == 0) {
        const uint32_t packedBytes = LoadLE32(head + 4);
        // A sound head whose bytes the file ends before.
        if (packedBytes % 4 == 0 && packedBytes <= capacity &&
            kRecordHeadBytes + uint64_t(packedBytes) > rest)
            return RecordsEnd::kCutShort;
        return RecordsEnd::kDamaged;
    }
    static const uint8_t kZeroHead[kRecordHeadBytes] = {};
    if (std::memcmp(head, kZeroHead, sizeof head) == 0 &&
        AllZeroFrom(file, at + kRecordHeadBytes + capacity))
        return RecordsEnd::kCutShort;
    return RecordsEnd::kDamaged;
}

}  // namespace

namespace {

// Reads small pieces through a window read ahead, so record heads that lie close together
// (the small records of a still screen) cost one platform read for many.
class ReadAhead : public RandomSource {
public:
    explicit ReadAhead(RandomSource& file) : file_(file), length_(file.Length()) {}
    uint64_t Length() const override { return length_; }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override {
        if (n > kWindowBytes) return file_.ReadAt(offset, dst, n);
        if (offset < start_ || offset + n > start_ + got_) {
            // Heads far apart (large records) are read a little at a time: a whole window
            // per head would cost more than it saves.
            const bool far = offset >= last_ && offset - last_ > kFar;
            start_ = offset;
            got_ = file_.ReadAt(offset, window_.get(), far ? kSmallRead : kWindowBytes);
        }
        last_ = offset;
        const size_t k = offset >= start_ + got_
                             ? 0
                             : static_cast<size_t>(std::min<uint64_t>(n, start_ + got_ - offset));
        if (k != 0) std::memcpy(dst, window_.get() + (offset - start_), k);
        return k;
    }

private:
    RandomSource& file_;
    uint64_t length_;
    static constexpr uint64_t kFar = 16 * 1024;
    static constexpr size_t kSmallRead = 512;
    static constexpr size_t kWindowBytes = 64 * 1024;
    uint64_t start_ = 0;
    uint64_t last_ = 0;
    size_t got_ = 0;
    // Left unset: every byte taken from it was read first.
    std::unique_ptr<uint8_t[]> window_{new uint8_t[kWindowBytes]};
};

}  // namespace

RecordScan ScanRecords(RandomSource& source, const MovieHeader& h) {
    ReadAhead file(source);
    RecordScan s;
    const uint64_t total = FrameCount(h);
    const uint64_t capacity = PackedCapacity(FrameBytes(h));
    const uint64_t length = file.Length();
    const uint64_t fps = h.fps > 0 ? uint64_t(h.fps) : 1;
    uint64_t at = kHeaderBytes;
    s.recordsEnd = s.secondsEnd = at;
    while (s.records < total) {
        uint8_t head[kRecordHeadBytes];
        if (length < at || length - at < kRecordHeadBytes ||
            file.ReadAt(at, head, sizeof head) != sizeof head ||
            std::memcmp(head, kFrameTag, 4) != 0)
            break;
        const uint32_t packedBytes = LoadLE32(head + 4);
        if (packedBytes % 4 != 0 || packedBytes > capacity ||
            length - at - kRecordHeadBytes < packedBytes)
            break;
        at += kRecordHeadBytes + packedBytes;
        ++s.records;
        s.recordsEnd = at;
        if (s.records % fps == 0) s.secondsEnd = at;
    }
    if (s.records < total) s.end = ClassifyEnd(file, at, capacity);
    return s;
}

int32_t PlayableSeconds(const MovieHeader& h, const RecordScan& scan) {
    if (scan.end != RecordsEnd::kCutShort || h.fps <= 0) return h.sec;
    return static_cast<int32_t>(scan.records / uint64_t(h.fps));
}

int32_t MovieEncoder::Start(const MovieHeader& h) {
    const uint64_t f = FrameBytes(h);
    if (f == 0 || f > kMaxFrameBytes || f % 4 != 0) return kErrBadFile;
    frameBytes_ = static_cast<size_t>(f);
    EncodeHeader(h, header_);
    EncodeDroppedRecord(dropped_, f);
    prev_ = AllocateZeroed(frameBytes_);
    record_ = AllocateZeroed(kRecordHeadBytes + static_cast<size_t>(PackedCapacity(f)));
    return prev_ && record_ ? kOk : kErrApi;
}

const uint8_t* MovieEncoder::EncodeFrame(const uint8_t* frame, size_t* recordBytes) {
    const int32_t words = PackFrame(record_.get() + kRecordHeadBytes, frame, prev_.get(),
                                    static_cast<int32_t>(frameBytes_ / 4));
    EncodeRecordHead(record_.get(), static_cast<uint32_t>(words) * 4);
    std::memcpy(prev_.get(), frame, frameBytes_);
    *recordBytes = kRecordHeadBytes + size_t(words) * 4;
    return record_.get();
}

const uint8_t* MovieEncoder::EncodeDropped(size_t* recordBytes) {
    *recordBytes = kDroppedRecordBytes;
    return dropped_;
}

ByteBuffer AllocateZeroed(size_t n) {
    return ByteBuffer(static_cast<uint8_t*>(std::calloc(n ? n : 1, 1)));
}

int32_t FrameReader::Start(const MovieHeader& h) {
    const uint64_t f = FrameBytes(h);
    if (f == 0 || f > kMaxFrameBytes) return kErrBadFile;
    frameBytes_ = static_cast<size_t>(f);
    packedCapacity_ = static_cast<size_t>(PackedCapacity(f));
    frame_ = AllocateZeroed(frameBytes_);
    packed_.reset();
    packedAllocated_ = 0;
    lastPacked_ = 0;
    return frame_ ? kOk : kErrApi;
}

int32_t FrameReader::ReadNext(ByteSource& src) {
    uint8_t head[kRecordHeadBytes];
    if (src.Read(head, kRecordHeadBytes) != kRecordHeadBytes ||
        std::memcmp(head, kFrameTag, 4) != 0)
        return kErrNoFrameTag;
    const uint32_t packedBytes = LoadLE32(head + 4);
    lastPacked_ = packedBytes;
    if (packedBytes % 4 != 0 || packedBytes > packedCapacity_) return kErrFrameSize;
    const int64_t remaining = src.Remaining();
    if (remaining >= 0 && packedBytes > static_cast<uint64_t>(remaining)) return kErrFrameSize;
    // Grow the packed buffer to what records actually need, never past the capacity.
    if (packedBytes > packedAllocated_) {
        size_t want =
            std::max<size_t>(packedBytes, std::min(packedCapacity_, packedAllocated_ * 2));
        packed_.reset(static_cast<uint8_t*>(std::malloc(want)));
        packedAllocated_ = packed_ ? want : 0;
        if (!packed_) return kErrApi;
    }
    if (src.Read(packed_.get(), packedBytes) != packedBytes) return kErrFrameSize;
    return UnpackFrameInPlace(packed_.get(), packedBytes, frame_.get(), frameBytes_);
}

}  // namespace tqk
