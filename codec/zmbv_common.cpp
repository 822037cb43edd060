#include <cstring>

#include "zmbv.h"

namespace tqk::zmbv {

int BytesPerPixel(Format f) {
    switch (f) {
    case Format::kPal8: return 1;
    case Format::kRgb555:
    case Format::kRgb565: return 2;
    case Format::kBgr24: return 3;
    case Format::kBgrx32: return 4;
    }
    return 0;
}

Format FormatForBits(int bits) {
    switch (bits) {
    case 8: return Format::kPal8;
    case 15: return Format::kRgb555;
    case 16: return Format::kRgb565;
    default: return Format::kBgrx32;
    }
}

const char* StatusText(Status s) {
    switch (s) {
    case Status::kOk: return "ok";
    case Status::kBadArgument: return "frame size or depth not supported";
    case Status::kBadData: return "damaged frame";
    case Status::kNoKeyFrame: return "delta frame without a key frame";
    case Status::kUnsupported: return "stream form not supported";
    case Status::kZlibFailed: return "zlib failed";
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

}  // namespace tqk::zmbv
