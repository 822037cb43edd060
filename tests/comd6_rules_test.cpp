// The file dialogs' portable rules: option flags, filter forms, the save extension and the
// split of a multiple selection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comd6_rules.h"

namespace tqk::test {
namespace {

using namespace comd6;
using namespace std::string_literals;

TEST(ComD6Rules, FlagsPerDialogAndSwitch) {
    struct Case {
        const char* what;
        Switches s;
        Kind kind;
        uint32_t flags;
    };
    auto with = [](auto set) {
        Switches s;
        set(s);
        return s;
    };
    const Case cases[] = {
        {"open, nothing set", {}, Kind::OpenSingle, 0x8A0004},
        {"save, nothing set", {}, Kind::Save, 0x8A0004},
        {"multi, nothing set", {}, Kind::OpenMulti, 0x8A0204},
        {"no change dir", with([](Switches& s) { s.Flag_NoChangeDir_Destroy = 1; }),
         Kind::OpenSingle, 0x8A000C},
        {"multi, no change dir", with([](Switches& s) { s.Flag_NoChangeDir_Destroy = 1; }),
         Kind::OpenMulti, 0x8A020C},
        {"a flag of 2 is off", with([](Switches& s) { s.Flag_NoChangeDir_Destroy = 2; }),
         Kind::OpenSingle, 0x8A0004},
        {"-1 is off too", with([](Switches& s) { s.Flag_Save_Overwriteprompt = -1; }), Kind::Save,
         0x8A0004},
        {"create prompt, save", with([](Switches& s) { s.Flag_Open_CreatePrompt = 1; }), Kind::Save,
         0x8A2004},
        {"must exist, open", with([](Switches& s) { s.Flag_Open_CreatePromptToError = 1; }),
         Kind::OpenSingle, 0x8A1004},
        {"links, open", with([](Switches& s) { s.Flag_Open_LinkThuru = 1; }), Kind::OpenSingle,
         0x9A0004},
        {"links, not for save", with([](Switches& s) { s.Flag_Open_LinkThuru = 1; }), Kind::Save,
         0x8A0004},
        {"no read-only return, multi",
         with([](Switches& s) { s.Flag_Open_NoReadToMsg_Destroy = 1; }), Kind::OpenMulti, 0x8A8204},
        {"no read-only return, not for save",
         with([](Switches& s) { s.Flag_Open_NoReadToMsg_Destroy = 1; }), Kind::Save, 0x8A0004},
        {"overwrite prompt, save", with([](Switches& s) { s.Flag_Save_Overwriteprompt = 1; }),
         Kind::Save, 0x8A0006},
        {"overwrite prompt, not for open",
         with([](Switches& s) { s.Flag_Save_Overwriteprompt = 1; }), Kind::OpenSingle, 0x8A0004},
        {"restore directory adds no bit", with([](Switches& s) { s.Flag_RestoreDirectory = 1; }),
         Kind::OpenSingle, 0x8A0004},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DialogFlags(c.s, c.kind), c.flags);
    }
}

TEST(ComD6Rules, FilterBothWays) {
    const std::string bars = "変換元のTQKファイル|*.TQK|すべて|*.*";
    const std::string zeros = FilterToPlatform(bars);
    EXPECT_EQ(zeros, "変換元のTQKファイル\0*.TQK\0すべて\0*.*\0\0"s);
    EXPECT_EQ(FilterFromPlatform(zeros), bars);
    EXPECT_EQ(FilterToPlatform(""), "");
    EXPECT_EQ(FilterFromPlatform(""), "");
}

TEST(ComD6Rules, SavedNameGetsTheFiltersExtension) {
    const std::string filter = FilterToPlatform("変換元のTQKファイル|*.TQK|AVI|*.avi|すべて|*.*");
    struct Case {
        const char* path;
        uint32_t index;
        int32_t addExt;
        const char* result;
    };
    const Case cases[] = {
        {"C:\\動画\\録画1", 1, 0, "C:\\動画\\録画1.TQK"},
        {"C:\\動画\\録画1.tqk", 1, 0, "C:\\動画\\録画1.tqk"},
        {"C:\\動画\\録画1.old", 1, 0, "C:\\動画\\録画1.old"},
        {"C:\\a.b\\録画1", 1, 0, "C:\\a.b\\録画1.TQK"},  // a dot in a folder does not count
        {"C:\\動画\\録画1", 2, 0, "C:\\動画\\録画1.avi"},
        {"C:\\動画\\録画1", 3, 0, "C:\\動画\\録画1"},  // "*.*" adds no wildcard
        {"C:\\動画\\録画1", 4, 0, "C:\\動画\\録画1"},  // beyond the list
        {"C:\\動画\\録画1", 0, 0, "C:\\動画\\録画1"},
        {"C:\\動画\\録画1", 1, 1, "C:\\動画\\録画1"},  // kept as typed
        {"C:\\動画\\録画1", 1, 2, "C:\\動画\\録画1"},
        {"", 1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(SavedName(c.path, filter, c.index, c.addExt), c.result);
    }
    EXPECT_EQ(SavedName("C:\\x", "", 1, 0), "C:\\x");  // no filter
}

TEST(ComD6Rules, SplitSelection) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitSelection("C:\\動画\\a.TQK\0\0\0"s), V{"C:\\動画\\a.TQK"});
    EXPECT_EQ(SplitSelection("C:\\動画\0a.TQK\0b.TQK\0\0"s),
              (V{"C:\\動画\\a.TQK", "C:\\動画\\b.TQK"}));
    EXPECT_EQ(SplitSelection("C:\\\0a.TQK\0b.TQK\0\0"s), (V{"C:\\a.TQK", "C:\\b.TQK"}));
    EXPECT_EQ(SplitSelection(std::string(20, '\0')), V{});
    // Whatever lies beyond the double zero is not part of the selection.
    EXPECT_EQ(SplitSelection("C:\\d\0a\0\0old\0"s), V{"C:\\d\\a"});
    EXPECT_EQ(SplitSelection("C:\\d\0a"s), V{"C:\\d\\a"});  // no closing zero
}

}  // namespace
}  // namespace tqk::test
