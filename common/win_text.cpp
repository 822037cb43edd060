#include "win_text.h"

namespace tqk {
namespace {

std::wstring ToWide(UINT codePage, std::string_view s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), out.data(), n);
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view s) {
    if (s.empty()) return {};
    const int n =
        WideCharToMultiByte(codePage, 0, s.data(), int(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(codePage, 0, s.data(), int(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

bool ExactWideFromCodePage(UINT codePage, std::string_view s, std::wstring* ret) {
    ret->clear();
    if (s.empty()) return true;
    const int n =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), nullptr, 0);
    if (n <= 0) return false;
    ret->assign(size_t(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), ret->data(), n);
    return true;
}

bool ExactCodePageFromWide(UINT codePage, std::wstring_view s, std::string* ret) {
    ret->clear();
    if (s.empty()) return true;
    // UTF-8 has every character; the platform refuses the default-character query for it.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf8 ? nullptr : &usedDefault;
    const int n =
        WideCharToMultiByte(codePage, flags, s.data(), int(s.size()), nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault) return false;
    ret->assign(size_t(n), '\0');
    WideCharToMultiByte(codePage, flags, s.data(), int(s.size()), ret->data(), n, nullptr, used);
    return !usedDefault;
}

std::wstring WideFromUtf8(std::string_view s) { return ToWide(CP_UTF8, s); }
std::string Utf8FromWide(std::wstring_view s) { return FromWide(CP_UTF8, s); }
std::string AnsiFromWide(std::wstring_view s) { return FromWide(CP_ACP, s); }
std::wstring WideFromAnsi(std::string_view s) { return ToWide(CP_ACP, s); }
std::string CodePageFromWide(UINT codePage, std::wstring_view s) { return FromWide(codePage, s); }
std::wstring WideFromCodePage(UINT codePage, std::string_view s) { return ToWide(codePage, s); }

std::wstring SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n && buffer) text.assign(buffer, n);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) text = L"error " + std::to_wstring(error);
    return text;
}

}  // namespace tqk
