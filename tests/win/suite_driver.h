// Drives the installed recorder and player through their windows as a user does: shared by the
// suite's tests and the main command's demonstration.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tqk::test {

// One recording through TaviroRec's settings window: the rectangle, rate and length typed in,
// sound on, save mode "AVIとTQKを作成" with our ZMBV compressor chosen in the platform's
// dialog, the record button pressed and every question answered Yes/OK.
struct RecorderRun {
    RECT rect{0, 0, 640, 480};
    int fps = 15;
    int seconds = 4;
    std::function<void(const std::wstring& name)> screenshot;  // may be empty
    DWORD timeoutMs = 60000;
};
struct RecorderResult {
    bool windowShown = false;
    bool zmbvChosen = false;
    bool soundChosen = false;
    bool recorded = false;  // the settings window went away and came back
};
// recorder is the program's path; movie the TQK to write (its AVI and WAV are made beside it).
RecorderResult RecordThroughRecorder(const std::wstring& recorder, const std::wstring& movie,
                                     const RecorderRun& run);

// Our compressor chosen in the compressor dialog of process pid (then OK); false when the
// dialog did not open or does not offer it (then Cancel).
bool ChooseZmbv(DWORD pid, DWORD timeoutMs);

// The player's "TQK→AVI" on movie: the open dialog answered with it, Yes to taking the sound
// and to replacing an AVI, ZMBV chosen; true once the AVI beside the movie exists and the
// player's window is back. said collects the texts of the player's messages.
bool ExportThroughPlayer(DWORD pid, HWND player, const std::wstring& movie, const std::wstring& avi,
                         DWORD timeoutMs, std::wstring* said);

}  // namespace tqk::test
