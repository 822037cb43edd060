// The clicks-and-keys choices: their file of their own and their lines in the capture
// information.
#include "input_display.h"

#include <gtest/gtest.h>

#include "capture_info.h"
#include "form2_texts.h"
#include "recorder_paths.h"

namespace tqk::rec {
namespace {

TEST(InputDisplayFile, RoundTripsEveryChoiceAndDefaultsOff) {
    for (bool clicks : {false, true})
        for (bool keys : {false, true}) {
            const InputDisplay d{clicks, keys};
            EXPECT_EQ(ParseInputDisplayFile(InputDisplayFileText(d)), d);
        }
    EXPECT_EQ(InputDisplayFileText({true, false}), "[Show]\r\nClicks=1\r\nKeys=0\r\n");
    EXPECT_EQ(ParseInputDisplayFile(""), InputDisplay{});
    EXPECT_FALSE(InputDisplay{}.Any());
}

TEST(InputDisplayFile, ToleratesEditsAndJunk) {
    EXPECT_EQ(ParseInputDisplayFile("Keys= 1\nClicks=-1"), (InputDisplay{true, true}));
    EXPECT_EQ(ParseInputDisplayFile("[Show]\r\nClicks=yes\r\nKeys=0"), InputDisplay{});
    EXPECT_EQ(ParseInputDisplayFile(std::string("\0\xff\r\n\r\nclicks=1", 14)), InputDisplay{});
    EXPECT_EQ(ParseInputDisplayFile(std::string(100000, 'x') + "\nKeys=1"),
              (InputDisplay{false, true}));
}

TEST(InputDisplayFile, LivesInTheDataFolder) {
    const RecorderPaths p = MakeRecorderPaths("C:\\Program Files\\T", "C:\\Users\\u\\Taviro");
    EXPECT_EQ(p.InputDisplayFile, "C:\\Users\\u\\Taviro\\TVRInput.ini");
}

TEST(InputDisplayInfo, TwoLinesAfterTheMouseLinesTheRestUnchanged) {
    CaptureSettings s = DefaultSettings(true);
    s.DisplayDepth = 32;
    const std::vector<std::string> plain = DrawInfoLines(s, "");
    const std::vector<std::string> with = DrawInfoLines(s, "", InputDisplay{true, false});
    ASSERT_EQ(with.size(), plain.size() + 2);
    EXPECT_EQ(with[13], "マウスに追従 No");
    EXPECT_EQ(with[14], "クリックの表示 Yes");
    EXPECT_EQ(with[15], "キー入力の表示 No");
    for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(with[i < 14 ? i : i + 2], plain[i]) << i;
    EXPECT_NE(DrawInfoText(s, "", InputDisplay{false, true}).find("キー入力の表示 Yes\r\n"),
              std::string::npos);
}

// The boxes' tooltips say what is drawn and that typing is not.
TEST(InputDisplayInfo, TooltipsOfTheTwoBoxes) {
    EXPECT_EQ(Form2TipText(Form2Tip::Check8),
              "マウスのボタンを押した位置に輪を書き込みます。\r\n"
              "左ボタンは赤、右ボタンは青で、約0.5秒で消えます。");
    const std::string keys = Form2TipText(Form2Tip::Check9);
    EXPECT_NE(keys.find("Ctrl+C"), std::string::npos);
    EXPECT_NE(keys.find("パスワードは映りません"), std::string::npos);
}

}  // namespace
}  // namespace tqk::rec
