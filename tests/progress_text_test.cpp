#include "progress_text.h"

#include <gtest/gtest.h>

namespace tqk::test {
namespace {

using namespace tqk::form5;

TEST(ProgressText, FramesOfTheConversion) {
    struct Case {
        int32_t now, total, width;
        bool movie;
        int bar;
        const char* percent;
        const char* frame;
        const char* caption;
    } cases[] = {
        {0, 100, 300, false, 0, ".0%", "Frame 0/100", "1% AVI Recorded"},
        {99, 100, 300, false, 299, "99.0%", "Frame 99/100", "100% AVI Recorded"},
        {100, 100, 300, false, 300, "100.0%", "Frame 100/100", "101% AVI Recorded"},
        {28, 100, 300, true, 84, "28.0%", "Frame 28/100", "29% TQK Modified"},
        {1, 3, 300, false, 101, "33.3%", "Frame 1/3", "66% AVI Recorded"},
        {2, 3, 300, false, 202, "66.7%", "Frame 2/3", "100% AVI Recorded"},
        {1, 2000, 300, false, 0, ".1%", "Frame 1/2000", "0% AVI Recorded"},
        {5, 0, 300, false, 0, ".0%", "Frame 5/0", "0% AVI Recorded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.now << "/" << c.total);
        RecentTimes times;
        const ProgressTexts p = ComputeProgress(c.now, c.total, 1000, c.width, c.movie, &times);
        EXPECT_EQ(p.barLength, c.bar);
        EXPECT_EQ(p.percent, c.percent);
        EXPECT_EQ(p.frame, c.frame);
        EXPECT_EQ(p.caption, c.caption);
    }
}

TEST(ProgressText, TotalAndRestAppearFromTheThirtiethFrame) {
    RecentTimes times;
    times.Clear();
    // 40 ms a frame, the first frame after 40 ms.
    for (int32_t frame = 1; frame <= 29; ++frame) {
        const ProgressTexts p = ComputeProgress(frame, 3000, frame * 40, 300, false, &times);
        EXPECT_EQ(p.total, "") << frame;
        EXPECT_EQ(p.rest, "") << frame;
    }
    ProgressTexts p = ComputeProgress(30, 3000, 30 * 40, 300, false, &times);
    EXPECT_EQ(p.total, "Total 00:01");
    // 29 frames in 1160 ms averaged over 30 slots: 38.67 ms a frame, 2970 frames left.
    EXPECT_EQ(p.rest, "Rest 01:55");
    p = ComputeProgress(31, 3000, 31 * 40, 300, false, &times);
    EXPECT_EQ(p.rest, "Rest 01:55");
}

TEST(ProgressText, MinutesAndSeconds) {
    EXPECT_EQ(FormatMinutesSeconds(3723000), "02:03") << "whole hours are not shown";
    EXPECT_EQ(FormatMinutesSeconds(0), "00:00");
    EXPECT_EQ(FormatMinutesSeconds(59499), "00:59");
    EXPECT_EQ(FormatMinutesSeconds(59500), "01:00");
    EXPECT_EQ(FormatMinutesSeconds(3599999), "00:00");
    EXPECT_EQ(FormatMinutesSeconds(-5), "00:00");
}

TEST(ProgressText, StoredPositionIsPulledIntoTheWorkArea) {
    const Rect work{0, 0, 1024, 738};
    struct Case {
        int left, top, wantLeft, wantTop;
    } cases[] = {
        {100, 100, 100, 100}, {-50, -20, 0, 0},     {2000, 1500, 624, 538},
        {900, 700, 624, 538}, {624, 538, 624, 538},
    };
    for (const Case& c : cases) {
        int left = c.left, top = c.top;
        KeepInside(work, 400, 200, &left, &top);
        EXPECT_EQ(left, c.wantLeft) << c.left;
        EXPECT_EQ(top, c.wantTop) << c.top;
    }
    // A work area that does not start at 0 (a task bar on the left or at the top).
    int left = 0, top = 0;
    KeepInside(Rect{60, 30, 1024, 768}, 400, 200, &left, &top);
    EXPECT_EQ(left, 60);
    EXPECT_EQ(top, 30);
}

}  // namespace
}  // namespace tqk::test
