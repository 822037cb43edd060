// The platform's low-level mouse and keyboard hooks feeding an InputOverlay during a
// recording. Low-level hooks are called on the installing thread while it takes its messages:
// the recording loop pumps them in every pacing wait.
#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include "input_overlay.h"

namespace tqk::rec {

// Owns the hooks: installed by Install, removed by the destructor on every way out of a run
// (a crash takes them with the process). One owner at a time per process.
class InputHooks {
public:
    InputHooks() = default;
    InputHooks(const InputHooks&) = delete;
    InputHooks& operator=(const InputHooks&) = delete;
    ~InputHooks();

    // Hooks the mouse when clicks are shown and the keyboard when keys are; presses go to
    // target until the owner goes. False when a hook could not be installed (the other
    // may still be).
    bool Install(InputOverlay* target, bool clicks, bool keys);
    bool MouseHooked() const { return mouse_ != nullptr; }
    bool KeyboardHooked() const { return keyboard_ != nullptr; }

private:
    HHOOK mouse_ = nullptr;
    HHOOK keyboard_ = nullptr;
};

}  // namespace tqk::rec
