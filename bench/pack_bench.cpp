// Speed of the frame packer and unpacker on full-HD frame pairs, each beside its yardstick:
// the packer against memcmp of the same two frames, the unpacker against memcpy of one frame.
// bench/run.sh turns one run's JSON output into a table of ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tqk_format.h"
#include "tvr_pack.h"

namespace tqk::bench {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kPiece = 4096;

enum class Kind { Identical, Typical, Scrolled, Noise };
const char* KindName(Kind k) {
    switch (k) {
    case Kind::Identical: return "identical";
    case Kind::Typical: return "typical";
    case Kind::Scrolled: return "scrolled";
    case Kind::Noise: return "noise";
    }
    return "?";
}

// A picture as 0x00RRGGBB pixels, converted to the movie's depth at the end.
struct Picture {
    std::vector<uint32_t> px = std::vector<uint32_t>(size_t(kWidth) * kHeight);
    uint32_t& At(int x, int y) { return px[size_t(y) * kWidth + size_t(x)]; }
    void Fill(int x, int y, int w, int h, uint32_t c) {
        for (int r = std::max(y, 0); r < std::min(y + h, kHeight); ++r)
            for (int col = std::max(x, 0); col < std::min(x + w, kWidth); ++col) At(col, r) = c;
    }
};

// 8 x 16 glyphs with pseudo-random strokes: enough to look like text to the packer.
struct Font {
    uint8_t rows[96][16];
    Font() {
        std::mt19937 rng(99);
        for (auto& g : rows) {
            for (int r = 0; r < 16; ++r) g[r] = r < 3 || r > 13 ? 0 : uint8_t(rng() & rng() & 0x7E);
        }
    }
};
const Font& TheFont() {
    static const Font font;
    return font;
}

// Draws line `line` of a deterministic text at (x, y): words of 2 to 9 letters.
void DrawTextLine(Picture* p, int x, int y, int width, int line, uint32_t ink) {
    std::mt19937 rng(uint32_t(line) * 7919u + 1);
    int col = 0;
    const int cols = width / 8;
    while (col < cols) {
        const int len = 2 + int(rng() % 8);
        for (int i = 0; i < len && col < cols; ++i, ++col) {
            const uint8_t* g = TheFont().rows[1 + rng() % 95];
            for (int r = 0; r < 16; ++r)
                for (int b = 0; b < 8; ++b)
                    if (g[r] & (0x80 >> b)) p->At(x + col * 8 + b, y + r) = ink;
        }
        ++col;  // the space between words
    }
}

// A desktop: gradient background, a few windows with title bars, text in the editor window
// scrolled down by `scrollLines` lines of text.
Picture Desktop(int scrollLines) {
    Picture p;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            p.At(x, y) =
                uint32_t(0x20 + y * 0x40 / kHeight) << 8 | uint32_t(0x60 + x * 0x60 / kWidth);
    p.Fill(0, kHeight - 40, kWidth, 40, 0xC0C0C0);  // task bar
    p.Fill(1400, 100, 460, 600, 0xF0F0F0);          // a side window
    p.Fill(1400, 100, 460, 24, 0x000080);
    for (int l = 0; l < 20; ++l) DrawTextLine(&p, 1410, 140 + l * 22, 440, 1000 + l, 0x202020);
    // The editor: white page, 40 lines of text from line scrollLines on.
    p.Fill(60, 40, 1300, 980, 0xFFFFFF);
    p.Fill(60, 40, 1300, 24, 0x000080);
    for (int l = 0; l < 42; ++l) DrawTextLine(&p, 80, 80 + l * 22, 1260, scrollLines + l, 0);
    return p;
}

// A few small scattered changes: clock, caret, a typed word, a hovered button, progress.
void TypicalChange(Picture* p) {
    p->Fill(1840, kHeight - 30, 60, 16, 0xC0C0C0);
    DrawTextLine(p, 1840, kHeight - 30, 56, 77, 0);
    p->Fill(700, 300, 2, 16, 0);
    DrawTextLine(p, 600, 300, 96, 4242, 0x000000);
    p->Fill(1500, 660, 80, 24, 0xD0E0FF);
    p->Fill(1410, 600, 200, 12, 0x00A000);
    p->Fill(40, kHeight - 36, 16, 16, 0xFF8000);
}

std::vector<uint8_t> ToDepth(const Picture& p, int bits) {
    const size_t n = p.px.size();
    std::vector<uint8_t> out(n * size_t(bits) / 8);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = p.px[i];
        switch (bits) {
        case 32: tqk::StoreLE32(&out[i * 4], c); break;
        case 24:
            out[i * 3] = uint8_t(c);
            out[i * 3 + 1] = uint8_t(c >> 8);
            out[i * 3 + 2] = uint8_t(c >> 16);
            break;
        case 16: {
            const uint32_t v = ((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31);
            out[i * 2] = uint8_t(v);
            out[i * 2 + 1] = uint8_t(v >> 8);
            break;
        }
        }
    }
    return out;
}

// The smallest packed size the format allows: runs alternate starting with an unchanged one,
// each costs a count word, literal words are stored. Linear dynamic programme over the words:
// the cheapest encoding of the words so far that ends inside an unchanged or a literal run.
uint64_t SmallestPackedBytes(const uint8_t* cur, const uint8_t* prev, size_t words) {
    const uint64_t kInf = UINT64_MAX / 4;
    uint64_t inUnchanged = 4, inLiteral = 8;
    for (size_t i = 0; i < words; ++i) {
        const bool same = std::memcmp(cur + i * 4, prev + i * 4, 4) == 0;
        const uint64_t u = same ? std::min(inUnchanged, inLiteral + 4) : kInf;
        const uint64_t l = std::min(inLiteral, inUnchanged + 4) + 4;
        inUnchanged = u;
        inLiteral = l;
    }
    return std::min(inUnchanged, inLiteral);
}

struct Pair {
    int bits = 0;
    Kind kind = Kind::Identical;
    std::vector<uint8_t> cur, prev, packed, scratch;
    size_t packedBytes = 0;
    uint64_t smallest = 0;
};

// Every pair is made once and kept, so the runs of different benchmarks may be interleaved
// (the yardstick and the code under test then see the same machine).
Pair& PairFor(int bits, Kind kind) {
    static std::map<std::pair<int, Kind>, std::unique_ptr<Pair>> pairs;
    std::unique_ptr<Pair>& slot = pairs[{bits, kind}];
    if (slot) return *slot;
    slot = std::make_unique<Pair>();
    Pair& pair = *slot;
    pair.bits = bits;
    pair.kind = kind;
    if (kind == Kind::Noise) {
        std::mt19937_64 rng{uint64_t(bits)};
        const size_t F = size_t(kWidth) * kHeight * size_t(bits) / 8;
        pair.cur.resize(F);
        pair.prev.resize(F);
        for (auto* v : {&pair.cur, &pair.prev})
            for (size_t i = 0; i < F; i += 8) {
                const uint64_t r = rng();
                std::memcpy(v->data() + i, &r, std::min<size_t>(8, F - i));
            }
    } else {
        const Picture before = Desktop(0);
        Picture after = kind == Kind::Scrolled ? Desktop(3) : before;
        if (kind == Kind::Typical) TypicalChange(&after);
        pair.prev = ToDepth(before, bits);
        pair.cur = ToDepth(after, bits);
    }
    const size_t F = pair.cur.size();
    pair.packed.resize(tqk::PackedCapacity(F));
    pair.packedBytes = size_t(tqk::PackFrame(pair.packed.data(), pair.cur.data(), pair.prev.data(),
                                             int32_t(F / 4))) *
                       4;
    pair.smallest = SmallestPackedBytes(pair.cur.data(), pair.prev.data(), F / 4);
    pair.scratch.resize(F);
    return pair;
}

void SetCounters(benchmark::State& state, const Pair& p, size_t bytesPerIteration) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytesPerIteration));
    state.counters["frame_bytes"] = double(p.cur.size());
    state.counters["packed_bytes"] = double(p.packedBytes);
    state.counters["smallest_bytes"] = double(p.smallest);
}

void BM_Pack(benchmark::State& state, int bits, Kind kind) {
    Pair& p = PairFor(bits, kind);
    const int32_t words = int32_t(p.cur.size() / 4);
    std::vector<uint8_t> out(p.packed.size());
    int32_t n = 0;
    for (auto _ : state) {
        n = tqk::PackFrame(out.data(), p.cur.data(), p.prev.data(), words);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    if (size_t(n) * 4 != p.packedBytes ||
        std::memcmp(out.data(), p.packed.data(), p.packedBytes) != 0)
        state.SkipWithError("packer output changed between calls");
    SetCounters(state, p, p.cur.size() * 2);
}

// The portable version, which i686 machines without SSE2 run.
void BM_PackPortable(benchmark::State& state, int bits, Kind kind) {
    Pair& p = PairFor(bits, kind);
    const int32_t words = int32_t(p.cur.size() / 4);
    std::vector<uint8_t> out(p.packed.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(tqk::PackFrameWith(tqk::PackerVersion::Portable, out.data(),
                                                    p.cur.data(), p.prev.data(), words));
        benchmark::ClobberMemory();
    }
    SetCounters(state, p, p.cur.size() * 2);
}

// memcmp stops at the first difference; comparing 4 KiB pieces one after another makes it
// read both frames through, as the packer must.
void BM_Memcmp(benchmark::State& state, int bits, Kind kind) {
    Pair& p = PairFor(bits, kind);
    const size_t F = p.cur.size();
    for (auto _ : state) {
        int acc = 0;
        for (size_t at = 0; at < F; at += kPiece)
            acc |= std::memcmp(p.cur.data() + at, p.prev.data() + at, std::min(kPiece, F - at));
        benchmark::DoNotOptimize(acc);
    }
    SetCounters(state, p, F * 2);
}

void BM_Unpack(benchmark::State& state, int bits, Kind kind) {
    Pair& p = PairFor(bits, kind);
    const size_t F = p.cur.size();
    std::copy(p.prev.begin(), p.prev.end(), p.scratch.begin());
    // Unpacking in place again over the result rewrites the same bytes: every pass does the
    // same work.
    for (auto _ : state) {
        const int32_t rc =
            tqk::UnpackFrameInPlace(p.packed.data(), p.packedBytes, p.scratch.data(), F);
        benchmark::DoNotOptimize(rc);
        benchmark::ClobberMemory();
    }
    if (p.scratch != p.cur) state.SkipWithError("unpacked frame differs");
    SetCounters(state, p, F);
}

void BM_Memcpy(benchmark::State& state, int bits, Kind kind) {
    Pair& p = PairFor(bits, kind);
    const size_t F = p.cur.size();
    for (auto _ : state) {
        std::memcpy(p.scratch.data(), p.cur.data(), F);
        benchmark::ClobberMemory();
    }
    SetCounters(state, p, F);
}

int Register() {
    for (int bits : {32, 24, 16}) {
        for (Kind kind : {Kind::Identical, Kind::Typical, Kind::Scrolled, Kind::Noise}) {
            const std::string tail = "/" + std::to_string(bits) + "/" + KindName(kind);
            benchmark::RegisterBenchmark(("pack" + tail).c_str(), BM_Pack, bits, kind)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("portable" + tail).c_str(), BM_PackPortable, bits, kind)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("memcmp" + tail).c_str(), BM_Memcmp, bits, kind)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("unpack" + tail).c_str(), BM_Unpack, bits, kind)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("memcpy" + tail).c_str(), BM_Memcpy, bits, kind)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    return 0;
}
const int registered = Register();

}  // namespace
}  // namespace tqk::bench

BENCHMARK_MAIN();
