// The open dialog of the player until the shared file dialog class is available here: one
// existing file, a filter written "description|pattern|...", an optional starting folder and
// file name. Empty when nothing was chosen.
#pragma once

#include <windows.h>

#include <string>

namespace tqk::player {

std::wstring ShowOpenSingle(HWND owner, const std::wstring& filter,
                            const std::wstring& initialFolder = L"",
                            const std::wstring& defaultName = L"");

}  // namespace tqk::player
