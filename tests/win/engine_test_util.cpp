#include "engine_test_util.h"

#include <cstring>

namespace tqk::test {

namespace {
const wchar_t kClass[] = L"TaviroEngineTestPattern";
}

COLORREF PatternWindow::Colour(int32_t i, int32_t j, int32_t phase) {
    // Blocks of 8 pixels that change with the phase, plus a fine gradient inside each block.
    const int bi = i / 8, bj = j / 8;
    const int r = (bi * 40 + phase * 53 + (i % 8) * 3) & 255;
    const int g = (bj * 50 + phase * 97 + (j % 8) * 5) & 255;
    const int b = ((bi + bj) * 30 + phase * 31) & 255;
    return RGB(r, g, b);
}

LRESULT CALLBACK PatternWindow::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, LONG_PTR(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<PatternWindow*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (msg == WM_PAINT && self) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = self->w_;
        bi.bmiHeader.biHeight = -self->h_;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        std::vector<uint32_t> px(size_t(self->w_) * self->h_);
        for (int j = 0; j < self->h_; ++j)
            for (int i = 0; i < self->w_; ++i) {
                const COLORREF c = Colour(i, j, self->phase_);
                px[size_t(j) * self->w_ + i] =
                    (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
            }
        SetDIBitsToDevice(dc, 0, 0, self->w_, self->h_, 0, 0, 0, self->h_, px.data(), &bi,
                          DIB_RGB_COLORS);
        EndPaint(wnd, &ps);
        return 0;
    }
    if (msg == WM_SETCURSOR) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        return TRUE;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

PatternWindow::PatternWindow(int32_t x, int32_t y, int32_t w, int32_t h)
    : x_(x), y_(y), w_(w), h_(h) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    RegisterClassW(&wc);
    wnd_ =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClass, L"pattern", WS_POPUP | WS_VISIBLE,
                        x, y, w, h, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    UpdateWindow(wnd_);
}

PatternWindow::~PatternWindow() {
    if (wnd_) DestroyWindow(wnd_);
    PumpFor(20);
}

bool PatternWindow::Show(int32_t phase) {
    phase_ = phase;
    InvalidateRect(wnd_, nullptr, FALSE);
    UpdateWindow(wnd_);
    // The screen may show the new content only after the window system flushed it: poll.
    const int depth = ScreenDepth();
    for (int attempt = 0; attempt < 300; ++attempt) {
        const Bytes px = GrabScreen(x_, y_, w_, h_, 32);
        bool same = !px.empty();
        for (int j = 0; same && j < h_; ++j)
            for (int i = 0; same && i < w_; ++i) {
                const uint8_t* p = &px[(size_t(h_ - 1 - j) * w_ + i) * 4];
                const COLORREF c = Colour(i, j, phase);
                const int tol = depth >= 24 ? 0 : 8;
                same = std::abs(p[2] - GetRValue(c)) <= tol &&
                       std::abs(p[1] - GetGValue(c)) <= tol && std::abs(p[0] - GetBValue(c)) <= tol;
            }
        if (same) return true;
        PumpFor(10);
    }
    return false;
}

void PumpFor(DWORD ms) {
    const DWORD until = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(1);
    } while (int32_t(GetTickCount() - until) < 0);
}

Bytes GrabScreen(int32_t x, int32_t y, int32_t w, int32_t h, int32_t bits) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY);
    SelectObject(mem, old);
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD c[256];
    } bi = {};
    bi.h.biSize = sizeof bi.h;
    bi.h.biWidth = w;
    bi.h.biHeight = h;
    bi.h.biPlanes = 1;
    bi.h.biBitCount = WORD(bits);
    Bytes out(size_t(w) * h * bits / 8);
    GetDIBits(mem, bmp, 0, UINT(h), out.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return out;
}

int32_t ScreenDepth() {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits;
}

}  // namespace tqk::test
