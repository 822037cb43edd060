// Measures real recordings on this machine's wave-in device (run by hand, see measure.sh):
//   sound_measure start RUNS FOLDER   start time against the device's actual start, through
//                                     the real helper, one short recording per run
//   sound_measure drift SECONDS WAV   one recording of SECONDS in this process: the device's
//                                     byte position against the elapsed time, and how much
//                                     of the WAV the device really filled
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "device_clock.h"
#include "perf_millis.h"
#include "sound_block.h"
#include "sound_helper_client.h"
#include "wave_in2.h"

using tqk::PerfMillis;
using tqk::PerfMillisInt;

namespace {

using namespace tqk::snd;

double g_lastPositionTime = 0;
int32_t g_lastPosition = 0;
double g_firstPositionTime = 0;

DeviceClockFit g_fit;  // as the recording follows the device's clock
int32_t g_largestStep = 0;

void __stdcall Track(int32_t& position, int32_t&) {
    g_largestStep = std::max(g_largestStep, position - g_lastPosition);
    g_lastPosition = position;
    g_lastPositionTime = PerfMillis();
    if (position > 0 && g_firstPositionTime == 0) g_firstPositionTime = g_lastPositionTime;
    if (position > 0 && g_lastPositionTime - g_firstPositionTime >= 2000)
        g_fit.Add(g_lastPositionTime, uint32_t(position));
}

std::wstring Widen(const char* s) {
    wchar_t w[MAX_PATH];
    MultiByteToWideChar(CP_UTF8, 0, s, -1, w, MAX_PATH);
    return w;
}

int MeasureStart(int runs, const std::string& folder) {
    SoundHelperClient client;
    wchar_t exe[MAX_PATH];
    GetFullPathNameW(Widen(TAVIRO_WAVE_EXE).c_str(), MAX_PATH, exe, nullptr);
    if (!client.Start(exe)) {
        std::printf("helper did not answer\n");
        return 1;
    }
    std::vector<int> deltas;
    for (int i = 0; i < runs; ++i) {
        const std::string wav = folder + "\\start" + std::to_string(i) + ".wav";
        SoundHelperBlock b = MakeRecordingBlock(wav, 10, 16, 44100, 2, 445);
        if (!client.SendStart(b)) return 1;
        while (PerfMillis() < b.StartTime + 300) Sleep(5);
        SoundHelperBlock final;
        const StopOutcome o = client.StopAndWait(kStopTimeoutMs, &final);
        const int d = final.ActualStartTime - b.StartTime;
        std::printf("run %2d: outcome %d, actual - start = %d ms\n", i, int(o), d);
        if (o == StopOutcome::Done) deltas.push_back(d);
        DeleteFileA(wav.c_str());
    }
    SoundHelperBlock b;
    if (client.Read(&b)) {
        b.Code = kCodeExit;
        (void)client.Write(b);
    }
    if (deltas.empty()) return 1;
    std::sort(deltas.begin(), deltas.end());
    double sum = 0;
    for (int d : deltas) sum += d;
    std::printf("%zu runs: min %d, median %d, max %d, mean %.2f ms\n", deltas.size(),
                deltas.front(), deltas[deltas.size() / 2], deltas.back(), sum / deltas.size());
    return 0;
}

int MeasureDrift(int seconds, const std::string& wav) {
    WaveIn2Params p;
    p.WavePath = wav;
    p.LengthSec = seconds;
    p.Bits = 16;
    p.SamplesPerSec = 44100;
    p.Channels = 2;
    p.BufferKb = 1000;
    p.Progress = &Track;
    p.StartTime = PerfMillisInt() + kStartLeadMs;
    int32_t actual = 0;
    const int32_t r = WaveIn2Record(p, &actual);
    const double end = PerfMillis();
    std::printf("result %d; start time %d, actual %d, first position > 0 after %.1f ms\n", r,
                p.StartTime, actual, g_firstPositionTime - actual);
    if (r != 0) return 1;
    const double elapsedAtPosition = g_lastPositionTime - actual;
    const double positionMs = g_lastPosition / 176.4;
    std::printf(
        "device position %d bytes = %.1f ms of sound at %.1f ms after the start; "
        "position - elapsed = %.1f ms (%.3f %%)\n",
        g_lastPosition, positionMs, elapsedAtPosition, positionMs - elapsedAtPosition,
        (positionMs - elapsedAtPosition) / elapsedAtPosition * 100);
    PcmFormat f16;
    (void)MakePcmFormat(16, 44100, 2, &f16);
    std::printf(
        "device clock: largest position step %.1f ms of sound; off its line by %.2f ms (rms); "
        "ratio used %.7f\n",
        g_largestStep / 176.4, g_fit.ResidualBytes() / 176.4, g_fit.Ratio(f16));
    // The WAV's data: trailing zero samples are what the device had not delivered at the stop.
    HANDLE f =
        CreateFileA(wav.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    const DWORD size = GetFileSize(f, nullptr);
    std::vector<uint8_t> bytes(size);
    DWORD got = 0;
    ReadFile(f, bytes.data(), size, &got, nullptr);
    CloseHandle(f);
    const size_t dataStart = 46;
    size_t last = bytes.size();
    while (last > dataStart && bytes[last - 1] == 0) --last;
    const double wavMs = (bytes.size() - dataStart) / 176.4;
    const double filledMs = (last - dataStart) / 176.4;
    std::printf(
        "WAV data %.1f ms (elapsed by the helper's clock ~%.1f ms), filled by the "
        "device %.1f ms, zero tail %.1f ms\n",
        wavMs, end - actual, filledMs, wavMs - filledMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "start") return MeasureStart(atoi(argv[2]), argv[3]);
    if (argc == 4 && std::string(argv[1]) == "drift") return MeasureDrift(atoi(argv[2]), argv[3]);
    std::printf("usage: sound_measure start RUNS FOLDER | drift SECONDS WAV\n");
    return 2;
}
