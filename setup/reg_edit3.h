// RegEdit3: typed registry values, the file-type association of the installer and its removal,
// recursive key deletion and a few look-ups. All registry calls are the ANSI ones; names and
// texts go through the system ANSI code page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "reg_value.h"

namespace tqk {

class RegEdit3 {
public:
    // Creates/opens RK\KeyDir for writing and stores the value by its kind: 0, -1 (key not
    // opened) or -7 (not written). A kind the registry cannot hold writes nothing and gives 0.
    [[nodiscard]] int32_t SetValue(HKEY rk, const std::wstring& keyDir, const std::wstring& keyName,
                                   const RegValue& value);
    // openState bit 0 set: create/open for reading (failure -1); else open an existing key
    // (failure -2). A missing or empty value reads as an empty value with code 0.
    RegValue GetValue(HKEY rk, const std::wstring& keyDir, const std::wstring& keyName,
                      int32_t openState, int32_t* retErrorValue);

    // Associates ext (".TQK") with the program under HKEY_CLASSES_ROOT.
    [[nodiscard]] int32_t RelateExtensionAndCommand(
        const std::wstring& ext, const std::wstring& exePath, const std::wstring& commandTitle,
        const std::wstring& commandLine, const std::wstring& defaultExtName,
        const std::wstring& defaultIconPath, int32_t iconIndex, const std::wstring& extDescription);
    // Deletes the extension key and the type key it names: 0, or -6 when the extension's type
    // name cannot be read (nothing deleted).
    int32_t UnRelateExtAndCommand(const std::wstring& ext);
    // Takes back the keys an installation created for an association (UTF-8 paths under
    // HKEY_CLASSES_ROOT, deepest first): each one that has no subkeys left, and the extension's
    // own key only while its default value still names type. Whatever another program added
    // or took over stays. The number of keys deleted.
    int32_t UnRelateCreatedKeys(const std::wstring& ext, const std::wstring& type,
                                const std::vector<std::string>& keys);
    // Deletes RK\KeyDir with all subkeys, deepest first; the number of keys deleted.
    int32_t KillkeyIncludeSubKey(HKEY rk, const std::wstring& keyDir);

    static std::wstring GetReg3Error(int32_t errorNo);
    // The program the "open" command of a file's type names (cut after ".exe").
    std::wstring GetExePathFromExtension(const std::wstring& fnm, int32_t* retErrorValue);
    // The type description of a file's extension; the extension itself when there is none
    // and ifNothingToReturnExt.
    std::wstring GetFileDescription(const std::wstring& fnm, bool ifNothingToReturnExt);
    // 1 = "Open", 2 = "Close": the current sound of the default scheme; "" otherwise.
    std::wstring GetSoundPath(int32_t soundType);

private:
    // The default value of HKEY_CLASSES_ROOT\key as text; code as GetValue's.
    std::wstring ReadClassDefault(const std::wstring& key, int32_t* retErrorValue);
};

}  // namespace tqk
