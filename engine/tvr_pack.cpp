#include "tvr_pack.h"

#include <cstring>

namespace tqk {

namespace {
inline uint32_t Word(const uint8_t* p, int32_t i) {
    uint32_t v;
    std::memcpy(&v, p + size_t(i) * 4, 4);
    return v;
}
inline void Put(uint8_t* out, int32_t at, uint32_t v) { std::memcpy(out + size_t(at) * 4, &v, 4); }
}  // namespace

// Greedy and size-optimal: a literal run is ended only at an unchanged gap of two words
// or more (a one-word gap costs 4 bytes folded in, 8 bytes as a run of its own).
int32_t PackFrame(uint8_t* out, const uint8_t* cur, const uint8_t* prev, int32_t words) {
    int32_t o = 0;
    int32_t i = 0;
    while (true) {
        const int32_t same0 = i;
        while (i < words && Word(cur, i) == Word(prev, i)) ++i;
        Put(out, o++, uint32_t(i - same0));
        if (i >= words) return o;
        const int32_t countAt = o++;
        const int32_t lit0 = i;
        while (i < words) {
            if (Word(cur, i) != Word(prev, i)) { ++i; continue; }
            if (i + 1 < words && Word(cur, i + 1) != Word(prev, i + 1)) { i += 2; continue; }
            break;
        }
        std::memcpy(out + size_t(o) * 4, cur + size_t(lit0) * 4, size_t(i - lit0) * 4);
        o += i - lit0;
        Put(out, countAt, uint32_t(i - lit0));
        if (i >= words) return o;
    }
}

}  // namespace tqk
