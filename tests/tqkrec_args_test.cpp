#include "tqkrec_args.h"

#include <gtest/gtest.h>

namespace tqk::test {
namespace {

TEST(TqkrecArgs, ParsesEveryOption) {
    TqkrecArgs a;
    ASSERT_EQ(
        ParseTqkrecArgs({"out.TQK", "--rect", "10,-20,640,480", "--fps", "30", "--sec", "5",
                         "--method", "2", "--async", "--cursor", "--sleep", "2,3", "--overlay"},
                        &a),
        "");
    EXPECT_EQ(a.out, "out.TQK");
    EXPECT_EQ(a.x, 10);
    EXPECT_EQ(a.y, -20);
    EXPECT_EQ(a.W, 640);
    EXPECT_EQ(a.H, 480);
    EXPECT_EQ(a.fps, 30);
    EXPECT_EQ(a.sec, 5);
    EXPECT_EQ(a.method, 2);
    EXPECT_TRUE(a.mapped);
    EXPECT_TRUE(a.cursor);
    EXPECT_TRUE(a.overlay);
    EXPECT_EQ(a.sleepCo, 2);
    EXPECT_EQ(a.sleepTime, 3);
}

TEST(TqkrecArgs, RefusesBadInput) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--rect", "0,0,8,8"},
        {"a.TQK"},
        {"a.TQK", "--rect", "0,0,8"},
        {"a.TQK", "--rect", "0,0,8,8,8"},
        {"a.TQK", "--rect", "0,x,8,8"},
        {"a.TQK", "--rect"},
        {"a.TQK", "--rect", "0,0,8,8", "--fps", "0"},
        {"a.TQK", "--rect", "0,0,8,8", "--fps", "101"},
        {"a.TQK", "--rect", "0,0,8,8", "--method", "3"},
        {"a.TQK", "--rect", "0,0,8,8", "--sec", "99999999999"},
        {"a.TQK", "--rect", "0,0,8,8", "--sleep", "1"},
        {"a.TQK", "--rect", "0,0,8,8", "--bogus"},
        {"a.TQK", "b.TQK", "--rect", "0,0,8,8"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(testing::PrintToString(args));
        TqkrecArgs a;
        EXPECT_NE(ParseTqkrecArgs(args, &a), "");
    }
}

}  // namespace
}  // namespace tqk::test
