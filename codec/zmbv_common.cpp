#include <cstring>

#include "zmbv.h"

namespace tqk::zmbv {

int BytesPerPixel(Format f) {
    switch (f) {
        case Format::kPal8:
            return 1;
        case Format::kRgb555:
        case Format::kRgb565:
            return 2;
        case Format::kBgr24:
            return 3;
        case Format::kBgrx32:
            return 4;
    }
    return 0;
}

Format FormatForBits(int bits) {
    switch (bits) {
        case 8:
            return Format::kPal8;
        case 15:
            return Format::kRgb555;
        case 16:
            return Format::kRgb565;
        default:
            return Format::kBgrx32;
    }
}

const char* StatusText(Status s) {
    switch (s) {
        case Status::kOk:
            return "ok";
        case Status::kBadArgument:
            return "frame size or depth not supported";
        case Status::kBadData:
            return "damaged frame";
        case Status::kNoKeyFrame:
            return "delta frame without a key frame";
        case Status::kUnsupported:
            return "stream form not supported";
        case Status::kZlibFailed:
            return "zlib failed";
    }
    return "unknown";
}

void PaletteToColourTable(const uint8_t* rgb, uint8_t* table) {
    for (int i = 0; i < 256; ++i) {
        table[i * 4 + 0] = rgb[i * 3 + 2];
        table[i * 4 + 1] = rgb[i * 3 + 1];
        table[i * 4 + 2] = rgb[i * 3 + 0];
        table[i * 4 + 3] = 0;
    }
}

bool ToDib(const Decoder& d, int outBits, bool bottomUp, uint8_t* out) {
    const Format f = d.StreamFormat();
    const int inBpp = BytesPerPixel(f);
    const bool direct = (outBits == 8 && f == Format::kPal8) ||
                        (outBits == 16 && (f == Format::kRgb555 || f == Format::kRgb565)) ||
                        (outBits == 24 && f == Format::kBgr24) ||
                        (outBits == 32 && f == Format::kBgrx32);
    const bool narrow = outBits == 24 && f == Format::kBgrx32;
    const bool widen = outBits == 32 && f == Format::kBgr24;
    if (!direct && !narrow && !widen) return false;
    const size_t w = size_t(d.Width()), h = size_t(d.Height());
    const size_t inStride = w * size_t(inBpp);
    const size_t outStride = (w * size_t(outBits) / 8 + 3) & ~size_t(3);
    const uint8_t* frame = d.Frame();
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* src = frame + y * inStride;
        uint8_t* dst = out + (bottomUp ? h - 1 - y : y) * outStride;
        if (direct) {
            std::memcpy(dst, src, inStride);
            std::memset(dst + inStride, 0, outStride - inStride);
        } else if (narrow) {
            for (size_t x = 0; x < w; ++x) {
                dst[x * 3] = src[x * 4];
                dst[x * 3 + 1] = src[x * 4 + 1];
                dst[x * 3 + 2] = src[x * 4 + 2];
            }
            std::memset(dst + w * 3, 0, outStride - w * 3);
        } else {
            for (size_t x = 0; x < w; ++x) {
                dst[x * 4] = src[x * 3];
                dst[x * 4 + 1] = src[x * 3 + 1];
                dst[x * 4 + 2] = src[x * 3 + 2];
                dst[x * 4 + 3] = 0;
            }
        }
    }
    return true;
}

}  // namespace tqk::zmbv
