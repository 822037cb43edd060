// The recorder's ways to talk to the user: its message box, the open and save dialogs for one
// file, and the tooltips of its settings window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace tqk::rec {

// A modal message box; style bits and answers as the platform's (16 critical, 32 question,
// 64 information, 4 Yes/No; 6 Yes, 7 No). An empty title gives the program's title.
int RecMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title = L"");

// One file chosen in the save or open dialog; filter "名前|*.ext". Empty when cancelled.
std::wstring RecSaveFile(HWND owner, const std::wstring& filter, const std::wstring& folder,
                         const std::wstring& proposedName);
std::wstring RecOpenFile(HWND owner, const std::wstring& filter, const std::wstring& folder);

// The tooltips of one window: texts on controls, and on rectangles of a window (for labels
// and for disabled controls, which get no mouse messages).
class RecToolTips {
public:
    RecToolTips();
    ~RecToolTips();
    RecToolTips(const RecToolTips&) = delete;
    RecToolTips& operator=(const RecToolTips&) = delete;

    void Init(HWND owner);
    void MakeToolTip(const std::wstring& text, const HWND* windows, size_t count);
    void MakeToolTipEx(const std::wstring& text, HWND window, const RECT& rect);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tqk::rec
