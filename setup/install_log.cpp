#include "install_log.h"

namespace tqk {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Whole UTF-8 characters: a pattern's "?" stands for one character, not one byte.
size_t CharLength(std::string_view s, size_t at) {
    const unsigned char c = static_cast<unsigned char>(s[at]);
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return n <= s.size() - at ? n : s.size() - at;
}

bool CharEquals(std::string_view a, size_t ai, size_t an, std::string_view b, size_t bi,
                size_t bn) {
    if (an != bn) return false;
    for (size_t k = 0; k < an; ++k)
        if (LowerAscii(a[ai + k]) != LowerAscii(b[bi + k])) return false;
    return true;
}

}  // namespace

bool InstallLogBuffers::Add(std::string_view kind, std::string_view value) {
    std::string* buffer = nullptr;
    if (kind == kKindFile)
        buffer = &fileLog_;
    else if (kind == kKindDir)
        buffer = &dirLog_;
    else if (kind == kKindReg || kind == kKindDriver || kind == kKindRegType || kind == kKindRegKey)
        buffer = &regLog_;
    if (!buffer) return false;
    buffer->append(kind).append(":").append(value).append("\r\n");
    return true;
}

std::string InstallLogBuffers::GetAllLog() const {
    return dirLog_ + "\r\n" + fileLog_ + "\r\n" + regLog_;
}

std::vector<std::string> SplitLogLines(std::string_view text) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find("\r\n", start);
        if (at == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            return lines;
        }
        lines.emplace_back(text.substr(start, at - start));
        start = at + 2;
    }
}

size_t CountLineBreaks(std::string_view text) {
    size_t n = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2))
        ++n;
    return n;
}

std::optional<LogRecord> ParseLogLine(std::string_view line) {
    if (line.empty()) return std::nullopt;
    LogRecord r;
    r.kind = std::string(line.substr(0, 3));
    if (line.size() > 4) r.value = std::string(line.substr(4));
    return r;
}

std::string AfterLastBackslash(std::string_view path) {
    const size_t at = path.rfind('\\');
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::optional<std::string> InstallStatusText(std::string_view kind, std::string_view value) {
    if (kind == kKindFile) {
        const std::string name = AfterLastBackslash(value);
        const bool isLink = name.size() >= 4 &&
                            EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".lnk");
        return name + (isLink ? "のショートカットを作成中" : "をコピー中");
    }
    if (kind == kKindDir) return AfterLastBackslash(value) + "ディレクトリを作成中";
    if (kind == kKindReg || kind == kKindDriver) return std::string(value) + "をレジストリに登録中";
    return std::nullopt;
}

UndoStep PlanUndo(const LogRecord& record) {
    UndoStep step;
    if (record.kind == kKindReg) {
        if (record.value == "TQK") {
            step.action = UndoAction::kUnregister;
            step.status = "TQKの関連づけを削除中";
        }
    } else if (record.kind == kKindDriver) {
        for (const char* name : kCompressorEntries)
            if (record.value == name) {
                step.action = UndoAction::kUnregisterDriver;
                step.status = record.value + "の登録を削除中";
            }
    } else if (record.kind == kKindFile) {
        step.action = UndoAction::kDeleteFile;
        step.status = AfterLastBackslash(record.value) + "を削除中";
    } else if (record.kind == kKindDir) {
        step.action = UndoAction::kRemoveDir;
        step.status = AfterLastBackslash(record.value) + "ディレクトリを削除中";
    }
    return step;
}

std::optional<std::string> ChooseCompressorEntry(
    const std::function<std::optional<std::string>(const std::string&)>& current) {
    for (const char* name : kCompressorEntries) {
        const std::optional<std::string> data = current(name);
        if (!data || EqualsNoCase(AfterLastBackslash(*data), kCompressorFile)) return name;
    }
    return std::nullopt;
}

bool IsCompressorOf(std::string_view data, std::string_view folder) {
    return EqualsNoCase(data, std::string(folder) + kCompressorFile);
}

std::vector<std::string> AssociationKeys(std::string_view ext, std::string_view type,
                                         std::string_view verb) {
    const std::string t(type);
    return {std::string(ext),
            t,
            t + "\\Shell",
            t + "\\Shell\\" + std::string(verb),
            t + "\\Shell\\" + std::string(verb) + "\\command",
            t + "\\DefaultIcon"};
}

AssociationUndo PlanAssociationUndo(const std::vector<std::string>& logLines) {
    AssociationUndo undo;
    bool registered = false, recorded = false;
    std::vector<std::string> keys;
    for (const auto& line : logLines) {
        const auto r = ParseLogLine(line);
        if (!r) continue;
        if (r->kind == kKindReg && r->value == "TQK") registered = true;
        if (r->kind == kKindRegType) {
            recorded = true;
            undo.type = r->value;
        }
        if (r->kind == kKindRegKey && !r->value.empty()) {
            recorded = true;
            keys.push_back(r->value);
        }
    }
    if (!registered) return AssociationUndo{};
    if (!recorded) {
        undo.type = kMovieTypeName;
        keys = AssociationKeys(kMovieExtension, kMovieTypeName, kMovieVerb);
    }
    // Deepest first; keys of equal depth in reverse order of creation.
    SortByDepth(keys);
    undo.keys.assign(keys.rbegin(), keys.rend());
    return undo;
}

std::vector<std::string> KeysToRecord(const std::vector<std::string>& candidates,
                                      const std::function<bool(const std::string&)>& existedBefore,
                                      const std::function<bool(const std::string&)>& existsNow,
                                      const AssociationUndo& previous, std::string_view type) {
    std::vector<std::string> keys;
    auto has = [&keys](const std::string& k) {
        for (const auto& x : keys)
            if (EqualsNoCase(x, k)) return true;
        return false;
    };
    for (const auto& k : candidates)
        if (!existedBefore(k) && existsNow(k) && !has(k)) keys.push_back(k);
    const bool sameType = EqualsNoCase(previous.type, type);
    for (auto it = previous.keys.rbegin(); it != previous.keys.rend(); ++it) {
        const bool extension = !it->empty() && (*it)[0] == '.';
        if (extension && !sameType) continue;
        if (existsNow(*it) && !has(*it)) keys.push_back(*it);
    }
    SortByDepth(keys);
    return keys;
}

namespace {
// The association's records at most: the type, six keys, "reg:TQK".
constexpr size_t kAssociationRecords = 8;
constexpr size_t kShortcuts = 6;
}  // namespace

size_t PlannedLogLineBreaks(size_t folders, size_t files) {
    const size_t records = folders + 1 + files + kShortcuts + kAssociationRecords + 1;
    return records + 3;
}

size_t MaxInstallEntries() { return kMaxLogLineBreaks - 1 - PlannedLogLineBreaks(0, 0); }

std::string TooManyFilesMessage(size_t found) {
    return "インストールするフォルダとファイルが多すぎます。\r\n"
           "合わせて" +
           std::to_string(MaxInstallEntries()) + "個までですが、" + std::to_string(found) +
           "個あります。\r\nインストールを中止しました。何も変更していません。";
}

size_t PathDepth(std::string_view path) {
    size_t n = 0;
    for (char c : path) n += c == '\\';
    return n;
}

void SortByDepth(std::vector<std::string>& paths) {
    // Exchange sort: an element moves only past deeper ones, so equal depths keep their order.
    for (size_t i = 1; i < paths.size(); ++i)
        for (size_t j = i; j > 0 && PathDepth(paths[j - 1]) > PathDepth(paths[j]); --j)
            std::swap(paths[j - 1], paths[j]);
}

std::string WithTrailingBackslash(std::string_view path) {
    std::string p(path);
    if (!p.empty() && p.back() != '\\') p += '\\';
    return p;
}

std::string DestinationFromParent(std::string_view parent) {
    std::string p(parent);
    if (p.empty() || p.back() != '\\') p += '\\';
    return p + "Taviro\\";
}

std::string MapToDestination(std::string_view source, std::string_view dest,
                             std::string_view path) {
    std::string_view rest = path;
    if (StartsWithNoCase(path, source)) rest = path.substr(source.size());
    return std::string(dest) + std::string(rest);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsPathWithin(std::string_view path, std::string_view root, bool allowRoot) {
    if (root.size() < 3 || root.back() != '\\') return false;
    std::string_view p = path;
    if (allowRoot && p.size() + 1 == root.size() && StartsWithNoCase(root, p)) return true;
    if (!StartsWithNoCase(p, root)) return false;
    std::string_view rest = p.substr(root.size());
    if (rest.empty()) return allowRoot;
    // A folder record ends in "\": its last (empty) component is not a component.
    if (rest.back() == '\\') rest.remove_suffix(1);
    if (rest.empty()) return false;
    size_t start = 0;
    for (;;) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view part = rest.substr(start, end - start);
        if (part.find_first_not_of(". ") == std::string_view::npos) return false;
        if (end == rest.size()) return true;
        start = end + 1;
    }
}

std::string UninstallBatchText(std::string_view self, std::string_view folder,
                               std::string_view batch) {
    const std::string q = "\"";
    const std::string s = q + std::string(self) + q;
    std::string text = "@echo off\r\n:delfile\r\n";
    // "/f": a plain "del" cannot remove a read-only file, and the copy keeps the attribute of
    // the file it was made from; the loop would then never end.
    text += "del /f " + s + "\r\n";
    text += "if exist " + s + " goto delfile:\r\n";
    text += ":deldir\r\n";
    for (int i = 0; i <= 50; ++i) text += "rd " + q + std::string(folder) + q + "\r\n";
    text += "del " + q + std::string(batch) + q + "\r\n";
    return text;
}

bool WildcardMatch(std::string_view name, std::string_view pattern) {
    // Iterative match with one back-track point for the last "*".
    size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pattern.size()) {
            const size_t nl = CharLength(name, n), pl = CharLength(pattern, p);
            if (pattern[p] == '?' || CharEquals(name, n, nl, pattern, p, pl)) {
                n += nl;
                p += pattern[p] == '?' ? 1 : pl;
                continue;
            }
        }
        if (starP == std::string_view::npos) return false;
        p = starP;
        starN += CharLength(name, starN);
        n = starN;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool MatchesAnyPattern(std::string_view name, std::string_view patterns) {
    if (patterns.empty()) return true;
    size_t start = 0;
    for (;;) {
        size_t end = patterns.find(';', start);
        if (end == std::string_view::npos) end = patterns.size();
        if (WildcardMatch(name, patterns.substr(start, end - start))) return true;
        if (end == patterns.size()) return false;
        start = end + 1;
    }
}

}  // namespace tqk
