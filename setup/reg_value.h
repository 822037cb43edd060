// The registry helper's value type: a small tagged value with the conversions to and from
// registry data. Portable; the ANSI conversion and the environment expansion are passed in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tqk {

// Registry value types as the platform numbers them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;

// Result codes of the registry helper.
enum RegResult : int32_t {
    kRegOk = 0,
    kRegErrOpen = -1,
    kRegErrNoKey = -2,
    kRegErrType = -3,
    kRegErrFileName = -4,
    kRegErrExePath = -5,
    kRegErrAssociate = -6,
    kRegErrSetValue = -7,
    kRegErrIcon = -8,
};
// UTF-8 text of a result code; empty for codes without one.
std::string Reg3ErrorText(int32_t code);

struct RegValue {
    enum class Kind {
        kEmpty,        // nothing (an empty registry value reads as this)
        kNull,         // written as DWORD 0
        kString,       // text (UTF-8)
        kStringArray,  // strings
        kNumberArray,  // any other array: one byte per element
        kBytes,        // a byte array, as REG_BINARY reads back
        kLong,         // 32-bit integer
        kNumber,       // floating or currency value: rounded to 32 bits when written
        kOther,        // a value the registry cannot hold (objects, dates...): never written
    };
    Kind kind = Kind::kEmpty;
    std::string text;
    std::vector<std::string> strings;
    std::vector<double> numbers;
    std::vector<uint8_t> bytes;
    int32_t longValue = 0;
    double number = 0;

    static RegValue Empty() { return {}; }
    static RegValue Null() { return Make(Kind::kNull); }
    static RegValue String(std::string s) {
        RegValue v = Make(Kind::kString);
        v.text = std::move(s);
        return v;
    }
    static RegValue StringArray(std::vector<std::string> s) {
        RegValue v = Make(Kind::kStringArray);
        v.strings = std::move(s);
        return v;
    }
    static RegValue NumberArray(std::vector<double> n) {
        RegValue v = Make(Kind::kNumberArray);
        v.numbers = std::move(n);
        return v;
    }
    static RegValue Bytes(std::vector<uint8_t> b) {
        RegValue v = Make(Kind::kBytes);
        v.bytes = std::move(b);
        return v;
    }
    static RegValue Long(int32_t n) {
        RegValue v = Make(Kind::kLong);
        v.longValue = n;
        return v;
    }
    static RegValue Number(double d) {
        RegValue v = Make(Kind::kNumber);
        v.number = d;
        return v;
    }
    static RegValue Other() { return Make(Kind::kOther); }

private:
    static RegValue Make(Kind k) {
        RegValue v;
        v.kind = k;
        return v;
    }
};

using TextConvert = std::function<std::string(const std::string&)>;

struct RegData {
    uint32_t type = kRegNone;
    std::vector<uint8_t> bytes;
};

enum class EncodeResult { kWrite, kSkip, kOutOfRange };
// Registry type and data for a value. toAnsi turns UTF-8 into the ANSI code page. kSkip: the
// value is of a kind that is never written; kOutOfRange: a number beyond 32 bits.
EncodeResult EncodeRegValue(const RegValue& value, const TextConvert& toAnsi, RegData* out);

// The value for registry data; retError gets 0, or -3 for REG_LINK and unknown types (which
// give an empty text). fromAnsi turns ANSI into UTF-8; expand expands environment strings.
RegValue DecodeRegValue(const RegData& data, const TextConvert& fromAnsi, const TextConvert& expand,
                        int32_t* retError);

// A key path as used: one trailing "\" removed.
std::string TrimKeyPath(std::string path);

}  // namespace tqk
