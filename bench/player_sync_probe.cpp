// Picture against sound as another program sees and hears them, on one clock: finds the
// player's window, starts its play (menu 再生 > 再生), watches the centre of its picture
// (every millisecond or so) and records the default wave-in source (the audio
// daemon's monitor of what is played) for SECONDS, and prints one line per event, its time on
// the performance clock in milliseconds:
//   flash T      the pixel turned bright (T: the middle of the last dark and first bright read)
//   click T      the sound rose from silence (T: the sample's time)
// A sample's time is the block's delivery time minus its length, taken at the smallest such
// difference over the blocks within five seconds of it (the moments delivery was prompt), so
// the daemon's irregular delivery does not move the clicks. Run by bench/player_sync.sh.
//   player_sync_probe SECONDS
// With a WAV, the probe plays it itself through the player's MCI device instead of watching a
// player, and prints each new position the device reports where the flashes would be:
//   position T P  the device first said P ms at T
//   player_sync_probe SECONDS WAV
// TAVIRO_SYNC_SEEKS=N makes the probe seek N times during the play, evenly spread, ten seconds
// on and back in turn (the player's PageDown and PageUp keys), and print each as
//   seek T       the key was sent
#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "form1_ids.h"
#include "mci_sound.h"
#include "win_text.h"

namespace tqk::bench {
namespace {

double Now() {
    static const double freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / freq;
}

constexpr int kRate = 22050;
constexpr int kBlock = 220;  // 10 ms
constexpr int kBlocks = 64;

struct Delivery {
    double at;          // when the block came back
    int64_t endSample;  // samples recorded up to its end
};

// Watches the centre of the player's picture and notes when it turns bright.
bool WatchPicture(std::atomic<bool>& done, std::atomic<bool>& go, std::thread& watcher,
                  std::vector<double>& flashes, std::vector<double>& seeks, double seconds) {
    HWND player = nullptr;
    for (int i = 0; i < 200 && !player; ++i, Sleep(50))
        player = FindWindowW(tqk::player_ids::kClassName, nullptr);
    HWND picture = player ? GetDlgItem(player, tqk::player_ids::Picture1) : nullptr;
    if (!picture) {
        std::fprintf(stderr, "the player's window is not there\n");
        return false;
    }
    RECT r{};
    GetClientRect(picture, &r);
    POINT centre{r.right / 2, r.bottom / 2};
    ClientToScreen(picture, &centre);
    const int x = centre.x, y = centre.y;
    watcher = std::thread([&done, &go, &flashes, &seeks, player, x, y, seconds] {
        HDC screen = GetDC(nullptr);
        bool bright = false, started = false;
        double lastDark = Now(), playedAt = 0;
        const size_t wanted = seeks.capacity();
        while (!done) {
            if (go && !started) {
                PostMessageW(player, WM_COMMAND, tqk::player_ids::MenuPlay, 0);
                started = true;
                playedAt = Now();
            }
            if (started && seeks.size() < wanted &&
                Now() - playedAt >= seconds * 1000 * double(seeks.size() + 1) / (wanted + 1)) {
                const WPARAM key = seeks.size() % 2 == 0 ? VK_NEXT : VK_PRIOR;
                PostMessageW(player, WM_KEYDOWN, key, 1);
                PostMessageW(player, WM_KEYUP, key, 0xC0000001);
                seeks.push_back(Now());
            }
            const double before = Now();
            const COLORREF c = GetPixel(screen, x, y);
            const double after = Now();
            const bool b = c != CLR_INVALID && GetGValue(c) > 128;
            if (b && !bright) flashes.push_back((lastDark + (before + after) / 2) / 2);
            if (!b) lastDark = (before + after) / 2;
            bright = b;
            Sleep(1);
        }
        ReleaseDC(nullptr, screen);
    });
    return true;
}

// Plays wav through the player's MCI device once go is set and notes each new position it
// reports (time, position); the device lives on the thread that opened it.
void PollDevice(std::atomic<bool>& done, std::atomic<bool>& go, std::thread& watcher,
                std::vector<std::pair<double, double>>& positions, const std::wstring& wav) {
    watcher = std::thread([&done, &go, &positions, wav] {
        tqk::player::MciSound sound;
        if (!sound.Open(wav)) {
            std::fprintf(stderr, "the MCI device cannot open the WAV\n");
            return;
        }
        while (!go && !done) Sleep(1);
        sound.Play();
        double last = -1;
        while (!done) {
            const double p = sound.Position();
            if (p != last) positions.push_back({Now(), p});
            last = p;
            Sleep(1);
        }
        sound.Close();
    });
}

int Main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_sync_probe SECONDS [WAV]\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    timeBeginPeriod(1);
    std::atomic<bool> done{false}, go{false};
    std::thread watcher;
    std::vector<double> flashes;
    std::vector<std::pair<double, double>> positions;
    std::vector<double> seeks;
    char count[16] = "";
    if (GetEnvironmentVariableA("TAVIRO_SYNC_SEEKS", count, sizeof count) > 0)
        seeks.reserve(size_t(std::clamp(std::atoi(count), 0, 1000)));
    if (argc > 2)
        PollDevice(done, go, watcher, positions, WideFromAnsi(argv[2]));
    else if (!WatchPicture(done, go, watcher, flashes, seeks, seconds))
        return 1;

    WAVEFORMATEX wf{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0};
    HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HWAVEIN in = nullptr;
    if (waveInOpen(&in, WAVE_MAPPER, &wf, DWORD_PTR(ready), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR) {
        std::fprintf(stderr, "no wave-in device\n");
        done = true;
        watcher.join();
        return 1;
    }
    std::vector<std::vector<int16_t>> data(kBlocks, std::vector<int16_t>(kBlock));
    std::vector<WAVEHDR> hdr(kBlocks);
    for (int i = 0; i < kBlocks; ++i) {
        hdr[i] = WAVEHDR{};
        hdr[i].lpData = reinterpret_cast<LPSTR>(data[i].data());
        hdr[i].dwBufferLength = kBlock * 2;
        waveInPrepareHeader(in, &hdr[i], sizeof hdr[i]);
        waveInAddBuffer(in, &hdr[i], sizeof hdr[i]);
    }
    waveInStart(in);
    Sleep(500);  // the recording runs before the play starts
    go = true;
    const double start = Now();
    std::vector<Delivery> deliveries;
    deliveries.reserve(size_t(seconds * 120) + 16);
    int64_t samples = 0, quietSince = 0;
    bool loud = false;
    std::vector<std::pair<int64_t, double>> clicks;  // sample, delivery time of its block
    int next = 0;
    while (Now() - start < seconds * 1000) {
        WaitForSingleObject(ready, 50);
        while (hdr[next].dwFlags & WHDR_DONE) {
            const double at = Now();
            const int n = int(hdr[next].dwBytesRecorded / 2);
            for (int i = 0; i < n; ++i) {
                const bool l = std::abs(int(data[next][i])) > 8000;
                if (l && !loud && samples + i - quietSince > kRate / 2)
                    clicks.push_back({samples + i, at});
                if (l) quietSince = samples + i;
                loud = l;
            }
            samples += n;
            deliveries.push_back({at, samples});
            hdr[next].dwFlags &= ~WHDR_DONE;
            waveInAddBuffer(in, &hdr[next], sizeof hdr[next]);
            next = (next + 1) % kBlocks;
        }
    }
    done = true;
    watcher.join();
    waveInReset(in);
    for (auto& h : hdr) waveInUnprepareHeader(in, &h, sizeof h);
    waveInClose(in);
    timeEndPeriod(1);
    for (double f : flashes) std::printf("flash %.3f\n", f);
    for (double t : seeks) std::printf("seek %.3f\n", t);
    for (const auto& p : positions) std::printf("position %.3f %.0f\n", p.first, p.second);
    for (const auto& c : clicks) {
        double offset = 1e300;
        for (const Delivery& d : deliveries)
            if (std::abs(d.at - c.second) < 5000)
                offset = std::min(offset, d.at - double(d.endSample) * 1000.0 / kRate);
        std::printf("click %.3f\n", offset + double(c.first) * 1000.0 / kRate);
    }
    return 0;
}

}  // namespace
}  // namespace tqk::bench

int main(int argc, char** argv) { return tqk::bench::Main(argc, argv); }
