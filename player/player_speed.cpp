// The player's speed: plays a movie in the real window and prints what the play cost the
// player itself and how many frames the engine found late. Run by bench/player_speed.sh.
//   player_speed MOVIE [--direct] [--engine-wait]
//   --direct: the engine draws on the window itself; --engine-wait: the engine waits between
//   the frames, not the player
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "form1.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_speed MOVIE [--direct] [--engine-wait]\n");
        return 2;
    }
    tqk::player::Form1 form;
    if (!form.Create()) return 1;
    for (int i = 2; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--direct") == 0) form.UseFrameImage(false);
        if (std::wcscmp(argv[i], L"--engine-wait") == 0) form.UseOwnWait(false);
    }
    form.U_Open(argv[1]);
    ShowWindow(form.Hwnd(), SW_SHOWNORMAL);
    UpdateWindow(form.Hwnd());
    tqk::PumpMessages();
    form.PlayNow();
    const tqk::player::PlayStats& s = form.LastPlayStats();
    std::printf(
        "frames %d late %d own_ms_per_frame %.3f own_max_ms %.3f slot_ms %.3f "
        "show_ms_per_frame %.3f diff_ms_per_frame %.3f engine_ms_per_frame %.3f "
        "engine_max_ms %.3f first_late %d\n",
        s.frames, s.late, s.frames ? s.ownMs / s.frames : 0.0, s.ownMaxMs, s.slotMs,
        s.frames ? s.showMs / s.frames : 0.0, s.frames ? s.diffMs / s.frames : 0.0,
        s.frames ? s.engineMs / s.frames : 0.0, s.engineMaxMs, s.firstLate);
    return 0;
}
