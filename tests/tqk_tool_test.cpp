#include "frame_seek.h"
#include "tool_test_util.h"
#include "tqk_commands.h"
#include "tqk_stdio.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace tqk::test {
namespace {

using tooltest::TempDir;
using tooltest::ToolRun;
using tooltest::Tqk;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

TEST(TqkTool, SampleInfoVerifyRaw) {
    TempDir dir;
    const std::string movie = dir.File("サンプル.TQK");
    for (const char* bits : {"8", "16", "24", "32"}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(
            Tqk({"sample", movie, "--bits", bits, "--size", "32x8", "--fps", "5", "--sec", "2"})
                .code,
            0);
        const ToolRun info = Tqk({"info", movie});
        ASSERT_EQ(info.code, 0) << info.err;
        EXPECT_NE(info.out.find(std::string("bitco: ") + bits + "\n"), std::string::npos);
        EXPECT_NE(info.out.find("frames: 10\n"), std::string::npos);
        EXPECT_NE(info.out.find("records_present: 10\n"), std::string::npos);
        EXPECT_NE(info.out.find("-video_size 32x8 -framerate 5"), std::string::npos);
        const ToolRun verify = Tqk({"verify", movie});
        EXPECT_EQ(verify.code, 0) << verify.err;
        EXPECT_EQ(verify.out, "ok: 10 frames\n");
        const ToolRun raw = Tqk({"raw", movie});
        ASSERT_EQ(raw.code, 0);
        EXPECT_EQ(raw.out.size(), 10u * 32 * 8 * 3);
    }
}

TEST(TqkTool, SnapWritesTheSnapshotFileThePlayerTakes) {
    TempDir dir;
    const std::string movie = dir.File("スナップ.TQK"), snap = movie + ".snap";
    ASSERT_EQ(
        Tqk({"sample", movie, "--bits", "24", "--size", "16x8", "--fps", "5", "--sec", "6"}).code,
        0);
    const ToolRun run = Tqk({"snap", movie});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("スナップ.TQK.snap: 5 snapshots, one every 5 frames"), std::string::npos)
        << run.out;
    {
        StdioFile m(OpenForReading(movie)), f(OpenForReading(snap));
        ASSERT_TRUE(m.f && f.f);
        StdioRandomSource ms(m.f), fs(f.f);
        FrameSeeker s;
        ASSERT_EQ(s.Open(&ms), kOk);
        ASSERT_EQ(s.UseSnapshotFile(&fs), kOk);
        EXPECT_TRUE(s.Prepared());
        EXPECT_EQ(s.FileSnapshotCount(), 5u);
    }
    // Not a movie, no movie, a file that cannot be made: a message and code 1, no file.
    const std::string junk = dir.File("junk.TQK");
    WriteAll(junk, Bytes(100, 7));
    for (const std::string& bad : {junk, dir.File("none.TQK")}) {
        const ToolRun r = Tqk({"snap", bad});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err.rfind("tqk: " + bad + ": ", 0), 0u) << r.err;
        EXPECT_FALSE(fs::exists(fs::u8path(bad + ".snap")));
    }
    fs::remove(fs::u8path(snap));
    fs::create_directory(fs::u8path(snap + ".tmp~"));  // as a read-only folder would refuse it
    const ToolRun refused = Tqk({"snap", movie});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find(".snap: cannot write (error "), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(fs::u8path(snap)));
    EXPECT_EQ(Tqk({"snap"}).code, 2);  // the usage
}

TEST(TqkTool, RawConvertsEveryDepthToTopDownBgr) {
    MovieHeader h;
    h.W = 4;
    h.H = 2;
    h.Method = 1;
    // Pixel (0, 0) is on the bottom row of a device-independent frame.
    {
        h.BitCo = 16;
        Bytes frame(16, 0);
        frame[8] = 0x1F;
        frame[9] = 0x7C;  // top-left: 5-5-5 red 31, blue 31
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[0], 255);
        EXPECT_EQ(out[1], 0);
        EXPECT_EQ(out[2], 255);
    }
    {
        h.BitCo = 16;
        h.Method = 0;  // device-dependent: rows top-down, 5-6-5 by default
        Bytes frame(16, 0);
        frame[0] = 0xE0;
        frame[1] = 0x07;  // green 63
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[1], 255);
        FrameToBgr24(h, frame.data(), true, out.data());  // 5-5-5: green 31, red 1
        EXPECT_EQ(out[1], 255);
        EXPECT_EQ(out[2], 8);
        h.Method = 1;
    }
    {
        h.BitCo = 8;
        Bytes frame(8 + 1024, 0);
        frame[4] = 3;  // top-left uses colour 3
        frame[8 + 12] = 10;
        frame[8 + 13] = 20;
        frame[8 + 14] = 30;
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[0], 10);
        EXPECT_EQ(out[1], 20);
        EXPECT_EQ(out[2], 30);
    }
    {
        h.BitCo = 32;
        Bytes frame(32);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i);
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[0], 16);
        EXPECT_EQ(out[1], 17);
        EXPECT_EQ(out[2], 18);
        EXPECT_EQ(out[3], 20);
    }
}

TEST(TqkTool, BadFilesGiveTheirMessages) {
    TempDir dir;
    const std::string movie = dir.File("m.TQK");
    ASSERT_EQ(Tqk({"sample", movie, "--size", "16x4", "--fps", "2", "--sec", "2"}).code, 0);
    Bytes good = ReadAll(movie);

    ToolRun r = Tqk({"info", dir.File("missing.TQK")});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("ファイルがありません。"), std::string::npos);

    WriteAll(movie, {});
    r = Tqk({"info", movie});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("サイズが0です。"), std::string::npos);

    Bytes bad = good;
    bad[12] = 12;  // BitCo 12
    WriteAll(movie, bad);
    r = Tqk({"info", movie});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("対応していないバージョン"), std::string::npos);

    // Third record's tag damaged: verify names record 2; raw stops after two frames.
    bad = good;
    size_t at = 32;
    for (int i = 0; i < 2; ++i) at += 8 + LoadLE32(&bad[at + 4]);
    bad[at] = 'X';
    WriteAll(movie, bad);
    r = Tqk({"verify", movie});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("record 2: フレームヘッダが見つかりません。"), std::string::npos);
    r = Tqk({"raw", movie});
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.out.size(), 2u * 16 * 4 * 3);

    // A run beyond the frame in the last record.
    bad = good;
    at = 32;
    for (int i = 0; i < 3; ++i) at += 8 + LoadLE32(&bad[at + 4]);
    StoreLE32(&bad[at + 8], 0x7FFFFFFF);
    WriteAll(movie, bad);
    r = Tqk({"verify", movie});
    EXPECT_NE(r.err.find("record 3: 不正なフレームサイズです。"), std::string::npos);

    EXPECT_EQ(Tqk({"bogus"}).code, 2);
    EXPECT_EQ(Tqk({}).code, 0);
}

// A movie whose recorder was killed: the header promises 5 seconds, 7 records at 2 fps are
// present and the file ends inside the 8th (or the mapped writer's zeros follow). verify
// says how much it holds, raw and avi give its 3 whole seconds, repair makes it whole.
TEST(TqkTool, CutShortMoviesPlayTheirWholeSecondsAndRepair) {
    TempDir dir;
    const std::string full = dir.File("full.TQK");
    ASSERT_EQ(Tqk({"sample", full, "--size", "16x4", "--fps", "2", "--sec", "5"}).code, 0);
    const Bytes good = ReadAll(full);
    size_t at = 32;
    std::vector<size_t> ends;
    for (int i = 0; i < 10; ++i) ends.push_back(at += 8 + LoadLE32(&good[at + 4]));
    const ToolRun fullRaw = Tqk({"raw", full});
    const size_t frameBytes = 16 * 4 * 3;
    struct Case {
        const char* name;
        Bytes file;
    };
    Bytes killed(good.begin(), good.begin() + ends[6] + 10);
    Bytes reserved(good.begin(), good.begin() + ends[6]);
    reserved.resize(reserved.size() + 20000, 0);
    for (const Case& c : {Case{"file ends", killed}, Case{"zero reserve", reserved}}) {
        SCOPED_TRACE(c.name);
        const std::string movie = dir.File("cut.TQK");
        WriteAll(movie, c.file);
        ToolRun r = Tqk({"verify", movie});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out,
                  "cut short: 7 of 10 records, 3 of 5 seconds; plays 6 frames (tqk repair "
                  "fixes the header)\n");
        r = Tqk({"raw", movie});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, fullRaw.out.substr(0, 6 * frameBytes));
        r = Tqk({"avi", movie, dir.File("cut.avi")});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(": 6 frames"), std::string::npos) << r.out;

        r = Tqk({"repair", movie});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "repaired: 3 of 5 seconds kept (6 frames), " + std::to_string(ends[5]) +
                             " bytes\n");
        Bytes want(good.begin(), good.begin() + ends[5]);
        StoreLE32(&want[28], 3);
        EXPECT_EQ(ReadAll(movie), want);
        r = Tqk({"verify", movie});
        EXPECT_EQ(r.out, "ok: 6 frames\n");
        r = Tqk({"repair", movie});
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, "nothing to repair: 6 frames\n");
    }
    // Damage is no cut: repair refuses it and changes nothing.
    Bytes damaged = killed;
    damaged[ends[6]] = 'X';
    const std::string movie = dir.File("damaged.TQK");
    WriteAll(movie, damaged);
    ToolRun r = Tqk({"verify", movie});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("record 7: フレームヘッダが見つかりません。"), std::string::npos) << r.err;
    r = Tqk({"repair", movie});
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(ReadAll(movie), damaged);
    // Less than a second: nothing to keep.
    WriteAll(movie, Bytes(good.begin(), good.begin() + ends[0]));
    r = Tqk({"repair", movie});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("holds no whole second"), std::string::npos);
}

// Hand-made movies whose rows would need padding (the recorder never writes them): every
// command refuses them with -3; 32-bit rows of any width are whole and convert exactly.
TEST(TqkTool, PaddedRowWidthsAreRefusedAndOdd32BitWidthsConvert) {
    TempDir dir;
    for (int bits : {8, 16, 24, 32}) {
        for (int w : {1, 2, 3, 5, 6, 7}) {
            for (int method : {0, 1, 2}) {
                if (bits == 8 && method != 1) continue;
                SCOPED_TRACE(testing::Message()
                             << bits << " bits, width " << w << ", method " << method);
                MovieHeader h;
                h.Method = method;
                h.BitCo = bits;
                h.W = w;
                h.H = 300;
                h.fps = 1;
                h.sec = 1;
                const size_t F = size_t(w) * 300 * bits / 8 + (bits == 8 ? 1024 : 0);
                // One record storing the whole frame as literal words (rounded up).
                const uint32_t words = uint32_t((F + 3) / 4);
                Bytes file(32);
                EncodeHeader(h, file.data());
                const uint8_t tag[4] = {'F', 'R', 'A', 'M'};
                file.insert(file.end(), tag, tag + 4);
                Bytes rec(8 + size_t(words) * 4, 0x5A);
                StoreLE32(&rec[0], 0);
                StoreLE32(&rec[4], words);
                Bytes size(4);
                StoreLE32(size.data(), uint32_t(rec.size()));
                file.insert(file.end(), size.begin(), size.end());
                file.insert(file.end(), rec.begin(), rec.end());
                const std::string movie = dir.File("odd.TQK");
                WriteAll(movie, file);
                const bool whole = (w * bits) % 32 == 0;
                for (const char* cmd : {"info", "verify", "raw", "avi", "repair"}) {
                    SCOPED_TRACE(cmd);
                    std::vector<std::string> args = {cmd, movie};
                    if (std::string(cmd) == "avi") args.push_back(dir.File("odd.avi"));
                    const ToolRun r = Tqk(args);
                    if (whole) {
                        EXPECT_EQ(r.code, 0) << r.err;
                    } else {
                        EXPECT_NE(r.code, 0);
                        EXPECT_NE(r.err.find("ファイルが壊れているか"), std::string::npos) << r.err;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace tqk::test
