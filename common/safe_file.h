// Writing a file so that it is replaced in one step: the new content goes into a scratch file
// beside the target, is flushed to the disk, and only then takes the target's name (Win32:
// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; elsewhere rename). A
// failure at any point leaves the old file as it was and reports the platform's error number.
// Every write, flush and rename goes through the fault seam (fault_seam.h).
// The header is portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tqk {

// The scratch file used for a target: "<target>.tmp~" beside it (same folder, so the final
// rename stays on one volume).
std::string ScratchPathFor(const std::string& utf8Target);

// Writes data as the whole new content of the file at a UTF-8 path. 0, or the platform's error
// number (GetLastError / errno); on failure the old file is untouched and no scratch is left.
[[nodiscard]] uint32_t WriteFileReplacing(const std::string& utf8Path, const void* data, size_t n);
[[nodiscard]] inline uint32_t WriteFileReplacing(const std::string& utf8Path,
                                                 const std::string& bytes) {
    return WriteFileReplacing(utf8Path, bytes.data(), bytes.size());
}

// Deletes a file at a UTF-8 path (a scratch file given up); false when it could not.
bool RemoveFile(const std::string& utf8Path);

// Puts the finished file `from` in place of `to` in one step, replacing `to` if it exists,
// written through to the disk. 0 or the platform's error number; on failure both files stay.
// For writers that made their new file themselves (the movie rewritten into a copy).
[[nodiscard]] uint32_t ReplaceFileWith(const std::string& utf8From, const std::string& utf8To);

#ifdef _WIN32
// The same for wide paths (the programs' own), Windows only.
[[nodiscard]] uint32_t WriteFileReplacing(const std::wstring& path, const void* data, size_t n);
[[nodiscard]] uint32_t ReplaceFileWith(const std::wstring& from, const std::wstring& to);
#endif

// The same pieces for a writer that produces its file in parts.
//   SafeFileWriter w;  if (w.Open(path) || w.Write(a, n) || w.Write(b, m) || w.Commit()) fail;
// Destroyed before Commit, it removes the scratch file and the target stays as it was.
class SafeFileWriter {
public:
    SafeFileWriter();
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Creates the scratch file for the target. 0 or the error number.
    [[nodiscard]] uint32_t Open(const std::string& utf8Target);
    // Appends to the scratch file. A failure removes the scratch file; every later call then
    // fails with the same error.
    [[nodiscard]] uint32_t Write(const void* data, size_t n);
    // Flushes the scratch file to the disk, closes it and renames it over the target.
    [[nodiscard]] uint32_t Commit();
    // Closes and deletes the scratch file; the target stays as it was.
    void Abandon();

private:
    uint32_t Fail(uint32_t error);
    struct Impl;  // the open scratch file, through its owner
    std::unique_ptr<Impl> impl_;
    uint32_t error_ = 0;
    std::string target_;
    std::string scratch_;
};

}  // namespace tqk
