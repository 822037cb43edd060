// Replacing a file in one step, with every write, flush and rename failed in turn.
#include "safe_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fault_seam.h"
#include "tool_test_util.h"

namespace tqk::test {
namespace {

using fault::Op;
using tooltest::TempDir;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

struct FaultGuard {
    ~FaultGuard() { fault::Disarm(); }
};

TEST(SafeFile, WritesAndReplaces) {
    TempDir dir;
    const std::string path = dir.File("settings.ini");
    ASSERT_EQ(WriteFileReplacing(path, std::string("first")), 0u);
    EXPECT_EQ(Slurp(path), "first");
    ASSERT_EQ(WriteFileReplacing(path, std::string("second, longer")), 0u);
    EXPECT_EQ(Slurp(path), "second, longer");
    ASSERT_EQ(WriteFileReplacing(path, std::string()), 0u);
    EXPECT_EQ(Slurp(path), "");
    EXPECT_FALSE(Exists(ScratchPathFor(path)));
}

TEST(SafeFile, MissingFolderIsAnError) {
    TempDir dir;
    EXPECT_NE(WriteFileReplacing(dir.File("no/such/folder.ini"), std::string("x")), 0u);
}

// Each call of each kind failed in turn: the old file stays whole, the error is the injected one,
// and no scratch file is left behind.
TEST(SafeFile, EveryFailureKeepsTheOldFile) {
    FaultGuard guard;
    TempDir dir;
    const std::string path = dir.File("log.txt");
    for (const bool existed : {true, false}) {
        for (const Op op : {Op::kWrite, Op::kFlush, Op::kRename}) {
            int failures = 0;
            for (int n = 1;; ++n) {
                SCOPED_TRACE(std::string(fault::OpName(op)) + " " + std::to_string(n) +
                             (existed ? " over an old file" : " new file"));
                std::remove(path.c_str());
                if (existed) {
                    fault::Disarm();
                    ASSERT_EQ(WriteFileReplacing(path, std::string("old")), 0u);
                }
                fault::Arm(op, n);
                SafeFileWriter w;
                uint32_t e = w.Open(path);
                for (int part = 0; part < 3 && !e; ++part) e = w.Write("new.", 4);
                if (!e) e = w.Commit();
                const bool fired = fault::Fired();
                fault::Disarm();
                if (!fired) {
                    EXPECT_EQ(e, 0u);
                    EXPECT_EQ(Slurp(path), "new.new.new.");
                    break;
                }
                ++failures;
                EXPECT_EQ(e, fault::ErrorNumber(op));
                if (existed) {
                    EXPECT_EQ(Slurp(path), "old");
                } else {
                    EXPECT_FALSE(Exists(path));
                }
                EXPECT_FALSE(Exists(ScratchPathFor(path)));
                ASSERT_LT(n, 10);
            }
            // Every call was failed once: each of the three writes, the one flush, the one
            // rename (a loop that never fired would have tested nothing).
            EXPECT_EQ(failures, op == Op::kWrite ? 3 : 1) << fault::OpName(op);
        }
    }
}

TEST(SafeFile, ReplaceFileWithPutsTheCopyInPlace) {
    FaultGuard guard;
    TempDir dir;
    const std::string movie = dir.File("a.tqk"), copy = dir.File("a.tqk.new");
    ASSERT_EQ(WriteFileReplacing(movie, std::string("old movie")), 0u);
    ASSERT_EQ(WriteFileReplacing(copy, std::string("rewritten")), 0u);
    fault::Arm(Op::kRename, 1);
    EXPECT_EQ(ReplaceFileWith(copy, movie), fault::ErrorNumber(Op::kRename));
    EXPECT_EQ(Slurp(movie), "old movie");
    EXPECT_EQ(Slurp(copy), "rewritten");
    fault::Disarm();
    EXPECT_EQ(ReplaceFileWith(copy, movie), 0u);
    EXPECT_EQ(Slurp(movie), "rewritten");
    EXPECT_FALSE(Exists(copy));
}

TEST(FaultSeam, StickyFailsEveryLaterCall) {
    FaultGuard guard;
    fault::Arm(Op::kWrite, 3, true);
    std::vector<bool> got;
    for (int i = 0; i < 5; ++i) got.push_back(fault::ShouldFail(Op::kWrite));
    EXPECT_EQ(got, (std::vector<bool>{false, false, true, true, true}));
    EXPECT_FALSE(fault::ShouldFail(Op::kFlush));
    EXPECT_EQ(fault::Calls(Op::kWrite), 5);
    {
        fault::Suspend s;
        EXPECT_FALSE(fault::ShouldFail(Op::kWrite));
    }
    EXPECT_EQ(fault::Calls(Op::kWrite), 5);
}

}  // namespace
}  // namespace tqk::test
