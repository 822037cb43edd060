// Picture against sound through the recorder. A scene window plays a click at every whole
// second through wave-out and paints, as often as it can, the time since the last click as
// it hears it (the device's play position): red = that time's high bits, green = its low
// byte. A recording of the scene then tells, in every frame, when the scene's clicks were.
//   recorder_sync.exe scene SECONDS                 the scene alone (its own latency is
//                                                   measured by the script from outside)
//   recorder_sync.exe record SECONDS FPS FOLDER [PAUSES]
//                                                   the scene recorded through TaviroRec.exe
//                                                   with sound into FOLDER\sync.TQK/.wav/.avi,
//                                                   paused PAUSES times (0.5 to 4 s each) by
//                                                   the pause button; prints the frame each
//                                                   pause began after ("resume after frame N")
// bench/recorder_sync.sh runs both and prints the offsets.
#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture_settings.h"
#include "form1_ids.h"
#include "form2_ids.h"
#include "recorder_stage.h"
#include "test_files.h"
#include "window_driver.h"

namespace tqk::bench {
namespace {

constexpr int kRate = 44100;
constexpr int kSceneW = 64, kSceneH = 48;
constexpr int kClickSamples = 441;  // 10 ms

namespace ids = tqk::form2_ids;

std::string N(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// The scene's window: its colour is set by the playing thread.
std::atomic<COLORREF> g_colour{RGB(0, 0, 128)};

LRESULT CALLBACK SceneProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HBRUSH b = CreateSolidBrush(g_colour.load());
        RECT r{0, 0, kSceneW, kSceneH};
        FillRect(dc, &r, b);
        DeleteObject(b);
        EndPaint(h, &ps);
        return 0;
    }
    return DefWindowProcW(h, m, wp, lp);
}

// Plays `seconds` of clicks (one at every whole second from 1 s on) and paints the time since
// the last click as the device reports it, until the sound has been played.
int RunScene(int seconds) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = SceneProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RecorderSyncScene";
    RegisterClassW(&wc);
    HWND h = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName,
                             L"", WS_POPUP | WS_VISIBLE, 0, 0, kSceneW, kSceneH, nullptr, nullptr,
                             wc.hInstance, nullptr);
    UpdateWindow(h);

    const size_t samples = size_t(kRate) * (seconds + 1);
    std::vector<int16_t> pcm(samples * 2, 0);
    for (int k = 1; k <= seconds; ++k)
        for (int i = 0; i < kClickSamples; ++i) {
            const int16_t v = (i / 10) % 2 ? 20000 : -20000;  // a 2.2 kHz burst
            pcm[(size_t(k) * kRate + i) * 2] = pcm[(size_t(k) * kRate + i) * 2 + 1] = v;
        }
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = kRate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = kRate * 4;
    HWAVEOUT out = nullptr;
    if (waveOutOpen(&out, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        std::printf("no wave-out device\n");
        return 1;
    }
    WAVEHDR hdr{};
    hdr.lpData = reinterpret_cast<LPSTR>(pcm.data());
    hdr.dwBufferLength = DWORD(pcm.size() * 2);
    waveOutPrepareHeader(out, &hdr, sizeof hdr);
    waveOutWrite(out, &hdr, sizeof hdr);
    std::printf("scene playing\n");
    std::fflush(stdout);
    while (!(hdr.dwFlags & WHDR_DONE)) {
        MMTIME t{};
        t.wType = TIME_SAMPLES;
        waveOutGetPosition(out, &t, sizeof t);
        const uint32_t ms = uint32_t(uint64_t(t.u.sample % kRate) * 1000 / kRate);
        g_colour = RGB((ms >> 8) * 64, ms & 0xFF, 128);
        InvalidateRect(h, nullptr, FALSE);
        UpdateWindow(h);
        GdiFlush();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(1);
    }
    waveOutUnprepareHeader(out, &hdr, sizeof hdr);
    waveOutClose(out);
    DestroyWindow(h);
    return 0;
}

// The pause lengths: 0.5 to 4 s, varying from one pause to the next.
int PauseMs(int i) { return 500 + (i * 1300) % 3600; }

// The frame number the statistics area shows ("... Frame 23/40 ..."); -1 when none.
int FrameShown(HWND form1) {
    const std::wstring text = tqk::test::Text(tqk::test::Child(form1, tqk::form1_ids::Picture1));
    const size_t at = text.find(L"Frame ");
    return at == std::wstring::npos ? -1 : _wtoi(text.c_str() + at + 6);
}

// Pauses the recording in form1 for ms and resumes it; the frames recorded before the pause.
int PauseFor(HWND form1, int ms) {
    HWND button = tqk::test::Child(form1, tqk::form1_ids::Command1(3));
    tqk::test::Click(button);
    int frame = -1;
    tqk::test::WaitUntil(
        [&] {
            const std::wstring text =
                tqk::test::Text(tqk::test::Child(form1, tqk::form1_ids::Picture1));
            if (text.rfind(L"一時停止中", 0) != 0) return false;
            frame = FrameShown(form1);
            return true;
        },
        10000);
    Sleep(DWORD(ms));
    tqk::test::Click(button);
    return frame;
}

int Record(int seconds, int fps, const std::wstring& folder, int pauses) {
    const std::wstring dir = folder + L"\\";
    if (!tqk::test::StageRecorder(dir).empty() ||
        !tqk::test::WriteStartRecord(
            dir, tqk::test::RecordAtTopLeft(kSceneW, kSceneH, 1, fps, seconds, N(dir) + "sync.TQK",
                                            true)))
        return 1;

    SetCursorPos(600, 500);
    tqk::test::ChildProcess scene, rec;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    int pausedMs = 0;
    for (int i = 0; i < pauses; ++i) pausedMs += PauseMs(i);
    if (!scene.Start(self, L"scene " + std::to_wstring(seconds + 4 + pausedMs / 1000 + 1)))
        return 1;
    if (!rec.Start(dir + L"TaviroRec.exe")) return 1;
    HWND form2 = tqk::test::WaitForWindow(rec.Id(), L"TaviroRecForm2", nullptr, 20000);
    if (!form2) return 1;
    tqk::test::SetText(tqk::test::Child(form2, ids::Label11), L"未圧縮");  // full frames
    Sleep(1000);
    tqk::test::Click(tqk::test::Child(form2, ids::Command5));
    bool recorded = false;
    if (pauses > 0) {
        // Pauses spread over the recorded time, each after about seconds / (pauses + 1).
        HWND form1 = tqk::test::WaitForWindow(rec.Id(), tqk::form1_ids::kClassName, nullptr, 20000);
        if (!form1) return 1;
        for (int i = 0; i < pauses; ++i) {
            const int due = fps * seconds * (i + 1) / (pauses + 1);
            if (!tqk::test::WaitUntil([&] { return FrameShown(form1) >= due; },
                                      DWORD(seconds) * 3000 + 60000))
                break;
            const int frame = PauseFor(form1, PauseMs(i));
            std::printf("resume after frame %d (paused %d ms)\n", frame, PauseMs(i));
            std::fflush(stdout);
        }
    }
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < DWORD(seconds) * 3000 + 60000) {
        if (auto box = tqk::test::WaitForMessageBox(rec.Id(), 200)) {
            std::printf("recorder: %s\n", N(box->text).c_str());
            tqk::test::AnswerMessageBox(*box, box->Has(IDYES) ? IDYES : IDOK);
            continue;
        }
        if (!IsWindowVisible(form2))
            recorded = true;
        else if (recorded)
            break;
    }
    PostMessageW(form2, WM_CLOSE, 0, 0);
    rec.WaitExit(20000);
    scene.Kill();
    std::printf("recorded: %d\n", recorded ? 1 : 0);
    return recorded ? 0 : 1;
}

int Main(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"scene" && argc == 3) return RunScene(_wtoi(argv[2]));
    if (mode == L"record" && (argc == 5 || argc == 6))
        return Record(_wtoi(argv[2]), _wtoi(argv[3]), argv[4], argc == 6 ? _wtoi(argv[5]) : 0);
    std::printf("usage: recorder_sync scene SECONDS | record SECONDS FPS FOLDER [PAUSES]\n");
    return 2;
}

}  // namespace
}  // namespace tqk::bench

int wmain(int argc, wchar_t** argv) { return tqk::bench::Main(argc, argv); }
