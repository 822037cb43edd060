// Drives the windows of another process from a test: starts the process, finds its windows and
// controls, types into them, presses buttons and reads and answers message boxes. Shared by
// the tests of every windowed program.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tqk::test {

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();  // a child still running is ended

    // Starts program with the given command-line tail; env holds NAME=VALUE entries that replace
    // or add to this process's environment. False with GetLastError set.
    bool Start(const std::wstring& program, const std::wstring& arguments = L"",
               const std::vector<std::pair<std::wstring, std::wstring>>& env = {});
    DWORD Id() const { return pid_; }
    HANDLE Handle() const { return process_; }
    // The exit code once the process has ended within timeoutMs; nullopt if it still runs.
    std::optional<DWORD> WaitExit(DWORD timeoutMs);
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// A visible top-level window of process pid with the class and/or caption given (nullptr: any);
// waits up to timeoutMs. nullptr when none appeared.
HWND WaitForWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs);
HWND Child(HWND parent, int id);
std::wstring Text(HWND window);                       // WM_GETTEXT
void SetText(HWND window, const std::wstring& text);  // WM_SETTEXT
bool IsChecked(HWND button);
// Presses a button without waiting for what the press starts (a posted BM_CLICK).
void Click(HWND button);
// Clicks a check box until it has the wanted state.
bool SetChecked(HWND checkBox, bool checked, DWORD timeoutMs = 5000);

// Chooses entry index of a combo box (or the entry whose text is text) as a user would: the
// selection changes and the owner gets CBN_SELCHANGE. False when there is no such entry.
bool ChooseComboEntry(HWND combo, int index);
bool ChooseComboText(HWND combo, const std::wstring& text);
int ComboSelection(HWND combo);
std::wstring ComboEntry(HWND combo, int index);
// Moves a trackbar to pos as a drag would end there: its owner gets WM_HSCROLL/WM_VSCROLL
// with TB_THUMBPOSITION and TB_ENDTRACK.
void SetTrackbarPos(HWND trackbar, int pos);
int TrackbarPos(HWND trackbar);
// The control with the keyboard focus in the thread that owns window (any process).
HWND FocusedWindow(HWND window);
// A key pressed on target (posted WM_KEYDOWN and WM_KEYUP), or a character typed (WM_CHAR).
void PressKey(HWND target, UINT virtualKey);
void TypeChar(HWND target, wchar_t c);
// Child windows of parent of the given class (nullptr: all), in z-order.
std::vector<HWND> Children(HWND parent, const wchar_t* className = nullptr);
std::wstring ClassName(HWND window);

// Common file dialogs (open and save) of any process: the file-name box, the filter list and
// the buttons.
HWND FileNameBox(HWND dialog);
bool SetFileDialogName(HWND dialog, const std::wstring& name);
// Chooses filter index (0-based) in the file-type list.
bool ChooseFileDialogFilter(HWND dialog, int index);
// Presses OK (open/save) or Cancel and waits until the dialog has gone (false if it stays,
// e.g. because it shows a message).
bool CloseFileDialog(HWND dialog, bool ok, DWORD timeoutMs = 5000);

// The platform's compressor dialog of process pid: waits for it and for its list to fill,
// chooses the first entry wanted accepts and presses OK, or presses Cancel when none does, then
// waits for the dialog to close. offered (may be null) gets every entry, each in brackets.
// True when an entry was chosen.
bool ChooseCompressor(DWORD pid, const std::function<bool(const std::wstring&)>& wanted,
                      DWORD timeoutMs, std::wstring* offered = nullptr);

struct MessageBoxInfo {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;            // ids of the box's buttons (IDOK, IDYES, IDNO...)
    std::vector<std::wstring> captions;  // their captions, in the same order
    bool Has(int id) const;
};
// The next message box of process pid (a dialog with a text control 0xFFFF), up to timeoutMs.
std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeoutMs);
// Presses the button id of a message box and waits until the box has gone.
bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId, DWORD timeoutMs = 10000);

// Polls condition every 20 ms until it holds or timeoutMs passed.
template <class F>
bool WaitUntil(F condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

}  // namespace tqk::test

namespace tqk::test {

// The Unix path of a Windows path (Wine only); empty elsewhere.
std::string UnixPath(const std::wstring& windowsPath);
// The Windows path of a file the build names by its Unix path (Wine only; elsewhere the path as
// given).
std::wstring WindowsPathOf(const std::string& unixPath);
// Runs a shell command line of the Unix side (Wine only) and returns its standard output and
// error; nullopt when it could not be started or did not end within timeoutMs.
std::optional<std::string> RunUnixCommand(const std::string& command, DWORD timeoutMs);

}  // namespace tqk::test
