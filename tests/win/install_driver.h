// Runs the real installer and uninstaller through their windows and message boxes, as a user
// does: shared by the install-and-use test and the main command's demonstration.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "window_driver.h"

namespace tqk::test {

inline constexpr wchar_t kInstallerCaption[] = L"Taviro インストーラ";
inline constexpr wchar_t kInstallFinished[] =
    L"インストールが終了しました。\r\n解凍したフォルダは削除しても大丈夫です。\r\n"
    L"（インストール先のフォルダは削除しないでください）";
inline constexpr wchar_t kUninstallConfirm[] =
    L"Taviroをアンインストールします。\r\nよろしいですか？";
inline constexpr wchar_t kUninstallFinished[] =
    L"アンインストールが完了しました。\r\n"
    L"ユーザーが作成したファイルは削除しませんので手動で削除してください。";

struct InstallerRun {
    bool windowShown = false;
    bool finished = false;          // the completion message was shown and answered
    std::optional<DWORD> exitCode;  // nullopt: still running after the wait (then ended)
    std::vector<std::wstring> messages;
};

// Starts setupExe, types dest into the destination box, sets the two boxes, presses
// "インストール開始" and answers every message with OK until the completion message.
// atWindow runs once the window is up, atMessage before each message is answered (for
// screenshots).
InstallerRun RunInstaller(const std::wstring& setupExe, const std::wstring& dest, bool desktop,
                          bool associate, DWORD timeoutMs,
                          const std::function<void(HWND)>& atWindow = {},
                          const std::function<void(const MessageBoxInfo&)>& atMessage = {});

// Answers an uninstaller already started as process pid: Yes to the confirmation, OK to the
// rest; returns the texts shown. The uninstaller's batch file runs after the process ends.
std::vector<std::wstring> AnswerUninstaller(DWORD pid, DWORD timeoutMs);

}  // namespace tqk::test
