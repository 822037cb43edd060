#include "window_driver.h"

#include <commctrl.h>

namespace tqk::test {
namespace {

std::wstring Upper(std::wstring s) {
    for (auto& c : s)
        if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
    return s;
}

// This process's environment with the given entries replaced or added, as a CreateProcessW
// block (sorted is not required by the loader).
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& env) {
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += wcslen(p) + 1) entries.emplace_back(p);
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : env) {
        const std::wstring key = Upper(name) + L"=";
        for (auto it = entries.begin(); it != entries.end();) {
            if (Upper(it->substr(0, key.size())) == key)
                it = entries.erase(it);
            else
                ++it;
        }
        entries.push_back(name + L"=" + value);
    }
    std::wstring out;
    for (const auto& e : entries) out += e + L'\0';
    out += L'\0';
    return out;
}

struct FindState {
    DWORD pid;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<FindState*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    if (s->className) {
        wchar_t cls[256] = {};
        GetClassNameW(hwnd, cls, 256);
        if (wcscmp(cls, s->className) != 0) return TRUE;
    }
    if (s->caption && Text(hwnd) != s->caption) return TRUE;
    s->found = hwnd;
    return FALSE;
}

struct ChildSearch {
    HWND parent;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChildren(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    if (s->className && _wcsicmp(ClassName(hwnd).c_str(), s->className) != 0) return TRUE;
    s->found.push_back(hwnd);
    return TRUE;
}

constexpr int kFileTypeList = 0x470;   // cmb1
constexpr int kFileNameCombo = 0x47C;  // cmb13, a ComboBoxEx32 holding the name's Edit
constexpr int kFileNameEdit = 0x480;   // edt1, older layouts

}  // namespace

ChildProcess::~ChildProcess() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) Kill();
        CloseHandle(process_);
    }
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments,
                         const std::vector<std::pair<std::wstring, std::wstring>>& env) {
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    std::wstring block = env.empty() ? std::wstring() : EnvironmentBlock(env);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, block.empty() ? nullptr : block.data(), nullptr,
                        &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

std::optional<DWORD> ChildProcess::WaitExit(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

void ChildProcess::Kill() {
    if (!process_) return;
    TerminateProcess(process_, 255);
    WaitForSingleObject(process_, 5000);
}

HWND WaitForWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
    FindState s{pid, className, caption, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(&FindTop, reinterpret_cast<LPARAM>(&s));
            return s.found != nullptr;
        },
        timeoutMs);
    return s.found;
}

HWND Child(HWND parent, int id) { return GetDlgItem(parent, id); }

std::wstring Text(HWND window) {
    const LRESULT n = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(size_t(n > 0 ? n : 0) + 1, L'\0');
    const LRESULT got =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

void SetText(HWND window, const std::wstring& text) {
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool SetChecked(HWND checkBox, bool checked, DWORD timeoutMs) {
    if (IsChecked(checkBox) == checked) return true;
    Click(checkBox);
    return WaitUntil([&] { return IsChecked(checkBox) == checked; }, timeoutMs);
}

std::wstring ClassName(HWND window) {
    wchar_t cls[256] = {};
    GetClassNameW(window, cls, 256);
    return cls;
}

std::vector<HWND> Children(HWND parent, const wchar_t* className) {
    ChildSearch s{parent, className, {}};
    EnumChildWindows(parent, &CollectChildren, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool ChooseComboEntry(HWND combo, int index) {
    if (SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0) == CB_ERR) return false;
    // As a choice with the mouse or keyboard: the selection changes, then the choice ends.
    for (WORD code : {WORD(CBN_SELCHANGE), WORD(CBN_SELENDOK)})
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), code),
                     reinterpret_cast<LPARAM>(combo));
    return true;
}

bool ChooseComboText(HWND combo, const std::wstring& text) {
    const int n = int(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i)
        if (ComboEntry(combo, i) == text) return ChooseComboEntry(combo, i);
    return false;
}

int ComboSelection(HWND combo) { return int(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

std::wstring ComboEntry(HWND combo, int index) {
    const LRESULT n = SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (n < 0) return {};
    std::wstring text(size_t(n) + 1, L'\0');
    const LRESULT got =
        SendMessageW(combo, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

void SetTrackbarPos(HWND trackbar, int pos) {
    SendMessageW(trackbar, TBM_SETPOS, TRUE, pos);
    const bool vertical = (GetWindowLongPtrW(trackbar, GWL_STYLE) & TBS_VERT) != 0;
    const UINT msg = vertical ? WM_VSCROLL : WM_HSCROLL;
    const int now = TrackbarPos(trackbar);
    HWND owner = GetParent(trackbar);
    SendMessageW(owner, msg, MAKEWPARAM(TB_THUMBPOSITION, now), reinterpret_cast<LPARAM>(trackbar));
    SendMessageW(owner, msg, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(trackbar));
}

int TrackbarPos(HWND trackbar) { return int(SendMessageW(trackbar, TBM_GETPOS, 0, 0)); }

HWND FocusedWindow(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

void PressKey(HWND target, UINT virtualKey) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, LPARAM(1 | (scan << 16)));
    PostMessageW(target, WM_KEYUP, virtualKey, LPARAM(1 | (scan << 16) | (3u << 30)));
}

void TypeChar(HWND target, wchar_t c) { PostMessageW(target, WM_CHAR, WPARAM(c), 1); }

HWND FileNameBox(HWND dialog) {
    if (HWND combo = GetDlgItem(dialog, kFileNameCombo)) {
        for (HWND h : Children(combo, L"Edit")) return h;
        return combo;
    }
    return GetDlgItem(dialog, kFileNameEdit);
}

bool SetFileDialogName(HWND dialog, const std::wstring& name) {
    HWND box = FileNameBox(dialog);
    if (!box) return false;
    SetText(box, name);
    return Text(box) == name;
}

bool ChooseFileDialogFilter(HWND dialog, int index) {
    HWND list = GetDlgItem(dialog, kFileTypeList);
    return list && ChooseComboEntry(list, index);
}

bool CloseFileDialog(HWND dialog, bool ok, DWORD timeoutMs) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(ok ? IDOK : IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, ok ? IDOK : IDCANCEL)));
    return WaitUntil([&] { return !IsWindow(dialog); }, timeoutMs);
}

bool ChooseCompressor(DWORD pid, const std::function<bool(const std::wstring&)>& wanted,
                      DWORD timeoutMs, std::wstring* offered) {
    HWND dialog = nullptr, combo = nullptr;
    WaitUntil(
        [&] {
            dialog = WaitForWindow(pid, L"#32770", nullptr, 50);
            combo = dialog ? FindWindowExW(dialog, nullptr, L"ComboBox", nullptr) : nullptr;
            return combo != nullptr;
        },
        timeoutMs);
    if (!combo) return false;
    // The list is filled after the dialog appears.
    WaitUntil([&] { return SendMessageW(combo, CB_GETCOUNT, 0, 0) > 0; }, 5000);
    bool chosen = false;
    const int n = int(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n && !chosen; ++i) {
        const std::wstring entry = ComboEntry(combo, i);
        if (offered) *offered += L"[" + entry + L"]";
        if (wanted(entry)) chosen = ChooseComboEntry(combo, i);
    }
    PostMessageW(dialog, WM_COMMAND, chosen ? IDOK : IDCANCEL, 0);
    WaitUntil([&] { return !IsWindow(dialog); }, timeoutMs);
    return chosen;
}

bool MessageBoxInfo::Has(int id) const {
    for (int b : buttons)
        if (b == id) return true;
    return false;
}

std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeoutMs) {
    MessageBoxInfo info;
    const bool found = WaitUntil(
        [&] {
            FindState s{pid, L"#32770", nullptr, nullptr};
            EnumWindows(&FindTop, reinterpret_cast<LPARAM>(&s));
            if (!s.found || !GetDlgItem(s.found, 0xFFFF)) return false;
            info.window = s.found;
            return true;
        },
        timeoutMs);
    if (!found) return std::nullopt;
    info.caption = Text(info.window);
    info.text = Text(GetDlgItem(info.window, 0xFFFF));
    for (HWND b : Children(info.window, L"Button")) {
        info.buttons.push_back(GetDlgCtrlID(b));
        info.captions.push_back(Text(b));
    }
    return info;
}

bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId, DWORD timeoutMs) {
    HWND button = GetDlgItem(box.window, buttonId);
    if (!button) return false;
    Click(button);
    return WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); },
                     timeoutMs);
}

}  // namespace tqk::test

namespace tqk::test {

std::string UnixPath(const std::wstring& windowsPath) {
    using Fn = char*(CDECL*)(const wchar_t*);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return {};
    char* p = fn(windowsPath.c_str());
    if (!p) return {};
    std::string out(p);
    HeapFree(GetProcessHeap(), 0, p);
    return out;
}

std::wstring WindowsPathOf(const std::string& unixPath) {
    using Fn = WCHAR*(CDECL*)(LPCSTR);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!fn) return std::wstring(unixPath.begin(), unixPath.end());
    WCHAR* w = fn(unixPath.c_str());
    std::wstring path = w ? w : L"";
    if (w) HeapFree(GetProcessHeap(), 0, w);
    return path;
}

namespace {
std::wstring UniqueTempName(const wchar_t* stem) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    return std::wstring(temp) + stem + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(InterlockedIncrement(&counter));
}

bool WriteText(const std::wstring& path, const std::string& text) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    const BOOL ok = WriteFile(f, text.data(), DWORD(text.size()), &n, nullptr);
    CloseHandle(f);
    return ok && n == text.size();
}

std::optional<std::string> ReadText(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string out;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(f, buffer, sizeof(buffer), &n, nullptr) && n) out.append(buffer, n);
    CloseHandle(f);
    return out;
}
}  // namespace

std::optional<std::string> RunUnixCommand(const std::string& command, DWORD timeoutMs) {
    // A Unix child of a Wine process cannot be waited for through its handle: the script
    // writes a marker file when it has finished instead.
    const std::wstring base = UniqueTempName(L"unixcmd");
    const std::wstring script = base + L".sh", output = base + L".out", done = base + L".done";
    const std::string outUnix = UnixPath(output), doneUnix = UnixPath(done);
    if (outUnix.empty() || !WriteText(script, "(" + command + ") >'" + outUnix + "' 2>&1\n" +
                                                  "echo $? >'" + doneUnix + "'\n"))
        return std::nullopt;
    // The script is handed over by its Unix path.
    const std::string scriptUnix = UnixPath(script);
    std::wstring commandLine =
        L"Z:\\bin\\sh \"" + std::wstring(scriptUnix.begin(), scriptUnix.end()) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::optional<std::string> result;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi)) {
        if (pi.hThread) CloseHandle(pi.hThread);
        if (pi.hProcess) CloseHandle(pi.hProcess);
        if (WaitUntil([&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; },
                      timeoutMs)) {
            Sleep(20);
            result = ReadText(output);
        }
    }
    DeleteFileW(script.c_str());
    DeleteFileW(output.c_str());
    DeleteFileW(done.c_str());
    return result;
}

}  // namespace tqk::test
