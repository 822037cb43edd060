// tqkavi: one movie-to-AVI export through TQKAVI (the programs' road: engine playback, AVIC,
// TaviroAvi.dll), timed inside the program; prints frames, seconds and frames per second.
//   tqkavi MOVIE OUT.avi [--24]
#include <windows.h>

#include <cstdio>
#include <string>

#include "capture.h"
#include "tqkavi.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tqkavi MOVIE OUT.avi [--24]\n");
        return 2;
    }
    SetDllDirectoryA(TAVIRO_AVI_DIR);
    const bool to24 = argc > 3 && std::wstring(argv[3]) == L"--24";
    tqk::TQKAVI da;
    const double t0 = tqk::PerfMillis();
    const int32_t rc = da.TQKtoAVI(argv[1], argv[2], nullptr, to24);
    const double s = (tqk::PerfMillis() - t0) / 1000.0;
    if (rc != 0) {
        std::fprintf(stderr, "export failed: %d\n", rc);
        return 1;
    }
    std::printf("%d %.3f %.1f\n", da.FramesWritten(), s, da.FramesWritten() / s);
    return 0;
}
