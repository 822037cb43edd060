// Any frame of generated movies through FrameSeeker: every frame, reached in order, at random
// and backwards, equals what reading the movie from its start gives, at every depth, with
// colour tables that change, dropped slots, whole-frame records, a tiny snapshot budget and
// movies cut short or damaged.
#include "frame_seek.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

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

}  // namespace
}  // namespace tqk
