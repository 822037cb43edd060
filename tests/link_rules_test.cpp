// Hot-key names and the normalisation of a shortcut before it is written.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "link_rules.h"

namespace tqk::test {
namespace {

// A shortcut's hot key is written by name: letters, digits and function keys by what their
// key shows, and no name stands for two keys (it could not be read back).
TEST(LinkRules, HotKeyNamesAreWhatTheKeysShowAndUnique) {
    const auto& t = HotKeyNames();
    ASSERT_EQ(t.size(), 256u);
    for (char c = 'A'; c <= 'Z'; ++c) EXPECT_EQ(t[size_t(c)], std::string(1, c));
    for (char c = '0'; c <= '9'; ++c) EXPECT_EQ(t[size_t(c)], std::string(1, c));
    for (int f = 1; f <= 24; ++f) EXPECT_EQ(t[size_t(111 + f)], "F" + std::to_string(f));
    std::set<std::string> names;
    for (size_t code = 0; code < t.size(); ++code) {
        if (t[code].empty()) continue;
        EXPECT_TRUE(names.insert(t[code]).second) << t[code] << " names two keys";
        EXPECT_EQ(t[code].find(' '), std::string::npos) << t[code];
    }
    EXPECT_TRUE(t[0].empty()) << "no key has code 0";
    EXPECT_GT(names.size(), 100u);
}

TEST(LinkRules, HotKeyConversions) {
    EXPECT_EQ(HotKeyFromName("Q", 0), 81);
    EXPECT_EQ(HotKeyFromName("P", 0), 80);
    EXPECT_EQ(HotKeyFromName("P", 2), 80 + 512);
    EXPECT_EQ(HotKeyFromName("NUMPAD0", 2), 0);
    EXPECT_EQ(HotKeyFromName("q", 0), 0);  // exact comparison
    EXPECT_EQ(HotKeyFromName("", 3), 0);
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        const HotKeyName n = HotKeyToName(code + 256 * 6);
        if (HotKeyNames()[size_t(code)].empty()) {
            EXPECT_EQ(n.modifiers, 0);
        } else {
            EXPECT_EQ(n.modifiers, 6);
            EXPECT_EQ(HotKeyFromName(n.name, n.modifiers), code + 256 * 6);
        }
    }
}

TEST(LinkRules, Normalisation) {
    const struct {
        const char* link;
        const char* linkOut;
        const char* work;
        const char* workOut;
        int show, showOut;
    } cases[] = {
        {"C:\\d\\a", "C:\\d\\a.lnk", "", "", 1, 5},
        {"C:\\d\\a.LNK", "C:\\d\\a.LNK", "C:\\T\\TaviroRec.exe", "C:\\T\\", 3, 3},
        {"C:\\d\\a.lnk", "C:\\d\\a.lnk", "C:\\T\\sub", "C:\\T\\", 7, 7},
        {"lnk", "lnk.lnk", "C:\\T\\", "C:\\T\\", 0, 5},
        {".lnk", ".lnk", "relative", "relative", 2, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        LinkDescription d;
        d.linkFile = c.link;
        d.workingFolder = c.work;
        d.showCommand = c.show;
        d.iconIndex = 4;
        const LinkDescription n = NormaliseLinkDescription(d);
        EXPECT_EQ(n.linkFile, c.linkOut);
        EXPECT_EQ(n.workingFolder, c.workOut);
        EXPECT_EQ(n.showCommand, c.showOut);
        EXPECT_EQ(n.iconIndex, 0);  // no icon file
    }
    LinkDescription withIcon;
    withIcon.linkFile = "x";
    withIcon.iconFile = "C:\\x.exe";
    withIcon.iconIndex = 4;
    EXPECT_EQ(NormaliseLinkDescription(withIcon).iconIndex, 4);
    EXPECT_EQ(ShowCommandAsRead(1), 5);
    EXPECT_EQ(ShowCommandAsRead(7), 7);
}

}  // namespace
}  // namespace tqk::test
