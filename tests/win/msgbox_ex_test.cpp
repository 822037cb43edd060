// MsgBoxEx driven from another process, as a screen reader or a user would meet it: its
// prompt, captions and codes read back through the window driver, keys pressed on it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window_driver.h"

namespace tqk::test {
namespace {

constexpr int kPicture2 = 100;

class Box {
public:
    Box(int32_t buttons, const std::wstring& prompt, const std::wstring& extra = L"",
        const std::wstring& title = L"テスト") {
        started_ =
            probe_.Start(WindowsPathOf(MSGBOX_PROBE), std::to_wstring(buttons) + L" 0 " + extra,
                         {{L"MSGBOX_PROMPT", prompt}, {L"MSGBOX_TITLE", title}});
        if (started_) info_ = WaitForMessageBox(probe_.Id(), 10000);
    }
    bool Shown() const { return started_ && info_.has_value(); }
    const MessageBoxInfo& Info() const { return *info_; }
    HWND Button(int code) const { return GetDlgItem(info_->window, code); }
    HWND Focused() const { return FocusedWindow(info_->window); }
    // The exit code of the probe: the code the box returned.
    int Result(DWORD timeoutMs = 10000) {
        const auto code = probe_.WaitExit(timeoutMs);
        return code ? int(*code) : -1;
    }
    bool StillOpen() const { return IsWindow(info_->window) && IsWindowVisible(info_->window); }

private:
    ChildProcess probe_;
    bool started_ = false;
    std::optional<MessageBoxInfo> info_;
};

TEST(MsgBoxEx, EveryButtonSetsCaptionsAndCodes) {
    struct Case {
        int32_t buttons;
        std::vector<std::wstring> captions;
        std::vector<int> codes;
        int press;
    };
    const Case cases[] = {
        {0, {L"OK"}, {1}, 1},
        {1, {L"OK", L"キャンセル"}, {1, 2}, 2},
        {2, {L"中止", L"再試行", L"無視"}, {3, 4, 5}, 5},
        {3, {L"はい(&Y)", L"いいえ(&N)", L"キャンセル"}, {6, 7, 2}, 2},
        {4, {L"はい", L"いいえ"}, {6, 7}, 6},
        {5, {L"再試行", L"キャンセル"}, {4, 2}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buttons);
        Box box(c.buttons, L"ボタンの組 " + std::to_wstring(c.buttons));
        ASSERT_TRUE(box.Shown());
        EXPECT_EQ(box.Info().caption, L"テスト");
        EXPECT_EQ(box.Info().text, L"ボタンの組 " + std::to_wstring(c.buttons));
        EXPECT_EQ(box.Info().captions, c.captions);
        EXPECT_EQ(box.Info().buttons, c.codes);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(box.Info().window, kPicture2)));
        EXPECT_TRUE(AnswerMessageBox(box.Info(), c.press));
        EXPECT_EQ(box.Result(), c.press);
    }
}

TEST(MsgBoxEx, QuestionYesNoAndEscape) {
    {
        Box box(36, L"上書きしますか？");
        ASSERT_TRUE(box.Shown());
        HWND icon = GetDlgItem(box.Info().window, kPicture2);
        EXPECT_TRUE(IsWindowVisible(icon));
        EXPECT_EQ(Text(icon), L"問い合わせ");
        EXPECT_EQ(box.Info().captions, (std::vector<std::wstring>{L"はい", L"いいえ"}));
        EXPECT_EQ(box.Focused(), box.Button(6));  // the default button has the focus
        PressKey(box.Focused(), VK_ESCAPE);       // Escape presses the cancel button, いいえ
        EXPECT_EQ(box.Result(), 7);
    }
    {
        Box box(36, L"上書きしますか？");
        ASSERT_TRUE(box.Shown());
        EXPECT_TRUE(AnswerMessageBox(box.Info(), 6));
        EXPECT_EQ(box.Result(), 6);
    }
}

TEST(MsgBoxEx, IconKindsAndDefaultButtons) {
    struct Case {
        int32_t buttons;
        const wchar_t* icon;
        int focused;
    };
    const Case cases[] = {
        {16, L"エラー", 1},         {32 + 256 + 1, L"問い合わせ", 2},
        {48 + 512 + 2, L"警告", 5}, {64 + 256 + 3, L"情報", 7},
        {768 + 4, nullptr, 6},  // no fourth button: the first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buttons);
        Box box(c.buttons, L"アイコン");
        ASSERT_TRUE(box.Shown());
        HWND icon = GetDlgItem(box.Info().window, kPicture2);
        EXPECT_EQ(IsWindowVisible(icon) != FALSE, c.icon != nullptr);
        if (c.icon) {
            EXPECT_EQ(Text(icon), c.icon);
        }
        EXPECT_EQ(box.Focused(), box.Button(c.focused));
        EXPECT_EQ(GetWindowLongPtrW(box.Button(c.focused), GWL_STYLE) & BS_TYPEMASK,
                  BS_DEFPUSHBUTTON);
        PostMessageW(box.Info().window, WM_CLOSE, 0, 0);
        EXPECT_EQ(box.Result(), 0);
    }
}

TEST(MsgBoxEx, OneOkButtonInAMinimumBox) {
    Box box(0, L"短");
    ASSERT_TRUE(box.Shown());
    RECT r{};
    GetWindowRect(box.Info().window, &r);
    EXPECT_GE(r.right - r.left, 112);
    EXPECT_GE(r.bottom - r.top, 69 + GetSystemMetrics(SM_CYSIZE));
    EXPECT_EQ(box.Info().buttons, std::vector<int>{1});
    // One button: no cancel button, Escape does nothing; closing otherwise returns 0.
    PressKey(box.Focused(), VK_ESCAPE);
    Sleep(300);
    EXPECT_TRUE(box.StillOpen());
    PostMessageW(box.Info().window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(box.Result(), 0);
}

TEST(MsgBoxEx, ArrowKeysWrapAroundAndAcceleratorsPress) {
    Box box(2, L"矢印");
    ASSERT_TRUE(box.Shown());
    ASSERT_EQ(box.Focused(), box.Button(3));
    const struct {
        UINT key;
        int focused;
    } steps[] = {{VK_LEFT, 5}, {VK_RIGHT, 3}, {VK_RIGHT, 4}, {VK_RIGHT, 5}, {VK_RIGHT, 3}};
    for (const auto& s : steps) {
        PressKey(box.Focused(), s.key);
        EXPECT_TRUE(WaitUntil([&] { return box.Focused() == box.Button(s.focused); }, 3000))
            << s.focused;
    }
    AnswerMessageBox(box.Info(), 4);
    EXPECT_EQ(box.Result(), 4);

    Box yesNo(3, L"保存しますか？");
    ASSERT_TRUE(yesNo.Shown());
    TypeChar(yesNo.Focused(), L'n');  // いいえ(&N)
    EXPECT_EQ(yesNo.Result(), 7);
}

TEST(MsgBoxEx, LongPromptWrapsWithinSixtyPercentOfTheScreen) {
    std::wstring prompt;
    for (int i = 0; i < 30; ++i) prompt += L"録画ファイルを書き込めませんでした。";
    prompt += L"\r\n最後の行";
    Box box(16, prompt);
    ASSERT_TRUE(box.Shown());
    EXPECT_EQ(box.Info().text, prompt);  // read back whole by another process
    HWND text = GetDlgItem(box.Info().window, 0xFFFF);
    RECT t{}, w{};
    GetWindowRect(text, &t);
    GetWindowRect(box.Info().window, &w);
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_LE(t.right - t.left, screen * 6 / 10);
    EXPECT_LE(w.right - w.left, screen * 6 / 10 + 200);
    EXPECT_GT(t.bottom - t.top, 5 * 12);  // several lines
    EXPECT_LE(w.bottom, GetSystemMetrics(SM_CYSCREEN));
    AnswerMessageBox(box.Info(), 1);
    EXPECT_EQ(box.Result(), 1);
}

TEST(MsgBoxEx, OwnedBoxDisablesItsOwnerUntilItCloses) {
    Box box(1, L"所有者付き", L"owner");
    ASSERT_TRUE(box.Shown());
    HWND owner = GetWindow(box.Info().window, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(Text(owner), L"probe owner");
    EXPECT_FALSE(IsWindowEnabled(owner));
    AnswerMessageBox(box.Info(), 2);
    EXPECT_EQ(box.Result(), 2);  // 100 would mean the owner stayed disabled
}

TEST(MsgBoxEx, EmptyTitleShowsTheProgramsTitle) {
    Box box(0, L"題名なし", L"", L"");
    ASSERT_TRUE(box.Shown());
    EXPECT_EQ(box.Info().caption, L"msgbox_probe");
    AnswerMessageBox(box.Info(), 1);
    EXPECT_EQ(box.Result(), 1);
}

}  // namespace
}  // namespace tqk::test
