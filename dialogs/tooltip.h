// ToolTip: long, multi-line help texts on a window's controls and on rectangles of a window,
// over the platform's tooltip control.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tqk {

class ToolTip {
public:
    ToolTip() = default;
    ~ToolTip();  // closes the tooltip window
    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;

    // Creates the tooltip window owned by AllOwnerhWnd: always shown, 4000-pixel lines,
    // 800 ms until it appears, 1000 ms to re-show, 30 s on screen.
    void Init(HWND AllOwnerhWnd);
    // TipText (lines separated by CR LF) on the whole client area of every window given.
    void MakeToolTip(const std::wstring& TipText, const std::vector<HWND>& windows);
    // TipText on one rectangle of window: rect (left, top, right, bottom, client pixels) when
    // rectFlag is 1, else the whole client area.
    void MakeToolTipEx(const std::wstring& TipText, int32_t rectFlag, HWND window,
                       const std::vector<double>& rect);

    HWND Hwnd() const { return tip_; }

    static constexpr int kMaxTipWidth = 4000;
    static constexpr int kInitialMs = 800, kReshowMs = 1000, kAutoPopMs = 30000;

private:
    void Add(const std::wstring& text, HWND window, const RECT& r);

    HWND tip_ = nullptr;
    UINT_PTR nextId_ = 1;
};

}  // namespace tqk
