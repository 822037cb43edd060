#include "win_window.h"

#include <shellapi.h>

#include <cstdlib>
#include <exception>
#include <string>

namespace tqk {
namespace {

// Newer DPI functions of user32, looked up at run time: the programs also run where they are
// missing (and the 32-bit build links against no import of them).
template <class Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                  : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SpiForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

bool AdjustRect(RECT* r, DWORD style, bool menu, DWORD exStyle, int dpi) {
    static const auto forDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (forDpi) return forDpi(r, style, menu, exStyle, UINT(dpi)) != FALSE;
    return AdjustWindowRectEx(r, style, menu, exStyle) != FALSE;
}

bool HasFocusIn(HWND control) {
    HWND focus = GetFocus();
    return focus && (focus == control || IsChild(control, focus));
}

// Moves the focus off control to the next tab stop of its top-level window.
void MoveFocusOff(HWND parent, HWND control) {
    HWND root = GetAncestor(parent, GA_ROOT);
    wchar_t cls[16] = {};
    GetClassNameW(root, cls, 16);
    if (wcscmp(cls, L"#32770") == 0) {
        SendMessageW(root, WM_NEXTDLGCTL, 0, FALSE);  // keeps the default button right
        if (!HasFocusIn(control)) return;
    }
    HWND next = GetNextDlgTabItem(root, control, FALSE);
    SetFocus(next && next != control ? next : root);
}

int ClassKind(HWND control) {  // 1 trackbar, 2 scroll bar, 0 other
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    if (_wcsicmp(cls, TRACKBAR_CLASSW) == 0) return 1;
    if (_wcsicmp(cls, L"ScrollBar") == 0) return 2;
    return 0;
}

std::wstring EntryText(HWND control, UINT lenMsg, UINT textMsg, int index) {
    const LRESULT n = SendMessageW(control, lenMsg, WPARAM(index), 0);
    if (n < 0) return {};
    std::wstring text(size_t(n) + 1, L'\0');
    const LRESULT got = SendMessageW(control, textMsg, WPARAM(index), LPARAM(text.data()));
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

}  // namespace

void LogSwallowedException(UINT msg) {
    std::string what = "unknown exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    const std::string line =
        "taviro: exception in the handler of message " + std::to_string(msg) + ": " + what + "\n";
    OutputDebugStringA(line.c_str());
}

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = sizeof(icc);
        icc.dwICC = ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES |
                    ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES;
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

int SystemDpi() {
    static const auto forSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    if (forSystem) return int(forSystem());
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : kBaseDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

int WindowDpi(HWND window) {
    static const auto forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (forWindow && window) {
        const UINT dpi = forWindow(window);
        if (dpi) return int(dpi);
    }
    return SystemDpi();
}

void EnableItem(HWND parent, int id, bool enabled) {
    HWND control = GetDlgItem(parent, id);
    if (!control) return;
    if (!enabled && HasFocusIn(control)) MoveFocusOff(parent, control);
    EnableWindow(control, enabled);
}

void ShowItem(HWND parent, int id, bool shown) {
    HWND control = GetDlgItem(parent, id);
    if (!control) return;
    if (!shown && HasFocusIn(control)) MoveFocusOff(parent, control);
    ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
}

std::wstring ItemText(HWND parent, int id) {
    HWND item = GetDlgItem(parent, id);
    if (!item) return {};
    const int n = GetWindowTextLengthW(item);
    std::wstring text(size_t(n) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), n + 1);
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

void SetItemText(HWND parent, int id, const std::wstring& text) {
    SetWindowTextW(GetDlgItem(parent, id), text.c_str());
}

WindowBase::~WindowBase() {
    if (font_) DeleteObject(font_);
}

int WindowBase::ItemInt(int id, bool* ok) const {
    const std::wstring text = ItemText(id);
    wchar_t* end = nullptr;
    const long v = text.empty() ? 0 : std::wcstol(text.c_str(), &end, 10);
    const bool good = !text.empty() && end && *end == L'\0';
    if (ok) *ok = good;
    return good ? int(v) : 0;
}

void WindowBase::SetItemInt(int id, int value) const { SetItemText(id, std::to_wstring(value)); }

bool WindowBase::IsChecked(int id) const {
    return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WindowBase::SetChecked(int id, bool checked) const {
    SendMessageW(Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void WindowBase::CheckRadio(IdBlock group, int index) const {
    for (int i = 0; i < group.count; ++i) SetChecked(group(i), i == index);
}

int WindowBase::CheckedRadio(IdBlock group) const {
    for (int i = 0; i < group.count; ++i)
        if (IsChecked(group(i))) return i;
    return -1;
}

int WindowBase::ComboAdd(int id, const std::wstring& text) const {
    return int(SendMessageW(Item(id), CB_ADDSTRING, 0, LPARAM(text.c_str())));
}
void WindowBase::ComboClear(int id) const { SendMessageW(Item(id), CB_RESETCONTENT, 0, 0); }
int WindowBase::ComboCount(int id) const { return int(SendMessageW(Item(id), CB_GETCOUNT, 0, 0)); }
int WindowBase::ComboSelection(int id) const {
    return int(SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
}
void WindowBase::ComboSelect(int id, int index) const {
    SendMessageW(Item(id), CB_SETCURSEL, WPARAM(index), 0);
}
std::wstring WindowBase::ComboEntry(int id, int index) const {
    return EntryText(Item(id), CB_GETLBTEXTLEN, CB_GETLBTEXT, index);
}

int WindowBase::ListAdd(int id, const std::wstring& text) const {
    return int(SendMessageW(Item(id), LB_ADDSTRING, 0, LPARAM(text.c_str())));
}
void WindowBase::ListClear(int id) const { SendMessageW(Item(id), LB_RESETCONTENT, 0, 0); }
int WindowBase::ListCount(int id) const { return int(SendMessageW(Item(id), LB_GETCOUNT, 0, 0)); }
int WindowBase::ListSelection(int id) const {
    return int(SendMessageW(Item(id), LB_GETCURSEL, 0, 0));
}
void WindowBase::ListSelect(int id, int index) const {
    SendMessageW(Item(id), LB_SETCURSEL, WPARAM(index), 0);
}
std::wstring WindowBase::ListEntry(int id, int index) const {
    return EntryText(Item(id), LB_GETTEXTLEN, LB_GETTEXT, index);
}

void WindowBase::SetScrollRange(int id, int min, int max, int page) const {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | (page > 0 ? SIF_PAGE : 0);
    si.nMin = min;
    si.nMax = max;
    si.nPage = UINT(page);
    SetScrollInfo(Item(id), SB_CTL, &si, TRUE);
}
int WindowBase::ScrollPos(int id) const {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_POS;
    return GetScrollInfo(Item(id), SB_CTL, &si) ? si.nPos : 0;
}
void WindowBase::SetScrollPos(int id, int pos) const {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(Item(id), SB_CTL, &si, TRUE);
}

void WindowBase::SetTrackRange(int id, int min, int max) const {
    SendMessageW(Item(id), TBM_SETRANGEMIN, FALSE, min);
    SendMessageW(Item(id), TBM_SETRANGEMAX, TRUE, max);
}
int WindowBase::TrackPos(int id) const { return int(SendMessageW(Item(id), TBM_GETPOS, 0, 0)); }
void WindowBase::SetTrackPos(int id, int pos) const {
    SendMessageW(Item(id), TBM_SETPOS, TRUE, pos);
}

void WindowBase::SetUpDownRange(int id, int min, int max) const {
    SendMessageW(Item(id), UDM_SETRANGE32, WPARAM(min), LPARAM(max));
}
int WindowBase::UpDownPos(int id) const { return int(SendMessageW(Item(id), UDM_GETPOS32, 0, 0)); }
void WindowBase::SetUpDownPos(int id, int pos) const {
    SendMessageW(Item(id), UDM_SETPOS32, 0, pos);
}

void WindowBase::MakeFont() {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    static const auto forDpi = User32Function<SpiForDpiFn>("SystemParametersInfoForDpi");
    bool ok = forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0, UINT(dpi_));
    if (!ok) {
        ok = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0) != FALSE;
        // Metrics of the system DPI; a window on a monitor of another DPI scales them.
        const int system = SystemDpi();
        if (ok && system != dpi_)
            ncm.lfMessageFont.lfHeight = MulDiv(ncm.lfMessageFont.lfHeight, dpi_, system);
    }
    HFONT font = ok ? CreateFontIndirectW(&ncm.lfMessageFont) : nullptr;
    if (font) {
        if (font_) DeleteObject(font_);
        font_ = font;
    }
}

HFONT WindowBase::Font() {
    if (!font_) MakeFont();
    return font_ ? font_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool WindowBase::AddControls(const ControlSpec* specs, size_t count) {
    EnsureCommonControls();
    HFONT font = Font();
    const DpiScale s = Scale();
    for (size_t i = 0; i < count; ++i) {
        const ControlSpec& c = specs[i];
        const bool visible = !c.hidden && (c.page == 0 || c.page == page_);
        HWND h = CreateWindowExW(c.exStyle, c.className, c.text,
                                 WS_CHILD | (visible ? WS_VISIBLE : 0) | (c.style & ~WS_VISIBLE),
                                 s.Px(c.x), s.Px(c.y), s.Px(c.width), s.Px(c.height), hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                 GetModuleHandleW(nullptr), nullptr);
        if (!h) return false;
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        controls_.push_back({&c});
    }
    return true;
}

void WindowBase::ShowPage(int page) {
    page_ = page;
    // Hide first, so the focus never lands on a control about to go.
    for (const Placed& p : controls_)
        if (p.spec->page != 0 && p.spec->page != page) Show(p.spec->id, false);
    for (const Placed& p : controls_)
        if (p.spec->page == page && !p.spec->hidden) Show(p.spec->id, true);
}

void WindowBase::ApplyDpi(int dpi) {
    if (dpi == dpi_ || dpi <= 0) return;
    dpi_ = dpi;
    if (!dpiScaled_) return;
    MakeFont();
    const DpiScale s = Scale();
    for (const Placed& p : controls_) {
        HWND h = Item(p.spec->id);
        if (!h) continue;
        SetWindowPos(h, nullptr, s.Px(p.spec->x), s.Px(p.spec->y), s.Px(p.spec->width),
                     s.Px(p.spec->height), SWP_NOZORDER | SWP_NOACTIVATE);
        if (font_) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    OnDpiChanged();
}

int WindowBase::ShowModal() {
    if (!hwnd_) return 0;
    HWND owner = GetWindow(hwnd_, GW_OWNER);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    ++modalDepth_;
    modalDone_ = false;
    modalResult_ = 0;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    HWND self = hwnd_;
    MSG msg;
    while (!modalDone_ && IsWindow(self)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {  // WM_QUIT: ends this loop and is put back for the outer one
            PostQuitMessage(int(msg.wParam));
            break;
        }
        if (PreTranslate(msg)) continue;
        if (!IsDialogMessageW(self, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        NoteFocus();
    }
    --modalDepth_;
    // The owner first, so the activation returns to it when this window goes.
    if (disableOwner) EnableWindow(owner, TRUE);
    if (IsWindow(self)) ShowWindow(self, SW_HIDE);
    if (owner && disableOwner) SetActiveWindow(owner);
    modalDone_ = false;
    return modalResult_;
}

void WindowBase::EndModal(int result) {
    modalResult_ = result;
    modalDone_ = true;
    if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the loop
}

void WindowBase::Attach(HWND hwnd) {
    hwnd_ = hwnd;
    dpi_ = WindowDpi(hwnd);
}

void WindowBase::Detached() {
    hwnd_ = nullptr;
    controls_.clear();
    if (modalDepth_ > 0) modalDone_ = true;
}

bool WindowBase::DispatchCommon(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    *result = 0;
    switch (msg) {
    case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)); return true;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        *result = OnNotify(header ? int(header->idFrom) : 0, header);
        return true;
    }
    case WM_TIMER: OnTimer(wp); return true;
    case WM_SIZE: OnSize(UINT(wp), short(LOWORD(lp)), short(HIWORD(lp))); return true;
    case WM_HSCROLL:
    case WM_VSCROLL: {
        ScrollEvent e{msg == WM_VSCROLL, 0, reinterpret_cast<HWND>(lp), int(LOWORD(wp)), 0};
        e.id = IdOf(e.control);
        if (e.control && ClassKind(e.control) == 1) {
            e.pos = int(SendMessageW(e.control, TBM_GETPOS, 0, 0));
        } else {
            SCROLLINFO si{};
            si.cbSize = sizeof(si);
            si.fMask = SIF_ALL;
            const int bar = e.control ? SB_CTL : (e.vertical ? SB_VERT : SB_HORZ);
            GetScrollInfo(e.control ? e.control : hwnd_, bar, &si);
            e.pos =
                (e.code == SB_THUMBTRACK || e.code == SB_THUMBPOSITION) ? si.nTrackPos : si.nPos;
        }
        OnScroll(e);
        return true;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSEWHEEL: {
        const MouseEvent e{msg, short(LOWORD(lp)), short(HIWORD(lp)), wp};
        return OnMouse(e);
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        if (dc) OnPaint(dc, ps.rcPaint);
        EndPaint(hwnd_, &ps);
        return true;
    }
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wp);
        std::vector<std::wstring> paths;
        const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
            const UINT len = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(size_t(len) + 1, L'\0');
            DragQueryFileW(drop, i, path.data(), len + 1);
            path.resize(len);
            paths.push_back(std::move(path));
        }
        POINT at{};
        DragQueryPoint(drop, &at);
        DragFinish(drop);
        OnDropFiles(paths, at);
        return true;
    }
    case WM_DPICHANGED: {
        const RECT* r = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi(HIWORD(wp));
        return true;
    }
    case WM_DESTROY: OnDestroy(); return true;
    default: return false;
    }
}

Window::~Window() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool Window::Create(const wchar_t* className, const wchar_t* caption, DWORD style, int clientWidth,
                    int clientHeight, HWND owner) {
    WindowSpec spec{className, caption, style, clientWidth, clientHeight};
    spec.owner = owner;
    return Create(spec);
}

bool Window::Create(const WindowSpec& spec) {
    EnsureCommonControls();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(instance, spec.className, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &Window::Proc;
        wc.hInstance = instance;
        wc.hCursor = spec.cursor ? spec.cursor : LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = spec.icon ? spec.icon : LoadIconW(instance, MAKEINTRESOURCEW(1));
        if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        wc.hbrBackground = spec.background;
        wc.lpszClassName = spec.className;
        if (!RegisterClassExW(&wc)) return false;
    }
    dpiScaled_ = spec.dpiScaled;
    const int dpi = spec.dpiScaled ? SystemDpi() : kBaseDpi;
    const DpiScale s(dpi);
    const int w = spec.dpiScaled ? s.Px(spec.clientWidth) : spec.clientWidth;
    const int h = spec.dpiScaled ? s.Px(spec.clientHeight) : spec.clientHeight;
    RECT r{0, 0, w, h};
    AdjustRect(&r, spec.style, spec.menu != nullptr, spec.exStyle, dpi);
    hwnd_ = nullptr;
    HWND created =
        CreateWindowExW(spec.exStyle, spec.className, spec.caption, spec.style, spec.x, spec.y,
                        r.right - r.left, r.bottom - r.top, spec.owner, spec.menu, instance, this);
    if (!created) {
        if (spec.menu) DestroyMenu(spec.menu);
        return false;
    }
    // A window placed on a monitor of another DPI (per-monitor awareness) gets its size again.
    if (spec.dpiScaled && dpi_ != dpi) {
        const DpiScale now(dpi_);
        RECT n{0, 0, now.Px(spec.clientWidth), now.Px(spec.clientHeight)};
        AdjustRect(&n, spec.style, spec.menu != nullptr, spec.exStyle, dpi_);
        SetWindowPos(created, nullptr, 0, 0, n.right - n.left, n.bottom - n.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

// Noted after every message as well as at the deactivation: when another program takes the
// foreground, the focus may already be gone by the time the deactivation arrives.
void Window::NoteFocus() {
    if (!keepsFocus_ || !hwnd_) return;
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) lastFocus_ = IdOf(focus);
}

bool Window::KeepFocus(UINT msg, WPARAM wp, LRESULT* ret) {
    if (!keepsFocus_) return false;
    if (msg == WM_ACTIVATE) {
        if (LOWORD(wp) == WA_INACTIVE) {
            NoteFocus();
        } else if (!HIWORD(wp)) {  // not while minimised
            HWND back = lastFocus_ ? Item(lastFocus_) : nullptr;
            if (!back || !IsWindowVisible(back) || !IsWindowEnabled(back))
                back = Item(focusFallback_);
            if (back) SetFocus(back);
        }
        *ret = 0;
        return true;
    }
    if (msg == DM_GETDEFID) {
        HWND focus = GetFocus();
        const bool button = focus && GetParent(focus) == hwnd_ &&
                            (SendMessageW(focus, WM_GETDLGCODE, 0, 0) &
                             (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON));
        *ret = button ? MAKELRESULT(IdOf(focus), DC_HASDEFID) : 0;
        return true;
    }
    return false;
}

LRESULT Window::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: return OnCreate() ? 0 : -1;
    case WM_CLOSE:
        if (OnClose()) DestroyWindow(hwnd_);
        return 0;
    default: {
        LRESULT r = 0;
        if (KeepFocus(msg, wp, &r)) return r;
        if (DispatchCommon(msg, wp, lp, &r)) return r;
        return OnMessage(msg, wp, lp);
    }
    }
}

LRESULT CALLBACK Window::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->Attach(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    try {
        result = self->Dispatch(msg, wp, lp);
    } catch (...) {
        LogSwallowedException(msg);
        result = msg == WM_CREATE ? -1 : DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->Detached();
    }
    return result;
}

Dialog::~Dialog() {
    if (hwnd_ && !modal_) {
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        DestroyWindow(hwnd_);
    }
}

INT_PTR Dialog::RunModal(HINSTANCE instance, int templateId, HWND owner) {
    EnsureCommonControls();
    modal_ = true;
    spec_ = nullptr;
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, &Dialog::Proc,
                           reinterpret_cast<LPARAM>(this));
}

bool Dialog::CreateModeless(HINSTANCE instance, int templateId, HWND owner) {
    EnsureCommonControls();
    modal_ = false;
    spec_ = nullptr;
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), owner, &Dialog::Proc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

std::vector<WORD> Dialog::BuildTemplate(const DialogSpec& spec) const {
    // DLGTEMPLATE, then no menu, the default class and the caption; sized in OnInit in pixels.
    std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* dt = reinterpret_cast<DLGTEMPLATE*>(t.data());
    dt->style = spec.style & ~(DS_SETFONT | WS_VISIBLE);
    dt->dwExtendedStyle = spec.exStyle;
    dt->cdit = 0;
    t.push_back(0);  // menu
    t.push_back(0);  // class
    for (const wchar_t* p = spec.caption ? spec.caption : L""; *p; ++p) t.push_back(WORD(*p));
    t.push_back(0);
    return t;
}

INT_PTR Dialog::RunModal(const DialogSpec& spec, HWND owner) {
    EnsureCommonControls();
    modal_ = true;
    spec_ = &spec;
    const std::vector<WORD> t = BuildTemplate(spec);
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner,
        &Dialog::Proc, reinterpret_cast<LPARAM>(this));
    spec_ = nullptr;
    return result;
}

bool Dialog::CreateModeless(const DialogSpec& spec, HWND owner) {
    EnsureCommonControls();
    modal_ = false;
    spec_ = &spec;
    const std::vector<WORD> t = BuildTemplate(spec);
    HWND created = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                              reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner,
                                              &Dialog::Proc, reinterpret_cast<LPARAM>(this));
    spec_ = nullptr;
    return created != nullptr;
}

void Dialog::End(INT_PTR result) {
    if (InModal())
        EndModal(int(result));
    else if (modal_)
        EndDialog(hwnd_, result);
    else
        DestroyWindow(hwnd_);
}

void Dialog::OnCommand(int id, int, HWND) {
    if (id == IDOK || id == IDCANCEL) End(id);
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        if (spec_) {
            // The frame in pixels at the dialog's DPI, centred on the owner or the work area.
            const DpiScale s = Scale();
            RECT r{0, 0, s.Px(spec_->clientWidth), s.Px(spec_->clientHeight)};
            const DWORD style = DWORD(GetWindowLongPtrW(hwnd_, GWL_STYLE));
            const DWORD ex = DWORD(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
            AdjustRect(&r, style, false, ex, dpi_);
            const int w = r.right - r.left, h = r.bottom - r.top;
            int x = spec_->x, y = spec_->y;
            if (x == CW_USEDEFAULT || y == CW_USEDEFAULT) {
                HWND owner = GetWindow(hwnd_, GW_OWNER);
                RECT area{};
                if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
                    GetWindowRect(owner, &area);
                } else {
                    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
                }
                x = area.left + (area.right - area.left - w) / 2;
                y = area.top + (area.bottom - area.top - h) / 2;
                RECT work{};
                SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
                if (x + w > work.right) x = work.right - w;
                if (y + h > work.bottom) y = work.bottom - h;
                if (x < work.left) x = work.left;
                if (y < work.top) y = work.top;
            }
            SetWindowPos(hwnd_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return OnInit() ? TRUE : FALSE;
    }
    case WM_CLOSE: OnClose(); return TRUE;
    default: {
        LRESULT r = 0;
        if (DispatchCommon(msg, wp, lp, &r)) {
            if (msg == WM_NOTIFY) SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, r);
            return TRUE;
        }
        return OnMessage(msg, wp, lp) ? TRUE : FALSE;
    }
    }
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->Attach(hwnd);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->Dispatch(msg, wp, lp);
    } catch (...) {
        LogSwallowedException(msg);
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->Detached();
    }
    return result;
}

}  // namespace tqk
