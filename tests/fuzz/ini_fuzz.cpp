// libFuzzer target for the window-position file reader: any text gives four positions, which
// write back and read again as the same positions, and pulling them onto a work area keeps
// the window inside it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "recorder_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tqk::rec;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const WindowPositions defaults{11, 22, 33, 44};
    WindowPositions p;
    const bool ok = ParsePositionFile(text, defaults, &p);
    if (ok != (size > 0)) std::abort();
    WindowPositions back;
    if (!ParsePositionFile(PositionFileUtf8(p), WindowPositions{}, &back) || !(back == p)) {
        std::abort();
    }
    const ScreenRect work{0, 0, 1024, 738};
    PullOntoWorkArea(work, 400, 60, &p.RecX, &p.RecY);
    if (p.RecX < 0 || p.RecY < 0 || p.RecX + 400 > 1024 || p.RecY + 60 > 738) std::abort();
    return 0;
}
