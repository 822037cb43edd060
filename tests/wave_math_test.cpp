// Sizes and lengths of wave-in recordings: capture buffers, formats, the sound length from the
// elapsed time, copy pieces, the scratch path.
#include "wave_math.h"

#include <gtest/gtest.h>

namespace tqk::test {
namespace {

using namespace tqk::snd;

TEST(WaveMath, HalfBuffersAreWholeGranules) {
    const struct {
        int32_t kb;
        uint32_t granularity;
        uint32_t half;
    } cases[] = {
        {1000, 65536, 524288},  // 512000 rounded up
        {445, 65536, 262144},   // 227840 rounded up
        {256, 65536, 131072},   // already whole
        {1, 65536, 65536},
        {0, 65536, 65536},  // never an empty buffer
        {-5, 65536, 65536},
        {1000, 4096, 512000},
        {1000, 0, 524288},  // a missing granularity counts as 64 KiB
        {0x7FFFFFFF, 65536, uint32_t(kMaxHalfBufferBytes)},  // a damaged block is capped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kb);
        EXPECT_EQ(HalfBufferBytes(c.kb, c.granularity), c.half);
    }
}

TEST(WaveMath, PcmFormats) {
    const struct {
        int32_t bits, rate, channels;
        bool ok;
        uint16_t align;
        uint32_t avg;
    } cases[] = {
        {16, 44100, 2, true, 4, 176400}, {8, 22050, 1, true, 1, 22050},
        {16, 11025, 1, true, 2, 22050},  {8, 44100, 2, true, 2, 88200},
        {24, 44100, 2, false, 0, 0},     {16, 44100, 3, false, 0, 0},
        {16, 0, 2, false, 0, 0},         {16, -1, 1, false, 0, 0},
        {0, 44100, 1, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits * 1000000 + c.rate * 10 + c.channels);
        PcmFormat f;
        ASSERT_EQ(MakePcmFormat(c.bits, c.rate, c.channels, &f), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(f.BlockAlign, c.align);
        EXPECT_EQ(f.AvgBytesPerSec, c.avg);
    }
}

TEST(WaveMath, FmtChunkIsPcmWaveFormatEx) {
    PcmFormat f;
    ASSERT_TRUE(MakePcmFormat(16, 44100, 2, &f));
    uint8_t b[18];
    EncodeFmtChunk(f, b);
    const uint8_t want[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
    for (int i = 0; i < 18; ++i) EXPECT_EQ(b[i], want[i]) << i;
}

TEST(WaveMath, SoundLengthFollowsElapsedTimeInWholeFrames) {
    PcmFormat mono8, stereo16, mono16;
    ASSERT_TRUE(MakePcmFormat(8, 22050, 1, &mono8));
    ASSERT_TRUE(MakePcmFormat(16, 44100, 2, &stereo16));
    ASSERT_TRUE(MakePcmFormat(16, 11025, 1, &mono16));
    const uint64_t plenty = uint64_t(1) << 40;
    const struct {
        const char* name;
        int64_t ms;
        const PcmFormat* f;
        uint64_t captured;
        uint64_t bytes;
    } cases[] = {
        {"10.000 s at 22050 Hz mono 8-bit", 10000, &mono8, plenty, 220500},
        {"0 s", 0, &stereo16, plenty, 0},
        {"negative", -5, &stereo16, plenty, 0},
        {"1 ms stereo 16: 176.4 bytes, down to 176", 1, &stereo16, plenty, 176},
        {"3 ms stereo 16: 529.2 -> 529 -> 528", 3, &stereo16, plenty, 528},
        {"1 ms mono 16 at 11025: 22.05 -> 22", 1, &mono16, plenty, 22},
        {"7 ms mono 16 at 11025: 154.35 -> 154", 7, &mono16, plenty, 154},
        {"odd byte count mono 8 stays", 1, &mono8, plenty, 22},
        {"capped at the captured bytes", 10000, &stereo16, 524288, 524288},
        {"cap cut to whole frames", 10000, &stereo16, 524287, 524284},
        {"an hour of CD sound", 3600000, &stereo16, plenty, 635040000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t n = SoundLengthBytes(c.ms, *c.f, c.captured);
        EXPECT_EQ(n, c.bytes);
        EXPECT_EQ(n % c.f->BlockAlign, 0u);
    }
}

TEST(WaveMath, StartTimeAheadOnTheWrappingClock) {
    const int32_t maxInt = 0x7FFFFFFF, minInt = -maxInt - 1;
    const struct {
        const char* name;
        int32_t start, now, ahead;
    } cases[] = {
        {"no start time", 0, 5000, 0},
        {"350 ms ahead", 2162686, 2162336, 350},
        {"reached", 2162336, 2162336, 0},
        {"passed", 2162000, 2162336, 0},
        {"negative and passed (early clock)", -5, 100, 0},
        {"across the 32-bit wrap", minInt + 100, maxInt - 249, 350},
        {"after the wrap", minInt + 400, minInt + 50, 350},
        {"passed after the wrap", minInt + 10, minInt + 50, 0},
        {"damaged: far ahead", 2000000000, 1000, kMaxStartWaitMs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StartTimeAheadMs(c.start, c.now), c.ahead);
    }
}

TEST(WaveMath, ElapsedTimeRoundsToWholeMilliseconds) {
    EXPECT_EQ(ElapsedWholeMillis(9999.5), 10000);
    EXPECT_EQ(ElapsedWholeMillis(9999.49), 9999);
    EXPECT_EQ(ElapsedWholeMillis(0.0), 0);
    EXPECT_EQ(ElapsedWholeMillis(-3.0), 0);
}

TEST(WaveMath, CopyPiecesAndScratchPath) {
    EXPECT_EQ(CopyPieceBytes(65536), 1048576u);
    EXPECT_EQ(CopyPieceBytes(65536 * 3), 65536u * 18);
    EXPECT_EQ(CopyPieceBytes(0), 1048576u);
    EXPECT_EQ(DefaultScratchPath("C:\\TEMP"), "C:\\TEMP\\_waverec.wavtemp");
    EXPECT_EQ(DefaultScratchPath("C:\\TEMP\\"), "C:\\TEMP\\_waverec.wavtemp");
    EXPECT_EQ(DefaultScratchPath(""), "\\_waverec.wavtemp");
}

TEST(WaveMath, DiagnosticPosition) {
    const struct {
        uint32_t v;
        const char* s;
    } cases[] = {{0, "0"},
                 {999, "999"},
                 {1000, "1,000"},
                 {524288, "524,288"},
                 {123456789, "123,456,789"},
                 {4294967295u, "4,294,967,295"}};
    for (const auto& c : cases) EXPECT_EQ(FormatBytePosition(c.v), c.s);
}

}  // namespace
}  // namespace tqk::test
