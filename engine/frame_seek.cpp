#include "frame_seek.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "../common/result_code.h"

namespace tqk {

namespace {

// Small reads through a window read ahead: the heads of a still screen's small records lie
// close together and cost one platform read for many.
class HeadReader {
public:
    explicit HeadReader(RandomSource& file) : file_(file) {}
    bool Read(uint64_t offset, uint8_t* dst, size_t n) {
        if (offset < start_ || offset + n > start_ + got_) {
            start_ = offset;
            got_ = file_.ReadAt(offset, window_.data(), window_.size());
            if (got_ < n) return false;
        }
        std::memcpy(dst, window_.data() + (offset - start_), n);
        return true;
    }

private:
    RandomSource& file_;
    std::vector<uint8_t> window_ = std::vector<uint8_t>(size_t{64} << 10);
    uint64_t start_ = 0;
    size_t got_ = 0;
};

}  // namespace

int32_t IndexRecords(RandomSource& file, MovieHeader* h, std::vector<FrameRecord>* records) {
    records->clear();
    uint8_t head[kHeaderBytes];
    if (file.ReadAt(0, head, sizeof head) != sizeof head) return kErrBadFile;
    if (DecodeHeader(head, h) != kOk) return kErrBadFile;
    const int32_t rc = CheckHeaderForPlay(*h);
    if (rc != kOk) return rc;
    const RecordScan scan = ScanRecords(file, *h);
    MovieHeader playable = *h;
    playable.sec = PlayableSeconds(*h, scan);
    const uint64_t count =
        std::min<uint64_t>({scan.records, FrameCount(playable), uint64_t(INT32_MAX)});
    h->sec = playable.sec;
    const uint64_t F = FrameBytes(*h);
    try {
        records->reserve(size_t(count));
    } catch (...) {
        return kErrApi;
    }
    HeadReader reader(file);
    uint64_t at = kHeaderBytes;
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t rec[kRecordHeadBytes + 8];
        if (!reader.Read(at, rec, kRecordHeadBytes)) return kErrBadFile;  // changed under us
        FrameRecord r;
        r.offset = at;
        r.packedBytes = LoadLE32(rec + 4);
        // The whole frame in one literal run (what a whole screen changing packs to).
        if (r.packedBytes == F + 8 && reader.Read(at + kRecordHeadBytes, rec + 8, 8))
            r.whole = LoadLE32(rec + 8) == 0 && LoadLE32(rec + 12) == F / 4;
        records->push_back(r);
        at += kRecordHeadBytes + r.packedBytes;
    }
    return kOk;
}

int32_t FrameSeeker::Open(RandomSource* file) {
    file_ = file;
    snapshots_.clear();
    snapshotBytes_ = 0;
    wholes_.clear();
    aheadFailed_ = false;
    snapFile_ = nullptr;
    fileSnapshots_.clear();
    fileCovers_ = false;
    haveIdentity_ = false;
    int32_t rc = IndexRecords(*file, &header_, &records_);
    if (rc != kOk) return rc;
    if (records_.empty()) return kErrBadFile;
    frameBytes_ = size_t(FrameBytes(header_));
    for (size_t i = 0; i < records_.size(); ++i)
        if (records_[i].whole) wholes_.push_back(int32_t(i));
    // A snapshot a second to begin with, at most about a thousand in all (each costs a few
    // tens of milliseconds to pack); Thin widens the interval when the budget is reached.
    interval_ = std::max({header_.fps, 1, int32_t((records_.size() + 1023) / 1024)});
    spacingBytes_ = kSpacingBytes;
    sinceFrames_ = 0;
    sinceBytes_ = 0;
    view_.frame = AllocateZeroed(frameBytes_);
    ahead_.frame = AllocateZeroed(frameBytes_);
    if (!view_.frame || !ahead_.frame) return kErrApi;
    view_.at = ahead_.at = -1;
    return Seek(0);
}

int32_t FrameSeeker::Step(Cursor& c) {
    const FrameRecord& r = records_[size_t(c.at + 1)];
    const size_t n = kRecordHeadBytes + r.packedBytes;
    if (packed_.size() < n) packed_.resize(n);
    if (file_->ReadAt(r.offset, packed_.data(), n) != n) return kErrFrameSize;
    if (std::memcmp(packed_.data(), "FRAM", 4) != 0) return kErrNoFrameTag;
    const int32_t rc = UnpackFrameInPlace(packed_.data() + kRecordHeadBytes, r.packedBytes,
                                          c.frame.get(), frameBytes_);
    if (rc != kOk) return rc;
    ++c.at;
    return kOk;
}

int32_t FrameSeeker::Restore(Cursor& c, int32_t snapshotAt) {
    const std::vector<uint8_t>& z = snapshots_.at(snapshotAt);
    uLongf out = uLongf(frameBytes_);
    if (uncompress(c.frame.get(), &out, z.data(), uLong(z.size())) != Z_OK || out != frameBytes_)
        return kErrApi;
    c.at = snapshotAt;
    return kOk;
}

void FrameSeeker::TakeSnapshot(const Cursor& c) {
    if (budget_ == 0 || snapshots_.count(c.at)) return;
    std::vector<uint8_t> z;
    try {
        z.resize(compressBound(uLong(frameBytes_)));
    } catch (...) {
        return;  // no snapshot: seeks unpack further
    }
    uLongf got = uLongf(z.size());
    if (compress2(z.data(), &got, c.frame.get(), uLong(frameBytes_), 1) != Z_OK) return;
    z.resize(got);
    z.shrink_to_fit();
    snapshotBytes_ += z.size();
    if (snapshots_.empty()) {
        // The first snapshot tells what the others will take: an interval that fits the
        // budget from the start spares packing snapshots only to drop them later.
        const uint64_t projected = uint64_t(z.size()) * records_.size() * 5 / 4;
        const uint64_t wanted = budget_ ? (projected + budget_ - 1) / budget_ : 1;
        while (uint64_t(interval_) < wanted && interval_ <= INT32_MAX / 2) {
            interval_ *= 2;
            spacingBytes_ *= 2;
        }
    }
    snapshots_.emplace(c.at, std::move(z));
    while (snapshotBytes_ > budget_) {
        if (snapshots_.size() <= 1) {  // not even one fits
            snapshots_.clear();
            snapshotBytes_ = 0;
            break;
        }
        Thin();
    }
}

// Twice the spacing: every other snapshot goes.
void FrameSeeker::Thin() {
    if (interval_ > INT32_MAX / 2) {
        snapshotBytes_ = 0;
        snapshots_.clear();
        return;
    }
    interval_ *= 2;
    spacingBytes_ *= 2;
    // A snapshot goes when the ones before and after it lie within the new interval of each
    // other; the last one stays, the walk counts on from it.
    int32_t kept = -1;
    for (auto it = snapshots_.begin(); it != snapshots_.end();) {
        const auto next = std::next(it);
        const int32_t after = next == snapshots_.end() ? INT32_MAX : next->first;
        if (int64_t{after} - kept <= interval_) {  // 64 bits: after may be INT32_MAX
            snapshotBytes_ -= it->second.size();
            it = snapshots_.erase(it);
        } else {
            kept = it->first;
            ++it;
        }
    }
    // The walk counts on from the last snapshot kept.
    const int32_t last = snapshots_.empty() ? 0 : snapshots_.rbegin()->first;
    sinceFrames_ = 0;
    sinceBytes_ = 0;
    for (int32_t n = last + 1; n <= ahead_.at; ++n) {
        ++sinceFrames_;
        sinceBytes_ += records_[size_t(n)].packedBytes;
    }
}

bool FrameSeeker::Prepare(int32_t maxRecords) {
    for (int32_t k = 0; k < maxRecords && !Prepared(); ++k) {
        if (Step(ahead_) != kOk) {
            aheadFailed_ = true;
            break;
        }
        const int32_t n = ahead_.at;
        const FrameRecord& r = records_[size_t(n)];
        if (r.whole) {
            sinceFrames_ = 0;  // the record is as good as a snapshot
            sinceBytes_ = 0;
            continue;
        }
        ++sinceFrames_;
        sinceBytes_ += r.packedBytes;
        // A snapshot after so many frames, or sooner after large records (a page scrolled, a
        // window dragged), so that no seek unpacks more than about that much.
        if (sinceFrames_ >= interval_ || sinceBytes_ >= spacingBytes_) {
            TakeSnapshot(ahead_);
            sinceFrames_ = 0;
            sinceBytes_ = 0;
        }
    }
    return Prepared();
}

int32_t FrameSeeker::Seek(int32_t n) {
    lastSeekRecords_ = 0;
    if (n < 0 || n >= Frames()) return kErrBadFile;
    if (view_.at == n) return kOk;
    // The nearest start at or before n: the frame at hand, a snapshot (in memory, else from
    // the file), a record that holds its whole frame (as if its predecessor were at hand), the
    // walk ahead. A file's snapshot that fails is dropped and the choice made again.
    constexpr int32_t kNone = -2;  // -1 stands for the zeros before frame 0
    int32_t rc = kOk;
    for (;;) {
        const int32_t from = view_.at <= n ? view_.at : kNone;
        auto s = snapshots_.upper_bound(n);
        const int32_t snap = s == snapshots_.begin() ? kNone : std::prev(s)->first;
        auto f = fileSnapshots_.upper_bound(n);
        const int32_t fileSnap = f == fileSnapshots_.begin() ? kNone : std::prev(f)->first;
        auto w = std::upper_bound(wholes_.begin(), wholes_.end(), n);
        const int32_t whole = w == wholes_.begin() ? kNone : *std::prev(w) - 1;
        const int32_t ahead = ahead_.at <= n && !aheadFailed_ ? ahead_.at : kNone;
        const int32_t best = std::max({from, snap, fileSnap, whole, ahead, -1});
        if (best == from) {
            // Unpacked on from the frame at hand.
        } else if (best == ahead) {
            // From where the walk ahead stands; the walk itself goes on in its own time (its
            // snapshots cost far more than unpacking, so a seek does not wait for them).
            std::memcpy(view_.frame.get(), ahead_.frame.get(), frameBytes_);
            view_.at = ahead_.at;
        } else if (best == snap) {
            rc = Restore(view_, snap);
        } else if (best == fileSnap) {
            if (!RestoreFromFile(view_, fileSnap)) {
                std::memset(view_.frame.get(), 0, frameBytes_);
                view_.at = -1;
                continue;
            }
        } else if (best == whole) {
            view_.at = whole;  // the whole record replaces every byte of what is at hand
        } else {
            std::memset(view_.frame.get(), 0, frameBytes_);
            view_.at = -1;
        }
        break;
    }
    while (rc == kOk && view_.at < n) {
        rc = Step(view_);
        ++lastSeekRecords_;
    }
    if (rc != kOk) {
        view_.at = -1;
        std::memset(view_.frame.get(), 0, frameBytes_);
    }
    return rc;
}

bool FrameSeeker::RestoreFromFile(Cursor& c, int32_t at) {
    const auto it = fileSnapshots_.find(at);
    if (it == fileSnapshots_.end()) return false;
    if (LoadSnapshot(*snapFile_, it->second, c.frame.get(), frameBytes_, &packed_)) {
        c.at = at;
        return true;
    }
    fileSnapshots_.erase(it);  // changed or damaged since: as if it were not there
    return false;
}

int32_t FrameSeeker::Identity(MovieIdentity* id) {
    if (!file_ || records_.empty()) return kErrBadFile;
    if (!haveIdentity_) {
        std::vector<uint32_t> sizes;
        sizes.reserve(records_.size());
        for (const FrameRecord& r : records_) sizes.push_back(r.packedBytes);
        const int32_t rc = ComputeIdentity(*file_, sizes, frameBytes_, &identity_);
        if (rc != kOk) return rc;
        haveIdentity_ = true;
    }
    *id = identity_;
    return kOk;
}

int32_t FrameSeeker::UseSnapshotFile(RandomSource* file) {
    MovieIdentity id;
    SnapshotTable table;
    // Taken before the walk begins, so that the file's snapshots and the walk's never overlap.
    if (snapFile_ || ahead_.at >= 0 || !snapshots_.empty() || Identity(&id) != kOk ||
        ReadSnapshotTable(*file, id, &table) != kOk)
        return kErrBadFile;
    snapFile_ = file;
    for (const SnapshotEntry& e : table.entries) fileSnapshots_.emplace(e.frame, e);
    fileCovers_ = table.walked >= Frames() || table.walkFailed;
    // A file written before its walk was through: the walk goes on from its last snapshot.
    if (!fileCovers_ && !fileSnapshots_.empty()) {
        auto last = fileSnapshots_.upper_bound(table.walked - 1);
        while (last != fileSnapshots_.begin()) {
            --last;
            if (RestoreFromFile(ahead_, last->first)) {
                sinceFrames_ = 0;
                sinceBytes_ = 0;
                break;
            }
            // RestoreFromFile dropped it and left ahead_ undefined: the zeros again.
            std::memset(ahead_.frame.get(), 0, frameBytes_);
            ahead_.at = -1;
            last = fileSnapshots_.upper_bound(table.walked - 1);
        }
    }
    return kOk;
}

uint32_t FrameSeeker::BeginSnapshotFile(const std::string& utf8Path, SnapshotFileWriter* writer) {
    MovieIdentity id;
    if (snapFile_ || Identity(&id) != kOk) return 1;
    std::vector<SnapshotPiece> pieces;
    pieces.reserve(snapshots_.size());
    for (const auto& [frame, z] : snapshots_) pieces.push_back({frame, z.data(), z.size()});
    return writer->Begin(utf8Path, id, ahead_.at + 1, aheadFailed_, std::move(pieces));
}

}  // namespace tqk
