#include "hotkey_model.h"

#include <optional>

#include "input_overlay.h"
#include "recorder_paths.h"

namespace tqk::rec {

namespace {

constexpr uint8_t kVkF12 = 0x7B, kVkPause = 0x13, kVkSnapshot = 0x2C;

const char* const kRoleKeys[kHotkeyRoles] = {"StartStop", "PauseResume"};

// The key's name without modifiers ("F9", "R", "Del"); empty for keys the recorder does not
// name. The key texts of the recorded frames name every key with Ctrl held.
std::string BaseName(uint8_t key) {
    Modifiers ctrl;
    ctrl.ctrl = true;
    const std::string text = KeyText(key, ctrl);
    constexpr std::string_view prefix = "Ctrl+";
    return text.size() > prefix.size() ? text.substr(prefix.size()) : std::string();
}

// Keys that may be used without Ctrl or Alt: they neither type nor edit in other programs.
bool StandsAlone(uint8_t key) {
    return (key >= vk::F1 && key <= vk::F24) || key == kVkPause || key == kVkSnapshot;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The value of "name=" in the text's last line that has it.
std::optional<int32_t> Field(std::string_view text, const std::string& name) {
    std::optional<int32_t> value;
    const std::string prefix = name + "=";
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.substr(0, prefix.size()) == prefix)
            value = LeadingNumber(line.substr(prefix.size()));
    }
    return value;
}

}  // namespace

std::string HotkeyFileText(const HotkeySettings& s) {
    std::string text = "[Hotkey]\r\n";
    for (int r = 0; r < kHotkeyRoles; ++r) {
        const Hotkey& k = s.Of(HotkeyRole(r));
        const std::string role = kRoleKeys[r];
        text += role + "On=" + (k.On ? "1" : "0") + "\r\n";
        text += role + "Key=" + std::to_string(k.Key) + "\r\n";
        text += role + "Mods=" + std::to_string(k.Mods) + "\r\n";
    }
    return text;
}

HotkeySettings ParseHotkeyFile(std::string_view text) {
    const HotkeySettings defaults;
    HotkeySettings s;
    for (int r = 0; r < kHotkeyRoles; ++r) {
        const std::string role = kRoleKeys[r];
        Hotkey& k = s.Of(HotkeyRole(r));
        if (const auto on = Field(text, role + "On")) k.On = *on != 0;
        const auto key = Field(text, role + "Key");
        const auto mods = Field(text, role + "Mods");
        if (!key || !mods) continue;
        Hotkey read{k.On, uint8_t(*key), uint8_t(*mods)};
        // A key the page could not have chosen is not taken from a file either.
        if (*key < 1 || *key > 254 || *mods < 0 || *mods > kModAll ||
            HotkeyProblemOf(read, Hotkey{}) != HotkeyProblem::Ok)
            continue;
        k = read;
    }
    if (s.StartStop.On && s.PauseResume.On && s.StartStop.Same(s.PauseResume)) {
        s.StartStop = Hotkey{s.StartStop.On, defaults.StartStop.Key, defaults.StartStop.Mods};
        s.PauseResume =
            Hotkey{s.PauseResume.On, defaults.PauseResume.Key, defaults.PauseResume.Mods};
    }
    return s;
}

std::string HotkeyName(const Hotkey& k) {
    const std::string base = BaseName(k.Key);
    if (base.empty()) return {};
    std::string text;
    if (k.Mods & kModCtrl) text += "Ctrl+";
    if (k.Mods & kModAlt) text += "Alt+";
    if (k.Mods & kModShift) text += "Shift+";
    return text + base;
}

HotkeyProblem HotkeyProblemOf(const Hotkey& candidate, const Hotkey& other) {
    if (candidate.Key == 0) return HotkeyProblem::NoKey;
    if (BaseName(candidate.Key).empty()) return HotkeyProblem::NoName;
    const bool ctrlOrAlt = (candidate.Mods & (kModCtrl | kModAlt)) != 0;
    if (!ctrlOrAlt && !StandsAlone(candidate.Key)) return HotkeyProblem::NeedsCtrlOrAlt;
    if (candidate.Key == kVkF12 && candidate.Mods == 0) return HotkeyProblem::Reserved;
    if (other.On && other.Same(candidate)) return HotkeyProblem::SameAsOther;
    return HotkeyProblem::Ok;
}

std::string HotkeyProblemText(HotkeyProblem p, HotkeyRole otherRole) {
    switch (p) {
    case HotkeyProblem::Ok:
    case HotkeyProblem::NoKey: return {};
    case HotkeyProblem::NoName: return "このキーはホットキーにできません。";
    case HotkeyProblem::NeedsCtrlOrAlt: return "CtrlかAltと組み合わせてください。";
    case HotkeyProblem::Reserved: return "F12はシステムが使うため使えません。";
    case HotkeyProblem::SameAsOther: return "「" + HotkeyRoleName(otherRole) + "」と同じキーです。";
    }
    return {};
}

std::string HotkeyRoleName(HotkeyRole r) {
    return r == HotkeyRole::StartStop ? "録画の開始と停止" : "一時停止と再開";
}

std::string HotkeyTakenMessage(const std::string& firstName, const std::string& secondName) {
    std::string keys = "「" + firstName + "」";
    if (!secondName.empty()) keys += "と「" + secondName + "」";
    return "ホットキー" + keys + "は他のプログラムが使っているため、使えません。";
}

HotkeyAction HotkeyActionFor(HotkeyRole role, RecorderActivity activity, bool boxOpen,
                             bool recordingWindowShown) {
    if (boxOpen) return HotkeyAction::None;
    switch (activity) {
    case RecorderActivity::Idle:
        return role == HotkeyRole::StartStop ? HotkeyAction::Record : HotkeyAction::None;
    case RecorderActivity::Recording:
        if (!recordingWindowShown) return HotkeyAction::None;
        return role == HotkeyRole::StartStop ? HotkeyAction::StopKeep : HotkeyAction::Pause;
    case RecorderActivity::Busy:
    case RecorderActivity::Trial: return HotkeyAction::None;
    }
    return HotkeyAction::None;
}

}  // namespace tqk::rec
