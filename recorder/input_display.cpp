#include "input_display.h"

#include "recorder_paths.h"

namespace tqk::rec {

namespace {

constexpr std::string_view kClicks = "Clicks=";
constexpr std::string_view kKeys = "Keys=";

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::string InputDisplayFileText(const InputDisplay& d) {
    return std::string("[Show]\r\n") + std::string(kClicks) + (d.ShowClicks ? "1" : "0") + "\r\n" +
           std::string(kKeys) + (d.ShowKeys ? "1" : "0") + "\r\n";
}

InputDisplay ParseInputDisplayFile(std::string_view text) {
    InputDisplay d;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.substr(0, kClicks.size()) == kClicks)
            d.ShowClicks = LeadingNumber(line.substr(kClicks.size())) != 0;
        else if (line.substr(0, kKeys.size()) == kKeys)
            d.ShowKeys = LeadingNumber(line.substr(kKeys.size())) != 0;
    }
    return d;
}

std::string ClicksInfoLine(const InputDisplay& d) {
    return std::string("クリックの表示 ") + (d.ShowClicks ? "Yes" : "No");
}

std::string KeysInfoLine(const InputDisplay& d) {
    return std::string("キー入力の表示 ") + (d.ShowKeys ? "Yes" : "No");
}

}  // namespace tqk::rec
