// The main command's demonstration, driven as the tests drive the programs:
//   suite_demo install SETUP_EXE DEST SHOTS         the real installer, by its button; a
//                                                   screenshot of its window and its message
//   suite_demo scene SECONDS                        a scene that moves: a backdrop with a clock
//                                                   and a small window travelling over it
//   suite_demo sound HELPER WAV SECONDS             records WAV through the sound helper
//   suite_demo recorder INSTALL OUT.TQK SECONDS SHOTS
//                                                   records through TaviroRec.exe with sound and
//                                                   an AVI made with the TaviroZmbv compressor
// SHOTS is a folder for the PNG screenshots. Exit codes: 0 done, 1 failed, 2 usage,
// 3 the recorder's steps are not wired to its windows yet (the caller records otherwise).
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#if __has_include("form2_ids.h")
#include "form2_ids.h"
#endif
#include "install_driver.h"
#include "sound_helper_client.h"
#include "test_files.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::demo {
namespace {

using test::WaitForWindow;

constexpr DWORD kWait = 60000;
constexpr int kNotWired = 3;

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

// The ids of the recorder's settings window that the demonstration uses.
struct RecorderIds {
    int list1;        // the page list
    int text1[4];     // X, Y, W, H (page 1)
    int hscroll1[2];  // fps, seconds (page 2)
    int check3;       // sound (page 2)
    int option2;      // "AVIとTQKを作成" (page 3)
    int command8;     // choose compressor (page 3)
    int text2;        // save to
    int command5;     // record
};

// The one place that knows TaviroRec's control ids: from the recorder's own header when the
// tree has it.
std::optional<RecorderIds> KnownRecorderIds() {
#if __has_include("form2_ids.h")
    using namespace tqk::form2_ids;
    return RecorderIds{List1,
                       {Text1(0), Text1(1), Text1(2), Text1(3)},
                       {HScroll1(0), HScroll1(1)},
                       Check3,
                       Option2(0),
                       Command8,
                       Text2,
                       Command5};
#else
    return std::nullopt;
#endif
}

// Shows page i of the settings window, as a click on its list does.
void SelectPage(HWND form, int listId, int page) {
    HWND list = test::Child(form, listId);
    SendMessageW(list, LB_SETCURSEL, WPARAM(page), 0);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE), LPARAM(list));
}

// Moves a slider (a trackbar, or a scroll bar) through the window's scroll handler.
void SetScroll(HWND parent, HWND bar, int value) {
    wchar_t cls[64] = {};
    GetClassNameW(bar, cls, 64);
    constexpr UINT kTrackbarSetPos = WM_USER + 5;  // TBM_SETPOS
    SendMessageW(bar, _wcsicmp(cls, L"ScrollBar") == 0 ? SBM_SETPOS : kTrackbarSetPos,
                 _wcsicmp(cls, L"ScrollBar") == 0 ? WPARAM(value) : TRUE, LPARAM(value));
    SendMessageW(parent, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, value), LPARAM(bar));
}

BOOL CALLBACK FindCombo(HWND w, LPARAM p) {
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (_wcsicmp(cls, L"ComboBox") != 0) return TRUE;
    *reinterpret_cast<HWND*>(p) = w;
    return FALSE;
}

// In the platform's compressor dialog: the entry naming ours, then OK.
bool ChooseZmbv(DWORD pid) {
    HWND dialog = WaitForWindow(pid, L"#32770", nullptr, kWait);
    if (!dialog) {
        Say("the compressor dialog did not open");
        return false;
    }
    HWND combo = nullptr;
    // The list is filled after the dialog appears.
    test::WaitUntil(
        [&] {
            EnumChildWindows(dialog, FindCombo, LPARAM(&combo));
            return combo && SendMessageW(combo, CB_GETCOUNT, 0, 0) > 0;
        },
        5000);
    bool found = false;
    std::wstring offered;
    const int n = combo ? int(SendMessageW(combo, CB_GETCOUNT, 0, 0)) : 0;
    for (int i = 0; i < n && !found; ++i) {
        wchar_t item[256] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) >= 255) continue;
        SendMessageW(combo, CB_GETLBTEXT, i, LPARAM(item));
        const std::wstring s = item;
        offered += L" [" + s + L"]";
        if (s.find(L"ZMBV") != std::wstring::npos || s.find(L"Taviro") != std::wstring::npos) {
            SendMessageW(combo, CB_SETCURSEL, i, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                         LPARAM(combo));
            found = true;
        }
    }
    if (!found) Say("compressors offered:" + Utf8FromWide(offered));
    PostMessageW(dialog, WM_COMMAND, found ? IDOK : IDCANCEL, 0);
    return test::WaitUntil([&] { return !IsWindow(dialog); }, kWait) && found;
}

int RecordThroughRecorder(const std::wstring& install, const std::wstring& movie, int seconds,
                          const std::wstring& shots) {
    const auto ids = KnownRecorderIds();
    if (!ids) {
        Say("the demonstration does not know the recorder's windows yet");
        return kNotWired;
    }
    test::ChildProcess rec;
    if (!rec.Start(install + L"TaviroRec.exe")) return 1;
    HWND form2 = WaitForWindow(rec.Id(), nullptr, L"キャプチャ設定", kWait);
    if (!form2) {
        Say("the settings window did not appear");
        return 1;
    }
    const wchar_t* rect[4] = {L"0", L"0", L"640", L"480"};
    SelectPage(form2, ids->list1, 1);
    for (int i = 0; i < 4; ++i) test::SetText(test::Child(form2, ids->text1[i]), rect[i]);
    SelectPage(form2, ids->list1, 2);
    SetScroll(form2, test::Child(form2, ids->hscroll1[0]), 15);
    SetScroll(form2, test::Child(form2, ids->hscroll1[1]), seconds);
    if (!test::SetChecked(test::Child(form2, ids->check3), true)) Say("sound cannot be chosen");
    SelectPage(form2, ids->list1, 3);
    test::Click(test::Child(form2, ids->option2));
    test::Click(test::Child(form2, ids->command8));
    if (!ChooseZmbv(rec.Id())) Say("TaviroZmbv is not offered; the AVI is not compressed");
    test::SetText(test::Child(form2, ids->text2), movie);
    Screenshot(shots, L"recorder-settings");
    test::Click(test::Child(form2, ids->command5));

    // The overwrite question when files of an earlier run are there; then the recording
    // window, the export's progress window, and the settings window again.
    bool recorded = false;
    const DWORD start = GetTickCount();
    int shot = 0;
    while (GetTickCount() - start < DWORD(seconds) * 1000 + kWait) {
        if (auto box = test::WaitForMessageBox(rec.Id(), 200)) {
            Say("recorder: " + Utf8FromWide(box->text));
            if (!test::AnswerMessageBox(*box, box->Has(IDYES) ? IDYES : IDOK)) break;
            continue;
        }
        if (!IsWindowVisible(form2)) {
            recorded = true;
            if (shot < 4 && GetTickCount() - start > DWORD(1000 + shot * 1500)) {
                Screenshot(shots, L"recorder-run-" + std::to_wstring(++shot));
            }
        } else if (recorded) {
            break;
        }
    }
    Screenshot(shots, L"recorder-after");
    PostMessageW(form2, WM_CLOSE, 0, 0);
    rec.WaitExit(kWait);
    return recorded && test::Exists(movie) ? 0 : 1;
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
