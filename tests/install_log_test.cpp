// The install log's layout and parsing, the status texts, the depth sort, the uninstaller's
// batch text and the path rule that keeps the uninstaller inside what the installer made.
#include <gtest/gtest.h>

#include <map>

#include "install_log.h"

namespace tqk::test {
namespace {

TEST(InstallLog, LayoutOfAFullInstallation) {
    InstallLogBuffers log;
    // Records arrive in the installer's order: reg first, then folders, files, shortcuts.
    EXPECT_TRUE(log.Add("reg", "TQK"));
    EXPECT_TRUE(log.Add("dir", "C:\\P\\Taviro\\help\\"));
    EXPECT_TRUE(log.Add("fnm", "C:\\P\\Taviro\\TVR.dll"));
    EXPECT_TRUE(log.Add("fnm", "C:\\D\\TaviroPlayer.lnk"));
    EXPECT_TRUE(log.Add("dir", "C:\\M\\Nolvane\\Taviro\\"));
    EXPECT_FALSE(log.Add("xyz", "ignored"));
    EXPECT_EQ(log.FileText(),
              "dir:C:\\P\\Taviro\\help\\\r\ndir:C:\\M\\Nolvane\\Taviro\\\r\n"
              "\r\n"
              "fnm:C:\\P\\Taviro\\TVR.dll\r\nfnm:C:\\D\\TaviroPlayer.lnk\r\n"
              "\r\n"
              "reg:TQK\r\n"
              "\r\n");
}

TEST(InstallLog, WithoutAssociationEndsAfterTheFiles) {
    InstallLogBuffers log;
    log.Add("fnm", "C:\\a.exe");
    EXPECT_EQ(log.FileText(), "\r\nfnm:C:\\a.exe\r\n\r\n\r\n");
    EXPECT_EQ(InstallLogBuffers().FileText(), "\r\n\r\n\r\n");
}

TEST(InstallLog, SplitAndParseRoundTrip) {
    InstallLogBuffers log;
    log.Add("dir", "C:\\T\\help\\");
    log.Add("fnm", "C:\\T\\表.exe");  // 表 has a "\" byte inside in Shift-JIS; not in UTF-8
    log.Add("reg", "TQK");
    const std::string text = log.FileText();
    EXPECT_EQ(CountLineBreaks(text), 6u);
    const auto lines = SplitLogLines(text);
    ASSERT_EQ(lines.size(), 7u);
    std::vector<LogRecord> records;
    for (const auto& l : lines)
        if (auto r = ParseLogLine(l)) records.push_back(*r);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].kind, "fnm");
    EXPECT_EQ(records[1].value, "C:\\T\\表.exe");
    EXPECT_EQ(records[2].value, "TQK");
}

TEST(InstallLog, SplittingEdgeCases) {
    const struct {
        const char* text;
        size_t lines, breaks;
    } cases[] = {
        {"", 0, 0},     {"\r\n", 2, 1},     {"a", 1, 0},
        {"a\nb", 1, 0}, {"a\r\r\nb", 2, 1}, {"ab\r\n\r\n", 3, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitLogLines(c.text).size(), c.lines);
        EXPECT_EQ(CountLineBreaks(c.text), c.breaks);
    }
    EXPECT_FALSE(ParseLogLine(""));
    const auto shortLine = ParseLogLine("fn");
    ASSERT_TRUE(shortLine);
    EXPECT_EQ(shortLine->kind, "fn");
    EXPECT_EQ(shortLine->value, "");
    EXPECT_EQ(ParseLogLine("fnm:")->value, "");
    EXPECT_EQ(ParseLogLine("fnmXC:\\x")->value, "C:\\x");  // the separator is not checked
}

TEST(InstallLog, StatusTexts) {
    const struct {
        const char* kind;
        const char* value;
        const char* text;
    } cases[] = {
        {"fnm", "C:\\T\\TVR.dll", "TVR.dllをコピー中"},
        {"fnm", "C:\\D\\TaviroRec.LNK", "TaviroRec.LNKのショートカットを作成中"},
        {"fnm", "C:\\M\\ヘルプ.lnk", "ヘルプ.lnkのショートカットを作成中"},
        {"fnm", "C:\\T\\lnk", "lnkをコピー中"},
        {"dir", "C:\\T\\help\\", "ディレクトリを作成中"},
        {"reg", "TQK", "TQKをレジストリに登録中"},
        {"drv", "vidc.zmbv", "vidc.zmbvをレジストリに登録中"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(InstallStatusText(c.kind, c.value), c.text);
    }
    EXPECT_FALSE(InstallStatusText("foo", "x"));
}

TEST(InstallLog, UndoPlan) {
    const struct {
        const char* kind;
        const char* value;
        UndoAction action;
        const char* status;
    } cases[] = {
        {"reg", "TQK", UndoAction::kUnregister, "TQKの関連づけを削除中"},
        {"reg", "tqk", UndoAction::kNone, ""},
        {"reg", "AVI", UndoAction::kNone, ""},
        {"fnm", "C:\\T\\TVR.dll", UndoAction::kDeleteFile, "TVR.dllを削除中"},
        {"dir", "C:\\T\\help\\", UndoAction::kRemoveDir, "ディレクトリを削除中"},
        {"zzz", "C:\\T", UndoAction::kNone, ""},
        {"drv", "vidc.zmbv", UndoAction::kUnregisterDriver, "vidc.zmbvの登録を削除中"},
        {"drv", "vidc.tzmb", UndoAction::kUnregisterDriver, "vidc.tzmbの登録を削除中"},
        {"drv", "vidc.mrle", UndoAction::kNone, ""},  // never ours
        {"drv", "", UndoAction::kNone, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + c.value);
        const UndoStep s = PlanUndo({c.kind, c.value});
        EXPECT_EQ(s.action, c.action);
        EXPECT_EQ(s.status, c.status);
    }
}

// The compressor's entry goes with the association at the log's end; the name is the first
// one not held by another compressor, and only our own library's entry is ever removed.
TEST(InstallLog, CompressorEntry) {
    InstallLogBuffers log;
    ASSERT_TRUE(log.Add("fnm", "C:\\T\\TaviroZmbv.dll"));
    ASSERT_TRUE(log.Add("reg", "TQK"));
    ASSERT_TRUE(log.Add("drv", "vidc.zmbv"));
    EXPECT_EQ(log.FileText(),
              "\r\nfnm:C:\\T\\TaviroZmbv.dll\r\n\r\nreg:TQK\r\ndrv:vidc.zmbv\r\n\r\n");

    using Entries = std::map<std::string, std::string>;
    const struct {
        Entries now;
        const char* chosen;  // nullptr: none
    } cases[] = {
        {{}, "vidc.zmbv"},
        {{{"vidc.zmbv", "C:\\Old\\taviroZMBV.DLL"}}, "vidc.zmbv"},  // an older installation
        {{{"vidc.zmbv", "zmbv.dll"}}, "vidc.tzmb"},
        {{{"vidc.zmbv", "zmbv.dll"}, {"vidc.tzmb", "C:\\T\\TaviroZmbv.dll"}}, "vidc.tzmb"},
        {{{"vidc.zmbv", "zmbv.dll"}, {"vidc.tzmb", "other.dll"}}, nullptr},
    };
    for (const auto& c : cases) {
        const auto chosen = ChooseCompressorEntry([&](const std::string& name) {
            auto it = c.now.find(name);
            return it == c.now.end() ? std::nullopt : std::optional<std::string>(it->second);
        });
        EXPECT_EQ(chosen.value_or("none"), c.chosen ? c.chosen : "none");
    }
    EXPECT_TRUE(IsCompressorOf("c:\\t\\taviroZmbv.dll", "C:\\T\\"));
    EXPECT_FALSE(IsCompressorOf("C:\\Other\\TaviroZmbv.dll", "C:\\T\\"));
    EXPECT_FALSE(IsCompressorOf("zmbv.dll", "C:\\T\\"));
}

TEST(InstallLog, DepthSortIsStable) {
    std::vector<std::string> paths = {"S\\a\\b\\c", "S\\x", "S\\a\\b", "S\\a", "S\\y\\z", "S\\b"};
    SortByDepth(paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"S\\x", "S\\a", "S\\b", "S\\a\\b", "S\\y\\z",
                                               "S\\a\\b\\c"}));
}

TEST(InstallLog, DestinationPaths) {
    EXPECT_EQ(DestinationFromParent("C:\\Program Files\\Nolvane\\"),
              "C:\\Program Files\\Nolvane\\Taviro\\");
    EXPECT_EQ(DestinationFromParent("D:\\apps"), "D:\\apps\\Taviro\\");
    EXPECT_EQ(DestinationFromParent("D:\\"), "D:\\Taviro\\");
    EXPECT_EQ(MapToDestination("C:\\Src\\", "D:\\T\\", "c:\\src\\help\\main.htm"),
              "D:\\T\\help\\main.htm");
    EXPECT_EQ(WithTrailingBackslash("C:\\a"), "C:\\a\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\a\\"), "C:\\a\\");
}

TEST(InstallLog, PathWithinRoot) {
    const char* root = "C:\\Program Files\\Nolvane\\Taviro\\";
    const struct {
        const char* path;
        bool allowRoot;
        bool inside;
    } cases[] = {
        {"C:\\Program Files\\Nolvane\\Taviro\\TVR.dll", false, true},
        {"c:\\program files\\nolvane\\taviro\\help\\index.htm", false, true},
        {"C:\\Program Files\\Nolvane\\Taviro\\help\\", false, true},
        {"C:\\Program Files\\Nolvane\\Taviro\\", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\", true, true},
        {"C:\\Program Files\\Nolvane\\Taviro", true, true},
        {"C:\\Program Files\\Nolvane\\Taviro", false, false},
        {"C:\\Program Files\\Nolvane\\TaviroX\\a.exe", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\..\\x.exe", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\a\\..\\..\\x.exe", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\.. \\x.exe", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\a/../../x.exe", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\.\\x.exe", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\\\x.exe", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\...\\x", false, false},
        {"C:\\Program Files\\Nolvane\\Taviro\\.hidden", false, true},
        {"C:\\Windows\\system32\\kernel32.dll", false, false},
        {"Taviro\\TVR.dll", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsPathWithin(c.path, root, c.allowRoot), c.inside);
    }
    EXPECT_FALSE(IsPathWithin("C:\\x", "", true));
    EXPECT_FALSE(IsPathWithin("C:\\x\\y", "C:\\x", false));  // a root needs its "\"
}

TEST(InstallLog, BatchTextExactly) {
    const std::string text =
        UninstallBatchText("C:\\T\\UnInstallTVR.exe", "C:\\T\\", "C:\\Temp\\_uninstalltvrall.bat");
    std::string expected =
        "@echo off\r\n:delfile\r\ndel /f \"C:\\T\\UnInstallTVR.exe\"\r\n"
        "if exist \"C:\\T\\UnInstallTVR.exe\" goto delfile:\r\n:deldir\r\n";
    for (int i = 0; i < 51; ++i) expected += "rd \"C:\\T\\\"\r\n";
    expected += "del \"C:\\Temp\\_uninstalltvrall.bat\"\r\n";
    EXPECT_EQ(text, expected);
}

// The association's records: what a log says the installation created, and what the
// uninstaller then takes back, deepest first.
TEST(InstallLog, AssociationRecordsAndTheirUndo) {
    EXPECT_EQ(AssociationKeys(".TQK", "TaviroVideo", "再生"),
              (std::vector<std::string>{
                  ".TQK", "TaviroVideo", "TaviroVideo\\Shell", "TaviroVideo\\Shell\\再生",
                  "TaviroVideo\\Shell\\再生\\command", "TaviroVideo\\DefaultIcon"}));
    InstallLogBuffers log;
    log.Add("dir", "C:\\T\\help\\");
    EXPECT_TRUE(log.Add("rgt", "OtherType"));
    EXPECT_TRUE(log.Add("rgk", "OtherType\\Shell\\再生"));
    EXPECT_TRUE(log.Add("rgk", "OtherType\\Shell\\再生\\command"));
    log.Add("reg", "TQK");
    log.Add("drv", "vidc.zmbv");
    const std::string text = log.FileText();
    EXPECT_EQ(text,
              "dir:C:\\T\\help\\\r\n\r\n\r\nrgt:OtherType\r\nrgk:OtherType\\Shell\\再生\r\n"
              "rgk:OtherType\\Shell\\再生\\command\r\nreg:TQK\r\ndrv:vidc.zmbv\r\n\r\n");
    // The records themselves undo nothing in the walk; "reg:TQK" takes back the keys.
    for (const char* kind : {"rgt", "rgk"})
        EXPECT_EQ(PlanUndo({kind, "OtherType"}).action, UndoAction::kNone) << kind;
    const AssociationUndo undo = PlanAssociationUndo(SplitLogLines(text));
    EXPECT_EQ(undo.type, "OtherType");
    EXPECT_EQ(undo.keys, (std::vector<std::string>{"OtherType\\Shell\\再生\\command",
                                                   "OtherType\\Shell\\再生"}));

    // Without "reg:TQK" nothing is taken back, whatever else the log says.
    EXPECT_TRUE(PlanAssociationUndo(SplitLogLines("rgt:X\r\nrgk:X\r\n")).keys.empty());
    // A log from before the records: what a fresh association creates, deepest first.
    const AssociationUndo old = PlanAssociationUndo(SplitLogLines("\r\n\r\nreg:TQK\r\n\r\n"));
    EXPECT_EQ(old.type, "TaviroVideo");
    EXPECT_EQ(old.keys,
              (std::vector<std::string>{"TaviroVideo\\Shell\\再生\\command",
                                        "TaviroVideo\\Shell\\再生", "TaviroVideo\\DefaultIcon",
                                        "TaviroVideo\\Shell", "TaviroVideo", ".TQK"}));
}

// Which of the association's keys an installation claims: the ones it created, and what the
// log it replaces claimed (its extension key only for the same type).
TEST(InstallLog, KeysToRecord) {
    const auto fresh = AssociationKeys(".TQK", "TaviroVideo", "再生");
    const auto none = [](const std::string&) { return false; };
    const auto all = [](const std::string&) { return true; };
    // A fresh association: every key.
    EXPECT_EQ(KeysToRecord(fresh, none, all, {}, "TaviroVideo"),
              (std::vector<std::string>{".TQK", "TaviroVideo", "TaviroVideo\\Shell",
                                        "TaviroVideo\\DefaultIcon", "TaviroVideo\\Shell\\再生",
                                        "TaviroVideo\\Shell\\再生\\command"}));
    // A type that existed with its own DefaultIcon: only the verb's keys.
    const auto reused = AssociationKeys(".TQK", "Other", "再生");
    const auto existed = [](const std::string& k) {
        return k == ".TQK" || k == "Other" || k == "Other\\Shell" || k == "Other\\DefaultIcon";
    };
    EXPECT_EQ(KeysToRecord(reused, existed, all, {}, "Other"),
              (std::vector<std::string>{"Other\\Shell\\再生", "Other\\Shell\\再生\\command"}));
    // Installed again over itself: nothing is new, the replaced log's keys stay claimed.
    const AssociationUndo first =
        PlanAssociationUndo(SplitLogLines("rgt:TaviroVideo\r\nrgk:.TQK\r\nrgk:TaviroVideo\r\n"
                                          "rgk:TaviroVideo\\Shell\r\nreg:TQK\r\n"));
    EXPECT_EQ(KeysToRecord(fresh, all, all, first, "TaviroVideo"),
              (std::vector<std::string>{".TQK", "TaviroVideo", "TaviroVideo\\Shell"}));
    // ... but a key that has gone since is not claimed again.
    const auto noShell = [](const std::string& k) { return k != "TaviroVideo\\Shell"; };
    EXPECT_EQ(KeysToRecord(fresh, all, noShell, first, "TaviroVideo"),
              (std::vector<std::string>{".TQK", "TaviroVideo"}));
    // The extension now names another program's type: its key is no longer ours.
    EXPECT_EQ(KeysToRecord(reused, all, all, first, "Other"),
              (std::vector<std::string>{"TaviroVideo", "TaviroVideo\\Shell"}));
}

// The installer refuses what would give a log the uninstaller refuses.
TEST(InstallLog, InstallationSizeLimit) {
    const size_t most = MaxInstallEntries();
    EXPECT_EQ(PlannedLogLineBreaks(most, 0), kMaxLogLineBreaks - 1);
    EXPECT_EQ(PlannedLogLineBreaks(10, most - 10), kMaxLogLineBreaks - 1);
    EXPECT_EQ(PlannedLogLineBreaks(0, most + 1), kMaxLogLineBreaks);
    // The largest log: every record the installer can write, one per line, and the breaks.
    InstallLogBuffers log;
    for (size_t i = 0; i < most - 1; ++i) log.Add("fnm", "C:\\T\\f" + std::to_string(i));
    log.Add("dir", "C:\\T\\help\\");
    log.Add("dir", "C:\\M\\Nolvane\\Taviro\\");
    for (int i = 0; i < 6; ++i) log.Add("fnm", "C:\\M\\l" + std::to_string(i) + ".lnk");
    log.Add("rgt", "TaviroVideo");
    for (const auto& k : AssociationKeys(".TQK", "TaviroVideo", "再生")) log.Add("rgk", k);
    log.Add("reg", "TQK");
    log.Add("drv", "vidc.zmbv");
    EXPECT_EQ(CountLineBreaks(log.FileText()), kMaxLogLineBreaks - 1);
    EXPECT_EQ(
        TooManyFilesMessage(90),
        "インストールするフォルダとファイルが多すぎます。\r\n合わせて" + std::to_string(most) +
            "個までですが、90個あります。\r\nインストールを中止しました。何も変更していません。");
}

TEST(InstallLog, Wildcards) {
    const struct {
        const char* name;
        const char* patterns;
        bool match;
    } cases[] = {
        {"TVR.dll", "", true},
        {"TVR.dll", "*", true},
        {"TVR.dll", "*.DLL", true},
        {"TVR.dll", "*.exe;*.dll", true},
        {"TVR.dll", "*.exe", false},
        {"TVR.dll", "T?R.dll", true},
        {"TVR.dll", "T?.dll", false},
        {"表.exe", "?.exe", true},
        {"a.b.c", "*.c", true},
        {"abc", "a*b*c*", true},
        {"abc", "a*d", false},
        {"", "*", true},
        {"x", ";x", true},
        {"pagefile.sys", "*.sys", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.patterns);
        EXPECT_EQ(MatchesAnyPattern(c.name, c.patterns), c.match);
    }
}

}  // namespace
}  // namespace tqk::test
