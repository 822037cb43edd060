// Where the recorder finds its programs and keeps its files, and the remembered window
// positions (TVRSetting.ini). Portable: no <windows.h>; text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tqk::rec {

// Every path the recorder uses, derived once at start-up. The programs and the help page are
// beside the recorder; the files it writes are in the data folder: the program folder when it
// is writable, else the per-user folder (the user's application data + "Taviro\").
struct RecorderPaths {
    std::string AppFolder;         // the program's folder, ends in "\"
    std::string DataFolder;        // where settings and positions go; ends in "\"
    std::string SoundHelperPath;   // AppFolder + "TaviroWave.exe"
    std::string PlayerPath;        // AppFolder + "TaviroPlayer.exe"
    std::string HelpPage;          // AppFolder + "help/main.htm"
    std::string SettingsFolder;    // DataFolder + "settings\"
    std::string DefaultSettings;   // SettingsFolder + "default.TQP"
    std::string PositionFile;      // DataFolder + "TVRSetting.ini"
    std::string InputDisplayFile;  // DataFolder + "TVRInput.ini" (clicks and keys shown)
    std::string HotkeyFile;        // DataFolder + "TVRHotkey.ini" (the global hotkeys)
    // Where "default.TQP" is looked for at start, first one first: the data folder's, then
    // the program folder's (settings shipped with the program) when the two differ.
    std::string DefaultSettingsFallback;  // empty when DataFolder == AppFolder
};

// The paths for a program folder and the folder that takes the data (usually the same).
RecorderPaths MakeRecorderPaths(std::string_view appFolder, std::string_view dataFolder);

// The per-user data folder below the user's application-data folder.
std::string PerUserDataFolder(std::string_view appData);  // appData + "\Taviro\"

// Recording-window X, Y and AVI-window X, Y in screen pixels.
struct WindowPositions {
    int32_t RecX = 0;
    int32_t RecY = 0;
    int32_t AviX = 0;
    int32_t AviY = 0;
    bool operator==(const WindowPositions& o) const {
        return RecX == o.RecX && RecY == o.RecY && AviX == o.AviX && AviY == o.AviY;
    }
};

struct ScreenRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The defaults: the recording window in the work area's bottom-right corner, the AVI window
// centred. Sizes in pixels (the windows' design sizes).
WindowPositions DefaultPositions(const ScreenRect& workArea, int32_t recWidth, int32_t recHeight,
                                 int32_t aviWidth, int32_t aviHeight);

// Reads the file's text: lines 3 to 6 by their leading numbers. Lines that are missing keep
// the value of `defaults`; a line without a leading number reads as 0, as the numbers of the
// original file format do. Returns false (and `defaults`) for an empty text.
bool ParsePositionFile(std::string_view text, const WindowPositions& defaults,
                       WindowPositions* ret);

// The file's six lines, each ended by CR LF, as UTF-8; the caller writes them in the ANSI
// code page.
std::string PositionFileUtf8(const WindowPositions& p);

// The leading number of a line: blanks, a sign, digits (and a fraction, rounded); parsing
// stops at the first character that cannot continue the number. 0 when there is none;
// values beyond 32 bits are clamped.
int32_t LeadingNumber(std::string_view line);

// A remembered position brought back so that a window of the given size lies inside the work
// area (a window larger than the area is put at its left/top edge).
void PullOntoWorkArea(const ScreenRect& workArea, int32_t width, int32_t height, int32_t* x,
                      int32_t* y);

}  // namespace tqk::rec
