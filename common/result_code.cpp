#include "result_code.h"

namespace tqk {

int32_t MakeResultCode(int32_t code, int32_t detail) {
    if (code >= 0) return 0;
    uint32_t value = 0x80000000u;
    value |= (static_cast<uint32_t>(detail) * 256u) & 0x0FFFFF00u;
    value |= static_cast<uint32_t>(code) & 0xFFu;
    return static_cast<int32_t>(value);
}

SplitCode SplitResultCode(int32_t packed) {
    const uint32_t v = static_cast<uint32_t>(packed);
    SplitCode s;
    s.code = static_cast<int8_t>(v & 0xFFu);
    // A plain negative code (-2 from playback) has bits 28-30 set and carries no detail;
    // a packed one always has them clear.
    const bool plain = (v & 0x70000000u) == 0x70000000u;
    s.detail = plain ? 0 : static_cast<int32_t>((v & 0x0FFFFF00u) >> 8);
    return s;
}

std::string ResultMessageUtf8(int32_t packed,
                              const std::function<std::string(uint32_t)>& systemText) {
    const SplitCode s = SplitResultCode(packed);
    switch (s.code) {
    case kErrNotInitialised: return "初期化されていません。";
    case kErrOpen: return "ファイルをオープンできません。";
    case kErrBadFile: return "ファイルが壊れているか、対応していないバージョンです。";
    case kErrNoFrameTag: return "フレームヘッダが見つかりません。";
    case kErrFrameSize: return "不正なフレームサイズです。";
    case kErrBufferSize:
        return "バッファサイズが足りません。\r\n最低" + std::to_string(s.detail) + "MB必要です。";
    case kErrCancelled: return "キャプチャーがユーザーの操作によりキャンセルされました。";
    case kErrEightBitType: return "8ビット動画はType1でしかサポートしていません。";
    case kErrUserCaptureType: return "UserCaptureはType1でしか使えません。";
    case kErrApi:
        return "APIErr:" +
               (systemText ? systemText(static_cast<uint32_t>(s.detail)) : std::string());
    case kErrNoFile: return "ファイルがありません。";
    case kErrEmptyFile: return "サイズが0です。";
    default: return std::string();
    }
}

}  // namespace tqk
