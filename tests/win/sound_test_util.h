// Helpers of the sound tests under Wine: unique folders, Linux tools run from the Windows side
// (sox, ffprobe, paplay into the audio daemon), message boxes of another process.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "window_driver.h"

namespace tqk::test::sndtest {

inline std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += static_cast<char>(c);
    return s;
}

// The Windows name of a file the build names by its Linux path.
inline std::wstring DosPath(const char* unixPath) {
    using Fn = WCHAR*(CDECL*)(LPCSTR);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!fn) return std::wstring(unixPath, unixPath + strlen(unixPath));
    WCHAR* w = fn(unixPath);
    std::wstring r = w ? w : L"";
    HeapFree(GetProcessHeap(), 0, w);
    return r;
}

// The Linux name of a Windows file, for the Linux tools.
inline std::string UnixPath(const std::string& dosPath) {
    using Fn = char*(CDECL*)(LPCWSTR);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return dosPath;
    const std::wstring w(dosPath.begin(), dosPath.end());
    char* u = fn(w.c_str());
    std::string r = u ? u : "";
    HeapFree(GetProcessHeap(), 0, u);
    return r;
}

// The tests' temporary folder with the narrow paths the sound tests use.
class TempFolder {
public:
    TempFolder() : dir_("sndtest_") {}
    std::string Path() const { return dir_.Path().string(); }
    std::string File(const std::string& name) const { return Path() + "\\" + name; }

private:
    tqk::test::TempDir dir_;
};

inline bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a Linux shell command; Wine runs Linux programs directly but gives no handle to
// wait on, so completion is seen through a marker file written last.
inline void StartUnix(const std::string& shellCommand) {
    std::wstring cmd = L"/bin/sh -c \"";
    cmd += std::wstring(shellCommand.begin(), shellCommand.end());
    cmd += L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    // The handles Wine returns for a Linux process are not ones this process owns (closing
    // them closed unrelated handles of the test), so they are left alone.
    CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
}

// Runs a Linux shell command (no double quotes in it) in `folder` and returns its output.
inline std::string RunUnix(const TempFolder& folder, const std::string& shellCommand,
                           DWORD timeoutMs = 20000) {
    static int n = 0;
    const std::string tag = "unix" + std::to_string(++n);
    const std::string out = UnixPath(folder.File(tag + ".out"));
    const std::string done = UnixPath(folder.File(tag + ".done"));
    StartUnix("(" + shellCommand + ") >'" + out + "' 2>&1; touch '" + done + "'");
    const DWORD until = GetTickCount() + timeoutMs;
    while (!Exists(folder.File(tag + ".done"))) {
        if (GetTickCount() > until) {
            ADD_FAILURE() << "timed out: " << shellCommand;
            return {};
        }
        Sleep(20);
    }
    std::ifstream f(folder.File(tag + ".out"), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Waits for the process's message box, returns its text and presses OK.
inline std::wstring ReadAndDismissMessageBox(DWORD pid, DWORD timeoutMs = 10000) {
    const auto box = tqk::test::WaitForMessageBox(pid, timeoutMs);
    if (!box) return L"(no message box)";
    tqk::test::AnswerMessageBox(*box, IDOK);
    return box->text;
}

// Starts a program with a command line (stdio not inherited).
inline HANDLE StartProgram(const std::wstring& exe, const std::wstring& args, DWORD* retPid) {
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    if (retPid) *retPid = pi.dwProcessId;
    return pi.hProcess;
}

// A WAV file's layout as read from its bytes.
struct WavInfo {
    bool ok = false;
    uint32_t riffSize = 0, fileSize = 0, fmtSize = 0, dataSize = 0;
    uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0, avg = 0;
};

inline WavInfo ReadWav(const std::string& path) {
    WavInfo w;
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), {});
    auto u32 = [&](size_t at) {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
               uint32_t(b[at + 3]) << 24;
    };
    auto u16 = [&](size_t at) { return uint16_t(b[at] | b[at + 1] << 8); };
    if (b.size() < 46 || memcmp(&b[0], "RIFF", 4) || memcmp(&b[8], "WAVEfmt ", 8)) return w;
    w.fileSize = uint32_t(b.size());
    w.riffSize = u32(4);
    w.fmtSize = u32(16);
    w.tag = u16(20);
    w.channels = u16(22);
    w.rate = u32(24);
    w.avg = u32(28);
    w.blockAlign = u16(32);
    w.bits = u16(34);
    const size_t data = 20 + w.fmtSize + (w.fmtSize & 1);
    if (data + 8 > b.size() || memcmp(&b[data], "data", 4)) return w;
    w.dataSize = u32(data + 4);
    w.ok = true;
    return w;
}

}  // namespace tqk::test::sndtest
