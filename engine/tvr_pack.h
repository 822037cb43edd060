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

// The packer comes in versions for different instruction sets, all with the same output;
// PackFrame uses the fastest the processor offers. Tests and benchmarks run each one.
enum class PackerVersion { Portable, Sse2, Avx2 };
bool PackerVersionAvailable(PackerVersion v);
// PackFrame through one version; falls back to the portable one when v is not available.
int32_t PackFrameWith(PackerVersion v, uint8_t* out, const uint8_t* cur, const uint8_t* prev,
                      int32_t words);

}  // namespace tqk
