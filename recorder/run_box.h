// The recorder's message boxes (MsgBoxEx) of the run, the pipeline and the trial: the program's
// title as caption, the platform's style bits and answer codes.
#pragma once

#include <windows.h>

#include <string>

namespace tqk::rec {

// text is UTF-8, lines separated by CR LF. Returns the answer (IDOK, IDYES, IDNO...).
int RunMessage(HWND owner, const std::string& text, UINT style);

// Deletes a file of the run, clearing its read-only attribute first; true when it is gone.
bool DeleteRunFile(const std::wstring& path);
bool RunFileExists(const std::wstring& path);

}  // namespace tqk::rec
