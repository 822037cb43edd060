#include "avi_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_test_util.h"
#include "temp_dir.h"
#include "wav_reader.h"

namespace tqk::test {
namespace {

using namespace tqk::avi;

using avitest::Bytes;
using avitest::MemoryFile;
using avitest::Walk;
namespace fs = std::filesystem;

Bytes Frame(size_t n, uint32_t index) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + index * 13 + (i >> 8));
    return b;
}

StreamInfo Video(int32_t w, int32_t h, uint16_t bits, uint32_t announced) {
    Bytes table(1024);
    for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(255 - i);
    const uint32_t size = uint32_t(DibFrameBytes(w, h, bits));
    return VideoStream(FourCC("DIB "), w, h, 15, announced, "AVIFile",
                       BitmapFormat(w, h, bits, 0, size, bits == 8 ? table.data() : nullptr));
}

using tqk::test::TempDir;

Bytes Wav(uint32_t samples, uint32_t rate = 22050) { return avitest::PcmWav(samples, 2, rate); }

void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(fs::u8path(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
Bytes ReadFile(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(AviWriter, SegmentsIndexesAndHeaders) {
    struct Case {
        int32_t w, h;
        uint16_t bits;
        uint32_t frames;
        uint64_t segment;
        size_t minSegments;
    } cases[] = {
        {64, 48, 24, 20, kDefaultSegmentBytes, 1},
        {64, 48, 8, 20, kDefaultSegmentBytes, 1},
        {64, 48, 24, 40, 60000, 4},
        {36, 20, 8, 90, 30000, 3},
        {64, 48, 32, 1, 30000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, segment " << c.segment);
        MemoryFile file;
        Writer w;
        ASSERT_EQ(w.Create(&file, Video(c.w, c.h, c.bits, c.frames + 5), c.segment), Status::kOk);
        const size_t n = size_t(DibFrameBytes(c.w, c.h, c.bits));
        Bytes all;
        for (uint32_t i = 0; i < c.frames; ++i) {
            const Bytes f = Frame(n, i);
            all.insert(all.end(), f.begin(), f.end());
            ASSERT_EQ(w.WriteChunk(0, f.data(), f.size(), true), Status::kOk);
        }
        ASSERT_EQ(w.Close(), Status::kOk);
        const avitest::AviSummary s = Walk(file.data);
        EXPECT_GE(s.riffSizes.size(), c.minSegments);
        EXPECT_EQ(int(s.riffSizes.size()), w.Segments());
        for (uint64_t r : s.riffSizes) EXPECT_LE(r, c.segment);
        ASSERT_EQ(s.streams.size(), 1u);
        EXPECT_EQ(s.avihStreams, 1u);
        EXPECT_EQ(s.width, uint32_t(c.w));
        EXPECT_EQ(s.height, uint32_t(c.h));
        const avitest::StreamSummary& v = s.streams[0];
        EXPECT_EQ(v.type, "vids");
        EXPECT_EQ(v.length, c.frames) << "the header holds the frames written, not announced";
        EXPECT_EQ(v.indexedDuration, c.frames);
        EXPECT_EQ(s.dmlhFrames, c.frames);
        EXPECT_EQ(v.name, "AVIFile");
        EXPECT_EQ(v.format.size(), c.bits == 8 ? 40u + 1024u : 40u);
        EXPECT_EQ(avitest::L32(v.format, 20), n) << "image size of the frames written";
        EXPECT_EQ(avitest::StreamBytes(file.data, v), all);
        // The AVI 1.0 index covers exactly the first segment.
        EXPECT_EQ(s.avihTotalFrames, s.idx1.size());
        EXPECT_GT(s.idx1.size(), 0u);
        if (s.riffSizes.size() == 1) {
            EXPECT_EQ(s.idx1.size(), c.frames);
        }
    }
}

TEST(AviWriter, AddsSoundStreamToFinishedFile) {
    for (uint64_t segment : {kDefaultSegmentBytes, uint64_t(50000)}) {
        SCOPED_TRACE(segment);
        MemoryFile file;
        Writer w;
        ASSERT_EQ(w.Create(&file, Video(32, 24, 24, 10), segment), Status::kOk);
        const size_t n = size_t(DibFrameBytes(32, 24, 24));
        for (uint32_t i = 0; i < 30; ++i)
            ASSERT_EQ(w.WriteChunk(0, Frame(n, i).data(), n, true), Status::kOk);
        ASSERT_EQ(w.Close(), Status::kOk);
        const avitest::AviSummary before = Walk(file.data);
        const Bytes videoBefore = avitest::StreamBytes(file.data, before.streams[0]);

        WavInfo wav;
        wav.format = Bytes(16, 0);
        wav.blockAlign = 4;
        wav.avgBytesPerSec = 4 * 8000;
        Writer add;
        ASSERT_EQ(add.OpenToAddStream(&file, AudioStream(wav), segment), Status::kOk);
        Bytes sound;
        for (uint32_t piece = 0; piece < 7; ++piece) {
            const Bytes b = Frame(4 * (3001 + piece), piece + 100);
            sound.insert(sound.end(), b.begin(), b.end());
            ASSERT_EQ(add.WriteChunk(1, b.data(), b.size(), true), Status::kOk);
        }
        ASSERT_EQ(add.Close(), Status::kOk);

        const avitest::AviSummary s = Walk(file.data);
        ASSERT_EQ(s.streams.size(), 2u);
        EXPECT_EQ(s.avihStreams, 2u);
        EXPECT_EQ(s.streams[1].type, "auds");
        EXPECT_EQ(s.streams[1].length, sound.size() / 4);
        EXPECT_EQ(s.streams[1].indexedDuration, sound.size() / 4);
        EXPECT_EQ(avitest::StreamBytes(file.data, s.streams[1]), sound);
        EXPECT_EQ(avitest::StreamBytes(file.data, s.streams[0]), videoBefore);
        EXPECT_EQ(s.streams[0].length, 30u);
        for (uint64_t r : s.riffSizes) EXPECT_LE(r, segment);
        if (before.riffSizes.size() == 1) {
            // Readers of the first segment only see the sound through idx1.
            size_t audioEntries = 0;
            for (const auto& e : s.idx1) audioEntries += e.id == "01wb";
            EXPECT_GT(audioEntries, 0u);
        }
        // One added stream is all the header has room for.
        Writer again;
        EXPECT_EQ(again.OpenToAddStream(&file, AudioStream(wav), segment), Status::kNoRoom);
    }
}

TEST(AviWriter, RefusesFilesItDidNotLayOut) {
    MemoryFile file;
    EXPECT_EQ(Writer().OpenToAddStream(&file, Video(8, 8, 24, 1)), Status::kReadFailed);
    file.data = Bytes(100000, 0);
    WavInfo wav;
    wav.format = Bytes(16, 0);
    wav.blockAlign = 4;
    wav.avgBytesPerSec = 4;
    EXPECT_EQ(Writer().OpenToAddStream(&file, AudioStream(wav)), Status::kBadFormat);
    // A finished file cut short in its last segment.
    MemoryFile good;
    Writer w;
    ASSERT_EQ(w.Create(&good, Video(8, 8, 24, 1)), Status::kOk);
    ASSERT_EQ(w.WriteChunk(0, Frame(192, 0).data(), 192, true), Status::kOk);
    ASSERT_EQ(w.Close(), Status::kOk);
    good.data.resize(good.data.size() - 10);
    EXPECT_EQ(Writer().OpenToAddStream(&good, AudioStream(wav)), Status::kBadFormat);
}

// Damaged files: every single-byte change and every truncation of a small two-segment file
// is refused or accepted without a crash, and nothing is written to a refused file.
TEST(AviWriter, DamagedFilesAreRefusedSafely) {
    MemoryFile good;
    Writer w;
    ASSERT_EQ(w.Create(&good, Video(16, 8, 24, 30), 40000), Status::kOk);
    for (uint32_t i = 0; i < 30; ++i)
        ASSERT_EQ(w.WriteChunk(0, Frame(384, i).data(), 384, true), Status::kOk);
    ASSERT_EQ(w.Close(), Status::kOk);
    ASSERT_EQ(w.Segments(), 1);
    WavInfo wav;
    wav.format = Bytes(16, 0);
    wav.blockAlign = 2;
    wav.avgBytesPerSec = 2;
    std::mt19937 rng(7);
    for (int trial = 0; trial < 400; ++trial) {
        MemoryFile f;
        f.data = good.data;
        if (trial % 4 == 0) {
            f.data.resize(rng() % f.data.size());
        } else {
            for (int k = 0; k < 1 + trial % 3; ++k)
                f.data[rng() % f.data.size()] ^= uint8_t(1 + rng() % 255);
        }
        const Bytes before = f.data;
        Writer add;
        const Status s = add.OpenToAddStream(&f, AudioStream(wav));
        if (s != Status::kOk) {
            EXPECT_EQ(f.data, before) << trial;
            continue;
        }
        EXPECT_EQ(add.WriteChunk(1, "abcd", 4, true), Status::kOk);
        EXPECT_EQ(add.Close(), Status::kOk);
    }
}

// Disk full at many points: in a frame, in a segment's indexes, in the next segment's head.
// The writer reports it, refuses later frames, and the closed file holds every frame whose
// write succeeded, with indexes when they fitted.
TEST(AviWriter, FileClosedAfterFailureHoldsEveryWholeFrame) {
    const size_t n = size_t(DibFrameBytes(32, 24, 24));
    for (uint64_t limit = 20000; limit < 70000; limit += 1237) {
        SCOPED_TRACE(limit);
        MemoryFile file;
        file.limit = limit;
        Writer w;
        ASSERT_EQ(w.Create(&file, Video(32, 24, 24, 30), 30000), Status::kOk);
        uint32_t ok = 0;
        Status st = Status::kOk;
        for (uint32_t i = 0; i < 30 && st == Status::kOk; ++i) {
            st = w.WriteChunk(0, Frame(n, i).data(), n, true);
            if (st == Status::kOk) ++ok;
        }
        ASSERT_EQ(st, Status::kWriteFailed);
        EXPECT_EQ(w.WriteChunk(0, Frame(n, 0).data(), n, true), Status::kWriteFailed);
        EXPECT_EQ(w.Close(), Status::kWriteFailed);
        // A frame may be given back to make room for the indexes.
        const uint32_t kept = w.ChunksWritten(0);
        EXPECT_LE(kept, ok);
        EXPECT_GE(kept + 1, ok);
        avitest::AviSummary s = Walk(file.data);
        EXPECT_EQ(s.moviChunks["00db"], kept);
        ASSERT_EQ(s.streams.size(), 1u);
        EXPECT_EQ(s.streams[0].length, kept);
        EXPECT_EQ(s.streams[0].chunks.size(), kept) << "every frame left is indexed";
        EXPECT_EQ(s.streams[0].indexedDuration, kept);
        EXPECT_EQ(s.dmlhFrames, kept);
    }
}

// A write that fails in the middle of a chunk: the partial chunk is cut off at once, so the
// file ends behind the last whole frame, and every later frame is refused even when the file
// would take it again (a full disk that gained room), so no frame follows a hole.
TEST(AviWriter, FailedWriteCutsThePartialChunkAndRefusesLaterFrames) {
    const size_t n = size_t(DibFrameBytes(32, 24, 24));
    MemoryFile file;
    Writer w;
    ASSERT_EQ(w.Create(&file, Video(32, 24, 24, 30), 1 << 30), Status::kOk);
    for (uint32_t i = 0; i < 3; ++i)
        ASSERT_EQ(w.WriteChunk(0, Frame(n, i).data(), n, true), Status::kOk);
    const size_t whole = file.data.size();
    file.limit = whole + 8 + n / 2;
    EXPECT_EQ(w.WriteChunk(0, Frame(n, 3).data(), n, true), Status::kWriteFailed);
    EXPECT_EQ(file.failedWrites, 1);
    EXPECT_EQ(file.data.size(), whole) << "the partial chunk stays in the file";
    file.limit = UINT64_MAX;
    EXPECT_EQ(w.WriteChunk(0, Frame(n, 4).data(), n, true), Status::kWriteFailed);
    EXPECT_EQ(file.data.size(), whole) << "a frame was written after the failure";
    EXPECT_EQ(w.ChunksWritten(0), 3u);
}

TEST(AviExport, FrameBytesAndFormats) {
    EXPECT_EQ(DibFrameBytes(320, 240, 24), 230400u);
    EXPECT_EQ(DibFrameBytes(320, 240, 8), 76800u);
    EXPECT_EQ(DibFrameBytes(100, 1, 24), 300u);
    EXPECT_EQ(DibFrameBytes(102, 1, 24), 308u);
    EXPECT_EQ(DibFrameBytes(0, 1, 24), 0u);
    const Bytes f = BitmapFormat(320, 240, 8, 0, 76800, Bytes(1024, 7).data());
    ASSERT_EQ(f.size(), 1064u);
    EXPECT_EQ(avitest::L32(f, 20), 76800u);
    EXPECT_EQ(avitest::L32(f, 32), 256u);
    EXPECT_EQ(f[1063], 7);
}

// Whatever goes wrong, the user reads what: every failure the writer reports and every code
// the library returns of its own has a text, no two failures read alike, and a code the
// library never returns has none (the caller then shows the platform's number).
TEST(AviErrors, EveryFailureTheLibraryReportsHasItsOwnText) {
    std::set<std::string> texts;
    for (const Status s : {Status::kWriteFailed, Status::kReadFailed, Status::kBadFormat,
                           Status::kNoRoom, Status::kBadArgument, Status::kTooLarge}) {
        SCOPED_TRACE(int(s));
        const int32_t code = ToAviError(s);
        EXPECT_NE(code, kAviOk) << "a failure reported as success";
        ASSERT_NE(ErrorTextUtf8(code), nullptr);
    }
    EXPECT_EQ(ToAviError(Status::kOk), kAviOk);
    for (const int32_t code :
         {kAviErrUnsupported, kAviErrBadFormat, kAviErrMemory, kAviErrBadParam, kAviErrBadSize,
          kAviErrBadHandle, kAviErrFileRead, kAviErrFileWrite, kAviErrFileOpen, kAviErrCompressor,
          kAviErrNoCompressor, kAviErrCantCompress, kAviErrUserAbort, kAviErrError}) {
        SCOPED_TRACE(code);
        const char* text = ErrorTextUtf8(code);
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::strlen(text), 0u);
        EXPECT_TRUE(texts.insert(text).second) << text << " stands for two failures";
    }
    // Success has a text of its own, distinct from every failure's.
    ASSERT_NE(ErrorTextUtf8(kAviOk), nullptr);
    EXPECT_EQ(texts.count(ErrorTextUtf8(kAviOk)), 0u);
    // Codes the library never returns: another facility, a plain negative number.
    EXPECT_EQ(ErrorTextUtf8(int32_t(0x80044076u)), nullptr);
    EXPECT_EQ(ErrorTextUtf8(-1), nullptr);
    EXPECT_EQ(ErrorTextUtf8(1), nullptr);
}

TEST(WavReader, HostileAndOddFiles) {
    const Bytes good = Wav(100);
    struct Case {
        const char* what;
        Bytes bytes;
        WavStatus status;
        uint64_t samples;
    };
    auto with = [&](size_t at, std::initializer_list<uint8_t> v) {
        Bytes b = good;
        std::copy(v.begin(), v.end(), b.begin() + at);
        return b;
    };
    Bytes shortData = good;
    shortData.resize(44 + 4 * 60 + 3);
    Bytes dataFirst;  // data chunk before the format chunk, and an odd-sized chunk between
    {
        dataFirst.assign(good.begin(), good.begin() + 12);
        dataFirst.insert(dataFirst.end(), good.begin() + 36, good.end());
        const uint8_t odd[] = {'x', 'y', 'z', 'w', 3, 0, 0, 0, 1, 2, 3, 0};
        dataFirst.insert(dataFirst.end(), odd, odd + sizeof(odd));
        dataFirst.insert(dataFirst.end(), good.begin() + 12, good.begin() + 36);
    }
    const Case cases[] = {
        {"good", good, WavStatus::kOk, 100},
        {"riff size zero", with(4, {0, 0, 0, 0}), WavStatus::kOk, 100},
        {"data longer than the file", shortData, WavStatus::kOk, 60},
        {"data before format", dataFirst, WavStatus::kOk, 100},
        {"not riff", with(0, {'R', 'I', 'F', 'X'}), WavStatus::kBadFormat, 0},
        {"not wave", with(8, {'A', 'V', 'I', ' '}), WavStatus::kBadFormat, 0},
        {"format too short", with(16, {8, 0, 0, 0}), WavStatus::kBadFormat, 0},
        {"format huge", with(16, {0xFF, 0xFF, 0xFF, 0xFF}), WavStatus::kBadFormat, 0},
        {"block align 0", with(32, {0, 0}), WavStatus::kBadFormat, 0},
        {"no channels", with(22, {0, 0}), WavStatus::kBadFormat, 0},
        {"empty", Bytes(), WavStatus::kBadFormat, 0},
        {"header only", Bytes(good.begin(), good.begin() + 12), WavStatus::kBadFormat, 0},
        {"format past the end", Bytes(good.begin(), good.begin() + 30), WavStatus::kBadFormat, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFile f;
        f.data = c.bytes;
        WavInfo info;
        EXPECT_EQ(ReadWavInfo(f, &info), c.status);
        if (c.status == WavStatus::kOk) {
            EXPECT_EQ(info.samples, c.samples);
            EXPECT_EQ(info.blockAlign, 4);
            EXPECT_EQ(info.samplesPerSec, 22050u);
        }
    }
    // A chunk whose size runs far past the end ends the walk without a read past the file.
    Bytes lying = good;
    lying.insert(lying.begin() + 12, {'b', 'i', 'g', ' ', 0xF0, 0xFF, 0xFF, 0xFF});
    MemoryFile f;
    f.data = lying;
    WavInfo info;
    EXPECT_EQ(ReadWavInfo(f, &info), WavStatus::kBadFormat);
}

TEST(AviExport, AddWaveCopiesEverySampleAndReportsProgress) {
    TempDir dir;
    const std::string aviPath = dir.File("書き出し.avi");
    // One sample more than a piece, so the last read is one sample long.
    for (uint32_t samples : {1u, 32768u, 32769u, 70001u}) {
        SCOPED_TRACE(samples);
        {
            StdioFile f;
            ASSERT_TRUE(f.Open(aviPath, StdioFile::Mode::kCreate));
            Writer w;
            ASSERT_EQ(w.Create(&f, Video(16, 8, 24, 3)), Status::kOk);
            for (uint32_t i = 0; i < 3; ++i)
                ASSERT_EQ(w.WriteChunk(0, Frame(384, i).data(), 384, true), Status::kOk);
            ASSERT_EQ(w.Close(), Status::kOk);
        }
        const std::string wavPath = dir.File("音.wav");
        const Bytes wav = Wav(samples);
        WriteFile(wavPath, wav);
        std::vector<std::pair<int32_t, int32_t>> calls;
        ASSERT_EQ(
            AddWaveToAvi(aviPath, wavPath, [&](int32_t p, int32_t t) { calls.emplace_back(p, t); }),
            kAviOk);
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls.front(), std::make_pair(0, int32_t(samples)));
        EXPECT_EQ(calls.back(), std::make_pair(int32_t(samples), int32_t(samples)));
        for (size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i].first, calls[i - 1].first);
        const Bytes file = ReadFile(aviPath);
        const avitest::AviSummary s = Walk(file);
        ASSERT_EQ(s.streams.size(), 2u);
        EXPECT_EQ(s.streams[1].length, samples);
        EXPECT_EQ(s.streams[1].scale, 4u);
        EXPECT_EQ(s.streams[1].rate, 22050u * 4);
        EXPECT_EQ(avitest::StreamBytes(file, s.streams[1]), Bytes(wav.begin() + 44, wav.end()));
    }
}

TEST(AviExport, AddWaveFailuresCreateNothing) {
    TempDir dir;
    const std::string wavPath = dir.File("a.wav");
    WriteFile(wavPath, Wav(10));
    const std::string missing = dir.File("missing.avi");
    EXPECT_EQ(AddWaveToAvi(missing, wavPath, nullptr), kAviErrFileOpen);
    EXPECT_FALSE(fs::exists(fs::u8path(missing)));
    const std::string notAvi = dir.File("not.avi");
    WriteFile(notAvi, Bytes(50000, 1));
    EXPECT_EQ(AddWaveToAvi(notAvi, wavPath, nullptr), kAviErrBadFormat);
    EXPECT_EQ(ReadFile(notAvi), Bytes(50000, 1)) << "a refused file is left as it was";
    WriteFile(wavPath, Bytes(20, 0));
    EXPECT_EQ(AddWaveToAvi(notAvi, wavPath, nullptr), kAviErrBadFormat);
    EXPECT_EQ(AddWaveToAvi(notAvi, dir.File("none.wav"), nullptr), kAviErrFileOpen);
}

}  // namespace
}  // namespace tqk::test
