// TaviroSetup: copies everything below its own folder to the chosen destination, registers the
// movie file type, creates the shortcuts and writes InstallLog.log for the uninstaller.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "compressor_reg.h"
#include "install_log.h"
#include "reg_edit3.h"
#include "setup_files.h"
#include "setup_ids.h"
#include "shell_link.h"
#include "win_handles.h"
#include "win_text.h"
#include "win_window.h"

namespace tqk {
namespace {

using namespace setup_ids;

const wchar_t kCaption[] = L"Taviro インストーラ";
// Files that would go to the system folder instead of the destination. The programs are
// linked statically (they import only system DLLs), so there are none; the step stays so that
// a build needing a runtime library only has to name it here.
const std::vector<std::wstring> kRuntimeSupportFiles = {};
// A failed copy list shown to the user is cut after this many names.
constexpr size_t kMaxReportedFailures = 20;

bool IsRuntimeSupportFile(const std::wstring& name) {
    for (const auto& f : kRuntimeSupportFiles)
        if (EqualsNoCase(Utf8FromWide(f), Utf8FromWide(name))) return true;
    return false;
}

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

bool ClassKeyExists(const std::string& key) {
    RegKey k;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, WideFromUtf8(key).c_str(), 0, KEY_READ, k.Put()) ==
           ERROR_SUCCESS;
}

// What the log this installation replaces says of the association (nothing without a log).
AssociationUndo PreviousAssociation(const std::wstring& logPath) {
    std::string ansi;
    if (!PathExists(logPath) || !ReadWholeFile(logPath, 1 << 20, &ansi)) return {};
    return PlanAssociationUndo(SplitLogLines(Utf8FromWide(WideFromAnsi(ansi))));
}

// Step 2 of the start-up: runtime libraries missing from the system folder are copied there.
void InstallRuntimeSupport(const std::wstring& systemFolder, const std::wstring& sourceFolder) {
    for (const auto& name : kRuntimeSupportFiles)
        if (!PathExists(systemFolder + name))
            CopyFileW((sourceFolder + name).c_str(), (systemFolder + name).c_str(), TRUE);
}

class SetupWindow : public Window {
public:
    explicit SetupWindow(std::wstring sourceFolder) : source_(std::move(sourceFolder)) {}

protected:
    bool OnCreate() override {
        static const ControlSpec controls[] = {
            {L"STATIC", kLabel1, L"Taviroのインストール先", 0, 12, 12, 396, 18},
            {L"EDIT", kText1, L"", WS_TABSTOP | ES_AUTOHSCROLL, 12, 34, 320, 22, WS_EX_CLIENTEDGE},
            {L"BUTTON", kCommand1, L"参照", WS_TABSTOP | BS_PUSHBUTTON, 340, 33, 68, 24},
            {L"BUTTON", kCheck1, L"デスクトップにショートカットを作成する",
             WS_TABSTOP | BS_AUTOCHECKBOX, 12, 68, 396, 20},
            {L"BUTTON", kCheck2, L"TQKファイルを関連づける", WS_TABSTOP | BS_AUTOCHECKBOX, 12, 92,
             396, 20},
            {L"BUTTON", kCommand2, L"インストール開始", WS_TABSTOP | BS_DEFPUSHBUTTON, 140, 124,
             140, 28},
            {L"STATIC", kLabel2, L"インストール状況", SS_LEFTNOWORDWRAP, 12, 164, 396, 18},
        };
        if (!AddControls(controls, std::size(controls))) return false;
        SetChecked(kCheck1, true);
        SetChecked(kCheck2, true);
        SetDir(SpecialFolder(CSIDL_PROGRAM_FILES) + L"Nolvane\\");
        return true;
    }

    void OnCommand(int id, int, HWND) override {
        if (id == kCommand1 && !busy_) Browse();
        if (id == kCommand2 && !busy_) StartInstall();
    }

    bool OnClose() override { return !busy_; }
    void OnDestroy() override { PostQuitMessage(0); }

private:
    void SetDir(const std::wstring& srcDir) {
        SetItemText(kText1, WideFromUtf8(DestinationFromParent(Utf8FromWide(srcDir))));
    }

    void AddLog(const std::wstring& kind, const std::wstring& value) {
        const std::string k = Utf8FromWide(kind), v = Utf8FromWide(value);
        if (log_.Add(k, v)) {
            if (auto status = InstallStatusText(k, v)) SetItemText(kLabel2, WideFromUtf8(*status));
        }
        PumpMessages();
        Sleep(1);
    }

    static int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
        if (msg == BFFM_INITIALIZED) SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
        return 0;
    }

    void Browse() {
        std::wstring current = ItemText(kText1);
        if (!current.empty() && current.back() == L'\\') current.pop_back();
        BROWSEINFOW bi{};
        bi.hwndOwner = Hwnd();
        bi.lpszTitle = L"インストール先のフォルダを指定してください。";
        bi.ulFlags = BIF_RETURNONLYFSDIRS;
        bi.lpfn = &SetupWindow::BrowseCallback;
        bi.lParam = reinterpret_cast<LPARAM>(current.c_str());
        PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
        if (!pidl) return;
        wchar_t path[MAX_PATH] = {};
        const bool ok = SHGetPathFromIDListW(pidl, path) != FALSE;
        CoTaskMemFree(pidl);
        if (ok && path[0]) SetDir(path);
    }

    // A shortcut to target; recorded when its file exists afterwards.
    void MakeShortcut(const std::wstring& link, const std::wstring& target) {
        LinkDescription d;
        d.linkFile = Utf8FromWide(link);
        d.target = Utf8FromWide(target);
        d.showCommand = kShowNormal;
        (void)ShellLink::CreateLinkFull(d);
        if (PathExists(link)) AddLog(L"fnm", link);
    }

    void SetBusy(bool busy) {
        busy_ = busy;
        // Focus leaves the buttons before they are disabled.
        if (busy) SetFocus(Item(kText1));
        EnableWindow(Item(kCommand1), !busy);
        EnableWindow(Item(kCommand2), !busy);
    }

    // The association, with the keys it created (and those the replaced log recorded) in the
    // log, so that the uninstaller takes back only what is the installation's own.
    void Associate(const std::wstring& dest) {
        const std::wstring ext = WideFromUtf8(kMovieExtension);
        RegEdit3 reg;
        int32_t error = 0;
        const RegValue existing = reg.GetValue(HKEY_CLASSES_ROOT, ext, L"", 0, &error);
        const std::string type = existing.kind == RegValue::Kind::kString && !existing.text.empty()
                                     ? existing.text
                                     : std::string(kMovieTypeName);
        const std::vector<std::string> candidates =
            AssociationKeys(kMovieExtension, type, kMovieVerb);
        std::vector<std::string> before;
        for (const auto& k : candidates)
            if (ClassKeyExists(k)) before.push_back(k);
        const AssociationUndo previous = PreviousAssociation(dest + WideFromUtf8(kLogFileName));
        (void)reg.RelateExtensionAndCommand(
            ext, dest + L"TaviroPlayer.exe", WideFromUtf8(kMovieVerb), L" %1",
            WideFromUtf8(kMovieTypeName), dest + L"TaviroPlayer.exe", 1, L"Taviro Video");
        const auto existedBefore = [&before](const std::string& k) {
            return std::find(before.begin(), before.end(), k) != before.end();
        };
        AddLog(L"rgt", WideFromUtf8(type));
        for (const auto& k :
             KeysToRecord(candidates, existedBefore, ClassKeyExists, previous, type))
            AddLog(L"rgk", WideFromUtf8(k));
        AddLog(L"reg", L"TQK");
    }

    void StartInstall() {
        std::wstring dest = ItemText(kText1);
        if (dest.empty()) return;
        // A typed folder without its "\" would otherwise glue file names onto the folder name.
        dest = WithBackslash(dest);
        SetBusy(true);
        log_ = InstallLogBuffers();
        failures_.clear();

        // Everything to copy is listed first: a log the uninstaller would refuse is refused
        // here, before anything has changed.
        std::vector<std::wstring> entries, files;
        GetALLFiles(source_, &entries, FILE_ATTRIBUTE_DIRECTORY, L"", false, true, false, false);
        GetALLFiles(source_, &files, 0, L"", true, true, false, false);
        files.erase(std::remove_if(
                        files.begin(), files.end(),
                        [](const std::wstring& f) { return IsRuntimeSupportFile(FileNameOf(f)); }),
                    files.end());
        if (PlannedLogLineBreaks(entries.size(), files.size()) >= kMaxLogLineBreaks) {
            MessageBoxW(Hwnd(),
                        WideFromUtf8(TooManyFilesMessage(entries.size() + files.size())).c_str(),
                        kCaption, MB_OK | MB_ICONSTOP);
            SetBusy(false);
            return;
        }

        if (!PathExists(dest)) CreateFolderPath(dest);

        if (IsChecked(kCheck2)) Associate(dest);

        std::vector<std::string> folders;
        for (const auto& e : entries) folders.push_back(Utf8FromWide(e));
        SortByDepth(folders);
        const std::string src = Utf8FromWide(source_), dst = Utf8FromWide(dest);
        for (const auto& f : folders) {
            const std::wstring target = WideFromUtf8(MapToDestination(src, dst, f) + "\\");
            CreateFolderPath(target);
            if (PathExists(target)) AddLog(L"dir", target);
        }

        for (const auto& file : files) {
            const std::wstring target =
                WideFromUtf8(MapToDestination(src, dst, Utf8FromWide(file)));
            if (!CopyFileW(file.c_str(), target.c_str(), FALSE))
                failures_.push_back(FileNameOf(file) + L": " + SystemErrorText(GetLastError()));
            // An older copy left in place still belongs to the installation.
            if (PathExists(target)) AddLog(L"fnm", target);
        }

        // The video compressor, once its library is in place.
        const std::wstring driver = RegisterCompressor(dest);
        if (!driver.empty()) AddLog(L"drv", driver);

        if (IsChecked(kCheck1)) {
            const std::wstring desktop = SpecialFolder(CSIDL_DESKTOP);
            MakeShortcut(desktop + L"TaviroPlayer.lnk", dest + L"TaviroPlayer.exe");
            MakeShortcut(desktop + L"TaviroRec.lnk", dest + L"TaviroRec.exe");
        }

        const std::wstring menu = SpecialFolder(CSIDL_PROGRAMS) + L"Nolvane\\Taviro\\";
        if (!PathExists(menu)) {
            CreateFolderPath(menu);
            if (PathExists(menu)) AddLog(L"dir", menu);
        }
        MakeShortcut(menu + L"TaviroPlayer.lnk", dest + L"TaviroPlayer.exe");
        MakeShortcut(menu + L"TaviroRec.lnk", dest + L"TaviroRec.exe");
        MakeShortcut(menu + L"ヘルプ.lnk", dest + L"help\\index.htm");
        MakeShortcut(menu + L"アンインストール.lnk", dest + L"UnInstallTVR.exe");

        const std::wstring logPath = dest + WideFromUtf8(kLogFileName);
        if (!WriteWholeFile(logPath, AnsiFromWide(WideFromUtf8(log_.FileText()))))
            failures_.push_back(FileNameOf(logPath) + L": " + SystemErrorText(GetLastError()));

        SetItemText(kLabel2, L"");
        if (!failures_.empty()) ReportFailures();
        MessageBoxW(Hwnd(),
                    L"インストールが終了しました。\r\n解凍したフォルダは削除しても大丈夫です。\r\n"
                    L"（インストール先のフォルダは削除しないでください）",
                    kCaption, MB_OK | MB_ICONINFORMATION);
        busy_ = false;
        DestroyWindow(Hwnd());
    }

    void ReportFailures() {
        std::wstring text = L"次のファイルをコピーできませんでした。\r\n";
        for (size_t i = 0; i < failures_.size() && i < kMaxReportedFailures; ++i)
            text += L"\r\n" + failures_[i];
        if (failures_.size() > kMaxReportedFailures)
            text +=
                L"\r\nほか " + std::to_wstring(failures_.size() - kMaxReportedFailures) + L" 件";
        MessageBoxW(Hwnd(), text.c_str(), kCaption, MB_OK | MB_ICONEXCLAMATION);
    }

    std::wstring source_;
    InstallLogBuffers log_;
    std::vector<std::wstring> failures_;
    bool busy_ = false;
};

}  // namespace
}  // namespace tqk

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    using namespace tqk;
    ComInit com;
    const std::wstring systemFolder = SpecialFolder(CSIDL_SYSTEM);
    const std::wstring sourceFolder = ProgramFolder();
    InstallRuntimeSupport(systemFolder, sourceFolder);

    SetupWindow window(sourceFolder);
    if (!window.Create(L"TaviroSetupForm1", kCaption,
                       WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 420, 190))
        return 1;
    ShowWindow(window.Hwnd(), show);
    UpdateWindow(window.Hwnd());
    return RunMessageLoop();
}
