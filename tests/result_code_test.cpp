#include "result_code.h"

#include <gtest/gtest.h>

#include <set>

namespace tqk::test {
namespace {

std::string Msg(int32_t code) {
    return ResultMessageUtf8(code, [](uint32_t n) { return "system text " + std::to_string(n); });
}

TEST(ResultCode, PacksCodeAndDetail) {
    EXPECT_EQ(MakeResultCode(0, 5), 0);
    EXPECT_EQ(MakeResultCode(3, 5), 0);
    EXPECT_EQ(static_cast<uint32_t>(MakeResultCode(-7, 30)), 0x80001EF9u);
    // Only the low 20 bits of the detail are kept.
    EXPECT_EQ(static_cast<uint32_t>(MakeResultCode(-6, 0x123456)), 0x823456FAu);
    const SplitCode s = SplitResultCode(MakeResultCode(-10, 112));
    EXPECT_EQ(s.code, -10);
    EXPECT_EQ(s.detail, 112);
    EXPECT_EQ(SplitResultCode(-2).code, -2);
    EXPECT_EQ(SplitResultCode(-2).detail, 0);
}

// Every failure the engine reports reads differently, a packed code reads as its plain code
// (the detail goes only where the text names it), and codes without a failure read as nothing.
TEST(ResultCode, EveryFailureHasItsOwnMessage) {
    std::set<std::string> seen;
    for (int32_t code = kErrEmptyFile; code <= kErrNotInitialised; ++code) {
        SCOPED_TRACE(code);
        const std::string text = Msg(code);
        EXPECT_FALSE(text.empty());
        EXPECT_TRUE(seen.insert(text).second) << text << " stands for two failures";
        if (code != kErrBufferSize && code != kErrApi) {
            EXPECT_EQ(Msg(MakeResultCode(code, 30)), text) << "the detail changed the text";
        }
    }
    // The two texts that carry their detail: the megabytes wanted, the platform's own text.
    EXPECT_EQ(Msg(MakeResultCode(kErrBufferSize, 12)),
              "バッファサイズが足りません。\r\n最低12MB必要です。");
    EXPECT_EQ(Msg(MakeResultCode(kErrApi, 112)), "APIErr:system text 112");
    EXPECT_NE(Msg(MakeResultCode(kErrApi, 112)), Msg(MakeResultCode(kErrApi, 5)));
    EXPECT_EQ(Msg(kOk), "");
    EXPECT_EQ(Msg(5), "");
    EXPECT_EQ(Msg(kErrEmptyFile - 1), "");
}

}  // namespace
}  // namespace tqk::test
