// Shows one MsgBoxEx and exits with the code it returned, for tests that drive the box from
// another process. Arguments: the style bits, the sound (optional) and "owner" to give the
// box an owner window. The prompt and title come from MSGBOX_PROMPT and MSGBOX_TITLE.
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "msgbox_ex.h"
#include "win_window.h"

namespace tqk::test {
namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[8192] = {};
    const DWORD n = GetEnvironmentVariableW(name, buffer, 8192);
    return n && n < 8192 ? std::wstring(buffer, n) : std::wstring();
}

class OwnerWindow : public tqk::Window {};

int Main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const int32_t buttons = argc > 1 ? int32_t(std::wcstol(argv[1], nullptr, 10)) : 0;
    const int32_t sound = argc > 2 ? int32_t(std::wcstol(argv[2], nullptr, 10)) : 0;
    const bool withOwner = argc > 3 && std::wstring(argv[3]) == L"owner";
    OwnerWindow owner;
    HWND ownerHwnd = nullptr;
    if (withOwner) {
        tqk::WindowSpec spec{L"MsgBoxProbeOwner", L"probe owner",
                             WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 400, 300};
        spec.x = 100;
        spec.y = 100;
        if (owner.Create(spec)) {
            ownerHwnd = owner.Hwnd();
            ShowWindow(ownerHwnd, SW_SHOW);
        }
    }
    const int32_t result =
        tqk::MsgBoxEx::Msg(Env(L"MSGBOX_PROMPT"), ownerHwnd, buttons, Env(L"MSGBOX_TITLE"), sound);
    // The owner is enabled again once the box has gone.
    if (ownerHwnd && !IsWindowEnabled(ownerHwnd)) return 100;
    return int(result);
}

}  // namespace
}  // namespace tqk::test

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return tqk::test::Main(); }
