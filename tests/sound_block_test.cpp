// The shared block between the recorder and the sound helper: byte layout, paths, the helper's
// command line and the recorder's messages.
#include "sound_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

}  // namespace
}  // namespace tqk::test
