// A stand-in recorder for the sound helper tests, run as its own process:
//   sound_recorder_role --exit                        ends at once (a parent that is gone)
//   sound_recorder_role HELPER WAV SCRATCH PIDFILE    starts the helper, writes the helper's
//                                                     process id to PIDFILE, starts a 10 s
//                                                     recording and waits to be killed
//   ... PIDFILE PAUSE_MS                              the same, pausing PAUSE_MS into the
//                                                     recording before PIDFILE is written
#include <windows.h>

#include <fstream>
#include <string>

#include "perf_millis.h"
#include "sound_helper_client.h"
#include "win_text.h"

using tqk::snd::MakeRecordingBlock;
using tqk::snd::SoundHelperClient;

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wstring(argv[1]) == L"--exit") return 0;
    if (argc != 5 && argc != 6) return 2;
    auto narrow = [](const wchar_t* w) { return tqk::AnsiFromWide(w); };
    SoundHelperClient client;
    if (!client.Start(argv[1])) return 3;
    const auto start = MakeRecordingBlock(narrow(argv[2]), 10, 16, 44100, 2, 445, narrow(argv[3]));
    if (!client.SendStart(start)) return 4;
    if (argc == 6) {
        const int32_t at = start.StartTime + _wtoi(argv[5]);
        while (int32_t(tqk::PerfMillisInt() - at) < 0) Sleep(1);
        if (!client.Pause(at)) return 5;
    }
    {
        std::ofstream pidFile(narrow(argv[4]) + ".tmp");
        pidFile << client.HelperProcessId();
    }
    MoveFileW((std::wstring(argv[4]) + L".tmp").c_str(), argv[4]);
    Sleep(60000);
    return 0;
}
