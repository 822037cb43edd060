// The install log as the uninstaller walks it: the line-break limit, the split at CR LF, each
// record's kind and value, the planned step and the check that keeps a step inside the folders
// it may touch; and the installer's status texts and the file patterns of the copy.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "install_log.h"

namespace {

bool HasDotComponent(std::string_view rest) {
    size_t start = 0;
    for (;;) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view part = rest.substr(start, end - start);
        if (!part.empty() && part.find_first_not_of(". ") == std::string_view::npos) return true;
        if (end == rest.size()) return false;
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tqk;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const std::string roots[] = {"C:\\Program Files\\Taviro\\", "C:\\users\\u\\Desktop\\",
                                        "C:\\users\\u\\Start Menu\\Programs\\Nolvane\\Taviro\\"};
    if (CountLineBreaks(text) < kMaxLogLineBreaks) {
        const std::vector<std::string> lines = SplitLogLines(text);
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            const auto record = ParseLogLine(*it);
            if (!record) continue;
            if (record->kind.size() > 3) std::abort();
            (void)InstallStatusText(record->kind, record->value);
            const UndoStep step = PlanUndo(*record);
            if (step.action == UndoAction::kNone) continue;
            for (const std::string& root : roots) {
                for (const bool allowRoot : {false, true}) {
                    if (!IsPathWithin(record->value, root, allowRoot)) continue;
                    // Inside means below the root, with nothing that climbs out of it.
                    const std::string& v = record->value;
                    if (!StartsWithNoCase(v + "\\", root)) std::abort();
                    if (v.size() >= root.size() && HasDotComponent(v.substr(root.size())))
                        std::abort();
                    if (!allowRoot && v.size() <= root.size()) std::abort();
                }
            }
        }
    }
    // The copy's patterns: "name NUL patterns".
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        const std::string_view name = text.substr(0, nul), patterns = text.substr(nul + 1);
        const bool any = MatchesAnyPattern(name, patterns);
        if (WildcardMatch(name, "*") != true) std::abort();
        if (patterns.find(';') == std::string_view::npos && !patterns.empty() &&
            any != WildcardMatch(name, patterns))
            std::abort();
    }
    // The sort is quadratic by design and only ever gets the lines of a log the walk accepts
    // (or the installer's own few folders): as many here, not thousands of one-byte lines.
    std::vector<std::string> paths = SplitLogLines(text.substr(0, 2000));
    if (paths.size() > kMaxLogLineBreaks + 1) paths.resize(kMaxLogLineBreaks + 1);
    SortByDepth(paths);
    for (size_t i = 1; i < paths.size(); ++i)
        if (PathDepth(paths[i - 1]) > PathDepth(paths[i])) std::abort();
    return 0;
}
