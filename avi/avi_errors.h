// The result codes of the AVI library (the platform's AVIFile codes) and their Japanese
// texts. Portable: no <windows.h>.
#pragma once

#include <cstdint>

namespace tqk::avi {

constexpr int32_t kAviOk = 0;
constexpr int32_t kAviErrUnsupported = int32_t(0x80044065u);
constexpr int32_t kAviErrBadFormat = int32_t(0x80044066u);
constexpr int32_t kAviErrMemory = int32_t(0x80044067u);
constexpr int32_t kAviErrBadParam = int32_t(0x8004406Au);
constexpr int32_t kAviErrBadSize = int32_t(0x8004406Bu);
constexpr int32_t kAviErrBadHandle = int32_t(0x8004406Cu);
constexpr int32_t kAviErrFileRead = int32_t(0x8004406Du);
constexpr int32_t kAviErrFileWrite = int32_t(0x8004406Eu);
constexpr int32_t kAviErrFileOpen = int32_t(0x8004406Fu);
constexpr int32_t kAviErrCompressor = int32_t(0x80044070u);
constexpr int32_t kAviErrNoCompressor = int32_t(0x80044071u);
constexpr int32_t kAviErrCantCompress = int32_t(0x80044075u);
constexpr int32_t kAviErrUserAbort = int32_t(0x800440C6u);
constexpr int32_t kAviErrError = int32_t(0x800440C7u);

struct ErrorText {
    uint32_t code;
    const char* utf8;
};
// Every code with a text, in table order.
const ErrorText* ErrorTable(int* count);
// The UTF-8 text of a code, or nullptr for a code without one.
const char* ErrorTextUtf8(int32_t code);

}  // namespace tqk::avi
