#include "tvr_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "tqk_format.h"

namespace tqk::test {
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
        for (size_t j = 0; j <= i; ++j) endL[i] = std::min(endL[i], endU[j] + 4 + 4 * (i - j));
    }
    return std::min(endU[n], endL[n]);
}

// The greedy rule written plainly, word by word: every version of the packer must give
// exactly its output.
Words ReferencePack(const Words& cur, const Words& prev) {
    Words out;
    const size_t n = cur.size();
    size_t i = 0;
    while (true) {
        const size_t same0 = i;
        while (i < n && cur[i] == prev[i]) ++i;
        out.push_back(uint32_t(i - same0));
        if (i >= n) return out;
        const size_t lit0 = i;
        while (i < n) {
            if (cur[i] != prev[i]) {
                ++i;
                continue;
            }
            if (i + 1 < n && cur[i + 1] != prev[i + 1]) {
                i += 2;
                continue;
            }
            break;
        }
        out.push_back(uint32_t(i - lit0));
        out.insert(out.end(), cur.begin() + long(lit0), cur.begin() + long(i));
        if (i >= n) return out;
    }
}

std::vector<PackerVersion> Versions() {
    std::vector<PackerVersion> v;
    for (PackerVersion x : {PackerVersion::Portable, PackerVersion::Sse2, PackerVersion::Avx2})
        if (PackerVersionAvailable(x)) v.push_back(x);
    return v;
}
const char* Name(PackerVersion v) {
    return v == PackerVersion::Avx2 ? "avx2" : v == PackerVersion::Sse2 ? "sse2" : "portable";
}

struct Packed {
    Words out;
    int32_t words;
};

Packed Pack(const Words& cur, const Words& prev, PackerVersion v) {
    Packed p;
    p.out.assign(PackedCapacity(cur.size() * 4) / 4, 0xDEADBEEF);
    p.words = PackFrameWith(
        v, reinterpret_cast<uint8_t*>(p.out.data()), reinterpret_cast<const uint8_t*>(cur.data()),
        reinterpret_cast<const uint8_t*>(prev.data()), static_cast<int32_t>(cur.size()));
    return p;
}

Packed Pack(const Words& cur, const Words& prev) {
    Packed p;
    p.out.assign(PackedCapacity(cur.size() * 4) / 4, 0xDEADBEEF);
    p.words = PackFrame(
        reinterpret_cast<uint8_t*>(p.out.data()), reinterpret_cast<const uint8_t*>(cur.data()),
        reinterpret_cast<const uint8_t*>(prev.data()), static_cast<int32_t>(cur.size()));
    return p;
}

// Every version against the reference, and the output decodes back to cur.
void CheckSameAsReference(const Words& cur, const Words& prev) {
    const Words ref = ReferencePack(cur, prev);
    for (PackerVersion v : Versions()) {
        SCOPED_TRACE(Name(v));
        const Words curCopy = cur, prevCopy = prev;
        const Packed p = Pack(cur, prev, v);
        ASSERT_EQ(size_t(p.words), ref.size());
        ASSERT_TRUE(std::equal(ref.begin(), ref.end(), p.out.begin()));
        // Nothing is written past the packed words.
        for (size_t i = ref.size(); i < p.out.size(); ++i) ASSERT_EQ(p.out[i], 0xDEADBEEF) << i;
        EXPECT_EQ(cur, curCopy);
        EXPECT_EQ(prev, prevCopy);
        Words frame = prev;
        ASSERT_EQ(
            UnpackFrameInPlace(reinterpret_cast<const uint8_t*>(p.out.data()), size_t(p.words) * 4,
                               reinterpret_cast<uint8_t*>(frame.data()), cur.size() * 4),
            kOk);
        EXPECT_EQ(frame, cur);
    }
}

void CheckPair(const Words& cur, const Words& prev) {
    CheckSameAsReference(cur, prev);
    const Packed p = Pack(cur, prev);
    const size_t F = cur.size() * 4;
    ASSERT_GE(p.words, 1);
    ASSERT_LE(size_t(p.words) * 4, PackedCapacity(F));
    if (F >= 16) {
        EXPECT_LE(size_t(p.words) * 4, F * 3 / 2);
    }
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

TEST(Pack, EveryOffsetInsideAndAcrossBlocks) {
    // The fast versions test 4 to 32 words at a time and finish word by word: a change, a
    // quiet word, a quiet pair and a quiet tail at every position of frames whose length is
    // and is not a multiple of those blocks.
    std::vector<size_t> lengths;
    for (size_t n = 1; n <= 70; ++n) lengths.push_back(n);
    for (size_t n : {95, 96, 97, 127, 128, 129, 130, 161}) lengths.push_back(n);
    for (size_t n : lengths) {
        Words prev(n);
        for (size_t i = 0; i < n; ++i) prev[i] = uint32_t(i * 2654435761u) | 1;
        Words changed(n);
        for (size_t i = 0; i < n; ++i) changed[i] = prev[i] ^ (1u << (i % 32));
        for (size_t d = 0; d < n; ++d) {
            SCOPED_TRACE(testing::Message() << n << " words, position " << d);
            Words cur = prev;
            cur[d] = changed[d];  // one change in a quiet frame
            CheckSameAsReference(cur, prev);
            cur = changed;
            cur[d] = prev[d];  // one quiet word in a changed frame: folded in
            CheckSameAsReference(cur, prev);
            if (d + 1 < n) {
                cur[d + 1] = prev[d + 1];  // a quiet pair ends the literal run
                CheckSameAsReference(cur, prev);
            }
            cur = changed;
            for (size_t i = d; i < n; ++i) cur[i] = prev[i];  // a quiet tail
            CheckSameAsReference(cur, prev);
        }
    }
}

TEST(Pack, DifferenceInEveryByteOfAWord) {
    // The wide compares must see a change in any one byte of a word.
    for (size_t n : {8, 33, 64}) {
        for (size_t d = 0; d < n * 4; ++d) {
            SCOPED_TRACE(testing::Message() << n << " words, byte " << d);
            Words prev(n, 0x01020304), cur = prev;
            reinterpret_cast<uint8_t*>(cur.data())[d] ^= 0x80;
            CheckSameAsReference(cur, prev);
        }
    }
}

}  // namespace
}  // namespace tqk::test
