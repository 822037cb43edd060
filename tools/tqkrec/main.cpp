// tqkrec: records a screen rectangle into a movie from the command line. Ctrl+C stops it on a
// whole second, as the recorder's stop button does, and the header is patched to match.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "capture.h"
#include "tqkrec_args.h"
#include "win_text.h"

namespace tqk {
namespace {

volatile LONG g_stop = 0;

BOOL WINAPI OnConsoleCtrl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        InterlockedExchange(&g_stop, 1);
        return TRUE;
    }
    return FALSE;
}

std::string ToUtf8(const std::wstring& w) { return tqk::Utf8FromWide(w); }

std::wstring ToWide(const std::string& s) { return tqk::WideFromUtf8(s); }

class Recorder : public tqk::CaptureEvents {
public:
    int32_t fps = 1;
    int32_t stoppedAt = -1;  // frames recorded when stopped by the user
    int32_t drops = 0;
    // --overlay: a press every 250 ms across the rectangle and Ctrl with a letter every 500 ms,
    // so two rings and three key boxes are on show most of the time.
    QueuedInput* input = nullptr;
    int32_t W = 0, H = 0, x = 0, y = 0;
    void OnCapture(int32_t now, double, int32_t dropCount, bool, int32_t, int32_t, int32_t&,
                   int32_t&, bool& cancel) override {
        drops = dropCount;
        if (input) {
            const double t = PerfMillis();
            const int64_t tick = int64_t(t / 250);
            if (tick != lastTick_) {
                lastTick_ = tick;
                const int32_t i = int32_t(tick % 16);
                input->Post(
                    {tick % 2 ? QueuedInput::Kind::RightPress : QueuedInput::Kind::LeftPress,
                     x + W * (i + 1) / 17, y + H * ((i * 7) % 16 + 1) / 17, 0, t});
                if (tick % 2 == 0) {
                    const uint32_t letter = 'A' + uint32_t(tick / 2 % 26);
                    for (auto [kind, key] : {std::pair{QueuedInput::Kind::KeyDown, vk::LControl},
                                             std::pair{QueuedInput::Kind::KeyDown, letter},
                                             std::pair{QueuedInput::Kind::KeyUp, letter},
                                             std::pair{QueuedInput::Kind::KeyUp, vk::LControl}})
                        input->Post({kind, 0, 0, key, t});
                }
            }
        }
        if (g_stop && (now + 1) % fps == 0) {
            cancel = true;
            stoppedAt = now + 1;
        }
    }

    // The console recorder tells on its error stream what a windowed one would show.
    void OnWarning(const std::wstring& text) override {
        std::fprintf(stderr, "tqkrec: %s\n", ToUtf8(text).c_str());
    }

private:
    int64_t lastTick_ = -1;
};

int Main(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
    tqk::TqkrecArgs a;
    const std::string bad = tqk::ParseTqkrecArgs(args, &a);
    if (!bad.empty()) {
        std::fprintf(stderr, "tqkrec: %s\n%s", bad.c_str(), tqk::kTqkrecUsage);
        return 2;
    }
    SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
    // A full path: recording makes the program's folder the current one.
    wchar_t full[MAX_PATH * 2];
    const std::wstring out = ToWide(a.out);
    const DWORD n = GetFullPathNameW(out.c_str(), MAX_PATH * 2, full, nullptr);
    const std::wstring path = n > 0 && n < MAX_PATH * 2 ? std::wstring(full) : out;

    Recorder rec;
    rec.fps = a.fps;
    tqk::Capture cp(&rec);
    cp.Init(a.x, a.y, a.W, a.H);
    cp.Init_Capture(a.fps, a.sec, a.method, 0, a.sleepCo, a.sleepTime, a.cursor);
    tqk::QueuedInput input(true, true);
    if (a.overlay) {
        rec.input = &input;
        rec.W = a.W, rec.H = a.H, rec.x = a.x, rec.y = a.y;
        cp.SetOverlay(&input);
    }
    const int32_t rc = cp.Rec(path, 0, false, nullptr, 0, a.mapped);
    const tqk::RecordTimings& t = cp.LastTimings();
    if (rec.stoppedAt >= 0) {
        cp.SetTVRFileData(path, 0, 0, 0, 0, rec.stoppedAt / a.fps);
        std::printf("stopped after %d s\n", rec.stoppedAt / a.fps);
    } else if (rc != 0) {
        std::fprintf(stderr, "tqkrec: %s\n", ToUtf8(cp.GetError(rc)).c_str());
        std::printf("dropped %lld\n", static_cast<long long>(t.dropped));
        return 1;
    } else {
        std::printf("recorded\n");
    }
    const double c = t.captured ? double(t.captured) : 1.0;
    std::printf("dropped %lld\n", static_cast<long long>(t.dropped));
    std::printf("captured %lld\n", static_cast<long long>(t.captured));
    std::printf(
        "ms per captured slot: grab %.3f cursor %.3f convert %.3f pack %.3f write %.3f copy %.3f "
        "overlay %.3f\n",
        t.grab / c, t.cursor / c, t.convert / c, t.pack / c, t.write / c, t.copy / c,
        t.overlay / c);
    return 0;
}

}  // namespace
}  // namespace tqk

int wmain(int argc, wchar_t** argv) { return tqk::Main(argc, argv); }
