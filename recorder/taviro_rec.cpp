// TaviroRec: the recorder program. Start-up checks the display and the instance count, works
// out its paths and remembered positions, starts the sound helper, and shows the settings
// window until the program ends; the positions are written when it closes.
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "form2.h"
#include "message_pump.h"
#include "path_parts.h"
#include "rec_ui.h"
#include "recorder_actions.h"
#include "recorder_files.h"
#include "recorder_paths.h"
#include "recovery.h"
#include "sound_helper_client.h"
#include "win_handles.h"

namespace tqk::rec {
namespace {

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return L".\\";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::wstring folder = FolderOf(path);
    return folder.empty() ? L".\\" : folder;
}

// The program folder when files can be written there, else the user's application data +
// "Taviro\" (a program under Program Files is not writable for a standard user).
std::wstring DataFolder(const std::wstring& programFolder) {
    if (FolderIsWritable(programFolder)) return programFolder;
    wchar_t appData[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData))) {
        return programFolder;
    }
    const std::wstring folder = Wide(PerUserDataFolder(Utf8(appData)));
    CreateDirectoryW(folder.c_str(), nullptr);
    return FolderExists(folder) ? folder : programFolder;
}

struct Versions {
    bool ntFamily = true;
    bool windows2000OrLater = true;
};

Versions WindowsVersion() {
    Versions v;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(&info)) {
#pragma GCC diagnostic pop
        v.ntFamily = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
        v.windows2000OrLater = v.ntFamily && info.dwMajorVersion >= 5;
    }
    return v;
}

ScreenRect WorkArea() {
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
    return ScreenRect{r.left, r.top, r.right, r.bottom};
}

// The conversion window's outer size: its client area of 360 x 66 with a caption.
SIZE AviWindowSize() {
    RECT r{0, 0, 360, 66};
    AdjustWindowRectEx(&r, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOOLWINDOW);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// A helper of an earlier run whose recorder ended during a recording may still be writing
// that recording's WAV: it owns the orphan mutex meanwhile. Waited for (at most
// kEarlierHelperMs), so that the recovery below does not take a WAV being written for missing;
// then a little longer for that helper to end, so that this run's helper is not taken for a
// second instance.
constexpr DWORD kEarlierHelperMs = 120000;
constexpr DWORD kEarlierHelperEndMs = 3000;
bool WaitOwned(HANDLE mutex, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) return false;
        const DWORD r = MsgWaitForMultipleObjects(1, &mutex, FALSE, timeoutMs - spent, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) {
            ReleaseMutex(mutex);  // the wait took it
            return true;
        }
        if (r != WAIT_OBJECT_0 + 1) return false;
        PumpMessages();
    }
}
void WaitForEarlierHelper() {
    ObjectHandle orphan(OpenMutexW(SYNCHRONIZE, FALSE, Wide(snd::kHelperOrphanNameUtf8).c_str()));
    if (!orphan || !WaitOwned(orphan.Get(), kEarlierHelperMs)) return;
    const std::wstring instance = Wide(snd::kHelperInstanceNameUtf8);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kEarlierHelperEndMs) {
        ObjectHandle still(OpenMutexW(SYNCHRONIZE, FALSE, instance.c_str()));
        if (!still) return;
        PumpMessages();
        Sleep(20);
    }
}

// The folder the recorder saves into: that of the movie in the record it starts with.
std::wstring SaveFolder(const RecorderPaths& paths) {
    CaptureSettings s;
    if (LoadSettingsFile(Wide(paths.DefaultSettings), &s) != TqpStatus::kOk &&
        (paths.DefaultSettingsFallback.empty() ||
         LoadSettingsFile(Wide(paths.DefaultSettingsFallback), &s) != TqpStatus::kOk))
        return {};
    return Wide(FolderOf(s.TqkPath));
}

// Repairs what an unfinished recording left in the save folder and says so in one message.
void RecoverUnfinishedRecordings(const RecorderPaths& paths) {
    const std::wstring folder = SaveFolder(paths);
    if (folder.empty() || !FolderExists(folder)) return;
    const std::string text = RecoveryMessageUtf8(RecoverFolder(Utf8(folder)));
    if (!text.empty()) RecMessage(nullptr, Wide(text), MB_ICONINFORMATION);
}

WindowPositions ReadPositions(const RecorderPaths& paths) {
    const ScreenRect work = WorkArea();
    const SIZE rec = RecordingWindowSize();
    const SIZE avi = AviWindowSize();
    const WindowPositions defaults = DefaultPositions(work, rec.cx, rec.cy, avi.cx, avi.cy);
    WindowPositions p;
    if (LoadPositionFile(Wide(paths.PositionFile), defaults, &p)) {
        // A position far off every screen would leave a window nobody can reach.
        PullOntoWorkArea(work, rec.cx, rec.cy, &p.RecX, &p.RecY);
        PullOntoWorkArea(work, avi.cx, avi.cy, &p.AviX, &p.AviY);
    }
    return p;
}

int Main() {
    if (DisplayDepth() == 8) {
        RecMessage(nullptr, L"ディスプレイの解像度が8ビットは対応してません。", MB_ICONHAND);
        return 1;
    }
    // One instance per logon session.
    ObjectHandle instance(CreateMutexW(nullptr, TRUE, L"Local\\TaviroRec.SingleInstance"));
    if (instance && GetLastError() == ERROR_ALREADY_EXISTS) {
        RecMessage(nullptr, L"既に起動しています。", MB_ICONHAND);
        return 1;
    }

    const std::wstring programFolder = ProgramFolder();
    const RecorderPaths paths =
        MakeRecorderPaths(Utf8(programFolder), Utf8(DataFolder(programFolder)));
    WindowPositions positions = ReadPositions(paths);

    WaitForEarlierHelper();
    RecoverUnfinishedRecordings(paths);

    snd::SoundHelperClient sound;
    if (FileExists(Wide(paths.SoundHelperPath))) {
        // No message when it fails: the settings window disables its sound option.
        (void)sound.Start(Wide(paths.SoundHelperPath));
    }

    const Versions versions = WindowsVersion();
    Form2Setup setup;
    setup.paths = &paths;
    setup.sound = &sound;
    setup.positions = &positions;
    setup.ntFamily = versions.ntFamily;
    setup.windows2000OrLater = versions.windows2000OrLater;
    {
        Form2 form2(setup);
        form2.Run();
    }
    // A failure to write is not reported.
    (void)SavePositionFile(Wide(paths.PositionFile), positions);
    return 0;
}

}  // namespace
}  // namespace tqk::rec

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return tqk::rec::Main(); }
