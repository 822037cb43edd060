// The platform's low-level mouse and keyboard hooks feeding the frames' overlay during a
// recording. Low-level hooks run on the thread that installed them, whenever it takes its
// messages, and the whole desktop's input waits for them: they live on a thread of their own
// that does nothing else, so neither the recording loop (which pumps only between frames and
// not at all while it waits for its start time) delays the user's input nor the platform drops
// hooks that answer late.
#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include "input_overlay.h"
#include "win_handles.h"

namespace tqk::rec {

// Owns the hooks and their thread: Install starts them, the destructor removes them and ends
// the thread on every way out of a run (a crash takes them with the process). One owner at a
// time per process.
class InputHooks {
public:
    InputHooks() = default;
    InputHooks(const InputHooks&) = delete;
    InputHooks& operator=(const InputHooks&) = delete;
    ~InputHooks();

    // Hooks the mouse when clicks are shown and the keyboard when keys are; presses are posted
    // to target until the owner goes. False when the thread or a hook could not be made.
    [[nodiscard]] bool Install(QueuedInput* target, bool clicks, bool keys);

private:
    static DWORD WINAPI ThreadMain(void* self);

    QueuedInput* target_ = nullptr;
    bool clicks_ = false, keys_ = false;
    ObjectHandle thread_;
    DWORD threadId_ = 0;
    ObjectHandle ready_;  // set once the thread has tried its hooks
    bool hooked_ = false;
};

}  // namespace tqk::rec
