// A known picture held at the screen's top-left corner for the recording tests: a top-most
// window that never takes the focus, in a thread of its own so that it repaints whatever the
// test's thread is waiting for.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>

namespace tqk::test {

class HeldScreen {
public:
    // paint draws the whole client area (w x h pixels) on the window's own thread.
    HeldScreen(const wchar_t* className, int w, int h, std::function<void(HDC)> paint)
        : paint_(std::move(paint)) {
        thread_ = std::thread([this, className, w, h] { Loop(className, w, h); });
        while (!hwnd_) Sleep(5);
    }
    ~HeldScreen() {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HeldScreen(const HeldScreen&) = delete;
    HeldScreen& operator=(const HeldScreen&) = delete;

    HWND Hwnd() const { return hwnd_; }
    // Paints the window again (after what paint draws has changed).
    void Repaint() const { InvalidateRect(hwnd_, nullptr, FALSE); }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<HeldScreen*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (m == WM_ERASEBKGND) return 1;  // the paint covers the whole area
        if (m == WM_PAINT && self) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            self->paint_(dc);
            EndPaint(h, &ps);
            return 0;
        }
        if (m == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
        if (m == WM_CLOSE) {
            DestroyWindow(h);
            return 0;
        }
        if (m == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(h, m, wp, lp);
    }
    void Loop(const wchar_t* className, int w, int h) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassW(&wc);
        HWND hwnd =
            CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, className, L"",
                            WS_POPUP, 0, 0, w, h, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(this));
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
        UpdateWindow(hwnd);
        hwnd_ = hwnd;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    }

    std::function<void(HDC)> paint_;
    std::atomic<HWND> hwnd_{nullptr};
    std::thread thread_;
};

}  // namespace tqk::test
