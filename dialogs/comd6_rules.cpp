#include "comd6_rules.h"

namespace tqk::comd6 {
namespace {

bool On(int32_t v) { return v == 1; }

std::vector<std::string> SplitAtZeros(const std::string& s) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < s.size()) {
        const size_t end = s.find('\0', start);
        if (end == start) break;  // double zero: the list ends
        parts.push_back(
            s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

}  // namespace

uint32_t DialogFlags(const Switches& s, Kind kind) {
    uint32_t f = kEnableSizing | kExplorer | kNoNetworkButton | kReadOnlyHidden;
    if (On(s.Flag_NoChangeDir_Destroy)) f |= kNoChangeDir;
    if (kind == Kind::OpenMulti) f |= kAllowMultiSelect;
    if (On(s.Flag_Open_CreatePrompt)) f |= kCreatePrompt;
    if (On(s.Flag_Open_CreatePromptToError)) f |= kFileMustExist;
    if (kind != Kind::Save) {
        if (On(s.Flag_Open_LinkThuru)) f |= kNoDereferenceLinks;
        if (On(s.Flag_Open_NoReadToMsg_Destroy)) f |= kNoReadOnlyReturn;
    } else if (On(s.Flag_Save_Overwriteprompt)) {
        f |= kOverwritePrompt;
    }
    return f;
}

std::string FilterToPlatform(const std::string& bars) {
    if (bars.empty()) return {};
    std::string out = bars;
    for (char& c : out)
        if (c == '|') c = '\0';
    out.append(2, '\0');
    return out;
}

std::string FilterFromPlatform(const std::string& zeros) {
    std::string out = zeros;
    while (!out.empty() && out.back() == '\0') out.pop_back();
    for (char& c : out)
        if (c == '\0') c = '|';
    return out;
}

std::string SavedName(const std::string& path, const std::string& platformFilter,
                      uint32_t filterIndex, int32_t addExt) {
    if (path.empty() || addExt != 0) return path;
    const size_t slash = path.rfind('\\');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.find('.') != std::string::npos) return path;
    const std::vector<std::string> parts = SplitAtZeros(platformFilter);
    const size_t patternAt = size_t(filterIndex) * 2 - 1;  // pairs counted from 1
    if (filterIndex == 0 || patternAt >= parts.size()) return path;
    const std::string& pattern = parts[patternAt];
    const size_t dot = pattern.rfind('.');
    if (dot == std::string::npos) return path;
    const std::string ext = pattern.substr(dot);
    // A wildcard would make a name no file can have.
    if (ext.size() < 2 || ext.find_first_of("*?;") != std::string::npos) return path;
    return path + ext;
}

std::vector<std::string> SplitSelection(const std::string& buffer) {
    const std::vector<std::string> parts = SplitAtZeros(buffer);
    if (parts.size() <= 1) return parts;
    std::string folder = parts[0];
    if (folder.back() != '\\') folder += '\\';
    std::vector<std::string> paths;
    for (size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
    return paths;
}

}  // namespace tqk::comd6
