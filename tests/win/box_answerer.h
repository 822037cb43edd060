// Answers the next message box this process shows, from a second thread: a modal box blocks
// the thread that opened it.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "window_driver.h"

namespace tqk::test {

// Answers the next message box of this process by pressing `button`; keeps its text.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button) : thread_([this, button] { Run(button); }) {}
    ~BoxAnswerer() { thread_.join(); }
    std::wstring text;
    std::atomic<bool> answered{false};

private:
    void Run(int button) {
        const auto box = WaitForMessageBox(GetCurrentProcessId(), 30000);
        if (!box) return;
        // Noted before the press: the press ends the box, and the thread that showed it may
        // look at what was answered at once.
        text = box->text;
        answered = true;
        Click(GetDlgItem(box->window, button));
    }
    std::thread thread_;
};

}  // namespace tqk::test
