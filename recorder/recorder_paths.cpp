#include "recorder_paths.h"

#include <cmath>
#include <limits>

#include "path_parts.h"

namespace tqk::rec {

RecorderPaths MakeRecorderPaths(std::string_view appFolder, std::string_view dataFolder) {
    RecorderPaths p;
    p.AppFolder = WithTrailingSeparator(appFolder);
    p.DataFolder = dataFolder.empty() ? p.AppFolder : WithTrailingSeparator(dataFolder);
    p.SoundHelperPath = p.AppFolder + "TaviroWave.exe";
    p.PlayerPath = p.AppFolder + "TaviroPlayer.exe";
    p.HelpPage = p.AppFolder + "help/main.htm";
    p.SettingsFolder = p.DataFolder + "settings\\";
    p.DefaultSettings = p.SettingsFolder + "default.TQP";
    p.PositionFile = p.DataFolder + "TVRSetting.ini";
    p.InputDisplayFile = p.DataFolder + "TVRInput.ini";
    p.HotkeyFile = p.DataFolder + "TVRHotkey.ini";
    if (p.DataFolder != p.AppFolder)
        p.DefaultSettingsFallback = p.AppFolder + "settings\\default.TQP";
    return p;
}

std::string PerUserDataFolder(std::string_view appData) {
    return WithTrailingSeparator(appData) + "Taviro\\";
}

WindowPositions DefaultPositions(const ScreenRect& workArea, int32_t recWidth, int32_t recHeight,
                                 int32_t aviWidth, int32_t aviHeight) {
    WindowPositions p;
    p.RecX = workArea.right - recWidth;
    p.RecY = workArea.bottom - recHeight;
    // Halves are rounded as the original arithmetic did: to the nearest even number.
    p.AviX = int32_t(std::nearbyint(((workArea.right - workArea.left) - aviWidth) / 2.0));
    p.AviY = int32_t(std::nearbyint(((workArea.bottom - workArea.top) - aviHeight) / 2.0));
    return p;
}

int32_t LeadingNumber(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+')) {
        negative = line[i] == '-';
        ++i;
    }
    double value = 0;
    bool any = false;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        if (value < 1e12) value = value * 10 + (line[i] - '0');
        any = true;
        ++i;
    }
    if (i < line.size() && line[i] == '.') {
        double scale = 0.1;
        for (++i; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i, scale /= 10) {
            value += (line[i] - '0') * scale;
            any = true;
        }
    }
    if (!any) return 0;
    value = std::nearbyint(negative ? -value : value);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(value);
}

bool ParsePositionFile(std::string_view text, const WindowPositions& defaults,
                       WindowPositions* ret) {
    *ret = defaults;
    if (text.empty()) return false;
    int32_t* fields[4] = {&ret->RecX, &ret->RecY, &ret->AviX, &ret->AviY};
    size_t start = 0;
    for (int line = 1; line <= 6 && start < text.size(); ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view l = text.substr(start, end - start);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (line >= 3) *fields[line - 3] = LeadingNumber(l);
        start = end + 1;
    }
    return true;
}

std::string PositionFileUtf8(const WindowPositions& p) {
    std::string s = "//Taviro Setting\r\n//順番は変更不可です。\r\n";
    s += std::to_string(p.RecX) + " //キャプチャウィンドウのX\r\n";
    s += std::to_string(p.RecY) + " //キャプチャウィンドウのY\r\n";
    s += std::to_string(p.AviX) + " //AVIウィンドウのX\r\n";
    s += std::to_string(p.AviY) + " //AVIウィンドウのY\r\n";
    return s;
}

void PullOntoWorkArea(const ScreenRect& workArea, int32_t width, int32_t height, int32_t* x,
                      int32_t* y) {
    // 64-bit sums: a remembered position may be anything a file held.
    if (int64_t(*x) + width > workArea.right) *x = int32_t(int64_t(workArea.right) - width);
    if (*x < workArea.left) *x = workArea.left;
    if (int64_t(*y) + height > workArea.bottom) *y = int32_t(int64_t(workArea.bottom) - height);
    if (*y < workArea.top) *y = workArea.top;
}

}  // namespace tqk::rec
