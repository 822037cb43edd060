// The player copies only what changed between frames: every changed pixel must be inside a
// rectangle (else the window keeps a stale picture), and the shown copy must equal the frame.
#include "frame_diff.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tqk::test {
namespace {

using player::ChangedRects;
using player::Rect;

struct Picture {
    int w, h, bpp;
    size_t stride;
    std::vector<uint8_t> bytes;
    Picture(int width, int height, int bytesPerPixel)
        : w(width),
          h(height),
          bpp(bytesPerPixel),
          stride((size_t(width) * size_t(bytesPerPixel) + 3) / 4 * 4),
          bytes(stride * size_t(height), 0) {}
    uint8_t* Pixel(int x, int y) { return bytes.data() + size_t(y) * stride + size_t(x) * bpp; }
};

bool Covered(const std::vector<Rect>& rects, int x, int y) {
    for (const Rect& r : rects)
        if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) return true;
    return false;
}

// Changes in pixel places, checked against every rectangle rule.
TEST(FrameDiff, EveryChangedPixelIsCoveredAndShownBecomesTheFrame) {
    struct Case {
        const char* name;
        int w, h, bpp;
        std::vector<std::pair<int, int>> changed;  // pixels
        size_t rects;                              // expected count
    } cases[] = {
        {"nothing", 64, 48, 4, {}, 0},
        {"one pixel, 32 bits", 64, 48, 4, {{5, 7}}, 1},
        {"one pixel, 16 bits, odd width", 63, 48, 2, {{62, 47}}, 1},
        {"corners", 64, 48, 4, {{0, 0}, {63, 47}}, 2},
        {"rows close together join", 64, 48, 2, {{1, 10}, {60, 10 + player::kMergeRows}}, 1},
        {"rows far apart stay apart", 64, 48, 2, {{1, 10}, {60, 11 + player::kMergeRows}}, 2},
        {"first and last byte of a row", 16, 4, 4, {{0, 2}, {15, 2}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Picture frame(c.w, c.h, c.bpp), shown(c.w, c.h, c.bpp);
        for (auto [x, y] : c.changed) frame.Pixel(x, y)[c.bpp - 1] = 0x5A;  // the top byte
        const auto rects =
            ChangedRects(frame.bytes.data(), shown.bytes.data(), c.w, c.h, frame.stride, c.bpp);
        EXPECT_EQ(rects.size(), c.rects);
        for (auto [x, y] : c.changed) EXPECT_TRUE(Covered(rects, x, y)) << x << "," << y;
        for (const Rect& r : rects) {
            EXPECT_GE(r.x, 0);
            EXPECT_GE(r.y, 0);
            EXPECT_LE(r.x + r.width, c.w);
            EXPECT_LE(r.y + r.height, c.h);
        }
        EXPECT_EQ(shown.bytes, frame.bytes);
        // Nothing left to copy the second time.
        EXPECT_TRUE(
            ChangedRects(frame.bytes.data(), shown.bytes.data(), c.w, c.h, frame.stride, c.bpp)
                .empty());
    }
}

TEST(FrameDiff, ScatteredChangesBecomeOneBoundingRectangle) {
    Picture frame(100, 400, 2), shown(100, 400, 2);
    for (int y = 0; y < 400; y += 20) frame.Pixel(y / 4, y)[0] = 1;  // 20 runs far apart
    const auto rects =
        ChangedRects(frame.bytes.data(), shown.bytes.data(), 100, 400, frame.stride, 2);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].x, 0);
    EXPECT_EQ(rects[0].y, 0);
    EXPECT_EQ(rects[0].x + rects[0].width, 95 + 1);
    EXPECT_EQ(rects[0].y + rects[0].height, 380 + 1);
}

// Random frames in sequence, as a play sees them: no change is ever missed, wherever it falls
// against the blocks the scan compares at a time (narrow and wide rows, odd widths).
TEST(FrameDiff, RandomSequenceKeepsTheShownCopyExact) {
    struct Case {
        int w, h, bpp;
    } cases[] = {{37, 29, 2}, {301, 23, 4}, {255, 17, 2}, {4, 9, 4}};
    std::mt19937 rng(12);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp);
        Picture frame(c.w, c.h, c.bpp), shown(c.w, c.h, c.bpp);
        for (int round = 0; round < 200; ++round) {
            const int n = int(rng() % 6);
            for (int i = 0; i < n; ++i)
                frame.Pixel(int(rng() % c.w), int(rng() % c.h))[rng() % c.bpp] ^=
                    uint8_t(1 + rng() % 255);
            std::vector<std::pair<int, int>> changed;  // the pixels that now differ
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    if (std::memcmp(frame.Pixel(x, y), shown.Pixel(x, y), c.bpp) != 0)
                        changed.push_back({x, y});
            const auto rects =
                ChangedRects(frame.bytes.data(), shown.bytes.data(), c.w, c.h, frame.stride, c.bpp);
            for (auto [x, y] : changed) EXPECT_TRUE(Covered(rects, x, y)) << round;
            for (const Rect& r : rects) {  // tight: each rectangle's edge columns changed
                bool leftUsed = false, rightUsed = false;
                for (auto [x, y] : changed) {
                    if (y < r.y || y >= r.y + r.height) continue;
                    leftUsed |= x == r.x;
                    rightUsed |= x == r.x + r.width - 1;
                }
                EXPECT_TRUE(leftUsed && rightUsed) << round;
            }
            ASSERT_EQ(shown.bytes, frame.bytes) << round;
        }
    }
}

}  // namespace
}  // namespace tqk::test
