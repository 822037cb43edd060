// The tqk command-line tool: inspect, verify and convert movie files. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tqk_format.h"

namespace tqk {

// Runs "tqk ARGS..." (args without the program name); returns the exit code.
int RunTqk(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// Turns one unpacked frame into top-down rows of blue-green-red bytes (W x 3 a row).
// Type0 frames are read as the common display layouts: rows top-down; 32 bits B,G,R,X;
// 24 bits B,G,R; 16 bits 5-6-5, or 5-5-5 when type0Is555.
void FrameToBgr24(const MovieHeader& h, const uint8_t* frame, bool type0Is555, uint8_t* out);

}  // namespace tqk
