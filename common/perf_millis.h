// The clock every process of the system compares times on: the high-resolution performance
// counter in milliseconds. System-wide, so the recorder and the sound helper share it.
#pragma once

#include <cstdint>

namespace tqk {

double PerfMillis();

// PerfMillis as the 32-bit integer the shared block carries (rounded).
int32_t PerfMillisInt();

}  // namespace tqk
