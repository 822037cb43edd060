// Any frame of a movie, quickly. A movie is a chain of frames each packed against the one
// before, so frame n needs every record before it. FrameSeeker finds where each record lies
// once, when the movie is opened (a walk over the record heads, no unpacking), and keeps
// snapshots of whole frames at regular intervals, packed with zlib, within a fixed memory
// budget: frame n is the nearest snapshot (or record that stores its whole frame, or the frame
// already at hand, or where the walk ahead stands) before it, unpacked forward. Snapshots are
// taken by a walk ahead through the movie (Prepare, a slice at a time, while nothing else is
// asked of the seeker), or read from a snapshot file beside the movie that an earlier walk
// wrote (snapshot_file.h): its table is read when it is taken, each snapshot only when a seek
// needs it. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "snapshot_file.h"
#include "tqk_format.h"

namespace tqk {

// Where one frame's record stands.
struct FrameRecord {
    uint64_t offset = 0;       // of its "FRAM" head
    uint32_t packedBytes = 0;  // PackedSize
    bool whole = false;        // an empty unchanged run, then the whole frame as one literal run
};

// The records a reader plays: fps x sec of them, or the whole seconds of a movie cut short, or
// those before the first damaged record. kOk, or the header's code (-3, -8), kErrApi.
[[nodiscard]] int32_t IndexRecords(RandomSource& file, MovieHeader* h,
                                   std::vector<FrameRecord>* records);

class FrameSeeker {
public:
    // Snapshots of a 1920 x 1080 desktop pack to a few hundred kilobytes each.
    static constexpr size_t kDefaultBudget = size_t{160} << 20;
    explicit FrameSeeker(size_t snapshotBudget = kDefaultBudget) : budget_(snapshotBudget) {}

    // Reads the header and indexes the records; file must outlive the seeker. kOk, kErrBadFile
    // (not a movie, or no frame), kErrEightBitType, kErrApi (memory).
    [[nodiscard]] int32_t Open(RandomSource* file);
    // The header, with sec the seconds a reader plays (a movie cut short holds fewer).
    const MovieHeader& Header() const { return header_; }
    int32_t Frames() const { return int32_t(records_.size()); }
    const FrameRecord& Record(int32_t n) const { return records_[size_t(n)]; }
    size_t FrameSize() const { return frameBytes_; }
    RandomSource& File() const { return *file_; }

    // Makes frame n (0 <= n < Frames()) the current one: kOk, kErrNoFrameTag or kErrFrameSize
    // for a damaged record (the current frame is then unknown), kErrBadFile for n out of range.
    [[nodiscard]] int32_t Seek(int32_t n);
    int32_t Current() const { return view_.at; }
    const uint8_t* Frame() const { return view_.frame.get(); }

    // Walks ahead through at most maxRecords records taking snapshots; true once the walk has
    // reached the last frame (or a damaged record).
    bool Prepare(int32_t maxRecords);
    bool Prepared() const { return ahead_.at + 1 >= Frames() || aheadFailed_ || fileCovers_; }
    // The walk stopped at a damaged record (the frames behind it cannot be shown).
    bool WalkFailed() const { return aheadFailed_; }

    // Takes the snapshots of a snapshot file (after Open, before any Prepare; file must
    // outlive the seeker or the next Open): kOk when it belongs to this movie as it is now, and the
    // walk ahead is then needed only for what the file does not cover; kErrBadFile otherwise (the
    // seeker goes on without it). A snapshot that no longer reads back right is skipped.
    [[nodiscard]] int32_t UseSnapshotFile(RandomSource* file);
    bool UsesSnapshotFile() const { return snapFile_ != nullptr; }
    size_t FileSnapshotCount() const { return fileSnapshots_.size(); }
    // What the snapshot file of this movie needs to know of it (read once, then kept).
    [[nodiscard]] int32_t Identity(MovieIdentity* id);
    // Starts writing the walk's snapshots to a snapshot file (see SnapshotFileWriter); the
    // seeker must not walk on, be opened again or go before the writer is done. 0 or the
    // platform's error number; a seeker that took its snapshots from a file writes none.
    [[nodiscard]] uint32_t BeginSnapshotFile(const std::string& utf8Path,
                                             SnapshotFileWriter* writer);

    size_t SnapshotBytes() const { return snapshotBytes_; }
    size_t SnapshotCount() const { return snapshots_.size(); }
    int32_t SnapshotInterval() const { return interval_; }
    // Records unpacked by the last Seek (for the benchmark and the tests).
    int32_t LastSeekRecords() const { return lastSeekRecords_; }

private:
    struct Cursor {
        ByteBuffer frame;
        int32_t at = -1;  // the frame held; -1: the zeros before frame 0
    };
    [[nodiscard]] int32_t Step(Cursor& c);  // c.at + 1 into c
    [[nodiscard]] int32_t Restore(Cursor& c, int32_t snapshotAt);
    void TakeSnapshot(const Cursor& c);
    void Thin();
    // Unpacks the file's snapshot of frame at into c; false (and the snapshot dropped) when it
    // no longer reads back right.
    bool RestoreFromFile(Cursor& c, int32_t at);

    RandomSource* file_ = nullptr;
    MovieHeader header_;
    size_t frameBytes_ = 0;
    std::vector<FrameRecord> records_;
    std::vector<int32_t> wholes_;  // frames whose record stores the whole frame, ascending
    Cursor view_, ahead_;
    bool aheadFailed_ = false;
    std::vector<uint8_t> packed_;
    std::map<int32_t, std::vector<uint8_t>> snapshots_;
    size_t snapshotBytes_ = 0;
    size_t budget_;
    int32_t interval_ = 1;  // frames between snapshots, at most
    // Record bytes between snapshots, at most: what a seek unpacks stays bounded whatever the
    // records hold.
    static constexpr uint64_t kSpacingBytes = uint64_t{48} << 20;
    uint64_t spacingBytes_ = kSpacingBytes;
    int32_t sinceFrames_ = 0;  // since the walk ahead's last snapshot
    uint64_t sinceBytes_ = 0;
    int32_t lastSeekRecords_ = 0;
    RandomSource* snapFile_ = nullptr;
    std::map<int32_t, SnapshotEntry> fileSnapshots_;
    bool fileCovers_ = false;  // the file's snapshots reach the end: no walk needed
    bool haveIdentity_ = false;
    MovieIdentity identity_;
};

}  // namespace tqk
