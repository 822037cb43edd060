// MsgBoxEx: the recorder's own modal message box. It takes the platform's style bits and
// returns its button codes; Japanese captions with accelerators, an animated icon, a chosen
// system sound and arrow keys between the buttons. It is a dialog like the platform's box: the
// prompt is the static with id 0xFFFF and each button's id is the code it returns, so screen
// readers and test drivers read and answer both kinds of box alike.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tqk {

class MsgBoxEx {
public:
    // The code of the pressed button (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No),
    // or 0 when the box was closed otherwise. Line breaks of Prompt are CR LF. An empty Title
    // shows the program's title. Sound != 0 is played with MessageBeep. UseAnime is accepted;
    // the icon animates whenever one is shown.
    static int32_t Msg(const std::wstring& Prompt, HWND OwnerForm = nullptr, int32_t Buttons = 0,
                       const std::wstring& Title = L"", int32_t Sound = 0, bool UseAnime = true);

    // The caption of boxes without a title (default: the program's file name without extension).
    static void SetProgramTitle(const std::wstring& title);

    // Control ids besides the buttons (whose ids are their codes).
    static constexpr int kPromptId = 0xFFFF;
    static constexpr int kPicture2Id = 100;
};

}  // namespace tqk
