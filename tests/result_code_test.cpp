#include "result_code.h"

#include <gtest/gtest.h>

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

TEST(ResultCode, Messages) {
    EXPECT_EQ(Msg(MakeResultCode(-6, 12)), "バッファサイズが足りません。\r\n最低12MB必要です。");
    EXPECT_EQ(Msg(MakeResultCode(-7, 30)), Msg(-7));
    EXPECT_EQ(Msg(-7), "キャプチャーがユーザーの操作によりキャンセルされました。");
    EXPECT_EQ(Msg(0), "");
    EXPECT_EQ(Msg(5), "");
    EXPECT_EQ(Msg(-13), "");
    EXPECT_EQ(Msg(MakeResultCode(-10, 112)), "APIErr:system text 112");
    const char* expected[] = {"初期化されていません。", "ファイルをオープンできません。",
                              "ファイルが壊れているか、対応していないバージョンです。",
                              "フレームヘッダが見つかりません。", "不正なフレームサイズです。"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Msg(-1 - i), expected[i]);
    EXPECT_EQ(Msg(-8), "8ビット動画はType1でしかサポートしていません。");
    EXPECT_EQ(Msg(-9), "UserCaptureはType1でしか使えません。");
    EXPECT_EQ(Msg(-11), "ファイルがありません。");
    EXPECT_EQ(Msg(-12), "サイズが0です。");
}

}  // namespace
}  // namespace tqk::test
