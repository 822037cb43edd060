#include "capture_settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tqk::test {
namespace {

using namespace tqk::rec;

int32_t I32At(const std::string& b, size_t off) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(uint8_t(b[off + size_t(i)])) << (8 * i);
    return int32_t(u);
}
uint16_t U16At(const std::string& b, size_t off) {
    return uint16_t(uint8_t(b[off]) | (uint8_t(b[off + 1]) << 8));
}
void PutI32(std::string* b, size_t off, int32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[off + size_t(i)] = char((uint32_t(v) >> (8 * i)) & 0xFF);
}

std::string Encode(const CaptureSettings& s) {
    std::string bytes;
    EXPECT_EQ(EncodeTqp(s, Utf8IdentityCodec(), &bytes), TqpStatus::kOk);
    return bytes;
}

CaptureSettings Sample() {
    CaptureSettings s = DefaultSettings(true);
    s.X = -50;
    s.Y = 7;
    s.W = 324;
    s.H = 1;
    s.Fps = 100;
    s.Sec = 3600;
    s.Method = 2;
    s.CpuReleaseCount = 2;
    s.CpuReleaseTime = 0;
    s.TqkPath = "C:\\録画\\映像.TQK";
    s.KeepTqk = false;
    s.DisplayDepth = 16;
    s.DrawMouse = false;
    s.FollowMouse = true;
    s.AviPath = "C:\\録画\\映像.avi";
    s.CompressorChosen = true;
    s.Avi24 = true;
    s.WavePath = "C:\\録画\\映像.wav";
    s.WaveScratchPath = "C:\\録画\\映像.wav.wavtemp";
    s.SamplesPerSec = 44100;
    s.BitsPerSample = 16;
    s.Channels = 2;
    s.DeleteWave = true;
    s.RecordingSource = 3;
    s.PriorityClass = 128;
    s.AsyncWrite = false;
    return s;
}

TEST(CaptureSettings, Defaults) {
    const CaptureSettings s = DefaultSettings(true);
    EXPECT_EQ(s.X, 0);
    EXPECT_EQ(s.Y, 0);
    EXPECT_EQ(s.W, 320);
    EXPECT_EQ(s.H, 240);
    EXPECT_EQ(s.Fps, 30);
    EXPECT_EQ(s.Sec, 20);
    EXPECT_EQ(s.Method, 1);
    EXPECT_EQ(s.CpuReleaseCount, 1);
    EXPECT_EQ(s.CpuReleaseTime, 1);
    EXPECT_EQ(s.TqkPath, "c:\\test.TQK");
    EXPECT_TRUE(s.KeepTqk);
    EXPECT_TRUE(s.DrawMouse);
    EXPECT_FALSE(s.FollowMouse);
    EXPECT_EQ(s.AviPath, "xxx");
    EXPECT_TRUE(s.MakesAvi());
    EXPECT_FALSE(s.RecordsSound());
    EXPECT_FALSE(s.CompressorChosen);
    EXPECT_TRUE(s.AsyncWrite);
    EXPECT_FALSE(DefaultSettings(false).AsyncWrite);
}

TEST(Tqp, LayoutOfTheDefaultRecord) {
    const std::string b = Encode(DefaultSettings(true));
    // 78 fixed bytes, four counts and the texts "c:\test.TQK" and "xxx".
    ASSERT_EQ(b.size(), 86u + 11u + 3u);
    const int32_t fixedInts[] = {0, 0, 320, 240, 30, 20, 1, 1, 1};
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(I32At(b, 4 * i), fixedInts[i]) << i;
    EXPECT_EQ(U16At(b, kTqpOffTqkPathLength), 11);
    EXPECT_EQ(b.substr(kTqpOffTqkPathText, 11), "c:\\test.TQK");
    size_t o = kTqpOffTqkPathText + 11;
    EXPECT_EQ(U16At(b, o), 0xFFFF) << "keep TQK";
    EXPECT_EQ(I32At(b, o + 2), 0) << "display depth";
    EXPECT_EQ(U16At(b, o + 6), 0xFFFF) << "draw mouse";
    EXPECT_EQ(U16At(b, o + 8), 0x0000) << "follow mouse";
    EXPECT_EQ(U16At(b, o + 10), 3);
    EXPECT_EQ(b.substr(o + 12, 3), "xxx");
    o += 15;
    EXPECT_EQ(U16At(b, o), 0) << "compressor chosen";
    EXPECT_EQ(I32At(b, o + 2), 0) << "compressor reference";
    EXPECT_EQ(U16At(b, o + 6), 0) << "AVI 24-bit";
    EXPECT_EQ(U16At(b, o + 8), 0) << "wave path count";
    EXPECT_EQ(U16At(b, o + 10), 0) << "scratch path count";
    EXPECT_EQ(I32At(b, o + 12), 0);
    EXPECT_EQ(I32At(b, o + 16), 0);
    EXPECT_EQ(I32At(b, o + 20), 0);
    EXPECT_EQ(U16At(b, o + 24), 0) << "delete wave";
    EXPECT_EQ(I32At(b, o + 26), 0) << "recording source";
    EXPECT_EQ(I32At(b, o + 30), 0) << "priority class";
    EXPECT_EQ(U16At(b, o + 34), 0xFFFF) << "asynchronous write";
    EXPECT_EQ(o + 36, b.size());
}

TEST(Tqp, JapaneseTextRoundTripsByteForByte) {
    const CaptureSettings s = Sample();
    const std::string b = Encode(s);
    const size_t tqkBytes = s.TqkPath.size();
    EXPECT_EQ(U16At(b, kTqpOffTqkPathLength), tqkBytes) << "a byte count, not characters";
    EXPECT_GT(tqkBytes, std::string("C:\\..\\...TQK").size());
    EXPECT_EQ(b.size(), 86 + s.TqkPath.size() + s.AviPath.size() + s.WavePath.size() +
                            s.WaveScratchPath.size());
    CaptureSettings back;
    ASSERT_EQ(DecodeTqp(b, Utf8IdentityCodec(), &back), TqpStatus::kOk);
    EXPECT_EQ(back, s);
    EXPECT_EQ(Encode(back), b);
}

TEST(Tqp, CompressorReferenceIsIgnoredOnReading) {
    std::string b = Encode(DefaultSettings(true));
    const size_t ref = kTqpOffTqkPathText + 11 + 15 + 2;
    PutI32(&b, ref, 0x12345678);
    CaptureSettings back;
    ASSERT_EQ(DecodeTqp(b, Utf8IdentityCodec(), &back), TqpStatus::kOk);
    EXPECT_EQ(back, DefaultSettings(true));
}

TEST(Tqp, AnyNonZeroBooleanIsTrueAndTrailingBytesAreIgnored) {
    std::string b = Encode(DefaultSettings(false)) + "trailing";
    const size_t follow = kTqpOffTqkPathText + 11 + 8;
    b[follow] = 1;
    b[follow + 1] = 0;
    CaptureSettings back;
    ASSERT_EQ(DecodeTqp(b, Utf8IdentityCodec(), &back), TqpStatus::kOk);
    EXPECT_TRUE(back.FollowMouse);
    EXPECT_FALSE(back.AsyncWrite);
}

TEST(Tqp, TruncatedAtEveryByteFailsAndChangesNothing) {
    const std::string b = Encode(Sample());
    for (size_t n = 0; n < b.size(); ++n) {
        CaptureSettings s = DefaultSettings(true);
        EXPECT_EQ(DecodeTqp(std::string_view(b).substr(0, n), Utf8IdentityCodec(), &s),
                  TqpStatus::kTruncated)
            << n;
        EXPECT_EQ(s, DefaultSettings(true)) << n;
    }
}

TEST(Tqp, CountsRunningPastTheEnd) {
    const std::string good = Encode(DefaultSettings(true));
    // Each string count in turn set to the largest value.
    const size_t counts[] = {kTqpOffTqkPathLength, kTqpOffTqkPathText + 11 + 10,
                             kTqpOffTqkPathText + 11 + 15 + 8, kTqpOffTqkPathText + 11 + 15 + 10};
    for (size_t off : counts) {
        for (uint16_t count : {uint16_t(0xFFFF), uint16_t(0x8000), uint16_t(200)}) {
            std::string b = good;
            b[off] = char(count & 0xFF);
            b[off + 1] = char(count >> 8);
            CaptureSettings s;
            EXPECT_NE(DecodeTqp(b, Utf8IdentityCodec(), &s), TqpStatus::kOk) << off << " " << count;
        }
    }
}

TEST(Tqp, OutOfRangeValuesAreRefused) {
    struct Case {
        size_t offset;
        int32_t value;
        TqpStatus status;
    } cases[] = {
        {8, 0, TqpStatus::kBadSize},     {8, 321, TqpStatus::kBadSize},
        {8, -4, TqpStatus::kBadSize},    {8, 4, TqpStatus::kOk},
        {12, 0, TqpStatus::kBadSize},    {12, -1, TqpStatus::kBadSize},
        {12, 1, TqpStatus::kOk},         {16, 0, TqpStatus::kBadFps},
        {16, 101, TqpStatus::kBadFps},   {16, 1, TqpStatus::kOk},
        {16, 100, TqpStatus::kOk},       {20, 0, TqpStatus::kBadSec},
        {20, 3601, TqpStatus::kBadSec},  {20, 3600, TqpStatus::kOk},
        {24, -1, TqpStatus::kBadMethod}, {24, 3, TqpStatus::kBadMethod},
        {24, 0, TqpStatus::kOk},         {28, 3, TqpStatus::kBadCpu},
        {28, -1, TqpStatus::kBadCpu},    {28, 0, TqpStatus::kOk},
        {32, 2, TqpStatus::kBadCpu},     {32, -1, TqpStatus::kBadCpu},
        {32, 0, TqpStatus::kOk},         {0, INT32_MIN, TqpStatus::kOk},
        {4, INT32_MAX, TqpStatus::kOk},
    };
    const std::string good = Encode(DefaultSettings(true));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " value " << c.value);
        std::string b = good;
        PutI32(&b, c.offset, c.value);
        CaptureSettings s = Sample();
        EXPECT_EQ(DecodeTqp(b, Utf8IdentityCodec(), &s), c.status);
        if (c.status != TqpStatus::kOk) {
            EXPECT_EQ(s, Sample());
        }
    }
}

TEST(Tqp, TextThatIsNotValidAnsiIsRefused) {
    AnsiCodec strict = Utf8IdentityCodec();
    const std::string good = Encode(DefaultSettings(true));
    CaptureSettings s;
    std::string b = good;
    b[kTqpOffTqkPathText + 3] = char(0xFF);  // not UTF-8, so not this codec's text
    EXPECT_EQ(DecodeTqp(b, strict, &s), TqpStatus::kBadText);
    b = good;
    b[kTqpOffTqkPathText + 3] = '\0';  // the path would end there
    EXPECT_EQ(DecodeTqp(b, strict, &s), TqpStatus::kBadText);

    CaptureSettings withZero = DefaultSettings(true);
    withZero.AviPath = std::string("a\0b", 3);
    std::string out = "untouched";
    EXPECT_EQ(EncodeTqp(withZero, strict, &out), TqpStatus::kBadText);
    EXPECT_EQ(out, "untouched");
    // A codec that cannot represent a character refuses to write rather than change the path.
    AnsiCodec refuses = strict;
    refuses.toAnsi = [](std::string_view in, std::string* o) {
        if (in.find("映") != std::string_view::npos) return false;
        o->assign(in);
        return true;
    };
    EXPECT_EQ(EncodeTqp(Sample(), refuses, &out), TqpStatus::kBadText);
}

TEST(Tqp, StringTooLongForItsCount) {
    CaptureSettings s = DefaultSettings(true);
    s.TqkPath = std::string(0x10000, 'a');
    std::string out;
    EXPECT_EQ(EncodeTqp(s, Utf8IdentityCodec(), &out), TqpStatus::kTooLong);
    s.TqkPath = std::string(0xFFFF, 'a');
    ASSERT_EQ(EncodeTqp(s, Utf8IdentityCodec(), &out), TqpStatus::kOk);
    CaptureSettings back;
    ASSERT_EQ(DecodeTqp(out, Utf8IdentityCodec(), &back), TqpStatus::kOk);
    EXPECT_EQ(back.TqkPath.size(), 0xFFFFu);
}

TEST(SettingsPaths, DerivedFromTheSaveToName) {
    struct Case {
        const char* saveTo;
        const char* base;
    } cases[] = {
        {"C:\\a\\movie.mp4.TQK", "C:\\a\\movie.mp4"},
        {"C:\\a\\movie", "C:\\a\\movie"},
        {"C:\\a.b\\movie", "C:\\a.b\\movie"},
        {"C:\\a/movie.TQK", "C:\\a\\movie"},
        {"movie.TQK", "movie"},
        {"\\\\server\\share\\m.tqk", "\\\\server\\share\\m"},
        {"C:\\a\\", "C:\\a\\"},
        {"", ""},
        {"C:\\録画\\表示.TQK", "C:\\録画\\表示"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saveTo);
        const DerivedPaths p = DerivePaths(c.saveTo);
        EXPECT_EQ(p.Base, c.base);
        EXPECT_EQ(p.TqkPath, std::string(c.base) + ".TQK");
        EXPECT_EQ(p.AviPath, std::string(c.base) + ".avi");
        EXPECT_EQ(p.WavePath, std::string(c.base) + ".wav");
        EXPECT_EQ(p.WaveScratchPath, std::string(c.base) + ".wav.wavtemp");
    }
}

TEST(Utf8, Validity) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("ｽﾃﾚｵ 録画"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE6\x98"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

}  // namespace
}  // namespace tqk::test
