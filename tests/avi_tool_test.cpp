// tqk avi checked by real clients: ffprobe reads the headers, ffmpeg decodes every frame and
// every sound sample. Linux only (the clients are Linux programs).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_test_util.h"
#include "avi_writer.h"
#include "tool_test_util.h"
#include "tqk_commands.h"
#include "tqk_format.h"

namespace tqk::test {
namespace {

using tooltest::Decode;
using tooltest::Q;
using tooltest::Shell;
using tooltest::ShellRun;
using tooltest::TempDir;
using tooltest::ToolRun;
using tooltest::Tqk;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// "key=value" lines of ffprobe for one stream.
std::string Probe(const std::string& avi, const std::string& select, const std::string& entries) {
    return Shell("ffprobe -v error -count_frames -select_streams " + select +
                 " -show_entries stream=" + entries + " -of default=nw=1 " + Q(avi))
        .out;
}

TEST(TqkAvi, EveryDepthDecodesPixelForPixel) {
    TempDir dir;
    struct Case {
        const char* bits;
        const char* method;
        const char* segment;
        const char* pixFmt;
        const char* tag;
    } cases[] = {
        {"32", "1", "0", "bgra", "[0][0][0][0]"},
        {"24", "1", "0", "bgr24", "[0][0][0][0]"},
        {"16", "1", "0", "rgb555le", "[0][0][0][0]"},
        {"8", "1", "0", "pal8", "[0][0][0][0]"},
        {"32", "0", "0", "bgra", "[0][0][0][0]"},
        {"24", "2", "0", "bgr24", "[0][0][0][0]"},
        {"16", "0", "0", "rgb565le", "[3][0][0][0]"},
        // Small segments: the file spans several OpenDML segments.
        {"24", "1", "60000", "bgr24", "[0][0][0][0]"},
        {"8", "1", "30000", "pal8", "[0][0][0][0]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.bits << " bits, method " << c.method << ", segment " << c.segment);
        const std::string movie = dir.File("m.TQK");
        const std::string avi = dir.File("出力.avi");
        ASSERT_EQ(Tqk({"sample", movie, "--bits", c.bits, "--method", c.method, "--size", "64x48",
                       "--fps", "12", "--sec", "2"})
                      .code,
                  0);
        std::vector<std::string> args = {"avi", movie, avi};
        if (std::string(c.segment) != "0") args.insert(args.end(), {"--segment", c.segment});
        const ToolRun r = Tqk(args);
        ASSERT_EQ(r.code, 0) << r.err;
        if (std::string(c.segment) != "0") {
            EXPECT_EQ(r.out.find(" 1 segments"), std::string::npos) << r.out;
        }
        EXPECT_EQ(
            Shell("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Q(avi)).out,
            "video\n");
        EXPECT_EQ(Probe(avi, "v:0",
                        "codec_name,codec_tag_string,width,height,r_frame_rate,pix_fmt,"
                        "nb_read_frames"),
                  std::string("codec_name=rawvideo\ncodec_tag_string=") + c.tag +
                      "\nwidth=64\nheight=48\npix_fmt=" + c.pixFmt +
                      "\nr_frame_rate=12/1\nnb_read_frames=24\n");
        const std::string decoded = Decode(avi, "-f rawvideo -pix_fmt bgr24");
        const ToolRun raw = Tqk({"raw", movie});
        ASSERT_EQ(raw.code, 0);
        ASSERT_EQ(decoded.size(), raw.out.size());
        EXPECT_TRUE(decoded == raw.out) << "decoded frames differ from the movie's";
    }
}

TEST(TqkAvi, DroppedRecordsRepeatFrames) {
    TempDir dir;
    const std::string movie = dir.File("dropped.TQK");
    MovieHeader h;
    h.Method = 1;
    h.BitCo = 24;
    h.W = 32;
    h.H = 16;
    h.fps = 5;
    h.sec = 2;
    MovieEncoder enc;
    ASSERT_EQ(enc.Start(h), kOk);
    std::ofstream f(movie, std::ios::binary);
    f.write(reinterpret_cast<const char*>(enc.Header()), kHeaderBytes);
    Bytes frame(enc.FrameSize());
    for (int i = 0; i < 10; ++i) {
        size_t n = 0;
        const uint8_t* rec;
        if (i % 3 == 2) {
            rec = enc.EncodeDropped(&n);
        } else {
            for (size_t k = 0; k < frame.size(); ++k) frame[k] = uint8_t(k + i * 40);
            rec = enc.EncodeFrame(frame.data(), &n);
        }
        f.write(reinterpret_cast<const char*>(rec), std::streamsize(n));
    }
    f.close();
    const std::string avi = dir.File("dropped.avi");
    ASSERT_EQ(Tqk({"avi", movie, avi}).code, 0);
    EXPECT_EQ(Probe(avi, "v:0", "nb_read_frames"), "nb_read_frames=10\n");
    const std::string decoded = Decode(avi, "-f rawvideo -pix_fmt bgr24");
    EXPECT_TRUE(decoded == Tqk({"raw", movie}).out);
    const size_t fb = 32 * 16 * 3;
    ASSERT_EQ(decoded.size(), 10 * fb);
    EXPECT_EQ(decoded.substr(2 * fb, fb), decoded.substr(1 * fb, fb)) << "a dropped slot repeats";
}

TEST(TqkAvi, SoundStreamHoldsEverySampleOfTheWave) {
    TempDir dir;
    const std::string movie = dir.File("m.TQK");
    const std::string wav = dir.File("音声.wav");
    ASSERT_EQ(
        Tqk({"sample", movie, "--bits", "24", "--size", "64x48", "--fps", "10", "--sec", "3"}).code,
        0);
    struct Case {
        const char* rate;
        const char* channels;
        const char* bits;
        const char* seconds;
        const char* segment;
        const char* codec;
        const char* raw;
    } cases[] = {
        {"22050", "2", "16", "2.5", "0", "pcm_s16le", "s16le"},
        {"44100", "1", "16", "1.00001", "70000", "pcm_s16le", "s16le"},
        {"11025", "1", "8", "3", "50000", "pcm_u8", "u8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, " << c.bits
                                        << " bits, segment " << c.segment);
        ASSERT_EQ(Shell(std::string("sox -n -r ") + c.rate + " -c " + c.channels + " -b " + c.bits +
                        " " + Q(wav) + " synth " + c.seconds + " sine 440 vol 0.5 2>&1")
                      .code,
                  0);
        const std::string avi = dir.File("with sound.avi");
        std::vector<std::string> args = {"avi", movie, avi, wav};
        if (std::string(c.segment) != "0") args.insert(args.end(), {"--segment", c.segment});
        const ToolRun r = Tqk(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(
            Shell("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Q(avi)).out,
            "video\naudio\n");
        const long samples = std::stol(Shell("soxi -s " + Q(wav)).out);
        EXPECT_EQ(Probe(avi, "a:0", "codec_name,sample_rate,channels,nb_frames"),
                  std::string("codec_name=") + c.codec + "\nsample_rate=" + c.rate +
                      "\nchannels=" + c.channels + "\nnb_frames=" + std::to_string(samples) + "\n");
        // Duration from the packets ffmpeg reads: every sample, at the wave's rate.
        const std::string lastPacket =
            Shell(
                "ffprobe -v error -select_streams a:0 -show_entries packet=pts,duration -of "
                "csv=p=0 " +
                Q(avi) + " | tail -n 1")
                .out;
        const size_t comma = lastPacket.find(',');
        ASSERT_NE(comma, std::string::npos);
        EXPECT_EQ(std::stol(lastPacket) + std::stol(lastPacket.substr(comma + 1)), samples);
        const std::string sound = Decode(avi, std::string("-map 0:a -f ") + c.raw);
        const ShellRun ref = Shell("sox " + Q(wav) + " -t raw -");
        EXPECT_EQ(sound.size(), ref.out.size());
        EXPECT_TRUE(sound == ref.out) << "samples differ from the wave's";
        EXPECT_EQ(Decode(avi, "-map 0:v -f rawvideo -pix_fmt bgr24"), Tqk({"raw", movie}).out);
    }
    // No AVI, no file: adding to a missing AVI fails and creates nothing.
    const std::string missing = dir.File("missing.avi");
    EXPECT_NE(avi::AddWaveToAvi(missing, wav, nullptr), avi::kAviOk);
    EXPECT_FALSE(fs::exists(missing));
}

TEST(TqkAvi, FileCutShortByAFullDiskStillDecodes) {
    TempDir dir;
    const int32_t w = 64, h = 48;
    const size_t n = size_t(avi::DibFrameBytes(w, h, 24));
    for (uint64_t limit : {uint64_t(90000), uint64_t(150000), uint64_t(260000)}) {
        SCOPED_TRACE(limit);
        avitest::MemoryFile file;
        file.limit = limit;
        avi::Writer writer;
        ASSERT_EQ(
            writer.Create(&file,
                          avi::VideoStream(avi::FourCC("DIB "), w, h, 10, 40, "AVIFile",
                                           avi::BitmapFormat(w, h, 24, 0, uint32_t(n), nullptr)),
                          100000),
            avi::Status::kOk);
        Bytes frame(n);
        for (int i = 0; i < 40; ++i) {
            for (size_t k = 0; k < n; ++k) frame[k] = uint8_t(k * 3 + i);
            if (writer.WriteChunk(0, frame.data(), n, true) != avi::Status::kOk) break;
        }
        EXPECT_EQ(writer.Close(), avi::Status::kWriteFailed);
        const std::string path = dir.File("full.avi");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data.data()),
                   std::streamsize(file.data.size()));
        const uint32_t kept = writer.ChunksWritten(0);
        EXPECT_GT(kept, 0u);
        EXPECT_EQ(Probe(path, "v:0", "nb_read_frames"),
                  "nb_read_frames=" + std::to_string(kept) + "\n");
        const std::string decoded = Decode(path, "-f rawvideo -pix_fmt bgr24");
        EXPECT_EQ(decoded.size(), kept * n);
    }
}

TEST(TqkAvi, RefusesWhatItCannotWrite) {
    TempDir dir;
    const std::string avi = dir.File("x.avi");
    ToolRun r = Tqk({"avi", dir.File("missing.TQK"), avi});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("ファイルがありません。"), std::string::npos) << r.err;
    const std::string movie = dir.File("m.TQK");
    ASSERT_EQ(Tqk({"sample", movie, "--size", "16x8", "--fps", "2", "--sec", "1"}).code, 0);
    r = Tqk({"avi", movie, avi, dir.File("missing.wav")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("ファイルのオープン中にディスク エラーが発生しました。"),
              std::string::npos);
    EXPECT_EQ(Tqk({"avi", movie}).code, 1);
    EXPECT_EQ(Tqk({"avi", movie, avi, "--segment", "x"}).code, 1);
}

}  // namespace
}  // namespace tqk::test
