// The installer and the uninstaller as a user meets them: started from a staged distribution,
// driven through their windows and message boxes, checked against the files, the registry and
// the shell of the Wine prefix.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "compressor_reg.h"
#include "install_log.h"
#include "setup_files.h"
#include "setup_ids.h"
#include "shell_link.h"
#include "test_files.h"
#include "win_handles.h"
#include "win_text.h"
#include "window_driver.h"
// after windows.h
#include <vfw.h>

namespace tqk::test {
namespace {

using namespace setup_ids;
using test::MessageBoxInfo;

const wchar_t kFinishedInstall[] =
    L"インストールが終了しました。\r\n解凍したフォルダは削除しても大丈夫です。\r\n"
    L"（インストール先のフォルダは削除しないでください）";
const wchar_t kConfirm[] = L"Taviroをアンインストールします。\r\nよろしいですか？";
const wchar_t kFinishedUninstall[] =
    L"アンインストールが完了しました。\r\n"
    L"ユーザーが作成したファイルは削除しませんので手動で削除してください。";
const wchar_t kNoLog[] = L"インストール情報が見つかりません。\r\nアンインストールに失敗しました。";
const wchar_t kBadLog[] = L"インストール情報が不正です。\r\nアンインストールに失敗しました。";
constexpr DWORD kWait = 30000;  // generous: the machine is shared

// A path of the build tree as Wine sees it.
std::wstring FromUnix(const char* path) {
    std::wstring w = L"Z:" + WideFromUtf8(path);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return w;
}

std::wstring ReadClass(const std::wstring& key) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return L"<missing>";
    const LONG rc =
        RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS ? std::wstring(buffer) : L"<no value>";
}

bool ClassKeyExists(const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

std::vector<std::wstring> LogLines(const std::wstring& logPath) {
    const auto bytes = test::ReadBytes(logPath);
    if (!bytes) return {L"<no log>"};
    std::vector<std::wstring> lines;
    for (const auto& l : SplitLogLines(Utf8FromWide(WideFromAnsi(*bytes))))
        lines.push_back(WideFromUtf8(l));
    return lines;
}

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override { CleanShared(); }
    void TearDown() override { CleanShared(); }

    // What an installation leaves outside its folder, in the prefix all tests share.
    void CleanShared() {
        DeleteFileW((desktop_ + L"TaviroPlayer.lnk").c_str());
        DeleteFileW((desktop_ + L"TaviroRec.lnk").c_str());
        test::RemoveTree(programs_ + L"Nolvane");
        SHDeleteKeyW(HKEY_CLASSES_ROOT, L".TQK");
        SHDeleteKeyW(HKEY_CLASSES_ROOT, L"TaviroVideo");
        SHDeleteKeyW(HKEY_CLASSES_ROOT, L"OtherVideo");
        for (const char* name : kCompressorEntries) DeleteDriverEntry(WideFromUtf8(name));
    }

    std::wstring Stage(const std::wstring& name) {
        const std::wstring src = root_.Path() + name + L"\\";
        EXPECT_TRUE(test::CopyTree(dist_, src));
        return src;
    }

    // Runs the installer from src into dest and answers its messages; returns every message
    // text shown, the last being the completion message.
    // env: variables for the installer (the fault seam's).
    std::vector<std::wstring> Install(
        const std::wstring& src, const std::wstring& dest, bool desktop, bool associate,
        const std::vector<std::pair<std::wstring, std::wstring>>& env = {}) {
        std::vector<std::wstring> messages;
        test::ChildProcess p;
        EXPECT_TRUE(p.Start(src + L"TaviroSetup.exe", L"", env)) << GetLastError();
        HWND w = test::WaitForWindow(p.Id(), nullptr, L"Taviro インストーラ", kWait);
        EXPECT_TRUE(w);
        if (!w) return messages;
        test::SetText(test::Child(w, kText1), dest);
        EXPECT_TRUE(test::SetChecked(test::Child(w, kCheck1), desktop));
        EXPECT_TRUE(test::SetChecked(test::Child(w, kCheck2), associate));
        test::Click(test::Child(w, kCommand2));
        for (;;) {
            auto box = test::WaitForMessageBox(p.Id(), kWait);
            EXPECT_TRUE(box);
            if (!box) break;
            messages.push_back(box->text);
            EXPECT_EQ(box->caption, L"Taviro インストーラ");
            EXPECT_TRUE(test::AnswerMessageBox(*box, IDOK));
            if (box->text == kFinishedInstall) break;
        }
        EXPECT_EQ(p.WaitExit(kWait), std::optional<DWORD>(0));
        return messages;
    }

    struct Uninstall {
        std::vector<std::wstring> messages;
        std::string batchText;  // as it was while the completion message was shown
    };
    // Runs the uninstaller of folder with TEMP set to temp; answers the confirmation with
    // answer and every other message with OK. atCompletion runs while the completion message
    // is open (before the batch file starts).
    template <class F>
    Uninstall RunUninstaller(const std::wstring& folder, const std::wstring& temp, int answer,
                             F atCompletion) {
        Uninstall u;
        test::ChildProcess p;
        EXPECT_TRUE(p.Start(folder + L"UnInstallTVR.exe", L"", {{L"TEMP", temp}, {L"TMP", temp}}));
        auto confirm = test::WaitForMessageBox(p.Id(), kWait);
        EXPECT_TRUE(confirm);
        if (!confirm) return u;
        EXPECT_EQ(confirm->text, kConfirm);
        EXPECT_TRUE(confirm->Has(IDYES) && confirm->Has(IDNO));
        u.messages.push_back(confirm->text);
        EXPECT_TRUE(test::AnswerMessageBox(*confirm, answer));
        if (answer == IDYES) {
            auto box = test::WaitForMessageBox(p.Id(), kWait);
            EXPECT_TRUE(box);
            if (box) {
                u.messages.push_back(box->text);
                if (box->text == kFinishedUninstall) {
                    u.batchText = test::ReadBytes(temp + L"_uninstalltvrall.bat").value_or("");
                    atCompletion();
                }
                EXPECT_TRUE(test::AnswerMessageBox(*box, IDOK));
            }
        }
        EXPECT_EQ(p.WaitExit(kWait), std::optional<DWORD>(0));
        return u;
    }
    Uninstall RunUninstaller(const std::wstring& folder, const std::wstring& temp, int answer) {
        return RunUninstaller(folder, temp, answer, [] {});
    }

    // The batch file started by the uninstaller deletes itself last.
    bool WaitForBatch(const std::wstring& temp) {
        return test::WaitUntil([&] { return !test::Exists(temp + L"_uninstalltvrall.bat"); },
                               kWait);
    }

    ComInit com_;
    test::TempFolder root_{L"setup"};
    const std::wstring dist_ = FromUnix(TAVIRO_DIST_DIR) + L"\\";
    const std::wstring desktop_ = SpecialFolder(CSIDL_DESKTOP);
    const std::wstring programs_ = SpecialFolder(CSIDL_PROGRAMS);
    const std::wstring menu_ = programs_ + L"Nolvane\\Taviro\\";
};

TEST_F(SetupTest, InstallerWindowInitialState) {
    test::ChildProcess p;
    ASSERT_TRUE(p.Start(dist_ + L"TaviroSetup.exe"));
    HWND w = test::WaitForWindow(p.Id(), nullptr, L"Taviro インストーラ", kWait);
    ASSERT_TRUE(w);
    EXPECT_EQ(test::Text(test::Child(w, kLabel1)), L"Taviroのインストール先");
    EXPECT_EQ(test::Text(test::Child(w, kText1)),
              SpecialFolder(CSIDL_PROGRAM_FILES) + L"Nolvane\\Taviro\\");
    EXPECT_EQ(test::Text(test::Child(w, kCommand1)), L"参照");
    EXPECT_EQ(test::Text(test::Child(w, kCheck1)), L"デスクトップにショートカットを作成する");
    EXPECT_EQ(test::Text(test::Child(w, kCheck2)), L"TQKファイルを関連づける");
    EXPECT_TRUE(test::IsChecked(test::Child(w, kCheck1)));
    EXPECT_TRUE(test::IsChecked(test::Child(w, kCheck2)));
    EXPECT_EQ(test::Text(test::Child(w, kCommand2)), L"インストール開始");
    EXPECT_EQ(test::Text(test::Child(w, kLabel2)), L"インストール状況");

    // The folder browser opens and a cancel leaves the destination as it was.
    test::SetText(test::Child(w, kText1), L"C:\\windows\\Taviro\\");
    test::Click(test::Child(w, kCommand1));
    HWND browse = nullptr;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            browse = test::WaitForWindow(p.Id(), L"#32770", nullptr, 100);
            return browse != nullptr;
        },
        kWait));
    PostMessageW(browse, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(test::WaitUntil([&] { return !IsWindow(browse); }, kWait));
    EXPECT_EQ(test::Text(test::Child(w, kText1)), L"C:\\windows\\Taviro\\");

    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.WaitExit(kWait), std::optional<DWORD>(0));
}

TEST_F(SetupTest, InstallThenUninstallKeepingAUsersFile) {
    // "表" holds a "\" byte in the ANSI code page: paths must survive the log's conversions.
    const std::wstring src = Stage(L"配布表");
    const std::wstring dest = root_.Path() + L"先表\\Taviro\\";
    const auto messages = Install(src, dest, true, true);
    ASSERT_EQ(messages, std::vector<std::wstring>{kFinishedInstall});

    // Every file, byte for byte.
    const auto files = test::ListFilesRelative(src);
    ASSERT_GE(files.size(), 6u);
    for (const auto& rel : files) {
        SCOPED_TRACE(Utf8FromWide(rel));
        EXPECT_EQ(test::ReadBytes(dest + rel), test::ReadBytes(src + rel));
    }

    // The log: folders, a blank line, files then shortcuts, a blank line, the association,
    // the final line break.
    const auto lines = LogLines(dest + L"InstallLog.log");
    const std::vector<std::wstring> links = {
        desktop_ + L"TaviroPlayer.lnk", desktop_ + L"TaviroRec.lnk",
        menu_ + L"TaviroPlayer.lnk",    menu_ + L"TaviroRec.lnk",
        menu_ + L"ヘルプ.lnk",          menu_ + L"アンインストール.lnk"};
    ASSERT_EQ(lines.size(), 2 + 1 + files.size() + links.size() + 1 + 9 + 2);
    EXPECT_EQ(lines[0], L"dir:" + dest + L"help\\");
    EXPECT_EQ(lines[1], L"dir:" + menu_);
    EXPECT_EQ(lines[2], L"");
    std::set<std::wstring> copied(lines.begin() + 3, lines.begin() + 3 + long(files.size()));
    std::set<std::wstring> expected;
    for (const auto& rel : files) expected.insert(L"fnm:" + dest + rel);
    EXPECT_EQ(copied, expected);
    for (size_t i = 0; i < links.size(); ++i)
        EXPECT_EQ(lines[3 + files.size() + i], L"fnm:" + links[i]);
    const size_t tail = 3 + files.size() + links.size();
    // The association: the type the extension named, every key it created, then "reg:TQK".
    const std::vector<std::wstring> association = {L"",
                                                   L"rgt:TaviroVideo",
                                                   L"rgk:.TQK",
                                                   L"rgk:TaviroVideo",
                                                   L"rgk:TaviroVideo\\Shell",
                                                   L"rgk:TaviroVideo\\DefaultIcon",
                                                   L"rgk:TaviroVideo\\Shell\\再生",
                                                   L"rgk:TaviroVideo\\Shell\\再生\\command",
                                                   L"reg:TQK",
                                                   L"drv:vidc.zmbv",
                                                   L"",
                                                   L""};
    EXPECT_EQ(std::vector<std::wstring>(lines.begin() + long(tail), lines.end()), association);
    // The compressor, registered where the platform looks for a ZMBV stream's decoder.
    EXPECT_EQ(ReadDriverEntry(L"vidc.zmbv"), std::optional<std::wstring>(dest + L"TaviroZmbv.dll"));
    EXPECT_EQ(ReadDriverEntry(L"vidc.tzmb"), std::nullopt);

    // The association as the registry holds it and as the shell reads it.
    const std::wstring player = dest + L"TaviroPlayer.exe";
    EXPECT_EQ(ReadClass(L".TQK"), L"TaviroVideo");
    EXPECT_EQ(ReadClass(L"TaviroVideo"), L"Taviro Video");
    EXPECT_EQ(ReadClass(L"TaviroVideo\\Shell\\再生\\command"), L"\"" + player + L"\" %1");
    EXPECT_EQ(ReadClass(L"TaviroVideo\\DefaultIcon"), player + L",1");
    wchar_t command[1024] = {};
    DWORD size = 1024;
    EXPECT_EQ(AssocQueryStringW(0, ASSOCSTR_COMMAND, L".TQK", nullptr, command, &size), S_OK);
    EXPECT_EQ(std::wstring(command), L"\"" + player + L"\" %1");

    // The shell runs the association's verb on a movie: the player gets the path as the tail.
    // (Wine's shell falls back to "open" only, not to the first verb as Windows does, so the
    // verb is named here.)
    const std::wstring movie = root_.Path() + L"my movie 表.TQK";
    ASSERT_TRUE(test::WriteBytes(movie, "TQK"));
    ASSERT_TRUE(CopyFileW(FromUnix(CMDLINE_PROBE).c_str(), player.c_str(), FALSE));
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    sei.lpVerb = L"再生";
    sei.lpFile = movie.c_str();
    sei.nShow = SW_SHOWNORMAL;
    ASSERT_TRUE(ShellExecuteExW(&sei)) << GetLastError();
    if (sei.hProcess) {
        WaitForSingleObject(sei.hProcess, kWait);
        CloseHandle(sei.hProcess);
    }
    ASSERT_TRUE(test::WaitUntil([&] { return test::Exists(dest + L"cmdline.txt"); }, kWait));
    EXPECT_EQ(WideFromUtf8(test::ReadBytes(dest + L"cmdline.txt").value_or("")),
              L"\"" + player + L"\" " + movie);
    DeleteFileW(player.c_str());
    DeleteFileW((dest + L"cmdline.txt").c_str());

    // The shortcuts, through the link object and through lnkinfo.
    const std::vector<std::wstring> targets = {player,
                                               dest + L"TaviroRec.exe",
                                               player,
                                               dest + L"TaviroRec.exe",
                                               dest + L"help\\index.htm",
                                               dest + L"UnInstallTVR.exe"};
    std::string lnkinfoCommand;
    for (size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(Utf8FromWide(links[i]));
        EXPECT_EQ(ShellLink::GetLink(links[i]), targets[i]);
        lnkinfoCommand += "lnkinfo -c windows-932 '" + test::UnixPath(links[i]) + "'; ";
    }
    const auto info = test::RunUnixCommand(lnkinfoCommand, kWait);
    ASSERT_TRUE(info);
    for (const char* name : {"TaviroPlayer.exe", "TaviroRec.exe", "index.htm", "UnInstallTVR.exe"})
        EXPECT_NE(info->find(name), std::string::npos) << name << "\n" << *info;
    EXPECT_NE(info->find(Utf8FromWide(dest + L"UnInstallTVR.exe")), std::string::npos) << *info;

    // A file of the user's in a folder of the installation.
    ASSERT_TRUE(test::WriteBytes(dest + L"help\\memo.txt", "mine"));
    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    bool checked = false;
    const auto u = RunUninstaller(dest, temp, IDYES, [&] {
        checked = true;
        EXPECT_FALSE(ClassKeyExists(L".TQK"));
        EXPECT_FALSE(ClassKeyExists(L"TaviroVideo"));
        EXPECT_EQ(ReadDriverEntry(L"vidc.zmbv"), std::nullopt);
        EXPECT_FALSE(test::Exists(dest + L"InstallLog.log"));
        for (const auto& rel : files) {
            if (rel == L"UnInstallTVR.exe") continue;  // still running
            EXPECT_FALSE(test::Exists(dest + rel)) << Utf8FromWide(rel);
        }
        for (const auto& l : links) EXPECT_FALSE(test::Exists(l)) << Utf8FromWide(l);
        EXPECT_FALSE(test::Exists(menu_));
        EXPECT_TRUE(test::Exists(programs_ + L"Nolvane"));  // never recorded
        EXPECT_TRUE(test::Exists(dest + L"help\\memo.txt"));
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(u.messages, (std::vector<std::wstring>{kConfirm, kFinishedUninstall}));
    const std::string self = AnsiFromWide(dest + L"UnInstallTVR.exe");
    const std::string folder = AnsiFromWide(dest);
    std::string expectedBatch = "@echo off\r\n:delfile\r\ndel /f \"" + self + "\"\r\nif exist \"" +
                                self + "\" goto delfile:\r\n:deldir\r\n";
    for (int i = 0; i < 51; ++i) expectedBatch += "rd \"" + folder + "\"\r\n";
    expectedBatch += "del \"" + AnsiFromWide(temp + L"_uninstalltvrall.bat") + "\"\r\n";
    EXPECT_EQ(u.batchText, expectedBatch);

    ASSERT_TRUE(WaitForBatch(temp));
    EXPECT_FALSE(test::Exists(dest + L"UnInstallTVR.exe"));
    EXPECT_TRUE(test::Exists(dest + L"help\\memo.txt"));
}

TEST_F(SetupTest, NoBoxesThenReinstallThenUninstallRemovesTheFolder) {
    const std::wstring src = Stage(L"dist");
    const std::wstring dest = root_.Path() + L"Taviro\\";
    ASSERT_TRUE(CreateDirectoryW(dest.c_str(), nullptr));  // an existing destination: no record
    ASSERT_EQ(Install(src, dest, false, false), std::vector<std::wstring>{kFinishedInstall});
    auto lines = LogLines(dest + L"InstallLog.log");
    const size_t fileCount = test::ListFilesRelative(src).size();
    // Without the association the log's last part holds the compressor's entry alone.
    ASSERT_EQ(lines.size(), 2 + 1 + fileCount + 4 + 1 + 1 + 2);
    EXPECT_EQ(lines[0], L"dir:" + dest + L"help\\");
    EXPECT_EQ(lines[1], L"dir:" + menu_);
    EXPECT_EQ(lines[3 + fileCount], L"fnm:" + menu_ + L"TaviroPlayer.lnk");
    EXPECT_EQ(lines[lines.size() - 4], L"");
    EXPECT_EQ(lines[lines.size() - 3], L"drv:vidc.zmbv");
    for (size_t i = lines.size() - 2; i < lines.size(); ++i) EXPECT_EQ(lines[i], L"");
    for (const auto& l : lines) EXPECT_NE(l.substr(0, 4), L"reg:");
    EXPECT_FALSE(ClassKeyExists(L".TQK"));
    EXPECT_FALSE(test::Exists(desktop_ + L"TaviroPlayer.lnk"));
    EXPECT_FALSE(test::Exists(desktop_ + L"TaviroRec.lnk"));

    // Reinstall over it with both boxes: files are overwritten, the existing Start-menu folder
    // is not recorded, the log holds the new list only.
    ASSERT_TRUE(test::WriteBytes(dest + L"help\\main.htm", "changed"));
    ASSERT_EQ(Install(src, dest, true, true), std::vector<std::wstring>{kFinishedInstall});
    EXPECT_EQ(test::ReadBytes(dest + L"help\\main.htm"), test::ReadBytes(src + L"help\\main.htm"));
    lines = LogLines(dest + L"InstallLog.log");
    ASSERT_EQ(lines.size(), 1 + 1 + fileCount + 6 + 1 + 9 + 2);
    EXPECT_EQ(lines[0], L"dir:" + dest + L"help\\");
    EXPECT_EQ(lines[1], L"");
    EXPECT_EQ(lines[lines.size() - 4], L"reg:TQK");
    EXPECT_EQ(lines[lines.size() - 3], L"drv:vidc.zmbv");
    EXPECT_TRUE(test::Exists(desktop_ + L"TaviroPlayer.lnk"));
    EXPECT_EQ(ReadClass(L".TQK"), L"TaviroVideo");

    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const auto u = RunUninstaller(dest, temp, IDYES);
    EXPECT_EQ(u.messages, (std::vector<std::wstring>{kConfirm, kFinishedUninstall}));
    ASSERT_TRUE(WaitForBatch(temp));
    // Once the uninstaller has ended, the batch removes it and the emptied folder.
    EXPECT_FALSE(test::Exists(dest));
    EXPECT_FALSE(ClassKeyExists(L".TQK"));
    EXPECT_EQ(ReadDriverEntry(L"vidc.zmbv"), std::nullopt);
    EXPECT_FALSE(test::Exists(desktop_ + L"TaviroPlayer.lnk"));
    EXPECT_TRUE(test::Exists(menu_));  // found existing by the second installation
    EXPECT_FALSE(test::Exists(menu_ + L"TaviroPlayer.lnk"));
}

TEST_F(SetupTest, AFileThatCannotBeCopiedIsReportedAndNotLogged) {
    const std::wstring src = Stage(L"dist");
    ASSERT_TRUE(CreateDirectoryW((src + L"data").c_str(), nullptr));
    ASSERT_TRUE(test::WriteBytes(src + L"data\\locked.bin", "locked"));
    ASSERT_TRUE(test::WriteBytes(src + L"data\\free.bin", "free"));
    FileHandle lock(CreateFileW((src + L"data\\locked.bin").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    const std::wstring dest = root_.Path() + L"dest\\";
    const auto messages = Install(src, dest, false, false);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find(L"locked.bin: "), std::wstring::npos) << Utf8FromWide(messages[0]);
    EXPECT_EQ(messages[0].find(L"free.bin"), std::wstring::npos);
    EXPECT_GT(messages[0].size(), messages[0].find(L"locked.bin: ") + 12);  // the reason
    EXPECT_EQ(messages[1], kFinishedInstall);
    EXPECT_FALSE(test::Exists(dest + L"data\\locked.bin"));
    EXPECT_EQ(test::ReadBytes(dest + L"data\\free.bin"), std::optional<std::string>("free"));
    const auto lines = LogLines(dest + L"InstallLog.log");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"fnm:" + dest + L"data\\free.bin"), 1);
    for (const auto& l : lines) EXPECT_EQ(l.find(L"locked.bin"), std::wstring::npos);
}

// The log written at the installer's end, its write, flush and rename failed in turn: the
// failure is reported with the log's name, and the log left is the previous installation's
// whole (or none), never part of the new one.
TEST_F(SetupTest, ALogThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    const std::wstring src = Stage(L"dist");
    const std::wstring dest = root_.Path() + L"Taviro\\";
    const std::wstring log = dest + L"InstallLog.log";
    for (const bool hadLog : {false, true}) {
        for (const wchar_t* fault : {L"write:1", L"flush:1", L"rename:1"}) {
            SCOPED_TRACE(Utf8FromWide(fault) + (hadLog ? " over an old log" : " first install"));
            test::RemoveTree(dest);
            std::optional<std::string> old;
            if (hadLog) {
                ASSERT_EQ(Install(src, dest, false, false),
                          std::vector<std::wstring>{kFinishedInstall});
                old = test::ReadBytes(log);
                ASSERT_TRUE(old);
            }
            const auto messages = Install(src, dest, false, false, {{L"TAVIRO_FAULT", fault}});
            ASSERT_EQ(messages.size(), 2u);
            EXPECT_EQ(messages[0].find(L"次のファイルをコピーできませんでした。"), 0u)
                << Utf8FromWide(messages[0]);
            EXPECT_NE(messages[0].find(L"InstallLog.log: "), std::wstring::npos)
                << Utf8FromWide(messages[0]);
            EXPECT_EQ(messages[1], kFinishedInstall);
            EXPECT_EQ(test::ReadBytes(log), old);
            EXPECT_FALSE(test::Exists(log + L".tmp~"));
        }
    }
}

// Another compressor holding "vidc.zmbv": ours goes under the second name, and the
// uninstaller takes back its own entry only, even when the log names both.
TEST_F(SetupTest, CompressorEntryOfAnotherProgramStays) {
    ASSERT_TRUE(WriteDriverEntry(L"vidc.zmbv", L"zmbv.dll"));
    const std::wstring src = Stage(L"dist");
    const std::wstring dest = root_.Path() + L"z\\";
    ASSERT_EQ(Install(src, dest, false, false), std::vector<std::wstring>{kFinishedInstall});
    EXPECT_EQ(ReadDriverEntry(L"vidc.zmbv"), std::optional<std::wstring>(L"zmbv.dll"));
    EXPECT_EQ(ReadDriverEntry(L"vidc.tzmb"), std::optional<std::wstring>(dest + L"TaviroZmbv.dll"));
    auto lines = LogLines(dest + L"InstallLog.log");
    EXPECT_EQ(lines[lines.size() - 3], L"drv:vidc.tzmb");
    // A log that also claims the other program's entry.
    std::string text;
    for (size_t i = 0; i + 3 < lines.size(); ++i) text += Utf8FromWide(lines[i]) + "\r\n";
    text += "drv:vidc.zmbv\r\ndrv:vidc.tzmb\r\n\r\n";
    ASSERT_TRUE(test::WriteBytes(dest + L"InstallLog.log", AnsiFromWide(WideFromUtf8(text))));
    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const auto u = RunUninstaller(dest, temp, IDYES);
    EXPECT_EQ(u.messages, (std::vector<std::wstring>{kConfirm, kFinishedUninstall}));
    ASSERT_TRUE(WaitForBatch(temp));
    EXPECT_EQ(ReadDriverEntry(L"vidc.zmbv"), std::optional<std::wstring>(L"zmbv.dll"));
    EXPECT_EQ(ReadDriverEntry(L"vidc.tzmb"), std::nullopt);
}

// Installed into a folder with spaces, as under Program Files: the compressor manager lists
// and opens the installed compressor for the recorder's formats, and the recorder's choice
// (the installed library's GetAVICompressor) offers it in the platform's dialog and takes it.
// The uninstaller then leaves Drivers32 as it was.
TEST_F(SetupTest, InstalledCompressorIsChosenThroughTheRecordersChoice) {
    const std::wstring src = Stage(L"dist");
    const std::wstring dest = root_.Path() + L"Program Files\\Nolvane\\Taviro\\";
    ASSERT_EQ(Install(src, dest, false, false), std::vector<std::wstring>{kFinishedInstall});
    const auto entry = ReadDriverEntry(L"vidc.zmbv");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->find(L' '), std::wstring::npos) << Utf8FromWide(*entry);
    EXPECT_EQ(entry->substr(entry->size() - 15), L"\\TaviroZmbv.dll");

    bool listed = false;
    ICINFO info{};
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i)
        listed = listed || (info.fccHandler | 0x20202020) == mmioFOURCC('z', 'm', 'b', 'v');
    EXPECT_TRUE(listed);
    HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC('z', 'm', 'b', 'v'), ICMODE_COMPRESS);
    ASSERT_TRUE(hic) << "the installed entry does not load";
    ICINFO got{};
    got.dwSize = sizeof got;
    EXPECT_EQ(ICGetInfo(hic, &got, sizeof got), LRESULT(sizeof got));
    const std::wstring description = got.szDescription;
    // The recorder's formats: 16 (5-5-5 and 5-6-5), 24 and 32 bits, bottom-up and top-down.
    struct Case {
        WORD bits;
        DWORD compression;
        DWORD red, green, blue;
        LONG height;
    } cases[] = {{16, BI_RGB, 0, 0, 0, 240},
                 {16, BI_BITFIELDS, 0xF800, 0x7E0, 0x1F, 240},
                 {16, BI_BITFIELDS, 0x7C00, 0x3E0, 0x1F, 240},
                 {24, BI_RGB, 0, 0, 0, 240},
                 {24, BI_RGB, 0, 0, 0, -240},
                 {32, BI_RGB, 0, 0, 0, 240}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, compression " << c.compression);
        struct {
            BITMAPINFOHEADER h;
            DWORD masks[3];
        } in{};
        in.h.biSize = sizeof in.h;
        in.h.biWidth = 320;
        in.h.biHeight = c.height;
        in.h.biPlanes = 1;
        in.h.biBitCount = c.bits;
        in.h.biCompression = c.compression;
        in.masks[0] = c.red;
        in.masks[1] = c.green;
        in.masks[2] = c.blue;
        const auto* bi = reinterpret_cast<BITMAPINFO*>(&in);
        EXPECT_EQ(ICCompressQuery(hic, bi, nullptr), ICERR_OK);
        BITMAPINFOHEADER out{};
        EXPECT_EQ(ICCompressGetFormat(hic, bi, &out), ICERR_OK);
        EXPECT_EQ(ICCompressQuery(hic, bi, &out), ICERR_OK);
    }
    ICClose(hic);

    HMODULE avi = LoadLibraryW((dest + L"TaviroAvi.dll").c_str());
    ASSERT_TRUE(avi);
    using Choose = LONG(WINAPI*)(HWND, char*, COMPVARS*);
    const auto choose =
        reinterpret_cast<Choose>(reinterpret_cast<void*>(GetProcAddress(avi, "GetAVICompressor")));
    ASSERT_TRUE(choose);
    std::atomic<bool> found{false};
    std::wstring offered;
    std::thread user([&] {
        found = test::ChooseCompressor(
            GetCurrentProcessId(), [&](const std::wstring& s) { return s == description; }, kWait,
            &offered);
    });
    COMPVARS cv{};
    char name[260] = {};
    const LONG chosen = choose(nullptr, name, &cv);
    user.join();
    EXPECT_TRUE(found) << "offered: " << Utf8FromWide(offered);
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(cv.fccHandler | 0x20202020, mmioFOURCC('z', 'm', 'b', 'v'));
    EXPECT_EQ(WideFromAnsi(name), description);
    FreeLibrary(avi);

    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    RunUninstaller(dest, temp, IDYES);
    EXPECT_TRUE(WaitForBatch(temp));
    EXPECT_EQ(ReadDriverEntry(L"vidc.zmbv"), std::nullopt);
    EXPECT_EQ(ReadDriverEntry(L"vidc.tzmb"), std::nullopt);
}

// Writes key's default value under HKEY_CLASSES_ROOT, as another program would.
void SetClass(const std::wstring& key, const std::wstring& value) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &h, nullptr),
              ERROR_SUCCESS)
        << Utf8FromWide(key);
    RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
}

// Another program's file type: its description, its "open" verb and its icon.
void MakeOtherType() {
    SetClass(L"OtherVideo", L"Other Video");
    SetClass(L"OtherVideo\\Shell\\open\\command", L"other.exe %1");
    SetClass(L"OtherVideo\\DefaultIcon", L"other.exe,0");
}

// The extension named another program's type before the installation: the installer puts its
// verb under that type and the uninstaller takes back that verb alone.
TEST_F(SetupTest, AnExistingTypeKeepsEverythingButOurVerb) {
    MakeOtherType();
    SetClass(L".TQK", L"OtherVideo");
    const std::wstring src = Stage(L"dist");
    const std::wstring dest = root_.Path() + L"t\\";
    ASSERT_EQ(Install(src, dest, false, true), std::vector<std::wstring>{kFinishedInstall});
    EXPECT_EQ(ReadClass(L"OtherVideo\\Shell\\再生\\command"),
              L"\"" + dest + L"TaviroPlayer.exe\" %1");
    const auto lines = LogLines(dest + L"InstallLog.log");
    const std::vector<std::wstring> tail(lines.end() - 7, lines.end());
    EXPECT_EQ(tail, (std::vector<std::wstring>{L"rgt:OtherVideo", L"rgk:OtherVideo\\Shell\\再生",
                                               L"rgk:OtherVideo\\Shell\\再生\\command", L"reg:TQK",
                                               L"drv:vidc.zmbv", L"", L""}));
    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const auto u = RunUninstaller(dest, temp, IDYES);
    EXPECT_EQ(u.messages, (std::vector<std::wstring>{kConfirm, kFinishedUninstall}));
    ASSERT_TRUE(WaitForBatch(temp));
    EXPECT_EQ(ReadClass(L".TQK"), L"OtherVideo");
    EXPECT_EQ(ReadClass(L"OtherVideo"), L"Other Video");
    EXPECT_EQ(ReadClass(L"OtherVideo\\Shell\\open\\command"), L"other.exe %1");
    EXPECT_FALSE(ClassKeyExists(L"OtherVideo\\Shell\\再生"));
    EXPECT_FALSE(ClassKeyExists(L"TaviroVideo"));
}

// Installed twice over itself (the second finds everything in place and claims what the
// first created), then another program associates the extension with its own type: the
// uninstaller removes the installation's type and leaves the extension to the other program.
TEST_F(SetupTest, AnAssociationTakenOverSinceStaysWithTheOtherProgram) {
    const std::wstring src = Stage(L"dist");
    const std::wstring dest = root_.Path() + L"t\\";
    ASSERT_EQ(Install(src, dest, false, true), std::vector<std::wstring>{kFinishedInstall});
    // The log's last part: the association's records and the compressor's.
    const auto lastPart = [&] {
        const auto lines = LogLines(dest + L"InstallLog.log");
        auto from = std::find(lines.begin(), lines.end(), L"rgt:TaviroVideo");
        return std::vector<std::wstring>(from, lines.end());
    };
    const auto first = lastPart();
    ASSERT_EQ(first.size(), 11u);
    ASSERT_EQ(Install(src, dest, false, true), std::vector<std::wstring>{kFinishedInstall});
    EXPECT_EQ(lastPart(), first) << "the second claims what the first made";

    MakeOtherType();
    SetClass(L".TQK", L"OtherVideo");
    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const auto u = RunUninstaller(dest, temp, IDYES);
    EXPECT_EQ(u.messages, (std::vector<std::wstring>{kConfirm, kFinishedUninstall}));
    ASSERT_TRUE(WaitForBatch(temp));
    EXPECT_EQ(ReadClass(L".TQK"), L"OtherVideo");
    EXPECT_EQ(ReadClass(L"OtherVideo\\Shell\\open\\command"), L"other.exe %1");
    EXPECT_FALSE(ClassKeyExists(L"TaviroVideo"));
    EXPECT_FALSE(test::Exists(dest));
}

// A log from before the association's records ("reg:TQK" alone) takes back what a fresh
// association makes, and only while the extension still names that type.
TEST_F(SetupTest, AnOldLogTakesBackOnlyAFreshAssociation) {
    for (const bool takenOver : {false, true}) {
        SCOPED_TRACE(takenOver ? "taken over" : "as installed");
        const std::wstring src = Stage(takenOver ? L"dist2" : L"dist1");
        const std::wstring dest = root_.Path() + (takenOver ? L"o2\\" : L"o1\\");
        ASSERT_EQ(Install(src, dest, false, true), std::vector<std::wstring>{kFinishedInstall});
        std::string text;
        for (const auto& l : LogLines(dest + L"InstallLog.log"))
            if (l.rfind(L"rg", 0) != 0 || l == L"reg:TQK") text += AnsiFromWide(l) + "\r\n";
        text.resize(text.size() - 2);
        ASSERT_TRUE(test::WriteBytes(dest + L"InstallLog.log", text));
        if (takenOver) {
            MakeOtherType();
            SetClass(L".TQK", L"OtherVideo");
            SetClass(L"TaviroVideo\\Shell\\edit\\command", L"other.exe %1");
        }
        const std::wstring temp = dest + L"..\\temp" + (takenOver ? L"2\\" : L"1\\");
        CreateDirectoryW(temp.c_str(), nullptr);
        RunUninstaller(dest, temp, IDYES);
        ASSERT_TRUE(WaitForBatch(temp));
        EXPECT_EQ(ClassKeyExists(L".TQK"), takenOver);
        EXPECT_FALSE(ClassKeyExists(L"TaviroVideo\\Shell\\再生"));
        EXPECT_FALSE(ClassKeyExists(L"TaviroVideo\\DefaultIcon"));
        // A verb another program added keeps its type.
        EXPECT_EQ(ClassKeyExists(L"TaviroVideo\\Shell\\edit"), takenOver);
        CleanShared();
    }
}

// An uninstaller copied read-only (a copy keeps the attribute of the file it was made from),
// with a log that does not name it (the walk would clear the attribute on its way): the
// clean-up batch still removes it and the folder, and ends.
TEST_F(SetupTest, AReadOnlyUninstallerIsRemovedByTheBatch) {
    const std::wstring inst = root_.Path() + L"ro\\";
    ASSERT_TRUE(CreateDirectoryW(inst.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((dist_ + L"UnInstallTVR.exe").c_str(),
                          (inst + L"UnInstallTVR.exe").c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesW((inst + L"UnInstallTVR.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(test::WriteBytes(inst + L"InstallLog.log", ""));
    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const auto u = RunUninstaller(inst, temp, IDYES);
    EXPECT_EQ(u.messages, (std::vector<std::wstring>{kConfirm, kFinishedUninstall}));
    const bool ended = WaitForBatch(temp);
    if (!ended)  // let a looping batch end, so that it does not outlive the test
        SetFileAttributesW((inst + L"UnInstallTVR.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(ended) << "the batch is still looping on the read-only uninstaller";
    EXPECT_FALSE(test::Exists(inst));
}

// A folder with more than the installer can log is refused before anything changes; the most
// it takes installs, and its log is one the uninstaller accepts and undoes.
TEST_F(SetupTest, MoreFilesThanTheLogCanHoldAreRefusedAtInstallTime) {
    const std::wstring src = Stage(L"dist");
    ASSERT_TRUE(CreateDirectoryW((src + L"extra").c_str(), nullptr));
    std::vector<std::wstring> entries;
    const size_t staged = size_t(GetALLFiles(src, &entries, 0, L"", false, true, true, false));
    const size_t most = MaxInstallEntries();
    ASSERT_LT(staged, most);
    for (size_t i = staged; i <= most; ++i)
        ASSERT_TRUE(test::WriteBytes(src + L"extra\\f" + std::to_wstring(i) + L".txt", "x"));
    const std::wstring dest = root_.Path() + L"many\\";
    {
        test::ChildProcess p;
        ASSERT_TRUE(p.Start(src + L"TaviroSetup.exe"));
        HWND w = test::WaitForWindow(p.Id(), nullptr, L"Taviro インストーラ", kWait);
        ASSERT_TRUE(w);
        test::SetText(test::Child(w, kText1), dest);
        test::Click(test::Child(w, kCommand2));
        auto box = test::WaitForMessageBox(p.Id(), kWait);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, WideFromUtf8(TooManyFilesMessage(most + 1)));
        EXPECT_TRUE(test::AnswerMessageBox(*box, IDOK));
        // Nothing changed, and the window is there to choose again.
        EXPECT_TRUE(
            test::WaitUntil([&] { return IsWindowEnabled(test::Child(w, kCommand2)); }, kWait));
        EXPECT_FALSE(test::Exists(dest));
        EXPECT_FALSE(ClassKeyExists(L".TQK"));
        EXPECT_FALSE(test::Exists(desktop_ + L"TaviroPlayer.lnk"));
        EXPECT_FALSE(test::Exists(menu_));
        PostMessageW(w, WM_CLOSE, 0, 0);
        EXPECT_EQ(p.WaitExit(kWait), std::optional<DWORD>(0));
    }
    ASSERT_TRUE(DeleteFileW((src + L"extra\\f" + std::to_wstring(most) + L".txt").c_str()));
    ASSERT_EQ(Install(src, dest, true, true), std::vector<std::wstring>{kFinishedInstall});
    const auto log = test::ReadBytes(dest + L"InstallLog.log");
    ASSERT_TRUE(log);
    EXPECT_LT(CountLineBreaks(*log), kMaxLogLineBreaks);
    const std::wstring temp = root_.Path() + L"temp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const auto u = RunUninstaller(dest, temp, IDYES);
    EXPECT_EQ(u.messages, (std::vector<std::wstring>{kConfirm, kFinishedUninstall}));
    ASSERT_TRUE(WaitForBatch(temp));
    EXPECT_FALSE(test::Exists(dest));
    EXPECT_FALSE(ClassKeyExists(L".TQK"));
}

std::string Breaks(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "\r\n";
    return s;
}

// The uninstaller on logs it did not get from the installer.
TEST_F(SetupTest, UninstallerLogRules) {
    const std::wstring outside = root_.Path() + L"outside\\";
    CreateDirectoryW(outside.c_str(), nullptr);
    CreateDirectoryW((outside + L"emptydir").c_str(), nullptr);
    struct Case {
        const char* name;
        std::string log;  // "%I%" stands for the installation folder, "%O%" for outside
        bool writeLog;
        int answer;
        std::vector<std::wstring> messages;
        bool removesA;
    } cases[] = {
        {"99 breaks",
         "fnm:%I%a.txt" + Breaks(99),
         true,
         IDYES,
         {kConfirm, kFinishedUninstall},
         true},
        {"100 breaks", "fnm:%I%a.txt" + Breaks(100), true, IDYES, {kConfirm, kBadLog}, false},
        {"empty", "", true, IDYES, {kConfirm, kFinishedUninstall}, false},
        {"no log", "", false, IDYES, {kConfirm, kNoLog}, false},
        {"answered no", "fnm:%I%a.txt\r\n", true, IDNO, {kConfirm}, false},
        {"foreign reg",
         "reg:AVI\r\nreg:tqk\r\n",
         true,
         IDYES,
         {kConfirm, kFinishedUninstall},
         false},
        {"outside",
         "dir:%I%sub\\\r\ndir:%O%emptydir\\\r\ndir:%I%..\\outside\\emptydir\\\r\n\r\n"
         "fnm:%I%sub\\b.txt\r\nfnm:%I%a.txt\r\nfnm:%I%h.txt\r\nfnm:%O%victim.txt\r\n"
         "fnm:%I%..\\outside\\victim.txt\r\nfnm:%I%sub\\..\\..\\outside\\victim.txt\r\n"
         "fnm:victim.txt\r\n",
         true,
         IDYES,
         {kConfirm, kFinishedUninstall},
         true},
    };
    int n = 0;
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring inst = root_.Path() + L"inst" + std::to_wstring(++n) + L"\\";
        const std::wstring temp = root_.Path() + L"temp" + std::to_wstring(n) + L"\\";
        CreateDirectoryW(inst.c_str(), nullptr);
        CreateDirectoryW(temp.c_str(), nullptr);
        CreateDirectoryW((inst + L"sub").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((dist_ + L"UnInstallTVR.exe").c_str(),
                              (inst + L"UnInstallTVR.exe").c_str(), FALSE));
        ASSERT_TRUE(test::WriteBytes(inst + L"a.txt", "a"));
        ASSERT_TRUE(test::WriteBytes(inst + L"sub\\b.txt", "b"));
        ASSERT_TRUE(test::WriteBytes(inst + L"h.txt", "h"));
        SetFileAttributesW((inst + L"h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
        ASSERT_TRUE(test::WriteBytes(outside + L"victim.txt", "v"));
        // An association the log's foreign "reg" lines must leave alone.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L".TQK", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  0);
        RegCloseKey(key);

        std::string text = c.log;
        auto replaceAll = [&](const std::string& from, const std::wstring& to) {
            const std::string ansi = AnsiFromWide(to);
            for (size_t at = text.find(from); at != std::string::npos;
                 at = text.find(from, at + ansi.size()))
                text.replace(at, from.size(), ansi);
        };
        replaceAll("%I%", inst);
        replaceAll("%O%", outside);
        if (c.writeLog) {
            ASSERT_TRUE(test::WriteBytes(inst + L"InstallLog.log", text));
        }

        const auto u = RunUninstaller(inst, temp, c.answer);
        EXPECT_EQ(u.messages, c.messages);
        const bool completed = c.messages.back() == kFinishedUninstall;
        if (completed) {
            EXPECT_TRUE(WaitForBatch(temp));
        }
        EXPECT_EQ(test::Exists(inst + L"a.txt"), !c.removesA);
        EXPECT_EQ(test::Exists(inst + L"InstallLog.log"), c.writeLog && !completed);
        EXPECT_EQ(test::Exists(inst + L"UnInstallTVR.exe"), !completed);
        EXPECT_TRUE(test::Exists(inst + L"h.txt"));  // hidden: never found
        EXPECT_TRUE(test::Exists(outside + L"victim.txt"));
        EXPECT_TRUE(test::Exists(outside + L"emptydir"));
        EXPECT_TRUE(ClassKeyExists(L".TQK"));
        if (std::string(c.name) == "outside") {
            EXPECT_FALSE(test::Exists(inst + L"sub\\b.txt"));
            EXPECT_FALSE(test::Exists(inst + L"sub"));
        }
    }
}

}  // namespace
}  // namespace tqk::test
