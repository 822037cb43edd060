// The recorder's message boxes (MsgBoxEx) of the run, the pipeline and the trial: the program's
// title as caption, the platform's style bits and answer codes.
#pragma once

#include <windows.h>

#include <string>

namespace tqk::rec {

// text is UTF-8, lines separated by CR LF. Returns the answer (IDOK, IDYES, IDNO...).
int RunMessage(HWND owner, const std::string& text, UINT style);

}  // namespace tqk::rec
