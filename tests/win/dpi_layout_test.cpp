// Layouts at the screen's DPI (run at 96 and, by dpi_run.sh, at 144 DPI set in the prefix):
// the message box, a tooltip and the installer show every text whole inside its control and
// every control inside its window.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "message_pump.h"
#include "msgbox_ex.h"
#include "test_files.h"
#include "tooltip.h"
#include "win_window.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

int ExpectedDpi() {
    const char* v = std::getenv("TAVIRO_EXPECT_DPI");
    return v ? std::atoi(v) : 96;
}

// The platform's message font at the system DPI (this program is DPI aware, like the suite's).
HFONT MessageFont() {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    return CreateFontIndirectW(&ncm.lfMessageFont);
}

// What is wrong with the text of control drawn in font (empty: it fits).
std::wstring Clipped(HWND control, HFONT font) {
    const std::wstring cls = ClassName(control), text = Text(control);
    const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    if (text.empty() || !(style & WS_VISIBLE)) return {};
    const bool isStatic = _wcsicmp(cls.c_str(), L"Static") == 0;
    const LONG_PTR staticType = style & SS_TYPEMASK;
    // Owner-drawn and image statics show no text (the icon area's text is its name).
    if (isStatic && staticType > SS_RIGHT && staticType != SS_LEFTNOWORDWRAP) return {};
    RECT client{};
    GetClientRect(control, &client);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    std::wstring plain;  // without the accelerator's "&"
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != L'&' || (i + 1 < text.size() && text[i + 1] == L'&')) plain += text[i];
    RECT need{0, 0, 0, 0};
    const int width = client.right - client.left;
    int allowW = width, allowH = client.bottom - client.top;
    if (isStatic && staticType != SS_LEFTNOWORDWRAP) {
        need.right = width;
        DrawTextW(dc, plain.c_str(), int(plain.size()), &need,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
    } else {
        DrawTextW(dc, plain.c_str(), int(plain.size()), &need, DT_CALCRECT | DT_SINGLELINE);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            const LONG_PTR type = style & BS_TYPEMASK;
            if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
                type == BS_RADIOBUTTON)
                allowW -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
            else
                allowW -= 2 * GetSystemMetrics(SM_CXEDGE);
        }
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (need.right - need.left > allowW || need.bottom - need.top > allowH)
        return cls + L" \"" + text + L"\" needs " + std::to_wstring(need.right - need.left) + L"x" +
               std::to_wstring(need.bottom - need.top) + L", has " + std::to_wstring(allowW) +
               L"x" + std::to_wstring(allowH);
    return {};
}

// Every control of window: its text fits, and it lies inside the client area.
void ExpectLaidOut(HWND window, HFONT fallbackFont) {
    RECT client{};
    GetClientRect(window, &client);
    const std::vector<HWND> children = Children(window);
    EXPECT_FALSE(children.empty());
    for (HWND c : children) {
        if (GetParent(c) != window || !IsWindowVisible(c)) continue;
        SCOPED_TRACE(Text(c));
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_GE(r.left, client.left);
        EXPECT_GE(r.top, client.top);
        EXPECT_LE(r.right, client.right);
        EXPECT_LE(r.bottom, client.bottom);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0));
        EXPECT_EQ(Clipped(c, font ? font : fallbackFont), L"");
    }
}

TEST(DpiLayout, TheScreenIsAtTheExpectedDpi) { EXPECT_EQ(SystemDpi(), ExpectedDpi()); }

TEST(DpiLayout, MessageBoxes) {
    const int32_t sets[] = {0, 1, 2, 3 + 48, 4 + 32, 5 + 16, 64};
    for (int32_t buttons : sets) {
        SCOPED_TRACE(buttons);
        std::wstring layoutError;
        bool checked = false;
        std::thread inspector([&] {
            const auto box = WaitForMessageBox(GetCurrentProcessId(), 10000);
            if (!box) return;
            EXPECT_EQ(WindowDpi(box->window), ExpectedDpi());
            ExpectLaidOut(box->window, nullptr);
            // The icon area and the prompt do not overlap.
            RECT icon{}, text{};
            GetWindowRect(GetDlgItem(box->window, MsgBoxEx::kPicture2Id), &icon);
            GetWindowRect(GetDlgItem(box->window, 0xFFFF), &text);
            if (IsWindowVisible(GetDlgItem(box->window, MsgBoxEx::kPicture2Id))) {
                EXPECT_LE(icon.right, text.left);
            }
            checked = true;
            AnswerMessageBox(*box, box->buttons.front());
        });
        MsgBoxEx::Msg(L"録画を開始します。\r\nよろしいですか？ 長めの説明文がここに入ります。",
                      nullptr, buttons, L"DPI");
        inspector.join();
        EXPECT_TRUE(checked);
    }
}

TEST(DpiLayout, TooltipShowsFiveWholeLines) {
    class Host : public Window {};
    Host w;
    WindowSpec spec{L"TaviroDpiTip", L"tip", WS_OVERLAPPED | WS_CAPTION, 300, 200};
    spec.x = 40;
    spec.y = 40;
    ASSERT_TRUE(w.Create(spec));
    ShowWindow(w.Hwnd(), SW_SHOW);
    ToolTip tip;
    tip.Init(w.Hwnd());
    const std::wstring five = L"一行目の説明\r\n二行目\r\n三行目\r\n四行目\r\n五行目";
    tip.MakeToolTipEx(five, 1, w.Hwnd(), {0, 0, 300, 200});
    POINT p{150, 100};
    ClientToScreen(w.Hwnd(), &p);
    SetCursorPos(p.x, p.y);
    PostMessageW(w.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(150, 100));
    const DWORD start = GetTickCount();
    while (!IsWindowVisible(tip.Hwnd()) && GetTickCount() - start < 4000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
    }
    ASSERT_TRUE(IsWindowVisible(tip.Hwnd()));
    // Kept on screen for a screenshot when asked.
    if (const char* hold = std::getenv("TAVIRO_SHOT_HOLD_MS")) {
        const DWORD until = GetTickCount() + DWORD(std::atoi(hold));
        while (GetTickCount() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            PumpMessages();
        }
    }
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(tip.Hwnd(), WM_GETFONT, 0, 0));
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT need{0, 0, 0, 0};
    DrawTextW(dc, five.c_str(), int(five.size()), &need, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    RECT r{};
    GetClientRect(tip.Hwnd(), &r);
    EXPECT_GE(r.right, need.right);
    EXPECT_GE(r.bottom, need.bottom);
    SetCursorPos(1000, 700);
}

TEST(DpiLayout, Installer) {
    TempFolder f(L"dpi_setup");
    ChildProcess setup;
    ASSERT_TRUE(setup.Start(WindowsPathOf(TAVIRO_SETUP_EXE)));
    HWND w = WaitForWindow(setup.Id(), nullptr, L"Taviro インストーラ", 10000);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(WindowDpi(w), ExpectedDpi());
    HFONT font = MessageFont();
    ExpectLaidOut(w, font);  // the installer's fonts live in its process: measured with ours
    DeleteObject(font);
    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(setup.WaitExit(10000).has_value());
}

}  // namespace
}  // namespace tqk::test
