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
#include "shell_run.h"
#include "zmbv.h"

namespace tqk::bench {
namespace {

// Processor time of this process, as ffmpeg's "utime" counts its own: on a machine shared with
// other work, wall time would measure the neighbours.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
namespace fs = std::filesystem;

struct Canvas {
    int w, h;
    std::vector<uint32_t> px;  // blue, green, red, 0
    Canvas(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * size_t(h_)) {}
    void Fill(int x, int y, int rw, int rh, uint32_t c) {
        for (int j = std::max(0, y); j < std::min(h, y + rh); ++j)
            for (int i = std::max(0, x); i < std::min(w, x + rw); ++i) px[size_t(j) * w + i] = c;
    }
};

uint32_t Rgb(int r, int g, int b) { return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16; }

// 96 glyphs of 8 x 16 with anti-aliased edges, so text repeats like real text.
struct Font {
    uint8_t glyph[96][16][8];
    Font() {
        std::mt19937 rng(42);
        for (auto& g : glyph) {
            std::memset(g, 0, sizeof g);
            for (int stroke = 0; stroke < 3; ++stroke) {
                const int x = int(rng() % 6) + 1, y0 = int(rng() % 5) + 3, len = int(rng() % 7) + 3;
                const bool horizontal = rng() % 2;
                for (int k = 0; k < len; ++k) {
                    const int gx = horizontal ? std::min(7, 1 + k / 2) : x;
                    const int gy = horizontal ? y0 + 2 : std::min(13, y0 + k);
                    g[gy][gx] = 255;
                    if (gx + 1 < 8 && g[gy][gx + 1] == 0) g[gy][gx + 1] = 96;
                }
            }
        }
    }
    void Draw(Canvas& c, int x, int y, int ch, uint32_t fg, uint32_t bg, int clipTop,
              int clipBottom) const {
        const auto& g = glyph[ch % 96];
        for (int j = 0; j < 16; ++j) {
            const int yy = y + j;
            if (yy < clipTop || yy >= clipBottom || yy < 0 || yy >= c.h) continue;
            for (int i = 0; i < 8; ++i) {
                const int xx = x + i;
                if (xx < 0 || xx >= c.w) continue;
                const int a = g[j][i];
                uint32_t out = 0;
                for (int k = 0; k < 24; k += 8) {
                    const int f = int(fg >> k & 255), b = int(bg >> k & 255);
                    out |= uint32_t((f * a + b * (255 - a)) / 255) << k;
                }
                c.px[size_t(yy) * c.w + xx] = out;
            }
        }
    }
};

const Font& TheFont() {
    static Font f;
    return f;
}

// A line of "words" that depends only on its number.
void TextLine(Canvas& c, int x, int y, int width, int line, int clipTop, int clipBottom) {
    std::mt19937 rng(uint32_t(line * 7919 + 1));
    int col = 0;
    const int chars = width / 8;
    while (col < chars) {
        const int word = int(rng() % 9) + 1;
        for (int k = 0; k < word && col < chars; ++k, ++col)
            TheFont().Draw(c, x + col * 8, y, int(rng() % 96), 0, Rgb(255, 255, 255), clipTop,
                           clipBottom);
        ++col;
        if (rng() % 13 == 0) break;
    }
}

void Window(Canvas& c, int x, int y, int ww, int wh, int firstLine, int scroll) {
    c.Fill(x - 1, y - 1, ww + 2, wh + 2, Rgb(90, 90, 90));
    for (int j = 0; j < 24; ++j) c.Fill(x, y + j, ww, 1, Rgb(0, 50 + j * 3, 120 + j * 4));
    for (int k = 0; k < 20; ++k)
        TheFont().Draw(c, x + 8 + k * 8, y + 4, k + 33, Rgb(255, 255, 255), Rgb(0, 62, 136), 0,
                       c.h);
    const int top = y + 24, bottom = y + wh;
    c.Fill(x, top, ww, wh - 24, Rgb(255, 255, 255));
    const int first = scroll / 18;
    for (int line = first; (line - first) * 18 - scroll % 18 < wh - 24; ++line)
        TextLine(c, x + 6, top + 4 + (line - first) * 18 - scroll % 18, ww - 12, firstLine + line,
                 top, bottom);
}

void Desktop(Canvas& c, int t) {
    c.Fill(0, 0, c.w, c.h, Rgb(58, 110, 165));
    for (int i = 0; i < 6; ++i)
        c.Fill(20, 20 + i * 80, 48, 48, Rgb(200 - i * 20, 180, 60 + i * 30));
    c.Fill(0, c.h - 40, c.w, 40, Rgb(212, 208, 200));
    // The clock: changes once every ten frames.
    const int minute = t / 10;
    for (int k = 0; k < 5; ++k)
        TheFont().Draw(c, c.w - 60 + k * 8, c.h - 28, k == 2 ? 26 : 16 + (minute >> (k * 2)) % 10,
                       0, Rgb(212, 208, 200), 0, c.h);
}

void Typical(Canvas& c, int t) {
    Desktop(c, t);
    Window(c, 120, 90, c.w / 2, c.h / 2, 0, 0);
    Window(c, c.w / 3, c.h / 4, c.w / 2, c.h / 2, 100, 0);
    // Typing into the front window: one character a frame, a caret that blinks.
    const int x0 = c.w / 3 + 6, y0 = c.h / 4 + 24 + 4 + 18 * 10;
    c.Fill(x0, y0, c.w / 2 - 12, 18, Rgb(255, 255, 255));
    for (int k = 0; k < t % 60; ++k)
        TheFont().Draw(c, x0 + k * 8, y0, (k * 31 + 7) % 96, 0, Rgb(255, 255, 255), 0, c.h);
    if ((t / 5) % 2 == 0) c.Fill(x0 + (t % 60) * 8, y0, 1, 16, 0);
    // A window dragged across: 6 pixels right and 2 down a frame, back and forth.
    const int travel = c.w / 3;
    const int step = (t * 6) % (2 * travel);
    const int dx = step < travel ? step : 2 * travel - step;
    Window(c, 60 + dx, c.h / 2 + dx / 3 - 40, 360, 240, 300, 0);
}

void Scrolling(Canvas& c, int t) {
    Desktop(c, t);
    Window(c, 40, 30, c.w - 80, c.h - 110, 0, t * 3);
}

void Full(Canvas& c, int t) {
    for (int y = 0; y < c.h; ++y) {
        const int v = (y / 24 + t) * 37;
        const uint32_t band = Rgb(v & 255, (v * 3) & 255, (v * 7 + t) & 255);
        for (int x = 0; x < c.w; ++x)
            c.px[size_t(y) * c.w + x] = band ^ uint32_t(((x + t * 5) / 8 % 2) * 0x101010);
    }
    for (int i = 0; i < 200; ++i)
        TextLine(c, (i * 97 + t * 13) % c.w, (i * 53 + t * 7) % c.h, 160, i + t, 0, c.h);
}

using tqk::test::Shell;
using tqk::test::ShellRun;

// ffmpeg's user time ("bench: utime=") of one command; -1 when it failed.
double FfmpegUserSeconds(const std::string& args) {
    const ShellRun r =
        Shell("ffmpeg -nostdin -hide_banner -v info -nostats -benchmark " + args + " 2>&1");
    const size_t at = r.out.find("utime=");
    if (r.code != 0 || at == std::string::npos) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", r.out.c_str());
        return -1;
    }
    return std::atof(r.out.c_str() + at + 6);
}

uint64_t FileBytes(const std::string& p) {
    std::error_code ec;
    const auto n = fs::file_size(p, ec);
    return ec ? 0 : uint64_t(n);
}

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
    const fs::path dir = keep.empty() ? fs::temp_directory_path() /
                                            ("zmbv_bench_" + std::to_string(std::random_device{}()))
                                      : fs::path(keep);
    fs::create_directories(dir);
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
