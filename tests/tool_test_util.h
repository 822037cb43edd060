// Shared pieces of the portable tool tests: a unique temporary folder and a tqk run captured.
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tqk_commands.h"

namespace tqk::tooltest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "tqk_test_") {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

struct ToolRun {
    int code = -1;
    std::string out, err;
};

// Runs "tqk ARGS..." in this process and keeps what it printed.
inline ToolRun Tqk(const std::vector<std::string>& args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ToolRun r;
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
