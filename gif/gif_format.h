// GIF89a building blocks: the LZW coder of image data and the blocks a file is made of (header
// with the logical screen, the looping extension, graphic control extensions, image descriptors
// with their colour tables, the trailer). Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tqk::gif {

// A GIF stores sides and positions in 16 bits.
constexpr int kMaxSide = 65535;
// Codes never grow beyond 12 bits, so the code table holds at most 4096 entries.
constexpr int kMaxCodeBits = 12;
constexpr uint32_t kMaxCodes = 1u << kMaxCodeBits;
// Delays are hundredths of a second in 16 bits.
constexpr uint32_t kMaxDelay = 65535;

// Disposal methods of a graphic control extension.
enum class Disposal : uint8_t { kNone = 0, kKeep = 1, kBackground = 2, kPrevious = 3 };

// Bits of a colour table holding `colours` entries (1 to 256): the table has 1 << bits entries.
int TableBits(int colours);
// The LZW minimum code size of image data coded against a table of `bits` bits (2 at least).
inline int MinCodeSize(int tableBits) { return tableBits < 2 ? 2 : tableBits; }

// Codes colour indices as the LZW code stream of one image: a clear code first, codes widening
// from minCodeSize + 1 bits up to 12, a clear code (and a fresh table) whenever the table has
// filled, the end code last; bits packed from the lowest up. The table lives across calls so
// that coding many images allocates nothing.
class LzwEncoder {
public:
    LzwEncoder();
    // Appends the packed code bytes (not yet cut into sub-blocks) to out. Every index must be
    // below 1 << minCodeSize (2 to 8).
    void Encode(const uint8_t* indices, size_t n, int minCodeSize, std::vector<uint8_t>* out);
    // The same cut into sub-blocks with the block terminator, as image data is stored.
    void EncodeBlocks(const uint8_t* indices, size_t n, int minCodeSize, std::vector<uint8_t>* out);

private:
    std::vector<uint16_t> table_;  // 4096 rows of up to 256 children
    size_t used_ = 0;              // entries that may be set
    // Codes into codes_; returns the bytes used.
    size_t Code(const uint8_t* indices, size_t n, int minCodeSize);
    std::unique_ptr<uint8_t[]> codes_;
    size_t codesRoom_ = 0;
};

// Appends data as sub-blocks of at most 255 bytes and the block terminator.
void AppendSubBlocks(const uint8_t* data, size_t n, std::vector<uint8_t>* out);

// "GIF89a" and the logical screen descriptor, with a global colour table of 1 << tableBits
// entries (0x00RRGGBB, `colours` of them given, the rest black) when tableBits > 0.
void AppendHeader(int width, int height, const uint32_t* table, int colours, int tableBits,
                  std::vector<uint8_t>* out);
// The application extension that makes browsers repeat the animation; 0 loops for ever.
void AppendLoop(uint16_t loops, std::vector<uint8_t>* out);
// A graphic control extension; transparent is an index or -1. Returns the offset in out of its
// 16-bit delay, so that a frame's delay can be set once the next frame is known.
size_t AppendGraphicControl(uint32_t delay, Disposal disposal, int transparent,
                            std::vector<uint8_t>* out);
// Sets a delay written by AppendGraphicControl.
void SetDelay(std::vector<uint8_t>* bytes, size_t at, uint32_t delay);

struct ImageRect {
    int x = 0, y = 0, w = 0, h = 0;
};
// An image descriptor, its local colour table (when tableBits > 0) and its LZW data coded from
// w x h indices row by row.
void AppendImage(const ImageRect& r, const uint32_t* table, int colours, int tableBits,
                 const uint8_t* indices, int minCodeSize, LzwEncoder* lzw,
                 std::vector<uint8_t>* out);
void AppendTrailer(std::vector<uint8_t>* out);

}  // namespace tqk::gif
