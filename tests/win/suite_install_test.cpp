// The suite as a user gets it: the real installer run from the staged distribution folder by
// pressing its button, the programs started through the shortcuts it made, a movie opened
// through the shell's verb, and the uninstaller started from the Start menu.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "compressor_reg.h"
#include "install_driver.h"
#include "recorder/form2_ids.h"
#include "setup_files.h"
#include "shell_link.h"
#include "suite_driver.h"
#include "test_files.h"
#include "tqk_commands.h"
#include "win_handles.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

constexpr DWORD kWait = 30000;  // generous: the machine is shared

std::wstring FromUnix(const char* path) {
    std::wstring w = L"Z:" + WideFromUtf8(path);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return w;
}

bool ClassKeyExists(const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

// Ids of the running processes whose program file is named exeName.
std::vector<DWORD> Running(const wchar_t* exeName) {
    std::vector<DWORD> ids;
    FileHandle snap(
        CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));  // empty: INVALID_HANDLE_VALUE
    if (!snap) return ids;
    PROCESSENTRY32W e{};
    e.dwSize = sizeof(e);
    for (BOOL ok = Process32FirstW(snap.Get(), &e); ok; ok = Process32NextW(snap.Get(), &e))
        if (_wcsicmp(e.szExeFile, exeName) == 0) ids.push_back(e.th32ProcessID);
    return ids;
}
int RunningCount(const wchar_t* exeName) { return int(Running(exeName).size()); }

// The program file a process runs. (QueryFullProcessImageNameW is newer than the headers'
// target version, so it is looked up.)
std::wstring ImagePath(HANDLE process) {
    using Fn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    const auto query = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    return query && query(process, 0, path, &size) ? std::wstring(path, size) : L"";
}

// Opens file through the shell with verb (nullptr: the default) and returns the process that
// runs exeName afterwards, or an empty handle. (Wine's shell gives no process handle for a
// shortcut: the process is then found by its program's name.)
ObjectHandle ShellStart(const std::wstring& file, const wchar_t* verb, const wchar_t* exeName) {
    const std::vector<DWORD> before = Running(exeName);
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    sei.lpVerb = verb;
    sei.lpFile = file.c_str();
    sei.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&sei)) return ObjectHandle();
    if (sei.hProcess) return ObjectHandle(sei.hProcess);
    ObjectHandle found;
    test::WaitUntil(
        [&] {
            for (DWORD id : Running(exeName)) {
                if (std::find(before.begin(), before.end(), id) != before.end()) continue;
                found.Reset(
                    OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                                FALSE, id));
                if (found) return true;
            }
            return false;
        },
        kWait);
    return found;
}

// The .htm file type pointed at a probe program for one test, so that what a program asks the
// shell to open is written down (the probe's cmdline.txt) instead of shown; put back after.
class HtmlProbe {
public:
    explicit HtmlProbe(const std::wstring& folder) : folder_(folder) {
        CreateDirectoryW(folder_.c_str(), nullptr);
        const std::wstring probe = folder_ + L"probe.exe";
        ok_ = CopyFileW(FromUnix(CMDLINE_PROBE).c_str(), probe.c_str(), FALSE) != FALSE;
        wchar_t old[256] = {};
        LONG size = sizeof(old);
        hadType_ = RegQueryValueW(HKEY_CLASSES_ROOT, L".htm", old, &size) == ERROR_SUCCESS;
        oldType_ = old;
        const std::wstring command = L"\"" + probe + L"\" \"%1\"";
        ok_ = ok_ && Set(L"TaviroHelpProbe\\shell\\open\\command", command) &&
              Set(L".htm", L"TaviroHelpProbe");
    }
    ~HtmlProbe() {
        if (hadType_) {
            Set(L".htm", oldType_);
        } else {
            SHDeleteKeyW(HKEY_CLASSES_ROOT, L".htm");
        }
        SHDeleteKeyW(HKEY_CLASSES_ROOT, L"TaviroHelpProbe");
    }
    bool Ok() const { return ok_; }
    // The one argument the probe was started with, once it has written it down.
    std::optional<std::wstring> Opened(DWORD timeoutMs) const {
        std::optional<std::string> line;
        test::WaitUntil(
            [&] { return (line = test::ReadBytes(folder_ + L"cmdline.txt")) && !line->empty(); },
            timeoutMs);
        if (!line) return std::nullopt;
        std::wstring w = WideFromUtf8(*line);
        // "probe.exe" "argument"
        const size_t end = w[0] == L'"' ? w.find(L'"', 1) : w.find(L' ');
        if (end == std::wstring::npos) return std::nullopt;
        std::wstring arg = w.substr(end + 1);
        arg.erase(0, arg.find_first_not_of(L' '));
        if (!arg.empty() && arg.front() == L'"') arg = arg.substr(1, arg.find(L'"', 1) - 1);
        return arg;
    }

private:
    static bool Set(const std::wstring& key, const std::wstring& value) {
        return RegSetValueW(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                            DWORD(value.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    std::wstring folder_;
    bool ok_ = false;
    bool hadType_ = false;
    std::wstring oldType_;
};

// The full path a program's path names (a "/" inside it taken as "\"), for comparing.
std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? full : L"";
}

// The streams ffprobe reads in an AVI: "codec_type,codec_name,frames" per line.
std::string Probe(const std::wstring& avi) {
    const auto out = test::RunUnixCommand(
        "ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,nb_read_frames "
        "-of csv=p=0 '" +
            test::UnixPath(avi) + "'",
        60000);
    return out.value_or("ffprobe did not run");
}

// Asks the program's windows to close and waits for the process to end; ends it otherwise.
bool CloseProgram(HANDLE process, HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process, kWait) == WAIT_OBJECT_0) return true;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, kWait);
    return false;
}

class SuiteInstall : public ::testing::Test {
protected:
    void SetUp() override {
        CleanShared();
        // The uninstaller writes its batch file into TEMP; the shell hands this process's
        // environment to what it starts.
        CreateDirectoryW(temp_.c_str(), nullptr);
        SetEnvironmentVariableW(L"TEMP", temp_.c_str());
        SetEnvironmentVariableW(L"TMP", temp_.c_str());
    }
    void TearDown() override {
        CleanShared();
        SetEnvironmentVariableW(L"TEMP", savedTemp_.c_str());
        SetEnvironmentVariableW(L"TMP", savedTemp_.c_str());
    }

    // What an installation leaves outside its folder, in the prefix all tests share.
    void CleanShared() {
        DeleteFileW((desktop_ + L"TaviroPlayer.lnk").c_str());
        DeleteFileW((desktop_ + L"TaviroRec.lnk").c_str());
        test::RemoveTree(programs_ + L"Nolvane");
        SHDeleteKeyW(HKEY_CLASSES_ROOT, L".TQK");
        SHDeleteKeyW(HKEY_CLASSES_ROOT, L"TaviroVideo");
    }

    bool Built(const std::wstring& name) const { return test::Exists(dist_ + name); }

    void Install(bool desktop) {
        ASSERT_TRUE(Built(L"TaviroSetup.exe"));
        const auto run =
            test::RunInstaller(dist_ + L"TaviroSetup.exe", dest_, desktop, true, kWait);
        ASSERT_TRUE(run.windowShown);
        ASSERT_EQ(run.messages, std::vector<std::wstring>{test::kInstallFinished});
        EXPECT_EQ(run.exitCode, std::optional<DWORD>(0));
    }

    // Starts a program through a shortcut and checks that it shows a window; for the recorder,
    // that its sound helper came up beside it. Then closes it.
    void StartThroughShortcut(const std::wstring& link, const std::wstring& program) {
        SCOPED_TRACE(Utf8FromWide(link));
        ObjectHandle p = ShellStart(link, nullptr, program.c_str());
        ASSERT_TRUE(p) << GetLastError();
        EXPECT_EQ(_wcsicmp(ImagePath(p.Get()).c_str(), (dest_ + program).c_str()), 0)
            << Utf8FromWide(ImagePath(p.Get()));
        HWND w = test::WaitForWindow(GetProcessId(p.Get()), nullptr, nullptr, kWait);
        ASSERT_TRUE(w) << "no window of " << Utf8FromWide(program);
        if (program == L"TaviroRec.exe" && Built(L"TaviroWave.exe")) {
            EXPECT_TRUE(test::WaitUntil([] { return RunningCount(L"TaviroWave.exe") > 0; }, kWait))
                << "the recorder did not start its sound helper";
        }
        EXPECT_TRUE(CloseProgram(p.Get(), w)) << "did not end when its window was closed";
        // The sound helper ends by itself once the recorder has gone.
        EXPECT_TRUE(test::WaitUntil([] { return RunningCount(L"TaviroWave.exe") == 0; }, kWait));
    }

    // Runs the uninstaller of the installation folder and waits for its batch file.
    void Uninstall(HANDLE process) {
        const auto texts = test::AnswerUninstaller(GetProcessId(process), kWait);
        EXPECT_EQ(texts,
                  (std::vector<std::wstring>{test::kUninstallConfirm, test::kUninstallFinished}));
        const bool ended = WaitForSingleObject(process, kWait) == WAIT_OBJECT_0;
        EXPECT_TRUE(ended);
        if (!ended) TerminateProcess(process, 1);  // never left behind with a box open
        EXPECT_TRUE(
            test::WaitUntil([&] { return !test::Exists(temp_ + L"_uninstalltvrall.bat"); }, kWait));
    }

    ComInit com_;
    test::TempFolder root_{L"suite"};
    const std::wstring dist_ = FromUnix(TAVIRO_DIST_DIR) + L"\\";
    const std::wstring dest_ = root_.Path() + L"Program Files\\Nolvane\\Taviro\\";
    const std::wstring temp_ = root_.Path() + L"temp\\";
    const std::wstring desktop_ = SpecialFolder(CSIDL_DESKTOP);
    const std::wstring programs_ = SpecialFolder(CSIDL_PROGRAMS);
    const std::wstring menu_ = programs_ + L"Nolvane\\Taviro\\";
    const std::wstring savedTemp_ = [] {
        wchar_t t[MAX_PATH] = {};
        GetEnvironmentVariableW(L"TEMP", t, MAX_PATH);
        return std::wstring(t);
    }();
};

TEST_F(SuiteInstall, ShortcutsStartTheProgramsAndTheUninstallerKeepsRecordings) {
    Install(true);
    const auto files = test::ListFilesRelative(dist_);
    for (const auto& rel : files) {
        SCOPED_TRACE(Utf8FromWide(rel));
        EXPECT_EQ(test::ReadBytes(dest_ + rel), test::ReadBytes(dist_ + rel));
    }

    struct Link {
        std::wstring file;
        std::wstring target;  // relative to the installation folder
        bool start;           // a program to start through it
    };
    const Link links[] = {
        {desktop_ + L"TaviroPlayer.lnk", L"TaviroPlayer.exe", true},
        {desktop_ + L"TaviroRec.lnk", L"TaviroRec.exe", true},
        {menu_ + L"TaviroPlayer.lnk", L"TaviroPlayer.exe", true},
        {menu_ + L"TaviroRec.lnk", L"TaviroRec.exe", true},
        {menu_ + L"ヘルプ.lnk", L"help\\index.htm", false},
        {menu_ + L"アンインストール.lnk", L"UnInstallTVR.exe", false},
    };
    for (const auto& l : links) {
        SCOPED_TRACE(Utf8FromWide(l.file));
        ASSERT_TRUE(test::Exists(l.file));
        EXPECT_EQ(ShellLink::GetLink(l.file), dest_ + l.target);
        if (!Built(l.target)) {
            // dist_contents_test names what the build lacks; here only what exists is used.
            std::printf("not built, not started: %s\n", Utf8FromWide(l.target).c_str());
            continue;
        }
        EXPECT_TRUE(test::Exists(dest_ + l.target));
        if (l.start) StartThroughShortcut(l.file, l.target);
    }

    // Recordings the user keeps in the installation folder, one in a folder of the suite's.
    const std::wstring movie = dest_ + L"録画 1.TQK", wave = dest_ + L"録画 1.wav",
                       page = dest_ + L"help\\メモ.txt";
    ASSERT_TRUE(test::WriteBytes(movie, "movie"));
    ASSERT_TRUE(test::WriteBytes(wave, "wave"));
    ASSERT_TRUE(test::WriteBytes(page, "memo"));

    ObjectHandle u = ShellStart(menu_ + L"アンインストール.lnk", nullptr, L"UnInstallTVR.exe");
    ASSERT_TRUE(u) << GetLastError();
    Uninstall(u.Get());

    for (const auto& rel : files) EXPECT_FALSE(test::Exists(dest_ + rel)) << Utf8FromWide(rel);
    for (const auto& l : links) EXPECT_FALSE(test::Exists(l.file)) << Utf8FromWide(l.file);
    EXPECT_FALSE(test::Exists(dest_ + L"InstallLog.log"));
    EXPECT_FALSE(test::Exists(menu_));
    EXPECT_FALSE(ClassKeyExists(L".TQK"));
    EXPECT_FALSE(ClassKeyExists(L"TaviroVideo"));
    EXPECT_EQ(test::ReadBytes(movie), std::optional<std::string>("movie"));
    EXPECT_EQ(test::ReadBytes(wave), std::optional<std::string>("wave"));
    EXPECT_EQ(test::ReadBytes(page), std::optional<std::string>("memo"));
}

// The installed programs at work: the recorder's help button hands the shell the installed
// help page; a recording with sound exported by the recorder, and the same movie exported by
// the player, both with our ZMBV compressor, as ffprobe reads them.
TEST_F(SuiteInstall, HelpAndExportsOfTheInstalledPrograms) {
    Install(false);
    // The driver loader cuts an entry at its first blank: the compressor is registered by a
    // path without one, although the installation folder has one (under the second name when
    // another installation holds the first).
    // Installed twice: the second installation knows the entry as its own.
    Install(false);
    const std::wstring ours = dest_ + L"TaviroZmbv.dll";
    const auto OurEntries = [&] {
        std::vector<std::wstring> found;
        for (const wchar_t* name : {L"vidc.zmbv", L"vidc.tzmb"}) {
            const auto entry = ReadDriverEntry(name);
            if (!entry || entry->empty()) continue;
            wchar_t longPath[MAX_PATH * 2] = {};
            GetLongPathNameW(entry->c_str(), longPath, MAX_PATH * 2);
            if (_wcsicmp(longPath, ours.c_str()) == 0) found.push_back(*entry);
        }
        return found;
    };
    const auto entries = OurEntries();
    ASSERT_EQ(entries.size(), 1u) << "the compressor is registered once";
    EXPECT_EQ(entries[0].find(L' '), std::wstring::npos) << Utf8FromWide(entries[0]);
    {
        HtmlProbe probe(root_.Path() + L"probe\\");
        ASSERT_TRUE(probe.Ok());
        test::ChildProcess rec;
        ASSERT_TRUE(rec.Start(dest_ + L"TaviroRec.exe"));
        HWND form2 = test::WaitForWindow(rec.Id(), L"TaviroRecForm2", nullptr, kWait);
        ASSERT_TRUE(form2);
        test::Click(test::Child(form2, form2_ids::Command11));
        const auto opened = probe.Opened(kWait);
        ASSERT_TRUE(opened) << "the help button opened nothing";
        const std::wstring page = dest_ + L"help\\main.htm";
        EXPECT_EQ(_wcsicmp(FullPath(*opened).c_str(), page.c_str()), 0) << Utf8FromWide(*opened);
        EXPECT_TRUE(test::Exists(*opened));
        EXPECT_EQ(test::ReadBytes(*opened), test::ReadBytes(dist_ + L"help\\main.htm"));
        EXPECT_TRUE(CloseProgram(rec.Handle(), form2));
    }

    // 2 s at 10 fps of the screen's corner, with sound, exported by the recorder.
    const std::wstring folder = root_.Path() + L"録画\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    test::RecorderRun run;
    run.rect = {0, 0, 160, 120};
    run.fps = 10;
    run.seconds = 2;
    run.timeoutMs = kWait;
    // A tone into the audio daemon for the recording (it ends by itself).
    const std::string tone = test::UnixPath(root_.Path() + L"tone.wav");
    ASSERT_TRUE(test::RunUnixCommand("sox -n -r 44100 -c 2 -b 16 '" + tone +
                                         "' synth 10 sine 660 vol 0.5 && (paplay '" + tone +
                                         "' >/dev/null 2>&1 &)",
                                     kWait));
    const auto r = test::RecordThroughRecorder(dest_ + L"TaviroRec.exe", folder + L"clip.TQK", run);
    ASSERT_TRUE(r.windowShown);
    EXPECT_TRUE(r.soundChosen);
    EXPECT_TRUE(r.zmbvChosen) << "the installed compressor is not offered";
    ASSERT_TRUE(r.recorded);
    ASSERT_TRUE(test::Exists(folder + L"clip.TQK"));
    ASSERT_TRUE(test::Exists(folder + L"clip.wav"));
    // The tone is in the recorded sound.
    const auto level = test::RunUnixCommand(
        "sox '" + test::UnixPath(folder + L"clip.wav") + "' -n remix 1 stat 2>&1", kWait);
    ASSERT_TRUE(level);
    const size_t at = level->find("RMS     amplitude:");
    ASSERT_NE(at, std::string::npos) << *level;
    EXPECT_GT(atof(level->c_str() + at + 18), 0.1) << *level;
    const std::string recorded = Probe(folder + L"clip.avi");
    EXPECT_NE(recorded.find("zmbv,video,20"), std::string::npos) << recorded;
    EXPECT_NE(recorded.find("audio"), std::string::npos) << recorded;

    // The same movie and sound under another name, exported by the installed player.
    ASSERT_TRUE(CopyFileW((folder + L"clip.TQK").c_str(), (folder + L"play.TQK").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((folder + L"clip.wav").c_str(), (folder + L"play.wav").c_str(), FALSE));
    test::ChildProcess player;
    ASSERT_TRUE(player.Start(dest_ + L"TaviroPlayer.exe", L"\"" + folder + L"play.TQK\""));
    HWND w = test::WaitForWindow(player.Id(), L"TaviroPlayerForm1", nullptr, kWait);
    ASSERT_TRUE(w);
    std::wstring said;
    EXPECT_TRUE(test::ExportThroughPlayer(player.Id(), w, folder + L"play.TQK",
                                          folder + L"play.avi", kWait, &said))
        << Utf8FromWide(said);
    EXPECT_TRUE(CloseProgram(player.Handle(), w));
    const std::string played = Probe(folder + L"play.avi");
    EXPECT_NE(played.find("zmbv,video,20"), std::string::npos) << played;
    EXPECT_NE(played.find("audio"), std::string::npos) << played;

    test::ChildProcess u;
    ASSERT_TRUE(u.Start(dest_ + L"UnInstallTVR.exe"));
    Uninstall(u.Handle());
    EXPECT_TRUE(OurEntries().empty());
    EXPECT_TRUE(test::Exists(folder + L"clip.TQK"));
}

// Registered as its own test: it fails, never skips, while the player is not built.
TEST_F(SuiteInstall, ShellVerbOpensTheMovieInThePlayer) {
    ASSERT_TRUE(Built(L"TaviroPlayer.exe"))
        << "TaviroPlayer.exe is not in the distribution folder: the player is not built";
    Install(false);

    // A real movie, wide enough for its path to fit the player's caption.
    const std::wstring movie = root_.Path() + L"my movie.TQK";
    ASSERT_EQ(RunTqk({"sample", Utf8FromWide(movie), "--bits", "24", "--size", "640x480", "--fps",
                      "10", "--sec", "2"},
                     stdout, stderr),
              0);

    ObjectHandle p = ShellStart(movie, L"再生", L"TaviroPlayer.exe");
    ASSERT_TRUE(p) << GetLastError();
    EXPECT_EQ(_wcsicmp(ImagePath(p.Get()).c_str(), (dest_ + L"TaviroPlayer.exe").c_str()), 0)
        << Utf8FromWide(ImagePath(p.Get()));
    // After a successful open the caption is the movie's path, shortened when it does not fit.
    HWND w = nullptr;
    std::wstring caption;
    const bool opened = test::WaitUntil(
        [&] {
            w = test::WaitForWindow(GetProcessId(p.Get()), nullptr, nullptr, 100);
            if (!w) return false;
            caption = test::Text(w);
            const std::wstring name = L"my movie.TQK";
            return caption == movie ||
                   (caption.find(L"...") != std::wstring::npos && caption.size() > name.size() &&
                    caption.compare(caption.size() - name.size(), name.size(), name) == 0);
        },
        kWait);
    EXPECT_TRUE(opened) << "caption: " << Utf8FromWide(caption);
    if (w) {
        EXPECT_TRUE(CloseProgram(p.Get(), w));
    }

    test::ChildProcess u;
    ASSERT_TRUE(u.Start(dest_ + L"UnInstallTVR.exe"));
    Uninstall(u.Handle());
    EXPECT_FALSE(ClassKeyExists(L".TQK"));
    EXPECT_FALSE(test::Exists(dest_));
    EXPECT_TRUE(test::Exists(movie));
}

}  // namespace
}  // namespace tqk::test
