// The player's "TQK→GIF": the movie open in the player (else one chosen in the open dialog),
// the GIF's name from the save dialog, the export run in the progress window, and a failure
// told in a message box. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace tqk::player {

// owner is the player's window (hidden while the progress window runs); openMovie the movie it
// has open, or empty; from/to the marked span of the open movie in seconds (to below 0: the
// whole movie).
void ExportGifFromMenu(HWND owner, const std::wstring& openMovie, double from = 0, double to = -1);

}  // namespace tqk::player
