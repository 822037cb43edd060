// Times and sizes the ffmpeg comparisons of the benchmarks read: this process's processor time,
// ffmpeg's own user time of one command, and a file's size. Portable (POSIX).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "shell_run.h"

namespace tqk::bench {

// Processor time of this process, as ffmpeg's "utime" counts its own: on a machine shared with
// other work, wall time would measure the neighbours.
inline double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// ffmpeg's user time ("bench: utime=") of one command; -1 when it failed.
inline double FfmpegUserSeconds(const std::string& args) {
    const test::ShellRun r =
        test::Shell("ffmpeg -nostdin -hide_banner -v info -nostats -benchmark " + args + " 2>&1");
    const size_t at = r.out.find("utime=");
    if (r.code != 0 || at == std::string::npos) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", r.out.c_str());
        return -1;
    }
    return std::atof(r.out.c_str() + at + 6);
}

inline uint64_t FileBytes(const std::string& p) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(p, ec);
    return ec ? 0 : uint64_t(n);
}

}  // namespace tqk::bench
