// What the ffmpeg comparisons of the benchmarks share: this process's processor time, ffmpeg's
// own user time of one command, a file's size and the folder the files go to. Portable (POSIX).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
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

// The folder a benchmark writes into: `keep` when given (kept for a look), else a new folder
// named after `name` under the system's temporary folder.
inline std::filesystem::path WorkFolder(const std::string& keep, const std::string& name) {
    const std::filesystem::path dir =
        keep.empty() ? std::filesystem::temp_directory_path() /
                           (name + "_" + std::to_string(std::random_device{}()))
                     : std::filesystem::path(keep);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace tqk::bench
