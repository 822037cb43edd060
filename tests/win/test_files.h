// Files and folders for Windows tests: unique temporary folders removed with their content.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace tqk::test {

// A new folder below the temporary folder (its name holds stem), removed with everything in it
// when the object goes. Path() ends in "\".
class TempFolder {
public:
    explicit TempFolder(const std::wstring& stem);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }

private:
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
