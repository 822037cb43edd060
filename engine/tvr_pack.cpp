#include "tvr_pack.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

#include "copy_run.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TVR_X86 1
#include <immintrin.h>
#endif

#if defined(__GNUC__)
#define TVR_ALWAYS_INLINE __attribute__((always_inline))
#else
#define TVR_ALWAYS_INLINE
#endif

namespace tqk {

namespace {

// The greedy rule, size-optimal: a literal run is ended only at an unchanged gap of two
// words or more (a one-word gap costs 4 bytes folded in, 8 bytes as a run of its own).
// So the packer needs two searches: the first changed word (end of an unchanged run) and the
// first two unchanged words in a row (end of a literal run). Each comes in a portable
// version and, on x86, in SSE2 and AVX2 versions that test 8 to 32 words per step; all give
// the same answers, so the output does not depend on the machine.

inline bool SameWord(const uint8_t* a, const uint8_t* b, size_t i) {
    return std::memcmp(a + i * 4, b + i * 4, 4) == 0;
}
inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Word-by-word tails shared by every version.
inline size_t FirstDiffTail(const uint8_t* a, const uint8_t* b, size_t i, size_t n) {
    while (i < n && SameWord(a, b, i)) ++i;
    return i;
}
// First j >= i with words j and j + 1 both unchanged, or n when there is none.
inline size_t FirstPairTail(const uint8_t* a, const uint8_t* b, size_t i, size_t n) {
    while (i + 1 < n) {
        if (!SameWord(a, b, i + 1)) {
            i += 2;  // neither i nor i + 1 can start a pair
        } else if (SameWord(a, b, i)) {
            return i;
        } else {
            ++i;
        }
    }
    return n;
}

// Portable: 64-bit compares, 32 bytes per step.
struct ScanPortable {
    static size_t FirstDiff(const uint8_t* a, const uint8_t* b, size_t i, size_t n) {
        for (; i + 8 <= n; i += 8) {
            const uint8_t* x = a + i * 4;
            const uint8_t* y = b + i * 4;
            const uint64_t d = (Load64(x) ^ Load64(y)) | (Load64(x + 8) ^ Load64(y + 8)) |
                               (Load64(x + 16) ^ Load64(y + 16)) |
                               (Load64(x + 24) ^ Load64(y + 24));
            if (d != 0) break;
        }
        return FirstDiffTail(a, b, i, n);
    }
    static size_t FirstPair(const uint8_t* a, const uint8_t* b, size_t i, size_t n) {
        return FirstPairTail(a, b, i, n);
    }
};

#ifdef TVR_X86
#define TVR_SSE2 __attribute__((target("sse2")))
#define TVR_AVX2 __attribute__((target("avx2")))

struct ScanSse2 {
    // Bit k set when word i + k is unchanged (k < 4).
    TVR_SSE2 static inline unsigned Same4(const uint8_t* a, const uint8_t* b, size_t i) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i * 4));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i * 4));
        return unsigned(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(x, y))));
    }
    TVR_SSE2 static inline __m128i Eq(const uint8_t* a, const uint8_t* b, size_t byteAt) {
        return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + byteAt)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + byteAt)));
    }
    TVR_SSE2 static inline size_t FirstDiff(const uint8_t* a, const uint8_t* b, size_t i,
                                            size_t n) {
        for (; i + 16 <= n; i += 16) {  // 64 bytes a step
            const size_t at = i * 4;
            const __m128i all = _mm_and_si128(_mm_and_si128(Eq(a, b, at), Eq(a, b, at + 16)),
                                              _mm_and_si128(Eq(a, b, at + 32), Eq(a, b, at + 48)));
            if (_mm_movemask_epi8(all) != 0xFFFF) break;
        }
        for (; i + 4 <= n; i += 4) {
            const unsigned same = Same4(a, b, i);
            if (same != 0xF) return i + unsigned(__builtin_ctz(~same));
        }
        return FirstDiffTail(a, b, i, n);
    }
    TVR_SSE2 static inline size_t FirstPair(const uint8_t* a, const uint8_t* b, size_t i,
                                            size_t n) {
        for (; i + 5 <= n; i += 4) {
            const unsigned pairs = Same4(a, b, i) & Same4(a, b, i + 1);
            if (pairs != 0) return i + unsigned(__builtin_ctz(pairs));
        }
        return FirstPairTail(a, b, i, n);
    }
};

struct ScanAvx2 {
    TVR_AVX2 static inline __m256i Eq(const uint8_t* a, const uint8_t* b, size_t byteAt) {
        return _mm256_cmpeq_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + byteAt)),
                                  _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + byteAt)));
    }
    // Bit k set when word i + k is unchanged (k < 8).
    TVR_AVX2 static inline unsigned Same8(const uint8_t* a, const uint8_t* b, size_t i) {
        return unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(Eq(a, b, i * 4))));
    }
    TVR_AVX2 static inline size_t FirstDiff(const uint8_t* a, const uint8_t* b, size_t i,
                                            size_t n) {
        // A short unchanged run is common between the changes of one area: look at the
        // first 8 words before settling into 128-byte steps.
        if (i + 8 <= n) {
            const unsigned same = Same8(a, b, i);
            if (same != 0xFF) return i + unsigned(__builtin_ctz(~same));
            i += 8;
        }
        for (; i + 32 <= n; i += 32) {
            const size_t at = i * 4;
            const __m256i all =
                _mm256_and_si256(_mm256_and_si256(Eq(a, b, at), Eq(a, b, at + 32)),
                                 _mm256_and_si256(Eq(a, b, at + 64), Eq(a, b, at + 96)));
            if (unsigned(_mm256_movemask_epi8(all)) != 0xFFFFFFFFu) break;
        }
        for (; i + 8 <= n; i += 8) {
            const unsigned same = Same8(a, b, i);
            if (same != 0xFF) return i + unsigned(__builtin_ctz(~same));
        }
        return FirstDiffTail(a, b, i, n);
    }
    TVR_AVX2 static inline size_t FirstPair(const uint8_t* a, const uint8_t* b, size_t i,
                                            size_t n) {
        for (; i + 9 <= n; i += 8) {
            const unsigned pairs = Same8(a, b, i) & Same8(a, b, i + 1);
            if (pairs != 0) return i + unsigned(__builtin_ctz(pairs));
        }
        return FirstPairTail(a, b, i, n);
    }
};
#endif  // TVR_X86

template <class Scan>
TVR_ALWAYS_INLINE inline int32_t PackWith(uint8_t* out, const uint8_t* cur, const uint8_t* prev,
                                          size_t n) {
    size_t o = 0;  // words written
    size_t i = 0;
    while (true) {
        const size_t changed = Scan::FirstDiff(cur, prev, i, n);
        const uint32_t same = uint32_t(changed - i);
        std::memcpy(out + o * 4, &same, 4);
        ++o;
        if (changed >= n) return int32_t(o);
        // Word `changed` differs, so the literal run holds at least that word.
        size_t end = Scan::FirstPair(cur, prev, changed + 1, n);
        if (end == n && n - 1 > changed && SameWord(cur, prev, n - 1)) end = n - 1;
        const uint32_t count = uint32_t(end - changed);
        std::memcpy(out + o * 4, &count, 4);
        CopyRun(out + (o + 1) * 4, cur + changed * 4, size_t(count) * 4);
        o += 1 + count;
        if (end >= n) return int32_t(o);
        i = end;
    }
}

#ifdef TVR_X86
TVR_AVX2 int32_t PackAvx2(uint8_t* out, const uint8_t* cur, const uint8_t* prev, size_t n) {
    return PackWith<ScanAvx2>(out, cur, prev, n);
}
TVR_SSE2 int32_t PackSse2(uint8_t* out, const uint8_t* cur, const uint8_t* prev, size_t n) {
    return PackWith<ScanSse2>(out, cur, prev, n);
}
#endif

using PackFn = int32_t (*)(uint8_t*, const uint8_t*, const uint8_t*, size_t);

int32_t PackPortable(uint8_t* out, const uint8_t* cur, const uint8_t* prev, size_t n) {
    return PackWith<ScanPortable>(out, cur, prev, n);
}

bool Has(PackerVersion v) {
#ifdef TVR_X86
    __builtin_cpu_init();
    switch (v) {
    case PackerVersion::Portable: return true;
    // AVX2 also needs the system to save its registers, which the check includes.
    case PackerVersion::Avx2: return __builtin_cpu_supports("avx2");
#if defined(__x86_64__)
    case PackerVersion::Sse2: return true;
#else
    case PackerVersion::Sse2: return __builtin_cpu_supports("sse2");
#endif
    }
    return false;
#else
    return v == PackerVersion::Portable;
#endif
}

PackFn Packer(PackerVersion v) {
#ifdef TVR_X86
    if (v == PackerVersion::Avx2 && Has(v)) return PackAvx2;
    if (v == PackerVersion::Sse2 && Has(v)) return PackSse2;
#endif
    (void)v;
    return PackPortable;
}

// i686 machines without SSE2 get the portable loop.
PackFn ChoosePacker() {
    for (PackerVersion v : {PackerVersion::Avx2, PackerVersion::Sse2})
        if (Has(v)) return Packer(v);
    return PackPortable;
}

}  // namespace

int32_t PackFrame(uint8_t* out, const uint8_t* cur, const uint8_t* prev, int32_t words) {
    static const PackFn pack = ChoosePacker();
    return pack(out, cur, prev, words > 0 ? size_t(words) : 0);
}

bool PackerVersionAvailable(PackerVersion v) { return Has(v); }

int32_t PackFrameWith(PackerVersion v, uint8_t* out, const uint8_t* cur, const uint8_t* prev,
                      int32_t words) {
    return Packer(v)(out, cur, prev, words > 0 ? size_t(words) : 0);
}

}  // namespace tqk
