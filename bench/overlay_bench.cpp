// Cost per frame of drawing clicks and keys into 1920 x 1080 frames at every depth, against a
// slot of 60 frames a second (the engine's own work may take a tenth of it). Prints one table
// from one run: nothing on show, a typical moment (two rings fading and three key boxes), and
// a burst of 32 rings with four boxes.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "input_overlay.h"

namespace {

double ThreadMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Scene {
    const char* name;
    int rings;
    int keys;
};

double MsPerFrame(const tqk::FrameLayout& l, const Scene& scene, int frames) {
    std::vector<uint8_t> frame(tqk::RowBytes(l) * size_t(l.H) + (l.bits == 8 ? 1024 : 0));
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 2654435761u >> 24);
    double total = 0;
    for (int f = 0; f < frames; ++f) {
        // Each frame a fresh moment: the presses made just before it, half faded.
        tqk::InputOverlay o(true, true);
        for (int r = 0; r < scene.rings; ++r)
            o.Press(r % 2 ? tqk::MouseButton::Right : tqk::MouseButton::Left, 100 + r * 53,
                    200 + r * 29, 0);
        o.KeyDown(tqk::vk::LControl, 0);
        for (int k = 0; k < scene.keys; ++k) {
            o.KeyDown('A' + uint32_t(k), 0);
            o.KeyUp('A' + uint32_t(k));
        }
        o.DrawOverFrame(frame.data(), l, 0, 0, 1);  // first frame: full strength
        // The thread's own processor time: the machine is shared, a wall clock counts others.
        const double t0 = ThreadMs();
        o.DrawOverFrame(frame.data(), l, 0, 0, 250);  // half faded: every pixel mixed
        total += ThreadMs() - t0;
    }
    return total / frames;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    const double slot = 1000.0 / 60;
    const Scene scenes[] = {
        {"nothing", 0, 0}, {"2 rings, 3 keys", 2, 3}, {"32 rings, 4 keys", 32, 4}};
    std::printf("1920 x 1080, %d frames each; share of a 60 fps slot (%.2f ms)\n", frames, slot);
    std::printf("%-8s %-18s %10s %8s\n", "depth", "on show", "ms/frame", "slot %");
    for (int bits : {8, 16, 24, 32}) {
        tqk::FrameLayout l;
        l.W = 1920, l.H = 1080, l.bits = bits;
        for (const Scene& s : scenes) {
            const double ms = MsPerFrame(l, s, frames);
            std::printf("%-8d %-18s %10.4f %7.2f%%\n", bits, s.name, ms, 100 * ms / slot);
        }
    }
    return 0;
}
