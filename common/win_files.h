// File helpers every program shares.
#pragma once

#include <string>

namespace tqk {

// Deletes a file, clearing its read-only attribute first (the user's own files may carry it).
// True when the file is gone afterwards (also when there was none).
bool DeleteFileClearingReadOnly(const std::wstring& path);

}  // namespace tqk
