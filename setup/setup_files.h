// File and folder helpers of the installer and the uninstaller.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tqk {

// A special folder (CSIDL_...) with a trailing "\"; empty when the platform has none.
std::wstring SpecialFolder(int csidl);
// The folder of this program's file, with a trailing "\".
std::wstring ProgramFolder();
// This program's file name without its extension.
std::wstring ProgramStem();
std::wstring WithBackslash(std::wstring path);
bool PathExists(const std::wstring& path);
// Creates every missing folder of path (a leading "\\" of a network path is kept); failures
// are ignored.
void CreateFolderPath(const std::wstring& path);
// Reads a whole file of at most maxBytes; false when it cannot be read or is larger.
bool ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string* out);
// Writes bytes to a new file (an existing one is replaced); false with GetLastError set.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

// The recursive lister: every entry below directory whose attribute bits include all bits of
// attributes and whose name matches one of the ";"-separated patterns (empty = "*"), never
// "." / ".." / "pagefile.sys". lostDirectory leaves folders out of the result;
// searchSubDirectory descends into subfolders (not into links to other places); unless
// notDoEvents, window messages are processed as it goes. Returns the count; dests gets the
// full paths in listing order.
int32_t GetALLFiles(std::wstring directory, std::vector<std::wstring>* dests, DWORD attributes,
                    const std::wstring& searchString, bool lostDirectory, bool searchSubDirectory,
                    bool notDoEvents, bool searchIsFnmOnly);

}  // namespace tqk
