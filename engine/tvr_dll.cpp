// TVR.dll: the frame compressor library, one export.
#include <windows.h>

#include "tvr_pack.h"

extern "C" int32_t __stdcall Compress(uint8_t* out, const uint8_t* cur, const uint8_t* prev,
                                      int32_t words) {
    if (!out || !cur || !prev || words <= 0) return 0;
    return tqk::PackFrame(out, cur, prev, words);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
