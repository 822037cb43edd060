// Shared pieces of the portable tool tests: a unique temporary folder, a tqk run captured and,
// natively, shell commands (ffmpeg, ffprobe, sox) whose output the tests read.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "shell_run.h"
#include "temp_dir.h"
#include "tqk_commands.h"

namespace tqk::test::tooltest {

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

// Runs "tqk ARGS..." in this process with its output into outFile (a UTF-8 path; a scratch file
// when empty) and its messages to stderr. The tool's code; -1 when the file cannot be opened.
inline int TqkTo(const std::vector<std::string>& args, const std::string& outFile = "") {
#ifdef _WIN32
    const auto open = [](const std::string& f) {
        return _wfopen(std::filesystem::u8path(f).c_str(), L"wb");
    };
#else
    const auto open = [](const std::string& f) { return std::fopen(f.c_str(), "wb"); };
#endif
    std::FILE* out = outFile.empty() ? test::OpenScratchFile() : open(outFile);
    if (!out) return -1;
    const int rc = RunTqk(args, out, stderr);
    std::fclose(out);
    return rc;
}

#ifndef _WIN32
using tqk::test::Shell;
using tqk::test::ShellRun;

// A path quoted for the shell.
inline std::string Q(const std::string& s) { return "'" + s + "'"; }

// The AVI decoded by ffmpeg with args (output format and pixel format) to standard output.
inline std::string Decode(const std::string& avi, const std::string& args) {
    const ShellRun r = Shell("ffmpeg -nostdin -v error -i " + Q(avi) + " " + args + " - 2>&1");
    EXPECT_EQ(r.code, 0) << r.out.substr(0, 500);
    return r.out;
}
#endif

}  // namespace tqk::test::tooltest
