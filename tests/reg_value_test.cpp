// The registry helper's value type: what is written for each kind and what each registry
// type reads back as.
#include <gtest/gtest.h>

#include "reg_value.h"

namespace tqk::test {
namespace {

const TextConvert kSame = [](const std::string& s) { return s; };
const TextConvert kExpand = [](const std::string& s) {
    return s == "%X%\\a" ? std::string("C:\\x\\a") : s;
};

using Bytes = std::vector<uint8_t>;

TEST(RegValue, Encoding) {
    const struct {
        const char* what;
        RegValue value;
        EncodeResult result;
        uint32_t type;
        Bytes bytes;
    } cases[] = {
        {"string", RegValue::String("ab"), EncodeResult::kWrite, kRegSz, {'a', 'b', 0}},
        {"empty string", RegValue::String(""), EncodeResult::kWrite, kRegSz, {0}},
        {"strings",
         RegValue::StringArray({"a", "bc"}),
         EncodeResult::kWrite,
         kRegMultiSz,
         {'a', 0, 'b', 'c', 0, 0}},
        {"no strings", RegValue::StringArray({}), EncodeResult::kWrite, kRegMultiSz, {0, 0}},
        {"numbers",
         RegValue::NumberArray({1, 255, 256, -1, 2.5}),
         EncodeResult::kWrite,
         kRegBinary,
         {1, 255, 0, 255, 2}},
        {"bytes", RegValue::Bytes({9, 8}), EncodeResult::kWrite, kRegBinary, {9, 8}},
        {"long", RegValue::Long(-2), EncodeResult::kWrite, kRegDword, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"double", RegValue::Number(3.5), EncodeResult::kWrite, kRegDword, {4, 0, 0, 0}},
        {"double half even", RegValue::Number(2.5), EncodeResult::kWrite, kRegDword, {2, 0, 0, 0}},
        {"null", RegValue::Null(), EncodeResult::kWrite, kRegDword, {0, 0, 0, 0}},
        {"too big", RegValue::Number(3e9), EncodeResult::kOutOfRange, 0, {}},
        {"nan",
         RegValue::Number(std::numeric_limits<double>::quiet_NaN()),
         EncodeResult::kOutOfRange,
         0,
         {}},
        {"other", RegValue::Other(), EncodeResult::kSkip, 0, {}},
        {"empty", RegValue::Empty(), EncodeResult::kSkip, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegData d;
        ASSERT_EQ(EncodeRegValue(c.value, kSame, &d), c.result);
        if (c.result == EncodeResult::kWrite) {
            EXPECT_EQ(d.type, c.type);
            EXPECT_EQ(d.bytes, c.bytes);
        }
    }
}

TEST(RegValue, Decoding) {
    const struct {
        const char* what;
        RegData data;
        RegValue::Kind kind;
        std::string text;
        int32_t longValue;
        int32_t error;
    } cases[] = {
        {"empty", {kRegSz, {}}, RegValue::Kind::kEmpty, "", 0, 0},
        {"sz", {kRegSz, {'a', 'b', 0}}, RegValue::Kind::kString, "ab", 0, 0},
        {"sz without NUL", {kRegSz, {'a', 'b'}}, RegValue::Kind::kString, "ab", 0, 0},
        {"multi",
         {kRegMultiSz, {'a', 0, 'b', 0, 0}},
         RegValue::Kind::kString,
         std::string("a\0b\0", 4),
         0,
         0},
        {"expand",
         {kRegExpandSz, {'%', 'X', '%', '\\', 'a', 0}},
         RegValue::Kind::kString,
         "C:\\x\\a",
         0,
         0},
        {"dword", {kRegDword, {0x78, 0x56, 0x34, 0x12}}, RegValue::Kind::kLong, "", 0x12345678, 0},
        {"big endian",
         {kRegDwordBigEndian, {0x12, 0x34, 0x56, 0x78}},
         RegValue::Kind::kLong,
         "",
         0x12345678,
         0},
        {"big endian negative",
         {kRegDwordBigEndian, {0xFF, 0xFF, 0xFF, 0xFE}},
         RegValue::Kind::kLong,
         "",
         -2,
         0},
        {"link", {kRegLink, {1, 2}}, RegValue::Kind::kString, "", 0, kRegErrType},
        {"unknown", {11, {1, 2, 3, 4, 5, 6, 7, 8}}, RegValue::Kind::kString, "", 0, kRegErrType},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t error = 99;
        const RegValue v = DecodeRegValue(c.data, kSame, kExpand, &error);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(v.kind, c.kind);
        EXPECT_EQ(v.text, c.text);
        EXPECT_EQ(v.longValue, c.longValue);
    }
    int32_t error = 0;
    const RegValue bin = DecodeRegValue({kRegBinary, {0, 7, 255}}, kSame, kExpand, &error);
    EXPECT_EQ(bin.kind, RegValue::Kind::kBytes);
    EXPECT_EQ(bin.bytes, (Bytes{0, 7, 255}));
}

TEST(RegValue, ErrorTextsAndPaths) {
    EXPECT_EQ(Reg3ErrorText(0), "正常終了。");
    EXPECT_EQ(Reg3ErrorText(-6), "拡張子の関連付けに失敗しました。");
    EXPECT_EQ(Reg3ErrorText(-8), "拡張子のアイコンの設定に失敗しました。");
    EXPECT_EQ(Reg3ErrorText(-9), "");
    EXPECT_EQ(Reg3ErrorText(1), "");
    EXPECT_EQ(TrimKeyPath("a\\b\\"), "a\\b");
    EXPECT_EQ(TrimKeyPath("\\"), "");
    EXPECT_EQ(TrimKeyPath("a"), "a");
}

}  // namespace
}  // namespace tqk::test
