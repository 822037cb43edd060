// The registration of the suite's video compressor: its entry among the platform's Drivers32
// values (HKLM), written by the installer and removed by the uninstaller only while it still
// names the installed library.
#pragma once

#include <optional>
#include <string>

namespace tqk {

// The data of HKLM\...\Drivers32\name; nullopt when there is no such value.
std::optional<std::wstring> ReadDriverEntry(const std::wstring& name);
[[nodiscard]] bool WriteDriverEntry(const std::wstring& name, const std::wstring& data);
bool DeleteDriverEntry(const std::wstring& name);

// The folder as the entry names it: the platform's driver loader takes everything after the
// first space of an entry for the driver's arguments, so a folder with spaces is given by its
// short name (unchanged when it has no spaces or no short name without them).
std::wstring DriverFolder(const std::wstring& folder);

// Registers folder + TaviroZmbv.dll when the file is there, under the first entry name not
// held by another compressor; returns that name, or empty when nothing was written.
std::wstring RegisterCompressor(const std::wstring& folder);
// Removes the entry when it still names the library of folder; anything else stays.
void UnregisterCompressor(const std::wstring& name, const std::wstring& folder);

}  // namespace tqk
