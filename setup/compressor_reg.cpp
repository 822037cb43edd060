#include "compressor_reg.h"

#include <windows.h>

#include <vector>

#include "install_log.h"
#include "win_handles.h"
#include "win_text.h"

namespace tqk {
namespace {

const wchar_t kDrivers32[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

// The driver loader takes what follows a blank in an entry as the driver's arguments, so a
// folder whose path has blanks (under "Program Files") is named by its short form. The file
// keeps its own name: that is how an entry is known as ours (ChooseCompressorEntry).
std::wstring DriverPath(const std::wstring& folder) {
    const std::wstring file = WideFromUtf8(kCompressorFile);
    if (folder.find(L' ') == std::wstring::npos) return folder + file;
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(folder.c_str(), shortPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return folder + file;
    std::wstring s(shortPath, n);
    if (s.back() != L'\\') s += L'\\';
    return s.find(L' ') == std::wstring::npos ? s + file : folder + file;
}

}  // namespace

std::optional<std::wstring> ReadDriverEntry(const std::wstring& name) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDrivers32, 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    RegKey key(raw);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, 0);
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    // Any value of the name holds it, whatever its type; its text is what a string gives.
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::wstring();
    return std::wstring(data.data());
}

bool WriteDriverEntry(const std::wstring& name, const std::wstring& data) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDrivers32, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegKey key(raw);
    return RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          DWORD((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool DeleteDriverEntry(const std::wstring& name) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDrivers32, 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
        return false;
    RegKey key(raw);
    return RegDeleteValueW(key.Get(), name.c_str()) == ERROR_SUCCESS;
}

std::wstring RegisterCompressor(const std::wstring& folder) {
    const std::wstring library = folder + WideFromUtf8(kCompressorFile);
    const DWORD a = GetFileAttributesW(library.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
    const auto name = ChooseCompressorEntry([](const std::string& n) {
        const auto data = ReadDriverEntry(WideFromUtf8(n));
        return data ? std::optional<std::string>(Utf8FromWide(*data)) : std::nullopt;
    });
    if (!name || !WriteDriverEntry(WideFromUtf8(*name), DriverPath(folder))) return std::wstring();
    return WideFromUtf8(*name);
}

void UnregisterCompressor(const std::wstring& name, const std::wstring& folder) {
    const auto data = ReadDriverEntry(name);
    if (!data) return;
    // The log is undone from its end, so the folder is still there to name its short form.
    if (IsCompressorOf(Utf8FromWide(*data), Utf8FromWide(folder)) ||
        (!data->empty() && lstrcmpiW(data->c_str(), DriverPath(folder).c_str()) == 0))
        DeleteDriverEntry(name);
}

}  // namespace tqk
