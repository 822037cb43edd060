// Colour tables of GIF frames: the exact colours of a frame that has at most 256 of them, and a
// quantiser for frames that have more (median cut in the Oklab space, refined by k-means, with
// optional Floyd-Steinberg error diffusion). Pixels are 0x00RRGGBB. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tqk::gif {

// A set of at most 256 colours, each with its index in order of arrival.
class ColourSet {
public:
    ColourSet();
    void Clear();
    // The colour's index, adding it when new; -1 when it is new and the set holds `limit`.
    int Add(uint32_t colour, int limit) {
        uint32_t slot = Hash(colour);
        for (;; slot = (slot + 1) & kMask) {
            const uint32_t k = keys_[slot];
            if (k == (colour | kUsed)) return index_[slot];
            if (k == 0) break;
        }
        if (int(colours_.size()) >= limit) return -1;
        keys_[slot] = colour | kUsed;
        index_[slot] = uint8_t(colours_.size());
        colours_.push_back(colour);
        return int(colours_.size()) - 1;
    }
    int Find(uint32_t colour) const {
        for (uint32_t slot = Hash(colour);; slot = (slot + 1) & kMask) {
            const uint32_t k = keys_[slot];
            if (k == (colour | kUsed)) return index_[slot];
            if (k == 0) return -1;
        }
    }
    int Size() const { return int(colours_.size()); }
    const std::vector<uint32_t>& Colours() const { return colours_; }

private:
    static constexpr uint32_t kUsed = 1u << 24;
    static constexpr uint32_t kMask = 1023;  // four slots per colour
    static uint32_t Hash(uint32_t c) { return (c * 2654435761u) >> 22; }
    std::vector<uint32_t> keys_;
    std::vector<uint8_t> index_;
    std::vector<uint32_t> colours_;
};

// Chooses a table for pixels of many colours and maps pixels onto it.
class Quantiser {
public:
    Quantiser();
    // Starts a new histogram.
    void Reset();
    void Add(uint32_t colour) {
        const uint32_t b = Bucket(colour);
        if (count_[b]++ == 0) touched_.push_back(b);
        sum_[b * 3] += (colour >> 16) & 255;
        sum_[b * 3 + 1] += (colour >> 8) & 255;
        sum_[b * 3 + 2] += colour & 255;
    }
    // A table of at most `count` colours (1 to 256) for the colours added since Reset; it also
    // becomes the table that Map uses.
    std::vector<uint32_t> MakeTable(int count);
    // Uses a table of the caller's for Map.
    void UseTable(const std::vector<uint32_t>& table);
    // The index of the table's colour nearest to `colour` as the eye sees it.
    uint8_t Map(uint32_t colour) {
        const uint32_t key =
            ((colour >> 18) & 63) << 12 | ((colour >> 10) & 63) << 6 | ((colour >> 2) & 63);
        const int16_t hit = cache_[key];
        return hit >= 0 ? uint8_t(hit) : Nearest(colour, key);
    }
    // Maps w x h pixels (rows stride pixels apart) to indices; where mask is given, only pixels
    // whose mask byte is set, the others becoming `skipIndex`. With dither, each pixel's error
    // is spread over its neighbours still to come.
    void MapPixels(const uint32_t* px, size_t stride, int w, int h, const uint8_t* mask,
                   uint8_t skipIndex, bool dither, uint8_t* out);

private:
    static uint32_t Bucket(uint32_t c) {
        return ((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31);
    }
    uint8_t Nearest(uint32_t colour, uint32_t key);

    std::vector<uint32_t> count_;
    std::vector<uint64_t> sum_;
    std::vector<uint32_t> touched_;
    std::vector<uint32_t> table_;
    std::vector<float> tableLab_;  // L, a, b per entry
    std::vector<int16_t> cache_;   // 6 bits a channel: the nearest entry, -1 unknown
};

// Oklab coordinates of an sRGB colour (L, a, b), for tests and the quantiser.
void ToOklab(uint32_t colour, float lab[3]);

}  // namespace tqk::gif
