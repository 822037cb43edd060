#include "form1.h"

#include "form1_ids.h"
#include "message_pump.h"
#include "win_text.h"

namespace tqk::rec {

namespace {

// Design size of the client area (96-DPI pixels) while the caption is still there: the
// window keeps its outer height when the caption goes, and the caption's height then holds
// the row of buttons.
constexpr int kClientWidth = 304;
constexpr int kClientHeight = 24;
constexpr int kStatsWidth = 300, kStatsHeight = 18;
// The items' places start 2 pixels above the area's top; the area is drawn that much lower so
// that fonts without leading above the letters keep them whole.
constexpr int kStatsTop = 2;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_APPWINDOW;

}  // namespace

bool Form1::Load() {
    if (Hwnd()) return true;
    tqk::WindowSpec spec{form1_ids::kClassName, WideFromUtf8(kForm1Caption).c_str(), kStyle,
                         kClientWidth, kClientHeight};
    spec.exStyle = kExStyle;
    spec.x = 0;
    spec.y = 0;
    if (!Create(spec)) return false;
    HideTitle();
    return true;
}

bool Form1::OnCreate() {
    using namespace form1_ids;
    static const std::wstring cancel = WideFromUtf8(kCancelButton);
    static const std::wstring minimise = WideFromUtf8(kMinimiseButton);
    static const std::wstring move = WideFromUtf8(kMoveButton);
    static const std::wstring pause = WideFromUtf8(kPauseButton);
    static const tqk::ControlSpec controls[] = {
        {L"STATIC", Picture1, L"", SS_OWNERDRAW, 2, 0, kStatsWidth, kStatsHeight},
        {L"BUTTON", Command1(0), cancel.c_str(), WS_TABSTOP | BS_PUSHBUTTON, 2, 19, 74, 20},
        {L"BUTTON", Command1(1), minimise.c_str(), WS_TABSTOP | BS_PUSHBUTTON, 78, 19, 92, 20},
        {L"BUTTON", Command1(2), move.c_str(), WS_TABSTOP | BS_PUSHBUTTON, 172, 19, 52, 20},
        {L"BUTTON", Command1(3), pause.c_str(), WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 226, 19,
         76, 20},
    };
    if (!AddControls(controls)) return false;

    statsSize_ = SIZE{Px(kStatsWidth), Px(kStatsHeight)};
    tqk::WindowDc screen(nullptr, GetDC(nullptr));
    statsDc_.Reset(CreateCompatibleDC(screen.Get()));
    statsBitmap_.Reset(CreateCompatibleBitmap(screen.Get(), statsSize_.cx, statsSize_.cy));
    // The two rows of items sit 8 pixels apart, the first 2 pixels above the area: a font of
    // 10 pixels a line, whose leading takes those 2, keeps both rows whole.
    statsFont_.Reset(CreateFontW(Px(10), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 DEFAULT_PITCH, L"Tahoma"));
    if (!statsDc_ || !statsBitmap_) return false;
    statsBitmapSel_.emplace(statsDc_.Get(), statsBitmap_.Get());
    statsFontSel_.emplace(statsDc_.Get(), statsFont_.Get());
    SetBkMode(statsDc_.Get(), TRANSPARENT);
    SetTextColor(statsDc_.Get(), GetSysColor(COLOR_WINDOWTEXT));
    PatBlt(statsDc_.Get(), 0, 0, statsSize_.cx, statsSize_.cy, WHITENESS);
    pauseCaption_ = kPauseButton;
    return true;
}

// The window keeps its outer height without the caption bar.
void Form1::HideTitle() {
    RECT r;
    GetWindowRect(hwnd_, &r);
    const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    SetWindowLongPtrW(hwnd_, GWL_STYLE, style & ~LONG_PTR(WS_CAPTION));
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

SIZE Form1::OuterSize() const {
    RECT r;
    GetWindowRect(hwnd_, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void Form1::ShowAt(const WindowPositions* p) {
    if (p) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const SIZE size = OuterSize();
        int32_t x = p->RecX, y = p->RecY;
        PullOntoWorkArea(ScreenRect{work.left, work.top, work.right, work.bottom}, size.cx, size.cy,
                         &x, &y);
        SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
}

void Form1::HideAndSave(WindowPositions* p) {
    EndMoveMode();
    if (p) {
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        GetWindowPlacement(hwnd_, &wp);  // the normal position also while minimised
        p->RecX = wp.rcNormalPosition.left;
        p->RecY = wp.rcNormalPosition.top;
    }
    ShowWindow(hwnd_, SW_HIDE);
}

void Form1::PrintLine(const std::string& utf8) {
    PatBlt(statsDc_.Get(), 0, 0, statsSize_.cx, statsSize_.cy, WHITENESS);
    const std::wstring text = WideFromUtf8(utf8);
    TextOutW(statsDc_.Get(), 0, Px(kStatsTop - 2), text.c_str(), int(text.size()));
    ShowStatistics(text);
}

void Form1::DrawStatistics(const std::vector<StatItem>& items) {
    PatBlt(statsDc_.Get(), 0, 0, statsSize_.cx, statsSize_.cy, WHITENESS);
    std::wstring all;
    for (const StatItem& item : items) {
        const std::wstring text = WideFromUtf8(item.text);
        TextOutW(statsDc_.Get(), Px(item.x), Px(kStatsTop + item.y), text.c_str(),
                 int(text.size()));
        if (!all.empty()) all += L"  ";
        all += text;
    }
    ShowStatistics(all);
}

void Form1::ShowPauseButton(const std::string& utf8, bool enabled) {
    const int id = form1_ids::Command1(3);
    if (utf8 != pauseCaption_) {
        pauseCaption_ = utf8;
        SetItemText(id, WideFromUtf8(utf8));
    }
    if (IsEnabled(id) != enabled) Enable(id, enabled);
}

// The area shows its image; its text holds the same items, for screen readers and tests.
void Form1::ShowStatistics(const std::wstring& text) {
    HWND area = Item(form1_ids::Picture1);
    // The default procedure only keeps the text: the static's own would repaint at once.
    DefWindowProcW(area, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(area, nullptr, FALSE);
    UpdateWindow(area);
}

LRESULT Form1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DRAWITEM && wp == WPARAM(form1_ids::Picture1)) {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        BitBlt(d->hDC, 0, 0, statsSize_.cx, statsSize_.cy, statsDc_.Get(), 0, 0, SRCCOPY);
        return TRUE;
    }
    if (msg == WM_CAPTURECHANGED && moveMode_) {
        EndMoveMode();
        return 0;
    }
    return Window::OnMessage(msg, wp, lp);
}

void Form1::OnCommand(int id, int code, HWND) {
    using namespace form1_ids;
    if (code != BN_CLICKED) return;
    // The session decides what a press means now (nothing while a box asks something).
    if (id == Command1(0)) {
        if (session_) session_->Press(SessionEvent::CancelPressed);
    } else if (id == Command1(3)) {
        if (session_) session_->Press(SessionEvent::PausePressed);
    } else if (id == StopKeep) {
        if (session_) session_->Press(SessionEvent::StopKeep);
    } else if (id == Command1(1)) {
        ShowWindow(hwnd_, SW_MINIMIZE);
    } else if (id == Command1(2)) {
        RECT r;
        GetWindowRect(hwnd_, &r);
        rememberedLeft_ = r.left;
        rememberedTop_ = r.top;
        moveMode_ = true;
        Enable(Command1(2), false);
        SetCapture(hwnd_);
    }
}

// In move mode the next press anywhere (the mouse is captured) moves the window there.
bool Form1::OnMouse(const tqk::MouseEvent& e) {
    if (!moveMode_) return false;
    if (e.message != WM_LBUTTONDOWN && e.message != WM_RBUTTONDOWN) return false;
    POINT at{e.x, e.y};
    ClientToScreen(hwnd_, &at);
    const MoveTarget t =
        MoveByPress(rememberedLeft_, rememberedTop_, at.x - rememberedLeft_, at.y - rememberedTop_);
    EndMoveMode();
    SetWindowPos(hwnd_, nullptr, t.left, t.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void Form1::EndMoveMode() {
    if (!moveMode_) return;
    moveMode_ = false;
    if (GetCapture() == hwnd_) ReleaseCapture();
    Enable(form1_ids::Command1(2), true);
}

}  // namespace tqk::rec
