// ZMBV exports checked by real clients: ffprobe reads the stream, its frame count and the key
// frames of the indexes; ffmpeg decodes every frame to the movie's pixels. Linux only.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "avi_export.h"
#include "avi_file.h"
#include "avi_writer.h"
#include "tool_test_util.h"
#include "zmbv.h"
#include "zmbv_test_util.h"

namespace tqk::test {
namespace {

using tooltest::Decode;
using tooltest::Q;
using tooltest::Shell;
using tooltest::ShellRun;
using tooltest::TempDir;
using tooltest::ToolRun;
using tooltest::Tqk;

// "K" or "." per video packet, in order, as ffprobe reads the index.
std::string KeyFlags(const std::string& avi) {
    const std::string csv = Shell(
                                "ffprobe -v error -select_streams v:0 -show_entries packet=flags "
                                "-of csv=p=0 " +
                                Q(avi))
                                .out;
    std::string keys;
    for (size_t at = 0; at < csv.size();) {
        const size_t end = csv.find('\n', at);
        keys += csv[at] == 'K' ? 'K' : '.';
        at = end == std::string::npos ? csv.size() : end + 1;
    }
    return keys;
}

std::string ExpectedKeys(int frames, int interval) {
    std::string k;
    for (int i = 0; i < frames; ++i) k += i % interval == 0 ? 'K' : '.';
    return k;
}

TEST(TqkAviZmbv, EveryDepthDecodesToTheMoviesFrames) {
    TempDir dir;
    struct Case {
        const char* bits;
        const char* method;
        const char* size;
        const char* extra;  // an option and its value, or empty
        const char* pixFmt;
    } cases[] = {
        {"32", "1", "64x48", "", "bgr0"},
        {"24", "1", "100x52", "", "bgr0"},
        {"24", "2", "64x48", "", "bgr0"},
        {"16", "1", "64x48", "", "rgb555le"},
        {"16", "0", "68x40", "", "rgb565le"},
        {"16", "0", "64x48", "--555", "rgb555le"},
        {"8", "1", "36x20", "", "pal8"},
        {"32", "0", "64x48", "", "bgr0"},
        // Small segments: the file spans several OpenDML segments.
        {"24", "1", "64x48", "--segment 9000", "bgr0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.bits << " bits, method " << c.method << ", " << c.size << " " << c.extra);
        const std::string movie = dir.File("m.TQK");
        const std::string avi = dir.File("出力.avi");
        ASSERT_EQ(Tqk({"sample", movie, "--bits", c.bits, "--method", c.method, "--size", c.size,
                       "--fps", "12", "--sec", "2"})
                      .code,
                  0);
        std::vector<std::string> args = {"avi", movie, avi, "--codec", "zmbv", "--keyint", "7"};
        std::string extra = c.extra;
        std::vector<std::string> rawArgs = {"raw", movie};
        if (!extra.empty()) {
            const size_t sp = extra.find(' ');
            args.push_back(extra.substr(0, sp));
            if (sp != std::string::npos) args.push_back(extra.substr(sp + 1));
            if (extra == "--555") rawArgs.push_back("--555");
        }
        const ToolRun r = Tqk(args);
        ASSERT_EQ(r.code, 0) << r.err;
        if (extra.rfind("--segment", 0) == 0) {
            EXPECT_EQ(r.out.find(" 1 segments"), std::string::npos) << r.out;
        }
        const std::string w = std::string(c.size).substr(0, std::string(c.size).find('x'));
        const std::string h = std::string(c.size).substr(std::string(c.size).find('x') + 1);
        EXPECT_EQ(Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                        "stream=codec_name,codec_tag_string,width,height,pix_fmt,nb_frames,"
                        "nb_read_frames -of default=nw=1 " +
                        Q(avi))
                      .out,
                  "codec_name=zmbv\ncodec_tag_string=ZMBV\nwidth=" + w + "\nheight=" + h +
                      "\npix_fmt=" + c.pixFmt + "\nnb_frames=24\nnb_read_frames=24\n");
        EXPECT_EQ(KeyFlags(avi), ExpectedKeys(24, 7));
        const std::string decoded = Decode(avi, "-f rawvideo -pix_fmt bgr24");
        const ToolRun raw = Tqk(rawArgs);
        ASSERT_EQ(raw.code, 0);
        ASSERT_EQ(decoded.size(), raw.out.size());
        EXPECT_TRUE(decoded == raw.out) << "decoded frames differ from the movie's";
    }
}

TEST(TqkAviZmbv, SoundBesideThePackedFrames) {
    TempDir dir;
    const std::string movie = dir.File("m.TQK");
    const std::string wav = dir.File("音声.wav");
    const std::string avi = dir.File("a.avi");
    ASSERT_EQ(
        Tqk({"sample", movie, "--bits", "24", "--size", "64x48", "--fps", "10", "--sec", "3"}).code,
        0);
    ASSERT_EQ(Shell("sox -n -r 22050 -c 2 -b 16 " + Q(wav) + " synth 3 sine 440 vol 0.5 2>&1").code,
              0);
    const ToolRun r = Tqk({"avi", movie, avi, wav, "--codec", "zmbv"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Q(avi)).out,
              "zmbv\npcm_s16le\n");
    EXPECT_EQ(Decode(avi, "-map 0:a -f s16le"), Shell("sox " + Q(wav) + " -t raw -").out);
    EXPECT_EQ(Decode(avi, "-map 0:v -f rawvideo -pix_fmt bgr24"), Tqk({"raw", movie}).out);
    EXPECT_EQ(KeyFlags(avi), ExpectedKeys(30, 300));
}

TEST(TqkAviZmbv, RefusesUnknownCodecsAndIntervals) {
    TempDir dir;
    const std::string movie = dir.File("m.TQK");
    ASSERT_EQ(Tqk({"sample", movie, "--size", "16x16", "--sec", "1"}).code, 0);
    for (std::vector<std::string> bad :
         {std::vector<std::string>{"--codec", "xvid"}, {"--keyint", "0"}, {"--keyint", "x"}}) {
        std::vector<std::string> args = {"avi", movie, dir.File("x.avi")};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(Tqk(args).code, 1) << bad[0] << " " << bad[1];
    }
}

// Streams the tool cannot make from a movie: palette changes, scrolls of every distance, drags
// and forced key frames, written through the AVI writer and decoded by ffmpeg.
TEST(ZmbvFfmpeg, ScrollsDragsAndPaletteChangesDecodeExactly) {
    TempDir dir;
    struct Case {
        int bits;
        const char* pixFmt;  // ffmpeg's name of the stream's own layout
    } cases[] = {{8, "pal8"}, {15, "rgb555le"}, {16, "rgb565le"}, {24, "bgr0"}, {32, "bgr0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        const int w = 83, h = 150;
        Picture p(w, h, c.bits, 11);
        std::mt19937 rng(uint32_t(c.bits));
        zmbv::Encoder enc;
        zmbv::EncoderOptions o;
        o.keyInterval = 40;
        ASSERT_EQ(enc.Start({w, h, c.bits}, o), zmbv::Status::kOk);
        const std::string avi = dir.File("z.avi");
        avi::StdioFile file;
        ASSERT_TRUE(file.Open(avi, avi::StdioFile::Mode::kCreate));
        avi::Writer writer;
        const int bpp = zmbv::BytesPerPixel(enc.StreamFormat());
        ASSERT_EQ(
            writer.Create(&file, avi::VideoStream(zmbv::kFourCC, w, h, 10, 0, "ZMBV",
                                                  avi::BitmapFormat(w, h, uint16_t(bpp * 8),
                                                                    zmbv::kFourCC, 0, nullptr))),
            avi::Status::kOk);
        std::string expected, keys;
        int frame = 0;
        auto add = [&](bool forceKey) {
            zmbv::EncodedFrame f;
            ASSERT_EQ(enc.Encode(p.px.data(), ptrdiff_t(w) * InBpp(c.bits), p.table, forceKey, &f),
                      zmbv::Status::kOk);
            ASSERT_EQ(writer.WriteChunk(0, f.bytes.data(), f.bytes.size(), f.keyFrame),
                      avi::Status::kOk);
            keys += f.keyFrame ? 'K' : '.';
            // What ffmpeg gives in bgr24.
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t* px = p.Row(y) + size_t(x) * size_t(InBpp(c.bits));
                    uint8_t bgr[3];
                    if (c.bits == 8) {
                        for (int k = 0; k < 3; ++k) bgr[k] = p.table[px[0] * 4 + k];
                    } else if (c.bits >= 24) {
                        for (int k = 0; k < 3; ++k) bgr[k] = px[k];
                    } else {
                        const uint32_t v = px[0] | uint32_t(px[1]) << 8;
                        const bool g6 = c.bits == 16;
                        const uint32_t b5 = v & 31, g = (v >> 5) & (g6 ? 63 : 31),
                                       r5 = (v >> (g6 ? 11 : 10)) & 31;
                        bgr[0] = uint8_t(b5 << 3 | b5 >> 2);
                        bgr[1] = g6 ? uint8_t(g << 2 | g >> 4) : uint8_t(g << 3 | g >> 2);
                        bgr[2] = uint8_t(r5 << 3 | r5 >> 2);
                    }
                    expected.append(reinterpret_cast<char*>(bgr), 3);
                }
            ++frame;
        };
        add(false);
        for (int k = 1; k <= 64; k += (k < 8 ? 1 : 9)) {
            p.Scroll(4, h - 4, k, rng);
            add(false);
            p.Scroll(0, h, -k, rng);
            add(false);
        }
        add(false);  // unchanged
        p.Drag(10, 20, 40, 30, 5, 9);
        add(false);
        p.Drag(15, 29, 40, 30, -11, -2);
        add(true);
        if (c.bits == 8) {
            p.table[40] ^= 0x80;
            add(false);
            for (auto& t : p.table) t = uint8_t(rng());
            p.Scroll(0, h, 6, rng);
            add(false);
        }
        for (auto& b : p.px) b = uint8_t(rng());
        add(false);
        ASSERT_EQ(writer.Close(), avi::Status::kOk);
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(KeyFlags(avi), keys);
        const std::string got = Decode(avi, "-f rawvideo -pix_fmt bgr24");
        ASSERT_EQ(got.size(), expected.size());
        const size_t fb = size_t(w) * size_t(h) * 3;
        for (int i = 0; i < frame; ++i)
            ASSERT_TRUE(got.compare(size_t(i) * fb, fb, expected, size_t(i) * fb, fb) == 0)
                << "frame " << i;
        // The stream's own layout: probed as ffmpeg decodes it.
        EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=pix_fmt -of csv=p=0 " + Q(avi)).out,
                  std::string(c.pixFmt) + "\n");
    }
}

}  // namespace
}  // namespace tqk::test
