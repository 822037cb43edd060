// The recorder's files on disk: the settings files (.TQP) and the window-position file, read
// with a size cap and written by replacing the old file in one step; the strict conversions
// between the program's text and the ANSI code page that the files hold.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "capture_settings.h"
#include "recorder_paths.h"
#include "win_files.h"

namespace tqk::rec {

// UTF-8 <-> the system ANSI code page, refusing text that does not convert exactly.
const AnsiCodec& SystemAnsiCodec();
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// A file's bytes, at most maxBytes of them (the rest is not read); nullopt when it cannot be
// opened or read.
std::optional<std::string> ReadFileBytes(const std::wstring& path, size_t maxBytes);
// Writes a new file beside the old one and replaces it in one step (a read-only old file is
// replaced too); the old file stays whole when anything fails.
[[nodiscard]] bool ReplaceFileBytes(const std::wstring& path, const std::string& bytes);

// Settings files: kOk or why not.
[[nodiscard]] TqpStatus LoadSettingsFile(const std::wstring& path, CaptureSettings* ret);
[[nodiscard]] bool SaveSettingsFile(const std::wstring& path, const CaptureSettings& s);

// The window-position file: false (and `defaults`) when missing, empty or unreadable.
bool LoadPositionFile(const std::wstring& path, const WindowPositions& defaults,
                      WindowPositions* ret);
[[nodiscard]] bool SavePositionFile(const std::wstring& path, const WindowPositions& p);

// True when a file can be created in the folder (tried with a scratch file that is removed).
bool FolderIsWritable(const std::wstring& folder);

}  // namespace tqk::rec
