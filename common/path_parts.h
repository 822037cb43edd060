// Pieces of a path, the same in every program. Portable: no <windows.h>.
//
// Separators are "\" and "/". Narrow paths are UTF-8, wide ones UTF-16: in both, a byte or unit
// that reads as "\", "/" or "." is that character and never part of another one. A path in the
// ANSI code page must be widened before it is cut here: the second byte of a Shift-JIS
// character may be 0x5C ("表", "ソ", "能"), which a byte search would take for a separator.
#pragma once

#include <string>
#include <string_view>

namespace tqk {

// Up to and including the last separator, which is always given as "\"; "" without one.
std::string FolderOf(std::string_view path);
std::wstring FolderOf(std::wstring_view path);

// After the last separator (the whole path without one; "" after a trailing one).
std::string FileNameOf(std::string_view path);
std::wstring FileNameOf(std::wstring_view path);

// The file name without its extension: up to the last "." of the last component.
std::string FileNameWithoutExtension(std::string_view path);
std::wstring FileNameWithoutExtension(std::wstring_view path);

// The text after the last "." of the last component, ASCII letters lower-cased; "" without one.
std::string ExtensionOf(std::string_view path);
std::wstring ExtensionOf(std::wstring_view path);

// The path without the extension of its last component (and without that ".").
std::string PathWithoutExtension(std::string_view path);
std::wstring PathWithoutExtension(std::wstring_view path);

// A folder with exactly one trailing "\" added when it ends in no separator ("" gets "\").
std::string WithTrailingSeparator(std::string_view folder);
std::wstring WithTrailingSeparator(std::wstring_view folder);

}  // namespace tqk
