// The movie file format (.TQK): a 32-byte header and one "FRAM" record per frame slot,
// each frame packed as alternating unchanged/literal runs of 4-byte words against the
// previous frame. This is the only code that parses movie bytes. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "../common/result_code.h"

namespace tqk {

constexpr size_t kHeaderBytes = 32;
constexpr size_t kTagBlockBytes = 8;
constexpr size_t kRecordHeadBytes = 8;
constexpr size_t kDroppedRecordBytes = 12;
constexpr uint32_t kVersion = 1;
constexpr size_t kColourTableBytes = 1024;
// Frames larger than this are refused as damaged headers (-3): 1 GiB is far beyond any
// screen, and the bound keeps a hostile header from sizing buffers.
constexpr uint64_t kMaxFrameBytes = uint64_t{1} << 30;

inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint64_t LoadLE64(const uint8_t* p) {
    return LoadLE32(p) | (uint64_t{LoadLE32(p + 4)} << 32);
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
    StoreLE32(p, uint32_t(v));
    StoreLE32(p + 4, uint32_t(v >> 32));
}

// The description part of the header, in file order.
struct MovieHeader {
    int32_t Method = 0;
    int32_t BitCo = 0;
    int32_t W = 0;
    int32_t H = 0;
    int32_t fps = 0;
    int32_t sec = 0;
};

// Byte offsets of the header fields.
enum HeaderOffset : size_t {
    kOffMagic = 0,
    kOffVersion = 4,
    kOffMethod = 8,
    kOffBitCo = 12,
    kOffW = 16,
    kOffH = 20,
    kOffFps = 24,
    kOffSec = 28,
};
static_assert(kOffSec + 4 == kHeaderBytes, "header is 32 bytes");

void EncodeHeader(const MovieHeader& h, uint8_t out[kHeaderBytes]);
// Reads the description; kOk, or kErrBadFile when the tag is not "TVRX" or the version not 1.
[[nodiscard]] int32_t DecodeHeader(const uint8_t in[kHeaderBytes], MovieHeader* h);

// F: BitCo x H x W / 8, plus 1024 at 8 bits, in 64 bits. 0 when a factor is not positive.
uint64_t FrameBytes(const MovieHeader& h);
// Bytes of one row of a device-independent bitmap of W pixels at bits per pixel: the
// platform pads every row to whole 4-byte words. 0 when W or bits is not positive.
uint64_t DibRowBytes(int32_t W, int32_t bits);
// Whether a row of the movie's frames fills whole 4-byte words (W x BitCo a multiple of 32).
// Only then does a frame of F bytes match what the platform reads and writes for a W x H
// bitmap; any other width (not a multiple of 4 at 8 and 24 bits, odd at 16) has padded rows
// that F does not hold.
bool RowsFillWords(const MovieHeader& h);
// Number of records readers use: fps x sec (0 when either is not positive).
uint64_t FrameCount(const MovieHeader& h);

// The checks of GetTVRFileData after the tag: sizes, rate, length, method, depth, rows of
// whole words and the frame-size bound. kOk or kErrBadFile.
[[nodiscard]] int32_t CheckHeaderForInfo(const MovieHeader& h);
// The checks of playback and re-encoding after the tag: an 8-bit movie must be Type1 (-8);
// a header that cannot be played (rate or size below 1, a negative length, odd depth, padded
// rows, frame above the bound) is kErrBadFile. Every reader of frames applies it.
[[nodiscard]] int32_t CheckHeaderForPlay(const MovieHeader& h);

// GetTVRFileData's checks once the file exists and is open: its length (-12 when 0), then
// the first bytes read from it (got of them) as a header. Writes *h only on kOk.
[[nodiscard]] int32_t CheckInfoBytes(uint64_t fileLength, const uint8_t* first, size_t got,
                                     MovieHeader* h);

// Replaces each field whose new value is not 0 (the patching rule of SetTVRFileData).
void PatchHeader(MovieHeader* h, int32_t W, int32_t H, int32_t BitCo, int32_t fps, int32_t sec);

// Largest packed frame a writer may produce for frame size F: the compressor's output buffer
// (1.5 x F) or a whole-frame literal run (F + 8), whichever is larger.
uint64_t PackedCapacity(uint64_t F);

// Rebuilds a frame in place: frame holds the previous frame (F bytes) on entry and the new
// one on return. Never reads past packedBytes nor writes past F. kOk or kErrFrameSize; on
// failure the frame may be partly updated.
[[nodiscard]] int32_t UnpackFrameInPlace(const uint8_t* packed, size_t packedBytes, uint8_t* frame,
                                         size_t F);

// Record heads of the writer side.
void EncodeRecordHead(uint8_t out[kRecordHeadBytes], uint32_t packedBytes);
// The dropped-slot record: "FRAM", 4, F / 4.
void EncodeDroppedRecord(uint8_t out[kDroppedRecordBytes], uint64_t F);

// A sequential source of bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes; returns how many were read (fewer only at the end or on error).
    virtual size_t Read(void* dst, size_t n) = 0;
    // Bytes left, or -1 when unknown. Lets a reader refuse a record longer than the file
    // before allocating for it.
    virtual int64_t Remaining() const { return -1; }
    // Skips n bytes; false when fewer were there.
    virtual bool Skip(uint64_t n);
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    size_t Read(void* dst, size_t n) override;
    int64_t Remaining() const override { return static_cast<int64_t>(size_ - pos_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Zero-filled buffer from calloc: large frames cost no memory until touched.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using ByteBuffer = std::unique_ptr<uint8_t[], FreeDeleter>;
ByteBuffer AllocateZeroed(size_t n);

// Counts the whole records (head and packed bytes present) from the source's position on,
// stopping at the first bad tag, at a short record or after limit records.
uint64_t CountRecords(ByteSource& src, uint64_t limit);

// A movie file read at any offset, for the scan of its record heads.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual uint64_t Length() const = 0;
    // Reads up to n bytes at offset; returns how many were read.
    virtual size_t ReadAt(uint64_t offset, void* dst, size_t n) = 0;
};

class MemoryFile : public RandomSource {
public:
    MemoryFile(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t Length() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override;

private:
    const uint8_t* data_;
    size_t size_;
};

// How the records of a movie end, as far as their heads tell.
enum class RecordsEnd {
    kComplete,  // fps x sec whole records (anything behind them is ignored)
    // Fewer records, and what follows the last whole record is what a writer that stopped
    // (killed, crashed, power lost) leaves: the file ends there or inside the next record
    // (whose head is intact as far as it goes), or the next record's head is all zero and
    // every byte from the end of the largest record that could stand there on is zero (the
    // mapped writer's unwritten reserve, its head written last). Readers play such a movie
    // up to its last whole second.
    kCutShort,
    // Anything else behind the last whole record: damage, which readers report (-4 or -5)
    // when they reach it.
    kDamaged,
};

struct RecordScan {
    RecordsEnd end = RecordsEnd::kComplete;
    uint64_t records = 0;     // whole records (tag, size and bytes present), at most fps x sec
    uint64_t recordsEnd = 0;  // file offset right behind the last of them
    uint64_t secondsEnd = 0;  // file offset right behind the last record of a whole second
};

// Walks the record heads behind the header (h must have passed CheckHeaderForPlay). Reads
// one head per record, and a cut-short movie's zero tail once.
RecordScan ScanRecords(RandomSource& file, const MovieHeader& h);
// The seconds readers play: the header's, or for a cut-short movie the whole seconds among
// its records.
int32_t PlayableSeconds(const MovieHeader& h, const RecordScan& scan);

// Writes a movie: the header, then one record per frame, packed against the frame before.
// Used by the tools and the tests; the recorder packs through TVR.dll instead.
class MovieEncoder {
public:
    // kOk or kErrBadFile when the header cannot describe frames.
    [[nodiscard]] int32_t Start(const MovieHeader& h);
    const uint8_t* Header() const { return header_; }
    // Packs frame (F bytes) against the previous one; returns the record's bytes.
    const uint8_t* EncodeFrame(const uint8_t* frame, size_t* recordBytes);
    const uint8_t* EncodeDropped(size_t* recordBytes);
    size_t FrameSize() const { return frameBytes_; }

private:
    uint8_t header_[kHeaderBytes] = {};
    uint8_t dropped_[kDroppedRecordBytes] = {};
    size_t frameBytes_ = 0;
    ByteBuffer prev_;
    ByteBuffer record_;
};

// Reads frame records one after another and keeps the current frame.
class FrameReader {
public:
    // Prepares for a movie; the header must have passed CheckHeaderForPlay. kOk, or
    // kErrBadFile for a frame size beyond the bound, kErrApi when memory is short.
    [[nodiscard]] int32_t Start(const MovieHeader& h);
    // Reads and unpacks the next record: kOk, kErrNoFrameTag (tag missing or file ended)
    // or kErrFrameSize (bad length, truncated record, runs beyond or short of F).
    [[nodiscard]] int32_t ReadNext(ByteSource& src);
    const uint8_t* Frame() const { return frame_.get(); }
    uint8_t* MutableFrame() { return frame_.get(); }
    size_t FrameSize() const { return frameBytes_; }
    // PackedSize of the last record read.
    uint32_t LastPackedSize() const { return lastPacked_; }

private:
    size_t frameBytes_ = 0;
    size_t packedCapacity_ = 0;
    ByteBuffer frame_;
    ByteBuffer packed_;
    size_t packedAllocated_ = 0;
    uint32_t lastPacked_ = 0;
};

}  // namespace tqk
