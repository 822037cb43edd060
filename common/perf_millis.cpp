#include "perf_millis.h"

#include <windows.h>

#include <cmath>

namespace tqk {

double PerfMillis() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency * 1000.0;
}

int32_t PerfMillisInt() {
    return static_cast<int32_t>(static_cast<uint32_t>(std::llround(PerfMillis())));
}

}  // namespace tqk
