// File helpers every program shares.
#pragma once

#include <string>

namespace tqk {

// True when the path names a file (not a folder).
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

// Deletes a file, clearing its read-only attribute first (the user's own files may carry it).
// True when the file is gone afterwards (also when there was none).
bool DeleteFileClearingReadOnly(const std::wstring& path);

}  // namespace tqk
