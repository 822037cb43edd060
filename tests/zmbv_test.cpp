// The ZMBV encoder and decoder against each other: every depth, odd sizes, palette changes,
// scrolls, drags and key-frame boundaries; and the decoder against damaged chunks.
#include "zmbv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "zmbv_dib.h"
#include "zmbv_test_util.h"

namespace tqk::test {
namespace {

using namespace tqk::zmbv;

// Runs a sequence through the encoder and the decoder and checks every frame.
class RoundTrip {
public:
    RoundTrip(int w, int h, int bits, EncoderOptions o = {}) : w_(w), h_(h), bits_(bits) {
        EXPECT_EQ(enc_.Start({w, h, bits}, o), Status::kOk);
        EXPECT_EQ(dec_.Start(w, h), Status::kOk);
    }
    // Encodes and decodes one frame; returns the chunk's size.
    size_t Step(Picture& p, bool forceKey = false, bool bottomUp = false) {
        const ptrdiff_t stride = ptrdiff_t(p.w) * InBpp(bits_);
        std::vector<uint8_t> flipped;
        const uint8_t* top = p.px.data();
        ptrdiff_t s = stride;
        if (bottomUp) {
            flipped.resize(p.px.size());
            for (int y = 0; y < h_; ++y)
                std::memcpy(flipped.data() + size_t(h_ - 1 - y) * size_t(stride), p.Row(y),
                            size_t(stride));
            top = flipped.data() + size_t(h_ - 1) * size_t(stride);
            s = -stride;
        }
        EncodedFrame f;
        EXPECT_EQ(enc_.Encode(top, s, p.table, forceKey, &f), Status::kOk);
        EXPECT_FALSE(f.bytes.empty());
        lastKey_ = f.keyFrame;
        EXPECT_EQ(f.keyFrame, (f.bytes[0] & 1) != 0);
        EXPECT_EQ(dec_.Decode(f.bytes.data(), f.bytes.size()), Status::kOk);
        Check(p);
        return f.bytes.size();
    }
    bool LastKey() const { return lastKey_; }

private:
    void Check(const Picture& p) {
        const int outBpp = bits_ == 24 ? 4 : InBpp(bits_);
        ASSERT_EQ(int(dec_.StreamFormat()), int(FormatForBits(bits_)));
        const uint8_t* got = dec_.Frame();
        for (int y = 0; y < h_; ++y) {
            const uint8_t* in = p.px.data() + size_t(y) * size_t(w_) * size_t(InBpp(bits_));
            const uint8_t* out = got + size_t(y) * size_t(w_) * size_t(outBpp);
            if (bits_ == 24) {
                for (int x = 0; x < w_; ++x)
                    ASSERT_TRUE(out[x * 4] == in[x * 3] && out[x * 4 + 1] == in[x * 3 + 1] &&
                                out[x * 4 + 2] == in[x * 3 + 2] && out[x * 4 + 3] == 0)
                        << "pixel " << x << "," << y;
            } else {
                ASSERT_EQ(std::memcmp(in, out, size_t(w_) * size_t(outBpp)), 0) << "row " << y;
            }
        }
        if (bits_ == 8) {
            uint8_t table[1024];
            PaletteToColourTable(dec_.Palette(), table);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(std::memcmp(table + i * 4, p.table + i * 4, 3), 0) << "colour " << i;
        }
    }
    int w_, h_, bits_;
    Encoder enc_;
    Decoder dec_;
    bool lastKey_ = false;
};

struct Shape {
    int w, h;
};
const int kDepths[] = {8, 15, 16, 24, 32};
const Shape kShapes[] = {{1, 1}, {16, 16}, {17, 3}, {37, 29}, {100, 50}, {160, 121}};

TEST(ZmbvRoundTrip, EveryDepthAndSizeThroughChangesScrollsAndDrags) {
    for (int bits : kDepths)
        for (const Shape& s : kShapes) {
            SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(s.w) + "x" +
                         std::to_string(s.h));
            std::mt19937 rng(uint32_t(bits * 1000 + s.w));
            Picture p(s.w, s.h, bits, 1);
            RoundTrip rt(s.w, s.h, bits);
            rt.Step(p);
            EXPECT_TRUE(rt.LastKey());
            rt.Step(p);  // unchanged
            EXPECT_FALSE(rt.LastKey());
            p.Row(s.h / 2)[0] ^= 0x5A;  // one pixel
            rt.Step(p);
            p.Scroll(0, s.h, 3, rng);
            rt.Step(p, false, true);
            if (s.w > 40 && s.h > 40) {
                p.Drag(5, 6, 20, 20, 7, -3);
                rt.Step(p);
            }
            for (auto& b : p.px) b = uint8_t(rng());  // everything changes
            rt.Step(p);
            rt.Step(p, true);
            EXPECT_TRUE(rt.LastKey());
            p.Scroll(0, s.h, -2, rng);
            rt.Step(p);
        }
}

TEST(ZmbvRoundTrip, ScrollsOfEveryDistanceUpAndDown) {
    for (int bits : {8, 16, 32, 24})
        for (int k = 1; k <= 64; ++k)
            for (int sign : {1, -1}) {
                SCOPED_TRACE(std::to_string(bits) + " bits, scroll " + std::to_string(k * sign));
                std::mt19937 rng{uint32_t(k)};
                Picture p(90, 200, bits, uint32_t(k));
                RoundTrip rt(90, 200, bits);
                const size_t key = rt.Step(p);
                p.Scroll(10, 190, k * sign, rng);
                const size_t delta = rt.Step(p);
                // A found scroll costs the rows that came in, not the rows that moved.
                if (k <= 48) {
                    EXPECT_LT(delta, key / 2);
                }
                p.Scroll(10, 190, k * sign, rng);
                rt.Step(p);
            }
}

TEST(ZmbvRoundTrip, PaletteChangesWithAndWithoutPixelChanges) {
    std::mt19937 rng(5);
    Picture p(50, 40, 8, 3);
    RoundTrip rt(50, 40, 8);
    rt.Step(p);
    p.table[4 * 17 + 1] ^= 0xFF;  // one colour, same pixels
    rt.Step(p);
    EXPECT_FALSE(rt.LastKey());
    for (auto& c : p.table) c = uint8_t(rng());
    p.Scroll(0, 40, 5, rng);
    rt.Step(p);
    rt.Step(p);
}

TEST(ZmbvRoundTrip, KeyFramesAtTheIntervalAndOnRequest) {
    EncoderOptions o;
    o.keyInterval = 3;
    std::mt19937 rng(9);
    Picture p(64, 48, 32, 4);
    RoundTrip rt(64, 48, 32, o);
    std::string keys;
    for (int i = 0; i < 10; ++i) {
        p.Scroll(0, 48, 1, rng);
        rt.Step(p, i == 5);
        keys += rt.LastKey() ? 'K' : '.';
    }
    EXPECT_EQ(keys, "K..K.K..K.");
}

// A whole new picture goes out as a key frame although none was asked for (its XOR with an
// unrelated picture packs worse than the picture), the frames after it refer to it, and the
// key-frame interval counts from it; a picture whose every pixel changed by little stays a
// delta frame, its XOR being next to nothing.
TEST(ZmbvRoundTrip, AWholeNewPictureBecomesAKeyFrameUnasked) {
    for (int bits : kDepths) {
        for (const Shape sh : {Shape{100, 50}, Shape{160, 121}}) {
            SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(sh.w));
            EncoderOptions o;
            o.keyInterval = 4;
            RoundTrip rt(sh.w, sh.h, bits, o);
            Picture p(sh.w, sh.h, bits, 1);
            std::string keys;
            for (int i = 0; i < 7; ++i) {
                if (i == 2) p = Picture(sh.w, sh.h, bits, 2);
                if (i != 2) p.Drag(4, 4, 8, 8, 1, 1);
                rt.Step(p);
                keys += rt.LastKey() ? 'K' : '.';
            }
            EXPECT_EQ(keys, "K.K...K");
            for (uint8_t& b : p.px) b ^= 1;
            rt.Step(p);
            EXPECT_FALSE(rt.LastKey());
        }
    }
}

TEST(ZmbvRoundTrip, AnUnchangedFrameIsASmallDeltaFrame) {
    for (int bits : kDepths) {
        Encoder enc;
        ASSERT_EQ(enc.Start({1920, 1080, bits}), Status::kOk);
        Picture p(1920, 1080, bits, 2);
        EncodedFrame f;
        ASSERT_EQ(enc.Encode(p.px.data(), 1920 * InBpp(bits), p.table, false, &f), Status::kOk);
        ASSERT_EQ(enc.Encode(p.px.data(), 1920 * InBpp(bits), p.table, false, &f), Status::kOk);
        EXPECT_FALSE(f.keyFrame);
        EXPECT_GT(f.bytes.size(), 1u);
        EXPECT_LT(f.bytes.size(), 200u) << bits << " bits";
        Decoder d;
        ASSERT_EQ(d.Start(1920, 1080), Status::kOk);
        EXPECT_EQ(d.Decode(f.bytes.data(), f.bytes.size()), Status::kNoKeyFrame);
    }
}

TEST(ZmbvEncoder, RefusesWhatTheStreamCannotCarry) {
    struct Case {
        InputLayout layout;
        EncoderOptions options;
    } cases[] = {
        {{0, 10, 32}, {}},      {{10, 0, 32}, {}},         {{10, 10, 12}, {}},
        {{10, 10, 1}, {}},      {{20000, 10, 32}, {}},     {{16384, 16384, 32}, {}},
        {{10, 10, 32}, {0, 4}}, {{10, 10, 32}, {300, 10}}, {{10, 10, 32}, {300, -2}},
    };
    for (const Case& c : cases) {
        Encoder e;
        EXPECT_EQ(e.Start(c.layout, c.options), Status::kBadArgument)
            << c.layout.width << "x" << c.layout.height << "x" << c.layout.bits;
    }
    Encoder e;
    ASSERT_EQ(e.Start({8, 8, 8}), Status::kOk);
    uint8_t px[64] = {};
    EncodedFrame f;
    EXPECT_EQ(e.Encode(px, 8, nullptr, false, &f), Status::kBadArgument);  // no colour table
}

// Damaged chunks: a clear error, never a crash, and the next key frame decodes again.
TEST(ZmbvDecoder, DamagedChunksFailAndTheNextKeyFrameRecovers) {
    Picture p(48, 33, 16, 7);
    Encoder enc;
    ASSERT_EQ(enc.Start({48, 33, 16}), Status::kOk);
    std::vector<std::vector<uint8_t>> chunks;
    std::mt19937 rng(3);
    for (int i = 0; i < 4; ++i) {
        EncodedFrame f;
        ASSERT_EQ(enc.Encode(p.px.data(), 96, nullptr, i == 3, &f), Status::kOk);
        chunks.push_back(f.bytes);
        p.Scroll(0, 33, 2, rng);
    }
    const std::vector<uint8_t>& key = chunks[0];
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        Status want;
    };
    std::vector<Case> cases = {
        {"empty", {}, Status::kBadData},
        {"short key header", {1, 0, 1, 1}, Status::kBadData},
        {"version", {1, 1, 1, 1, 6, 16, 16}, Status::kUnsupported},
        {"compression", {1, 0, 1, 2, 6, 16, 16}, Status::kUnsupported},
        {"format", {1, 0, 1, 1, 3, 16, 16}, Status::kUnsupported},
        {"block size", {1, 0, 1, 1, 6, 0, 16}, Status::kBadData},
        {"key cut short",
         std::vector<uint8_t>(key.begin(), key.begin() + ptrdiff_t(key.size() / 2)),
         Status::kBadData},
        {"uncompressed, too little", {1, 0, 1, 0, 6, 16, 16, 1, 2, 3}, Status::kBadData},
    };
    std::vector<uint8_t> garbage(key);
    for (size_t i = 7; i < garbage.size(); ++i) garbage[i] ^= uint8_t(rng());
    cases.push_back({"garbage", garbage, Status::kBadData});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        ASSERT_EQ(d.Start(48, 33), Status::kOk);
        EXPECT_EQ(d.Decode(c.bytes.data(), c.bytes.size()), c.want);
        // A delta after a failure waits for a key frame.
        EXPECT_EQ(d.Decode(chunks[1].data(), chunks[1].size()), Status::kNoKeyFrame);
        EXPECT_EQ(d.Decode(chunks[3].data(), chunks[3].size()), Status::kOk);
    }
    // A key frame of another size than the container's does not fit.
    Decoder d;
    ASSERT_EQ(d.Start(40, 33), Status::kOk);
    EXPECT_EQ(d.Decode(key.data(), key.size()), Status::kBadData);
}

// The decoded picture as the bitmaps a decompressor is asked for: every pixel checked
// against the layout's own rule.
TEST(ZmbvDib, WritesEveryOutputLayout) {
    struct Case {
        int bits;  // encoder input
        DibOutput out;
        bool ok;
    } cases[] = {
        {24, {24, false, false}, true}, {24, {32, false, true}, true},
        {32, {24, false, true}, true},  {15, {16, false, false}, true},
        {15, {16, true, true}, true},   {16, {16, true, false}, true},
        {16, {16, false, false}, true}, {16, {32, false, false}, true},
        {15, {24, false, false}, true}, {8, {24, false, true}, true},
        {8, {32, false, false}, true},  {32, {16, false, false}, false},
        {8, {16, false, false}, false}, {8, {8, false, false}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.bits << " -> " << c.out.bits << (c.out.is565 ? " 565" : "")
                     << (c.out.topDown ? " top-down" : ""));
        const int w = 5, h = 3;
        Picture p(w, h, c.bits, 1);
        Encoder enc;
        ASSERT_EQ(enc.Start({w, h, c.bits}), Status::kOk);
        EncodedFrame f;
        ASSERT_EQ(enc.Encode(p.px.data(), w * InBpp(c.bits), p.table, false, &f), Status::kOk);
        Decoder d;
        ASSERT_EQ(d.Start(w, h), Status::kOk);
        ASSERT_EQ(d.Decode(f.bytes.data(), f.bytes.size()), Status::kOk);
        const size_t stride = DibImageBytes(w, 1, c.out.bits);
        std::vector<uint8_t> dib(stride * h, 0xCC);
        ASSERT_EQ(WriteDib(d, c.out, dib.data()), c.ok);
        if (!c.ok) continue;
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = dib.data() + size_t(c.out.topDown ? y : h - 1 - y) * stride;
            for (int x = 0; x < w; ++x) {
                const uint8_t* in = p.Row(y) + size_t(x) * size_t(InBpp(c.bits));
                const uint32_t v = in[0] | (c.bits <= 16 ? uint32_t(in[1]) << 8 : 0);
                const bool in565 = c.bits == 16;
                uint32_t b, g, r;  // 8-bit components of the source pixel
                if (c.bits == 8) {
                    b = p.table[in[0] * 4];
                    g = p.table[in[0] * 4 + 1];
                    r = p.table[in[0] * 4 + 2];
                } else if (c.bits >= 24) {
                    b = in[0];
                    g = in[1];
                    r = in[2];
                } else {
                    const uint32_t b5 = v & 31, r5 = (v >> (in565 ? 11 : 10)) & 31;
                    const uint32_t gg = (v >> 5) & (in565 ? 63 : 31);
                    b = b5 << 3 | b5 >> 2;
                    r = r5 << 3 | r5 >> 2;
                    g = in565 ? (gg << 2 | gg >> 4) : (gg << 3 | gg >> 2);
                }
                const uint8_t* o = row + size_t(x) * size_t(c.out.bits / 8);
                if (c.out.bits == 16) {
                    const uint32_t ov = o[0] | uint32_t(o[1]) << 8;
                    // Both 16-bit layouts hold the top bits of each component.
                    const uint32_t ob = ov & 31, orr = (ov >> (c.out.is565 ? 11 : 10)) & 31;
                    const uint32_t og = (ov >> (c.out.is565 ? 6 : 5)) & 31;
                    EXPECT_EQ(ob, b >> 3);
                    EXPECT_EQ(og, g >> 3);
                    EXPECT_EQ(orr, r >> 3);
                    if (c.out.is565 == in565) {
                        EXPECT_EQ(ov, v);
                    }
                } else {
                    EXPECT_EQ(o[0], b);
                    EXPECT_EQ(o[1], g);
                    EXPECT_EQ(o[2], r);
                    if (c.out.bits == 32) {
                        EXPECT_EQ(o[3], 0);
                    }
                }
            }
            for (size_t k = size_t(w) * size_t(c.out.bits / 8); k < stride; ++k)
                EXPECT_EQ(row[k], 0) << "row padding";
        }
    }
}

TEST(ZmbvDib, FormatsTheDriverTakesAndGives) {
    auto fmt = [](int32_t w, int32_t h, uint16_t bits, uint32_t comp, uint32_t r = 0,
                  uint32_t g = 0, uint32_t b = 0) {
        DibFormat f;
        f.width = w;
        f.height = h;
        f.bitCount = bits;
        f.compression = comp;
        f.masks[0] = r;
        f.masks[1] = g;
        f.masks[2] = b;
        return f;
    };
    struct In {
        DibFormat f;
        int bits;
    } ins[] = {
        {fmt(64, 48, 8, kBiRgb), 8},
        {fmt(64, 48, 16, kBiRgb), 15},
        {fmt(64, 48, 24, kBiRgb), 24},
        {fmt(64, -48, 32, kBiRgb), 32},
        {fmt(64, 48, 16, kBiBitfields, 0xF800, 0x07E0, 0x1F), 16},
        {fmt(64, 48, 16, kBiBitfields, 0x7C00, 0x03E0, 0x1F), 15},
        {fmt(64, 48, 16, kBiBitfields, 0xF00, 0xF0, 0xF), 0},
        {fmt(64, 48, 4, kBiRgb), 0},
        {fmt(64, 48, 32, kFourCC), 0},
        {fmt(0, 48, 32, kBiRgb), 0},
        {fmt(64, 0, 32, kBiRgb), 0},
        {fmt(20000, 48, 32, kBiRgb), 0},
    };
    for (const In& c : ins) {
        EXPECT_EQ(CompressInputBits(c.f), c.bits) << c.f.bitCount << " " << c.f.compression;
        if (c.bits == 0) continue;
        const DibFormat z = CompressedFormat(c.f);
        EXPECT_TRUE(IsZmbvFormat(z));
        EXPECT_EQ(z.height, 48);
        EXPECT_EQ(z.bitCount, c.bits == 8 ? 8 : c.bits <= 16 ? 16 : 32);
        // The header survives its bytes.
        uint8_t bytes[52] = {};
        WriteDibFormat(z, bytes);
        DibFormat back;
        ASSERT_TRUE(ReadDibFormat(bytes, sizeof bytes, &back));
        EXPECT_EQ(back.compression, kFourCC);
        EXPECT_EQ(back.width, 64);
        EXPECT_EQ(back.sizeImage, z.sizeImage);
        DibOutput o;
        EXPECT_TRUE(DecompressOutput(z, SuggestedOutput(z), &o));
        EXPECT_EQ(o.bits, 32);
        EXPECT_TRUE(DecompressOutput(z, fmt(64, -48, 24, kBiRgb), &o));
        EXPECT_TRUE(o.topDown);
        EXPECT_EQ(DecompressOutput(z, fmt(64, 48, 16, kBiBitfields, 0xF800, 0x07E0, 0x1F), &o),
                  z.bitCount == 16);
        EXPECT_FALSE(DecompressOutput(z, fmt(64, 48, 8, kBiRgb), &o));
        EXPECT_FALSE(DecompressOutput(z, fmt(65, 48, 32, kBiRgb), &o));
        EXPECT_FALSE(DecompressOutput(fmt(64, 48, 32, kBiRgb), SuggestedOutput(z), &o));
    }
    uint8_t shortHeader[20] = {40};
    DibFormat f;
    EXPECT_FALSE(ReadDibFormat(shortHeader, sizeof shortHeader, &f));
}

}  // namespace
}  // namespace tqk::test
