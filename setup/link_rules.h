// The shortcut helper's portable rules: the hot-key name table with its two conversions and
// the normalisation of a link description before it is written.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tqk {

// Names indexed by virtual-key code; a slot without a name is empty.
const std::array<std::string, 256>& HotKeyNames();

// Index of the first entry equal to name, plus 256 x modifiers; 0 when no entry matches
// (an empty name names no key).
int32_t HotKeyFromName(std::string_view name, int32_t modifiers);

struct HotKeyName {
    std::string name;
    int32_t modifiers = 0;  // 0 whenever the name is empty
};
HotKeyName HotKeyToName(int32_t hotKey);

// One shortcut's properties (UTF-8); empty strings mean "not set".
struct LinkDescription {
    std::string linkFile;
    std::string target;
    std::string description;
    std::string iconFile;
    int32_t iconIndex = 0;
    std::string workingFolder;
    std::string arguments;
    int32_t hotKey = 0;
    int32_t showCommand = 5;
};

inline constexpr int32_t kShowNormal = 5;
inline constexpr int32_t kShowMaximized = 3;
inline constexpr int32_t kShowMinNoActive = 7;

// ".lnk" appended unless the name ends in it (any case); icon index 0 without an icon file; a
// working folder that does not end in "\" but holds one is cut after its last "\"; a show
// command other than 3 or 7 becomes 5.
LinkDescription NormaliseLinkDescription(LinkDescription d);
// A show command read back from a link: 1 (normal) is reported as 5.
int32_t ShowCommandAsRead(int32_t showCommand);

}  // namespace tqk
