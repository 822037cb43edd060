// The recorder's global hotkeys apart from the platform: the two keys (start/stop, default F9;
// pause/resume, default Shift+F9), each changeable or off, kept in a file of their own
// (TVRHotkey.ini in the data folder, beside TVRSetting.ini and TVRInput.ini, whose layouts stay
// as they are); their names for messages; which keys may be chosen; and what a hotkey does in
// which state of the recorder. Portable: no <windows.h>; text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tqk::rec {

// Modifier bits of a key, as the hotkey control reports them.
enum HotkeyModifier : uint8_t { kModShift = 1, kModCtrl = 2, kModAlt = 4 };
constexpr uint8_t kModAll = kModShift | kModCtrl | kModAlt;

// One hotkey: a virtual key with its modifiers, in use or off. A key of 0 is no key.
struct Hotkey {
    bool On = false;
    uint8_t Key = 0;
    uint8_t Mods = 0;
    bool Same(const Hotkey& o) const { return Key == o.Key && Mods == o.Mods; }
    bool operator==(const Hotkey& o) const { return On == o.On && Same(o); }
};

// Which of the two.
enum class HotkeyRole : int { StartStop = 0, PauseResume = 1 };
constexpr int kHotkeyRoles = 2;

constexpr uint8_t kVkF9 = 0x78;

struct HotkeySettings {
    Hotkey StartStop{true, kVkF9, 0};            // 録画の開始と停止
    Hotkey PauseResume{true, kVkF9, kModShift};  // 一時停止と再開
    Hotkey& Of(HotkeyRole r) { return r == HotkeyRole::StartStop ? StartStop : PauseResume; }
    const Hotkey& Of(HotkeyRole r) const {
        return r == HotkeyRole::StartStop ? StartStop : PauseResume;
    }
    bool operator==(const HotkeySettings& o) const {
        return StartStop == o.StartStop && PauseResume == o.PauseResume;
    }
};

// The file's text: a section line and three lines per key ("StartStopOn=1",
// "StartStopKey=120", "StartStopMods=0", then the same for "PauseResume"), each ended by CR LF.
std::string HotkeyFileText(const HotkeySettings& s);
// Reads the file written above. A missing file or line, a number out of range, a key that
// could not be chosen on the page, or both keys on and the same, gives that key (or, for the
// clash, both keys) their defaults. Never fails.
HotkeySettings ParseHotkeyFile(std::string_view text);

// The key's name as messages and the page show it: "F9", "Shift+F9", "Ctrl+Alt+R"; empty for
// a key without a name.
std::string HotkeyName(const Hotkey& k);

// Why a key cannot be chosen for a role; Ok when it can.
enum class HotkeyProblem {
    Ok,
    NoKey,           // no key yet (only modifiers pressed)
    NoName,          // a key the recorder has no name for, or a modifier alone
    NeedsCtrlOrAlt,  // a key that types or edits (letters, Enter, arrows...), alone or with Shift
    Reserved,        // F12 alone: the system keeps it
    SameAsOther,     // the other role's key, while that one is on
};
HotkeyProblem HotkeyProblemOf(const Hotkey& candidate, const Hotkey& other);
// The page's line for a problem ("" for Ok and NoKey); otherRole names the other key's use.
std::string HotkeyProblemText(HotkeyProblem p, HotkeyRole otherRole);

// The role's name on the page and in messages: "録画の開始と停止", "一時停止と再開".
std::string HotkeyRoleName(HotkeyRole r);

// The message for keys another program holds: "ホットキー「Shift+F9」は他のプログラムが使っ
// ているため、使えません。" (two keys: both named in one message).
std::string HotkeyTakenMessage(const std::string& firstName, const std::string& secondName = {});
// The page's state line of a key that could not be registered.
constexpr const char* kHotkeyTakenState = "他のプログラムが使用中";

// What the recorder is doing when a hotkey arrives.
enum class RecorderActivity {
    Idle,       // the settings window waits for the user
    Busy,       // one of its buttons' work runs (a box, a dialog, the region pick, the export)
    Recording,  // a recording run (the recording window, then the pipeline)
    Trial,      // the capture-method trial
};

// What a hotkey does.
enum class HotkeyAction {
    None,
    Record,    // the settings window's 録画, with its checks and questions
    StopKeep,  // the recording window's stop-and-keep command
    Pause,     // the recording window's pause/resume button
};

// The rule: from the idle settings window the start/stop key records (the pause key does
// nothing); while a recording's window is shown, start/stop stops and keeps, pause pauses
// or resumes; never into the trial, while a box asks the user something (boxOpen: a box or
// dialog of the recorder is open, or the window the key would go to is disabled), nor while
// the recording window is not shown (before the capture starts, during the export).
HotkeyAction HotkeyActionFor(HotkeyRole role, RecorderActivity activity, bool boxOpen,
                             bool recordingWindowShown);

}  // namespace tqk::rec
