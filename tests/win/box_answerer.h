// Answers the next message box this process shows, from a second thread: a modal box blocks
// the thread that opened it.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

// Answers the next message box of this process by pressing `button`; keeps its text.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button) : thread_([this, button] { Run(button); }) {}
    ~BoxAnswerer() { thread_.join(); }
    std::wstring text;
    std::atomic<bool> answered{false};

private:
    void Run(int button) {
        for (int i = 0; i < 1500 && !answered; ++i) {
            HWND box = nullptr;
            EnumWindows(
                [](HWND w, LPARAM p) -> BOOL {
                    wchar_t cls[32] = {};
                    DWORD pid = 0;
                    GetWindowThreadProcessId(w, &pid);
                    GetClassNameW(w, cls, 32);
                    if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" &&
                        IsWindowVisible(w)) {
                        *reinterpret_cast<HWND*>(p) = w;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&box));
            if (box) {
                wchar_t t[256] = {};
                GetDlgItemTextW(box, 0xFFFF, t, 256);
                text = t;
                PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
                answered = true;
                return;
            }
            Sleep(20);
        }
    }
    std::thread thread_;
};
