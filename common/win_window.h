// A small window toolkit: a top-level window whose controls are built in code from descriptor
// structs, and a dialog base for resource dialogs. Each has one static procedure that takes
// `this` from WM_NCCREATE / WM_INITDIALOG and forwards to a few virtual handlers; nothing
// thrown by a handler escapes the procedure.
#pragma once

#include <windows.h>

#include <string>

namespace tqk {

// One child control of a window: its window class, id, initial text, style bits and
// position/size in pixels of the client area.
struct ControlSpec {
    const wchar_t* className;  // L"BUTTON", L"STATIC", L"EDIT", ...
    int id;
    const wchar_t* text;
    DWORD style;  // WS_CHILD | WS_VISIBLE are added
    int x, y, width, height;
    DWORD exStyle = 0;
};

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    // Registers the class (once per process) and creates the window with the given client size.
    bool Create(const wchar_t* className, const wchar_t* caption, DWORD style, int clientWidth,
                int clientHeight, HWND owner = nullptr);
    HWND Hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

    std::wstring ItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) const;
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked) const;
    void Close() const { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

protected:
    // Creates the controls; call from OnCreate. Uses the window's GUI font.
    bool AddControls(const ControlSpec* specs, size_t count);

    virtual bool OnCreate() { return true; }  // false: creation fails
    virtual void OnCommand(int /*id*/, int /*notifyCode*/, HWND /*control*/) {}
    virtual void OnTimer(UINT_PTR /*timerId*/) {}
    virtual bool OnClose() { return true; }  // true: the window is destroyed
    virtual void OnDestroy() {}
    // Any other message; the default passes it to DefWindowProc.
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
};

// A dialog from a resource template, modal or modeless.
class Dialog {
public:
    Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog();

    INT_PTR RunModal(HINSTANCE instance, int templateId, HWND owner);
    bool CreateModeless(HINSTANCE instance, int templateId, HWND owner);
    HWND Hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    // Ends a modal dialog with the result, or destroys a modeless one.
    void End(INT_PTR result);

protected:
    virtual bool OnInit() { return true; }  // true: the system sets the focus
    virtual void OnCommand(int id, int notifyCode, HWND control);  // IDOK/IDCANCEL end it
    virtual void OnTimer(UINT_PTR /*timerId*/) {}
    virtual void OnDestroy() {}
    // Any other message; return true when handled.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/) { return false; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// Runs the thread's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();
// Processes the window messages waiting in the thread's queue, then returns.
void PumpMessages();

}  // namespace tqk
