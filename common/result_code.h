// Result codes of the capture engine: packing, splitting and their messages.
// Portable: no <windows.h>. The text of -10 needs the platform's message table,
// so callers pass that lookup in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tqk {

enum ResultCode : int32_t {
    kOk = 0,
    kErrNotInitialised = -1,
    kErrOpen = -2,
    kErrBadFile = -3,
    kErrNoFrameTag = -4,
    kErrFrameSize = -5,
    kErrBufferSize = -6,
    kErrCancelled = -7,
    kErrEightBitType = -8,
    kErrUserCaptureType = -9,
    kErrApi = -10,
    kErrNoFile = -11,
    kErrEmptyFile = -12,
};

// 0 when code >= 0; else bit 31 set, bits 8-27 the low 20 bits of detail,
// bits 0-7 the low byte of code.
[[nodiscard]] int32_t MakeResultCode(int32_t code, int32_t detail);

struct SplitCode {
    int32_t code;    // the low byte read as a signed number
    int32_t detail;  // bits 8-27
};
[[nodiscard]] SplitCode SplitResultCode(int32_t packed);

// UTF-8 message of a packed or plain code; empty for codes without a text.
// systemText(n) gives the platform's message for error number n (used by -10).
std::string ResultMessageUtf8(int32_t packed,
                              const std::function<std::string(uint32_t)>& systemText);

}  // namespace tqk
