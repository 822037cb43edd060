// The frame packer behind TVR.dll's Compress. Portable: no <windows.h>.
#pragma once

#include <cstdint>

namespace tqk {

// Packs cur against prev (words 4-byte words each) into out as alternating unchanged and
// literal runs, starting with an unchanged run and covering exactly 4 x words bytes.
// Returns the number of words written (at least 1). out must hold PackedCapacity(4 x words)
// bytes; for frames of 16 bytes or more the result never exceeds 1.5 x the frame.
// cur and prev are only read; nothing is kept between calls.
int32_t PackFrame(uint8_t* out, const uint8_t* cur, const uint8_t* prev, int32_t words);

}  // namespace tqk
