// The install log shared by the installer and the uninstaller, and the path and text rules
// around it. Portable: strings are UTF-8, paths use "\" as the platform does; the programs
// convert to and from the ANSI code page at the file edge.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tqk {

inline constexpr const char* kLogFileName = "InstallLog.log";
inline constexpr const char* kKindFile = "fnm";
inline constexpr const char* kKindDir = "dir";
inline constexpr const char* kKindReg = "reg";
// A video compressor the installer registered: "drv:" + the entry's name. Kept with the "reg"
// records (the last part of the log), so the backward walk removes it before the files.
inline constexpr const char* kKindDriver = "drv";
// The compressor library the distribution carries and the names its entry may take under
// HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32: the platform finds a
// compressor for a stream's handler "zmbv" as "vidc.zmbv"; when another compressor holds that
// name, the second name keeps ours listed (the streams it writes still say ZMBV).
inline constexpr const char* kCompressorFile = "TaviroZmbv.dll";
inline constexpr const char* kCompressorEntries[] = {"vidc.zmbv", "vidc.tzmb"};
// The association's own keys, kept with the "reg" records: "rgt:" + the file type the
// extension named when the association was made, then one "rgk:" + key (under
// HKEY_CLASSES_ROOT) per key the installation created, shallowest first. The uninstaller
// removes those keys only, so a type that existed before, or one another program associated
// the extension with since, stays. A log without them ("reg:TQK" alone) was written before
// they existed.
inline constexpr const char* kKindRegType = "rgt";
inline constexpr const char* kKindRegKey = "rgk";
// The association the installer makes.
inline constexpr const char* kMovieExtension = ".TQK";
inline constexpr const char* kMovieTypeName = "TaviroVideo";
inline constexpr const char* kMovieVerb = "再生";
// The uninstaller refuses a log with this many line breaks or more.
inline constexpr size_t kMaxLogLineBreaks = 100;

// The three record buffers the installer fills while it works, written out at its end.
class InstallLogBuffers {
public:
    // Appends "kind:value" CR LF to the buffer of a known kind; false (nothing kept) otherwise.
    bool Add(std::string_view kind, std::string_view value);
    // DirLog + CR LF + FileLog + CR LF + RegLog.
    std::string GetAllLog() const;
    // The bytes of the log file: GetAllLog() and a final line break.
    std::string FileText() const { return GetAllLog() + "\r\n"; }

private:
    std::string dirLog_, fileLog_, regLog_;
};

struct LogRecord {
    std::string kind;   // characters 1-3
    std::string value;  // characters from 5 on
};

// Splits at CR LF. An empty text has no lines; otherwise there is one line more than breaks.
std::vector<std::string> SplitLogLines(std::string_view text);
size_t CountLineBreaks(std::string_view text);
// A record from a non-empty line; nullopt for an empty one.
std::optional<LogRecord> ParseLogLine(std::string_view line);

// Text after the last "\" (the whole text when there is none).
std::string AfterLastBackslash(std::string_view path);
// Status line of the installer for a record; nullopt for an unknown kind.
std::optional<std::string> InstallStatusText(std::string_view kind, std::string_view value);

// What the uninstaller does with one record of the backward walk.
enum class UndoAction { kNone, kUnregister, kDeleteFile, kRemoveDir, kUnregisterDriver };
struct UndoStep {
    UndoAction action = UndoAction::kNone;
    std::string status;  // empty: the status line is left as it is
};
UndoStep PlanUndo(const LogRecord& record);

// The compressor entry the installer writes, given what each name holds now (nullopt: the
// name is free): the first name that is free or already names a copy of our library;
// nullopt when every name belongs to another compressor.
std::optional<std::string> ChooseCompressorEntry(
    const std::function<std::optional<std::string>(const std::string&)>& current);
// Whether an entry's data names our library in the installation folder (folder ends in "\"),
// the only registration the uninstaller removes.
bool IsCompressorOf(std::string_view data, std::string_view folder);

// The keys the association writes under HKEY_CLASSES_ROOT, shallowest first: the extension,
// the type, its "Shell", the verb, the verb's "command" and the type's "DefaultIcon".
std::vector<std::string> AssociationKeys(std::string_view ext, std::string_view type,
                                         std::string_view verb);

// What the uninstaller takes back of the association: the keys to remove, deepest first, and
// the type the extension must still name for its own key to go. Empty when the log has no
// "reg:TQK". A log written before the "rgt"/"rgk" records presumes what a fresh association
// creates (the extension naming "TaviroVideo" and that type's keys); the same guards keep
// anything else.
struct AssociationUndo {
    std::string type;
    std::vector<std::string> keys;
};
AssociationUndo PlanAssociationUndo(const std::vector<std::string>& logLines);

// The association's keys an installation records as its own: those it created (candidates
// that exist now and did not before), and those the log it replaces recorded that still
// exist; that log's extension key only while both name the same type. Shallowest first.
std::vector<std::string> KeysToRecord(const std::vector<std::string>& candidates,
                                      const std::function<bool(const std::string&)>& existedBefore,
                                      const std::function<bool(const std::string&)>& existsNow,
                                      const AssociationUndo& previous, std::string_view type);

// The records of the largest log an installation of this many folders and files below the
// installer's folder can write: its folders and the Start-menu folder, its files and the six
// shortcuts, the association's records, the compressor's, the two blank lines and the final
// line break.
size_t PlannedLogLineBreaks(size_t folders, size_t files);
// The most folders and files together that keep the log below kMaxLogLineBreaks.
size_t MaxInstallEntries();
// The installer's refusal when the folder holds more than that (found: folders and files).
std::string TooManyFilesMessage(size_t found);

// Number of "\" in a path.
size_t PathDepth(std::string_view path);
// Shallowest first; equal depths keep their order (a stable exchange sort).
void SortByDepth(std::vector<std::string>& paths);

// The default destination field from a parent folder: parent (with "\") + "Taviro\".
std::string DestinationFromParent(std::string_view parent);
// Adds a trailing "\" when missing (an empty path stays empty).
std::string WithTrailingBackslash(std::string_view path);
// dest + the part of path after source (source is a prefix of path, compared without case).
std::string MapToDestination(std::string_view source, std::string_view dest, std::string_view path);

// Names compared without regard to ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// True when path lies below root (root ends in "\"), or is root itself when allowRoot.
// Refuses relative paths and any component made only of dots and blanks (".", "..", "... "),
// which the platform would resolve to somewhere else.
bool IsPathWithin(std::string_view path, std::string_view root, bool allowRoot);

// Text of the uninstaller's clean-up batch file: self = the uninstaller's path, folder = the
// installation folder with its trailing "\", batch = the batch file's own path. The
// uninstaller's file is deleted even when it is read-only.
std::string UninstallBatchText(std::string_view self, std::string_view folder,
                               std::string_view batch);

// Case-insensitive wildcard match ("*" any run, "?" one character) of a whole name.
bool WildcardMatch(std::string_view name, std::string_view pattern);
// One of the ";"-separated patterns matches; an empty list means "*".
bool MatchesAnyPattern(std::string_view name, std::string_view patterns);

}  // namespace tqk
