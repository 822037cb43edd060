// screen_churn: keeps the screen changing for benchmarks. A topmost popup over the primary
// screen repaints about 60 times a second.
//   screen_churn SECONDS [full|typical]
// full (the default): moving colour bands over the whole screen, every frame different
// everywhere. typical: a still desktop on which a few small places change, as when someone
// types (a growing line of text and a blinking caret), drags a window edge and a clock ticks.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "message_pump.h"

namespace tqk {
namespace {

int g_phase = 0;
bool g_typical = false;
bool g_painted = false;  // typical: the still background is drawn once

constexpr int kTextX = 80, kTextY = 120, kCharW = 8, kLineH = 16, kLineChars = 90;
constexpr int kEdgeX = 500, kEdgeY = 300, kEdgeH = 260, kEdgeTravel = 120;

void PaintFull(HDC dc, const RECT& rc) {
    const int band = 24;
    for (int y = 0; y < rc.bottom; y += band) {
        const int v = (y / band + g_phase) * 37;
        HBRUSH brush = CreateSolidBrush(RGB(v & 255, (v * 3) & 255, (v * 7 + g_phase) & 255));
        RECT r = {0, y, rc.right, y + band};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    // Some text-like detail so frames do not pack to nothing.
    for (int i = 0; i < 200; ++i) {
        const int x = (i * 97 + g_phase * 13) % (rc.right ? rc.right : 1);
        const int y = (i * 53 + g_phase * 7) % (rc.bottom ? rc.bottom : 1);
        PatBlt(dc, x, y, 12, 3, DSTINVERT);
    }
}

// The still desktop: a backdrop, a few "windows" with lines of text.
void PaintBackground(HDC dc, const RECT& rc) {
    HBRUSH desk = CreateSolidBrush(RGB(58, 110, 165));
    FillRect(dc, &rc, desk);
    DeleteObject(desk);
    SetBkMode(dc, TRANSPARENT);
    for (int w = 0; w < 3; ++w) {
        RECT win = {40 + w * 60, 80 + w * 40, 40 + w * 60 + 760, 80 + w * 40 + 420};
        FillRect(dc, &win, HBRUSH(GetStockObject(WHITE_BRUSH)));
        RECT title = {win.left, win.top, win.right, win.top + 22};
        HBRUSH tb = CreateSolidBrush(RGB(0, 60 + w * 40, 128));
        FillRect(dc, &title, tb);
        DeleteObject(tb);
        for (int line = 0; line < 20; ++line) {
            wchar_t text[96];
            std::swprintf(text, 96, L"%d: the quick brown fox jumps over the lazy dog %d", line,
                          line * 37 + w);
            TextOutW(dc, win.left + 8, win.top + 30 + line * 18, text, int(wcslen(text)));
        }
    }
}

void PaintTypical(HDC dc, const RECT& rc, const RECT& dirty) {
    const bool whole =
        dirty.left <= 0 && dirty.top <= 0 && dirty.right >= rc.right && dirty.bottom >= rc.bottom;
    if (!g_painted || whole) {
        PaintBackground(dc, rc);
        g_painted = true;
    }
    // Typing: one more character every 4 ticks (~15 a second), a new line when one is full.
    const int typed = g_phase / 4;
    const int col = typed % kLineChars, row = (typed / kLineChars) % 10;
    RECT line = {kTextX, kTextY + row * kLineH, kTextX + kLineChars * kCharW,
                 kTextY + (row + 1) * kLineH};
    FillRect(dc, &line, HBRUSH(GetStockObject(WHITE_BRUSH)));
    static const wchar_t kWords[] = L"typing a note while the recorder runs, ";
    wchar_t text[kLineChars + 1];
    for (int i = 0; i < col; ++i) text[i] = kWords[i % (int(wcslen(kWords)))];
    text[col] = 0;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, kTextX, kTextY + row * kLineH, text, col);
    if ((g_phase / 30) % 2 == 0) {  // caret
        RECT caret = {kTextX + col * kCharW, line.top, kTextX + col * kCharW + 2, line.bottom};
        FillRect(dc, &caret, HBRUSH(GetStockObject(BLACK_BRUSH)));
    }
    // A window edge dragged back and forth: a grey bar moving over a strip.
    const int swing = g_phase % (2 * kEdgeTravel);
    const int edge = kEdgeX + (swing < kEdgeTravel ? swing : 2 * kEdgeTravel - swing);
    RECT strip = {kEdgeX, kEdgeY, kEdgeX + kEdgeTravel + 8, kEdgeY + kEdgeH};
    HBRUSH back = CreateSolidBrush(RGB(230, 230, 230));
    FillRect(dc, &strip, back);
    DeleteObject(back);
    RECT bar = {edge, kEdgeY, edge + 8, kEdgeY + kEdgeH};
    FillRect(dc, &bar, HBRUSH(GetStockObject(DKGRAY_BRUSH)));
    // A clock in a corner.
    wchar_t clock[32];
    std::swprintf(clock, 32, L"%02d:%02d.%02d", (g_phase / 3600) % 60, (g_phase / 60) % 60,
                  g_phase % 60);
    RECT cr = {rc.right - 110, rc.bottom - 24, rc.right - 10, rc.bottom - 6};
    FillRect(dc, &cr, HBRUSH(GetStockObject(LTGRAY_BRUSH)));
    TextOutW(dc, cr.left + 4, cr.top + 1, clock, int(wcslen(clock)));
}

void InvalidateChanges(HWND wnd) {
    if (!g_typical || !g_painted) {
        InvalidateRect(wnd, nullptr, FALSE);
        return;
    }
    RECT rc;
    GetClientRect(wnd, &rc);
    const RECT parts[] = {
        {kTextX, kTextY, kTextX + kLineChars * kCharW + 2, kTextY + 10 * kLineH},
        {kEdgeX, kEdgeY, kEdgeX + kEdgeTravel + 8, kEdgeY + kEdgeH},
        {rc.right - 110, rc.bottom - 24, rc.right - 10, rc.bottom - 6},
    };
    for (const RECT& r : parts) InvalidateRect(wnd, &r, FALSE);
}

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        ++g_phase;
        InvalidateChanges(wnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT rc;
        GetClientRect(wnd, &rc);
        if (g_typical)
            PaintTypical(dc, rc, ps.rcPaint);
        else
            PaintFull(dc, rc);
        EndPaint(wnd, &ps);
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

int Main(int argc, wchar_t** argv) {
    const int seconds = argc > 1 ? _wtoi(argv[1]) : 10;
    g_typical = argc > 2 && std::wcscmp(argv[2], L"typical") == 0;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TaviroScreenChurn";
    RegisterClassW(&wc);
    HWND wnd =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"churn",
                        WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                        GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, wc.hInstance, nullptr);
    SetTimer(wnd, 1, 16, nullptr);
    const DWORD end = GetTickCount() + DWORD(seconds) * 1000;
    while (int(GetTickCount() - end) < 0) {
        tqk::PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    DestroyWindow(wnd);
    return 0;
}

}  // namespace
}  // namespace tqk

int wmain(int argc, wchar_t** argv) { return tqk::Main(argc, argv); }
