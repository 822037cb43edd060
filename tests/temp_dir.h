// The tests' one temporary folder: a fresh folder under the system's temporary folder, removed
// with everything in it (read-only files too) when the object goes. Portable; the Windows
// tests use it through std::filesystem as well.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace tqk::test {

class TempDir {
public:
    // prefix (UTF-8) starts the folder's name. When keepVariable names an environment variable that
    // is set, its folder is used instead and kept afterwards (to look at what a test wrote).
    explicit TempDir(const std::string& prefix = "taviro_", const char* keepVariable = nullptr) {
        if (const char* keep = keepVariable ? std::getenv(keepVariable) : nullptr; keep && *keep) {
            path_ = std::filesystem::u8path(keep);
            keep_ = true;
        } else {
            std::random_device rd;
            path_ =
                std::filesystem::temp_directory_path() /
                std::filesystem::u8path(prefix + std::to_string(rd()) + "_" + std::to_string(rd()));
        }
        std::error_code ec;
        std::filesystem::create_directories(path_, ec);
    }
    ~TempDir() {
        if (keep_) return;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::error_code ignored;
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // A file of the folder named in UTF-8, as UTF-8.
    std::string File(const std::string& name) const {
        return (path_ / std::filesystem::u8path(name)).u8string();
    }
    // The same as a wide string (the Windows programs' paths).
    std::wstring File(const std::wstring& name) const { return (path_ / name).wstring(); }
    std::wstring FileW(const std::string& name) const {
        return (path_ / std::filesystem::u8path(name)).wstring();
    }

private:
    std::filesystem::path path_;
    bool keep_ = false;
};

// A new empty file for reading and writing, in a folder of this process's own (std::tmpfile
// under Wine names its files so that test processes running side by side can lose them, and
// then returns null). The files go with the folder when the process ends.
inline std::FILE* OpenScratchFile() {
    static TempDir folder("taviro_scratch_");
    static int count = 0;
    return std::fopen(folder.File("scratch" + std::to_string(++count)).c_str(), "w+b");
}

}  // namespace tqk::test
