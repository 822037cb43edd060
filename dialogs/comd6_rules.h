// The file dialogs' rules that need no platform call: option flags, the filter in both forms,
// the extension a saved name gets, and the split of a multiple selection. Portable: no
// <windows.h>. Texts are UTF-8 ("|", "\", "." and zero are single bytes in it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tqk::comd6 {

// The switches of a ComD6 object; only the value 1 turns an option on.
struct Switches {
    int32_t Flag_Save_AddExt = 0;  // 0: a saved name without extension gets the filter's
    int32_t Flag_NoChangeDir_Destroy = 0;
    int32_t Flag_Open_CreatePrompt = 0;
    int32_t Flag_Open_CreatePromptToError = 0;
    int32_t Flag_Open_LinkThuru = 0;
    int32_t Flag_Open_NoReadToMsg_Destroy = 0;
    int32_t Flag_Save_Overwriteprompt = 0;
    int32_t Flag_RestoreDirectory = 0;
};

enum class Kind { OpenSingle, OpenMulti, Save };

// The platform's option bits (OFN_...), as the dialogs use them.
inline constexpr uint32_t kReadOnlyHidden = 0x4;           // OFN_HIDEREADONLY
inline constexpr uint32_t kOverwritePrompt = 0x2;          // OFN_OVERWRITEPROMPT
inline constexpr uint32_t kNoChangeDir = 0x8;              // OFN_NOCHANGEDIR
inline constexpr uint32_t kAllowMultiSelect = 0x200;       // OFN_ALLOWMULTISELECT
inline constexpr uint32_t kFileMustExist = 0x1000;         // OFN_FILEMUSTEXIST
inline constexpr uint32_t kCreatePrompt = 0x2000;          // OFN_CREATEPROMPT
inline constexpr uint32_t kNoReadOnlyReturn = 0x8000;      // OFN_NOREADONLYRETURN
inline constexpr uint32_t kNoNetworkButton = 0x20000;      // OFN_NONETWORKBUTTON
inline constexpr uint32_t kExplorer = 0x80000;             // OFN_EXPLORER
inline constexpr uint32_t kNoDereferenceLinks = 0x100000;  // OFN_NODEREFERENCELINKS
inline constexpr uint32_t kEnableSizing = 0x800000;        // OFN_ENABLESIZING

// The Flags of the dialog record for one kind of dialog.
uint32_t DialogFlags(const Switches& s, Kind kind);

// "name|pattern|name|pattern" to the platform's form: every "|" a zero character, ending with
// two zeros (an empty filter stays empty: no filter).
std::string FilterToPlatform(const std::string& bars);
// The platform's form back to the "|" form (the closing zeros dropped).
std::string FilterFromPlatform(const std::string& zeros);

// The name ShowSave returns: path as chosen, with the extension of the chosen filter (pair
// filterIndex, counted from 1, of the platform-form filter) appended when addExt is 0 and the
// file-name part (after the last "\") has no ".". A pattern whose extension is a wildcard
// ("*.*") or a filter index outside the list adds nothing.
std::string SavedName(const std::string& path, const std::string& platformFilter,
                      uint32_t filterIndex, int32_t addExt);

// The paths of a multiple selection from the dialog's buffer (up to its first double zero, or
// its end): one part is the path itself; more are a folder and names in it. An empty buffer
// gives no paths.
std::vector<std::string> SplitSelection(const std::string& buffer);

}  // namespace tqk::comd6
