#include "rec_ui.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "win_text.h"

namespace tqk::rec {

int RecMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title) {
    return MessageBoxW(owner, text.c_str(), title.empty() ? L"TaviroRec" : title.c_str(), style);
}

namespace {

std::vector<wchar_t> FilterBuffer(const std::wstring& filter) {
    std::vector<wchar_t> b(filter.begin(), filter.end());
    for (wchar_t& c : b) {
        if (c == L'|') c = L'\0';
    }
    b.push_back(L'\0');
    b.push_back(L'\0');
    return b;
}

std::wstring RunFileDialog(HWND owner, const std::wstring& filter, const std::wstring& folder,
                           const std::wstring& proposedName, bool save) {
    std::vector<wchar_t> file(2600, L'\0');
    proposedName.copy(file.data(), std::min(proposedName.size(), file.size() - 1));
    std::vector<wchar_t> filters = FilterBuffer(filter);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.data();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = OFN_ENABLESIZING | OFN_EXPLORER | OFN_NONETWORKBUTTON | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR;
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok) return {};
    std::wstring path(file.data());
    if (save) {
        // A name without an extension gets the filter's.
        const size_t name = path.find_last_of(L"\\/");
        const std::wstring part = name == std::wstring::npos ? path : path.substr(name + 1);
        const size_t dot = filter.rfind(L'.');
        if (part.find(L'.') == std::wstring::npos && dot != std::wstring::npos) {
            path += filter.substr(dot);
        }
    }
    return path;
}

}  // namespace

std::wstring RecSaveFile(HWND owner, const std::wstring& filter, const std::wstring& folder,
                         const std::wstring& proposedName) {
    return RunFileDialog(owner, filter, folder, proposedName, true);
}

std::wstring RecOpenFile(HWND owner, const std::wstring& filter, const std::wstring& folder) {
    return RunFileDialog(owner, filter, folder, L"", false);
}

struct RecToolTips::Impl {
    HWND tip = nullptr;
};

RecToolTips::RecToolTips() : impl_(std::make_unique<Impl>()) {}

RecToolTips::~RecToolTips() {
    if (impl_->tip) DestroyWindow(impl_->tip);
}

void RecToolTips::Init(HWND owner) {
    impl_->tip = CreateWindowExW(0, TOOLTIPS_CLASSW, L"", TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!impl_->tip) return;
    SendMessageW(impl_->tip, TTM_SETMAXTIPWIDTH, 0, 4000);
    SendMessageW(impl_->tip, TTM_SETDELAYTIME, TTDT_INITIAL, 800);
    SendMessageW(impl_->tip, TTM_SETDELAYTIME, TTDT_RESHOW, 1000);
    SendMessageW(impl_->tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
    SetWindowPos(impl_->tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void RecToolTips::MakeToolTip(const std::wstring& text, const HWND* windows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        RECT r{};
        GetClientRect(windows[i], &r);
        MakeToolTipEx(text, windows[i], r);
    }
}

void RecToolTips::MakeToolTipEx(const std::wstring& text, HWND window, const RECT& rect) {
    if (!impl_->tip || !window) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_SUBCLASS;
    ti.hwnd = window;
    ti.uId = 0;
    ti.rect = rect;
    ti.hinst = GetModuleHandleW(nullptr);
    ti.lpszText = const_cast<wchar_t*>(text.c_str());
    // Tools of one window with id 0 would replace each other; each gets its own id.
    ti.uId = UINT_PTR(SendMessageW(impl_->tip, TTM_GETTOOLCOUNT, 0, 0)) + 1;
    SendMessageW(impl_->tip, TTM_ADDTOOLW, 0, LPARAM(&ti));
}

}  // namespace tqk::rec
