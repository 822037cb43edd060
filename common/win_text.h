// Text conversions at the platform edge. The programs keep wide strings; files and the ANSI
// platform calls use the system ANSI code page; portable code takes UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tqk {

std::wstring WideFromUtf8(std::string_view s);
std::string Utf8FromWide(std::wstring_view s);
// CP_ACP: characters the code page lacks become the platform's default character.
std::string AnsiFromWide(std::wstring_view s);
std::wstring WideFromAnsi(std::string_view s);
// The same in any code page (CP_ACP, CP_UTF8, 932...).
std::string CodePageFromWide(UINT codePage, std::wstring_view s);
std::wstring WideFromCodePage(UINT codePage, std::string_view s);
// Exact conversions: false when a byte sequence is invalid in the code page or a character has
// no exact form in it (no default characters, no best-fit look-alikes).
bool ExactWideFromCodePage(UINT codePage, std::string_view s, std::wstring* ret);
bool ExactCodePageFromWide(UINT codePage, std::wstring_view s, std::string* ret);

// The platform's message text for an error number, without the trailing line break.
std::wstring SystemErrorText(DWORD error);

}  // namespace tqk
