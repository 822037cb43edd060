// libFuzzer target for the hotkey file reader: any text gives two keys that could be chosen on
// the page and that do not clash, which write back and read again as the same keys.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hotkey_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tqk::rec;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const HotkeySettings s = ParseHotkeyFile(text);
    for (HotkeyRole r : {HotkeyRole::StartStop, HotkeyRole::PauseResume}) {
        if (HotkeyProblemOf(s.Of(r), Hotkey{}) != HotkeyProblem::Ok) std::abort();
        if (HotkeyName(s.Of(r)).empty()) std::abort();
    }
    if (s.StartStop.On && s.PauseResume.On && s.StartStop.Same(s.PauseResume)) std::abort();
    if (!(ParseHotkeyFile(HotkeyFileText(s)) == s)) std::abort();
    return 0;
}
