// Writes AVI files: an AVI 1.0 first segment with its idx1 index, then OpenDML segments
// (RIFF AVIX, indx super indexes, ix## standard indexes, dmlh), so the file has no size limit
// but the disk's. Sizes are written as placeholders and patched on close; a file closed after
// a failed write holds every whole chunk written before it. A stream can be added to a
// finished file: the header keeps a free slot for it. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "avi_file.h"

namespace tqk::avi {

enum class Status {
    kOk,
    kWriteFailed,  // the file could not be written (disk full...)
    kReadFailed,   // the existing file could not be read
    kBadFormat,    // the existing file is not an AVI this writer laid out
    kNoRoom,       // the existing file already holds a second stream
    kBadArgument,  // a stream description the file cannot carry
    kTooLarge,     // the super index is full
};

constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// One stream's header values and format (the strh and strf chunks).
struct StreamInfo {
    uint32_t fccType = 0;  // "vids" or "auds"
    uint32_t fccHandler = 0;
    uint32_t scale = 1;
    uint32_t rate = 1;
    uint32_t quality = 0xFFFFFFFF;
    uint32_t sampleSize = 0;  // 0: one chunk is one sample (video)
    uint32_t announcedLength = 0;
    int16_t width = 0, height = 0;  // rcFrame
    std::string name;               // strn; at most 63 bytes are kept
    std::vector<uint8_t> format;    // BITMAPINFOHEADER (+ colour table) or WAVEFORMATEX
};

// Largest format a stream may carry: a bitmap header with a full colour table.
constexpr size_t kMaxFormatBytes = 40 + 1024;
// Segments of at most 1 GiB keep every reader of the first segment content.
constexpr uint64_t kDefaultSegmentBytes = uint64_t{1} << 30;
constexpr uint32_t kSuperIndexEntries = 256;

class Writer {
public:
    Writer() = default;
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Starts a new file with one video stream (stream 0, chunks "00db" or "00dc").
    // segmentBytes bounds each RIFF segment (tests pass small values).
    [[nodiscard]] Status Create(RandomFile* file, const StreamInfo& video,
                                uint64_t segmentBytes = kDefaultSegmentBytes);
    // Opens a finished file of this writer to append one more stream (stream 1, "01wb"),
    // placed after everything the file holds.
    [[nodiscard]] Status OpenToAddStream(RandomFile* file, const StreamInfo& stream,
                                         uint64_t segmentBytes = kDefaultSegmentBytes);

    // Appends one chunk of the stream (0 for the video of Create, the added stream of
    // OpenToAddStream otherwise). After a failure every later call fails too.
    [[nodiscard]] Status WriteChunk(int stream, const void* data, size_t n, bool keyFrame);
    // Writes the indexes and patches the headers. The file holds every chunk written
    // successfully, even after a failure; returns the first failure seen.
    Status Close();

    bool Failed() const { return failed_ != Status::kOk; }
    // A write that the file's layout depends on failed (a header, a size, the first bytes):
    // the file on disk is not a consistent AVI. A file opened to add a stream is then put back
    // as it was by Close (when that succeeds, Damaged() is false again); a created one must be
    // discarded by its owner.
    bool Damaged() const { return damaged_; }
    // Of that, the part no reader gets past: a header or a list or file size could not be
    // written, so the file is not an AVI at all (a failed final flush or cut alone leaves the
    // layout written, as on a full disk).
    bool LayoutBroken() const { return layoutBroken_; }
    uint32_t ChunksWritten(int stream) const;
    int Segments() const { return segment_ + 1; }

private:
    struct SuperEntry {
        uint64_t offset;
        uint32_t size;
        uint32_t duration;
    };
    struct StdEntry {
        uint64_t dataOffset;
        uint32_t size;  // bit 31: not a key frame
    };
    struct Stream {
        StreamInfo info;
        bool owned = false;  // its header slot is written on close
        int slot = 0;
        uint32_t chunkId = 0;
        uint32_t indexId = 0;
        uint32_t chunks = 0;
        uint64_t length = 0;  // in samples
        uint32_t maxChunk = 0;
        uint32_t firstSegmentChunks = 0;
        std::vector<SuperEntry> super;
        std::vector<StdEntry> seg;
        uint64_t segDuration = 0;
    };

    void Reset();
    Status Fail(Status s);
    Status AddStream(const StreamInfo& info, int slot);
    uint64_t PendingIndexBytes(int extraStream) const;
    bool WriteIndexes(uint64_t* moviEnd);
    bool DropLastChunk();
    Status CloseSegment();
    Status StartSegment();
    Status WriteHeaders();
    bool Write(uint64_t at, const void* p, size_t n);

    RandomFile* file_ = nullptr;
    bool created_ = false;  // header of the whole file is ours to write
    bool layoutBroken_ = false;
    bool open_ = false;
    uint64_t segmentBytes_ = kDefaultSegmentBytes;
    std::vector<Stream> streams_;
    std::vector<uint8_t> idx1_;  // first segment's entries, 16 bytes each
    std::vector<uint8_t> avih_;  // the main header as found in an existing file
    uint64_t riffStart_ = 0;
    uint64_t moviStart_ = 0;
    uint64_t end_ = 0;  // end of the last whole chunk
    int segment_ = 0;
    Status failed_ = Status::kOk;
    bool damaged_ = false;
    // What adding a stream overwrites, to put the file back when it cannot be finished.
    std::vector<uint8_t> undoHead_, undoTail_;
    uint64_t undoTailAt_ = 0, undoSize_ = 0;
    bool Restore();
};

}  // namespace tqk::avi
