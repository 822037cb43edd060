#include "input_hooks.h"

#include "message_pump.h"
#include "perf_millis.h"

namespace tqk::rec {

namespace {

// Hook procedures take no context: the one queue being fed.
QueuedInput* g_target = nullptr;

LRESULT CALLBACK MouseProc(int code, WPARAM wp, LPARAM lp) noexcept {
    if (code == HC_ACTION && g_target && (wp == WM_LBUTTONDOWN || wp == WM_RBUTTONDOWN)) {
        const auto* m = reinterpret_cast<const MSLLHOOKSTRUCT*>(lp);
        g_target->Post(
            {wp == WM_LBUTTONDOWN ? QueuedInput::Kind::LeftPress : QueuedInput::Kind::RightPress,
             m->pt.x, m->pt.y, 0, PerfMillis()});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wp, LPARAM lp) noexcept {
    if (code == HC_ACTION && g_target) {
        const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
        const bool down = wp == WM_KEYDOWN || wp == WM_SYSKEYDOWN;
        if (down || wp == WM_KEYUP || wp == WM_SYSKEYUP)
            g_target->Post({down ? QueuedInput::Kind::KeyDown : QueuedInput::Kind::KeyUp, 0, 0,
                            uint32_t(k->vkCode), PerfMillis()});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

DWORD WINAPI InputHooks::ThreadMain(void* param) {
    auto* self = static_cast<InputHooks*>(param);
    HINSTANCE module = GetModuleHandleW(nullptr);
    HHOOK mouse = self->clicks_ ? SetWindowsHookExW(WH_MOUSE_LL, MouseProc, module, 0) : nullptr;
    HHOOK keyboard =
        self->keys_ ? SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardProc, module, 0) : nullptr;
    self->hooked_ = (!self->clicks_ || mouse) && (!self->keys_ || keyboard);
    // The queue exists from here on: the owner's quit cannot be lost.
    CreateMessageQueue();
    SetEvent(self->ready_.Get());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    if (mouse) UnhookWindowsHookEx(mouse);
    if (keyboard) UnhookWindowsHookEx(keyboard);
    return 0;
}

bool InputHooks::Install(QueuedInput* target, bool clicks, bool keys) {
    if (thread_ || !target || !(clicks || keys)) return false;
    target_ = target;
    clicks_ = clicks;
    keys_ = keys;
    g_target = target;
    ready_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready_) return false;
    thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_));
    if (!thread_) return false;
    WaitForSingleObject(ready_.Get(), INFINITE);
    return hooked_;
}

InputHooks::~InputHooks() {
    if (thread_) {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_.Get(), INFINITE);
    }
    g_target = nullptr;
}

}  // namespace tqk::rec
