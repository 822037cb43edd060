// The settings window's fixed texts: its tooltips, its captions of the no-sound and no-mixer
// states, and the about window's version line. Portable: no <windows.h>; UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace tqk::rec {

enum class Form2Tip {
    Method,  // Option1 and the method page
    Check1Window,
    Check1Client,
    HScroll1,
    Check2,
    Check8,  // clicks shown
    Check9,  // keys shown
    Check3,
    Combo1,
    Check5,
    HScroll2,
    Combo3,
    Combo2,
    SaveMode,  // Option2 and the save page
    Command3,
    Command5,
    Picture2,
    Estimate,  // Label12 and Label9
    Check6,
    Command4,
    Command7,
    Command9,
    Command10,
    Region,  // Text1 and the region page
    Check7,
    NoSound,            // over the sound controls when sound cannot be recorded
    NoMixer,            // over Combo2 when the mixer cannot select a source
    Remarks,            // the informal remarks line
    HotkeyStartStop,    // the hotkey page: the start/stop key's box
    HotkeyPauseResume,  // the pause/resume key's box
    HotkeyBox,          // the two key fields
    Command13,          // "標準のキー"
};

// The tooltip's lines joined by CR LF.
std::string Form2TipText(Form2Tip tip);

// "Version 1.0   Revision 3".
std::string VersionLine(int major, int minor, int revision);

}  // namespace tqk::rec
