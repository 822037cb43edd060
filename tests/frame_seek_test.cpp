// Any frame of generated movies through FrameSeeker: every frame, reached in order, at random
// and backwards, equals what reading the movie from its start gives, at every depth, with
// colour tables that change, dropped slots, whole-frame records, a tiny snapshot budget and
// movies cut short or damaged; and the same through a snapshot file written by one seeker and
// read by the next, also when the file is another movie's, cut short or damaged; the file made
// in one call (tqk snap, the recorder), stopped at any slice or failing without a trace.
#include "frame_seek.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "fault_seam.h"
#include "safe_file.h"
#include "snapshot_file.h"
#include "snapshot_make.h"
#include "temp_dir.h"

namespace tqk {
namespace {

struct MovieSpec {
    int bits = 32;
    int w = 32, h = 16, fps = 5, sec = 4;
    bool drops = true;   // every 7th slot dropped
    bool wholes = true;  // every 9th frame changes everywhere
    size_t budget = FrameSeeker::kDefaultBudget;
};

// A movie: small changes most frames (a moving block, a counter), now and then a whole new
// picture; 8-bit frames change their colour table every third frame.
std::vector<uint8_t> MakeMovie(const MovieSpec& m, std::vector<std::vector<uint8_t>>* frames) {
    MovieHeader h;
    h.Method = 1, h.BitCo = m.bits, h.W = m.w, h.H = m.h, h.fps = m.fps, h.sec = m.sec;
    MovieEncoder enc;
    EXPECT_EQ(enc.Start(h), kOk);
    std::vector<uint8_t> file(enc.Header(), enc.Header() + kHeaderBytes);
    const size_t F = enc.FrameSize();
    std::vector<uint8_t> frame(F, 0);
    std::mt19937 rng(uint32_t(m.bits * 131 + m.w));
    const int n = m.fps * m.sec;
    for (int i = 0; i < n; ++i) {
        size_t bytes = 0;
        const uint8_t* rec = nullptr;
        if (m.drops && i % 7 == 3) {
            rec = enc.EncodeDropped(&bytes);
        } else {
            if (m.wholes && i % 9 == 5) {
                for (auto& b : frame) b = uint8_t(rng() | 1);  // no word left unchanged
            } else {
                const size_t at = (size_t(i) * 37) % (F - 16);
                for (size_t k = 0; k < 16; ++k) frame[at + k] = uint8_t(rng());
            }
            if (m.bits == 8 && i % 3 == 0)
                for (size_t k = F - kColourTableBytes; k < F; k += 4) frame[k] = uint8_t(rng());
            rec = enc.EncodeFrame(frame.data(), &bytes);
        }
        file.insert(file.end(), rec, rec + bytes);
        frames->push_back(frame);
    }
    return file;
}

void ExpectFrame(FrameSeeker& s, const std::vector<std::vector<uint8_t>>& frames, int32_t n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(s.Seek(n), kOk);
    ASSERT_EQ(s.Current(), n);
    ASSERT_EQ(std::memcmp(s.Frame(), frames[size_t(n)].data(), s.FrameSize()), 0);
}

class EveryRoute : public ::testing::TestWithParam<int> {};

TEST_P(EveryRoute, EveryFrameAtEveryDepthWithDropsAndWholeFrames) {
    for (const size_t budget : {FrameSeeker::kDefaultBudget, size_t{3000}, size_t{0}}) {
        for (const bool prepared : {false, true}) {
            SCOPED_TRACE(testing::Message() << "budget " << budget << " prepared " << prepared);
            MovieSpec m;
            m.bits = GetParam();
            std::vector<std::vector<uint8_t>> frames;
            const auto bytes = MakeMovie(m, &frames);
            MemoryFile file(bytes.data(), bytes.size());
            FrameSeeker s(budget);
            ASSERT_EQ(s.Open(&file), kOk);
            ASSERT_EQ(s.Frames(), m.fps * m.sec);
            EXPECT_EQ(s.Current(), 0);  // frame 0 is at hand on open
            if (prepared) {
                while (!s.Prepare(3)) {
                }
                EXPECT_LE(s.SnapshotBytes(), budget);
            }
            for (int32_t n = 0; n < s.Frames(); ++n) ExpectFrame(s, frames, n);
            for (int32_t n = s.Frames() - 1; n >= 0; --n) ExpectFrame(s, frames, n);
            std::mt19937 rng(7);
            for (int k = 0; k < 60; ++k) ExpectFrame(s, frames, int32_t(rng() % frames.size()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, EveryRoute, ::testing::Values(8, 16, 24, 32));

TEST(FrameSeeker, SnapshotsStayWithinTheBudgetAndShortenSeeks) {
    MovieSpec m;
    m.w = 64, m.h = 64, m.fps = 10, m.sec = 30, m.wholes = false;
    std::vector<std::vector<uint8_t>> frames;
    const auto bytes = MakeMovie(m, &frames);
    MemoryFile file(bytes.data(), bytes.size());
    FrameSeeker s(20000);
    ASSERT_EQ(s.Open(&file), kOk);
    while (!s.Prepare(50)) {
    }
    EXPECT_GT(s.SnapshotCount(), 1u);
    EXPECT_GT(s.SnapshotInterval(), 10);  // thinned
    EXPECT_LE(s.SnapshotBytes(), 20000u);
    // Backwards to any frame unpacks no more than one interval of records.
    for (int32_t n = s.Frames() - 1; n >= 0; n -= 13) {
        ExpectFrame(s, frames, n);
        EXPECT_LE(s.LastSeekRecords(), s.SnapshotInterval()) << n;
    }
}

TEST(FrameSeeker, WholeFrameRecordsNeedNothingBefore) {
    MovieSpec m;
    m.bits = 16;
    std::vector<std::vector<uint8_t>> frames;
    const auto bytes = MakeMovie(m, &frames);
    MemoryFile file(bytes.data(), bytes.size());
    FrameSeeker s(0);
    ASSERT_EQ(s.Open(&file), kOk);
    EXPECT_TRUE(s.Record(14).whole);
    EXPECT_FALSE(s.Record(15).whole);
    ExpectFrame(s, frames, 19);
    ExpectFrame(s, frames, 14);
    EXPECT_EQ(s.LastSeekRecords(), 1);
}

TEST(FrameSeeker, MovieCutShortPlaysItsWholeSeconds) {
    MovieSpec m;
    std::vector<std::vector<uint8_t>> frames;
    auto bytes = MakeMovie(m, &frames);
    // The recorder died inside the 13th record: the header still promises 4 seconds.
    MemoryFile whole(bytes.data(), bytes.size());
    std::vector<FrameRecord> records;
    MovieHeader h;
    ASSERT_EQ(IndexRecords(whole, &h, &records), kOk);
    bytes.resize(size_t(records[12].offset + 10));
    MemoryFile file(bytes.data(), bytes.size());
    FrameSeeker s;
    ASSERT_EQ(s.Open(&file), kOk);
    EXPECT_EQ(s.Header().sec, 2);
    ASSERT_EQ(s.Frames(), 10);
    for (int32_t n = 9; n >= 0; --n) ExpectFrame(s, frames, n);
    EXPECT_EQ(s.Seek(10), kErrBadFile);
    while (!s.Prepare(4)) {
    }
    ExpectFrame(s, frames, 9);
}

TEST(FrameSeeker, DamagedRecordsAreReportedNotShown) {
    MovieSpec m;
    m.drops = m.wholes = false;
    std::vector<std::vector<uint8_t>> frames;
    auto bytes = MakeMovie(m, &frames);
    MemoryFile whole(bytes.data(), bytes.size());
    std::vector<FrameRecord> records;
    MovieHeader h;
    ASSERT_EQ(IndexRecords(whole, &h, &records), kOk);
    // A run in record 6 longer than the frame.
    StoreLE32(&bytes[size_t(records[6].offset) + 8], 0x7fffffff);
    MemoryFile file(bytes.data(), bytes.size());
    FrameSeeker s;
    ASSERT_EQ(s.Open(&file), kOk);
    ExpectFrame(s, frames, 5);
    EXPECT_EQ(s.Seek(8), kErrFrameSize);
    ExpectFrame(s, frames, 2);  // what lies before the damage stays reachable
    EXPECT_EQ(s.Seek(6), kErrFrameSize);
    EXPECT_TRUE(s.Prepare(1000));
    ExpectFrame(s, frames, 4);
}

TEST(FrameSeeker, NotAMovieIsRefused) {
    const std::vector<uint8_t> junk(100, 7);
    MemoryFile file(junk.data(), junk.size());
    FrameSeeker s;
    EXPECT_EQ(s.Open(&file), kErrBadFile);
    MemoryFile empty(junk.data(), 0);
    EXPECT_EQ(s.Open(&empty), kErrBadFile);
}

// The snapshot file ----------------------------------------------------------------------------

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(std::filesystem::u8path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Writes the walk's snapshots a few bytes a slice, as the player does on its timer.
uint32_t WriteSnapshots(FrameSeeker& s, const std::string& path) {
    SnapshotFileWriter w;
    if (const uint32_t e = s.BeginSnapshotFile(path, &w)) return e;
    while (w.Continue(1) == SnapshotFileWriter::State::kWriting) {
    }
    return w.Current() == SnapshotFileWriter::State::kDone ? 0 : w.Error();
}

struct Walked {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint8_t> movie, snap;
    size_t snapshots = 0;
    int32_t interval = 0;
};

// A movie, walked through by one seeker and its snapshots written to a file.
Walked WalkAndWrite(const MovieSpec& m, const test::TempDir& dir) {
    Walked w;
    w.movie = MakeMovie(m, &w.frames);
    MemoryFile file(w.movie.data(), w.movie.size());
    FrameSeeker s(m.budget);
    EXPECT_EQ(s.Open(&file), kOk);
    while (!s.Prepare(7)) {
    }
    w.snapshots = s.SnapshotCount();
    w.interval = s.SnapshotInterval();
    const std::string path = dir.File("m.TQK.snap");
    EXPECT_EQ(WriteSnapshots(s, path), 0u);
    w.snap = ReadAll(path);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(ScratchPathFor(path))));
    return w;
}

MovieSpec LongerMovie(int bits) {
    MovieSpec m;
    m.bits = bits, m.fps = 5, m.sec = 12;
    m.wholes = false;  // every route but the snapshots is longer
    return m;
}

class SnapshotFileDepths : public ::testing::TestWithParam<int> {};

TEST_P(SnapshotFileDepths, EveryFrameThroughTheFileEqualsTheFrameFromTheStart) {
    test::TempDir dir("taviro_snap_");
    const Walked w = WalkAndWrite(LongerMovie(GetParam()), dir);
    ASSERT_GT(w.snapshots, 5u);
    MemoryFile movie(w.movie.data(), w.movie.size());
    MemoryFile snap(w.snap.data(), w.snap.size());
    std::mt19937 rng(3);
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        FrameSeeker s;
        ASSERT_EQ(s.Open(&movie), kOk);
        ASSERT_EQ(s.UseSnapshotFile(&snap), kOk);
        EXPECT_TRUE(s.Prepared());  // no walk needed
        EXPECT_EQ(s.FileSnapshotCount(), w.snapshots);
        EXPECT_EQ(s.SnapshotBytes(), 0u);  // read when needed, not held
        // Right after opening, far frames unpack no more than one interval from the file.
        const int32_t far = s.Frames() - 1 - pass * 7;
        ExpectFrame(s, w.frames, far);
        EXPECT_LE(s.LastSeekRecords(), w.interval);
        if (pass == 0)
            for (int32_t n = s.Frames() - 1; n >= 0; --n) ExpectFrame(s, w.frames, n);
        if (pass == 1)
            for (int32_t n = 0; n < s.Frames(); ++n) ExpectFrame(s, w.frames, n);
        for (int k = 0; k < 40; ++k) {
            ExpectFrame(s, w.frames, int32_t(rng() % w.frames.size()));
            EXPECT_LE(s.LastSeekRecords(), w.interval);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, SnapshotFileDepths, ::testing::Values(8, 16, 24, 32));

// Whatever the file holds, a seeker either refuses it or shows every frame right.
void ExpectRefusedOrRight(const Walked& w, const std::vector<uint8_t>& movieBytes,
                          const std::vector<uint8_t>& snapBytes, bool mustRefuse) {
    MemoryFile movie(movieBytes.data(), movieBytes.size());
    MemoryFile snap(snapBytes.data(), snapBytes.size());
    FrameSeeker s;
    ASSERT_EQ(s.Open(&movie), kOk);
    const int32_t rc = s.UseSnapshotFile(&snap);
    if (mustRefuse) {
        EXPECT_EQ(rc, kErrBadFile);
    }
    const int32_t frames = s.Frames();
    for (int32_t n = frames - 1; n >= 0; n -= 3) ExpectFrame(s, w.frames, n);
    while (!s.Prepare(5)) {
    }
    for (int32_t n = 0; n < frames; n += 2) ExpectFrame(s, w.frames, n);
}

TEST(SnapshotFile, FileOfAnotherMovieOrOfTheMovieBeforeItChangedIsIgnored) {
    test::TempDir dir("taviro_snap_");
    const MovieSpec m = LongerMovie(32);
    const Walked w = WalkAndWrite(m, dir);
    {
        SCOPED_TRACE("the same name recorded again: same header, length and record sizes");
        std::vector<uint8_t> bytes = w.movie;
        MemoryFile whole(bytes.data(), bytes.size());
        std::vector<FrameRecord> records;
        MovieHeader h;
        ASSERT_EQ(IndexRecords(whole, &h, &records), kOk);
        // One byte of a picture in the middle: the record's first literal word.
        bytes[size_t(records[30].offset) + kRecordHeadBytes + 9] ^= 0x40;
        MemoryFile movie(bytes.data(), bytes.size());
        MemoryFile snap(w.snap.data(), w.snap.size());
        FrameSeeker s;
        ASSERT_EQ(s.Open(&movie), kOk);
        EXPECT_EQ(s.UseSnapshotFile(&snap), kErrBadFile);
        EXPECT_FALSE(s.Prepared());
    }
    {
        SCOPED_TRACE("another movie");
        MovieSpec other = m;
        other.drops = false;
        Walked o;
        o.movie = MakeMovie(other, &o.frames);
        ExpectRefusedOrRight(o, o.movie, w.snap, true);
    }
    {
        SCOPED_TRACE("the movie cut short by a crash");
        std::vector<uint8_t> cut = w.movie;
        cut.resize(cut.size() - 100);
        ExpectRefusedOrRight(w, cut, w.snap, true);
    }
    {
        SCOPED_TRACE("the movie repaired: header patched to fewer seconds, the rest cut");
        MemoryFile whole(w.movie.data(), w.movie.size());
        std::vector<FrameRecord> records;
        MovieHeader h;
        ASSERT_EQ(IndexRecords(whole, &h, &records), kOk);
        std::vector<uint8_t> repaired(
            w.movie.begin(), w.movie.begin() + ptrdiff_t(records[size_t(m.fps * 10)].offset));
        StoreLE32(&repaired[kOffSec], 10);
        ExpectRefusedOrRight(w, repaired, w.snap, true);
    }
    {
        SCOPED_TRACE("the header's rate changed");
        std::vector<uint8_t> patched = w.movie;
        StoreLE32(&patched[kOffFps], uint32_t(m.fps + 1));
        MemoryFile movie(patched.data(), patched.size());
        MemoryFile snap(w.snap.data(), w.snap.size());
        FrameSeeker s;
        ASSERT_EQ(s.Open(&movie), kOk);
        EXPECT_EQ(s.UseSnapshotFile(&snap), kErrBadFile);
    }
    ExpectRefusedOrRight(w, w.movie, w.snap, false);  // and the right movie takes it
}

TEST(SnapshotFile, DamagedFileIsRefusedOrItsBadSnapshotsSkipped) {
    test::TempDir dir("taviro_snap_");
    const Walked w = WalkAndWrite(LongerMovie(24), dir);
    const size_t tableEnd = kSnapshotHeaderBytes + w.snapshots * kSnapshotEntryBytes;
    ASSERT_GT(w.snap.size(), tableEnd);
    {
        SCOPED_TRACE("cut short anywhere");
        for (size_t n : {size_t{0}, size_t{3}, kSnapshotHeaderBytes - 1, kSnapshotHeaderBytes,
                         tableEnd - 1, tableEnd, tableEnd + 5, w.snap.size() - 1}) {
            SCOPED_TRACE(n);
            ExpectRefusedOrRight(
                w, w.movie, std::vector<uint8_t>(w.snap.begin(), w.snap.begin() + ptrdiff_t(n)),
                true);
        }
    }
    {
        SCOPED_TRACE("any byte of the header or the table changed");
        for (size_t at = 0; at < tableEnd; ++at) {
            SCOPED_TRACE(at);
            std::vector<uint8_t> bad = w.snap;
            bad[at] ^= uint8_t(1u << (at % 8));
            ExpectRefusedOrRight(w, w.movie, bad, false);
        }
    }
    {
        SCOPED_TRACE("a snapshot's bytes changed: that one is skipped, the others used");
        std::vector<uint8_t> bad = w.snap;
        const uint8_t* entry = &bad[kSnapshotHeaderBytes + 2 * kSnapshotEntryBytes];
        const int32_t frame = int32_t(LoadLE32(entry));
        bad[size_t(LoadLE32(entry + 8)) + LoadLE32(entry + 4) / 2] ^= 0x10;
        MemoryFile movie(w.movie.data(), w.movie.size());
        MemoryFile snap(bad.data(), bad.size());
        FrameSeeker s;
        ASSERT_EQ(s.Open(&movie), kOk);
        ASSERT_EQ(s.UseSnapshotFile(&snap), kOk);
        ExpectFrame(s, w.frames, frame);
        EXPECT_EQ(s.FileSnapshotCount(), w.snapshots - 1);
        EXPECT_GT(s.LastSeekRecords(), 0);  // from the snapshot before
        for (int32_t n = s.Frames() - 1; n >= 0; --n) ExpectFrame(s, w.frames, n);
    }
    {
        SCOPED_TRACE("the file changed on the disk after it was taken");
        std::vector<uint8_t> changing = w.snap;
        MemoryFile movie(w.movie.data(), w.movie.size());
        MemoryFile snap(changing.data(), changing.size());
        FrameSeeker s;
        ASSERT_EQ(s.Open(&movie), kOk);
        ASSERT_EQ(s.UseSnapshotFile(&snap), kOk);
        std::fill(changing.begin() + ptrdiff_t(tableEnd), changing.end(), uint8_t(0));
        for (int32_t n = s.Frames() - 1; n >= 0; n -= 4) ExpectFrame(s, w.frames, n);
        EXPECT_EQ(s.FileSnapshotCount(), 0u);
    }
}

TEST(SnapshotFile, WalkStoppedHalfWayGoesOnFromTheFile) {
    test::TempDir dir("taviro_snap_");
    const MovieSpec m = LongerMovie(16);
    std::vector<std::vector<uint8_t>> frames;
    const auto bytes = MakeMovie(m, &frames);
    MemoryFile movie(bytes.data(), bytes.size());
    const std::string path = dir.File("half.TQK.snap");
    {
        FrameSeeker s;
        ASSERT_EQ(s.Open(&movie), kOk);
        ASSERT_FALSE(s.Prepare(s.Frames() / 2));
        ASSERT_EQ(WriteSnapshots(s, path), 0u);
    }
    const std::vector<uint8_t> snapBytes = ReadAll(path);
    MemoryFile snap(snapBytes.data(), snapBytes.size());
    FrameSeeker s;
    ASSERT_EQ(s.Open(&movie), kOk);
    ASSERT_EQ(s.UseSnapshotFile(&snap), kOk);
    EXPECT_FALSE(s.Prepared());
    const size_t fromFile = s.FileSnapshotCount();
    EXPECT_GT(fromFile, 2u);
    int ticks = 0;
    while (!s.Prepare(1)) ++ticks;
    EXPECT_LT(ticks, s.Frames() / 2 + 5);  // the first half is not walked again
    for (int32_t n = s.Frames() - 1; n >= 0; --n) ExpectFrame(s, frames, n);
    // A seeker that took a file writes none of its own.
    SnapshotFileWriter w;
    EXPECT_NE(s.BeginSnapshotFile(dir.File("again.TQK.snap"), &w), 0u);
}

TEST(SnapshotFile, FailedWriteLeavesNoFile) {
    test::TempDir dir("taviro_snap_");
    const MovieSpec m = LongerMovie(32);
    std::vector<std::vector<uint8_t>> frames;
    const auto bytes = MakeMovie(m, &frames);
    MemoryFile movie(bytes.data(), bytes.size());
    FrameSeeker s;
    ASSERT_EQ(s.Open(&movie), kOk);
    while (!s.Prepare(50)) {
    }
    const std::string path = dir.File("m.TQK.snap");
    const auto noFiles = [&] { return std::filesystem::is_empty(dir.Path()); };
    // Every write, the flush and the rename failing in turn (a full disk, a device error).
    for (const auto op : {fault::Op::kWrite, fault::Op::kFlush, fault::Op::kRename}) {
        for (int n = 1; n <= 4; ++n) {
            SCOPED_TRACE(testing::Message() << fault::OpName(op) << " " << n);
            fault::Arm(op, n);
            const uint32_t e = WriteSnapshots(s, path);
            const bool fired = fault::Fired();
            fault::Disarm();
            if (!fired) {  // past the calls there are: a whole file
                EXPECT_EQ(e, 0u);
                EXPECT_TRUE(RemoveFile(path));
                break;
            }
            EXPECT_NE(e, 0u);
            EXPECT_TRUE(noFiles());
        }
    }
    // A scratch file that cannot be made (a folder in its place: what a read-only folder
    // does, also to a test run as root).
    const auto scratch = std::filesystem::u8path(ScratchPathFor(path));
    ASSERT_TRUE(std::filesystem::create_directory(scratch));
    EXPECT_NE(WriteSnapshots(s, path), 0u);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(path)));
    std::filesystem::remove(scratch);
    EXPECT_TRUE(noFiles());
    EXPECT_EQ(WriteSnapshots(s, path), 0u);
    EXPECT_FALSE(noFiles());
}

// The walk and the write in one call ---------------------------------------------------------

bool Exists(const std::string& path) {
    return std::filesystem::exists(std::filesystem::u8path(path));
}

TEST(MakeSnapshotFile, WritesTheFileTheWalkAndTheWriterWriteAndASeekerTakesIt) {
    test::TempDir dir("taviro_snap_");
    const MovieSpec m = LongerMovie(32);
    const Walked w = WalkAndWrite(m, dir);
    MemoryFile movie(w.movie.data(), w.movie.size());
    const std::string path = dir.File("made.TQK.snap");
    SnapshotFileMade made;
    ASSERT_EQ(MakeSnapshotFile(movie, path, {}, &made), kOk);
    EXPECT_EQ(ReadAll(path), w.snap);
    EXPECT_EQ(made.snapshots, w.snapshots);
    EXPECT_EQ(made.interval, w.interval);
    EXPECT_EQ(made.fileBytes, w.snap.size());
    EXPECT_FALSE(made.walkFailed);
    EXPECT_FALSE(Exists(ScratchPathFor(path)));
    const std::vector<uint8_t> snapBytes = ReadAll(path);
    MemoryFile snap(snapBytes.data(), snapBytes.size());
    FrameSeeker s;
    ASSERT_EQ(s.Open(&movie), kOk);
    ASSERT_EQ(s.UseSnapshotFile(&snap), kOk);
    EXPECT_TRUE(s.Prepared());
    for (int32_t n = s.Frames() - 1; n >= 0; n -= 5) ExpectFrame(s, w.frames, n);
}

TEST(MakeSnapshotFile, DamagedMovieGetsAFileUpToTheDamageAndNotAMovieNone) {
    test::TempDir dir("taviro_snap_");
    MovieSpec m = LongerMovie(16);
    std::vector<std::vector<uint8_t>> frames;
    auto bytes = MakeMovie(m, &frames);
    std::vector<FrameRecord> records;
    MovieHeader h;
    {
        MemoryFile whole(bytes.data(), bytes.size());
        ASSERT_EQ(IndexRecords(whole, &h, &records), kOk);
    }
    StoreLE32(&bytes[size_t(records[40].offset) + 8], 0x7fffffff);
    MemoryFile damaged(bytes.data(), bytes.size());
    SnapshotFileMade made;
    const std::string path = dir.File("d.TQK.snap");
    ASSERT_EQ(MakeSnapshotFile(damaged, path, {}, &made), kOk);
    EXPECT_TRUE(made.walkFailed);
    const std::vector<uint8_t> snapBytes = ReadAll(path);
    MemoryFile snap(snapBytes.data(), snapBytes.size());
    FrameSeeker s;
    ASSERT_EQ(s.Open(&damaged), kOk);
    ASSERT_EQ(s.UseSnapshotFile(&snap), kOk);
    ExpectFrame(s, frames, 39);
    EXPECT_NE(s.Seek(41), kOk);

    const std::vector<uint8_t> junk(100, 7);
    MemoryFile notMovie(junk.data(), junk.size());
    EXPECT_EQ(MakeSnapshotFile(notMovie, dir.File("junk.snap"), {}, &made), kErrBadFile);
    EXPECT_FALSE(Exists(dir.File("junk.snap")));
}

// Asked before every slice, the stop ends the walk or the write at once and leaves nothing:
// no file under the target's name and no scratch file.
TEST(MakeSnapshotFile, StopAtAnySliceLeavesNoFile) {
    test::TempDir dir("taviro_snap_");
    MovieSpec m = LongerMovie(32);
    m.w = 512, m.h = 256;
    m.wholes = true;  // frames of noise: snapshots that do not pack, more than one write slice
    std::vector<std::vector<uint8_t>> frames;
    const auto bytes = MakeMovie(m, &frames);
    MemoryFile movie(bytes.data(), bytes.size());
    const std::string path = dir.File("m.TQK.snap"), scratch = ScratchPathFor(path);
    const auto scratchBytes = [&] {
        std::error_code ec;
        const auto n = std::filesystem::file_size(std::filesystem::u8path(scratch), ec);
        return ec ? -1 : int64_t(n);
    };
    // How many questions the walk and the write ask when nothing stops them.
    int walkAsks = 0, writeAsks = 0;
    SnapshotFileMade made;
    ASSERT_EQ(MakeSnapshotFile(
                  movie, path,
                  [&] {
                      ++(scratchBytes() < 0 ? walkAsks : writeAsks);
                      return false;
                  },
                  &made),
              kOk);
    EXPECT_GE(walkAsks, m.fps * m.sec / kSnapshotWalkSlice);
    EXPECT_GT(made.fileBytes, 2 * kSnapshotWriteSlice);
    EXPECT_GE(writeAsks, 2);
    ASSERT_TRUE(std::filesystem::remove(std::filesystem::u8path(path)));

    for (int at = 1; at <= walkAsks + writeAsks; ++at) {
        SCOPED_TRACE(at);
        int asks = 0;
        int64_t scratchAtStop = -1;
        const int32_t rc = MakeSnapshotFile(
            movie, path,
            [&] {
                if (++asks < at) return false;
                scratchAtStop = scratchBytes();
                return true;
            },
            &made);
        EXPECT_EQ(rc, kErrCancelled);
        EXPECT_EQ(scratchAtStop >= 0, at > walkAsks);
        if (at == walkAsks + writeAsks) {
            EXPECT_GT(scratchAtStop, 0) << "stopped half-written";
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    }
}

// A full disk or a folder where nothing can be written: no file, the error number told.
TEST(MakeSnapshotFile, FailedWriteLeavesNoFile) {
    test::TempDir dir("taviro_snap_");
    std::vector<std::vector<uint8_t>> frames;
    const auto bytes = MakeMovie(LongerMovie(24), &frames);
    MemoryFile movie(bytes.data(), bytes.size());
    const std::string path = dir.File("m.TQK.snap");
    SnapshotFileMade made;
    fault::Arm(fault::Op::kWrite, 1, true);
    const int32_t rc = MakeSnapshotFile(movie, path, {}, &made);
    fault::Disarm();
    EXPECT_EQ(rc, kErrApi);
    EXPECT_EQ(made.error, fault::ErrorNumber(fault::Op::kWrite));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    const auto scratch = std::filesystem::u8path(ScratchPathFor(path));
    ASSERT_TRUE(std::filesystem::create_directory(scratch));
    EXPECT_EQ(MakeSnapshotFile(movie, path, {}, &made), kErrApi);
    EXPECT_NE(made.error, 0u);
    EXPECT_FALSE(Exists(path));
}

}  // namespace
}  // namespace tqk
