// The bitmap side of the codec for a Video for Windows driver and the tools: which
// device-independent bitmaps the compressor takes and the decompressor gives, and the decoded
// picture written as one. Portable: the bitmap header is read and written byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zmbv.h"

namespace tqk::zmbv {

inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiBitfields = 3;
inline constexpr size_t kBitmapHeaderBytes = 40;

// The fields of a BITMAPINFOHEADER that matter here, with the three masks of a bit-field
// header (read only when compression is kBiBitfields).
struct DibFormat {
    int32_t width = 0;
    int32_t height = 0;  // negative: rows top-down
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    uint32_t clrUsed = 0;
    uint32_t masks[3] = {};
};

// Reads a header of at least 40 bytes (the masks follow a bit-field header). avail is how
// many bytes the caller can vouch for; false when too few.
bool ReadDibFormat(const uint8_t* p, size_t avail, DibFormat* f);
void WriteDibFormat(const DibFormat& f, uint8_t* p);  // 40 bytes

// The encoder's input bits (8, 15, 16, 24, 32) for an uncompressed bitmap; 0 when the
// compressor does not take it.
int CompressInputBits(const DibFormat& in);
// The header of the compressed stream for an input bitmap: fourcc ZMBV, the stream's depth
// (8, 16 or 32; 16 also for 5-5-5), width and positive height, the largest frame's size.
DibFormat CompressedFormat(const DibFormat& in);
// Whether a header describes a stream this decoder reads.
bool IsZmbvFormat(const DibFormat& f);

// A layout the decoded picture can be written in.
struct DibOutput {
    int bits = 32;       // 16, 24 or 32
    bool is565 = false;  // 16 bits: 5-6-5 (bit fields) rather than 5-5-5
    bool topDown = false;
};
// The output for a bitmap header the decompressor is asked to fill; false when it cannot.
// 24 and 32 bits are given for every stream, 16 bits for 16-bit streams. 8 bits are not
// (the caller's colour table would have to be the stream's).
bool DecompressOutput(const DibFormat& in, const DibFormat& out, DibOutput* o);
// The output the decompressor suggests: 32 bits, which holds every stream exactly.
DibFormat SuggestedOutput(const DibFormat& in);
// Bytes of one bitmap of that layout (rows padded to 4 bytes).
size_t DibImageBytes(int width, int height, int bits);

// Writes the decoded picture in the layout o. A 16-bit stream is widened to 24 or 32 bits
// (5 bits c to 8 as c << 3 | c >> 2, 6 bits as c << 2 | c >> 4), an 8-bit stream through its
// palette, and 5-5-5 and 5-6-5 are turned into each other. false when o does not fit the
// stream (16 bits from an 8- or 32-bit stream).
bool WriteDib(const Decoder& d, const DibOutput& o, uint8_t* out);

}  // namespace tqk::zmbv
