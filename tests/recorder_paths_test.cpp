#include "recorder_paths.h"

#include <gtest/gtest.h>

namespace tqk::test {
namespace {

using namespace tqk::rec;

TEST(RecorderPaths, FromTheProgramFolder) {
    for (const char* folder : {"C:\\Program Files\\Taviro", "C:\\Program Files\\Taviro\\"}) {
        SCOPED_TRACE(folder);
        const RecorderPaths p = MakeRecorderPaths(folder, folder);
        EXPECT_EQ(p.AppFolder, "C:\\Program Files\\Taviro\\") << "one trailing separator";
        EXPECT_EQ(p.DataFolder, p.AppFolder);
        EXPECT_EQ(p.SoundHelperPath, "C:\\Program Files\\Taviro\\TaviroWave.exe");
        EXPECT_EQ(p.PlayerPath, "C:\\Program Files\\Taviro\\TaviroPlayer.exe");
        EXPECT_EQ(p.HelpPage, "C:\\Program Files\\Taviro\\help/main.htm");
        EXPECT_EQ(p.SettingsFolder, "C:\\Program Files\\Taviro\\settings\\");
        EXPECT_EQ(p.DefaultSettings, "C:\\Program Files\\Taviro\\settings\\default.TQP");
        EXPECT_EQ(p.PositionFile, "C:\\Program Files\\Taviro\\TVRSetting.ini");
        EXPECT_EQ(p.DefaultSettingsFallback, "");
    }
}

TEST(RecorderPaths, PerUserDataFolder) {
    const std::string data = PerUserDataFolder("C:\\users\\ユーザー\\AppData\\Roaming");
    EXPECT_EQ(data, "C:\\users\\ユーザー\\AppData\\Roaming\\Taviro\\");
    const RecorderPaths p = MakeRecorderPaths("C:\\Program Files\\Taviro", data);
    EXPECT_EQ(p.SoundHelperPath, "C:\\Program Files\\Taviro\\TaviroWave.exe");
    EXPECT_EQ(p.HelpPage, "C:\\Program Files\\Taviro\\help/main.htm");
    EXPECT_EQ(p.PositionFile, data + "TVRSetting.ini");
    EXPECT_EQ(p.DefaultSettings, data + "settings\\default.TQP");
    EXPECT_EQ(p.DefaultSettingsFallback, "C:\\Program Files\\Taviro\\settings\\default.TQP");
    EXPECT_EQ(PerUserDataFolder("C:\\x\\"), "C:\\x\\Taviro\\");
}

TEST(PositionFile, WrittenLines) {
    const WindowPositions p{700, -20, 331, 351};
    EXPECT_EQ(PositionFileUtf8(p),
              "//Taviro Setting\r\n"
              "//順番は変更不可です。\r\n"
              "700 //キャプチャウィンドウのX\r\n"
              "-20 //キャプチャウィンドウのY\r\n"
              "331 //AVIウィンドウのX\r\n"
              "351 //AVIウィンドウのY\r\n");
    WindowPositions back;
    EXPECT_TRUE(ParsePositionFile(PositionFileUtf8(p), WindowPositions{}, &back));
    EXPECT_EQ(back, p);
}

TEST(PositionFile, ReadByLeadingNumbers) {
    const WindowPositions d{1, 2, 3, 4};
    struct Case {
        const char* text;
        bool ok;
        WindowPositions want;
    } cases[] = {
        {"", false, d},
        {"a\r\nb\r\n10\r\n20\r\n30\r\n40\r\n", true, {10, 20, 30, 40}},
        {"a\nb\n10\n20\n30\n40", true, {10, 20, 30, 40}},  // LF only, no last end
        {"a\r\nb\r\n10 //x\r\n", true, {10, 2, 3, 4}},     // fewer lines keep defaults
        {"a\r\nb\r\n", true, d},
        {"x", true, d},
        {"a\r\nb\r\n  -5abc\r\n+7\r\n12.6\r\n-0.5\r\n", true, {-5, 7, 13, 0}},
        {"a\r\nb\r\nabc\r\n\r\n.\r\n--1\r\n", true, {0, 0, 0, 0}},  // no number: 0
        {"a\r\nb\r\n99999999999999999\r\n-99999999999\r\n1\r\n1\r\n",
         true,
         {INT32_MAX, INT32_MIN, 1, 1}},
        {"a\r\nb\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n", true, {1, 2, 3, 4}},  // more lines ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WindowPositions got;
        EXPECT_EQ(ParsePositionFile(c.text, d, &got), c.ok);
        EXPECT_EQ(got, c.want);
    }
}

// The file cut after every byte (as a crash or a full disk while another program wrote it
// could leave it): the lines that are whole give their numbers, a cut line its leading digits,
// the lines that are gone keep the defaults. The comments are Shift-JIS bytes, cut anywhere.
TEST(PositionFile, TruncatedAtEveryByte) {
    const std::string lines[6] = {
        "//Taviro Setting",
        "//\x8f\x87\x94\xd4\x82\xcd\x95\xcf\x8d\x58\x95\x73\x89\xc2\x82\xc5\x82\xb7\x81\x42",
        "-1234 //\x83\x4c\x83\x83\x83\x76\x83\x60\x83\x83\x83\x45\x83\x42\x83\x93\x83\x68\x83\x45"
        "\x82\xcc\x58",
        "5678 //Y",
        "90 //AVI\x83\x45\x83\x42\x83\x93\x83\x68\x83\x45\x82\xcc\x58",
        "-7 //AVI",
    };
    std::string file;
    size_t lineStart[6];
    for (int i = 0; i < 6; ++i) {
        lineStart[i] = file.size();
        file += lines[i] + "\r\n";
    }
    const WindowPositions d{11, 22, 33, 44};
    const int32_t full[4] = {-1234, 5678, 90, -7};
    for (size_t n = 0; n <= file.size(); ++n) {
        SCOPED_TRACE(n);
        const std::string cut = file.substr(0, n);
        WindowPositions got;
        EXPECT_EQ(ParsePositionFile(cut, d, &got), n > 0);
        const int32_t fields[4] = {got.RecX, got.RecY, got.AviX, got.AviY};
        const int32_t defaults[4] = {d.RecX, d.RecY, d.AviX, d.AviY};
        for (int f = 0; f < 4; ++f) {
            const size_t start = lineStart[f + 2];
            int32_t want;
            if (n <= start) {
                want = defaults[f];  // the line is gone (or nothing of it is left)
            } else {
                want = LeadingNumber(cut.substr(start));
                // Whole numbers once the line reaches past its digits.
                if (n >= start + lines[f + 2].find(' ')) {
                    EXPECT_EQ(want, full[f]);
                }
            }
            EXPECT_EQ(fields[f], want) << "field " << f;
        }
    }
}

TEST(PositionFile, Defaults) {
    // Work area 1024 x 738 (a task bar below), recording window 400 x 60, AVI window 366 x 95.
    const WindowPositions p = DefaultPositions({0, 0, 1024, 738}, 400, 60, 366, 95);
    EXPECT_EQ(p.RecX, 624);
    EXPECT_EQ(p.RecY, 678);
    EXPECT_EQ(p.AviX, 329);
    EXPECT_EQ(p.AviY, 322);  // 321.5 rounds to the even number
    const WindowPositions q = DefaultPositions({100, 50, 1124, 818}, 400, 60, 366, 95);
    EXPECT_EQ(q.RecX, 724);
    EXPECT_EQ(q.RecY, 758);
}

TEST(PositionFile, PulledOntoTheWorkArea) {
    const ScreenRect work{0, 0, 1024, 738};
    struct Case {
        int32_t x, y, wantX, wantY;
    } cases[] = {
        {10, 20, 10, 20},       {-5000, -7, 0, 0},
        {5000, 9000, 624, 678}, {INT32_MAX, INT32_MIN, 624, 0},
        {624, 678, 624, 678},   {625, 679, 624, 678},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        int32_t x = c.x, y = c.y;
        PullOntoWorkArea(work, 400, 60, &x, &y);
        EXPECT_EQ(x, c.wantX);
        EXPECT_EQ(y, c.wantY);
    }
    int32_t x = 50, y = 50;
    PullOntoWorkArea(work, 2000, 2000, &x, &y);  // larger than the area: its top-left corner
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

}  // namespace
}  // namespace tqk::test
