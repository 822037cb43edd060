// screen_churn: keeps the whole screen changing for benchmarks. A topmost popup over the
// primary screen repaints moving colour bands about 60 times a second.
//   screen_churn SECONDS
#include <windows.h>

#include <cstdlib>

namespace {

int g_phase = 0;

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        ++g_phase;
        InvalidateRect(wnd, nullptr, FALSE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT rc;
        GetClientRect(wnd, &rc);
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
        EndPaint(wnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int seconds = argc > 1 ? _wtoi(argv[1]) : 10;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TaviroScreenChurn";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"churn",
                               WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                               GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, wc.hInstance,
                               nullptr);
    SetTimer(wnd, 1, 16, nullptr);
    const DWORD end = GetTickCount() + DWORD(seconds) * 1000;
    MSG msg;
    while (int(GetTickCount() - end) < 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    DestroyWindow(wnd);
    return 0;
}
