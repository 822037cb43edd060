// Shared pieces of the portable tool tests: a unique temporary folder and a tqk run captured.
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "temp_dir.h"
#include "tqk_commands.h"

namespace tqk::tooltest {

using TempDir = tqk::test::TempDir;

struct ToolRun {
    int code = -1;
    std::string out, err;
};

// Runs "tqk ARGS..." in this process and keeps what it printed.
inline ToolRun Tqk(const std::vector<std::string>& args) {
    std::FILE* out = test::OpenScratchFile();
    std::FILE* err = test::OpenScratchFile();
    ToolRun r;
    if (!out || !err) {
        if (out) std::fclose(out);
        if (err) std::fclose(err);
        r.err = "cannot open a file for the tool's output";
        return r;
    }
    r.code = RunTqk(args, out, err);
    for (auto [f, s] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
        std::rewind(f);
        int c;
        while ((c = std::fgetc(f)) != EOF) s->push_back(char(c));
        std::fclose(f);
    }
    return r;
}

}  // namespace tqk::tooltest
