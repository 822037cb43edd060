// Every write, flush and rename of the portable writers failed in turn, through the fault seam
// of the file layers: the tool's movie (replaced whole), the AVI export (written in place) and
// the sound added to an AVI. After each failure the program must say so, and the file left
// behind must be the old one or a valid new one: never a failure reported as success, never a
// half-written file presented as whole.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_test_util.h"
#include "fault_seam.h"
#include "safe_file.h"
#include "tool_test_util.h"
#include "zmbv.h"

namespace tqk::test {
namespace {

using fault::Op;
using tooltest::TempDir;
using tooltest::Tqk;

std::vector<uint8_t> Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}
bool Exists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }
void Copy(const std::string& from, const std::string& to) {
    const std::vector<uint8_t> b = Slurp(from);
    std::ofstream(to, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

struct Disarmed {
    ~Disarmed() { fault::Disarm(); }
};

// Runs `run` with the n-th call of op failing, for n = 1, 2, ... until a run no longer reaches
// the n-th call; `check(fired)` judges each run. Returns how many runs failed a call.
int EveryCall(Op op, const std::function<void()>& prepare, const std::function<void()>& run,
              const std::function<void(bool fired)>& check) {
    Disarmed guard;
    for (int n = 1; n < 2000; ++n) {
        SCOPED_TRACE(std::string(fault::OpName(op)) + " call " + std::to_string(n));
        fault::Disarm();
        prepare();
        fault::Arm(op, n);
        run();
        const bool fired = fault::Fired();
        fault::Disarm();
        check(fired);
        if (!fired || ::testing::Test::HasFatalFailure()) return n - 1;
    }
    ADD_FAILURE() << "more than 2000 calls";
    return 0;
}

TEST(FaultInjection, ToolMovieIsReplacedWholeOrNotAtAll) {
    TempDir dir;
    const std::string movie = dir.File("out.tqk"), old = dir.File("old.tqk");
    ASSERT_EQ(Tqk({"sample", old, "--size", "8x4", "--fps", "2", "--sec", "1"}).code, 0);
    const std::vector<uint8_t> oldBytes = Slurp(old);
    for (const bool hadOld : {true, false}) {
        for (const Op op : {Op::kWrite, Op::kFlush, Op::kRename}) {
            SCOPED_TRACE(hadOld ? "over an old movie" : "new movie");
            tooltest::ToolRun r;
            const int failed = EveryCall(
                op,
                [&] {
                    std::remove(movie.c_str());
                    if (hadOld) Copy(old, movie);
                },
                [&] {
                    r = Tqk({"sample", movie, "--size", "16x8", "--fps", "5", "--sec", "1"});
                },
                [&](bool fired) {
                    EXPECT_FALSE(Exists(ScratchPathFor(movie)));
                    if (!fired) {
                        EXPECT_EQ(r.code, 0) << r.err;
                        EXPECT_EQ(Tqk({"verify", movie}).code, 0);
                        return;
                    }
                    EXPECT_NE(r.code, 0);
                    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
                    if (hadOld)
                        EXPECT_EQ(Slurp(movie), oldBytes);
                    else
                        EXPECT_FALSE(Exists(movie));
                });
            EXPECT_GE(failed, 1);
        }
    }
}

// What an AVI left behind holds: every index consistent (Walk), and the frames and samples
// it says it has. A ZMBV stream's frames must also decode, one after the other, from the first.
struct AviCheck {
    uint32_t frames = 0;
    uint64_t soundBytes = 0;
    size_t streams = 0;
};
void DecodeZmbv(const avitest::Bytes& f, const avitest::AviSummary& s,
                const avitest::StreamSummary& st) {
    zmbv::Decoder decoder;
    ASSERT_EQ(decoder.Start(int(s.width), int(s.height)), zmbv::Status::kOk);
    for (size_t i = 0; i < st.chunks.size(); ++i) {
        const avitest::Chunk& ch = st.chunks[i];
        ASSERT_LE(ch.dataOffset + ch.size, f.size());
        EXPECT_EQ(decoder.Decode(f.data() + ch.dataOffset, ch.size), zmbv::Status::kOk)
            << "frame " << i;
    }
}
AviCheck CheckAvi(const std::string& path, bool zmbv = false) {
    AviCheck c;
    const avitest::Bytes f = Slurp(path);
    if (f.size() < 12) {
        ADD_FAILURE() << path << " has no RIFF header";
        return c;
    }
    const avitest::AviSummary s = avitest::Walk(f);
    c.streams = s.streams.size();
    EXPECT_EQ(s.avihStreams, s.streams.size());
    for (const avitest::StreamSummary& st : s.streams) {
        if (st.type == "vids") {
            c.frames = uint32_t(st.chunks.size());
            EXPECT_EQ(st.length, st.chunks.size());
            if (zmbv) DecodeZmbv(f, s, st);
        } else {
            for (const avitest::Chunk& ch : st.chunks) c.soundBytes += ch.size;
            EXPECT_EQ(uint64_t(st.length) * st.sampleSize, c.soundBytes);
        }
    }
    return c;
}

// The writers that put AVIs down; a ZMBV stream's frames are checked by its decoder as well.
struct AviWriterCase {
    const char* name;
    std::vector<std::string> extraArgs;
    uint32_t frames;
    bool zmbv;
};

TEST(FaultInjection, AviExportKeepsEveryWholeFrameAndSaysSo) {
    TempDir dir;
    const std::string movie = dir.File("m.tqk"), out = dir.File("out.avi");
    ASSERT_EQ(Tqk({"sample", movie, "--size", "32x16", "--fps", "10", "--sec", "2"}).code, 0);
    // An AVI already at the output's name: a failure either keeps it or replaces it by the frames
    // written.
    const std::string old = dir.File("old.avi");
    ASSERT_EQ(Tqk({"avi", movie, old}).code, 0);
    const std::vector<uint8_t> oldBytes = Slurp(old);
    const std::vector<AviWriterCase> cases = {
        {"one segment", {}, 20, false},
        {"several segments", {"--segment", "21000"}, 20, false},
        {"ZMBV", {"--codec", "zmbv", "--keyint", "4"}, 20, true},
        // The smallest segment the writer allows: two of them.
        {"ZMBV, several segments",
         {"--codec", "zmbv", "--keyint", "4", "--segment", "1"},
         20,
         true},
    };
    for (const AviWriterCase& wc : cases) {
        for (const Op op : {Op::kWrite, Op::kFlush}) {
            SCOPED_TRACE(wc.name);
            tooltest::ToolRun r;
            std::vector<std::string> args = {"avi"};
            args.insert(args.end(), wc.extraArgs.begin(), wc.extraArgs.end());
            args.push_back(movie);
            args.push_back(out);
            const int failed = EveryCall(
                op, [&] { Copy(old, out); }, [&] { r = Tqk(args); },
                [&](bool fired) {
                    if (!fired) {
                        EXPECT_EQ(r.code, 0) << r.err;
                        EXPECT_EQ(CheckAvi(out, wc.zmbv).frames, wc.frames);
                        return;
                    }
                    ASSERT_NE(r.code, 0)
                        << "a failed " << fault::OpName(op) << " reported as success";
                    EXPECT_FALSE(Exists(ScratchPathFor(out)));
                    if (r.err.find("is left as it was") != std::string::npos) {
                        EXPECT_EQ(Slurp(out), oldBytes);
                        return;
                    }
                    // Or the file is a valid AVI holding exactly the frames the message names.
                    const AviCheck c = CheckAvi(out, wc.zmbv);
                    EXPECT_NE(r.err.find("(the AVI keeps " + std::to_string(c.frames) + " frames)"),
                              std::string::npos)
                        << r.err;
                    EXPECT_LT(c.frames, wc.frames + 1);
                });
            EXPECT_GE(failed, 1);
        }
    }
}

TEST(FaultInjection, SoundAddedToAnAviIsWholeOrReported) {
    TempDir dir;
    const std::string movie = dir.File("m.tqk"), done = dir.File("done.avi"),
                      out = dir.File("out.avi"), wav = dir.File("s.wav");
    ASSERT_EQ(Tqk({"sample", movie, "--size", "16x8", "--fps", "10", "--sec", "1"}).code, 0);
    for (const char* segment : {"1073741824", "21000"}) {
        SCOPED_TRACE(std::string("segment ") + segment);
        ASSERT_EQ(Tqk({"avi", "--segment", segment, movie, done}).code, 0);
        // 0.9 s of 8 kHz stereo: 28800 bytes, several pieces of the copy.
        const avitest::Bytes w = avitest::PcmWav(7200, 2, 8000);
        std::ofstream(wav, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(w.data()), std::streamsize(w.size()));
        for (const Op op : {Op::kWrite, Op::kFlush}) {
            int32_t rc = 0;
            const int failed = EveryCall(
                op, [&] { Copy(done, out); },
                [&] { rc = avi::AddWaveToAvi(out, wav, nullptr, std::stoull(segment)); },
                [&](bool fired) {
                    const AviCheck c = CheckAvi(out);
                    EXPECT_EQ(c.frames, 10u);
                    if (!fired) {
                        EXPECT_EQ(rc, avi::kAviOk);
                        EXPECT_EQ(c.soundBytes, 7200u * 4);
                        return;
                    }
                    EXPECT_NE(rc, avi::kAviOk) << "a failed write reported as success";
                    EXPECT_LE(c.soundBytes, 7200u * 4);
                    // Without sound it is the file as it was.
                    if (c.streams == 1) {
                        EXPECT_EQ(Slurp(out), Slurp(done));
                    }
                });
            EXPECT_GE(failed, 1);
        }
    }
}

}  // namespace
}  // namespace tqk::test
