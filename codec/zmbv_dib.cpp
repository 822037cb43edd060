#include "zmbv_dib.h"

#include <cstring>

namespace tqk::zmbv {
namespace {

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

bool Is565(const DibFormat& f) {
    return f.masks[0] == 0xF800 && f.masks[1] == 0x07E0 && f.masks[2] == 0x001F;
}
bool Is555(const DibFormat& f) {
    return f.masks[0] == 0x7C00 && f.masks[1] == 0x03E0 && f.masks[2] == 0x001F;
}
bool SizeOk(const DibFormat& f) {
    const int64_t h = f.height < 0 ? -int64_t(f.height) : int64_t(f.height);
    return f.width > 0 && h > 0 && f.width <= kMaxDimension && h <= kMaxDimension &&
           uint64_t(f.width) * uint64_t(h) * 4 <= kMaxFrameBytes && f.planes == 1;
}
int32_t AbsHeight(const DibFormat& f) { return f.height < 0 ? -f.height : f.height; }

inline uint8_t Widen5(uint32_t c) { return uint8_t((c << 3) | (c >> 2)); }
inline uint8_t Widen6(uint32_t c) { return uint8_t((c << 2) | (c >> 4)); }

}  // namespace

bool ReadDibFormat(const uint8_t* p, size_t avail, DibFormat* f) {
    if (!p || avail < kBitmapHeaderBytes || Get32(p) < kBitmapHeaderBytes) return false;
    f->width = int32_t(Get32(p + 4));
    f->height = int32_t(Get32(p + 8));
    f->planes = Get16(p + 12);
    f->bitCount = Get16(p + 14);
    f->compression = Get32(p + 16);
    f->sizeImage = Get32(p + 20);
    f->clrUsed = Get32(p + 32);
    f->masks[0] = f->masks[1] = f->masks[2] = 0;
    if (f->compression == kBiBitfields) {
        // The masks follow the 40-byte header (or are its last fields in a longer one).
        if (avail < kBitmapHeaderBytes + 12) return false;
        for (int i = 0; i < 3; ++i) f->masks[i] = Get32(p + 40 + 4 * i);
    }
    return true;
}

void WriteDibFormat(const DibFormat& f, uint8_t* p) {
    std::memset(p, 0, kBitmapHeaderBytes);
    Put32(p, uint32_t(kBitmapHeaderBytes));
    Put32(p + 4, uint32_t(f.width));
    Put32(p + 8, uint32_t(f.height));
    Put16(p + 12, f.planes);
    Put16(p + 14, f.bitCount);
    Put32(p + 16, f.compression);
    Put32(p + 20, f.sizeImage);
    Put32(p + 32, f.clrUsed);
}

int CompressInputBits(const DibFormat& in) {
    if (!SizeOk(in)) return 0;
    if (in.compression == kBiRgb) {
        switch (in.bitCount) {
        case 8: return 8;
        case 16: return 15;
        case 24: return 24;
        case 32: return 32;
        }
        return 0;
    }
    if (in.compression == kBiBitfields && in.bitCount == 16)
        return Is565(in) ? 16 : Is555(in) ? 15 : 0;
    return 0;
}

size_t DibImageBytes(int width, int height, int bits) {
    return ((size_t(width) * size_t(bits) + 31) / 32) * 4 * size_t(height);
}

DibFormat CompressedFormat(const DibFormat& in) {
    DibFormat f;
    const int bits = CompressInputBits(in);
    const int bpp = BytesPerPixel(FormatForBits(bits));
    f.width = in.width;
    f.height = AbsHeight(in);
    f.bitCount = uint16_t(bpp * 8);
    f.compression = kFourCC;
    f.sizeImage = uint32_t(size_t(f.width) * size_t(f.height) * size_t(bpp));
    return f;
}

bool IsZmbvFormat(const DibFormat& f) {
    return f.compression == kFourCC && SizeOk(f) &&
           (f.bitCount == 8 || f.bitCount == 15 || f.bitCount == 16 || f.bitCount == 24 ||
            f.bitCount == 32);
}

bool DecompressOutput(const DibFormat& in, const DibFormat& out, DibOutput* o) {
    if (!IsZmbvFormat(in) || out.width != in.width || AbsHeight(out) != AbsHeight(in) ||
        out.planes != 1)
        return false;
    DibOutput r;
    r.bits = out.bitCount;
    r.topDown = out.height < 0;
    if (out.compression == kBiRgb) {
        if (out.bitCount == 24 || out.bitCount == 32) {
        } else if (out.bitCount == 16 && (in.bitCount == 15 || in.bitCount == 16)) {
        } else {
            return false;
        }
    } else if (out.compression == kBiBitfields && out.bitCount == 16 &&
               (in.bitCount == 15 || in.bitCount == 16) && (Is565(out) || Is555(out))) {
        r.is565 = Is565(out);
    } else {
        return false;
    }
    *o = r;
    return true;
}

DibFormat SuggestedOutput(const DibFormat& in) {
    DibFormat f;
    f.width = in.width;
    f.height = AbsHeight(in);
    f.bitCount = 32;
    f.compression = kBiRgb;
    f.sizeImage = uint32_t(DibImageBytes(f.width, f.height, 32));
    return f;
}

bool WriteDib(const Decoder& d, const DibOutput& o, uint8_t* out) {
    const Format f = d.StreamFormat();
    const bool sixteen = f == Format::kRgb555 || f == Format::kRgb565;
    if (o.bits == 16 && !sixteen) return false;
    if (o.bits != 16 && o.bits != 24 && o.bits != 32) return false;
    const size_t w = size_t(d.Width()), h = size_t(d.Height());
    const size_t inBpp = size_t(BytesPerPixel(f));
    const size_t inStride = w * inBpp;
    const size_t outStride = ((w * size_t(o.bits) + 31) / 32) * 4;
    const size_t outBpp = size_t(o.bits) / 8;
    const uint8_t* frame = d.Frame();
    const uint8_t* pal = d.Palette();
    const bool same = (o.bits == 32 && f == Format::kBgrx32) ||
                      (o.bits == 24 && f == Format::kBgr24) ||
                      (o.bits == 16 && o.is565 == (f == Format::kRgb565));
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* src = frame + y * inStride;
        uint8_t* dst = out + (o.topDown ? y : h - 1 - y) * outStride;
        std::memset(dst + w * outBpp, 0, outStride - w * outBpp);
        if (same) {
            std::memcpy(dst, src, inStride);
            continue;
        }
        for (size_t x = 0; x < w; ++x) {
            uint8_t b, g, r;
            const uint8_t* px = src + x * inBpp;
            if (o.bits == 16) {
                // 5-5-5 and 5-6-5 into each other.
                const uint32_t v = uint32_t(px[0]) | uint32_t(px[1]) << 8;
                const uint32_t nv = o.is565 ? ((v & 0x7FE0) << 1) | ((v & 0x0200) >> 4) | (v & 31)
                                            : ((v >> 1) & 0x7FE0) | (v & 31);
                dst[x * 2] = uint8_t(nv);
                dst[x * 2 + 1] = uint8_t(nv >> 8);
                continue;
            }
            switch (f) {
            case Format::kPal8:
                r = pal[px[0] * 3];
                g = pal[px[0] * 3 + 1];
                b = pal[px[0] * 3 + 2];
                break;
            case Format::kRgb555: {
                const uint32_t v = uint32_t(px[0]) | uint32_t(px[1]) << 8;
                b = Widen5(v & 31);
                g = Widen5((v >> 5) & 31);
                r = Widen5((v >> 10) & 31);
                break;
            }
            case Format::kRgb565: {
                const uint32_t v = uint32_t(px[0]) | uint32_t(px[1]) << 8;
                b = Widen5(v & 31);
                g = Widen6((v >> 5) & 63);
                r = Widen5((v >> 11) & 31);
                break;
            }
            default:
                b = px[0];
                g = px[1];
                r = px[2];
                break;
            }
            uint8_t* q = dst + x * outBpp;
            q[0] = b;
            q[1] = g;
            q[2] = r;
            if (outBpp == 4) q[3] = 0;
        }
    }
    return true;
}

}  // namespace tqk::zmbv
