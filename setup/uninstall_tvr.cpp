// UnInstallTVR: replays InstallLog.log backwards (association, files and shortcuts, folders),
// deletes the log, and leaves a batch file that removes the uninstaller and its folder after
// the process has ended.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "compressor_reg.h"
#include "install_log.h"
#include "reg_edit3.h"
#include "setup_files.h"
#include "setup_ids.h"
#include "win_files.h"
#include "win_handles.h"
#include "win_text.h"
#include "win_window.h"

namespace tqk {
namespace {

using namespace setup_ids;

const wchar_t kCaption[] = L"Taviro Uninstall";
// A log has fewer than 100 lines of at most a few hundred characters; anything much larger is
// not a log of ours and is not read whole.
constexpr size_t kMaxLogBytes = 1 << 20;

class UninstallWindow : public Window {
protected:
    bool OnCreate() override {
        static const ControlSpec controls[] = {
            {L"STATIC", kUninstallLabel1, L"Taviro のアンインストール", 0, 12, 12, 356, 18},
            {L"STATIC", kUninstallLabel2, L"進行状況", SS_LEFTNOWORDWRAP, 12, 40, 356, 18},
        };
        return AddControls(controls, std::size(controls));
    }

    void OnTimer(UINT_PTR id) override {
        // Runs once: the timer must not fire again while a message box is open.
        KillTimer(Hwnd(), id);
        if (started_) return;
        started_ = true;
        Uninstall();
        DestroyWindow(Hwnd());
    }

    void OnDestroy() override { PostQuitMessage(0); }

private:
    void SetStatus(const std::wstring& text) {
        SetItemText(kUninstallLabel2, text);
        UpdateWindow(Item(kUninstallLabel2));
    }

    void Fail(const wchar_t* text) { MessageBoxW(Hwnd(), text, kCaption, MB_OK | MB_ICONSTOP); }

    // Records may only name what the installer could have made: files and folders below the
    // installation folder, shortcuts on the desktop, the Start-menu folder and what is in it.
    bool MayTouch(const std::string& path, bool isFolder) const {
        return IsPathWithin(path, folder_, false) || IsPathWithin(path, desktop_, false) ||
               IsPathWithin(path, menu_, isFolder);
    }

    void Uninstall() {
        if (MessageBoxW(Hwnd(), L"Taviroをアンインストールします。\r\nよろしいですか？", kCaption,
                        MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        const std::wstring folder = ProgramFolder();
        const std::wstring logPath = folder + WideFromUtf8(kLogFileName);
        const std::wstring self = folder + ProgramStem() + L".exe";
        if (!PathExists(logPath)) {
            Fail(L"インストール情報が見つかりません。\r\nアンインストールに失敗しました。");
            return;
        }
        std::string ansi;
        const bool read = ReadWholeFile(logPath, kMaxLogBytes, &ansi);
        const std::string text = Utf8FromWide(WideFromAnsi(ansi));
        if (!read || CountLineBreaks(text) >= kMaxLogLineBreaks) {
            Fail(L"インストール情報が不正です。\r\nアンインストールに失敗しました。");
            return;
        }

        folder_ = Utf8FromWide(folder);
        desktop_ = Utf8FromWide(SpecialFolder(CSIDL_DESKTOP));
        const std::wstring programs = SpecialFolder(CSIDL_PROGRAMS);
        menu_ = programs.empty() ? std::string() : Utf8FromWide(programs) + "Nolvane\\Taviro\\";

        const std::vector<std::string> lines = SplitLogLines(text);
        const AssociationUndo association = PlanAssociationUndo(lines);
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            const auto record = ParseLogLine(*it);
            if (!record) continue;
            const UndoStep step = PlanUndo(*record);
            if (step.action == UndoAction::kNone) continue;
            if (step.action != UndoAction::kUnregister &&
                step.action != UndoAction::kUnregisterDriver &&
                !MayTouch(record->value, step.action == UndoAction::kRemoveDir))
                continue;
            SetStatus(WideFromUtf8(step.status));
            const std::wstring path = WideFromUtf8(record->value);
            switch (step.action) {
            case UndoAction::kUnregister:
                RegEdit3().UnRelateCreatedKeys(WideFromUtf8(kMovieExtension),
                                               WideFromUtf8(association.type), association.keys);
                break;
            case UndoAction::kUnregisterDriver: UnregisterCompressor(path, folder); break;
            case UndoAction::kDeleteFile: {
                const DWORD a = GetFileAttributesW(path.c_str());
                const DWORD hidden =
                    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
                if (a != INVALID_FILE_ATTRIBUTES && !(a & hidden)) DeleteFileClearingReadOnly(path);
                break;
            }
            case UndoAction::kRemoveDir: RemoveDirectoryW(path.c_str()); break;
            case UndoAction::kNone: break;
            }
        }

        DeleteFileW(logPath.c_str());
        SetStatus(L"自分自身を削除中");

        const std::wstring batch = BatchPath();
        DeleteFileW(batch.c_str());
        const std::string batchText =
            UninstallBatchText(Utf8FromWide(self), Utf8FromWide(folder), Utf8FromWide(batch));
        WriteWholeFile(batch, AnsiFromWide(WideFromUtf8(batchText)));

        MessageBoxW(Hwnd(),
                    L"アンインストールが完了しました。\r\n"
                    L"ユーザーが作成したファイルは削除しませんので手動で削除してください。",
                    kCaption, MB_OK | MB_ICONINFORMATION);
        ShellExecuteW(nullptr, L"open", batch.c_str(), nullptr, nullptr, SW_HIDE);
    }

    static std::wstring BatchPath() {
        std::wstring temp(32768, L'\0');
        DWORD n = GetEnvironmentVariableW(L"TEMP", temp.data(), DWORD(temp.size()));
        if (n == 0 || n >= temp.size()) n = GetTempPathW(DWORD(temp.size()), temp.data());
        temp.resize(n < temp.size() ? n : 0);
        return WithBackslash(temp) + L"_uninstalltvrall.bat";
    }

    bool started_ = false;
    std::string folder_, desktop_, menu_;
};

}  // namespace
}  // namespace tqk

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    using namespace tqk;
    ComInit com;
    UninstallWindow window;
    if (!window.Create(L"UnInstallTVRForm1", kCaption,
                       WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 380, 70))
        return 1;
    ShowWindow(window.Hwnd(), show);
    UpdateWindow(window.Hwnd());
    SetTimer(window.Hwnd(), 1, 1, nullptr);
    return RunMessageLoop();
}
