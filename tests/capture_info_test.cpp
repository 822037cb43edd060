#include "capture_info.h"

#include <gtest/gtest.h>

namespace tqk::test {
namespace {

using namespace tqk::rec;

TEST(DrawInfo, DefaultRecordOnA32BitDisplay) {
    CaptureSettings s = DefaultSettings(true);
    s.DisplayDepth = 32;
    const std::vector<std::string> want = {
        "作成AVI xxx",
        "未圧縮",
        "AVI色深度 32bit",
        "",
        "キャプチャ領域 (0,0 - 320,240)",
        "",
        "キャプチャ頻度 30fps.",
        "キャプチャ時間 20秒",
        "",
        "キャプチャ方法 Type1",
        "CPU解放 回数 1 時間 1",
        "キャプチャ解像度 32bit",
        "マウスの書きこみ Yes",
        "マウスに追従 No",
        "",
        "サウンドキャプチャNo",
        "",
        "",
        "",
        "TQKは作成後も削除しない",
        "非同期書き込み する",
    };
    EXPECT_EQ(DrawInfoLines(s, ""), want);
    std::string joined;
    for (size_t i = 0; i < want.size(); ++i) joined += (i ? "\r\n" : "") + want[i];
    EXPECT_EQ(DrawInfoText(s, ""), joined);
}

TEST(DrawInfo, EveryChoiceShown) {
    CaptureSettings s = DefaultSettings(false);
    s.X = -10;
    s.Y = 5;
    s.W = 100;
    s.H = 50;
    s.Fps = 15;
    s.Sec = 90;
    s.Method = 2;
    s.CpuReleaseCount = 2;
    s.CpuReleaseTime = 0;
    s.DisplayDepth = 16;
    s.AviPath = "C:\\録画\\映像.avi";
    s.CompressorChosen = true;
    s.Avi24 = true;
    s.DrawMouse = false;
    s.FollowMouse = true;
    s.WavePath = "C:\\録画\\映像.wav";
    s.SamplesPerSec = 11025;
    s.Channels = 1;
    s.BitsPerSample = 8;
    s.DeleteWave = true;
    s.KeepTqk = false;
    const std::vector<std::string> l = DrawInfoLines(s, "Cinepak Codec");
    ASSERT_EQ(l.size(), 21u);
    EXPECT_EQ(l[0], "作成AVI 映像.avi");
    EXPECT_EQ(l[1], "Cinepak Codec");
    EXPECT_EQ(l[2], "AVI色深度 24bit");
    EXPECT_EQ(l[4], "キャプチャ領域 (-10,5 - 90,55)");
    EXPECT_EQ(l[6], "キャプチャ頻度 15fps.");
    EXPECT_EQ(l[7], "キャプチャ時間 90秒");
    EXPECT_EQ(l[9], "キャプチャ方法 Type2");
    EXPECT_EQ(l[10], "CPU解放 回数 2 時間 0");
    EXPECT_EQ(l[11], "キャプチャ解像度 16bit");
    EXPECT_EQ(l[12], "マウスの書きこみ No");
    EXPECT_EQ(l[13], "マウスに追従 Yes");
    EXPECT_EQ(l[15], "サウンドキャプチャYes");
    EXPECT_EQ(l[16], "11.025KHz モノラル 8ビット");
    EXPECT_EQ(l[17], "");
    EXPECT_EQ(l[18], "Waveは作成後に削除する");
    EXPECT_EQ(l[19], "TQKは作成後に削除する");
    EXPECT_EQ(l[20], "非同期書き込み しない");

    s.AviPath.clear();
    s.SamplesPerSec = 44100;
    s.Channels = 2;
    s.BitsPerSample = 16;
    s.DeleteWave = false;
    s.X = 2147483600;
    const std::vector<std::string> m = DrawInfoLines(s, "Cinepak Codec");
    EXPECT_EQ(m[0], "---AVIは作成しません---");
    EXPECT_EQ(m[1], "");
    EXPECT_EQ(m[2], "");
    EXPECT_EQ(m[4], "キャプチャ領域 (2147483600,5 - 2147483700,55)") << "no wrap-around";
    EXPECT_EQ(m[16], "44.100KHz ステレオ 16ビット");
    EXPECT_EQ(m[18], "Waveは作成後も削除しない");
    // Compressor not chosen: "未圧縮" whatever the name.
    s.AviPath = "a.avi";
    s.CompressorChosen = false;
    s.Avi24 = false;
    const std::vector<std::string> n = DrawInfoLines(s, "Cinepak Codec");
    EXPECT_EQ(n[1], "未圧縮");
    EXPECT_EQ(n[2], "AVI色深度 16bit");
}

TEST(ReCalc, Estimates) {
    struct Case {
        int32_t depth, w, h, fps, sec;
        bool avi, avi24, sound;
        double total;
        const char* text;
    } cases[] = {
        // 20 x 153 600 x 30.
        {16, 320, 240, 30, 20, false, false, false, 92160000, "92,160,000 Bytes."},
        // The AVI at the display depth, then at 24 bits.
        {16, 320, 240, 30, 20, true, false, false, 184320000, "184,320,000 Bytes."},
        {16, 320, 240, 30, 20, true, true, false, 92160000 + 138240000, "230,400,000 Bytes."},
        // Sound: 44100 x 2 x 2 = 176 400 bytes a second.
        {32, 4, 1, 1, 1, false, false, true, 16 + 176400, "176,416 Bytes."},
        {32, 1024, 768, 100, 3600, true, false, true, 2.0 * 3600 * 3145728 * 100 + 3600.0 * 176400,
         "2,265,559,200,000 Bytes."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CaptureSettings s = DefaultSettings(true);
        s.DisplayDepth = c.depth;
        s.W = c.w;
        s.H = c.h;
        s.Fps = c.fps;
        s.Sec = c.sec;
        s.AviPath = c.avi ? "m.avi" : "";
        s.Avi24 = c.avi24;
        if (c.sound) {
            s.WavePath = "m.wav";
            s.SamplesPerSec = 44100;
            s.Channels = 2;
            s.BitsPerSample = 16;
        }
        EXPECT_DOUBLE_EQ(DiskEstimateBytes(s), c.total);
        EXPECT_EQ(EstimateText(DiskEstimateBytes(s)), c.text);
    }
}

TEST(ReCalc, LimitAndColour) {
    const double tenGB = 10e9;
    struct Case {
        const char* fs;
        double free;
        bool nt, async;
        double memory, total;
        bool red;
    } cases[] = {
        {"FAT32", tenGB, true, true, 0, 4200000000.0, true},  // past 4 GiB less 100 MiB
        {"FAT32", tenGB, true, true, 0, 4190000000.0, false},
        {"NTFS", tenGB, true, true, 0, 4200000000.0, false},
        {"NTFS", tenGB, true, true, 0, tenGB - 104857600.0, false},  // exactly fits
        {"NTFS", tenGB, true, true, 0, tenGB - 104857599.0, true},
        {"FAT32", 1e9, true, true, 0, 900e6, true},  // under 4 GiB free: the free space counts
        {"FAT32", 1e9, true, true, 0, 800e6, false},
        {"FAT32", tenGB, false, true, 256e6, 200e6, true},    // Windows 98 line, asynchronous
        {"FAT32", tenGB, false, false, 256e6, 200e6, false},  // synchronous: the disk counts
        {"NTFS", 0, true, true, 0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fs << " " << c.free << " " << c.total);
        VolumeFacts v;
        v.FileSystem = c.fs;
        v.FreeBytes = uint64_t(c.free);
        v.NtFamily = c.nt;
        v.TotalPhysicalMemory = uint64_t(c.memory);
        EXPECT_EQ(EstimateIsRed(c.total, DiskLimit(v, c.async)), c.red);
    }
}

TEST(ReCalc, GroupedNumbers) {
    const struct {
        double v;
        const char* s;
    } cases[] = {{0, "0"},
                 {1, "1"},
                 {999, "999"},
                 {1000, "1,000"},
                 {123456, "123,456"},
                 {1234567, "1,234,567"},
                 {-1234, "-1,234"}};
    for (const auto& c : cases) EXPECT_EQ(GroupedNumber(c.v), c.s);
}

TEST(ReCalc, VolumeRoots) {
    const struct {
        const char* path;
        const char* root;
    } cases[] = {
        {"C:\\a\\m.TQK", "C:\\"},
        {"d:m.TQK", "d:\\"},
        {"\\\\server\\share\\dir\\m.TQK", "\\\\server\\share\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"//server/share/m.TQK", "\\\\server\\share\\"},
        {"\\\\server", ""},
        {"\\\\\\share", ""},
        {"m.TQK", ""},
        {"\\m.TQK", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(VolumeRootOf(c.path), c.root) << c.path;
}

}  // namespace
}  // namespace tqk::test
