// Keeping a part of a recording: the span arithmetic at every rate, and `tqk cut` and
// `tqk avi --from/--to` checked by ffmpeg and sox, frame for frame and sample for sample,
// on whole and cut-short movies. Linux only (the clients are Linux programs).
#include "movie_cut.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(SpanArithmetic, FrameAndSampleBoundariesAtEveryRate) {
    for (const int32_t fps : {1, 7, 10, 15, 24, 25, 29, 30, 60}) {
        for (const uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
            SCOPED_TRACE(testing::Message() << fps << " fps, " << rate << " Hz");
            // Whole seconds fall on whole samples; frames in between round to the nearest
            // sample, and consecutive spans share their boundaries (no sample lost or doubled).
            EXPECT_EQ(SampleAtFrame(int64_t(fps) * 7, rate, fps), uint64_t(rate) * 7);
            uint64_t last = 0;
            for (int64_t f = 0; f <= 3 * fps; ++f) {
                const uint64_t s = SampleAtFrame(f, rate, fps);
                const double exact = double(f) * rate / fps;
                EXPECT_LE(std::abs(double(s) - exact), 0.5) << f;
                EXPECT_GE(s, last);
                last = s;
            }
            EXPECT_EQ(SampleAtFrame(-3, rate, fps), 0u);
        }
        EXPECT_EQ(FrameAtSeconds(0, fps), 0);
        EXPECT_EQ(FrameAtSeconds(2, fps), 2 * fps);
        EXPECT_EQ(FrameAtSeconds(0.5 / fps, fps), 1);  // halves go up
        EXPECT_EQ(FrameAtSeconds(0.49 / fps, fps), 0);
        EXPECT_EQ(FrameAtSeconds(100.0 + 1.51 / fps, fps), 100 * fps + 2);
    }
    EXPECT_EQ(SampleAtFrame(1, 44100, 30), 1470u);
    EXPECT_EQ(SampleAtFrame(1, 11025, 30), 368u);                      // 367.5 rounds up
    EXPECT_EQ(SampleAtFrame(int64_t(108000), 48000, 30), 172800000u);  // an hour
}

struct Made {
    std::string movie, wave;
};

// A movie of the sample pattern and a WAV beside it of a sine at `rate`, as long as the movie.
Made MakeMovie(TempDir& dir, const std::string& bits, int fps, int sec, uint32_t rate) {
    Made m{dir.File("源.TQK"), dir.File("源.wav")};
    EXPECT_EQ(Tqk({"sample", m.movie, "--bits", bits, "--size", "64x48", "--fps",
                   std::to_string(fps), "--sec", std::to_string(sec)})
                  .code,
              0);
    EXPECT_EQ(Shell("sox -n -r " + std::to_string(rate) + " -c 2 -b 16 " + Q(m.wave) + " synth " +
                    std::to_string(sec) + " sine 300-900")
                  .code,
              0);
    return m;
}

// Frames as ffmpeg decodes them (bgr24 rows), one string per frame.
std::vector<std::string> Frames(const std::string& file) {
    const std::string all = Decode(file, "-f rawvideo -pix_fmt bgr24");
    std::vector<std::string> out;
    const size_t frame = 64 * 48 * 3;
    for (size_t at = 0; at + frame <= all.size(); at += frame) out.push_back(all.substr(at, frame));
    return out;
}

std::string Samples(const std::string& file) { return Shell("sox " + Q(file) + " -t raw -").out; }

// The movie's frames as the tool unpacks them (bgr24 rows).
std::vector<std::string> MovieFrames(const std::string& movie) {
    const ToolRun r = Tqk({"raw", movie});
    EXPECT_EQ(r.code, 0) << r.err;
    std::vector<std::string> out;
    const size_t frame = 64 * 48 * 3;
    for (size_t at = 0; at + frame <= r.out.size(); at += frame)
        out.push_back(r.out.substr(at, frame));
    return out;
}

TEST(TqkCut, WholeSecondsFramesAndSamplesExactAtEveryDepth) {
    for (const char* bits : {"8", "16", "24", "32"}) {
        SCOPED_TRACE(bits);
        TempDir dir;
        const Made m = MakeMovie(dir, bits, 15, 6, 22050);
        const std::string out = dir.File("部分.TQK");
        const ToolRun r = Tqk({"cut", m.movie, out, "--from", "2", "--to", "5"});
        ASSERT_EQ(r.code, 0) << r.err;
        const auto source = MovieFrames(m.movie);
        const auto kept = MovieFrames(out);
        ASSERT_EQ(source.size(), 90u);
        ASSERT_EQ(kept.size(), 45u);
        for (size_t i = 0; i < kept.size(); ++i) EXPECT_TRUE(kept[i] == source[30 + i]) << i;
        // The WAV beside: exactly seconds 2 to 5.
        const std::string all = Samples(m.wave), part = Samples(dir.File("部分.wav"));
        ASSERT_EQ(part.size(), size_t(3 * 22050 * 4));
        EXPECT_TRUE(part == all.substr(2 * 22050 * 4, part.size()));
        // And ffmpeg reads the kept movie's frames through the tool's AVI.
        ASSERT_EQ(Tqk({"avi", out, dir.File("k.avi")}).code, 0);
        EXPECT_EQ(Frames(dir.File("k.avi")).size(), 45u);
    }
}

TEST(TqkCut, RefusesPartsOfSecondsAndSpansOutsideTheMovie) {
    TempDir dir;
    const Made m = MakeMovie(dir, "24", 10, 4, 8000);
    const std::string out = dir.File("o.TQK");
    struct Case {
        const char *from, *to, *says;
    } cases[] = {
        {"1.5", "3", "whole seconds"}, {"1", "2.25", "whole seconds"}, {"3", "5", "not inside"},
        {"-1", "2", "not inside"},     {"3", "3", "not inside"},       {"3", "1", "not inside"},
        {"x", "2", "not a time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " to " << c.to);
        const ToolRun r = Tqk({"cut", m.movie, out, "--from", c.from, "--to", c.to});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    EXPECT_NE(Tqk({"cut", m.movie, out, "--from", "1"}).err.find("usage"), std::string::npos);
}

TEST(TqkCut, AMovieCutShortByACrash) {
    TempDir dir;
    const Made m = MakeMovie(dir, "32", 10, 5, 8000);
    const auto source = MovieFrames(m.movie);
    // The recorder died inside the 34th record: the header still promises 5 seconds.
    ASSERT_EQ(
        Shell("truncate -s $(( $(stat -c %s " + Q(m.movie) + ") * 33 / 50 + 20 )) " + Q(m.movie))
            .code,
        0);
    const std::string out = dir.File("o.TQK");
    EXPECT_NE(Tqk({"cut", m.movie, out, "--from", "2", "--to", "4"}).err.find("not inside"),
              std::string::npos);
    const ToolRun r = Tqk({"cut", m.movie, out, "--from", "1", "--to", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto kept = MovieFrames(out);
    ASSERT_EQ(kept.size(), 20u);
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_TRUE(kept[i] == source[10 + i]) << i;
    EXPECT_EQ(Samples(dir.File("o.wav")).size(), size_t(2 * 8000 * 4));
}

TEST(TqkAviSpan, AnyTimesFramesAndSoundExactWithEveryCodec) {
    struct Case {
        const char *bits, *codec, *from, *to;
        int fps;
        uint32_t rate;
    } cases[] = {
        {"24", "raw", "1.25", "3.3", 15, 44100}, {"32", "zmbv", "0.05", "2", 30, 48000},
        {"16", "raw", "0", "0.5", 24, 11025},    {"8", "zmbv", "2.9", "4", 10, 22050},
        {"24", "zmbv", "3.97", "4", 25, 8000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits " << c.codec << " " << c.from << "-"
                                        << c.to << " at " << c.fps);
        TempDir dir;
        const Made m = MakeMovie(dir, c.bits, c.fps, 4, c.rate);
        const std::string avi = dir.File("部分.avi");
        const ToolRun r =
            Tqk({"avi", m.movie, avi, m.wave, "--codec", c.codec, "--from", c.from, "--to", c.to});
        ASSERT_EQ(r.code, 0) << r.err;
        const int64_t first = FrameAtSeconds(std::stod(c.from), c.fps);
        const int64_t end = FrameAtSeconds(std::stod(c.to), c.fps);
        const auto source = MovieFrames(m.movie);
        const auto got = Frames(avi);
        ASSERT_EQ(int64_t(got.size()), end - first);
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_TRUE(got[i] == source[size_t(first) + i]) << i;
        const std::string all = Samples(m.wave);
        const std::string sound =
            Shell("ffmpeg -v error -i " + Q(avi) + " -map 0:a -f s16le -").out;
        const size_t a = size_t(SampleAtFrame(first, c.rate, c.fps)) * 4;
        const size_t z = size_t(SampleAtFrame(end, c.rate, c.fps)) * 4;
        ASSERT_EQ(sound.size(), z - a);
        EXPECT_TRUE(sound == all.substr(a, z - a));
    }
    TempDir dir;
    const Made m = MakeMovie(dir, "24", 10, 2, 8000);
    const ToolRun outside = Tqk({"avi", m.movie, dir.File("o.avi"), "--from", "1", "--to", "2.5"});
    EXPECT_EQ(outside.code, 1);
    EXPECT_NE(outside.err.find("not inside"), std::string::npos) << outside.err;
    EXPECT_NE(Tqk({"avi", m.movie, dir.File("o.avi"), "--to", "1"}).err.find("both"),
              std::string::npos);
}

}  // namespace
}  // namespace tqk::test
