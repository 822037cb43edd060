// The shared block between the recorder and the sound helper: byte layout, paths, the helper's
// command line and the recorder's messages.
#include "sound_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tqk::test {
namespace {

using namespace tqk::snd;

int32_t At(const uint8_t* b, size_t off) {
    return int32_t(uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 |
                   uint32_t(b[off + 3]) << 24);
}

TEST(SoundBlock, FieldsLandAtTheirOffsetsLittleEndian) {
    SoundHelperBlock b;
    b.Code = kCodeStart;
    b.Bits = 16;
    b.SamplesPerSec = 44100;
    b.Channels = 2;
    b.LengthSec = 3600;
    b.BufferKb = 1000;
    b.WavePath = "C:\\rec\\movie.wav";
    b.ScratchPath = "D:\\t\\x.tmp";
    b.ActualStartTime = -2;
    b.StartTime = 0x12345678;
    uint8_t raw[kBlockBytes];
    std::memset(raw, 0xEE, sizeof raw);
    ASSERT_TRUE(EncodeBlock(b, raw));
    EXPECT_EQ(At(raw, 0), 1);
    EXPECT_EQ(At(raw, 4), 16);
    EXPECT_EQ(At(raw, 8), 44100);
    EXPECT_EQ(At(raw, 12), 2);
    EXPECT_EQ(At(raw, 16), 3600);
    EXPECT_EQ(At(raw, 20), 1000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw + 24)), b.WavePath);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw + 285)), b.ScratchPath);
    EXPECT_EQ(raw[552], 0x78);
    EXPECT_EQ(raw[555], 0x12);
    EXPECT_EQ(At(raw, 548), -2);
    // Everything else is zero: the rest of both path fields, the alignment, the tail.
    for (size_t i = 24 + b.WavePath.size(); i < 285; ++i) ASSERT_EQ(raw[i], 0) << i;
    for (size_t i = 285 + b.ScratchPath.size(); i < 548; ++i) ASSERT_EQ(raw[i], 0) << i;
    for (size_t i = 556; i < kBlockBytes; ++i) ASSERT_EQ(raw[i], 0) << i;

    const SoundHelperBlock back = DecodeBlock(raw);
    EXPECT_EQ(back.Code, b.Code);
    EXPECT_EQ(back.SamplesPerSec, b.SamplesPerSec);
    EXPECT_EQ(back.WavePath, b.WavePath);
    EXPECT_EQ(back.ScratchPath, b.ScratchPath);
    EXPECT_EQ(back.ActualStartTime, -2);
    EXPECT_EQ(back.StartTime, 0x12345678);
    EXPECT_EQ(DecodeCode(raw), 1);
}

TEST(SoundBlock, PauseCodesAndMomentAreAdditionsBehindTheProgress) {
    // The codes of old keep their values; the new ones follow them.
    EXPECT_EQ(kCodeStop, 3);
    EXPECT_EQ(kCodeWriting, 8);
    EXPECT_EQ(kCodePause, 9);
    EXPECT_EQ(kCodePaused, 10);
    EXPECT_EQ(kCodeResume, 11);
    EXPECT_EQ(kCodeResumed, 12);
    SoundHelperBlock b;
    b.Code = kCodePause;
    b.Progress = 999;
    b.Moment = -123456789;  // PerfMillis wraps: any 32-bit value is a moment
    uint8_t raw[kBlockBytes];
    std::memset(raw, 0xEE, sizeof raw);
    ASSERT_TRUE(EncodeBlock(b, raw));
    EXPECT_EQ(At(raw, 0), 9);
    EXPECT_EQ(At(raw, 556), 999);
    EXPECT_EQ(At(raw, 560), -123456789);
    for (size_t i = 564; i < kBlockBytes; ++i) ASSERT_EQ(raw[i], 0) << i;
    const SoundHelperBlock back = DecodeBlock(raw);
    EXPECT_EQ(back.Moment, -123456789);
    EXPECT_EQ(back.Progress, 999);
    EXPECT_EQ(kOffMoment + 4 + kUnusedBytes, kBlockBytes);
}

TEST(SoundBlock, PathsMustFitTheirFields) {
    const struct {
        std::string wave, scratch;
        bool ok;
    } cases[] = {
        {std::string(260, 'a'), "", true},
        {std::string(261, 'a'), "", false},
        {"", std::string(260, 'b'), true},
        {"", std::string(261, 'b'), false},
        {std::string("a\0b", 3), "", false},
        {"\x83\x65\x83\x58\x83\x67.wav", "", true},  // Shift-JIS bytes pass through
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wave.size() * 1000 + c.scratch.size());
        SoundHelperBlock b;
        b.WavePath = c.wave;
        b.ScratchPath = c.scratch;
        uint8_t raw[kBlockBytes] = {};
        raw[0] = 9;
        EXPECT_EQ(EncodeBlock(b, raw), c.ok);
        if (c.ok) {
            EXPECT_EQ(DecodeBlock(raw).WavePath, c.wave);
            EXPECT_EQ(DecodeBlock(raw).ScratchPath, c.scratch);
        } else {
            EXPECT_EQ(raw[0], 9);  // nothing written
        }
    }
}

TEST(SoundBlock, UnterminatedPathFromTheOtherSideStopsAtItsField) {
    uint8_t raw[kBlockBytes];
    std::memset(raw, 'x', sizeof raw);
    const SoundHelperBlock b = DecodeBlock(raw);
    EXPECT_EQ(b.WavePath, std::string(261, 'x'));
    EXPECT_EQ(b.ScratchPath, std::string(261, 'x'));
}

TEST(SoundBlock, HelperCommandLine) {
    const struct {
        const char* line;
        bool ok;
        uint32_t pid;
    } cases[] = {
        {"1234", true, 1234},      {" 56 ", true, 56},    {"\t4294967295", true, 4294967295u},
        {"4294967296", false, 0},  {"", false, 0},        {"   ", false, 0},
        {"0", false, 0},           {"-5", false, 0},      {"+5", false, 0},
        {"12 34", false, 0},       {"12abc", false, 0},   {"0x10", false, 0},
        {"99999999999", false, 0}, {"\"123\"", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        uint32_t pid = 7;
        EXPECT_EQ(ParseProcessId(c.line, &pid), c.ok);
        EXPECT_EQ(pid, c.ok ? c.pid : 7u);
    }
}

TEST(SoundBlock, RecorderMessagesAfterTheStop) {
    EXPECT_EQ(StopOutcomeMessageUtf8(StopOutcome::Done), "");
    EXPECT_EQ(StopOutcomeMessageUtf8(StopOutcome::Failed),
              "録音部分にエラーが発生しました。\r\n正常に録音できませんでした。");
    EXPECT_EQ(StopOutcomeMessageUtf8(StopOutcome::NoReply),
              "録音完了の返答がありません。\r\n録音が失敗している可能性があります。");
}

// Status 8 carries how far the WAV is at offset 556; the rest of the tail stays zero.
TEST(SoundBlock, WritingStatusCarriesItsProgress) {
    SoundHelperBlock b;
    b.Code = kCodeWriting;
    b.Progress = 437;
    uint8_t raw[kBlockBytes];
    ASSERT_TRUE(EncodeBlock(b, raw));
    EXPECT_EQ(At(raw, 0), 8);
    EXPECT_EQ(At(raw, 556), 437);
    for (size_t i = 560; i < kBlockBytes; ++i) ASSERT_EQ(raw[i], 0) << i;
    EXPECT_EQ(DecodeBlock(raw).Progress, 437);
}

// The recorder's wait after the capture, look by look: a helper that says it is writing is
// not told to stop again and is given the time its recording's length needs; one that says
// nothing is given the usual 5000 ms.
TEST(SoundBlock, RecorderWaitsForAHelperThatIsWriting) {
    // 10 minutes: the reply time, the drain and 50 ms a second recorded.
    EXPECT_EQ(WritingWaitMs(5000, 600), 5000u + 2500 + 30000);
    EXPECT_EQ(WritingWaitMs(5000, 3600), 5000u + 2500 + 180000);
    EXPECT_EQ(WritingWaitMs(5000, 0), 7500u);
    EXPECT_EQ(WritingWaitMs(5000, -5), 7500u);
    struct Look {
        int32_t code;
        double sinceStop;
        StopStep want;
    };
    struct Case {
        const char* name;
        std::vector<Look> looks;
    };
    const uint32_t writingMs = WritingWaitMs(5000, 600);
    const Case cases[] = {
        {"quick reply",
         {{1, 0, StopStep::kSendStop}, {3, 100, StopStep::kWait}, {4, 200, StopStep::kDone}}},
        {"failure", {{1, 0, StopStep::kSendStop}, {6, 100, StopStep::kFailed}}},
        {"stop acknowledged while idle: asked again until the time-out",
         {{0, 0, StopStep::kSendStop},
          {0, 4900, StopStep::kSendStop},
          {0, 5001, StopStep::kNoReply}}},
        {"silent helper", {{3, 100, StopStep::kWait}, {3, 5001, StopStep::kNoReply}}},
        {"long recording being written",
         {{1, 0, StopStep::kSendStop},
          {8, 100, StopStep::kWait},
          {8, 5001, StopStep::kWait},
          {8, 20000, StopStep::kWait},
          {4, 21000, StopStep::kDone}}},
        {"writing, then silent past the bound",
         {{8, 100, StopStep::kWait}, {8, writingMs + 1.0, StopStep::kNoReply}}},
        {"a stop written over status 8 still counts as writing",
         {{8, 100, StopStep::kWait}, {3, 6000, StopStep::kWait}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool writingSeen = false;
        for (const Look& l : c.looks) {
            SCOPED_TRACE(l.sinceStop);
            EXPECT_EQ(NextStopStep(l.code, l.sinceStop, 5000, writingMs, &writingSeen), l.want);
        }
    }
}

}  // namespace
}  // namespace tqk::test
