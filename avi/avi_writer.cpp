#include "avi_writer.h"

#include <algorithm>
#include <cstring>

namespace tqk::avi {

namespace {

// Fixed layout of the first segment's header:
//   0      RIFF size "AVI "
//   12     LIST size "hdrl"
//   24     avih (8 + 56)
//   88     slot 0: LIST "strl" of the video, padded inside with JUNK to kSlotBytes
//   +slot  slot 1: JUNK until a second stream is added, then its LIST "strl" as slot 0
//   ...    LIST "odml" with dmlh
//   ...    LIST size "movi", chunks, ix##, then idx1 after the list
constexpr uint64_t kAvihOffset = 24;
constexpr uint64_t kSlotBytes = 8192;
constexpr uint64_t kSlot0 = 88;
constexpr uint64_t kSlotCount = 2;
constexpr uint64_t kOdmlOffset = kSlot0 + kSlotCount * kSlotBytes;
constexpr uint64_t kDmlhBytes = 248;
constexpr uint64_t kMoviOffset = kOdmlOffset + 12 + 8 + kDmlhBytes;
constexpr uint64_t kHdrlSize = kMoviOffset - 20;  // LIST size field: after "LIST" and size
constexpr uint64_t kFirstChunk = kMoviOffset + 12;
constexpr size_t kMaxName = 63;
constexpr uint32_t kIndexOfIndexes = 0x00;
constexpr uint32_t kIndexOfChunks = 0x01;
constexpr uint32_t kKeyFrameFlag = 0x10;  // AVIIF_KEYFRAME
constexpr uint32_t kHasIndex = 0x10;      // AVIF_HASINDEX
constexpr uint32_t kNotKey = 0x80000000u;

class Bytes {
public:
    void U8(uint8_t v) { b_.push_back(v); }
    void U16(uint32_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void U64(uint64_t v) {
        U32(uint32_t(v));
        U32(uint32_t(v >> 32));
    }
    void Put(const void* p, size_t n) {
        const uint8_t* s = static_cast<const uint8_t*>(p);
        b_.insert(b_.end(), s, s + n);
    }
    void Zeros(size_t n) { b_.insert(b_.end(), n, 0); }
    void Pad() {
        if (b_.size() & 1) U8(0);
    }
    size_t Size() const { return b_.size(); }
    const uint8_t* Data() const { return b_.data(); }
    void Patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b_[at + i] = uint8_t(v >> (8 * i));
    }

private:
    std::vector<uint8_t> b_;
};

uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// "00db"-style ids: two decimal digits of the stream then two letters.
uint32_t ChunkId(int stream, const char* two) {
    return uint32_t('0' + stream / 10) | uint32_t('0' + stream % 10) << 8 |
           uint32_t(uint8_t(two[0])) << 16 | uint32_t(uint8_t(two[1])) << 24;
}

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(v); }

}  // namespace

void Writer::Reset() {
    file_ = nullptr;
    created_ = open_ = false;
    segmentBytes_ = kDefaultSegmentBytes;
    streams_.clear();
    idx1_.clear();
    avih_.clear();
    riffStart_ = moviStart_ = end_ = 0;
    segment_ = 0;
    failed_ = Status::kOk;
    damaged_ = false;
    layoutBroken_ = false;
    undoHead_.clear();
    undoTail_.clear();
    undoTailAt_ = undoSize_ = 0;
}

bool Writer::Write(uint64_t at, const void* p, size_t n) { return file_->WriteAt(at, p, n); }

Status Writer::Fail(Status s) {
    if (failed_ == Status::kOk) failed_ = s;
    return s;
}

uint32_t Writer::ChunksWritten(int stream) const {
    return stream >= 0 && size_t(stream) < streams_.size() ? streams_[stream].chunks : 0;
}

Status Writer::AddStream(const StreamInfo& info, int slot) {
    if (info.format.empty() || info.format.size() > kMaxFormatBytes || info.rate == 0 ||
        info.scale == 0)
        return Status::kBadArgument;
    Stream s;
    s.info = info;
    if (s.info.name.size() > kMaxName) s.info.name.resize(kMaxName);
    s.owned = true;
    s.slot = slot;
    const int n = int(streams_.size());
    const bool video = info.fccType == FourCC("vids");
    // Compressed video is "dc"; uncompressed bitmaps "db".
    const uint32_t compression = video && info.format.size() >= 20 ? Load32(&info.format[16]) : 0;
    s.chunkId = ChunkId(n, video ? (compression == 0 ? "db" : "dc") : "wb");
    s.indexId = uint32_t('i') | uint32_t('x') << 8 | (ChunkId(n, "  ") & 0xFFFF) << 16;
    streams_.push_back(std::move(s));
    return Status::kOk;
}

Status Writer::Create(RandomFile* file, const StreamInfo& video, uint64_t segmentBytes) {
    Reset();
    file_ = file;
    created_ = true;
    segmentBytes_ = std::max<uint64_t>(segmentBytes, kFirstChunk + 4096);
    if (Status s = AddStream(video, 0); s != Status::kOk) return s;
    // Placeholder header: sizes and counts are patched on close. Written whole now so that a
    // file cut short by a crash still starts with a readable layout.
    std::vector<uint8_t> zeros(kFirstChunk, 0);
    if (!Write(0, zeros.data(), zeros.size())) {
        damaged_ = true;
        return Fail(Status::kWriteFailed);
    }
    open_ = true;
    riffStart_ = 0;
    moviStart_ = kMoviOffset;
    end_ = kFirstChunk;
    if (WriteHeaders() != Status::kOk) {
        open_ = false;
        damaged_ = true;
        return Fail(Status::kWriteFailed);
    }
    return Status::kOk;
}

Status Writer::OpenToAddStream(RandomFile* file, const StreamInfo& stream, uint64_t segmentBytes) {
    Reset();
    file_ = file;
    segmentBytes_ = std::max<uint64_t>(segmentBytes, kFirstChunk + 4096);
    const uint64_t size = file->Size();
    if (size < kFirstChunk) return size == 0 ? Status::kReadFailed : Status::kBadFormat;
    std::vector<uint8_t> head(kFirstChunk);
    if (!file->ReadAt(0, head.data(), head.size())) return Status::kReadFailed;
    auto is = [&](uint64_t at, const char(&tag)[5]) { return Load32(&head[at]) == FourCC(tag); };
    if (!is(0, "RIFF") || !is(8, "AVI ") || !is(12, "LIST") || Load32(&head[16]) != kHdrlSize ||
        !is(20, "hdrl") || !is(kAvihOffset, "avih") || !is(kSlot0, "LIST") ||
        !is(kSlot0 + 8, "strl") || !is(kOdmlOffset, "LIST") || !is(kMoviOffset, "LIST") ||
        !is(kMoviOffset + 8, "movi"))
        return Status::kBadFormat;
    const uint64_t slot1 = kSlot0 + kSlotBytes;
    if (is(slot1, "LIST")) return Status::kNoRoom;
    if (!is(slot1, "JUNK") || Load32(&head[slot1 + 4]) != kSlotBytes - 8) return Status::kBadFormat;
    avih_.assign(head.begin() + kAvihOffset + 8, head.begin() + kAvihOffset + 64);

    // The first segment: the movi list, then idx1 up to the segment's end.
    const uint64_t firstEnd = 8 + uint64_t(Load32(&head[4]));
    const uint64_t moviEnd = kMoviOffset + 8 + uint64_t(Load32(&head[kMoviOffset + 4]));
    if (firstEnd > size || moviEnd > firstEnd || moviEnd < kFirstChunk) return Status::kBadFormat;
    uint8_t ck[8] = {};
    if (moviEnd + 8 > firstEnd || !file->ReadAt(moviEnd, ck, 8)) return Status::kBadFormat;
    const uint64_t idx1Bytes = Load32(ck + 4);
    if (Load32(ck) != FourCC("idx1") || moviEnd + 8 + idx1Bytes > firstEnd || idx1Bytes % 16 != 0)
        return Status::kBadFormat;

    // Later segments follow one another to the end of the file.
    uint64_t pos = firstEnd + (firstEnd & 1);
    int segments = 1;
    while (pos + 24 <= size) {
        uint8_t rh[12];
        if (!file->ReadAt(pos, rh, 12)) return Status::kReadFailed;
        const uint64_t segEnd = pos + 8 + uint64_t(Load32(rh + 4));
        if (Load32(rh) != FourCC("RIFF") || Load32(rh + 8) != FourCC("AVIX") || segEnd > size)
            return Status::kBadFormat;
        pos = segEnd + (segEnd & 1);
        ++segments;
    }

    // Everything adding a stream may overwrite: the header, and in a file of one segment its
    // idx1 and what follows (the new chunks take their place).
    undoHead_ = head;
    undoSize_ = size;
    if (segments == 1) {
        undoTailAt_ = moviEnd;
        undoTail_.resize(size_t(size - moviEnd));
        if (!file->ReadAt(moviEnd, undoTail_.data(), undoTail_.size())) return Status::kReadFailed;
    }

    // A placeholder for the stream already there keeps the new one's number right.
    Stream existing;
    existing.owned = false;
    streams_.push_back(existing);
    if (Status s = AddStream(stream, 1); s != Status::kOk) return s;

    open_ = true;
    if (segments == 1) {
        // Continue the first segment where its idx1 was; idx1 is rewritten on close.
        idx1_.resize(size_t(idx1Bytes));
        if (idx1Bytes && !file->ReadAt(moviEnd + 8, idx1_.data(), idx1_.size())) {
            open_ = false;
            return Status::kReadFailed;
        }
        riffStart_ = 0;
        moviStart_ = kMoviOffset;
        end_ = moviEnd;
        segment_ = 0;
    } else {
        end_ = std::min(pos, size);
        segment_ = segments - 1;
        if (Status s = StartSegment(); s != Status::kOk) {
            open_ = false;
            return s;
        }
    }
    return Status::kOk;
}

uint64_t Writer::PendingIndexBytes(int extraStream) const {
    uint64_t n = 0;
    for (size_t i = 0; i < streams_.size(); ++i) {
        const size_t entries = streams_[i].seg.size() + (int(i) == extraStream ? 1 : 0);
        if (entries) n += 32 + 8 * uint64_t(entries);
    }
    if (segment_ == 0) n += 8 + idx1_.size() + (extraStream >= 0 ? 16 : 0);
    return n;
}

Status Writer::WriteChunk(int stream, const void* data, size_t n, bool keyFrame) {
    if (!open_) return Status::kBadArgument;
    if (failed_ != Status::kOk) return failed_;
    if (stream < 0 || size_t(stream) >= streams_.size() || !streams_[stream].owned ||
        n > 0x7FFFFFF0u)
        return Status::kBadArgument;
    const uint64_t total = 8 + uint64_t(n) + (n & 1);
    bool segmentHasChunks = false;
    for (const Stream& s : streams_) segmentHasChunks |= !s.seg.empty();
    if (segmentHasChunks && end_ + total + PendingIndexBytes(stream) - riffStart_ > segmentBytes_) {
        for (const Stream& s : streams_)
            if (!s.seg.empty() && s.super.size() >= kSuperIndexEntries)
                return Fail(Status::kTooLarge);
        if (Status s = CloseSegment(); s != Status::kOk) return Fail(s);
        ++segment_;
        if (Status s = StartSegment(); s != Status::kOk) return Fail(s);
    }
    Stream& s = streams_[stream];
    uint8_t head[8];
    Store32(head, s.chunkId);
    Store32(head + 4, uint32_t(n));
    const uint8_t pad = 0;
    if (!Write(end_, head, 8) || (n && !Write(end_ + 8, data, n)) ||
        ((n & 1) && !Write(end_ + 8 + n, &pad, 1))) {
        // Cut the partial chunk off so the file ends at the last whole one.
        if (!file_->Truncate(end_)) damaged_ = true;
        return Fail(Status::kWriteFailed);
    }
    s.seg.push_back({end_ + 8, uint32_t(n) | (keyFrame ? 0 : kNotKey)});
    const uint64_t samples = s.info.sampleSize ? n / s.info.sampleSize : 1;
    s.segDuration += samples;
    s.length += samples;
    ++s.chunks;
    s.maxChunk = std::max<uint32_t>(s.maxChunk, uint32_t(n));
    if (segment_ == 0) {
        ++s.firstSegmentChunks;
        uint8_t e[16];
        Store32(e, s.chunkId);
        Store32(e + 4, keyFrame ? kKeyFrameFlag : 0);
        Store32(e + 8, uint32_t(end_ - (moviStart_ + 8)));
        Store32(e + 12, uint32_t(n));
        idx1_.insert(idx1_.end(), e, e + 16);
    }
    end_ += total;
    return Status::kOk;
}

Status Writer::StartSegment() {
    Bytes b;
    b.U32(FourCC("RIFF"));
    b.U32(4 + 12);
    b.U32(FourCC("AVIX"));
    b.U32(FourCC("LIST"));
    b.U32(4);
    b.U32(FourCC("movi"));
    if (!Write(end_, b.Data(), b.Size())) {
        (void)file_->Truncate(end_);
        return Status::kWriteFailed;
    }
    riffStart_ = end_;
    moviStart_ = end_ + 12;
    end_ += 24;
    return Status::kOk;
}

// Writes a standard index per stream at the end of the movi list and, in the first
// segment, idx1 after the list. On failure nothing of it counts and end_ is unchanged.
bool Writer::WriteIndexes(uint64_t* moviEnd) {
    const uint64_t start = end_;
    std::vector<size_t> superBefore;
    for (const Stream& s : streams_) superBefore.push_back(s.super.size());
    bool ok = true;
    for (Stream& s : streams_) {
        if (s.seg.empty()) continue;
        Bytes ix;
        ix.U32(s.indexId);
        ix.U32(uint32_t(24 + 8 * s.seg.size()));
        ix.U16(2);
        ix.U8(0);
        ix.U8(kIndexOfChunks);
        ix.U32(uint32_t(s.seg.size()));
        ix.U32(s.chunkId);
        ix.U64(riffStart_);
        ix.U32(0);
        for (const StdEntry& e : s.seg) {
            ix.U32(uint32_t(e.dataOffset - riffStart_));
            ix.U32(e.size);
        }
        if (!Write(end_, ix.Data(), ix.Size())) {
            ok = false;
            break;
        }
        if (s.super.size() < kSuperIndexEntries)
            s.super.push_back({end_, uint32_t(ix.Size()), Clamp32(s.segDuration)});
        end_ += ix.Size();
    }
    *moviEnd = end_;
    if (ok && segment_ == 0) {
        uint8_t h[8];
        Store32(h, FourCC("idx1"));
        Store32(h + 4, uint32_t(idx1_.size()));
        if (Write(end_, h, 8) && (idx1_.empty() || Write(end_ + 8, idx1_.data(), idx1_.size())))
            end_ += 8 + idx1_.size();
        else
            ok = false;
    }
    if (!ok) {
        end_ = *moviEnd = start;
        for (size_t i = 0; i < streams_.size(); ++i) streams_[i].super.resize(superBefore[i]);
    }
    return ok;
}

// Takes the segment's last chunk back; false when the segment has none.
bool Writer::DropLastChunk() {
    Stream* last = nullptr;
    for (Stream& s : streams_)
        if (!s.seg.empty() && (!last || s.seg.back().dataOffset > last->seg.back().dataOffset))
            last = &s;
    if (!last) return false;
    const StdEntry e = last->seg.back();
    last->seg.pop_back();
    const uint32_t n = e.size & ~kNotKey;
    const uint64_t samples = last->info.sampleSize ? n / last->info.sampleSize : 1;
    last->segDuration -= samples;
    last->length -= samples;
    --last->chunks;
    if (segment_ == 0) {
        --last->firstSegmentChunks;
        idx1_.resize(idx1_.size() - 16);
    }
    end_ = e.dataOffset - 8;
    return true;
}

// Ends the current segment: its indexes, then the list and RIFF sizes. When the indexes do
// not fit (a full disk), the segment's last chunks are given back until they do, so every
// chunk left in the file is indexed.
Status Writer::CloseSegment() {
    Status result = Status::kOk;
    uint64_t moviEnd = end_;
    while (!WriteIndexes(&moviEnd)) {
        result = Status::kWriteFailed;
        (void)file_->Truncate(end_);
        if (!DropLastChunk()) {
            (void)file_->Truncate(end_);
            moviEnd = end_;
            break;
        }
        (void)file_->Truncate(end_);
    }
    for (Stream& s : streams_) {
        s.seg.clear();
        s.segDuration = 0;
    }
    uint8_t v[4];
    Store32(v, uint32_t(moviEnd - (moviStart_ + 8)));
    bool ok = Write(moviStart_ + 4, v, 4);
    Store32(v, uint32_t(end_ - riffStart_ - 8));
    ok = Write(riffStart_ + 4, v, 4) && ok;
    if (!ok) {
        result = Status::kWriteFailed;
        damaged_ = layoutBroken_ = true;
    }
    return result;
}

Status Writer::WriteHeaders() {
    const Stream* video = nullptr;
    for (const Stream& s : streams_)
        if (s.owned && s.info.fccType == FourCC("vids")) video = &s;
    // Main header.
    std::vector<uint8_t> avih(56, 0);
    if (created_) {
        uint32_t maxChunk = 0;
        for (const Stream& s : streams_) maxChunk = std::max(maxChunk, s.maxChunk);
        const StreamInfo& v = video->info;
        Store32(&avih[0], Clamp32((uint64_t{1000000} * v.scale + v.rate / 2) / v.rate));
        Store32(&avih[4], Clamp32(uint64_t(maxChunk) * v.rate / v.scale));
        Store32(&avih[12], kHasIndex);
        Store32(&avih[16], video->firstSegmentChunks);
        Store32(&avih[28], maxChunk);
        Store32(&avih[32], uint32_t(int32_t(v.width)));
        Store32(&avih[36], uint32_t(int32_t(v.height)));
    } else {
        avih = avih_;
    }
    Store32(&avih[24], uint32_t(streams_.size()));
    Bytes top;
    top.U32(FourCC("avih"));
    top.U32(56);
    top.Put(avih.data(), 56);
    if (!Write(kAvihOffset, top.Data(), top.Size())) return Status::kWriteFailed;

    for (const Stream& s : streams_) {
        if (!s.owned) continue;
        Bytes b;
        b.U32(FourCC("LIST"));
        b.U32(0);  // patched below
        b.U32(FourCC("strl"));
        b.U32(FourCC("strh"));
        b.U32(56);
        b.U32(s.info.fccType);
        b.U32(s.info.fccHandler);
        b.U32(0);  // flags
        b.U16(0);  // priority
        b.U16(0);  // language
        b.U32(0);  // initial frames
        b.U32(s.info.scale);
        b.U32(s.info.rate);
        b.U32(0);  // start
        b.U32(Clamp32(s.length));
        b.U32(s.maxChunk);
        b.U32(s.info.quality);
        b.U32(s.info.sampleSize);
        b.U16(0);
        b.U16(0);
        b.U16(uint16_t(s.info.width));
        b.U16(uint16_t(s.info.height));
        b.U32(FourCC("strf"));
        b.U32(uint32_t(s.info.format.size()));
        b.Put(s.info.format.data(), s.info.format.size());
        b.Pad();
        if (!s.info.name.empty()) {
            b.U32(FourCC("strn"));
            b.U32(uint32_t(s.info.name.size() + 1));
            b.Put(s.info.name.data(), s.info.name.size());
            b.U8(0);
            b.Pad();
        }
        b.U32(FourCC("indx"));
        b.U32(24 + 16 * kSuperIndexEntries);
        b.U16(4);
        b.U8(0);
        b.U8(kIndexOfIndexes);
        b.U32(uint32_t(s.super.size()));
        b.U32(s.chunkId);
        b.Zeros(12);
        for (const SuperEntry& e : s.super) {
            b.U64(e.offset);
            b.U32(e.size);
            b.U32(e.duration);
        }
        b.Zeros(16 * (kSuperIndexEntries - s.super.size()));
        // The padding stays inside the list: readers that take the chunk after one stream's
        // list as the next stream's list find it there.
        b.U32(FourCC("JUNK"));
        b.U32(uint32_t(kSlotBytes - b.Size() - 4));
        b.Zeros(kSlotBytes - b.Size());
        b.Patch32(4, uint32_t(kSlotBytes - 8));
        if (!Write(kSlot0 + uint64_t(s.slot) * kSlotBytes, b.Data(), b.Size()))
            return Status::kWriteFailed;
    }
    if (created_) {
        Bytes b;
        for (uint64_t slot = streams_.size(); slot < kSlotCount; ++slot) {
            Bytes j;
            j.U32(FourCC("JUNK"));
            j.U32(uint32_t(kSlotBytes - 8));
            j.Zeros(kSlotBytes - 8);
            if (!Write(kSlot0 + slot * kSlotBytes, j.Data(), j.Size())) return Status::kWriteFailed;
        }
        b.U32(FourCC("LIST"));
        b.U32(uint32_t(4 + 8 + kDmlhBytes));
        b.U32(FourCC("odml"));
        b.U32(FourCC("dmlh"));
        b.U32(uint32_t(kDmlhBytes));
        b.U32(video ? Clamp32(video->length) : 0);
        b.Zeros(kDmlhBytes - 4);
        b.U32(FourCC("LIST"));
        b.U32(0);  // movi size, patched by CloseSegment
        b.U32(FourCC("movi"));
        Bytes head;
        head.U32(FourCC("RIFF"));
        head.U32(0);
        head.U32(FourCC("AVI "));
        head.U32(FourCC("LIST"));
        head.U32(uint32_t(kHdrlSize));
        head.U32(FourCC("hdrl"));
        if (!Write(0, head.Data(), 4) || !Write(8, head.Data() + 8, 16) ||
            !Write(kOdmlOffset, b.Data(), b.Size() - 8) ||
            !Write(kMoviOffset + 8, b.Data() + b.Size() - 4, 4))
            return Status::kWriteFailed;
    }
    return Status::kOk;
}

Status Writer::Close() {
    if (!open_) return failed_ == Status::kOk ? Status::kBadArgument : failed_;
    open_ = false;
    Status result = failed_;
    if (Status s = CloseSegment(); s != Status::kOk && result == Status::kOk) result = s;
    if (Status s = WriteHeaders(); s != Status::kOk) {
        damaged_ = layoutBroken_ = true;
        if (result == Status::kOk) result = s;
    }
    if (file_->Size() > end_ && !file_->Truncate(end_)) {
        damaged_ = true;
        if (result == Status::kOk) result = Status::kWriteFailed;
    }
    if (!file_->Flush()) {
        damaged_ = true;
        if (result == Status::kOk) result = Status::kWriteFailed;
    }
    if (damaged_ && !created_ && Restore()) damaged_ = layoutBroken_ = false;
    return result;
}

// Puts a file opened to add a stream back as it was found.
bool Writer::Restore() {
    if (undoHead_.empty()) return false;
    return Write(0, undoHead_.data(), undoHead_.size()) &&
           (undoTail_.empty() || Write(undoTailAt_, undoTail_.data(), undoTail_.size())) &&
           file_->Truncate(undoSize_) && file_->Flush();
}

}  // namespace tqk::avi
