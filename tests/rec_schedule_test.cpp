#include "rec_schedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "../common/result_code.h"

namespace tqk::test {
namespace {

TEST(RecordParams, Checks) {
    struct Case {
        RecordParams p;
        bool user;
        int32_t code;
    } cases[] = {
        {{0, 0, 100, 100, 10, 1, 1}, false, kOk},
        {{0, 0, 100, 100, 10, 0, 2}, false, kOk},  // sec 0 passes
        {{0, 0, 0, 100, 10, 1, 1}, false, -1},
        {{0, 0, 100, 0, 10, 1, 1}, false, -1},
        {{-1, 0, 100, 100, 10, 1, 1}, false, -1},
        {{0, -1, 100, 100, 10, 1, 1}, false, -1},
        {{0, 0, 100, 100, 0, 1, 1}, false, -1},
        {{0, 0, 100, 100, 10, -1, 1}, false, -1},
        {{0, 0, 100, 100, 10, 1, 3}, false, -1},
        {{0, 0, 102, 100, 10, 1, 1}, false, -1},  // rows would not fit F
        {{0, 0, 100, 100, 10, 1, 2}, true, -9},
        {{0, 0, 100, 100, 10, 1, 0}, true, -9},
        {{0, 0, 0, 100, 10, 1, 2}, true, -1},  // -1 is checked first
        {{0, 0, 100, 100, 10, 1, 1}, true, kOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p.W << "x" << c.p.H << " m" << c.p.Method);
        EXPECT_EQ(CheckRecordParams(c.p, c.user), c.code);
    }
}

// Runs the schedule with a clock that advances by the given slot costs; returns the drops.
std::vector<bool> Simulate(int32_t fps, const std::vector<double>& costs, bool user = false) {
    SlotPacer pacer(fps, user);
    double now = 1000.0;
    pacer.Start(now);
    std::vector<bool> drops;
    for (size_t k = 0; k < costs.size(); ++k) {
        const bool captured = pacer.Captured(int64_t(k));
        drops.push_back(!captured);
        now += captured ? costs[k] : 0.01;
        while (pacer.KeepWaiting(int64_t(k), now)) now += 1.0;  // the wait's sleeps
        pacer.WaitEnded(now);
    }
    return drops;
}

TEST(SlotPacer, LateSlotsDropOneATurn) {
    struct Case {
        std::vector<double> costs;
        std::vector<bool> drops;
    } cases[] = {
        // 10 fps: a first slot of 250 ms drops slot 1 and captures slot 2 at once.
        {{250, 1, 1, 1, 1}, {false, true, false, false, false}},
        // 350 ms drops slots 1 and 2.
        {{350, 1, 1, 1, 1}, {false, true, true, false, false}},
        {{50, 50, 50, 50}, {false, false, false, false}},
        // A slow slot in the middle.
        {{1, 1, 220, 1, 1}, {false, false, false, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "first cost " << c.costs[0]);
        EXPECT_EQ(Simulate(10, c.costs), c.drops);
    }
    // Frames handed over by the caller are never dropped.
    EXPECT_EQ(Simulate(10, {350, 1, 1}, true), (std::vector<bool>{false, false, false}));
}

TEST(SlotPacer, ScheduleDoesNotDrift) {
    SlotPacer pacer(30, false);
    pacer.Start(0);
    double now = 0;
    for (int k = 0; k < 3000; ++k) {
        ASSERT_TRUE(pacer.Captured(k));
        now += 5;
        while (pacer.KeepWaiting(k, now)) now += 0.25;
        pacer.WaitEnded(now);
    }
    EXPECT_NEAR(now, 100000.0, 1.0);
}

// A recording's schedule on a virtual clock, paused after some slots: each slot costs `cost`
// ms when captured, the wait sleeps in steps of 0.25 ms, and a pause after slot `after` lasts
// `length` ms and its resume wait ends `late` ms after the resume moment.
struct PauseAt {
    int64_t after;
    double length;
    double late = 0;
};
struct PacedRun {
    std::vector<double> due;       // when each slot began (its grab, or its drop)
    std::vector<bool> dropped;     // per slot
    std::vector<double> pausedAt;  // per pause: the end of recorded time
    std::vector<double> resumeAt;  // per pause: when the next slot was due
};
PacedRun SimulatePaused(int32_t fps, int64_t slots, double cost,
                        const std::vector<PauseAt>& pauses) {
    SlotPacer pacer(fps, false);
    double now = 5000.0;
    pacer.Start(now);
    PacedRun r;
    size_t p = 0;
    for (int64_t k = 0; k < slots; ++k) {
        const bool captured = pacer.Captured(k);
        r.due.push_back(now);
        r.dropped.push_back(!captured);
        now += captured ? cost : 0.01;
        while (pacer.KeepWaiting(k, now)) now += 0.25;
        pacer.WaitEnded(now);
        if (p < pauses.size() && pauses[p].after == k) {
            r.pausedAt.push_back(pacer.SlotEnd(k));
            now += pauses[p].length;
            const double resumeAt = ResumeMoment(now);
            r.resumeAt.push_back(resumeAt);
            now = resumeAt + pauses[p].late;
            pacer.Resume(k + 1, resumeAt);
            pacer.WaitEnded(now);
            ++p;
        }
    }
    return r;
}

TEST(SlotPacer, PausesLeaveTheirTimeOutOfTheSchedule) {
    // 30 fps, 90 slots, paused after slots 9, 40 and 41 (a pause right after a resume).
    const std::vector<PauseAt> pauses = {{9, 1234.5}, {40, 77.3}, {41, 5000}};
    const PacedRun r = SimulatePaused(30, 90, 4, pauses);
    ASSERT_EQ(r.resumeAt.size(), 3u);
    const double ms = 1000.0 / 30;
    for (size_t i = 0; i < r.resumeAt.size(); ++i) {
        SCOPED_TRACE(i);
        // The resume moment is whole milliseconds, a little after the pause ended.
        EXPECT_EQ(r.resumeAt[i], std::floor(r.resumeAt[i]));
        EXPECT_GE(r.resumeAt[i] - r.pausedAt[i], pauses[i].length + kResumeLeadMillis - 1e-9);
        EXPECT_LT(r.resumeAt[i] - r.pausedAt[i], pauses[i].length + kResumeLeadMillis + 1 + 1);
        // The next slot is due at the resume moment, the ones after it follow without drift.
        const int64_t next = pauses[i].after + 1;
        const int64_t until = i + 1 < pauses.size() ? pauses[i + 1].after : 89;
        for (int64_t k = next; k <= until; ++k)
            EXPECT_NEAR(r.due[size_t(k)], r.resumeAt[i] + double(k - next) * ms, 0.26) << k;
    }
    // The slots before the first pause kept the first schedule.
    for (int64_t k = 0; k <= 9; ++k) EXPECT_NEAR(r.due[size_t(k)], 5000 + double(k) * ms, 0.26);
    // The recorded spans add up to the slots: the pauses' time is left out.
    double recorded = r.pausedAt[0] - 5000;
    for (size_t i = 0; i < r.resumeAt.size(); ++i)
        recorded +=
            (i + 1 < r.resumeAt.size() ? r.pausedAt[i + 1] : r.due[89] + ms) - r.resumeAt[i];
    EXPECT_NEAR(recorded, 90 * ms, 0.3);
    EXPECT_EQ(std::count(r.dropped.begin(), r.dropped.end(), true), 0);
}

TEST(SlotPacer, ALateResumeDropsSlotsAndKeepsTheSchedule) {
    struct Case {
        double late;
        std::vector<int64_t> drops;  // the slots dropped after the pause (after slot 4)
    } cases[] = {
        {0, {}},
        {99, {}},          // within the next slot's window: it is captured, late
        {150, {5}},        // past it: dropped, slot 6 captured at once
        {350, {5, 6, 7}},  // three windows closed while waiting
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "late " << c.late);
        const PacedRun r = SimulatePaused(10, 20, 1, {{4, 500, c.late}});
        std::vector<int64_t> drops;
        for (size_t k = 0; k < r.dropped.size(); ++k)
            if (r.dropped[k]) drops.push_back(int64_t(k));
        EXPECT_EQ(drops, c.drops);
        // The schedule did not move: the slots after the catch-up are due on it.
        const int64_t first = 5 + int64_t(c.drops.size()) + 1;
        for (int64_t k = first; k < 20; ++k)
            EXPECT_NEAR(r.due[size_t(k)], r.resumeAt[0] + double(k - 5) * 100, 0.26) << k;
    }
}

TEST(SlotPacer, CancelWhilePausedKeepsWholeSeconds) {
    EXPECT_EQ(WholeSecondSlots(0, 30), 0);
    EXPECT_EQ(WholeSecondSlots(29, 30), 0);
    EXPECT_EQ(WholeSecondSlots(30, 30), 30);
    EXPECT_EQ(WholeSecondSlots(75, 30), 60);
    EXPECT_EQ(WholeSecondSlots(7, 1), 7);
    EXPECT_EQ(ResumeMoment(1000.2), 1001 + kResumeLeadMillis);
    EXPECT_EQ(ResumeMoment(1000), 1000 + kResumeLeadMillis);
}

TEST(MoviePath, RelativePathsAreTakenInTheProgramFolder) {
    const std::wstring dir = L"C:\\Program Files\\Taviro\\";
    struct Case {
        const wchar_t* path;
        std::wstring want;
    } cases[] = {
        {L"m.TQK", dir + L"m.TQK"},
        {L"sub\\m.TQK", dir + L"sub\\m.TQK"},
        {L"..\\m.TQK", dir + L"..\\m.TQK"},
        {L"D:\\rec\\m.TQK", L"D:\\rec\\m.TQK"},
        {L"d:/rec/m.TQK", L"d:/rec/m.TQK"},
        {L"\\\\server\\share\\m.TQK", L"\\\\server\\share\\m.TQK"},
        {L"\\rec\\m.TQK", L"C:\\rec\\m.TQK"},  // the root of the program's drive
        {L"c:m.TQK", dir + L"m.TQK"},          // the program's drive: its folder
        {L"D:m.TQK", L"D:m.TQK"},              // another drive: that drive's own folder
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(MoviePathIn(dir, c.path), c.want) << c.path;
    EXPECT_EQ(MoviePathIn(L"\\\\srv\\share\\app\\", L"\\m.TQK"), L"\\\\srv\\share\\m.TQK");
    EXPECT_EQ(MoviePathIn(L"", L"m.TQK"), L"m.TQK");
}

TEST(Playback, LateFrames) {
    // Play_SetStartT(now - 2000) during frame 0 at 10 fps: frames 1 to 19 are late.
    const double startT = 5000 - 2000;
    for (int i = 1; i <= 19; ++i) EXPECT_TRUE(FrameIsLate(i, 100, 5000.5, startT)) << i;
    EXPECT_FALSE(FrameIsLate(20, 100, 5000.5, startT));
    EXPECT_FALSE(FrameIsLate(0, 100, 99, 0));
    EXPECT_TRUE(FrameIsLate(0, 100, 100, 0));
}

TEST(Geometry, OffScreenAndCursor) {
    EXPECT_FALSE(RectLeavesScreen(0, 0, 1024, 768, 1024, 768));
    EXPECT_TRUE(RectLeavesScreen(1000, 0, 64, 10, 1024, 768));
    EXPECT_TRUE(RectLeavesScreen(-50, 0, 64, 10, 1024, 768));
    EXPECT_TRUE(RectLeavesScreen(0, 760, 64, 10, 1024, 768));
    EXPECT_TRUE(RectLeavesScreen(0x7FFFFF00, 0, 0x400, 10, 1024, 768));  // no overflow
    struct Clip {
        int32_t x, y, W, H;
        ScreenPart want;
    } clips[] = {
        {1000, 10, 64, 48, {0, 0, 1000, 10, 24, 48}},
        {-50, 10, 64, 48, {50, 0, 0, 10, 14, 48}},
        {-10, -20, 64, 48, {10, 20, 0, 0, 54, 28}},
        {1024, 0, 64, 48, {0, 0, 1024, 0, 0, 0}},  // wholly off: nothing to copy
        {-64, 0, 64, 48, {64, 0, 0, 0, 0, 0}},
    };
    for (const Clip& c : clips) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        const ScreenPart p = ClipToScreen(c.x, c.y, c.W, c.H, 1024, 768);
        EXPECT_EQ(p.Empty(), c.want.w == 0);
        if (!p.Empty()) {
            EXPECT_EQ(p.dstX, c.want.dstX);
            EXPECT_EQ(p.dstY, c.want.dstY);
            EXPECT_EQ(p.srcX, c.want.srcX);
            EXPECT_EQ(p.srcY, c.want.srcY);
            EXPECT_EQ(p.w, c.want.w);
            EXPECT_EQ(p.h, c.want.h);
        }
    }
    const Point o = CursorImageOrigin({130, 220}, {8, 15}, 100, 200);
    EXPECT_EQ(o.x, 22);
    EXPECT_EQ(o.y, 5);
}

TEST(MappedLayout, ReservationAndMegabytes) {
    // 100 x 100 x 24 at 10 fps for 2 s.
    MappedLayout l(30000, 20, 8 + 45000, 65536);
    EXPECT_EQ(l.ReservedBytes(), 600260u);
    EXPECT_EQ(l.First().size, 262144u);  // 8F = 240000, on the granularity
    EXPECT_EQ(l.First().mapSize, 600260u);
    EXPECT_EQ(MegabytesNeeded(8u * 3145728), 25);
    EXPECT_EQ(MegabytesNeeded(1572864), 3);  // 1.5 + 1 rounds to 3
    EXPECT_EQ(RoundMillis(1234.5), 1235);
}

// Random record streams: the window always holds the write position plus the largest
// record, starts on the granularity, and stays inside the mapping.
TEST(MappedLayout, WindowAlwaysHoldsTheNextRecord) {
    struct Case {
        uint64_t F;
        int64_t slots;
        uint64_t gran;
    } cases[] = {{16, 500, 65536},
                 {4096, 300, 65536},
                 {30000, 50, 65536},
                 {3145728, 30, 65536},
                 {64, 2000, 4096}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "F " << c.F);
        const uint64_t maxRecord = 8 + std::max(c.F * 3 / 2, c.F + 8);
        MappedLayout l(c.F, c.slots, maxRecord, c.gran);
        MappedLayout::Window w = l.First();
        uint64_t pos = 32;
        std::mt19937 rng(uint32_t(c.F));
        int moves = 0;
        for (int64_t k = 0; k < c.slots; ++k) {
            if (l.NeedsMove(w, pos)) {
                const MappedLayout::Window n = l.Next(w, pos);
                ASSERT_GE(n.mapSize, w.mapSize);
                w = n;
                ++moves;
            }
            ASSERT_EQ(w.offset % c.gran, 0u);
            ASSERT_LE(w.offset, pos);
            ASSERT_LE(pos + maxRecord, w.offset + w.size);
            ASSERT_LE(w.offset + w.size, w.mapSize);
            // Mostly incompressible records: they outgrow the reservation.
            const uint64_t rec = rng() % 4 ? maxRecord : 12;
            pos += rec;
        }
        EXPECT_GE(moves, 1);
    }
}

}  // namespace
}  // namespace tqk::test
