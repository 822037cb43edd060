// A shell command's standard output and exit status, for the native tests and benchmarks that
// read what ffmpeg, ffprobe, sox or md5sum print. Portable (POSIX popen); no test framework.
#pragma once

#include <cstdio>
#include <string>

namespace tqk::test {

struct ShellRun {
    int code = -1;
    std::string out;
};

inline ShellRun Shell(const std::string& cmd) {
    ShellRun r;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.code = pclose(p);
    return r;
}

}  // namespace tqk::test
