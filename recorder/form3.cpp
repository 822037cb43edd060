// The region pick: a rectangle dragged over a frozen copy of the screen (the overlay Form3), or
// the rectangle of the window (or its client area) the user points at and clicks.
#include <optional>

#include "form3_ids.h"
#include "message_pump.h"
#include "recorder_actions.h"
#include "region_model.h"
#include "win_handles.h"
#include "win_window.h"

namespace tqk::rec {

namespace {

// Draws a rectangle's outline (inclusive corners) so that a second drawing erases it.
void InvertOutline(HDC dc, const PickRect& r) {
    tqk::SelectGuard brush(dc, GetStockObject(HOLLOW_BRUSH));
    tqk::SelectGuard pen(dc, GetStockObject(WHITE_PEN));
    const int oldRop = SetROP2(dc, R2_NOT);
    Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
    SetROP2(dc, oldRop);
}

class Form3 : public tqk::Window {
public:
    // The screen as it is now, shown by the overlay until it closes.
    bool Freeze(int width, int height) {
        width_ = width;
        height_ = height;
        tqk::WindowDc screen(nullptr, GetDC(nullptr));
        if (!screen) return false;
        frozen_.Reset(CreateCompatibleDC(screen.Get()));
        bitmap_.Reset(CreateCompatibleBitmap(screen.Get(), width, height));
        if (!frozen_ || !bitmap_) return false;
        oldBitmap_ = SelectObject(frozen_.Get(), bitmap_.Get());
        return BitBlt(frozen_.Get(), 0, 0, width, height, screen.Get(), 0, 0, SRCCOPY) != FALSE;
    }
    ~Form3() override {
        if (oldBitmap_) SelectObject(frozen_.Get(), oldBitmap_);
    }

    bool cancelled = true;
    POINT start{}, end{};

protected:
    void OnPaint(HDC dc, const RECT&) override {
        BitBlt(dc, 0, 0, width_, height_, frozen_.Get(), 0, 0, SRCCOPY);
        if (dragging_) InvertOutline(dc, DragRect(start.x, start.y, previous_.x, previous_.y));
    }
    bool OnMouse(const tqk::MouseEvent& e) override {
        const bool right = e.message == WM_RBUTTONDOWN || e.message == WM_RBUTTONUP ||
                           e.message == WM_RBUTTONDBLCLK ||
                           (e.message == WM_MOUSEMOVE && (e.keys & MK_RBUTTON));
        if (right) {
            Finish(true);
            return true;
        }
        POINT at{};
        GetCursorPos(&at);
        switch (e.message) {
        case WM_LBUTTONDOWN:
            start = current_ = previous_ = at;
            dragging_ = true;
            SetCapture(hwnd_);
            return true;
        case WM_MOUSEMOVE:
            if (!dragging_ || !(e.keys & MK_LBUTTON)) return true;
            current_ = at;
            if (current_.x == previous_.x && current_.y == previous_.y) return true;
            {
                tqk::WindowDc dc(hwnd_, GetDC(hwnd_));
                InvertOutline(dc.Get(), DragRect(start.x, start.y, previous_.x, previous_.y));
                InvertOutline(dc.Get(), DragRect(start.x, start.y, current_.x, current_.y));
            }
            previous_ = current_;
            return true;
        case WM_LBUTTONUP:
            if (!dragging_) return true;
            end = at;
            Finish(false);
            return true;
        default: return false;
        }
    }
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_KEYDOWN && wp == VK_ESCAPE) {
            Finish(true);
            return 0;
        }
        if (msg == WM_ERASEBKGND) return 1;
        return Window::OnMessage(msg, wp, lp);
    }
    bool OnClose() override {
        Finish(true);
        return false;
    }

private:
    void Finish(bool cancel) {
        if (!InModal()) return;
        cancelled = cancel;
        dragging_ = false;
        if (GetCapture() == hwnd_) ReleaseCapture();
        EndModal(cancel ? 2 : 1);
    }

    int width_ = 0, height_ = 0;
    bool dragging_ = false;
    POINT current_{}, previous_{};
    tqk::MemoryDc frozen_;
    tqk::GdiObject bitmap_;
    HGDIOBJ oldBitmap_ = nullptr;  // put back before the bitmap and the DC go
};

std::optional<PickRect> DragPick(HWND owner, int width, int height) {
    Form3 overlay;
    if (!overlay.Freeze(width, height)) return std::nullopt;
    tqk::WindowSpec spec{form3_ids::kClassName, L"", WS_POPUP, width, height};
    spec.exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    spec.x = 0;
    spec.y = 0;
    spec.owner = owner;
    spec.cursor = LoadCursorW(nullptr, IDC_CROSS);
    spec.background = nullptr;
    spec.dpiScaled = false;
    if (!overlay.Create(spec)) return std::nullopt;
    SetForegroundWindow(overlay.Hwnd());
    overlay.ShowModal();
    const bool cancelled = overlay.cancelled;
    const PickRect r = DragRect(overlay.start.x, overlay.start.y, overlay.end.x, overlay.end.y);
    DestroyWindow(overlay.Hwnd());
    if (cancelled) return std::nullopt;
    return r;
}

bool KeyDown(int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }
// Down now, or pressed since the last look (a short click between two looks).
bool Pressed(int key) { return (GetAsyncKeyState(key) & 0x8001) != 0; }

// The window under the cursor and its rectangle (exclusive right and bottom).
RECT RectUnderCursor(bool clientArea) {
    POINT at{};
    GetCursorPos(&at);
    RECT r{};
    HWND w = WindowFromPoint(at);
    if (!w) return r;
    if (!clientArea) {
        GetWindowRect(w, &r);
        return r;
    }
    GetClientRect(w, &r);
    MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::optional<PickRect> WindowPick(bool clientArea) {
    while (KeyDown(VK_LBUTTON)) {  // the press on the button itself
        PumpMessages();
        Sleep(1);
    }
    for (int key : {VK_LBUTTON, VK_RBUTTON, VK_ESCAPE}) (void)Pressed(key);  // forget old presses
    tqk::WindowDc screen(nullptr, GetDC(nullptr));
    if (!screen) return std::nullopt;
    HDC dc = screen.Get();
    tqk::GdiObject pen(CreatePen(PS_SOLID, 4, RGB(255, 255, 255)));
    std::optional<RECT> drawn;
    bool cancelled = false;
    RECT picked{};
    {
        tqk::SelectGuard brush(dc, GetStockObject(HOLLOW_BRUSH));
        tqk::SelectGuard penSel(dc, pen.Get());
        const int oldRop = SetROP2(dc, R2_XORPEN);
        auto draw = [dc](const RECT& r) { Rectangle(dc, r.left, r.top, r.right, r.bottom); };
        for (;;) {
            const RECT r = RectUnderCursor(clientArea);
            if (!drawn || !EqualRect(&*drawn, &r)) {
                if (drawn) draw(*drawn);
                draw(r);
                drawn = r;
                GdiFlush();
            }
            if (Pressed(VK_LBUTTON)) {
                picked = r;
                break;
            }
            if (Pressed(VK_RBUTTON) || Pressed(VK_ESCAPE)) {
                cancelled = true;
                break;
            }
            PumpMessages();
            Sleep(1);
        }
        if (drawn) draw(*drawn);
        GdiFlush();
        SetROP2(dc, oldRop);
    }  // pen and brush put back before the pen is deleted and the DC released
    if (cancelled) return std::nullopt;
    return FromExclusive(picked.left, picked.top, picked.right, picked.bottom);
}

}  // namespace

std::optional<PickedRegion> PickRegion(HWND owner, bool windowMode, bool clientArea) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const std::optional<PickRect> r =
        windowMode ? WindowPick(clientArea) : DragPick(owner, width, height);
    if (owner) SetForegroundWindow(owner);
    if (!r) return std::nullopt;
    const RegionBoxes b = BoxesFromPick(*r, width - 1, height - 1);
    return PickedRegion{b.X, b.Y, b.W, b.H};
}

}  // namespace tqk::rec
