// Hot-key names and the normalisation of a shortcut before it is written.
#include <gtest/gtest.h>

#include "link_rules.h"

namespace tqk::test {
namespace {

TEST(LinkRules, HotKeyTable) {
    const auto& t = HotKeyNames();
    const struct {
        int code;
        const char* name;
    } cases[] = {
        {0, ""},     {1, "LBUTTON"}, {5, ""},         {13, "RETURN"},     {48, "0"},
        {57, "9"},   {65, "A"},      {90, "Z"},       {93, "APP"},        {96, ""},
        {97, ""},    {98, ""},       {99, "NUMPAD3"}, {105, "NUMPAD9"},   {111, "DIVIDE"},
        {112, "F1"}, {135, "F24"},   {136, ""},       {186, ":"},         {220, "\\"},
        {222, "^"},  {249, "EREO"},  {250, ""},       {254, "OEM_CLEAR"}, {255, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(t[size_t(c.code)], c.name);
    }
    size_t named = 0;
    for (const auto& n : t) named += !n.empty();
    EXPECT_EQ(named, 30u + 10u + 26u + 3u + 7u + 6u + 24u + 2u + 6u + 11u + 7u);
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
