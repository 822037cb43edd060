// Helpers shared by the recording and playback halves of Capture.
#pragma once

#include <windows.h>

#include <cstdint>

#include "message_pump.h"

namespace tqk {

// BITMAPINFOHEADER followed by a 256-entry colour table.
struct BitmapInfo256 {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};
void FillBitmapInfo(BitmapInfo256* bi, int32_t W, int32_t H, int32_t bits);

// Writes the sec field of a movie header in place (after a failed write: the whole
// seconds that reached the file). 0 or the platform's error number.
DWORD WriteSecondsField(const wchar_t* path, int32_t sec);

}  // namespace tqk
