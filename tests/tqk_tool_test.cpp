#include "tqk_commands.h"
#include "tool_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace tqk {
namespace {

using tooltest::TempDir;
using tooltest::Tqk;
using tooltest::ToolRun;

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
        ASSERT_EQ(Tqk({"sample", movie, "--bits", bits, "--size", "32x8", "--fps", "5",
                       "--sec", "2"}).code, 0);
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

TEST(TqkTool, RawConvertsEveryDepthToTopDownBgr) {
    MovieHeader h;
    h.W = 4; h.H = 2; h.Method = 1;
    // Pixel (0, 0) is on the bottom row of a device-independent frame.
    {
        h.BitCo = 16;
        Bytes frame(16, 0);
        frame[8] = 0x1F; frame[9] = 0x7C;  // top-left: 5-5-5 red 31, blue 31
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[0], 255); EXPECT_EQ(out[1], 0); EXPECT_EQ(out[2], 255);
    }
    {
        h.BitCo = 16; h.Method = 0;  // device-dependent: rows top-down, 5-6-5 by default
        Bytes frame(16, 0);
        frame[0] = 0xE0; frame[1] = 0x07;  // green 63
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[1], 255);
        FrameToBgr24(h, frame.data(), true, out.data());  // 5-5-5: green 31, red 1
        EXPECT_EQ(out[1], 255); EXPECT_EQ(out[2], 8);
        h.Method = 1;
    }
    {
        h.BitCo = 8;
        Bytes frame(8 + 1024, 0);
        frame[4] = 3;  // top-left uses colour 3
        frame[8 + 12] = 10; frame[8 + 13] = 20; frame[8 + 14] = 30;
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[0], 10); EXPECT_EQ(out[1], 20); EXPECT_EQ(out[2], 30);
    }
    {
        h.BitCo = 32;
        Bytes frame(32);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i);
        Bytes out(24);
        FrameToBgr24(h, frame.data(), false, out.data());
        EXPECT_EQ(out[0], 16); EXPECT_EQ(out[1], 17); EXPECT_EQ(out[2], 18); EXPECT_EQ(out[3], 20);
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

    // Truncated in the middle of the last record.
    bad = good;
    bad.resize(bad.size() - 5);
    WriteAll(movie, bad);
    r = Tqk({"verify", movie});
    EXPECT_NE(r.err.find("record 3: 不正なフレームサイズです。"), std::string::npos);

    EXPECT_EQ(Tqk({"bogus"}).code, 2);
    EXPECT_EQ(Tqk({}).code, 0);
}

}  // namespace
}  // namespace tqk
