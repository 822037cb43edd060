// Stands in for the player in shell tests: writes its command line (UTF-8) to cmdline.txt
// beside itself and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash || size_t(slash - path) + 13 >= MAX_PATH) return 1;
    lstrcpyW(slash + 1, L"cmdline.txt");
    const wchar_t* line = GetCommandLineW();
    char utf8[4096];
    const int len = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof(utf8), nullptr, nullptr);
    if (len <= 0) return 1;
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(f, utf8, DWORD(len - 1), &written, nullptr);
    CloseHandle(f);
    return 0;
}
