// The message box's choices (buttons, codes, icon, default) and its layout arithmetic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "icon_sheet.h"
#include "msgbox_model.h"

namespace tqk::test {
namespace {

using namespace msgbox;

TEST(MsgBoxModel, ButtonSetsIconsAndDefaults) {
    struct Case {
        int32_t buttons;
        std::vector<std::string> captions;
        std::vector<int32_t> codes;
        IconKind icon;
        int defaultButton, cancelButton;
    };
    const Case cases[] = {
        {0, {"OK"}, {1}, kNoIcon, 0, -1},
        {1, {"OK", "キャンセル"}, {1, 2}, kNoIcon, 0, 1},
        {2, {"中止", "再試行", "無視"}, {3, 4, 5}, kNoIcon, 0, 1},
        {3, {"はい(&Y)", "いいえ(&N)", "キャンセル"}, {6, 7, 2}, kNoIcon, 0, 1},
        {4, {"はい", "いいえ"}, {6, 7}, kNoIcon, 0, 1},
        {5, {"再試行", "キャンセル"}, {4, 2}, kNoIcon, 0, 1},
        {6, {"OK"}, {1}, kNoIcon, 0, -1},  // an unknown set
        {36, {"はい", "いいえ"}, {6, 7}, kQuestion, 0, 1},
        {16, {"OK"}, {1}, kError, 0, -1},
        {48 + 256 + 1, {"OK", "キャンセル"}, {1, 2}, kWarning, 1, 1},
        {64 + 512 + 2, {"中止", "再試行", "無視"}, {3, 4, 5}, kInformation, 2, 1},
        {80, {"OK"}, {1}, kNoIcon, 0, -1},                     // 80: not an icon
        {768 + 4, {"はい", "いいえ"}, {6, 7}, kNoIcon, 0, 1},  // beyond the last: the first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buttons);
        const Choice ch = Describe(c.buttons);
        EXPECT_EQ(ch.buttons.captions, c.captions);
        EXPECT_EQ(ch.buttons.codes, c.codes);
        EXPECT_EQ(ch.icon, c.icon);
        EXPECT_EQ(ch.defaultButton, c.defaultButton);
        EXPECT_EQ(ch.cancelButton, c.cancelButton);
    }
}

TEST(MsgBoxModel, LayoutAt96Dpi) {
    LayoutInput in;
    in.promptWidth = 30;
    in.buttonCount = 1;
    in.buttonWidth = 75;
    Layout l = Arrange(in, 10);
    EXPECT_EQ(l.text.left, 20);
    EXPECT_EQ(l.text.top, 12);
    EXPECT_EQ(l.clientWidth, 112);  // at least 112
    EXPECT_EQ(l.clientHeight, 69);  // at least 69
    ASSERT_EQ(l.buttons.size(), 1u);
    EXPECT_EQ(l.buttons[0].top, 69 - 17 - 19);
    EXPECT_EQ(l.buttons[0].Height(), 19);
    EXPECT_EQ(l.buttons[0].left, (112 - 75) / 2);

    // With an icon: the text moves right and down, the bottom is at least 40.
    in.hasIcon = true;
    l = Arrange(in, 12);
    EXPECT_EQ(l.text.left, 68);
    EXPECT_EQ(l.text.top, 18);
    EXPECT_EQ(l.clientHeight, std::max(69, 40 + 52));
    EXPECT_EQ(l.icon.Width(), 48);

    // Three buttons wider than the box widen it to their total + 30, centred.
    in.hasIcon = false;
    in.buttonCount = 3;
    l = Arrange(in, 12);
    const int total = 3 * 75 + 2 * 10;
    EXPECT_EQ(l.clientWidth, total + 30);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(l.buttons[i].left, 15 + i * total / 3);

    // A tall prompt: height = bottom - 5 + 52.
    in.buttonCount = 1;
    l = Arrange(in, 200);
    EXPECT_EQ(l.clientHeight, 12 + 200 - 5 + 52);
}

TEST(MsgBoxModel, WideProminentPromptWrapsWithinSixtyPercent) {
    LayoutInput in;
    in.screenWidth = 1024;
    in.promptWidth = 5000;
    const Rect area = TextArea(in);
    EXPECT_EQ(area.Width(), 614);  // 60 % of 1024
    const Layout l = Arrange(in, 100);
    EXPECT_EQ(l.clientWidth, 20 + 614 + 15);
    EXPECT_LE(l.clientWidth, 1024);
}

TEST(MsgBoxModel, ScalesWithDpi) {
    LayoutInput in;
    in.scale = DpiScale(144);
    in.hasIcon = true;
    in.promptWidth = 10;
    in.buttonWidth = in.scale.Px(75);
    const Layout l = Arrange(in, 18);
    EXPECT_EQ(l.text.left, 102);
    EXPECT_EQ(l.text.top, 27);
    EXPECT_EQ(l.clientWidth, 168);  // 112 at 96 DPI
    EXPECT_EQ(l.clientHeight, in.scale.Px(40) + in.scale.Px(52));
    EXPECT_EQ(l.buttons[0].Height(), 29);
    EXPECT_EQ(l.icon.Width(), 72);
}

TEST(MsgBoxModel, HopGoesUpAndBack) {
    const DpiScale s96;
    const int expected[] = {0, -5, -8, -8, -5, 0};
    for (int f = 1; f <= 6; ++f) EXPECT_EQ(HopOffset(f, s96), expected[f - 1]) << f;
    EXPECT_EQ(HopOffset(7, s96), 0);
    EXPECT_EQ(HopOffset(3, DpiScale(192)), -15);
}

// The sprite sheet: every frame of every kind drawn, masks covering exactly the images.
TEST(IconSheet, FramesAndMasks) {
    const uint32_t face = 0xF0F0F0;
    const IconSheet s = DrawIconSheet(32, face);
    ASSERT_EQ(s.width, 32 * 6);
    ASSERT_EQ(s.height, 32 * 8);
    for (int kind = 1; kind <= 4; ++kind) {
        for (int frame = 1; frame <= 6; ++frame) {
            SCOPED_TRACE(kind * 10 + frame);
            int covered = 0, mismatched = 0, white = 0;
            for (int y = 0; y < 32; ++y) {
                for (int x = 0; x < 32; ++x) {
                    const uint32_t image = s.At((frame - 1) * 32 + x, (kind - 1) * 32 + y);
                    const uint32_t mask = s.At((frame - 1) * 32 + x, (kind + 3) * 32 + y);
                    EXPECT_TRUE(mask == 0 || mask == 0xFFFFFF);
                    if (mask == 0) ++covered;
                    if (mask != 0 && image != 0) ++mismatched;  // image only where masked
                    if (image == 0xFFFFFF) ++white;
                }
            }
            EXPECT_EQ(mismatched, 0);
            EXPECT_GT(covered, 100);  // the smallest frame still shows a sign
            if (frame == 6) {
                EXPECT_GT(covered, 32 * 32 / 3);
                if (kind != 3) {
                    EXPECT_GT(white, 20);  // the white glyph
                }
            }
        }
    }
    // The final frames differ from kind to kind.
    for (int a = 1; a <= 4; ++a)
        for (int b = a + 1; b <= 4; ++b) {
            int differ = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x)
                    differ +=
                        s.At(5 * 32 + x, (a - 1) * 32 + y) != s.At(5 * 32 + x, (b - 1) * 32 + y);
            EXPECT_GT(differ, 100) << a << " " << b;
        }
}

}  // namespace
}  // namespace tqk::test
