// Command line of tqkrec, the console recorder. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tqk {

struct TqkrecArgs {
    std::string out;
    int32_t x = 0, y = 0, W = 0, H = 0;
    int32_t fps = 10;
    int32_t sec = 1;
    int32_t method = 1;
    bool mapped = false;  // --async: the mapped writer (RecAsync)
    bool cursor = false;
    bool overlay = false;  // clicks and keys drawn, from presses the tool makes up
    int32_t sleepCo = 0;
    int32_t sleepTime = 0;
};

// Parses "OUT.TQK --rect X,Y,W,H [--fps N] [--sec S] [--method 0|1|2] [--async] [--cursor]
// [--sleep COUNT,MS] [--overlay]". Empty string on success, else what is wrong.
std::string ParseTqkrecArgs(const std::vector<std::string>& args, TqkrecArgs* out);

extern const char kTqkrecUsage[];

}  // namespace tqk
