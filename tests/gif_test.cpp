// The GIF writer: LZW round trips through the tests' own decoder, the animation's images
// (changed rectangles, transparency, merged frames, shared tables), the quantiser and the
// export's timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "gif_encoder.h"
#include "gif_export.h"
#include "gif_format.h"
#include "gif_palette.h"
#include "gif_test_decoder.h"

namespace tqk::test {
namespace {

using gif::LzwEncoder;
using Indices = std::vector<uint8_t>;

struct LzwCase {
    const char* name;
    int minCode;
    Indices data;
};

std::vector<LzwCase> LzwCases() {
    std::vector<LzwCase> cases;
    std::mt19937 rng(7);
    cases.push_back({"empty", 2, {}});
    cases.push_back({"one index", 2, {3}});
    cases.push_back({"four indices", 2, {0, 1, 2, 3}});
    for (int bits = 2; bits <= 8; ++bits) {
        Indices noise(70000);
        for (auto& v : noise) v = uint8_t(rng() % (1u << bits));
        cases.push_back({"noise", bits, noise});
    }
    cases.push_back({"one long run", 8, Indices(3000000, 5)});
    Indices text(500000);  // a repeating pattern with noise: long strings, frequent table fills
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = rng() % 50 == 0 ? uint8_t(rng()) : uint8_t((i * 7 / 3) % 40);
    cases.push_back({"screen-like", 8, text});
    // Every length up to 600 of a counting pattern: the end falls on each width change.
    for (size_t n = 1; n <= 600; n += 1) {
        Indices d(n);
        for (size_t i = 0; i < n; ++i) d[i] = uint8_t((i + i / 4) % 4);
        cases.push_back({"counting", 2, d});
    }
    return cases;
}

TEST(GifLzw, RoundTripsThroughADecoder) {
    LzwEncoder lzw;
    int sawClear = 0, sawWidth12 = 0;
    for (const LzwCase& c : LzwCases()) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.data.size()));
        std::vector<uint8_t> codes;
        lzw.Encode(c.data.data(), c.data.size(), c.minCode, &codes);
        Indices back;
        std::string error;
        int clears = 0, maxWidth = 0;
        ASSERT_TRUE(
            gifdec::LzwDecode(codes, c.minCode, c.data.size(), &back, &error, &clears, &maxWidth))
            << error;
        EXPECT_EQ(back, c.data);
        sawClear += clears > 1;  // the first clear code always comes
        sawWidth12 += maxWidth == 12;
    }
    // The cases reach the 4096-entry table and its fresh start.
    EXPECT_GT(sawClear, 3);
    EXPECT_GT(sawWidth12, 3);
}

TEST(GifLzw, PacksRepetitionTightly) {
    LzwEncoder lzw;
    Indices flat(1000000, 1);
    std::vector<uint8_t> codes;
    lzw.Encode(flat.data(), flat.size(), 2, &codes);
    EXPECT_LT(codes.size(), 3000u);  // strings grow by one each code: about sqrt(2n) codes
}

TEST(GifFormat, SubBlocksAndTableSizes) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> data(600, 9);
    gif::AppendSubBlocks(data.data(), data.size(), &out);
    ASSERT_EQ(out.size(), 600u + 3 + 1);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[256], 255);
    EXPECT_EQ(out[512], 90);
    EXPECT_EQ(out.back(), 0);
    EXPECT_EQ(gif::TableBits(1), 1);
    EXPECT_EQ(gif::TableBits(2), 1);
    EXPECT_EQ(gif::TableBits(3), 2);
    EXPECT_EQ(gif::TableBits(129), 8);
    EXPECT_EQ(gif::TableBits(256), 8);
    EXPECT_EQ(gif::MinCodeSize(1), 2);
}

// A screen of flat colours with a window that moves and a line of "text" that grows.
struct Scene {
    int w, h;
    std::vector<uint32_t> px;
    Scene(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * size_t(h_)) {}
    void Fill(int x, int y, int rw, int rh, uint32_t c) {
        for (int j = std::max(0, y); j < std::min(h, y + rh); ++j)
            for (int i = std::max(0, x); i < std::min(w, x + rw); ++i) px[size_t(j) * w + i] = c;
    }
    void Draw(int t) {
        Fill(0, 0, w, h, 0x3A6EA5);
        Fill(0, h - 10, w, 10, 0xD4D0C8);
        Fill(10 + t * 3, 12 + t, 40, 30, 0xFFFFFF);
        Fill(10 + t * 3, 12 + t, 40, 6, 0x003278);
        for (int k = 0; k < t % 12; ++k) Fill(14 + t * 3 + k * 3, 22 + t, 2, 4, 0x202020 + k);
    }
};

gifdec::Gif EncodeAll(const std::vector<std::vector<uint32_t>>& frames, int w, int h,
                      const std::vector<uint32_t>& delays, gif::EncoderOptions o = {},
                      gif::EncoderStats* stats = nullptr) {
    gif::AnimationEncoder enc;
    EXPECT_TRUE(enc.Start(w, h, o));
    std::vector<uint8_t> file;
    for (size_t i = 0; i < frames.size(); ++i) {
        enc.AddFrame(frames[i].data(), size_t(w), delays[i]);
        file.insert(file.end(), enc.Output().begin(), enc.Output().end());
        enc.Output().clear();
    }
    enc.Finish();
    file.insert(file.end(), enc.Output().begin(), enc.Output().end());
    if (stats) *stats = enc.Stats();
    return gifdec::Decode(file);
}

TEST(GifEncoder, ScreenFramesDecodeExactlyFromChangedRectangles) {
    Scene s(120, 90);
    std::vector<std::vector<uint32_t>> frames;
    for (int t = 0; t < 20; ++t) {
        s.Draw(t);
        frames.push_back(s.px);
    }
    gif::EncoderStats stats;
    const gifdec::Gif g = EncodeAll(frames, 120, 90, std::vector<uint32_t>(20, 4), {}, &stats);
    ASSERT_EQ(g.error, "");
    ASSERT_EQ(g.frames.size(), 20u);
    EXPECT_TRUE(g.loops);
    EXPECT_EQ(stats.quantised, 0u);
    EXPECT_EQ(stats.totalDelay, 80u);
    for (size_t i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g.frames[i].pixels, frames[i]);
        EXPECT_EQ(g.frames[i].delay, 4u);
        if (i > 0) {
            EXPECT_LT(g.frames[i].w * g.frames[i].h, 120 * 90 / 2);  // only what moved
        }
    }
    // Images of the first frame's colours share its global table.
    EXPECT_GT(std::count_if(g.frames.begin() + 1, g.frames.end(),
                            [](const gifdec::Frame& f) { return !f.localTable; }),
              0);
}

TEST(GifEncoder, FarApartChangesKeepTheRestTransparent) {
    // A busy background of 200 colours; two small marks change at opposite corners, so the
    // changed rectangle is the whole screen but nearly all of it unchanged.
    const int w = 100, h = 80;
    std::vector<uint32_t> base(size_t(w) * h);
    std::mt19937 rng(3);
    for (auto& p : base) p = uint32_t(rng() % 200) * 0x010203;
    std::vector<std::vector<uint32_t>> frames{base};
    for (int t = 1; t < 4; ++t) {
        std::vector<uint32_t> f = base;
        for (int k = 0; k < 4; ++k) {
            f[size_t(k) * w + size_t(t)] = 0xFF00FF;
            f[size_t(h - 1 - k) * w + size_t(w - 1 - t)] = 0x00FFFF;
        }
        frames.push_back(f);
    }
    gif::EncoderStats stats;
    const gifdec::Gif g = EncodeAll(frames, w, h, {5, 5, 5, 5}, {}, &stats);
    ASSERT_EQ(g.error, "");
    ASSERT_EQ(g.frames.size(), 4u);
    EXPECT_EQ(stats.transparent, 3u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(g.frames[i].pixels, frames[i]);
    for (size_t i = 1; i < 4; ++i) EXPECT_GE(g.frames[i].transparent, 0);
}

TEST(GifEncoder, IdenticalFramesLengthenTheDelay) {
    Scene s(40, 30);
    std::vector<std::vector<uint32_t>> frames;
    for (int t : {0, 0, 0, 1, 1, 2, 2, 2, 2}) {
        s.Draw(t);
        frames.push_back(s.px);
    }
    const std::vector<uint32_t> delays{3, 3, 4, 3, 3, 4, 3, 3, 4};
    const gifdec::Gif g = EncodeAll(frames, 40, 30, delays);
    ASSERT_EQ(g.error, "");
    ASSERT_EQ(g.frames.size(), 3u);
    EXPECT_EQ(g.frames[0].delay, 10u);
    EXPECT_EQ(g.frames[1].delay, 6u);
    EXPECT_EQ(g.frames[2].delay, 14u);
    EXPECT_EQ(g.frames[2].pixels, frames.back());
    // A still picture longer than one delay can say goes on in a one-pixel image.
    const gifdec::Gif still = EncodeAll({frames[0], frames[0]}, 40, 30, {60000, 60000});
    ASSERT_EQ(still.error, "");
    ASSERT_EQ(still.frames.size(), 2u);
    EXPECT_EQ(still.frames[0].delay + still.frames[1].delay, 120000u);
    EXPECT_EQ(still.frames[1].pixels, frames[0]);
}

TEST(GifEncoder, FramesOfManyColoursAreQuantisedClosely) {
    const int w = 64, h = 64;
    std::vector<std::vector<uint32_t>> frames(2, std::vector<uint32_t>(size_t(w) * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            frames[0][size_t(y) * w + x] = uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | 128;
            frames[1][size_t(y) * w + x] = uint32_t(y * 4) << 16 | 90 << 8 | uint32_t(x * 4);
        }
    for (bool dither : {false, true}) {
        SCOPED_TRACE(dither);
        gif::EncoderOptions o;
        o.dither = dither;
        gif::EncoderStats stats;
        const gifdec::Gif g = EncodeAll(frames, w, h, {5, 5}, o, &stats);
        ASSERT_EQ(g.error, "");
        ASSERT_EQ(g.frames.size(), 2u);
        EXPECT_EQ(stats.quantised, 2u);
        for (size_t f = 0; f < 2; ++f) {
            double sum = 0;
            int worst = 0;
            for (size_t i = 0; i < frames[f].size(); ++i)
                for (int k = 0; k < 24; k += 8) {
                    const int d = std::abs(int(frames[f][i] >> k & 255) -
                                           int(g.frames[f].pixels[i] >> k & 255));
                    sum += d;
                    worst = std::max(worst, d);
                }
            // Measured in sRGB steps; the table is spent evenly in Oklab, so bright colours are
            // a little coarser than dark ones.
            EXPECT_LT(sum / double(frames[f].size() * 3), dither ? 5.0 : 4.0);
            EXPECT_LT(worst, 48);
        }
    }
}

TEST(GifEncoder, RefusesSidesAGifCannotHold) {
    gif::AnimationEncoder enc;
    EXPECT_FALSE(enc.Start(65536, 1, {}));
    EXPECT_FALSE(enc.Start(1, 65536, {}));
    EXPECT_FALSE(enc.Start(0, 5, {}));
    EXPECT_TRUE(enc.Start(65535, 1, {}));
}

TEST(GifQuantiser, PicksTheImagesOwnColoursWhenFew) {
    gif::Quantiser q;
    q.Reset();
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    for (int i = 0; i < 400; ++i) q.Add(colours[i % 4]);
    std::vector<uint32_t> table = q.MakeTable(256);
    std::sort(table.begin(), table.end());
    EXPECT_EQ(table, (std::vector<uint32_t>{0x0000FF, 0x00FF00, 0x808080, 0xFF0000}));
    for (uint32_t c : colours) EXPECT_EQ(table[q.Map(c)], c);
}

TEST(GifSchedule, DelaysCarryTheirRoundingAndLastExactly) {
    struct Case {
        int64_t frames;
        int32_t fps, rate;
        int64_t steps;
        uint64_t total;
    };
    for (const Case& c :
         {Case{30, 30, 30, 30, 100}, Case{60, 60, 50, 50, 100}, Case{600, 100, 50, 300, 600},
          Case{45, 15, 15, 45, 300}, Case{10, 30, 7, 3, 33}, Case{7, 7, 7, 7, 100}}) {
        SCOPED_TRACE(std::to_string(c.frames) + " at " + std::to_string(c.fps) + " shown at " +
                     std::to_string(c.rate));
        const gif::Schedule s(c.frames, c.fps, c.rate);
        EXPECT_EQ(s.Steps(), c.steps);
        uint64_t total = 0;
        for (int64_t k = 0; k < s.Steps(); ++k) {
            total += s.Delay(k);
            EXPECT_GE(s.Delay(k), 2u);
            EXPECT_LT(s.SourceFrame(k), c.frames);
            if (k > 0) {
                EXPECT_GT(s.SourceFrame(k), s.SourceFrame(k - 1));
            }
        }
        EXPECT_EQ(total, c.total);
        EXPECT_EQ(s.TotalHundredths(), c.total);
    }
    const gif::Schedule thirty(30, 30, 30);
    EXPECT_EQ(thirty.Delay(0), 3u);
    EXPECT_EQ(thirty.Delay(1), 3u);
    EXPECT_EQ(thirty.Delay(2), 4u);
    // 60 frames a second at 50: one frame in six dropped, evenly.
    const gif::Schedule sixty(60, 60, 50);
    std::vector<int64_t> dropped;
    for (int64_t k = 1; k < sixty.Steps(); ++k)
        if (sixty.SourceFrame(k) - sixty.SourceFrame(k - 1) == 2) dropped.push_back(k);
    ASSERT_EQ(dropped.size(), 9u);
    for (size_t i = 1; i < dropped.size(); ++i) EXPECT_EQ(dropped[i] - dropped[i - 1], 5);
}

}  // namespace
}  // namespace tqk::test
