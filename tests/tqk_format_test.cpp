#include "tqk_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tvr_pack.h"

namespace tqk::test {
namespace {

using Bytes = std::vector<uint8_t>;

void PutWord(Bytes* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes MovieBytes(const MovieHeader& h) {
    Bytes b(kHeaderBytes);
    EncodeHeader(h, b.data());
    return b;
}

void AppendRecord(Bytes* b, const Bytes& packed) {
    b->insert(b->end(), {'F', 'R', 'A', 'M'});
    PutWord(b, static_cast<uint32_t>(packed.size()));
    b->insert(b->end(), packed.begin(), packed.end());
}

MovieHeader Header(int32_t method, int32_t bits, int32_t w, int32_t h, int32_t fps = 10,
                   int32_t sec = 1) {
    MovieHeader m;
    m.Method = method;
    m.BitCo = bits;
    m.W = w;
    m.H = h;
    m.fps = fps;
    m.sec = sec;
    return m;
}

TEST(MovieHeader, RoundTripsAndLaysOutFields) {
    const MovieHeader h = Header(2, 16, 640, 480, 15, 7);
    uint8_t b[kHeaderBytes];
    EncodeHeader(h, b);
    EXPECT_EQ(0, std::memcmp(b, "TVRX\x01\0\0\0\x02\0\0\0\x10\0\0\0", 16));
    EXPECT_EQ(LoadLE32(b + 16), 640u);
    EXPECT_EQ(LoadLE32(b + 28), 7u);
    MovieHeader back;
    ASSERT_EQ(DecodeHeader(b, &back), kOk);
    EXPECT_EQ(back.Method, 2);
    EXPECT_EQ(back.BitCo, 16);
    EXPECT_EQ(back.H, 480);
    EXPECT_EQ(back.fps, 15);
    b[4] = 2;
    EXPECT_EQ(DecodeHeader(b, &back), kErrBadFile);
    b[4] = 1;
    b[0] = 'X';
    EXPECT_EQ(DecodeHeader(b, &back), kErrBadFile);
}

TEST(MovieHeader, FrameBytes) {
    EXPECT_EQ(FrameBytes(Header(1, 8, 64, 48)), 4096u);  // 3072 + colour table
    EXPECT_EQ(FrameBytes(Header(1, 24, 100, 100)), 30000u);
    EXPECT_EQ(FrameBytes(Header(0, 32, 1920, 1080)), 8294400u);
    EXPECT_EQ(FrameBytes(Header(1, 16, 0, 10)), 0u);
    // Products that overflow 32 bits are computed in 64.
    EXPECT_EQ(FrameBytes(Header(1, 32, 65536, 65536)), uint64_t{1} << 34);
    EXPECT_GT(FrameBytes(Header(1, 32, INT32_MAX, INT32_MAX)), kMaxFrameBytes);
}

TEST(MovieHeader, InfoChecks) {
    EXPECT_EQ(CheckHeaderForInfo(Header(1, 24, 100, 100)), kOk);
    const MovieHeader bad[] = {
        Header(1, 24, 0, 100),
        Header(1, 24, 100, 0),
        Header(1, 24, 100, 100, 0),
        Header(1, 24, 100, 100, 10, 0),
        Header(3, 24, 100, 100),
        Header(-1, 24, 100, 100),
        Header(1, 12, 100, 100),
        Header(1, 40, 100, 100),
        Header(1, 0, 100, 100),
        Header(1, 32, 32768, 16384),  // 2 GiB frame
        Header(1, 32, INT32_MAX, INT32_MAX),
    };
    for (const MovieHeader& h : bad) {
        SCOPED_TRACE(testing::Message() << h.Method << " " << h.BitCo << " " << h.W << "x" << h.H
                                        << " " << h.fps << " " << h.sec);
        EXPECT_EQ(CheckHeaderForInfo(h), kErrBadFile);
    }
}

TEST(MovieHeader, InfoBytesFollowGetTVRFileDataOrder) {
    MovieHeader h = Header(9, 9, 9, 9, 9, 9);
    uint8_t b[kHeaderBytes];
    EncodeHeader(Header(1, 24, 100, 100), b);
    EXPECT_EQ(CheckInfoBytes(0, b, 0, &h), kErrEmptyFile);
    EXPECT_EQ(CheckInfoBytes(20, b, 20, &h), kErrBadFile);
    EXPECT_EQ(h.W, 9);  // untouched on failure
    EXPECT_EQ(CheckInfoBytes(32, b, 32, &h), kOk);
    EXPECT_EQ(h.W, 100);
}

TEST(MovieHeader, PlayChecks) {
    EXPECT_EQ(CheckHeaderForPlay(Header(1, 8, 64, 48)), kOk);
    EXPECT_EQ(CheckHeaderForPlay(Header(0, 8, 64, 48)), kErrEightBitType);
    EXPECT_EQ(CheckHeaderForPlay(Header(2, 8, 64, 48)), kErrEightBitType);
    EXPECT_EQ(CheckHeaderForPlay(Header(1, 24, 64, 48, 0)), kErrBadFile);
    EXPECT_EQ(CheckHeaderForPlay(Header(1, 24, 0, 48)), kErrBadFile);
    EXPECT_EQ(CheckHeaderForPlay(Header(1, 24, 64, -3)), kErrBadFile);
    // Playback does not need a length: a header-only movie of 0 seconds plays no frame.
    EXPECT_EQ(CheckHeaderForPlay(Header(1, 24, 64, 48, 10, 0)), kOk);
    // A negative length or rate is a damaged header, refused as the others are (a negative
    // length once passed and was copied into the re-encoded movie).
    for (const int32_t bad : {-1, -30, INT32_MIN}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(CheckHeaderForPlay(Header(1, 24, 64, 48, 10, bad)), kErrBadFile);
        EXPECT_EQ(CheckHeaderForPlay(Header(1, 24, 64, 48, bad, 1)), kErrBadFile);
        EXPECT_EQ(CheckHeaderForInfo(Header(1, 24, 64, 48, 10, bad)), kErrBadFile);
        EXPECT_EQ(CheckHeaderForInfo(Header(1, 24, 64, 48, bad, 1)), kErrBadFile);
    }
}

// Rows that do not fill whole words would make the platform read or write past F: every
// reader refuses them, at each depth and method; 32-bit rows are always whole.
TEST(MovieHeader, PaddedRowsAreRefusedByEveryReader) {
    for (int32_t bits : {8, 16, 24, 32}) {
        for (int32_t w : {1, 2, 3, 4, 5, 6, 7, 8, 100, 101, 102, 1366}) {
            for (int32_t method : {0, 1, 2}) {
                if (bits == 8 && method != 1) continue;
                SCOPED_TRACE(testing::Message()
                             << bits << " bits, width " << w << ", method " << method);
                const MovieHeader h = Header(method, bits, w, 3);
                const bool whole = (w * bits) % 32 == 0;
                EXPECT_EQ(RowsFillWords(h), whole);
                EXPECT_EQ(DibRowBytes(w, bits), (uint64_t(w) * bits + 31) / 32 * 4);
                const int32_t want = whole ? kOk : kErrBadFile;
                EXPECT_EQ(CheckHeaderForPlay(h), want);
                EXPECT_EQ(CheckHeaderForInfo(h), want);
                uint8_t b[kHeaderBytes];
                EncodeHeader(h, b);
                MovieHeader got;
                EXPECT_EQ(CheckInfoBytes(64, b, kHeaderBytes, &got), want);
            }
        }
    }
    // The crafted movie of the heap fault: 16 bits, 1 pixel wide, 100000 rows.
    EXPECT_EQ(CheckHeaderForPlay(Header(0, 16, 1, 100000)), kErrBadFile);
    EXPECT_EQ(CheckHeaderForPlay(Header(1, 16, 2, 100000)), kOk);
}

TEST(MovieHeader, PatchReplacesOnlyNonZero) {
    MovieHeader h = Header(1, 24, 100, 80, 15, 10);
    PatchHeader(&h, 0, 0, 0, 0, 3);
    EXPECT_EQ(h.W, 100);
    EXPECT_EQ(h.H, 80);
    EXPECT_EQ(h.BitCo, 24);
    EXPECT_EQ(h.fps, 15);
    EXPECT_EQ(h.sec, 3);
    EXPECT_EQ(h.Method, 1);
    PatchHeader(&h, 64, 48, 16, 30, 0);
    EXPECT_EQ(h.W, 64);
    EXPECT_EQ(h.fps, 30);
    EXPECT_EQ(h.sec, 3);
}

// Runs of the format decoded in place against a known previous frame.
struct UnpackCase {
    const char* name;
    std::vector<uint32_t> words;
    int32_t result;
};

TEST(Unpack, RunEdges) {
    const size_t F = 16;  // four words
    const UnpackCase cases[] = {
        {"single unchanged run", {4}, kOk},
        {"empty unchanged then whole literal", {0, 4, 11, 12, 13, 14}, kOk},
        {"zero-length runs", {0, 0, 0, 1, 11, 3}, kOk},
        {"run beyond frame", {5}, kErrFrameSize},
        {"huge count", {0xFFFFFFFFu}, kErrFrameSize},
        {"literal past frame end", {2, 3, 1, 2, 3}, kErrFrameSize},
        {"stops short of F", {1, 1, 7}, kErrFrameSize},
        {"literal data missing", {0, 4, 1, 2}, kErrFrameSize},
        {"empty record", {}, kErrFrameSize},
        {"trailing words ignored", {4, 99, 99}, kOk},
    };
    for (const UnpackCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes packed;
        for (uint32_t w : c.words) PutWord(&packed, w);
        uint8_t frame[F];
        for (size_t i = 0; i < F; ++i) frame[i] = uint8_t(i);
        EXPECT_EQ(UnpackFrameInPlace(packed.data(), packed.size(), frame, F), c.result);
    }
}

TEST(Unpack, LiteralAndUnchangedContent) {
    Bytes packed;
    for (uint32_t w : {1u, 2u, 0xAABBCCDDu, 0x11223344u, 1u}) PutWord(&packed, w);
    uint32_t frame[4] = {1, 2, 3, 4};
    ASSERT_EQ(
        UnpackFrameInPlace(packed.data(), packed.size(), reinterpret_cast<uint8_t*>(frame), 16),
        kOk);
    EXPECT_EQ(frame[0], 1u);
    EXPECT_EQ(LoadLE32(reinterpret_cast<uint8_t*>(&frame[1])), 0xAABBCCDDu);
    EXPECT_EQ(LoadLE32(reinterpret_cast<uint8_t*>(&frame[2])), 0x11223344u);
    EXPECT_EQ(frame[3], 4u);
}

TEST(Unpack, LiteralOfEveryLengthTouchesOnlyItsBytes) {
    // Short literal runs are copied in overlapping blocks: every length up to well past the
    // block sizes, at several offsets, must change exactly its own bytes and nothing beside
    // them (the frame sits between guard bytes).
    const size_t kGuard = 32;
    for (size_t lead = 0; lead <= 5; ++lead) {
        for (size_t len = 0; len <= 40; ++len) {
            SCOPED_TRACE(testing::Message() << "lead " << lead << ", literal " << len);
            const size_t tail = 3;
            const size_t F = (lead + len + tail) * 4;
            Bytes packed;
            PutWord(&packed, uint32_t(lead));
            PutWord(&packed, uint32_t(len));
            for (size_t i = 0; i < len * 4; ++i) packed.push_back(uint8_t(0x80 + i));
            PutWord(&packed, uint32_t(tail));
            Bytes buffer(kGuard + F + kGuard);
            for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = uint8_t(i * 7);
            Bytes expected = buffer;
            for (size_t i = 0; i < len * 4; ++i)
                expected[kGuard + lead * 4 + i] = uint8_t(0x80 + i);
            ASSERT_EQ(UnpackFrameInPlace(packed.data(), packed.size(), buffer.data() + kGuard, F),
                      kOk);
            EXPECT_EQ(buffer, expected);
        }
    }
}

TEST(FrameReader, EightBitFrameWithColourTableStoredWhole) {
    const MovieHeader h = Header(1, 8, 64, 48);
    Bytes frame(4096);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 7);
    Bytes movie = MovieBytes(h);
    Bytes packed;
    PutWord(&packed, 0);
    PutWord(&packed, 1024);
    packed.insert(packed.end(), frame.begin(), frame.end());
    EXPECT_EQ(packed.size(), 4096u + 8);
    AppendRecord(&movie, packed);
    MemorySource src(movie.data() + kHeaderBytes, movie.size() - kHeaderBytes);
    FrameReader r;
    ASSERT_EQ(r.Start(h), kOk);
    ASSERT_EQ(r.FrameSize(), 4096u);
    ASSERT_EQ(r.ReadNext(src), kOk);
    EXPECT_EQ(0, std::memcmp(r.Frame(), frame.data(), frame.size()));
    EXPECT_EQ(r.ReadNext(src), kErrNoFrameTag);  // file ends
}

TEST(FrameReader, DroppedRecordRepeatsAndFirstIsBlack) {
    const MovieHeader h = Header(1, 32, 4, 2);
    Bytes movie;
    uint8_t dropped[kDroppedRecordBytes];
    EncodeDroppedRecord(dropped, FrameBytes(h));
    EXPECT_EQ(LoadLE32(dropped + 4), 4u);
    EXPECT_EQ(LoadLE32(dropped + 8), 8u);
    movie.insert(movie.end(), dropped, dropped + sizeof dropped);
    Bytes lit;
    PutWord(&lit, 0);
    PutWord(&lit, 8);
    for (uint32_t i = 0; i < 8; ++i) PutWord(&lit, 0x01010101u * (i + 1));
    AppendRecord(&movie, lit);
    movie.insert(movie.end(), dropped, dropped + sizeof dropped);
    MemorySource src(movie.data(), movie.size());
    FrameReader r;
    ASSERT_EQ(r.Start(h), kOk);
    ASSERT_EQ(r.ReadNext(src), kOk);
    EXPECT_EQ(Bytes(r.Frame(), r.Frame() + 32), Bytes(32, 0));
    ASSERT_EQ(r.ReadNext(src), kOk);
    const Bytes second(r.Frame(), r.Frame() + 32);
    ASSERT_EQ(r.ReadNext(src), kOk);
    EXPECT_EQ(Bytes(r.Frame(), r.Frame() + 32), second);
}

TEST(FrameReader, HostileRecords) {
    const MovieHeader h = Header(1, 32, 4, 2);  // F = 32, capacity 48
    struct Case {
        const char* name;
        Bytes bytes;
        int32_t result;
    };
    auto rec = [](const char tag[4], uint32_t size, size_t present) {
        Bytes b(tag, tag + 4);
        PutWord(&b, size);
        Bytes body(present, 0);
        if (present >= 4) StoreLE32(body.data(), 8);
        b.insert(b.end(), body.begin(), body.end());
        return b;
    };
    const Case cases[] = {
        {"bad tag", rec("FRAN", 4, 4), kErrNoFrameTag},
        {"truncated head", Bytes{'F', 'R', 'A', 'M', 4, 0}, kErrNoFrameTag},
        {"empty", Bytes{}, kErrNoFrameTag},
        {"size not a multiple of 4", rec("FRAM", 6, 6), kErrFrameSize},
        {"size beyond capacity", rec("FRAM", 52, 52), kErrFrameSize},
        {"size beyond the file", rec("FRAM", 40, 12), kErrFrameSize},
        {"size of 4 GiB", rec("FRAM", 0xFFFFFFFCu, 4), kErrFrameSize},
        {"zero size", rec("FRAM", 0, 0), kErrFrameSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource src(c.bytes.data(), c.bytes.size());
        FrameReader r;
        ASSERT_EQ(r.Start(h), kOk);
        EXPECT_EQ(r.ReadNext(src), c.result);
    }
}

// The largest record a writer may produce (1.5 x F, or F + 8 for small frames) is read; a
// record one byte or one word longer is refused, whatever its runs say.
TEST(FrameReader, RecordAtThePackedSizeLimitIsReadAndOneMoreIsRefused) {
    for (const MovieHeader& h : {Header(1, 32, 4, 2), Header(1, 32, 32, 32)}) {
        const uint64_t F = FrameBytes(h);
        const uint64_t cap = PackedCapacity(F);
        SCOPED_TRACE(testing::Message() << "F " << F << ", limit " << cap);
        // Pairs of an empty unchanged run and a literal run of w words, filling the limit.
        const uint64_t words = F / 4;
        const uint64_t pairs = (cap - 4 * words) / 8;
        ASSERT_EQ(words % pairs, 0u);
        const uint32_t w = uint32_t(words / pairs);
        Bytes packed;
        for (uint64_t i = 0; i < pairs; ++i) {
            PutWord(&packed, 0);
            PutWord(&packed, w);
            for (uint32_t k = 0; k < w; ++k) PutWord(&packed, uint32_t(i * 1000 + k));
        }
        ASSERT_EQ(packed.size(), cap);
        for (size_t extra : {0, 1, 4}) {
            SCOPED_TRACE(extra);
            Bytes record = packed;
            record.resize(record.size() + extra, 0);
            Bytes file;
            AppendRecord(&file, record);
            MemorySource src(file.data(), file.size());
            FrameReader r;
            ASSERT_EQ(r.Start(h), kOk);
            EXPECT_EQ(r.ReadNext(src), extra == 0 ? kOk : kErrFrameSize);
            Bytes movie = MovieBytes(Header(1, 32, h.W, h.H, 1, 1));
            movie.insert(movie.end(), file.begin(), file.end());
            MemoryFile whole(movie.data(), movie.size());
            EXPECT_EQ(ScanRecords(whole, h).records, extra == 0 ? 1u : 0u);
        }
    }
}

TEST(FrameReader, RefusesHeadersItCannotSize) {
    FrameReader r;
    EXPECT_EQ(r.Start(Header(1, 32, 32768, 16384)), kErrBadFile);
    EXPECT_EQ(r.Start(Header(1, 24, 0, 10)), kErrBadFile);
}

TEST(MovieEncoder, PatchedLengthLimitsRecordsRead) {
    // sec patched from 10 to 3 at 15 fps: readers use 45 records and ignore the rest.
    MovieHeader h = Header(1, 24, 8, 4, 15, 10);
    MovieEncoder enc;
    ASSERT_EQ(enc.Start(h), kOk);
    Bytes movie(enc.Header(), enc.Header() + kHeaderBytes);
    Bytes frame(enc.FrameSize());
    for (int i = 0; i < 150; ++i) {
        frame[size_t(i) % frame.size()] ^= 0x5A;
        size_t n = 0;
        const uint8_t* r = enc.EncodeFrame(frame.data(), &n);
        movie.insert(movie.end(), r, r + n);
    }
    PatchHeader(&h, 0, 0, 0, 0, 3);
    EXPECT_EQ(FrameCount(h), 45u);
    MemorySource src(movie.data() + kHeaderBytes, movie.size() - kHeaderBytes);
    EXPECT_EQ(CountRecords(src, FrameCount(h)), 45u);
}

// How a movie's records end: a writer that stopped early leaves the end of the file or its
// unwritten zeros behind the last whole record; anything else is damage.
TEST(RecordScan, CutShortOnlyWhenTheRestIsWhatAStoppedWriterLeaves) {
    const MovieHeader h = Header(1, 32, 4, 2, 2, 3);  // F = 32, capacity 48, 6 records
    MovieEncoder enc;
    ASSERT_EQ(enc.Start(h), kOk);
    std::vector<Bytes> records;
    Bytes frame(enc.FrameSize());
    for (int i = 0; i < 6; ++i) {
        frame[size_t(i * 5) % frame.size()] ^= 0x77;
        size_t n = 0;
        const uint8_t* r = enc.EncodeFrame(frame.data(), &n);
        records.emplace_back(r, r + n);
    }
    auto movie = [&](int n, const Bytes& tail) {
        Bytes b(enc.Header(), enc.Header() + kHeaderBytes);
        for (int i = 0; i < n; ++i) b.insert(b.end(), records[i].begin(), records[i].end());
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    auto cat = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Bytes half(records[5].begin(), records[5].begin() + records[5].size() / 2);
    Bytes zeroHeadPartial(8, 0);  // the mapped writer packed in place, then was killed
    zeroHeadPartial.insert(zeroHeadPartial.end(), records[5].begin() + 8, records[5].end() - 4);
    Bytes farByte(8 + 48 + 100, 0);
    farByte.back() = 1;
    Bytes bigHead = {'F', 'R', 'A', 'M'};
    PutWord(&bigHead, 52);  // beyond the capacity
    struct Case {
        const char* name;
        Bytes file;
        RecordsEnd end;
        uint64_t records;
        int32_t seconds;
    };
    const Case cases[] = {
        {"complete", movie(6, {}), RecordsEnd::kComplete, 6, 3},
        {"complete with a tail", movie(6, Bytes(40, 9)), RecordsEnd::kComplete, 6, 3},
        {"ends behind a record", movie(5, {}), RecordsEnd::kCutShort, 5, 2},
        {"ends in a head", movie(5, {'F', 'R', 'A'}), RecordsEnd::kCutShort, 5, 2},
        {"ends in a size", movie(5, {'F', 'R', 'A', 'M', 4, 0}), RecordsEnd::kCutShort, 5, 2},
        {"ends in the packed bytes", movie(5, half), RecordsEnd::kCutShort, 5, 2},
        {"zero reserve", movie(4, Bytes(5000, 0)), RecordsEnd::kCutShort, 4, 2},
        {"zero head, partial record, reserve", movie(5, cat(zeroHeadPartial, Bytes(3000, 0))),
         RecordsEnd::kCutShort, 5, 2},
        {"header only", movie(0, {}), RecordsEnd::kCutShort, 0, 0},
        {"header and reserve", movie(0, Bytes(600, 0)), RecordsEnd::kCutShort, 0, 0},
        {"bad tag", movie(5, {'X', 'R', 'A', 'M', 4, 0, 0, 0, 8, 0, 0, 0}), RecordsEnd::kDamaged, 5,
         3},
        {"bad partial head", movie(5, {'X', 'R'}), RecordsEnd::kDamaged, 5, 3},
        {"zeros, then data far behind", movie(5, farByte), RecordsEnd::kDamaged, 5, 3},
        {"size beyond the capacity", movie(5, bigHead), RecordsEnd::kDamaged, 5, 3},
        {"bad record in the middle",
         cat(movie(2, {'F', 'R', 'A', 'X', 4, 0, 0, 0, 8, 0, 0, 0}), cat(records[3], records[4])),
         RecordsEnd::kDamaged, 2, 3},
        // Records behind the room of the largest record that could stand there.
        {"zero head in the middle",
         cat(movie(2, Bytes(8, 0)),
             cat(cat(records[2], records[3]), cat(cat(records[4], records[5]), records[5]))),
         RecordsEnd::kDamaged, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFile file(c.file.data(), c.file.size());
        const RecordScan scan = ScanRecords(file, h);
        EXPECT_EQ(scan.end, c.end);
        EXPECT_EQ(scan.records, c.records);
        EXPECT_EQ(PlayableSeconds(h, scan), c.seconds);
        size_t behind = kHeaderBytes;
        for (uint64_t i = 0; i < c.records; ++i) behind += records[i].size();
        EXPECT_EQ(scan.recordsEnd, behind);
        size_t wholeSeconds = kHeaderBytes;
        for (uint64_t i = 0; i < c.records / 2 * 2; ++i) wholeSeconds += records[i].size();
        EXPECT_EQ(scan.secondsEnd, wholeSeconds);
    }
}

}  // namespace
}  // namespace tqk::test
