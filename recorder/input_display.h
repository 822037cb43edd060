// Whether clicks and key presses are drawn into the recorded frames: two choices of the
// settings window kept in a file of their own (TVRInput.ini in the data folder), beside the
// .TQP record whose layout stays as it is. Portable: no <windows.h>; text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tqk::rec {

struct InputDisplay {
    bool ShowClicks = false;  // Check8 "クリックを表示"
    bool ShowKeys = false;    // Check9 "キー入力を表示"
    bool Any() const { return ShowClicks || ShowKeys; }
    bool operator==(const InputDisplay& o) const {
        return ShowClicks == o.ShowClicks && ShowKeys == o.ShowKeys;
    }
};

// The file's text: a section line and one "name=0|1" line per choice, each ended by CR LF.
std::string InputDisplayFileText(const InputDisplay& d);
// Reads "Clicks=" and "Keys=" lines (any number but 0 is on); anything else, a missing line
// or a missing file leaves the choice off.
InputDisplay ParseInputDisplayFile(std::string_view text);

// The capture information's two lines: "クリックの表示 Yes", "キー入力の表示 No".
std::string ClicksInfoLine(const InputDisplay& d);
std::string KeysInfoLine(const InputDisplay& d);

}  // namespace tqk::rec
