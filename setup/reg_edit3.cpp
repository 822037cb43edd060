#include "reg_edit3.h"

#include <vector>

#include "install_log.h"
#include "win_handles.h"
#include "win_text.h"

namespace tqk {
namespace {

std::string AnsiPath(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return AnsiFromWide(path);
}

std::string Utf8FromAnsi(const std::string& s) { return Utf8FromWide(WideFromAnsi(s)); }
std::string AnsiFromUtf8(const std::string& s) { return AnsiFromWide(WideFromUtf8(s)); }

std::string ExpandAnsi(const std::string& s) {
    char buffer[1024];
    const DWORD n = ExpandEnvironmentStringsA(s.c_str(), buffer, sizeof(buffer));
    if (n == 0 || n > sizeof(buffer)) return s;
    return std::string(buffer);
}

std::wstring TextOf(const RegValue& v) {
    return v.kind == RegValue::Kind::kString ? WideFromUtf8(v.text) : std::wstring();
}

void EnumerateSubkeys(HKEY rk, const std::string& keyDir, std::vector<std::string>* out) {
    RegKey key;
    if (RegOpenKeyExA(rk, keyDir.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD len = sizeof(name);
        const LONG rc = RegEnumKeyExA(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        const std::string child = keyDir + "\\" + std::string(name, len);
        out->push_back(child);
        EnumerateSubkeys(rk, child, out);
    }
}

std::wstring LowerAscii(std::wstring s) {
    for (auto& c : s)
        if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
    return s;
}

std::wstring ExtensionOf(const std::wstring& fnm) {
    const size_t dot = fnm.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : fnm.substr(dot);
}

}  // namespace

int32_t RegEdit3::SetValue(HKEY rk, const std::wstring& keyDir, const std::wstring& keyName,
                           const RegValue& value) {
    RegKey key;
    char keyClass[] = "0";
    if (RegCreateKeyExA(rk, AnsiPath(keyDir).c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return kRegErrOpen;
    RegData data;
    switch (EncodeRegValue(value, AnsiFromUtf8, &data)) {
    case EncodeResult::kSkip: return kRegOk;
    case EncodeResult::kOutOfRange: return kRegErrSetValue;
    case EncodeResult::kWrite: break;
    }
    const std::string name = AnsiFromWide(keyName);
    const LONG rc = RegSetValueExA(key.Get(), name.empty() ? nullptr : name.c_str(), 0, data.type,
                                   data.bytes.data(), DWORD(data.bytes.size()));
    return rc == ERROR_SUCCESS ? kRegOk : kRegErrSetValue;
}

RegValue RegEdit3::GetValue(HKEY rk, const std::wstring& keyDir, const std::wstring& keyName,
                            int32_t openState, int32_t* retErrorValue) {
    *retErrorValue = kRegOk;
    RegKey key;
    const std::string dir = AnsiPath(keyDir);
    if (openState & 1) {
        char keyClass[] = "0";
        if (RegCreateKeyExA(rk, dir.c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_READ,
                            nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
            *retErrorValue = kRegErrOpen;
            return RegValue::Empty();
        }
    } else if (RegOpenKeyExA(rk, dir.c_str(), 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) {
        *retErrorValue = kRegErrNoKey;
        return RegValue::Empty();
    }
    const std::string name = AnsiFromWide(keyName);
    const char* namePtr = name.empty() ? nullptr : name.c_str();
    RegData data;
    // The value may grow between asking for its size and reading it: ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, size = 0;
        LONG rc = RegQueryValueExA(key.Get(), namePtr, nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) return RegValue::Empty();
        if (rc != ERROR_SUCCESS) {
            *retErrorValue = kRegErrOpen;
            return RegValue::Empty();
        }
        data.type = type;
        data.bytes.assign(size, 0);
        rc = RegQueryValueExA(key.Get(), namePtr, nullptr, &type, data.bytes.data(), &size);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) {
            *retErrorValue = kRegErrOpen;
            return RegValue::Empty();
        }
        data.type = type;
        data.bytes.resize(size);
        return DecodeRegValue(data, Utf8FromAnsi, ExpandAnsi, retErrorValue);
    }
    *retErrorValue = kRegErrOpen;
    return RegValue::Empty();
}

std::wstring RegEdit3::ReadClassDefault(const std::wstring& key, int32_t* retErrorValue) {
    return TextOf(GetValue(HKEY_CLASSES_ROOT, key, L"", 0, retErrorValue));
}

int32_t RegEdit3::RelateExtensionAndCommand(const std::wstring& ext, const std::wstring& exePath,
                                            const std::wstring& commandTitle,
                                            const std::wstring& commandLine,
                                            const std::wstring& defaultExtName,
                                            const std::wstring& defaultIconPath, int32_t iconIndex,
                                            const std::wstring& extDescription) {
    std::wstring typeName;
    if (!ext.empty() || defaultExtName.empty()) {
        int32_t error = 0;
        const std::wstring existing = ReadClassDefault(ext, &error);
        if (error != kRegOk && error != kRegErrNoKey) return kRegErrAssociate;
        if (existing.empty()) {
            typeName = defaultExtName;
            if (typeName.empty())
                typeName = (!ext.empty() && ext[0] == L'.' ? ext.substr(1) : ext) + L"Data";
            if (SetValue(HKEY_CLASSES_ROOT, ext, L"", RegValue::String(Utf8FromWide(typeName))) !=
                kRegOk)
                return kRegErrAssociate;
            if (!extDescription.empty())
                (void)SetValue(HKEY_CLASSES_ROOT, typeName, L"",
                               RegValue::String(Utf8FromWide(extDescription)));
        } else {
            typeName = existing;
        }
    } else {
        typeName = defaultExtName;
    }
    std::wstring title = commandTitle;
    if (!title.empty() && title.back() == L'\\') title.pop_back();
    const std::wstring command = L"\"" + exePath + L"\"" + commandLine;
    if (SetValue(HKEY_CLASSES_ROOT, typeName + L"\\Shell\\" + title + L"\\command", L"",
                 RegValue::String(Utf8FromWide(command))) != kRegOk)
        return kRegErrAssociate;
    if (!defaultIconPath.empty()) {
        const std::wstring icon = defaultIconPath + L"," + std::to_wstring(iconIndex);
        if (SetValue(HKEY_CLASSES_ROOT, typeName + L"\\DefaultIcon", L"",
                     RegValue::String(Utf8FromWide(icon))) != kRegOk)
            return kRegErrIcon;
    }
    return kRegOk;
}

int32_t RegEdit3::UnRelateExtAndCommand(const std::wstring& ext) {
    int32_t error = 0;
    const std::wstring typeName = ReadClassDefault(ext, &error);
    if (error != kRegOk && error != kRegErrNoKey) return kRegErrAssociate;
    KillkeyIncludeSubKey(HKEY_CLASSES_ROOT, ext);
    KillkeyIncludeSubKey(HKEY_CLASSES_ROOT, typeName);
    return kRegOk;
}

int32_t RegEdit3::UnRelateCreatedKeys(const std::wstring& ext, const std::wstring& type,
                                      const std::vector<std::string>& keys) {
    int32_t deleted = 0;
    for (const auto& utf8 : keys) {
        const std::wstring key = WideFromUtf8(utf8);
        if (EqualsNoCase(utf8, Utf8FromWide(ext))) {
            int32_t error = 0;
            const std::wstring named = ReadClassDefault(key, &error);
            if (error != kRegOk || !EqualsNoCase(Utf8FromWide(named), Utf8FromWide(type))) continue;
        }
        const std::string ansi = AnsiPath(key);
        RegKey open;
        if (ansi.empty() || RegOpenKeyExA(HKEY_CLASSES_ROOT, ansi.c_str(), 0, KEY_READ,
                                          open.Put()) != ERROR_SUCCESS)
            continue;
        DWORD subkeys = 0;
        const bool known =
            RegQueryInfoKeyA(open.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        open.Reset();
        if (known && subkeys == 0)
            deleted += RegDeleteKeyA(HKEY_CLASSES_ROOT, ansi.c_str()) == ERROR_SUCCESS;
    }
    return deleted;
}

int32_t RegEdit3::KillkeyIncludeSubKey(HKEY rk, const std::wstring& keyDir) {
    const std::string top = AnsiPath(keyDir);
    if (top.empty()) return 0;
    std::vector<std::string> keys;
    EnumerateSubkeys(rk, top, &keys);
    // Depth is counted on the Unicode text: an ANSI double-byte character may hold a "\" byte.
    std::vector<std::string> utf8;
    utf8.reserve(keys.size());
    for (const auto& k : keys) utf8.push_back(Utf8FromAnsi(k));
    SortByDepth(utf8);
    int32_t deleted = 0;
    for (auto it = utf8.rbegin(); it != utf8.rend(); ++it)
        deleted += RegDeleteKeyA(rk, AnsiFromUtf8(*it).c_str()) == ERROR_SUCCESS;
    deleted += RegDeleteKeyA(rk, top.c_str()) == ERROR_SUCCESS;
    return deleted;
}

std::wstring RegEdit3::GetReg3Error(int32_t errorNo) {
    return WideFromUtf8(Reg3ErrorText(errorNo));
}

std::wstring RegEdit3::GetExePathFromExtension(const std::wstring& fnm, int32_t* retErrorValue) {
    *retErrorValue = kRegOk;
    const std::wstring ext = ExtensionOf(fnm);
    if (ext.empty()) {
        *retErrorValue = kRegErrFileName;
        return {};
    }
    int32_t error = 0;
    const std::wstring typeName = ReadClassDefault(ext, &error);
    std::wstring command;
    if (error == kRegOk && !typeName.empty())
        command = ReadClassDefault(typeName + L"\\shell\\open\\command\\", &error);
    const size_t at = LowerAscii(command).find(L".exe");
    if (error != kRegOk || at == std::wstring::npos) {
        *retErrorValue = kRegErrExePath;
        return {};
    }
    command.resize(at + 4);
    if (!command.empty() && command[0] == L'"') command.erase(0, 1);
    return command;
}

std::wstring RegEdit3::GetFileDescription(const std::wstring& fnm, bool ifNothingToReturnExt) {
    const std::wstring ext = ExtensionOf(fnm);
    int32_t error = 0;
    std::wstring typeName;
    if (!ext.empty()) typeName = ReadClassDefault(ext, &error);
    if (!ext.empty() && !typeName.empty()) {
        const std::wstring description = ReadClassDefault(typeName, &error);
        if (!description.empty()) return description;
    }
    return ifNothingToReturnExt ? ext : std::wstring();
}

std::wstring RegEdit3::GetSoundPath(int32_t soundType) {
    const wchar_t* name = soundType == 1 ? L"Open" : soundType == 2 ? L"Close" : nullptr;
    if (!name) return {};
    int32_t error = 0;
    return TextOf(
        GetValue(HKEY_CURRENT_USER,
                 std::wstring(L"AppEvents\\Schemes\\Apps\\.Default\\") + name + L"\\.Current", L"",
                 0, &error));
}

}  // namespace tqk
