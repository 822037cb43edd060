#include "input_hooks.h"

#include "perf_millis.h"

namespace tqk::rec {

namespace {

// Hook procedures take no context: the one overlay being fed.
InputOverlay* g_target = nullptr;

LRESULT CALLBACK MouseProc(int code, WPARAM wp, LPARAM lp) noexcept {
    if (code == HC_ACTION && g_target && (wp == WM_LBUTTONDOWN || wp == WM_RBUTTONDOWN)) {
        const auto* m = reinterpret_cast<const MSLLHOOKSTRUCT*>(lp);
        g_target->Press(wp == WM_LBUTTONDOWN ? MouseButton::Left : MouseButton::Right, m->pt.x,
                        m->pt.y, PerfMillis());
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wp, LPARAM lp) noexcept {
    if (code == HC_ACTION && g_target) {
        const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
        if (wp == WM_KEYDOWN || wp == WM_SYSKEYDOWN)
            g_target->KeyDown(k->vkCode, PerfMillis());
        else if (wp == WM_KEYUP || wp == WM_SYSKEYUP)
            g_target->KeyUp(k->vkCode);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

bool InputHooks::Install(InputOverlay* target, bool clicks, bool keys) {
    g_target = target;
    HINSTANCE self = GetModuleHandleW(nullptr);
    bool ok = true;
    if (clicks && !mouse_) {
        mouse_ = SetWindowsHookExW(WH_MOUSE_LL, MouseProc, self, 0);
        ok = ok && mouse_;
    }
    if (keys && !keyboard_) {
        keyboard_ = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardProc, self, 0);
        ok = ok && keyboard_;
    }
    return ok;
}

InputHooks::~InputHooks() {
    if (mouse_) UnhookWindowsHookEx(mouse_);
    if (keyboard_) UnhookWindowsHookEx(keyboard_);
    g_target = nullptr;
}

}  // namespace tqk::rec
