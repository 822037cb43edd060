#include "comd6.h"

#include <commdlg.h>

#include "win_text.h"

namespace tqk {

ComD6::ComD6() : initialDir_(CurDir()) {}

void ComD6::Filter(const std::wstring& Filterst) {
    filter_ = WideFromUtf8(comd6::FilterToPlatform(Utf8FromWide(Filterst)));
}

std::wstring ComD6::Filter() const {
    return WideFromUtf8(comd6::FilterFromPlatform(Utf8FromWide(filter_)));
}

std::wstring ComD6::CurDir() {
    // As long as the platform needs: a deep folder is never cut short.
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(n ? n : 1, L'\0');
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD got = GetCurrentDirectoryW(DWORD(dir.size()), dir.data());
        if (got == 0) return {};
        if (got < dir.size()) {
            dir.resize(got);
            return dir;
        }
        dir.assign(got + 1, L'\0');
    }
    return {};
}

void ComD6::ChDir(const std::wstring& CDir) { SetCurrentDirectoryW(CDir.c_str()); }

bool ComD6::Run(comd6::Kind kind, HWND owner, const std::wstring& defaultName, std::wstring* buffer,
                DWORD* filterIndex) {
    const std::wstring before = CurDir();
    // The wide form of the dialog: a name the ANSI code page lacks comes back intact (the ANSI
    // form would put "?" in its place, naming another file).
    std::wstring file = defaultName.substr(0, kBufferChars - 1);
    file.append(kBufferChars, L'\0');
    std::wstring fileTitle(kBufferChars, L'\0');
    std::wstring initial = initialDir_;
    OPENFILENAMEW ofn{};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // the record without the places bar
    ofn.hwndOwner = owner;
    ofn.hInstance = GetModuleHandleW(nullptr);
    ofn.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kBufferChars;
    ofn.lpstrFileTitle = fileTitle.data();
    ofn.nMaxFileTitle = kBufferChars;
    ofn.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
    ofn.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    ofn.Flags = comd6::DialogFlags(s_, kind);
    const BOOL ok = kind == comd6::Kind::Save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (s_.Flag_RestoreDirectory == 1) ChDir(before);
    if (!ok) return false;
    *buffer = file;
    *filterIndex = ofn.nFilterIndex;
    return true;
}

std::wstring ComD6::ShowOpenSingle(HWND hWnd, const std::wstring& DefaultFileName) {
    std::wstring buffer;
    DWORD index = 0;
    if (!Run(comd6::Kind::OpenSingle, hWnd, DefaultFileName, &buffer, &index)) return L"";
    return buffer.substr(0, buffer.find(L'\0'));
}

std::wstring ComD6::ShowSave(HWND hWnd, const std::wstring& DefaultFileName) {
    std::wstring buffer;
    DWORD index = 0;
    if (!Run(comd6::Kind::Save, hWnd, DefaultFileName, &buffer, &index)) return L"";
    const std::wstring chosen = buffer.substr(0, buffer.find(L'\0'));
    return WideFromUtf8(
        comd6::SavedName(Utf8FromWide(chosen), Utf8FromWide(filter_), index, s_.Flag_Save_AddExt));
}

std::vector<std::wstring> ComD6::ShowOpenMulti(HWND hWnd) {
    std::wstring buffer;
    DWORD index = 0;
    if (!Run(comd6::Kind::OpenMulti, hWnd, L"", &buffer, &index)) return {L""};
    std::vector<std::wstring> paths;
    for (const std::string& p : comd6::SplitSelection(Utf8FromWide(buffer)))
        paths.push_back(WideFromUtf8(p));
    if (paths.empty()) paths.push_back(L"");
    return paths;
}

}  // namespace tqk
