// ToolTip on real windows: the tools and texts the control holds, its delays and width, and a
// tip shown by resting the mouse on a tool.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message_pump.h"
#include "tooltip.h"
#include "win_window.h"

namespace tqk::test {
namespace {

constexpr int kButton1 = 101, kButton2 = 102, kLabel = 103;

class ToolWindow : public Window {
protected:
    bool OnCreate() override {
        static const ControlSpec controls[] = {
            {L"BUTTON", kButton1, L"一", WS_TABSTOP, 10, 10, 80, 24},
            {L"BUTTON", kButton2, L"二", WS_TABSTOP, 100, 10, 80, 24},
            {L"STATIC", kLabel, L"ラベル", 0, 10, 60, 80, 20},
        };
        return AddControls(controls);
    }
};

struct Tool {
    HWND window;
    RECT rect;
    std::wstring text;
};

std::vector<Tool> Tools(HWND tip) {
    std::vector<Tool> tools;
    const int n = int(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[1024] = {};
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof(ti);
        ti.lpszText = text;
        if (SendMessageW(tip, TTM_ENUMTOOLSW, WPARAM(i), reinterpret_cast<LPARAM>(&ti)))
            tools.push_back({ti.hwnd, ti.rect, text});
    }
    return tools;
}

// Rests the mouse on a point of window's client area, letting messages run, until the tip is
// shown or timeoutMs passed; the milliseconds it took, or -1.
int Hover(HWND window, POINT client, HWND tip, DWORD timeoutMs) {
    POINT screen = client;
    ClientToScreen(window, &screen);
    SetCursorPos(screen.x, screen.y);
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        // The tip shows only if the cursor is still on the tool when the delay ends; put it
        // back without a move message (which would restart the delay) if anything moved it.
        POINT now{};
        if (GetCursorPos(&now) && (now.x != screen.x || now.y != screen.y))
            SetCursorPos(screen.x, screen.y);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
        if (IsWindowVisible(tip)) return int(GetTickCount() - start);
    }
    return -1;
}

std::wstring CurrentText(HWND tip) {
    wchar_t text[1024] = {};
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.lpszText = text;
    if (!SendMessageW(tip, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(&ti))) return {};
    return text;
}

class ToolTipTest : public ::testing::Test {
protected:
    void SetUp() override {
        WindowSpec spec{L"TaviroToolTipTest", L"ツールチップ", WS_OVERLAPPED | WS_CAPTION, 300,
                        200};
        spec.x = 50;
        spec.y = 50;
        ASSERT_TRUE(w_.Create(spec));
        ShowWindow(w_.Hwnd(), SW_SHOW);
        // The tip shows only for the window under the cursor: stay above the windows other
        // tests open meanwhile.
        SetWindowPos(w_.Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(w_.Hwnd());
        UpdateWindow(w_.Hwnd());
        tip_.Init(w_.Hwnd());
        ASSERT_NE(tip_.Hwnd(), nullptr);
    }
    ToolWindow w_;
    ToolTip tip_;
};

TEST_F(ToolTipTest, ToolsTextsDelaysAndWidth) {
    HWND tip = tip_.Hwnd();
    wchar_t cls[64] = {};
    GetClassNameW(tip, cls, 64);
    EXPECT_STREQ(cls, L"tooltips_class32");
    EXPECT_EQ(GetWindow(tip, GW_OWNER), w_.Hwnd());
    EXPECT_TRUE(GetWindowLongPtrW(tip, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(GetWindowLongPtrW(tip, GWL_STYLE) & TTS_ALWAYSTIP);
    EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 4000);
    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 800);
    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_RESHOW, 0), 1000);
    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 30000);

    tip_.MakeToolTip(L"ボタンの説明\r\n二行目", {w_.Item(kButton1), w_.Item(kButton2)});
    std::vector<Tool> tools = Tools(tip);
    ASSERT_EQ(tools.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(tools[i].window, w_.Item(i == 0 ? kButton1 : kButton2));
        EXPECT_EQ(tools[i].text, L"ボタンの説明\r\n二行目");
        RECT client{};
        GetClientRect(tools[i].window, &client);
        EXPECT_TRUE(EqualRect(&tools[i].rect, &client));
    }
    tip_.MakeToolTip(L"何もない", {});  // an empty array adds nothing
    EXPECT_EQ(Tools(tip).size(), 2u);

    // Rectangles of one window: the given ones when the flag is 1 (rounded), else the whole
    // client area.
    tip_.MakeToolTipEx(L"左の領域", 1, w_.Hwnd(), {0, 100.4, 99.6, 150});
    tip_.MakeToolTipEx(L"右の領域", 1, w_.Hwnd(), {150, 100, 290, 150});
    tip_.MakeToolTipEx(L"全体", 0, w_.Hwnd(), {1, 2, 3, 4});
    tools = Tools(tip);
    ASSERT_EQ(tools.size(), 5u);
    EXPECT_EQ(tools[2].text, L"左の領域");
    const RECT left{0, 100, 100, 150}, right{150, 100, 290, 150};
    EXPECT_TRUE(EqualRect(&tools[2].rect, &left));
    EXPECT_EQ(tools[3].text, L"右の領域");
    EXPECT_TRUE(EqualRect(&tools[3].rect, &right));
    RECT client{};
    GetClientRect(w_.Hwnd(), &client);
    EXPECT_TRUE(EqualRect(&tools[4].rect, &client));
}

TEST_F(ToolTipTest, RestingMouseShowsEachRectanglesTextOnFiveLines) {
    HWND tip = tip_.Hwnd();
    const std::wstring five = L"一行目\r\n二行目\r\n三行目\r\n四行目\r\n五行目";
    tip_.MakeToolTipEx(five, 1, w_.Hwnd(), {0, 100, 140, 190});
    tip_.MakeToolTipEx(L"右の領域", 1, w_.Hwnd(), {160, 100, 300, 190});
    const int ms = Hover(w_.Hwnd(), {60, 140}, tip, 4000);
    ASSERT_GE(ms, 0) << "no tip appeared";
    EXPECT_GE(ms, 600);  // the initial delay is 800 ms
    EXPECT_EQ(CurrentText(tip), five);
    // Five lines, not one wrapped line: the tip is about five text lines high.
    RECT r{};
    GetWindowRect(tip, &r);
    HDC dc = GetDC(tip);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(tip, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SIZE line{};
    GetTextExtentPoint32W(dc, L"一行目", 3, &line);
    SelectObject(dc, old);
    ReleaseDC(tip, dc);
    EXPECT_GE(r.bottom - r.top, 5 * tm.tmHeight);
    EXPECT_LT(r.right - r.left, 4 * line.cx);  // not one long line

    // Moving to the other rectangle of the same window shows its own text.
    ASSERT_GE(Hover(w_.Hwnd(), {230, 140}, tip, 4000), 0);
    EXPECT_TRUE([&] {
        for (int i = 0; i < 100 && CurrentText(tip) != L"右の領域"; ++i) {
            Hover(w_.Hwnd(), {230, 140}, tip, 100);
            Sleep(20);
        }
        return CurrentText(tip) == L"右の領域";
    }());
    SetCursorPos(1000, 700);
}

}  // namespace
}  // namespace tqk::test
