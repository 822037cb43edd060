#include "run_box.h"

#include "msgbox_ex.h"
#include "win_text.h"

namespace tqk::rec {

int RunMessage(HWND owner, const std::string& text, UINT style) {
    // Owned by the given window only when it is visible: a box owned by a hidden window would
    // stay behind the others.
    HWND shownOwner = owner && IsWindowVisible(owner) ? owner : nullptr;
    return MsgBoxEx::Msg(WideFromUtf8(text), shownOwner, int32_t(style), L"TaviroRec");
}

bool DeleteRunFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(path.c_str()) != FALSE;
}

bool RunFileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace tqk::rec
