// The main command's demonstration, driven as the tests drive the programs:
//   suite_demo install SETUP_EXE DEST SHOTS         the real installer, by its button; a
//                                                   screenshot of its window and its message
//   suite_demo scene SECONDS                        a scene that moves: a backdrop with a clock
//                                                   and a small window travelling over it
//   suite_demo sound HELPER WAV SECONDS             records WAV through the sound helper
//   suite_demo recorder INSTALL OUT.TQK SECONDS SHOTS
//                                                   records through TaviroRec.exe with sound and
//                                                   an AVI made with the TaviroZmbv compressor
// SHOTS is a folder for the PNG screenshots. Exit codes: 0 done, 1 failed, 2 usage.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "install_driver.h"
#include "sound_helper_client.h"
#include "suite_driver.h"
#include "test_files.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::demo {
namespace {

constexpr DWORD kWait = 60000;

void Say(const std::string& s) {
    std::printf("%s\n", s.c_str());
    std::fflush(stdout);
}

// A screenshot of the whole display into folder\name.png (the X server's own picture, so
// every window of every process is in it).
void Screenshot(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return;
    const std::string unix = test::UnixPath(folder + L"\\" + name + L".png");
    if (unix.empty()) return;
    const auto out =
        test::RunUnixCommand("import -window root -display \"$DISPLAY\" '" + unix + "'", kWait);
    Say(out ? "screenshot: " + unix : "screenshot failed: " + unix);
}

int Install(const std::wstring& setupExe, const std::wstring& dest, const std::wstring& shots) {
    const auto run = test::RunInstaller(
        setupExe, dest, true, true, kWait, [&](HWND) { Screenshot(shots, L"installer"); },
        [&](const test::MessageBoxInfo& box) {
            Screenshot(shots, box.text == test::kInstallFinished ? L"installer-finished"
                                                                 : L"installer-message");
        });
    for (const auto& m : run.messages) Say("installer: " + Utf8FromWide(m));
    if (!run.windowShown) Say("the installer's window did not appear");
    return run.finished ? 0 : 1;
}

// The scene: a still backdrop with a ticking clock, and a small coloured window that travels
// over it and changes colour.
struct Scene {
    HWND backdrop = nullptr;
    HWND mover = nullptr;
    int tick = 0;
    DWORD start = 0;  // GetTickCount at the start: the clock shows real seconds
};
Scene g_scene;

LRESULT CALLBACK SceneProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        const int t = g_scene.tick;
        const DWORD ms = GetTickCount() - g_scene.start;
        if (hwnd == g_scene.backdrop) {
            for (int y = 0; y < rc.bottom; y += 16) {
                HBRUSH b = CreateSolidBrush(RGB(40, 70 + y / 8, 120 + y / 6));
                RECT band = {0, y, rc.right, y + 16};
                FillRect(dc, &band, b);
                DeleteObject(b);
            }
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 255, 255));
            wchar_t text[64];
            std::swprintf(text, 64, L"Taviro デモ  %02lu.%lu 秒", ms / 1000, (ms % 1000) / 100);
            TextOutW(dc, 24, 24, text, int(wcslen(text)));
        } else {
            HBRUSH b = CreateSolidBrush(RGB((t * 8) & 255, 200 - (t * 3) % 150, (t * 5) & 255));
            FillRect(dc, &rc, b);
            DeleteObject(b);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_TIMER: {
        ++g_scene.tick;
        const double a = (GetTickCount() - g_scene.start) / 1000.0;
        const int x = 240 + int(std::lround(180 * std::cos(a))),
                  y = 180 + int(std::lround(120 * std::sin(a * 1.3)));
        SetWindowPos(g_scene.mover, HWND_TOPMOST, x, y, 0, 0,
                     SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        InvalidateRect(g_scene.mover, nullptr, FALSE);
        if (g_scene.tick % 3 == 0) InvalidateRect(g_scene.backdrop, nullptr, FALSE);
        return 0;
    }
    case WM_DESTROY:
        if (hwnd == g_scene.backdrop) PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int RunScene(int seconds) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = SceneProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"TaviroDemoScene";
    if (!RegisterClassW(&wc)) return 1;
    g_scene.backdrop = CreateWindowExW(0, wc.lpszClassName, L"Taviro デモ",
                                       WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 640, 480,
                                       nullptr, nullptr, wc.hInstance, nullptr);
    // A child of the backdrop: it stays in front of it whatever other programs' windows do
    // to the stacking of the top-level windows.
    g_scene.mover =
        CreateWindowExW(0, wc.lpszClassName, L"Taviro デモ 2", WS_CHILD | WS_VISIBLE, 240, 180, 120,
                        90, g_scene.backdrop, nullptr, wc.hInstance, nullptr);
    if (!g_scene.backdrop || !g_scene.mover) return 1;
    g_scene.start = GetTickCount();
    SetTimer(g_scene.backdrop, 1, 33, nullptr);
    const DWORD end = GetTickCount() + DWORD(seconds) * 1000;
    MSG m;
    while (GetTickCount() < end) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    DestroyWindow(g_scene.backdrop);
    return 0;
}

// Records the wave file through the sound helper, as the recorder does: the helper started
// with this process's id, a start 350 ms ahead, a stop after the given seconds.
int RecordSound(const std::wstring& helper, const std::wstring& wave, int seconds) {
    snd::SoundHelperClient client;
    if (!client.Start(helper)) {
        Say("the sound helper did not answer");
        return 1;
    }
    const std::string path = AnsiFromWide(wave);
    if (!client.SendStart(
            snd::MakeRecordingBlock(path, seconds + 1, 16, 44100, 2, 445, path + ".wavtemp"))) {
        return 1;
    }
    Sleep(snd::kStartLeadMs + DWORD(seconds) * 1000);
    const auto outcome = client.StopAndWait();
    (void)outcome;
    return test::Exists(wave) ? 0 : 1;
}

int RecordThroughRecorder(const std::wstring& install, const std::wstring& movie, int seconds,
                          const std::wstring& shots) {
    test::RecorderRun run;
    run.seconds = seconds;
    run.timeoutMs = kWait;
    run.screenshot = [&](const std::wstring& name) { Screenshot(shots, name); };
    const auto r = test::RecordThroughRecorder(install + L"TaviroRec.exe", movie, run);
    if (!r.windowShown) Say("the settings window did not appear");
    if (!r.soundChosen) Say("sound cannot be chosen");
    if (!r.zmbvChosen) Say("TaviroZmbv is not offered; the AVI is not compressed");
    return r.recorded && test::Exists(movie) ? 0 : 1;
}

}  // namespace
}  // namespace tqk::demo

int wmain(int argc, wchar_t** argv) {
    using namespace tqk::demo;
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"install" && argc == 5) return Install(argv[2], argv[3], argv[4]);
    if (mode == L"scene" && argc == 3) return RunScene(_wtoi(argv[2]));
    if (mode == L"sound" && argc == 5) return RecordSound(argv[2], argv[3], _wtoi(argv[4]));
    if (mode == L"recorder" && argc == 6)
        return RecordThroughRecorder(argv[2], argv[3], _wtoi(argv[4]), argv[5]);
    std::fprintf(stderr,
                 "usage: suite_demo install SETUP_EXE DEST SHOTS | scene SECONDS |\n"
                 "       sound HELPER WAV SECONDS | recorder INSTALL OUT.TQK SECONDS SHOTS\n");
    return 2;
}
