// ZMBV speed and size on screen content, in one run on the same frames: our encoder against
// ffmpeg's ZMBV encoder at its defaults, with uncompressed and lossless H.264 for context.
//   zmbv_bench [FRAMES] [--keep DIR]
// Three scenes at 1024 x 768 and 1920 x 1080: a typical desktop (typing, a dragged window, a
// clock), scrolling text (an editor scrolling smoothly by 3 rows a frame) and the whole screen
// changing every frame. Our times are processor time on one core, encoding only; ffmpeg's are
// its own benchmark user time minus that of reading the same frames without encoding. Every file we
// write is decoded by ffmpeg and compared with the frames ("same").
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "avi_export.h"
#include "avi_file.h"
#include "avi_writer.h"
#include "bench_clock.h"
#include "screen_scenes.h"
#include "shell_run.h"
#include "zmbv.h"

namespace tqk::bench {
namespace {

namespace fs = std::filesystem;

using tqk::test::Shell;
using tqk::test::ShellRun;

struct OursResult {
    double seconds = 0;
    double keySeconds = 0;  // of that, the first frame (a key frame)
    uint64_t bytes = 0;
};

// Encodes every frame (timed), then writes them into an AVI (not timed).
int g_level = tqk::zmbv::EncoderOptions{}.zlibLevel;

OursResult Ours(const std::vector<std::vector<uint8_t>>& frames, int w, int h, int bits,
                const std::string& avi) {
    tqk::zmbv::Encoder enc;
    tqk::zmbv::EncoderOptions options;
    options.zlibLevel = g_level;
    if (enc.Start({w, h, bits}, options) != tqk::zmbv::Status::kOk) std::abort();
    std::vector<tqk::zmbv::EncodedFrame> out(frames.size());
    const ptrdiff_t stride = ptrdiff_t(w) * (bits / 8);
    const double t0 = CpuSeconds();
    double keyDone = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (enc.Encode(frames[i].data(), stride, nullptr, false, &out[i]) != tqk::zmbv::Status::kOk)
            std::abort();
        if (i == 0) keyDone = CpuSeconds();
    }
    OursResult r;
    r.keySeconds = keyDone - t0;
    r.seconds = CpuSeconds() - t0;
    if (!avi.empty()) {
        avi::StdioFile file;
        avi::Writer writer;
        if (!file.Open(avi, avi::StdioFile::Mode::kCreate) ||
            writer.Create(&file, avi::VideoStream(tqk::zmbv::kFourCC, w, h, 10,
                                                  uint32_t(frames.size()), "ZMBV",
                                                  avi::BitmapFormat(w, h, 32, tqk::zmbv::kFourCC, 0,
                                                                    nullptr))) != avi::Status::kOk)
            std::abort();
        for (const auto& f : out)
            if (writer.WriteChunk(0, f.bytes.data(), f.bytes.size(), f.keyFrame) !=
                avi::Status::kOk)
                std::abort();
        if (writer.Close() != avi::Status::kOk || !file.Close()) std::abort();
    }
    for (const auto& f : out) r.bytes += f.bytes.size();
    return r;
}

int Main(int argc, char** argv) {
    int frames = 60;
    std::string keep, only;
    bool noFfmpeg = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else if (std::string(argv[i]) == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (std::string(argv[i]) == "--level" && i + 1 < argc)
            g_level = std::atoi(argv[++i]);
        else if (std::string(argv[i]) == "--ours-only")
            noFfmpeg = true;
        else
            frames = std::max(2, std::atoi(argv[i]));
    }
    const fs::path dir = WorkFolder(keep, "zmbv_bench");
    struct Scene {
        const char* name;
        void (*paint)(Canvas&, int);
    } scenes[] = {{"typical", Typical}, {"scrolling", Scrolling}, {"full", Full}};
    struct Size {
        int w, h;
    } sizes[] = {{1024, 768}, {1920, 1080}};
    std::printf("%d frames a scene; sizes in KiB; fps on one core (ours: encoding only)\n", frames);
    std::printf("%-10s %-9s %10s %10s %10s %10s | %8s %8s %8s %8s %6s %6s %5s\n", "scene", "size",
                "raw24", "ours", "ffm zmbv", "x264rgb", "ours fps", "24b fps", "ffm fps",
                "x264 fps", "speed", "size", "same");
    for (const Size& s : sizes)
        for (const Scene& sc : scenes) {
            char size[16];
            std::snprintf(size, sizeof size, "%dx%d", s.w, s.h);
            if (!only.empty() && only != sc.name && only != size) continue;
            std::vector<std::vector<uint8_t>> f32(static_cast<size_t>(frames)), f24(f32.size());
            Canvas c(s.w, s.h);
            const std::string raw = (dir / "frames.bgr0").string();
            std::FILE* rf = std::fopen(raw.c_str(), "wb");
            if (!rf) return 1;
            for (int t = 0; t < frames; ++t) {
                sc.paint(c, t);
                f32[size_t(t)].assign(reinterpret_cast<const uint8_t*>(c.px.data()),
                                      reinterpret_cast<const uint8_t*>(c.px.data() + c.px.size()));
                f24[size_t(t)].resize(c.px.size() * 3);
                for (size_t k = 0; k < c.px.size(); ++k)
                    std::memcpy(&f24[size_t(t)][k * 3], &c.px[k], 3);
                std::fwrite(c.px.data(), 4, c.px.size(), rf);
            }
            std::fclose(rf);
            const std::string ours = (dir / "ours.avi").string();
            const OursResult r32 = Ours(f32, s.w, s.h, 32, ours);
            const OursResult r24 = Ours(f24, s.w, s.h, 24, "");
            f32.clear();
            f24.clear();
            if (noFfmpeg) {
                std::printf("%-10s %-9s ours %" PRIu64
                            " KiB, %.1f fps (24-bit input %.1f fps), key frame %.0f ms, "
                            "delta frames %.1f fps\n",
                            sc.name, size, r32.bytes / 1024, frames / r32.seconds,
                            frames / r24.seconds, r32.keySeconds * 1000,
                            (frames - 1) / (r32.seconds - r32.keySeconds));
                continue;
            }
            const std::string in = "-f rawvideo -pix_fmt bgr0 -s " + std::to_string(s.w) + "x" +
                                   std::to_string(s.h) + " -r 10 -i '" + raw + "' ";
            const double base = FfmpegUserSeconds(in + "-f null -");
            const std::string zf = (dir / "ffmpeg.avi").string(), xf = (dir / "x264.mkv").string();
            const double tz = FfmpegUserSeconds(in + "-c:v zmbv -y '" + zf + "'") - base;
            const double tx =
                FfmpegUserSeconds(in + "-c:v libx264rgb -qp 0 -preset ultrafast -threads 1 -y '" +
                                  xf + "'") -
                base;
            // Our file decodes to the very frames.
            const ShellRun a = Shell("ffmpeg -nostdin -v error -i '" + ours +
                                     "' -f rawvideo -pix_fmt bgr0 - | md5sum");
            const ShellRun b = Shell("md5sum < '" + raw + "'");
            const bool same = a.code == 0 && a.out.substr(0, 32) == b.out.substr(0, 32);
            const double n = frames;
            const uint64_t zb = FileBytes(zf), xb = FileBytes(xf), ob = FileBytes(ours);
            std::printf("%-10s %-9s %10" PRIu64 " %10" PRIu64 " %10" PRIu64 " %10" PRIu64
                        " | %8.1f %8.1f %8.1f %8.1f %5.1fx %5.2f %5s\n",
                        sc.name, size, uint64_t(s.w) * uint64_t(s.h) * 3 * uint64_t(frames) / 1024,
                        ob / 1024, zb / 1024, xb / 1024, n / r32.seconds, n / r24.seconds, n / tz,
                        n / tx, tz / r32.seconds, double(ob) / double(zb), same ? "yes" : "NO");
            std::fflush(stdout);
        }
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}

}  // namespace
}  // namespace tqk::bench

int main(int argc, char** argv) { return tqk::bench::Main(argc, argv); }
