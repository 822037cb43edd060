// Copying one literal run, shared by the packer and the unpacker. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tqk {

// Copies a literal run of b bytes (a multiple of 4). Most runs of a changing desktop are a
// few words long, where calling memcpy costs more than the copy itself; the short cases move
// two overlapping blocks and never touch a byte outside [0, b).
inline void CopyRun(uint8_t* dst, const uint8_t* src, size_t b) {
    if (b <= 16) {
        if (b >= 8) {
            uint64_t x, y;
            std::memcpy(&x, src, 8);
            std::memcpy(&y, src + b - 8, 8);
            std::memcpy(dst, &x, 8);
            std::memcpy(dst + b - 8, &y, 8);
        } else if (b == 4) {
            std::memcpy(dst, src, 4);
        }
    } else if (b <= 64) {
        // Two blocks of 16 from each end; for 32 bytes or less the pairs overlap fully.
        const size_t mid = b > 32 ? 16 : b - 16;
        uint8_t x[16], y[16], z[16], w[16];
        std::memcpy(x, src, 16);
        std::memcpy(y, src + mid, 16);
        std::memcpy(z, src + b - 16 - mid, 16);
        std::memcpy(w, src + b - 16, 16);
        std::memcpy(dst, x, 16);
        std::memcpy(dst + mid, y, 16);
        std::memcpy(dst + b - 16 - mid, z, 16);
        std::memcpy(dst + b - 16, w, 16);
    } else {
        std::memcpy(dst, src, b);
    }
}

}  // namespace tqk
