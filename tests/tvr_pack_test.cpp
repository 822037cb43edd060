#include "tvr_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "tqk_format.h"

namespace tqk {
namespace {

using Words = std::vector<uint32_t>;

// The smallest packed size the format allows for this pair, by dynamic programming over
// every split into alternating runs (first run unchanged, each run one count word,
// literal words stored).
size_t SmallestPackedBytes(const Words& cur, const Words& prev) {
    const size_t n = cur.size();
    const size_t kInf = SIZE_MAX / 2;
    std::vector<size_t> endU(n + 1, kInf), endL(n + 1, kInf);
    for (size_t i = 0; i <= n; ++i) {
        // An unchanged run over [j, i) after a literal run ending at j (or the start).
        for (size_t j = i + 1; j-- > 0;) {
            if (j < i && cur[j] != prev[j]) break;
            const size_t before = j == 0 ? 0 : endL[j];
            endU[i] = std::min(endU[i], before + 4);
        }
        for (size_t j = 0; j <= i; ++j)
            endL[i] = std::min(endL[i], endU[j] + 4 + 4 * (i - j));
    }
    return std::min(endU[n], endL[n]);
}

struct Packed {
    Words out;
    int32_t words;
};

Packed Pack(const Words& cur, const Words& prev) {
    Packed p;
    p.out.assign(PackedCapacity(cur.size() * 4) / 4, 0xDEADBEEF);
    p.words = PackFrame(reinterpret_cast<uint8_t*>(p.out.data()),
                        reinterpret_cast<const uint8_t*>(cur.data()),
                        reinterpret_cast<const uint8_t*>(prev.data()),
                        static_cast<int32_t>(cur.size()));
    return p;
}

void CheckPair(const Words& cur, const Words& prev) {
    const Words curCopy = cur, prevCopy = prev;
    const Packed p = Pack(cur, prev);
    const size_t F = cur.size() * 4;
    ASSERT_GE(p.words, 1);
    ASSERT_LE(size_t(p.words) * 4, PackedCapacity(F));
    if (F >= 16) {
        EXPECT_LE(size_t(p.words) * 4, F * 3 / 2);
    }
    EXPECT_EQ(cur, curCopy);
    EXPECT_EQ(prev, prevCopy);
    Words frame = prev;
    ASSERT_EQ(UnpackFrameInPlace(reinterpret_cast<const uint8_t*>(p.out.data()),
                                 size_t(p.words) * 4, reinterpret_cast<uint8_t*>(frame.data()), F),
              kOk);
    EXPECT_EQ(frame, cur);
    EXPECT_EQ(size_t(p.words) * 4, SmallestPackedBytes(cur, prev));
    // The first run is an unchanged one: its count says how many leading words are equal.
    size_t lead = 0;
    while (lead < cur.size() && cur[lead] == prev[lead]) ++lead;
    EXPECT_EQ(p.out[0], lead);
}

TEST(Pack, EveryRunLengthEdge) {
    // Every pattern of changed words in frames of 1 to 10 words.
    for (size_t n = 1; n <= 10; ++n) {
        for (uint32_t mask = 0; mask < (1u << n); ++mask) {
            SCOPED_TRACE(testing::Message() << n << " words, mask " << mask);
            Words prev(n), cur(n);
            for (size_t i = 0; i < n; ++i) {
                prev[i] = uint32_t(i * 2654435761u);
                cur[i] = (mask >> i) & 1 ? ~prev[i] : prev[i];
            }
            CheckPair(cur, prev);
        }
    }
}

TEST(Pack, RandomPairsOfManyDensities) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const size_t n = 1 + rng() % 300;
        const uint32_t density = rng() % 101;
        Words prev(n), cur(n);
        for (size_t i = 0; i < n; ++i) {
            prev[i] = rng();
            cur[i] = rng() % 100 < density ? prev[i] ^ (1u << (rng() % 32)) : prev[i];
        }
        // Long runs of change and of quiet, as a desktop gives.
        if (round % 3 == 0) {
            const size_t a = rng() % n, b = a + rng() % (n - a);
            for (size_t i = a; i < b; ++i) cur[i] = prev[i];
        }
        SCOPED_TRACE(round);
        CheckPair(cur, prev);
    }
}

TEST(Pack, IdenticalFramesAndFirstFrame) {
    Words a(1000, 0x12345678);
    Packed p = Pack(a, a);
    EXPECT_EQ(p.words, 1);
    EXPECT_EQ(p.out[0], 1000u);
    Words zero(1000, 0);
    p = Pack(a, zero);  // the first frame of a recording is packed against zeros
    EXPECT_EQ(p.words, 1002);
    EXPECT_EQ(p.out[0], 0u);
    EXPECT_EQ(p.out[1], 1000u);
}

TEST(Pack, WorstCaseStaysUnderOneAndAHalfFrames) {
    // Alternating changed and unchanged words, and pairs of each: the costliest patterns.
    for (int period : {2, 3, 4, 5}) {
        Words prev(3000, 1), cur(3000, 1);
        for (size_t i = 0; i < cur.size(); i += size_t(period)) cur[i] = 2;
        SCOPED_TRACE(period);
        CheckPair(cur, prev);
    }
}

}  // namespace
}  // namespace tqk
