// The window toolkit every program shares. A window is a table of controls (ControlSpec) built
// in code, under a top-level `Window` or a `Dialog` (class "#32770", from a resource template or
// from a DialogSpec in memory). Both share the by-id helpers, the stacked pages, the DPI scale
// and a modal run. Each base has one static procedure that takes `this` from WM_NCCREATE /
// WM_INITDIALOG and forwards to typed virtual handlers; nothing thrown by a handler escapes it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <string>
#include <vector>

#include "control_ids.h"
#include "dpi_scale.h"
#include "message_pump.h"

namespace tqk {

// One child control: its window class, id, initial text, style bits and position/size in
// 96-DPI pixels of the client area (scaled to the window's DPI when created).
struct ControlSpec {
    const wchar_t* className;  // L"BUTTON", L"STATIC", L"EDIT", TRACKBAR_CLASSW, ...
    int id;
    const wchar_t* text;
    DWORD style;              // WS_CHILD is added, and WS_VISIBLE unless the control starts hidden
    int x, y, width, height;  // 96-DPI pixels
    DWORD exStyle = 0;
    int page = 0;         // 0: on every page; n > 0: one of page n's controls (stacked pages)
    bool hidden = false;  // created hidden; the window shows it when its logic says so
};

// A top-level window: class attributes and creation parameters.
struct WindowSpec {
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;
    int clientWidth, clientHeight;  // 96-DPI pixels (device pixels when !dpiScaled)
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;  // screen pixels
    HWND owner = nullptr;
    HMENU menu = nullptr;      // the window owns it from Create on; the client area excludes it
    HCURSOR cursor = nullptr;  // nullptr: the arrow
    HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);  // nullptr: none
    HICON icon = nullptr;   // nullptr: the program's icon 1, else the platform's
    bool dpiScaled = true;  // false: sizes are device pixels (a window covering the screen)
};

// A dialog built in memory (no resource): its frame; the controls come from AddControls in
// OnInit.
struct DialogSpec {
    const wchar_t* caption;
    DWORD style;                    // e.g. WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
    int clientWidth, clientHeight;  // 96-DPI pixels
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;  // CW_USEDEFAULT: centred on the owner or screen
};

// A mouse message as the handlers get it.
struct MouseEvent {
    UINT message;  // WM_MOUSEMOVE, WM_LBUTTONDOWN, ... WM_MOUSEWHEEL
    int x, y;      // client pixels (screen pixels for WM_MOUSEWHEEL)
    WPARAM keys;   // MK_LBUTTON, MK_SHIFT, ...
};

// A WM_HSCROLL / WM_VSCROLL message: from a scroll bar or trackbar control (id != 0) or the
// window's own bar (id 0). pos is the full 32-bit position the request leads to.
struct ScrollEvent {
    bool vertical;
    int id;
    HWND control;
    int code;  // SB_LINEUP, SB_THUMBTRACK, TB_ENDTRACK, ...
    int pos;
};

// Initialises the common controls (trackbar, up-down, tooltips, progress, list view...) once.
void EnsureCommonControls();

// The DPI a window is shown at (the system's DPI when the platform has no per-window DPI).
int WindowDpi(HWND window);
int SystemDpi();

// By-id helpers on (parent, id), shared by every window.
// Enables or disables a control; a control losing its enabled state while it has the focus
// passes the focus on to the next tab stop first.
void EnableItem(HWND parent, int id, bool enabled);
void ShowItem(HWND parent, int id, bool shown);  // hiding moves the focus on the same way
std::wstring ItemText(HWND parent, int id);
void SetItemText(HWND parent, int id, const std::wstring& text);

// What Window and Dialog share: the controls, the by-id helpers, pages, DPI and the modal run.
class WindowBase {
public:
    WindowBase() = default;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;
    virtual ~WindowBase();

    HWND Hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    // The id of a control of this window, or 0.
    static int IdOf(HWND control) { return control ? GetDlgCtrlID(control) : 0; }

    // The window's DPI and the scale of 96-DPI pixels and twips to its pixels.
    // A window created with dpiScaled = false keeps 96-DPI figures as device pixels.
    DpiScale Scale() const { return DpiScale(dpiScaled_ ? dpi_ : kBaseDpi); }
    int Px(int px96) const { return Scale().Px(px96); }

    std::wstring ItemText(int id) const { return tqk::ItemText(hwnd_, id); }
    void SetItemText(int id, const std::wstring& text) const { tqk::SetItemText(hwnd_, id, text); }
    // The text as a number; false in *ok (when given) if it is not one.
    int ItemInt(int id, bool* ok = nullptr) const;
    void SetItemInt(int id, int value) const;

    void Enable(int id, bool enabled) const { EnableItem(hwnd_, id, enabled); }
    bool IsEnabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    void Show(int id, bool shown) const { ShowItem(hwnd_, id, shown); }
    // The control's own visibility (true even while the window itself is hidden).
    bool IsShown(int id) const {
        return (GetWindowLongPtrW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0;
    }

    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked) const;
    // Radio groups as a block of ids: checks element index (unchecks the others); the checked
    // element's index, or -1.
    void CheckRadio(IdBlock group, int index) const;
    int CheckedRadio(IdBlock group) const;

    // Combo boxes (drop-down lists) and list boxes: add, clear, count, selection, entry text.
    int ComboAdd(int id, const std::wstring& text) const;
    void ComboClear(int id) const;
    int ComboCount(int id) const;
    int ComboSelection(int id) const;  // -1: none
    void ComboSelect(int id, int index) const;
    std::wstring ComboEntry(int id, int index) const;
    int ListAdd(int id, const std::wstring& text) const;
    void ListClear(int id) const;
    int ListCount(int id) const;
    int ListSelection(int id) const;  // -1: none
    void ListSelect(int id, int index) const;
    std::wstring ListEntry(int id, int index) const;

    // Scroll bar controls, trackbars and up-down controls: range and position.
    void SetScrollRange(int id, int min, int max, int page = 0) const;
    int ScrollPos(int id) const;
    void SetScrollPos(int id, int pos) const;
    void SetTrackRange(int id, int min, int max) const;
    int TrackPos(int id) const;
    void SetTrackPos(int id, int pos) const;
    void SetUpDownRange(int id, int min, int max) const;
    int UpDownPos(int id) const;
    void SetUpDownPos(int id, int pos) const;

    // Stacked pages: shows the controls of page (those not created hidden) and hides every other
    // page's controls. Controls of page 0 are left alone. Pages start all hidden.
    void ShowPage(int page);
    int Page() const { return page_; }

    // Shows the window modally: its owner is disabled, the window runs its own message loop
    // until EndModal or until it is destroyed, then it is hidden and the owner enabled again.
    // The result is EndModal's (0 when the window was closed otherwise).
    int ShowModal();
    void EndModal(int result);
    bool InModal() const { return modalDepth_ > 0; }

    void Close() const { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

protected:
    // Creates the controls of the table at the window's DPI, with the window's font.
    [[nodiscard]] bool AddControls(const ControlSpec* specs, size_t count);
    template <size_t N>
    [[nodiscard]] bool AddControls(const ControlSpec (&specs)[N]) {
        return AddControls(specs, N);
    }
    // The window's font (the platform's message font at the window's DPI), made on first use.
    HFONT Font();

    // Typed handlers; defaults do nothing.
    virtual void OnCommand(int /*id*/, int /*notifyCode*/, HWND /*control*/) {}
    virtual LRESULT OnNotify(int /*id*/, NMHDR* /*header*/) { return 0; }
    virtual void OnTimer(UINT_PTR /*timerId*/) {}
    virtual void OnSize(UINT /*type*/, int /*width*/, int /*height*/) {}
    virtual void OnScroll(const ScrollEvent& /*e*/) {}
    virtual bool OnMouse(const MouseEvent& /*e*/) { return false; }  // true: handled
    // Paints inside BeginPaint/EndPaint.
    virtual void OnPaint(HDC /*dc*/, const RECT& /*dirty*/) {}
    virtual void OnDropFiles(const std::vector<std::wstring>& /*paths*/, POINT /*at*/) {}
    virtual void OnDestroy() {}
    // Called by ShowModal's loop before a message is dispatched; true: it was handled.
    virtual bool PreTranslate(MSG& /*msg*/) { return false; }
    // Called by ShowModal's loop after each message: where the focus is now.
    virtual void NoteFocus() {}
    // After the DPI changed (per-monitor awareness): controls were moved and the font remade.
    virtual void OnDpiChanged() {}

    // Typed dispatch shared by both procedures; false: not handled here.
    bool DispatchCommon(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
    void Attach(HWND hwnd);
    void Detached();
    void ApplyDpi(int dpi);  // relayouts the controls for a new DPI

    HWND hwnd_ = nullptr;
    int dpi_ = kBaseDpi;
    bool dpiScaled_ = true;

private:
    struct Placed {
        const ControlSpec* spec;
    };
    void MakeFont();

    HFONT font_ = nullptr;
    std::vector<Placed> controls_;
    int page_ = 0;
    int modalDepth_ = 0;
    bool modalDone_ = false;
    int modalResult_ = 0;
};

// Logs what a catch-all boundary swallowed; called inside its catch (...) block.
void LogSwallowedException(UINT msg);

// The boundary of Window::Proc around a plain window procedure (a child class registered on
// its own): whatever Body throws is logged and the message gets the default handling, so no
// exception crosses into the platform's code.
//   wc.lpfnWndProc = &GuardedProc<&MyPictureProc>;
template <WNDPROC Body>
LRESULT CALLBACK GuardedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    try {
        return Body(hwnd, msg, wp, lp);
    } catch (...) {
        LogSwallowedException(msg);
        return msg == WM_CREATE ? -1 : DefWindowProcW(hwnd, msg, wp, lp);
    }
}

class Window : public WindowBase {
public:
    ~Window() override;

    // Registers the class (once per process; the first spec of a class name fixes its cursor,
    // brush and icon) and creates the window with the given client size.
    [[nodiscard]] bool Create(const WindowSpec& spec);
    // The older form: default position, no menu, arrow cursor, button-face background.
    [[nodiscard]] bool Create(const wchar_t* className, const wchar_t* caption, DWORD style,
                              int clientWidth, int clientHeight, HWND owner = nullptr);

protected:
    virtual bool OnCreate() { return true; }  // false: creation fails
    virtual bool OnClose() { return true; }   // true: the window is destroyed
    // Any other message; the default passes it to DefWindowProc.
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

    // Keyboard use as in a dialog, for a window of controls that is not one: the control
    // that had the focus gets it back when the window is activated again (after a message
    // box or a dialog the platform would leave it on the window itself), `fallbackId` when
    // that control is gone, hidden or disabled; and Enter presses the focused button, doing
    // nothing elsewhere.
    void KeepFocusLikeADialog(int fallbackId) {
        focusFallback_ = fallbackId;
        keepsFocus_ = true;
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    // WM_ACTIVATE and DM_GETDEFID for KeepFocusLikeADialog; true when handled.
    bool KeepFocus(UINT msg, WPARAM wp, LRESULT* ret);
    void NoteFocus() override;

    bool keepsFocus_ = false;
    int focusFallback_ = 0;
    int lastFocus_ = 0;  // the control that last had the focus
};

// A dialog (class "#32770"), from a resource template or a DialogSpec, modal or modeless.
class Dialog : public WindowBase {
public:
    ~Dialog() override;

    INT_PTR RunModal(HINSTANCE instance, int templateId, HWND owner);
    [[nodiscard]] bool CreateModeless(HINSTANCE instance, int templateId, HWND owner);
    // Built in memory: DialogBox's own modal loop, or a modeless dialog (which ShowModal can
    // then run with PreTranslate).
    INT_PTR RunModal(const DialogSpec& spec, HWND owner);
    [[nodiscard]] bool CreateModeless(const DialogSpec& spec, HWND owner);
    // Ends a modal dialog with the result (EndDialog, or EndModal for ShowModal), or destroys a
    // modeless one.
    void End(INT_PTR result);

protected:
    virtual bool OnInit() { return true; }  // true: the system sets the focus
    void OnCommand(int id, int notifyCode, HWND control) override;  // IDOK/IDCANCEL end it
    // WM_CLOSE; the default acts as the platform's: IDCANCEL.
    virtual void OnClose() { SendMessageW(hwnd_, WM_COMMAND, IDCANCEL, 0); }
    // Any other message; return true when handled.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/) { return false; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    std::vector<WORD> BuildTemplate(const DialogSpec& spec) const;

    bool modal_ = false;
    const DialogSpec* spec_ = nullptr;
};

}  // namespace tqk
