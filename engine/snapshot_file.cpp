#include "snapshot_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "../common/safe_file.h"

namespace tqk {

namespace {

constexpr char kMagic[4] = {'T', 'Q', 'K', 'S'};
constexpr int kSamples = 4;

uint32_t Crc(uint32_t crc, const uint8_t* p, size_t n) {
    // zlib's crc32 takes at most uInt bytes a call.
    while (n > 0) {
        const uInt k = uInt(std::min<size_t>(n, size_t{1} << 30));
        crc = uint32_t(crc32(crc, p, k));
        p += k;
        n -= k;
    }
    return crc;
}

}  // namespace

bool MovieIdentity::operator==(const MovieIdentity& o) const {
    return length == o.length && std::memcmp(header, o.header, kHeaderBytes) == 0 &&
           samplesCrc == o.samplesCrc && recordsCrc == o.recordsCrc && records == o.records &&
           frameBytes == o.frameBytes;
}

int32_t ComputeIdentity(RandomSource& movie, const std::vector<uint32_t>& packedSizes,
                        uint64_t frameBytes, MovieIdentity* id) {
    *id = MovieIdentity{};
    id->length = movie.Length();
    if (id->length < kHeaderBytes || frameBytes > UINT32_MAX || packedSizes.size() > UINT32_MAX)
        return kErrBadFile;
    if (movie.ReadAt(0, id->header, kHeaderBytes) != kHeaderBytes) return kErrBadFile;
    // Samples spread from behind the header to the end: a movie recorded again under the same
    // name differs in its first frame, its end or between.
    const uint64_t body = id->length - kHeaderBytes;
    std::vector<uint8_t> buf(kIdentitySampleBytes);
    uint32_t crc = uint32_t(crc32(0, nullptr, 0));
    if (body <= uint64_t{kSamples} * kIdentitySampleBytes) {
        for (uint64_t at = 0; at < body; at += buf.size()) {
            const size_t n = size_t(std::min<uint64_t>(buf.size(), body - at));
            if (movie.ReadAt(kHeaderBytes + at, buf.data(), n) != n) return kErrBadFile;
            crc = Crc(crc, buf.data(), n);
        }
    } else {
        const uint64_t span = body - kIdentitySampleBytes;
        for (int k = 0; k < kSamples; ++k) {
            const uint64_t at = kHeaderBytes + span / (kSamples - 1) * uint64_t(k);
            if (movie.ReadAt(at, buf.data(), buf.size()) != buf.size()) return kErrBadFile;
            crc = Crc(crc, buf.data(), buf.size());
        }
    }
    id->samplesCrc = crc;
    uint32_t sizes = uint32_t(crc32(0, nullptr, 0));
    for (const uint32_t s : packedSizes) {
        uint8_t le[4];
        StoreLE32(le, s);
        sizes = Crc(sizes, le, 4);
    }
    id->recordsCrc = sizes;
    id->records = uint32_t(packedSizes.size());
    id->frameBytes = uint32_t(frameBytes);
    return kOk;
}

uint32_t SnapshotCrc(int32_t frame, const uint8_t* packed, size_t n) {
    uint8_t le[4];
    StoreLE32(le, uint32_t(frame));
    return Crc(Crc(uint32_t(crc32(0, nullptr, 0)), le, 4), packed, n);
}

namespace {

void EncodeSnapshotHeader(const MovieIdentity& id, int32_t walked, bool walkFailed, uint32_t count,
                          uint8_t* out) {
    std::memset(out, 0, kSnapshotHeaderBytes);
    std::memcpy(out, kMagic, 4);
    StoreLE32(out + 4, kSnapshotVersion);
    StoreLE64(out + 8, id.length);
    std::memcpy(out + 16, id.header, kHeaderBytes);
    StoreLE32(out + 48, id.samplesCrc);
    StoreLE32(out + 52, id.recordsCrc);
    StoreLE32(out + 56, id.records);
    StoreLE32(out + 60, id.frameBytes);
    StoreLE32(out + 64, uint32_t(std::max(walked, 0)));
    StoreLE32(out + 68, walkFailed ? 1u : 0u);
    StoreLE32(out + 72, count);
}

}  // namespace

int32_t ReadSnapshotTable(RandomSource& file, const MovieIdentity& movie, SnapshotTable* table) {
    *table = SnapshotTable{};
    const uint64_t length = file.Length();
    uint8_t h[kSnapshotHeaderBytes];
    if (length < sizeof h || file.ReadAt(0, h, sizeof h) != sizeof h) return kErrBadFile;
    if (std::memcmp(h, kMagic, 4) != 0 || LoadLE32(h + 4) != kSnapshotVersion) return kErrBadFile;
    MovieIdentity id;
    id.length = LoadLE64(h + 8);
    std::memcpy(id.header, h + 16, kHeaderBytes);
    id.samplesCrc = LoadLE32(h + 48);
    id.recordsCrc = LoadLE32(h + 52);
    id.records = LoadLE32(h + 56);
    id.frameBytes = LoadLE32(h + 60);
    if (!(id == movie) || movie.records == 0 || movie.records > uint32_t(INT32_MAX))
        return kErrBadFile;
    const uint32_t walked = LoadLE32(h + 64);
    const uint32_t flags = LoadLE32(h + 68);
    const uint32_t count = LoadLE32(h + 72);
    if (walked > movie.records || flags > 1 || LoadLE32(h + 76) != 0 || count > movie.records)
        return kErrBadFile;
    const uint64_t tableEnd = kSnapshotHeaderBytes + uint64_t(count) * kSnapshotEntryBytes;
    if (tableEnd > length) return kErrBadFile;  // the table fits the file: bounded allocation
    const uint64_t largest = compressBound(uLong(movie.frameBytes));
    std::vector<uint8_t> raw(size_t(tableEnd - kSnapshotHeaderBytes));
    if (!raw.empty() && file.ReadAt(kSnapshotHeaderBytes, raw.data(), raw.size()) != raw.size())
        return kErrBadFile;
    table->entries.reserve(count);
    int64_t last = -1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = raw.data() + size_t(i) * kSnapshotEntryBytes;
        SnapshotEntry e;
        const uint32_t frame = LoadLE32(p);
        e.packedBytes = LoadLE32(p + 4);
        e.offset = LoadLE64(p + 8);
        e.crc = LoadLE32(p + 16);
        if (frame >= movie.records || int64_t(frame) <= last || e.packedBytes == 0 ||
            e.packedBytes > largest || e.offset < tableEnd || e.offset > length ||
            e.packedBytes > length - e.offset) {
            *table = SnapshotTable{};
            return kErrBadFile;
        }
        e.frame = int32_t(frame);
        last = frame;
        table->entries.push_back(e);
    }
    table->walked = int32_t(walked);
    table->walkFailed = flags & 1;
    return kOk;
}

bool LoadSnapshot(RandomSource& file, const SnapshotEntry& e, uint8_t* frame, size_t frameBytes,
                  std::vector<uint8_t>* packed) {
    if (packed->size() < e.packedBytes) {
        try {
            packed->resize(e.packedBytes);
        } catch (...) {
            return false;
        }
    }
    if (file.ReadAt(e.offset, packed->data(), e.packedBytes) != e.packedBytes) return false;
    if (SnapshotCrc(e.frame, packed->data(), e.packedBytes) != e.crc) return false;
    uLongf out = uLongf(frameBytes);
    return uncompress(frame, &out, packed->data(), uLong(e.packedBytes)) == Z_OK &&
           out == frameBytes;
}

SnapshotFileWriter::SnapshotFileWriter() = default;
SnapshotFileWriter::~SnapshotFileWriter() = default;

SnapshotFileWriter::State SnapshotFileWriter::Fail(uint32_t error) {
    error_ = error ? error : 1;
    out_.reset();  // the scratch file goes with it
    pieces_.clear();
    return state_ = State::kFailed;
}

uint32_t SnapshotFileWriter::Begin(const std::string& utf8Path, const MovieIdentity& id,
                                   int32_t walked, bool walkFailed,
                                   std::vector<SnapshotPiece> pieces) {
    Abandon();
    error_ = 0;
    next_ = 0;
    pieces_ = std::move(pieces);
    uint8_t header[kSnapshotHeaderBytes];
    EncodeSnapshotHeader(id, walked, walkFailed, uint32_t(pieces_.size()), header);
    std::vector<uint8_t> head(header, header + sizeof header);
    head.resize(kSnapshotHeaderBytes + pieces_.size() * kSnapshotEntryBytes);
    uint64_t at = head.size();
    for (size_t i = 0; i < pieces_.size(); ++i) {
        const SnapshotPiece& s = pieces_[i];
        uint8_t* p = head.data() + kSnapshotHeaderBytes + i * kSnapshotEntryBytes;
        StoreLE32(p, uint32_t(s.frame));
        StoreLE32(p + 4, uint32_t(s.size));
        StoreLE64(p + 8, at);
        StoreLE32(p + 16, SnapshotCrc(s.frame, s.data, s.size));
        at += s.size;
    }
    fileBytes_ = at;
    out_ = std::make_unique<SafeFileWriter>();
    uint32_t e = out_->Open(utf8Path);
    if (!e) e = out_->Write(head.data(), head.size());
    if (e) {
        Fail(e);
        return error_;
    }
    state_ = State::kWriting;
    return 0;
}

SnapshotFileWriter::State SnapshotFileWriter::Continue(size_t maxBytes) {
    if (state_ != State::kWriting) return state_;
    size_t written = 0;
    while (next_ < pieces_.size() && written < maxBytes) {
        const SnapshotPiece& s = pieces_[next_++];
        if (const uint32_t e = out_->Write(s.data, s.size)) return Fail(e);
        written += s.size;
    }
    if (next_ < pieces_.size()) return state_;
    if (const uint32_t e = out_->Commit()) return Fail(e);
    out_.reset();
    pieces_.clear();
    return state_ = State::kDone;
}

void SnapshotFileWriter::Abandon() {
    if (out_) out_->Abandon();
    out_.reset();
    pieces_.clear();
    state_ = State::kFailed;
}

}  // namespace tqk
