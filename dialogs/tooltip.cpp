#include "tooltip.h"

#include <commctrl.h>

#include <cmath>

#include "win_window.h"

namespace tqk {
namespace {

LONG ToLong(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v > 2147483647.0) return LONG(2147483647);
    if (v < -2147483648.0) return LONG(-2147483647 - 1);
    return LONG(std::lround(v));
}

}  // namespace

ToolTip::~ToolTip() {
    if (tip_ && IsWindow(tip_)) SendMessageW(tip_, WM_CLOSE, 0, 0);
}

void ToolTip::Init(HWND AllOwnerhWnd) {
    EnsureCommonControls();
    if (tip_ && IsWindow(tip_)) SendMessageW(tip_, WM_CLOSE, 0, 0);
    tip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, L"", TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, AllOwnerhWnd, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    if (!tip_) return;
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    // A little room between the text and the border, at the screen's DPI.
    const DpiScale s(WindowDpi(AllOwnerhWnd));
    RECT margin{s.Px(4), s.Px(2), s.Px(4), s.Px(2)};
    SendMessageW(tip_, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
    SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_INITIAL, kInitialMs);
    SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_RESHOW, kReshowMs);
    SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, kAutoPopMs);
    SetWindowPos(tip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void ToolTip::Add(const std::wstring& text, HWND window, const RECT& r) {
    if (!tip_ || !window) return;
    // The wide record keeps characters the ANSI code page lacks. Each tool gets its own id, so
    // two rectangles of one window stay two tools.
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_SUBCLASS;
    ti.hwnd = window;
    ti.uId = nextId_++;
    ti.rect = r;
    ti.hinst = GetModuleHandleW(nullptr);
    ti.lpszText = const_cast<wchar_t*>(text.c_str());
    if (!SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti))) {
        // Common controls before version 6 know only the shorter record.
        ti.cbSize = TTTOOLINFOW_V2_SIZE;
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

void ToolTip::MakeToolTip(const std::wstring& TipText, const std::vector<HWND>& windows) {
    for (HWND w : windows) {
        RECT r{};
        GetClientRect(w, &r);
        Add(TipText, w, r);
    }
}

void ToolTip::MakeToolTipEx(const std::wstring& TipText, int32_t rectFlag, HWND window,
                            const std::vector<double>& rect) {
    RECT r{};
    if (rectFlag == 1 && rect.size() >= 4)
        r = {ToLong(rect[0]), ToLong(rect[1]), ToLong(rect[2]), ToLong(rect[3])};
    else
        GetClientRect(window, &r);
    Add(TipText, window, r);
}

}  // namespace tqk
