// ComD6: the open and save file dialogs shared by the recorder and the player, and the
// process's current folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "comd6_rules.h"

namespace tqk {

class ComD6 {
public:
    // The starting folder is the current folder at creation.
    ComD6();

    void DefaultDirectory(const std::wstring& DefDirectory) { initialDir_ = DefDirectory; }
    // "name|pattern|..." in; the same text out.
    void Filter(const std::wstring& Filterst);
    std::wstring Filter() const;
    void Title(const std::wstring& TitleSt) { title_ = TitleSt; }
    const std::wstring& Title() const { return title_; }

    int32_t Flag_Save_AddExt() const { return s_.Flag_Save_AddExt; }
    void Flag_Save_AddExt(int32_t Value) { s_.Flag_Save_AddExt = Value; }
    int32_t Flag_NoChangeDir_Destroy() const { return s_.Flag_NoChangeDir_Destroy; }
    void Flag_NoChangeDir_Destroy(int32_t Value) { s_.Flag_NoChangeDir_Destroy = Value; }
    int32_t Flag_Open_CreatePrompt() const { return s_.Flag_Open_CreatePrompt; }
    void Flag_Open_CreatePrompt(int32_t Value) { s_.Flag_Open_CreatePrompt = Value; }
    int32_t Flag_Open_CreatePromptToError() const { return s_.Flag_Open_CreatePromptToError; }
    void Flag_Open_CreatePromptToError(int32_t Value) { s_.Flag_Open_CreatePromptToError = Value; }
    int32_t Flag_Open_LinkThuru() const { return s_.Flag_Open_LinkThuru; }
    void Flag_Open_LinkThuru(int32_t Value) { s_.Flag_Open_LinkThuru = Value; }
    int32_t Flag_Open_NoReadToMsg_Destroy() const { return s_.Flag_Open_NoReadToMsg_Destroy; }
    void Flag_Open_NoReadToMsg_Destroy(int32_t Value) { s_.Flag_Open_NoReadToMsg_Destroy = Value; }
    int32_t Flag_Save_Overwriteprompt() const { return s_.Flag_Save_Overwriteprompt; }
    void Flag_Save_Overwriteprompt(int32_t Value) { s_.Flag_Save_Overwriteprompt = Value; }
    int32_t Flag_RestoreDirectory() const { return s_.Flag_RestoreDirectory; }
    void Flag_RestoreDirectory(int32_t Value) { s_.Flag_RestoreDirectory = Value; }

    // The chosen path, or "" when the dialog was cancelled (or failed).
    [[nodiscard]] std::wstring ShowOpenSingle(HWND hWnd = nullptr,
                                              const std::wstring& DefaultFileName = L"");
    [[nodiscard]] std::wstring ShowSave(HWND hWnd = nullptr,
                                        const std::wstring& DefaultFileName = L"");
    // The chosen paths in the dialog's order; one empty string when cancelled.
    [[nodiscard]] std::vector<std::wstring> ShowOpenMulti(HWND hWnd = nullptr);

    static std::wstring CurDir();
    static void ChDir(const std::wstring& CDir);

    // The buffers' size in characters.
    static constexpr DWORD kBufferChars = 2600;

private:
    // Runs one dialog; the file buffer (up to its end) when it was not cancelled.
    [[nodiscard]] bool Run(comd6::Kind kind, HWND owner, const std::wstring& defaultName,
                           std::wstring* buffer, DWORD* filterIndex);

    std::wstring initialDir_;
    std::wstring filter_;  // the platform's form
    std::wstring title_;
    comd6::Switches s_;
};

}  // namespace tqk
