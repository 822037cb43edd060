// The ZMBV bitstream ("Zip Motion Blocks Video", fourcc ZMBV): a lossless screen codec that
// every libavcodec-based player decodes. Frames are 16 x 16 blocks, each copied from the
// previous frame at a motion vector and optionally XORed with stored differences, all packed
// through one zlib stream per key-frame interval. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tqk::zmbv {

inline constexpr uint32_t kFourCC = 0x56424D5A;  // "ZMBV" little-endian
inline constexpr int kBlockSize = 16;
inline constexpr int kDefaultKeyInterval = 300;
// The largest frame either side accepts: a cap on every allocation a stream header can cause.
inline constexpr int kMaxDimension = 16384;
inline constexpr uint64_t kMaxFrameBytes = uint64_t{256} << 20;

// Video formats of the key-frame header.
enum class Format : uint8_t {
    kPal8 = 4,
    kRgb555 = 5,
    kRgb565 = 6,
    kBgr24 = 7,  // decoded, never written (libavcodec does not decode it)
    kBgrx32 = 8,
};

int BytesPerPixel(Format f);

enum class Status {
    kOk,
    kBadArgument,  // size or depth the codec cannot carry
    kBadData,      // a chunk that is not a valid frame of this stream
    kNoKeyFrame,   // a delta frame before any key frame
    kUnsupported,  // a valid header of a form this decoder does not handle
    kZlibFailed,   // zlib could not start (out of memory)
};

const char* StatusText(Status s);

// Layout of the caller's pixels: bits 8 (with a colour table), 15 (5-5-5), 16 (5-6-5), 24 or
// 32 (blue, green, red, unused). 15 and 16 are 2-byte pixels; 24-bit frames are stored as 32.
struct InputLayout {
    int width = 0;
    int height = 0;
    int bits = 32;
};

// The stream format the encoder writes for a layout.
Format FormatForBits(int bits);

struct EncoderOptions {
    int keyInterval = kDefaultKeyInterval;  // a key frame every this many frames (>= 1)
    int zlibLevel = -1;                     // 0-9, or -1: chosen frame by frame
};

struct EncodedFrame {
    std::vector<uint8_t> bytes;
    bool keyFrame = false;
};

class Encoder {
public:
    Encoder();
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    [[nodiscard]] Status Start(const InputLayout& layout, const EncoderOptions& options = {});
    // Encodes one frame. top points at the top row, stride is the byte distance from one row
    // to the next one down (negative for bottom-up bitmaps). colourTable: 256 entries of blue,
    // green, red, unused, required for 8-bit frames. forceKey asks for a key frame now.
    [[nodiscard]] Status Encode(const uint8_t* top, ptrdiff_t stride, const uint8_t* colourTable,
                                bool forceKey, EncodedFrame* out);
    // Bytes a frame can take at most (for a caller that sizes its buffer once).
    size_t MaxFrameBytes() const;
    Format StreamFormat() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

class Decoder {
public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // width and height come from the container (the stream's bitmap header).
    [[nodiscard]] Status Start(int width, int height);
    [[nodiscard]] Status Decode(const uint8_t* data, size_t n);
    // After a successful Decode: the picture, top-down, Width() x BytesPerPixel(format) a row.
    const uint8_t* Frame() const;
    // 256 entries of red, green, blue (8-bit streams).
    const uint8_t* Palette() const;
    Format StreamFormat() const;
    bool LastWasKey() const;
    int Width() const;
    int Height() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

// The colour table of an 8-bit stream as 256 entries of blue, green, red, 0.
void PaletteToColourTable(const uint8_t* rgb, uint8_t* table);

}  // namespace tqk::zmbv
