// Files and folders for Windows tests: unique temporary folders removed with their content.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace tqk::test {

// The tests' temporary folder (its name holds stem) with Path() ending in "\", the form the
// programs' own paths take.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& stem)
        : dir_(std::filesystem::path(L"taviro_" + stem + L"_").u8string()),
          path_(dir_.Path().wstring() + L"\\") {}
    const std::wstring& Path() const { return path_; }

private:
    TempDir dir_;
    std::wstring path_;
};

void RemoveTree(const std::wstring& folder);  // folder with or without its trailing "\"
bool Exists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
std::optional<std::string> ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Copies folder from (with "\") into to (with "\"), creating to.
bool CopyTree(const std::wstring& from, const std::wstring& to);
// Paths of all files below folder (with "\"), relative to it, sorted.
std::vector<std::wstring> ListFilesRelative(const std::wstring& folder);

}  // namespace tqk::test
