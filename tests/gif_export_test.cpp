// `tqk gif` checked by ffmpeg: every exported GIF decoded at a steady rate and compared with the
// movie's own frames (exactly where they have at most 256 colours), its length read by ffprobe;
// every movie depth, 8-bit colour tables that change, the 50 fps cap, merged frames, a part of a
// movie, a movie cut short, a scaled picture and the refusals. Linux only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "fault_seam.h"
#include "gif_test_decoder.h"
#include "tool_test_util.h"
#include "tqk_format.h"

namespace tqk::test {
namespace {

using tooltest::Decode;
using tooltest::Q;
using tooltest::Shell;
using tooltest::TempDir;
using tooltest::ToolRun;
using tooltest::Tqk;
using Bytes = std::vector<uint8_t>;

// Writes a movie whose frame i is drawn by draw(i, frame) (F bytes, the movie's own layout).
void WriteMovie(const std::string& path, const MovieHeader& h,
                const std::function<void(int, uint8_t*)>& draw) {
    MovieEncoder enc;
    ASSERT_EQ(enc.Start(h), kOk);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(enc.Header()), kHeaderBytes);
    Bytes frame(enc.FrameSize(), 0);
    for (int i = 0; i < h.fps * h.sec; ++i) {
        draw(i, frame.data());
        size_t n = 0;
        const uint8_t* rec = enc.EncodeFrame(frame.data(), &n);
        out.write(reinterpret_cast<const char*>(rec), std::streamsize(n));
    }
    ASSERT_TRUE(out.good());
}

// A screen-like picture of few colours: a background, a bar, a box that moves every `every`
// frames and a counter of ticks. Colours are multiples of 8, so 5-5-5 holds them exactly.
uint32_t ScenePixel(int x, int y, int w, int h, int i, int every) {
    const int t = i / every;
    if (y >= h - 4) return 0xD0D0C8;
    const int bx = (t * 3) % (w - 8), by = (t * 2) % (h - 12);
    if (x >= bx && x < bx + 8 && y >= by && y < by + 6) return y == by ? 0x003078 : 0xF8F8F8;
    if (y < 2 && x < (t % 16) * 2) return 0x202020 + uint32_t(t % 4) * 0x080808;
    return 0x386CA0;
}

MovieHeader Header(int bits, int method, int w, int h, int fps, int sec) {
    MovieHeader m;
    m.BitCo = bits;
    m.Method = method;
    m.W = w;
    m.H = h;
    m.fps = fps;
    m.sec = sec;
    return m;
}

// Draws the scene in the movie's layout; 8-bit frames index a table that changes every 5 frames.
void DrawScene(const MovieHeader& h, int i, int every, uint8_t* f) {
    const size_t bpp = size_t(h.BitCo) / 8;
    for (int y = 0; y < h.H; ++y)
        for (int x = 0; x < h.W; ++x) {
            const uint32_t c = ScenePixel(x, y, h.W, h.H, i, every);
            const int row = h.Method == 0 ? y : h.H - 1 - y;
            uint8_t* p = f + (size_t(row) * size_t(h.W) + size_t(x)) * bpp;
            const uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
            switch (h.BitCo) {
            case 32: p[3] = 0; [[fallthrough]];
            case 24:
                p[0] = b;
                p[1] = g;
                p[2] = r;
                break;
            case 16: {
                const uint32_t v = uint32_t(r >> 3) << 10 | uint32_t(g >> 3) << 5 | (b >> 3);
                p[0] = uint8_t(v);
                p[1] = uint8_t(v >> 8);
                break;
            }
            case 8: p[0] = uint8_t((r ^ g ^ b) + i / 5); break;  // the table undoes the shift
            }
        }
    if (h.BitCo == 8) {
        uint8_t* table = f + size_t(h.W) * size_t(h.H);
        for (int k = 0; k < 256; ++k) {
            table[k * 4 + 0] = table[k * 4 + 1] = table[k * 4 + 2] = uint8_t(k * 7);
            table[k * 4 + 3] = 0;
        }
        // The scene's colours where their indices now stand.
        for (uint32_t c : {0xD0D0C8u, 0x003078u, 0xF8F8F8u, 0x202020u, 0x282828u, 0x303030u,
                           0x383838u, 0x386CA0u}) {
            const uint8_t k = uint8_t(((c >> 16) ^ (c >> 8) ^ c) + uint32_t(i / 5));
            table[k * 4 + 0] = uint8_t(c);
            table[k * 4 + 1] = uint8_t(c >> 8);
            table[k * 4 + 2] = uint8_t(c >> 16);
        }
    }
}

struct Decoded {
    std::string frames;  // bgr24
    double seconds = 0;
    int width = 0, height = 0;
};

Decoded ReadGif(const std::string& gif, int rate) {
    Decoded d;
    d.frames = Decode(gif, "-vf fps=" + std::to_string(rate) + " -f rawvideo -pix_fmt bgr24");
    const std::string probe = Shell(
                                  "ffprobe -v error -show_entries format=duration:stream=width,"
                                  "height -of default=nw=1 " +
                                  Q(gif))
                                  .out;
    const auto field = [&](const std::string& name) {
        const size_t at = probe.find(name + "=");
        return at == std::string::npos ? std::string() : probe.substr(at + name.size() + 1);
    };
    d.seconds = std::atof(field("duration").c_str());
    d.width = std::atoi(field("width").c_str());
    d.height = std::atoi(field("height").c_str());
    return d;
}

// The movie's frames as tqk raw gives them (bgr24, top-down; 16-bit Type0 read as 5-5-5).
std::string RawFrames(const std::string& movie) {
    const ToolRun r = Tqk({"raw", movie, "--555"});
    EXPECT_EQ(r.code, 0) << r.err;
    return r.out;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(TqkGif, EveryDepthDecodesToTheMoviesFramesExactly) {
    TempDir dir;
    struct Case {
        int bits, method;
    };
    for (const Case& c : {Case{8, 1}, Case{16, 1}, Case{16, 0}, Case{24, 1}, Case{24, 2},
                          Case{32, 1}, Case{32, 0}}) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, method " + std::to_string(c.method));
        const MovieHeader h = Header(c.bits, c.method, 48, 32, 15, 2);
        const std::string movie = dir.File("m.TQK"), gif = dir.File("m.gif");
        WriteMovie(movie, h, [&](int i, uint8_t* f) { DrawScene(h, i, 1, f); });
        const ToolRun r = Tqk({"gif", movie, gif, "--555"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("30 images from 30 frames, 48x32, 15 fps, 2.00 s, exact colours"),
                  std::string::npos)
            << r.out;
        const Decoded d = ReadGif(gif, 15);
        EXPECT_EQ(d.frames, RawFrames(movie).substr(0, d.frames.size()));
        EXPECT_EQ(d.frames.size(), 30u * 48 * 32 * 3);
        EXPECT_NEAR(d.seconds, 2.0, 0.001);
        // Our decoder agrees, and only the first image spans the whole screen.
        const gifdec::Gif g = gifdec::Decode(ReadAll(gif));
        ASSERT_EQ(g.error, "");
        ASSERT_EQ(g.frames.size(), 30u);
        for (size_t k = 1; k < g.frames.size(); ++k)
            EXPECT_LT(g.frames[k].w * g.frames[k].h, 48 * 32);
    }
}

TEST(TqkGif, ManyColoursComeCloseWithAndWithoutDither) {
    TempDir dir;
    const std::string movie = dir.File("many.TQK");
    ASSERT_EQ(Tqk({"sample", movie, "--size", "96x64", "--fps", "5", "--sec", "2"}).code, 0);
    const std::string raw = RawFrames(movie);
    for (bool dither : {false, true}) {
        SCOPED_TRACE(dither);
        const std::string gif = dir.File("many.gif");
        std::vector<std::string> args{"gif", movie, gif};
        if (dither) args.push_back("--dither");
        const ToolRun r = Tqk(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("colours quantised"), std::string::npos) << r.out;
        const Decoded d = ReadGif(gif, 5);
        ASSERT_EQ(d.frames.size(), raw.size());
        double sum = 0;
        for (size_t i = 0; i < raw.size(); ++i)
            sum += std::abs(int(uint8_t(raw[i])) - int(uint8_t(d.frames[i])));
        EXPECT_LT(sum / double(raw.size()), 4.5);  // sRGB steps; noise in blue is hard
    }
}

TEST(TqkGif, RatesAbove50AreCappedByDroppingFramesEvenly) {
    TempDir dir;
    const MovieHeader h = Header(24, 1, 32, 24, 60, 2);
    const std::string movie = dir.File("fast.TQK"), gif = dir.File("fast.gif");
    WriteMovie(movie, h, [&](int i, uint8_t* f) { DrawScene(h, i, 1, f); });
    const ToolRun r = Tqk({"gif", movie, gif});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("100 images from 120 frames, 32x24, 50 fps, 2.00 s"), std::string::npos)
        << r.out;
    const gifdec::Gif g = gifdec::Decode(ReadAll(gif));
    ASSERT_EQ(g.frames.size(), 100u);
    for (const auto& f : g.frames) EXPECT_EQ(f.delay, 2u);
    const Decoded d = ReadGif(gif, 50);
    EXPECT_NEAR(d.seconds, 2.0, 0.001);
    const std::string raw = RawFrames(movie);
    const size_t fb = 32 * 24 * 3;
    ASSERT_EQ(d.frames.size(), 100 * fb);
    for (size_t k = 0; k < 100; ++k) {
        const size_t src = k * 60 / 50;
        EXPECT_EQ(d.frames.substr(k * fb, fb), raw.substr(src * fb, fb)) << "frame " << k;
    }
}

TEST(TqkGif, IdenticalFramesMergeAndTheLengthStays) {
    TempDir dir;
    // 30 fps, the picture changing every 6th frame: 20 images, 3 and 4 hundredths summed.
    const MovieHeader h = Header(32, 1, 40, 30, 30, 4);
    const std::string movie = dir.File("slow.TQK"), gif = dir.File("slow.gif");
    WriteMovie(movie, h, [&](int i, uint8_t* f) { DrawScene(h, i, 6, f); });
    const ToolRun r = Tqk({"gif", movie, gif});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("20 images from 120 frames"), std::string::npos) << r.out;
    const gifdec::Gif g = gifdec::Decode(ReadAll(gif));
    ASSERT_EQ(g.frames.size(), 20u);
    for (const auto& f : g.frames) EXPECT_EQ(f.delay, 20u);
    const Decoded d = ReadGif(gif, 30);
    EXPECT_NEAR(d.seconds, 4.0, 0.001);
    EXPECT_EQ(d.frames, RawFrames(movie));
    // A lower rate: 10 frames a second, still 4 seconds.
    ASSERT_EQ(Tqk({"gif", movie, gif, "--fps", "10"}).code, 0);
    const Decoded ten = ReadGif(gif, 10);
    EXPECT_NEAR(ten.seconds, 4.0, 0.001);
    const std::string raw = RawFrames(movie);
    const size_t fb = 40 * 30 * 3;
    ASSERT_EQ(ten.frames.size(), 40 * fb);
    for (size_t k = 0; k < 40; ++k)
        EXPECT_EQ(ten.frames.substr(k * fb, fb), raw.substr(k * 3 * fb, fb));
}

TEST(TqkGif, PartOfAMovieAndAMovieCutShort) {
    TempDir dir;
    const MovieHeader h = Header(24, 1, 32, 24, 10, 5);
    const std::string movie = dir.File("part.TQK"), gif = dir.File("part.gif");
    WriteMovie(movie, h, [&](int i, uint8_t* f) { DrawScene(h, i, 1, f); });
    const std::string raw = RawFrames(movie);
    const size_t fb = 32 * 24 * 3;
    ToolRun r = Tqk({"gif", movie, gif, "--from", "1.5", "--to", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    Decoded d = ReadGif(gif, 10);
    EXPECT_NEAR(d.seconds, 1.5, 0.001);
    EXPECT_EQ(d.frames, raw.substr(15 * fb, 15 * fb));
    // To the end from a point; a "to" beyond the end stops at the end.
    ASSERT_EQ(Tqk({"gif", movie, gif, "--from", "4", "--to", "99"}).code, 0);
    d = ReadGif(gif, 10);
    EXPECT_NEAR(d.seconds, 1.0, 0.001);
    EXPECT_EQ(d.frames, raw.substr(40 * fb));

    // Killed after 3 whole seconds and a bit: the GIF holds the 3 seconds.
    Bytes file = ReadAll(movie);
    size_t at = 32;
    for (int i = 0; i < 33; ++i) at += 8 + LoadLE32(&file[at + 4]);
    file.resize(at + 5);
    std::ofstream(movie, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    r = Tqk({"gif", movie, gif});
    ASSERT_EQ(r.code, 0) << r.err;
    d = ReadGif(gif, 10);
    EXPECT_NEAR(d.seconds, 3.0, 0.001);
    EXPECT_EQ(d.frames, raw.substr(0, 30 * fb));
}

TEST(TqkGif, ScaledPictures) {
    TempDir dir;
    const MovieHeader h = Header(24, 1, 64, 48, 5, 1);
    const std::string movie = dir.File("s.TQK"), gif = dir.File("s.gif");
    WriteMovie(movie, h, [&](int i, uint8_t* f) { DrawScene(h, i, 1, f); });
    for (int w : {32, 20, 128}) {
        SCOPED_TRACE(w);
        const ToolRun r = Tqk({"gif", movie, gif, "--scale", std::to_string(w)});
        ASSERT_EQ(r.code, 0) << r.err;
        const Decoded d = ReadGif(gif, 5);
        EXPECT_EQ(d.width, w);
        EXPECT_EQ(d.height, (48 * w + 32) / 64);
        EXPECT_NEAR(d.seconds, 1.0, 0.001);
    }
    // Doubled, every pixel is its source pixel.
    const Decoded d = ReadGif(gif, 5);
    const std::string raw = RawFrames(movie);
    for (int y = 0; y < 96; y += 7)
        for (int x = 0; x < 128; x += 5)
            EXPECT_EQ(d.frames.substr(size_t(y * 128 + x) * 3, 3),
                      raw.substr(size_t((y / 2) * 64 + x / 2) * 3, 3));
}

TEST(TqkGif, RefusalsAndMessages) {
    TempDir dir;
    const std::string movie = dir.File("r.TQK"), gif = dir.File("r.gif");
    ASSERT_EQ(Tqk({"sample", movie, "--size", "16x8", "--fps", "2", "--sec", "2"}).code, 0);
    std::ofstream(gif) << "old";
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    };
    const std::string wide = dir.File("wide.TQK");
    ASSERT_EQ(
        Tqk({"sample", wide, "--bits", "8", "--size", "65540x2", "--fps", "1", "--sec", "1"}).code,
        0);
    for (const Case& c : {
             Case{{"gif", wide, gif}, 1, "65540x2 is larger than a GIF can hold"},
             Case{{"gif", movie, gif, "--scale", "70000"}, 1, "larger than a GIF can hold"},
             Case{{"gif", movie, gif, "--scale", "60000"}, 1, "60000x30000 is more than"},
             Case{{"gif", movie, gif, "--from", "2"}, 1, "outside the movie"},
             Case{{"gif", movie, gif, "--from", "1", "--to", "0.5"}, 1, "outside the movie"},
             Case{{"gif", movie, gif, "--fps", "0"}, 1, "bad --fps"},
             Case{{"gif", movie, gif, "--from", "x"}, 1, "bad --from"},
             Case{{"gif", movie, gif, "--bogus"}, 1, "unknown option --bogus"},
             Case{{"gif", movie}, 1, "usage: tqk gif"},
             Case{{"gif", dir.File("none.TQK"), gif}, 1, "ファイルがありません。"},
         }) {
        SCOPED_TRACE(c.args.back());
        const ToolRun r = Tqk(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    // Nothing refused touched the old file.
    EXPECT_EQ(ReadAll(gif), (Bytes{'o', 'l', 'd'}));
    const ToolRun help = Tqk({"gif", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("tqk gif FILE OUT.gif"), std::string::npos);
}

// Every write, flush and rename of the GIF failed in turn: the tool says so and the old GIF
// stays as it was, with no scratch file left beside it.
TEST(TqkGif, AFailedWriteLeavesTheOldFile) {
    TempDir dir;
    const MovieHeader h = Header(24, 1, 32, 24, 10, 2);
    const std::string movie = dir.File("f.TQK"), gif = dir.File("f.gif");
    WriteMovie(movie, h, [&](int i, uint8_t* f) { DrawScene(h, i, 1, f); });
    const Bytes old{'o', 'l', 'd'};
    for (const fault::Op op : {fault::Op::kWrite, fault::Op::kFlush, fault::Op::kRename}) {
        int n = 1;
        for (;; ++n) {
            SCOPED_TRACE(std::string(fault::OpName(op)) + " " + std::to_string(n));
            std::ofstream(gif, std::ios::binary | std::ios::trunc) << "old";
            fault::Arm(op, n);
            const ToolRun r = Tqk({"gif", movie, gif});
            const bool fired = fault::Fired();
            fault::Disarm();
            if (!fired) {
                EXPECT_EQ(r.code, 0) << r.err;
                break;
            }
            EXPECT_EQ(r.code, 1);
            EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
            EXPECT_EQ(ReadAll(gif), old);
            EXPECT_FALSE(std::ifstream(gif + ".tmp~").good());
        }
        EXPECT_GT(n, 1);
    }
}

}  // namespace
}  // namespace tqk::test
