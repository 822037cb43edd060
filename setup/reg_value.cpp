#include "reg_value.h"

#include <cmath>

namespace tqk {

std::string Reg3ErrorText(int32_t code) {
    switch (code) {
    case kRegOk: return "正常終了。";
    case kRegErrOpen: return "キーのオープンに失敗しました。";
    case kRegErrNoKey: return "存在しないキーを開こうとしました。";
    case kRegErrType: return "対応していないデータ型です。";
    case kRegErrFileName: return "ファイル名が不正です。";
    case kRegErrExePath: return "Exeファイル名を取得するのに失敗しました。";
    case kRegErrAssociate: return "拡張子の関連付けに失敗しました。";
    case kRegErrSetValue: return "値の設定に失敗しました。";
    case kRegErrIcon: return "拡張子のアイコンの設定に失敗しました。";
    default: return {};
    }
}

namespace {

void PutDword(uint32_t v, std::vector<uint8_t>* out) {
    out->assign({uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

// Rounds half to even, as the variant conversion does; false beyond the 32-bit range.
bool RoundToLong(double d, int32_t* out) {
    if (!std::isfinite(d)) return false;
    const double r = std::nearbyint(d);
    if (r < -2147483648.0 || r > 2147483647.0) return false;
    *out = int32_t(r);
    return true;
}

std::string TextOf(const std::vector<uint8_t>& b) {
    std::string s(b.begin(), b.end());
    if (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

}  // namespace

EncodeResult EncodeRegValue(const RegValue& v, const TextConvert& toAnsi, RegData* out) {
    using K = RegValue::Kind;
    out->bytes.clear();
    switch (v.kind) {
    case K::kString: {
        const std::string a = toAnsi(v.text);
        out->type = kRegSz;
        out->bytes.assign(a.begin(), a.end());
        out->bytes.push_back(0);
        return EncodeResult::kWrite;
    }
    case K::kStringArray: {
        out->type = kRegMultiSz;
        for (size_t i = 0; i < v.strings.size(); ++i) {
            const std::string a = toAnsi(v.strings[i]);
            if (i) out->bytes.push_back(0);
            out->bytes.insert(out->bytes.end(), a.begin(), a.end());
        }
        out->bytes.push_back(0);
        out->bytes.push_back(0);
        return EncodeResult::kWrite;
    }
    case K::kNumberArray:
        out->type = kRegBinary;
        for (double d : v.numbers) {
            int32_t n = 0;
            if (!RoundToLong(d, &n)) return EncodeResult::kOutOfRange;
            out->bytes.push_back(uint8_t(n & 0xFF));
        }
        return EncodeResult::kWrite;
    case K::kBytes:
        out->type = kRegBinary;
        out->bytes = v.bytes;
        return EncodeResult::kWrite;
    case K::kLong:
        out->type = kRegDword;
        PutDword(uint32_t(v.longValue), &out->bytes);
        return EncodeResult::kWrite;
    case K::kNumber: {
        int32_t n = 0;
        if (!RoundToLong(v.number, &n)) return EncodeResult::kOutOfRange;
        out->type = kRegDword;
        PutDword(uint32_t(n), &out->bytes);
        return EncodeResult::kWrite;
    }
    case K::kNull:
        out->type = kRegDword;
        PutDword(0, &out->bytes);
        return EncodeResult::kWrite;
    case K::kEmpty:
    case K::kOther: break;
    }
    return EncodeResult::kSkip;
}

RegValue DecodeRegValue(const RegData& d, const TextConvert& fromAnsi, const TextConvert& expand,
                        int32_t* retError) {
    *retError = kRegOk;
    if (d.bytes.empty()) return RegValue::Empty();
    switch (d.type) {
    case kRegSz:
    case kRegMultiSz: return RegValue::String(fromAnsi(TextOf(d.bytes)));
    case kRegExpandSz: return RegValue::String(fromAnsi(expand(TextOf(d.bytes))));
    case kRegBinary: return RegValue::Bytes(d.bytes);
    case kRegDword:
    case kRegDwordBigEndian: {
        uint8_t b[4] = {0, 0, 0, 0};
        for (size_t i = 0; i < 4 && i < d.bytes.size(); ++i) b[i] = d.bytes[i];
        const uint32_t v = d.type == kRegDword ? uint32_t(b[0]) | uint32_t(b[1]) << 8 |
                                                     uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24
                                               : uint32_t(b[3]) | uint32_t(b[2]) << 8 |
                                                     uint32_t(b[1]) << 16 | uint32_t(b[0]) << 24;
        return RegValue::Long(int32_t(v));
    }
    default: *retError = kRegErrType; return RegValue::String("");
    }
}

std::string TrimKeyPath(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace tqk
