// Any frame of a long movie: opens a synthetic recording with FrameSeeker and prints the open
// time, the walk that takes the snapshots, 200 random seeks (median and worst) before and
// after that walk, and the memory the seeker holds, for a typical desktop (a clock, typing,
// a window dragged and a page scrolled now and then) and for a whole screen changing every
// frame; then it writes the walk's snapshots to the snapshot file beside the movie and opens the
// movie afresh with it: the write (whole and its longest slice), the file's size, the open time
// and 200 random seeks right after that opening. Figures of one run; bench/seek_bench.sh runs
// it.
//   seek_bench FOLDER [MINUTES_TYPICAL] [SECONDS_FULL]   (defaults 60 and 20)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "frame_seek.h"
#include "tqk_stdio.h"

namespace {

using tqk::StoreLE32;

constexpr int kW = 1920, kH = 1080, kFps = 30;
constexpr size_t kWords = size_t(kW) * kH;  // 32 bits: one word a pixel

double Now() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

long RssKb() {
    std::ifstream f("/proc/self/status");
    std::string key;
    long value = 0;
    while (f >> key) {
        if (key == "VmRSS:") {
            f >> value;
            return value;
        }
        f.ignore(1 << 10, '\n');
    }
    return -1;
}

// Desktop-like pixels: flat window colours with lines of "text".
uint32_t DesktopPixel(int x, int y, uint32_t salt) {
    const uint32_t window = ((x / 480) * 7 + (y / 270) * 3 + salt) % 5;
    static const uint32_t faces[] = {0x00F0F0F0, 0x00FFFFFF, 0x003A6EA5, 0x00D4D0C8, 0x00202020};
    const bool textRow = (y % 18) < 12 && (x % 640) > 40;
    const uint32_t h = uint32_t(x * 2654435761u ^ y * 40503u ^ salt * 97u);
    if (textRow && (h >> 28) < 3) return 0x00101010;
    return faces[window];
}

// Record writer: the changed places of a frame as sorted row segments (word offset, count).
struct Segment {
    size_t at, count;
};

class Writer {
public:
    explicit Writer(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {
        uint8_t h[tqk::kHeaderBytes];
        tqk::MovieHeader mh;
        mh.Method = 1, mh.BitCo = 32, mh.W = kW, mh.H = kH, mh.fps = kFps, mh.sec = 0;
        tqk::EncodeHeader(mh, h);
        std::fwrite(h, 1, sizeof h, f_);
    }
    ~Writer() { std::fclose(f_); }
    void Patch(int sec) {
        uint8_t s[4];
        StoreLE32(s, uint32_t(sec));
        std::fseek(f_, tqk::kOffSec, SEEK_SET);
        std::fwrite(s, 1, 4, f_);
    }
    // segs sorted, not overlapping; pixel(word offset) gives the new words.
    template <class Pixel>
    void Frame(const std::vector<Segment>& segs, Pixel pixel) {
        words_.clear();
        size_t p = 0;
        for (const Segment& s : segs) {
            words_.push_back(uint32_t(s.at - p));
            words_.push_back(uint32_t(s.count));
            for (size_t k = 0; k < s.count; ++k) words_.push_back(pixel(s.at + k));
            p = s.at + s.count;
        }
        if (p < kWords) words_.push_back(uint32_t(kWords - p));
        uint8_t head[8];
        std::memcpy(head, "FRAM", 4);
        StoreLE32(head + 4, uint32_t(words_.size() * 4));
        std::fwrite(head, 1, 8, f_);
        std::fwrite(words_.data(), 4, words_.size(), f_);
    }

private:
    std::FILE* f_;
    std::vector<uint32_t> words_;
};

void Rect(std::vector<Segment>* segs, int x, int y, int w, int h) {
    x = std::clamp(x, 0, kW - 1), y = std::clamp(y, 0, kH - 1);
    w = std::min(w, kW - x), h = std::min(h, kH - y);
    for (int r = y; r < y + h; ++r) segs->push_back({size_t(r) * kW + size_t(x), size_t(w)});
}

void Normalise(std::vector<Segment>* segs) {
    std::sort(segs->begin(), segs->end(),
              [](const Segment& a, const Segment& b) { return a.at < b.at; });
    std::vector<Segment> out;
    for (const Segment& s : *segs) {
        if (!out.empty() && s.at <= out.back().at + out.back().count) {
            out.back().count =
                std::max(out.back().at + out.back().count, s.at + s.count) - out.back().at;
        } else {
            out.push_back(s);
        }
    }
    *segs = std::move(out);
}

void MakeTypical(const std::string& path, int minutes) {
    Writer w(path);
    const int frames = minutes * 60 * kFps;
    std::vector<Segment> segs;
    for (int i = 0; i < frames; ++i) {
        segs.clear();
        const uint32_t salt = uint32_t(i);
        if (i == 0) {
            segs.push_back({0, kWords});
        } else {
            const int sec = (i / kFps) % 60;
            // Typing: a glyph every third frame along lines of an editor.
            if (i % 3 == 0) {
                const int g = (i / 3) % (60 * 40);
                Rect(&segs, 60 + (g % 60) * 10, 120 + (g / 60) * 18, 10, 16);
            }
            // The caret blinks, the clock turns every second.
            if (i % 15 == 0) Rect(&segs, 700, 500, 2, 16);
            if (i % kFps == 0) Rect(&segs, 1780, 1050, 120, 20);
            // A window dragged for two seconds of every minute.
            if (sec >= 10 && sec < 12) {
                const int k = i % (2 * kFps);
                Rect(&segs, 300 + k * 4, 200 + k * 2, 520, 370);
            }
            // A page scrolled for a third of a second every minute.
            if (sec == 40 && i % kFps < 10) Rect(&segs, 500, 100, 1200, 800);
        }
        Normalise(&segs);
        w.Frame(segs, [&](size_t at) { return DesktopPixel(int(at % kW), int(at / kW), salt); });
    }
    w.Patch(minutes * 60);
}

void MakeFull(const std::string& path, int seconds) {
    Writer w(path);
    std::vector<Segment> whole{{0, kWords}};
    std::mt19937 rng(1);
    std::vector<uint32_t> noise(kWords + 4096);
    for (auto& v : noise) v = rng() & 0x00FFFFFF;
    for (int i = 0; i < seconds * kFps; ++i) {
        const size_t shift = size_t(i * 131) % 4096;
        w.Frame(whole, [&](size_t at) { return noise[at + shift]; });
    }
    w.Patch(seconds);
}

struct Stats {
    double median = 0, worst = 0, mean = 0;
};
Stats Summarise(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.worst = v.back();
    for (double x : v) s.mean += x / double(v.size());
    return s;
}

void Measure(const char* name, const std::string& path) {
    tqk::StdioFile file(tqk::OpenForReading(path));
    tqk::StdioRandomSource source(file.f);
    const long rss0 = RssKb();
    tqk::FrameSeeker seeker;
    double t = Now();
    if (seeker.Open(&source) != tqk::kOk) {
        std::printf("%s: cannot open\n", name);
        return;
    }
    const double openMs = Now() - t;
    std::mt19937 rng(25);
    std::vector<int32_t> targets(200);
    for (auto& n : targets) n = int32_t(rng() % uint32_t(seeker.Frames()));
    // Seeks before the walk ahead (the movie just opened): the first far ones unpack from the
    // start and take the snapshots on the way.
    std::vector<double> cold;
    for (int k = 0; k < 20; ++k) {
        t = Now();
        if (seeker.Seek(targets[size_t(k)]) != tqk::kOk) std::printf("seek failed\n");
        cold.push_back(Now() - t);
    }
    t = Now();
    while (!seeker.Prepare(256)) {
    }
    const double prepareMs = Now() - t;
    std::vector<double> warm;
    int32_t records = 0;
    for (int32_t n : targets) {
        t = Now();
        if (seeker.Seek(n) != tqk::kOk) std::printf("seek failed\n");
        warm.push_back(Now() - t);
        records = std::max(records, seeker.LastSeekRecords());
    }
    const long rss1 = RssKb();
    const Stats c = Summarise(cold), s = Summarise(warm);
    std::printf(
        "%s: %d frames, file %.1f MB\n"
        "  open (index + first frame): %.1f ms\n"
        "  20 seeks right after opening: median %.1f ms, worst %.1f ms\n"
        "  walk ahead taking the snapshots: %.1f s\n"
        "  200 random seeks after it: median %.1f ms, worst %.1f ms, mean %.1f ms "
        "(at most %d records unpacked)\n"
        "  snapshots: %zu of %.1f MB total, one every %d frames; memory held: %.1f MB "
        "(resident set grew %.1f MB)\n",
        name, seeker.Frames(), double(source.Length()) / 1e6, openMs, c.median, c.worst,
        prepareMs / 1000, s.median, s.worst, s.mean, records, seeker.SnapshotCount(),
        double(seeker.SnapshotBytes()) / 1e6, seeker.SnapshotInterval(),
        (double(seeker.SnapshotBytes()) + 3.5 * double(seeker.FrameSize()) +
         double(seeker.Frames()) * sizeof(tqk::FrameRecord)) /
            1e6,
        double(rss1 - rss0) / 1024);

    // The snapshot file, written as the player writes it: slices of about 1 MiB.
    const std::string snapPath = path + tqk::kSnapshotFileSuffix;
    tqk::SnapshotFileWriter writer;
    t = Now();
    double longest = 0;
    if (seeker.BeginSnapshotFile(snapPath, &writer) != 0) {
        std::printf("  snapshot file: cannot begin\n");
        return;
    }
    longest = Now() - t;
    auto state = writer.Current();
    while (state == tqk::SnapshotFileWriter::State::kWriting) {
        const double s0 = Now();
        state = writer.Continue(size_t{1} << 20);
        longest = std::max(longest, Now() - s0);
    }
    const double writeMs = Now() - t;
    if (state != tqk::SnapshotFileWriter::State::kDone) {
        std::printf("  snapshot file: write failed (%u)\n", writer.Error());
        return;
    }
    std::printf(
        "  snapshot file: %.1f MB written in %.2f s, longest slice %.1f ms (the last: flush "
        "and rename)\n",
        double(writer.FileBytes()) / 1e6, writeMs / 1000, longest);

    // Opened afresh with the file: no walk.
    tqk::StdioFile file2(tqk::OpenForReading(path));
    tqk::StdioRandomSource source2(file2.f);
    tqk::StdioFile snapFile(tqk::OpenForReading(snapPath));
    tqk::StdioRandomSource snapSource(snapFile.f);
    const long rss2 = RssKb();
    tqk::FrameSeeker fresh;
    t = Now();
    if (fresh.Open(&source2) != tqk::kOk || fresh.UseSnapshotFile(&snapSource) != tqk::kOk) {
        std::printf("  snapshot file: not taken\n");
        return;
    }
    const double open2Ms = Now() - t;
    std::vector<double> withFile;
    records = 0;
    for (int32_t n : targets) {
        t = Now();
        if (fresh.Seek(n) != tqk::kOk) std::printf("seek failed\n");
        withFile.push_back(Now() - t);
        records = std::max(records, fresh.LastSeekRecords());
    }
    const Stats f = Summarise(withFile);
    std::printf(
        "  opened again with it: open (index + file's table + first frame) %.1f ms, walk "
        "needed: %s\n"
        "  200 random seeks right after that opening: median %.1f ms, worst %.1f ms, mean "
        "%.1f ms (at most %d records unpacked); resident set grew %.1f MB\n",
        open2Ms, fresh.Prepared() ? "no" : "yes", f.median, f.worst, f.mean, records,
        double(RssKb() - rss2) / 1024);
    std::remove(snapPath.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: seek_bench FOLDER [MINUTES_TYPICAL] [SECONDS_FULL]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int minutes = argc > 2 ? std::atoi(argv[2]) : 60;
    const int fullSeconds = argc > 3 ? std::atoi(argv[3]) : 20;
    const std::string typical = dir + "/typical.TQK", full = dir + "/full.TQK";
    double t = Now();
    MakeTypical(typical, minutes);
    std::printf("wrote %d minutes of a typical desktop in %.0f s\n", minutes, (Now() - t) / 1000);
    Measure("typical desktop, 1920x1080 32-bit 30 fps", typical);
    std::remove(typical.c_str());
    if (fullSeconds > 0) {
        t = Now();
        MakeFull(full, fullSeconds);
        std::printf("wrote %d seconds of a whole screen changing in %.0f s\n", fullSeconds,
                    (Now() - t) / 1000);
        Measure("whole screen changing every frame, 1920x1080 32-bit 30 fps", full);
        std::remove(full.c_str());
    }
    return 0;
}
