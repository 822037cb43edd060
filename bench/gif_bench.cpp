// GIF export on screen content, in one run on the same frames: our encoder against ffmpeg's best
// two-pass GIF (palettegen=stats_mode=diff, then paletteuse=diff_mode=rectangle:dither=none).
//   gif_bench [FRAMES] [--keep DIR]
// Scenes of the ZMBV benchmark (a typical desktop and scrolling text at 1024 x 768 and
// 1920 x 1080) and a typical desktop at 640 x 480, at 10 frames a second. Our time is processor
// time on one core, coding only; ffmpeg's is the user time of both its passes, each less that
// of reading the same frames without coding. Both files are decoded by ffmpeg and compared with
// the frames: "same" counts the frames that come back pixel for pixel. A last scene, the typical
// desktop with colour swatches that change every frame, has more colours over the run than one
// table holds, though each frame has fewer than 256.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "gif_encoder.h"
#include "screen_scenes.h"
#include "shell_run.h"

namespace tqk::bench {
namespace {

namespace fs = std::filesystem;
using tqk::test::Shell;
using tqk::test::ShellRun;

// The typical desktop with a panel of 100 colour swatches that change every frame (a colour
// chooser, a chart being edited): each frame has fewer than 256 colours, the whole movie
// thousands, more than one table for all frames can hold.
void Swatches(Canvas& c, int t) {
    Typical(c, t);
    for (int k = 0; k < 100; ++k)
        c.Fill(c.w - 300 + (k % 10) * 16, 60 + (k / 10) * 16, 16, 16,
               Rgb((k * 37 + t * 11) & 255, (k * 91 + t * 5) & 255, (k * 13 + t * 29) & 255));
}

// Frames of the GIF that ffmpeg decodes to exactly the source frames (out of all).
int ExactFrames(const std::string& gif, const std::string& raw, int w, int h, int frames) {
    const ShellRun d = Shell("ffmpeg -nostdin -v error -i '" + gif +
                             "' -vf fps=10 -f rawvideo -pix_fmt bgr0 - | cat");
    std::FILE* f = std::fopen(raw.c_str(), "rb");
    if (!f) return -1;
    const size_t frameBytes = size_t(w) * size_t(h) * 4;
    std::vector<uint8_t> want(frameBytes);
    int same = 0;
    for (int i = 0; i < frames; ++i) {
        if (std::fread(want.data(), 1, frameBytes, f) != frameBytes) break;
        if (d.out.size() < (size_t(i) + 1) * frameBytes) break;
        bool equal = true;
        const uint8_t* got =
            reinterpret_cast<const uint8_t*>(d.out.data()) + size_t(i) * frameBytes;
        for (size_t k = 0; k < frameBytes && equal; k += 4)
            equal = got[k] == want[k] && got[k + 1] == want[k + 1] && got[k + 2] == want[k + 2];
        same += equal;
    }
    std::fclose(f);
    return same;
}

int Main(int argc, char** argv) {
    int frames = 60;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else
            frames = std::max(2, std::atoi(argv[i]));
    }
    const fs::path dir = WorkFolder(keep, "gif_bench");
    struct Case {
        const char* name;
        void (*paint)(Canvas&, int);
        int w, h;
    } cases[] = {{"typical", Typical, 640, 480},       {"typical", Typical, 1024, 768},
                 {"scrolling", Scrolling, 1024, 768},  {"typical", Typical, 1920, 1080},
                 {"scrolling", Scrolling, 1920, 1080}, {"swatches", Swatches, 1024, 768}};
    std::printf("%d frames a scene at 10 fps; sizes in KiB; times in processor seconds\n", frames);
    std::printf("%-10s %-9s %7s | %8s %8s %6s | %7s %7s %6s | %9s %9s\n", "scene", "size",
                "colours", "ours", "ffmpeg", "size", "ours s", "ffm s", "speed", "ours same",
                "ffm same");
    for (const Case& sc : cases) {
        char size[16];
        std::snprintf(size, sizeof size, "%dx%d", sc.w, sc.h);
        Canvas c(sc.w, sc.h);
        std::vector<std::vector<uint32_t>> f(static_cast<size_t>(frames));
        const std::string raw = (dir / "frames.bgr0").string();
        std::FILE* rf = std::fopen(raw.c_str(), "wb");
        if (!rf) return 1;
        size_t colours = 0;
        for (int t = 0; t < frames; ++t) {
            sc.paint(c, t);
            f[size_t(t)] = c.px;
            std::fwrite(c.px.data(), 4, c.px.size(), rf);
            colours = std::max(colours, std::set<uint32_t>(c.px.begin(), c.px.end()).size());
        }
        std::fclose(rf);

        const std::string ours = (dir / "ours.gif").string();
        gif::AnimationEncoder enc;
        std::vector<uint8_t> file;
        const double t0 = CpuSeconds();
        if (!enc.Start(sc.w, sc.h, {})) return 1;
        for (const auto& px : f) {
            enc.AddFrame(px.data(), size_t(sc.w), 10);
            file.insert(file.end(), enc.Output().begin(), enc.Output().end());
            enc.Output().clear();
        }
        enc.Finish();
        file.insert(file.end(), enc.Output().begin(), enc.Output().end());
        const double oursSeconds = CpuSeconds() - t0;
        std::FILE* of = std::fopen(ours.c_str(), "wb");
        if (!of || std::fwrite(file.data(), 1, file.size(), of) != file.size()) return 1;
        std::fclose(of);
        f.clear();

        const std::string in =
            "-f rawvideo -pix_fmt bgr0 -s " + std::string(size) + " -r 10 -i '" + raw + "' ";
        const std::string palette = (dir / "palette.png").string();
        const std::string theirs = (dir / "ffmpeg.gif").string();
        const double base = FfmpegUserSeconds(in + "-f null -");
        const double pass1 =
            FfmpegUserSeconds(in + "-vf palettegen=stats_mode=diff -y '" + palette + "'");
        const double pass2 = FfmpegUserSeconds(
            in + "-i '" + palette +
            "' -lavfi '[0:v][1:v]paletteuse=diff_mode=rectangle:dither=none' -y '" + theirs + "'");
        const double ffmpegSeconds = pass1 + pass2 - 2 * base;
        const uint64_t ob = FileBytes(ours), fb = FileBytes(theirs);
        const int oursSame = ExactFrames(ours, raw, sc.w, sc.h, frames);
        const int theirsSame = ExactFrames(theirs, raw, sc.w, sc.h, frames);
        std::printf("%-10s %-9s %7zu | %8" PRIu64 " %8" PRIu64
                    " %6.2f | %7.3f %7.3f %5.1fx | %4d/%-4d %4d/%-4d\n",
                    sc.name, size, colours, ob / 1024, fb / 1024, double(ob) / double(fb),
                    oursSeconds, ffmpegSeconds, ffmpegSeconds / oursSeconds, oursSame, frames,
                    theirsSame, frames);
        std::fflush(stdout);
    }
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}

}  // namespace
}  // namespace tqk::bench

int main(int argc, char** argv) { return tqk::bench::Main(argc, argv); }
