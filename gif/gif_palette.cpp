#include "gif_palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace tqk::gif {

namespace {

// sRGB byte to linear light.
const std::array<float, 256>& LinearTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[size_t(i)] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

void LinearToOklab(float r, float g, float b, float lab[3]) {
    const float l = std::cbrt(0.4122214708f * r + 0.5363325363f * g + 0.0514459929f * b);
    const float m = std::cbrt(0.2119034982f * r + 0.6806995451f * g + 0.1073969566f * b);
    const float s = std::cbrt(0.0883024619f * r + 0.2817188376f * g + 0.6299787005f * b);
    lab[0] = 0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s;
    lab[1] = 1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s;
    lab[2] = 0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s;
}

float Distance(const float* a, const float* b) {
    const float d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

// One histogram bucket as a point: its mean colour, in Oklab and in sRGB sums, and its weight.
struct Point {
    float lab[3];
    double rgb[3];  // sums of the bucket's pixels
    double weight;
};

// A box of points [begin, end) of the point list.
struct Box {
    size_t begin, end;
    double error;  // weighted squared spread about the mean, summed over the axes
    int axis;      // the axis of the largest spread
};

Box MakeBox(const std::vector<Point>& pts, size_t begin, size_t end) {
    double w = 0, mean[3] = {0, 0, 0};
    for (size_t i = begin; i < end; ++i) {
        w += pts[i].weight;
        for (int a = 0; a < 3; ++a) mean[a] += pts[i].weight * pts[i].lab[a];
    }
    double spread[3] = {0, 0, 0};
    for (int a = 0; a < 3; ++a) mean[a] /= w;
    for (size_t i = begin; i < end; ++i)
        for (int a = 0; a < 3; ++a) {
            const double d = pts[i].lab[a] - mean[a];
            spread[a] += pts[i].weight * d * d;
        }
    Box b{begin, end, spread[0] + spread[1] + spread[2], 0};
    if (spread[1] > spread[b.axis]) b.axis = 1;
    if (spread[2] > spread[b.axis]) b.axis = 2;
    if (end - begin < 2) b.error = 0;
    return b;
}

uint32_t MeanColour(const double rgb[3], double weight) {
    uint32_t c = 0;
    for (int a = 0; a < 3; ++a) {
        const long v = std::lround(rgb[a] / weight);
        c = c << 8 | uint32_t(std::clamp(v, 0L, 255L));
    }
    return c;
}

}  // namespace

void ToOklab(uint32_t colour, float lab[3]) {
    const auto& lin = LinearTable();
    LinearToOklab(lin[(colour >> 16) & 255], lin[(colour >> 8) & 255], lin[colour & 255], lab);
}

ColourSet::ColourSet() : keys_(kMask + 1, 0), index_(kMask + 1, 0) { colours_.reserve(256); }

void ColourSet::Clear() {
    if (colours_.empty()) return;
    std::fill(keys_.begin(), keys_.end(), 0);
    colours_.clear();
}

Quantiser::Quantiser()
    : count_(size_t(1) << 15, 0), sum_(size_t(3) << 15, 0), cache_(size_t(1) << 18, -1) {}

void Quantiser::Reset() {
    for (uint32_t b : touched_) {
        count_[b] = 0;
        sum_[b * 3] = sum_[b * 3 + 1] = sum_[b * 3 + 2] = 0;
    }
    touched_.clear();
}

std::vector<uint32_t> Quantiser::MakeTable(int count) {
    std::vector<Point> pts;
    pts.reserve(touched_.size());
    for (uint32_t b : touched_) {
        Point p{};
        p.weight = count_[b];
        for (int a = 0; a < 3; ++a) p.rgb[a] = double(sum_[b * 3 + size_t(a)]);
        ToOklab(MeanColour(p.rgb, p.weight), p.lab);
        pts.push_back(p);
    }
    std::vector<uint32_t> table;
    if (pts.empty()) {
        UseTable({0});
        return {0};
    }
    // Median cut: split the box of the largest spread at the weighted median of its widest axis.
    std::vector<Box> boxes{MakeBox(pts, 0, pts.size())};
    while (int(boxes.size()) < count) {
        auto worst = std::max_element(boxes.begin(), boxes.end(),
                                      [](const Box& a, const Box& b) { return a.error < b.error; });
        if (worst->error <= 0) break;
        const Box b = *worst;
        std::sort(
            pts.begin() + long(b.begin), pts.begin() + long(b.end),
            [axis = b.axis](const Point& p, const Point& q) { return p.lab[axis] < q.lab[axis]; });
        double total = 0;
        for (size_t i = b.begin; i < b.end; ++i) total += pts[i].weight;
        double acc = 0;
        size_t cut = b.begin + 1;
        for (size_t i = b.begin; i + 1 < b.end; ++i) {
            acc += pts[i].weight;
            cut = i + 1;
            if (acc >= total / 2) break;
        }
        *worst = MakeBox(pts, b.begin, cut);
        boxes.push_back(MakeBox(pts, cut, b.end));
    }
    // The boxes' means, then a few rounds of k-means over the points.
    std::vector<float> centre(boxes.size() * 3);
    for (size_t k = 0; k < boxes.size(); ++k) {
        double w = 0, lab[3] = {0, 0, 0};
        for (size_t i = boxes[k].begin; i < boxes[k].end; ++i) {
            w += pts[i].weight;
            for (int a = 0; a < 3; ++a) lab[a] += pts[i].weight * pts[i].lab[a];
        }
        for (int a = 0; a < 3; ++a) centre[k * 3 + size_t(a)] = float(lab[a] / w);
    }
    const size_t n = boxes.size();
    std::vector<double> sumLab(n * 3), sumRgb(n * 3), weight(n);
    for (int round = 0; round < 3; ++round) {
        std::fill(sumLab.begin(), sumLab.end(), 0.0);
        std::fill(sumRgb.begin(), sumRgb.end(), 0.0);
        std::fill(weight.begin(), weight.end(), 0.0);
        for (const Point& p : pts) {
            size_t best = 0;
            float bestD = Distance(p.lab, &centre[0]);
            for (size_t k = 1; k < n; ++k) {
                const float d = Distance(p.lab, &centre[k * 3]);
                if (d < bestD) {
                    bestD = d;
                    best = k;
                }
            }
            weight[best] += p.weight;
            for (int a = 0; a < 3; ++a) {
                sumLab[best * 3 + size_t(a)] += p.weight * p.lab[a];
                sumRgb[best * 3 + size_t(a)] += p.rgb[a];
            }
        }
        for (size_t k = 0; k < n; ++k)
            if (weight[k] > 0)
                for (int a = 0; a < 3; ++a)
                    centre[k * 3 + size_t(a)] = float(sumLab[k * 3 + size_t(a)] / weight[k]);
    }
    for (size_t k = 0; k < n; ++k)
        if (weight[k] > 0) table.push_back(MeanColour(&sumRgb[k * 3], weight[k]));
    std::sort(table.begin(), table.end());
    table.erase(std::unique(table.begin(), table.end()), table.end());
    UseTable(table);
    return table;
}

void Quantiser::UseTable(const std::vector<uint32_t>& table) {
    table_ = table;
    tableLab_.resize(table.size() * 3);
    for (size_t i = 0; i < table.size(); ++i) ToOklab(table[i], &tableLab_[i * 3]);
    std::fill(cache_.begin(), cache_.end(), int16_t(-1));
}

uint8_t Quantiser::Nearest(uint32_t colour, uint32_t key) {
    // The cell of 4 x 4 x 4 colours around `colour` takes its centre's nearest entry.
    const uint32_t centre = (colour & 0xFCFCFC) | 0x020202;
    float lab[3];
    ToOklab(centre, lab);
    int best = 0;
    float bestD = Distance(lab, &tableLab_[0]);
    for (size_t k = 1; k < table_.size(); ++k) {
        const float d = Distance(lab, &tableLab_[k * 3]);
        if (d < bestD) {
            bestD = d;
            best = int(k);
        }
    }
    cache_[key] = int16_t(best);
    return uint8_t(best);
}

void Quantiser::MapPixels(const uint32_t* px, size_t stride, int w, int h, const uint8_t* mask,
                          uint8_t skipIndex, bool dither, uint8_t* out) {
    if (!dither) {
        for (int y = 0; y < h; ++y) {
            const uint32_t* row = px + size_t(y) * stride;
            const uint8_t* m = mask ? mask + size_t(y) * size_t(w) : nullptr;
            uint8_t* o = out + size_t(y) * size_t(w);
            for (int x = 0; x < w; ++x) o[x] = m && !m[x] ? skipIndex : Map(row[x]);
        }
        return;
    }
    // Floyd-Steinberg in sRGB steps: 7/16 right, 3/16 below left, 5/16 below, 1/16 below right.
    std::vector<int> err(size_t(w + 2) * 3 * 2, 0);
    for (int y = 0; y < h; ++y) {
        int* cur = &err[size_t(y & 1) * size_t(w + 2) * 3];
        int* below = &err[size_t((y + 1) & 1) * size_t(w + 2) * 3];
        std::fill(below, below + size_t(w + 2) * 3, 0);
        const uint32_t* row = px + size_t(y) * stride;
        const uint8_t* m = mask ? mask + size_t(y) * size_t(w) : nullptr;
        uint8_t* o = out + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            if (m && !m[x]) {
                o[x] = skipIndex;
                continue;
            }
            int want[3];
            uint32_t c = 0;
            for (int a = 0; a < 3; ++a) {
                const int v =
                    int((row[x] >> (16 - 8 * a)) & 255) + cur[size_t(x + 1) * 3 + size_t(a)] / 16;
                want[a] = std::clamp(v, 0, 255);
                c = c << 8 | uint32_t(want[a]);
            }
            const uint8_t index = Map(c);
            o[x] = index;
            const uint32_t got = table_[index];
            for (int a = 0; a < 3; ++a) {
                const int e = want[a] - int((got >> (16 - 8 * a)) & 255);
                cur[size_t(x + 2) * 3 + size_t(a)] += e * 7;
                below[size_t(x) * 3 + size_t(a)] += e * 3;
                below[size_t(x + 1) * 3 + size_t(a)] += e * 5;
                below[size_t(x + 2) * 3 + size_t(a)] += e;
            }
        }
    }
}

}  // namespace tqk::gif
