// The stop of a long recording with sound, timed as the recorder sees it: this program in the
// recorder's role starts the real TaviroWave.exe, which begins its recording with MINUTES of
// a tone already in its scratch file (TAVIRO_WAVE_PRELOAD_SEC) and records a second more from
// the device; then the stop, and the time until status 8 (writing) and until the reply.
//   sound_stop HELPER.exe WAV MINUTES [CLOCK_RATIO]
// Prints one line: minutes, ratio, ms to status 8, ms to the reply, the outcome, the WAV's
// seconds, and what a recorder that gives up after 5000 ms would have done.
#include <windows.h>

#include <cstdio>
#include <string>

#include "perf_millis.h"
#include "sound_helper_client.h"
#include "win_text.h"

using tqk::PerfMillis;
using namespace tqk::snd;

namespace {

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return 0;
    return (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const std::wstring wave = argv[2];
    const double minutes = _wtof(argv[3]);
    const std::wstring ratio = argc > 4 ? argv[4] : L"0";
    const int32_t preloadSec = int32_t(minutes * 60);
    SetEnvironmentVariableW(L"TAVIRO_WAVE_PRELOAD_SEC", std::to_wstring(preloadSec).c_str());
    SetEnvironmentVariableW(L"TAVIRO_WAVE_CLOCK_RATIO", ratio.c_str());
    SoundHelperClient client;
    if (!client.Start(argv[1])) {
        std::fprintf(stderr, "no handshake\n");
        return 3;
    }
    const std::string ansiWave = tqk::AnsiFromWide(wave);
    // 48 kHz 16-bit stereo with the recorder's buffer size for it.
    if (!client.SendStart(MakeRecordingBlock(ansiWave, preloadSec + 120, 16, 48000, 2, 475,
                                             ansiWave + ".wavtemp"))) {
        std::fprintf(stderr, "no start\n");
        return 4;
    }
    // The tone is in the scratch file once it is larger than the tone alone.
    const uint64_t preload = uint64_t(preloadSec) * 192000;
    const std::wstring scratch = wave + L".wavtemp";
    const double until = PerfMillis() + 600000;
    while (FileSize(scratch) <= preload && PerfMillis() < until) Sleep(20);
    Sleep(1000);

    const double stop = PerfMillis();
    double writing = -1;
    int32_t looks = 0;
    SoundHelperBlock final;
    const StopOutcome outcome = client.StopAndWait(kStopTimeoutMs, &final, [&](int32_t) {
        if (writing < 0) writing = PerfMillis() - stop;
        ++looks;
    });
    const double reply = PerfMillis() - stop;
    const uint64_t wavBytes = FileSize(wave);
    std::printf(
        "%.0f min ratio %ls: status 8 after %.0f ms, reply after %.0f ms (%s, %d looks "
        "with progress), WAV %.1f s; a recorder giving up at 5000 ms: %s\n",
        minutes, ratio.c_str(), writing, reply,
        outcome == StopOutcome::Done     ? "done"
        : outcome == StopOutcome::Failed ? "failed"
                                         : "no reply",
        looks, wavBytes > 64 ? double(wavBytes - 64) / 192000 : 0.0,
        reply > kStopTimeoutMs ? "no reply, export before the WAV is whole" : "in time");
    DeleteFileW(wave.c_str());
    return outcome == StopOutcome::Done ? 0 : 1;
}
