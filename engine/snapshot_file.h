// The snapshot file beside a movie (NAME.TQK.snap beside NAME.TQK): the whole frames the seek
// walk packed with zlib, kept on disk so that the next opening of the same movie seeks fast at
// once instead of walking again. It is a cache: deleting it at any time is safe, a file that
// does not belong to the movie as it is now (another movie, the same name recorded again, a
// repaired movie) is ignored, and a snapshot whose check fails is skipped.
//
// Layout, little-endian:
//   0  "TQKS", version 1
//   8  the movie's length in bytes (64 bits)
//  16  the movie's 32 header bytes as they are in the file
//  48  CRC-32 of four 64 KiB samples spread over the movie (the whole movie when shorter)
//  52  CRC-32 of the packed sizes of the records, in order
//  56  records the seeker plays, frame bytes
//  64  frames the walk went through (its snapshots cover them), flags (bit 0: it stopped at a
//      damaged record)
//  72  snapshot count, 0
//  80  the table: per snapshot its frame, packed size, offset in this file (64 bits) and the
//      CRC-32 of the frame number (4 bytes) followed by the packed bytes; ascending frames
//  ..  the packed snapshots (zlib), one whole frame each
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tqk_format.h"

namespace tqk {

// The file name is the movie's with this added.
inline constexpr char kSnapshotFileSuffix[] = ".snap";
inline constexpr wchar_t kSnapshotFileSuffixW[] = L".snap";

constexpr size_t kSnapshotHeaderBytes = 80;
constexpr size_t kSnapshotEntryBytes = 20;
constexpr uint32_t kSnapshotVersion = 1;
constexpr size_t kIdentitySampleBytes = size_t{64} << 10;

// What a snapshot file must agree with to be used for a movie.
struct MovieIdentity {
    uint64_t length = 0;
    uint8_t header[kHeaderBytes] = {};
    uint32_t samplesCrc = 0;
    uint32_t recordsCrc = 0;
    uint32_t records = 0;
    uint32_t frameBytes = 0;
    bool operator==(const MovieIdentity& o) const;
};

// Reads the movie's header bytes and samples; packedSizes are its records' PackedSize in
// order. kOk, or kErrBadFile when the movie cannot be read.
[[nodiscard]] int32_t ComputeIdentity(RandomSource& movie, const std::vector<uint32_t>& packedSizes,
                                      uint64_t frameBytes, MovieIdentity* id);

struct SnapshotEntry {
    int32_t frame = 0;
    uint32_t packedBytes = 0;
    uint64_t offset = 0;
    uint32_t crc = 0;
};

struct SnapshotTable {
    int32_t walked = 0;  // frames the walk went through, at most the movie's
    bool walkFailed = false;
    std::vector<SnapshotEntry> entries;  // ascending frames, each inside the file
};

// Reads the header and table of a snapshot file and checks them against the movie. kOk, or
// kErrBadFile for a file of another movie, another version or with any field out of bounds
// (never allocates more than the file's own length holds).
[[nodiscard]] int32_t ReadSnapshotTable(RandomSource& file, const MovieIdentity& movie,
                                        SnapshotTable* table);

// Reads one snapshot into frame (frameBytes); packed is scratch room. false when it cannot be
// read, its CRC fails or it does not unpack to exactly one frame (frame is then undefined).
bool LoadSnapshot(RandomSource& file, const SnapshotEntry& e, uint8_t* frame, size_t frameBytes,
                  std::vector<uint8_t>* packed);

// CRC-32 of a snapshot as the table keeps it.
uint32_t SnapshotCrc(int32_t frame, const uint8_t* packed, size_t n);

// One snapshot to write: its bytes stay owned by the caller until the writer is done.
struct SnapshotPiece {
    int32_t frame = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

class SafeFileWriter;

// Writes a snapshot file a slice at a time, into a scratch file beside the target that takes
// the target's name only when whole. Any failure (a read-only folder, a full disk) leaves no
// file under the target's name and no scratch file.
class SnapshotFileWriter {
public:
    SnapshotFileWriter();
    ~SnapshotFileWriter();
    SnapshotFileWriter(const SnapshotFileWriter&) = delete;
    SnapshotFileWriter& operator=(const SnapshotFileWriter&) = delete;

    // Starts the file: pieces in ascending frames. 0 or the platform's error number.
    [[nodiscard]] uint32_t Begin(const std::string& utf8Path, const MovieIdentity& id,
                                 int32_t walked, bool walkFailed,
                                 std::vector<SnapshotPiece> pieces);
    enum class State { kWriting, kDone, kFailed };
    // Writes pieces until about maxBytes went out, and puts the file in place after the last.
    State Continue(size_t maxBytes);
    State Current() const { return state_; }
    uint32_t Error() const { return error_; }
    uint64_t FileBytes() const { return fileBytes_; }
    // Gives up: the scratch file goes, the target stays as it was.
    void Abandon();

private:
    State Fail(uint32_t error);
    std::unique_ptr<SafeFileWriter> out_;
    std::vector<SnapshotPiece> pieces_;
    size_t next_ = 0;
    State state_ = State::kFailed;
    uint32_t error_ = 0;
    uint64_t fileBytes_ = 0;
};

}  // namespace tqk
