#include "setup_files.h"

#include <shlobj.h>

#include <algorithm>

#include "install_log.h"
#include "safe_file.h"
#include "win_handles.h"
#include "win_text.h"
#include "win_window.h"

namespace tqk {

std::wstring WithBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return WithBackslash(path);
}

namespace {
std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
}  // namespace

std::wstring ProgramFolder() {
    const std::wstring path = ModulePath();
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring ProgramStem() {
    std::wstring name = ModulePath();
    name = name.substr(name.rfind(L'\\') + 1);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CreateFolderPath(const std::wstring& path) {
    // Walk the components, skipping a network path's "\\server\share" and a drive's "C:\".
    size_t start = 0;
    if (path.compare(0, 2, L"\\\\") == 0) {
        start = path.find(L'\\', 2);
        start = start == std::wstring::npos ? path.size() : path.find(L'\\', start + 1);
        if (start == std::wstring::npos) start = path.size();
    } else if (path.size() >= 3 && path[1] == L':') {
        start = 3;
    }
    for (size_t at = path.find(L'\\', start); at != std::wstring::npos;
         at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

bool ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string* out) {
    FileHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.Get(), &size) || size.QuadPart < 0 || uint64_t(size.QuadPart) > maxBytes)
        return false;
    out->assign(size_t(size.QuadPart), '\0');
    DWORD got = 0;
    if (!out->empty() &&
        (!ReadFile(f.Get(), out->data(), DWORD(out->size()), &got, nullptr) || got != out->size()))
        return false;
    return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    // Replaced in one step: a failure keeps the file that was there, never half a new one.
    const uint32_t err = WriteFileReplacing(path, bytes.data(), bytes.size());
    if (err) SetLastError(err);
    return err == 0;
}

namespace {

void ListFolder(const std::wstring& folder, std::vector<std::wstring>* dests, DWORD attributes,
                const std::string& patterns, bool lostDirectory, bool searchSubDirectory,
                bool notDoEvents, bool searchIsFnmOnly) {
    WIN32_FIND_DATAW fd;
    FindHandle find(FindFirstFileW((folder + L"*").c_str(), &fd));
    if (!find) return;
    std::vector<std::wstring> subfolders;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L".." || EqualsNoCase(Utf8FromWide(name), "pagefile.sys"))
            continue;
        const std::wstring full = folder + name;
        const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool wanted =
            (fd.dwFileAttributes & attributes) == attributes && !(isDir && lostDirectory) &&
            MatchesAnyPattern(Utf8FromWide(searchIsFnmOnly ? name : full), patterns);
        if (wanted) dests->push_back(full);
        // A link or junction may lead back up the tree: never follow one.
        if (isDir && searchSubDirectory && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            subfolders.push_back(full + L"\\");
        if (!notDoEvents) PumpMessages();
    } while (FindNextFileW(find.Get(), &fd));
    find.Reset();
    for (const auto& sub : subfolders)
        ListFolder(sub, dests, attributes, patterns, lostDirectory, searchSubDirectory, notDoEvents,
                   searchIsFnmOnly);
}

}  // namespace

int32_t GetALLFiles(std::wstring directory, std::vector<std::wstring>* dests, DWORD attributes,
                    const std::wstring& searchString, bool lostDirectory, bool searchSubDirectory,
                    bool notDoEvents, bool searchIsFnmOnly) {
    dests->clear();
    directory.erase(std::remove(directory.begin(), directory.end(), L'\0'), directory.end());
    ListFolder(WithBackslash(directory), dests, attributes, Utf8FromWide(searchString),
               lostDirectory, searchSubDirectory, notDoEvents, searchIsFnmOnly);
    return int32_t(dests->size());
}

}  // namespace tqk
