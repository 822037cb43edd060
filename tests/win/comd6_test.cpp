// ComD6 with the real common dialogs of the Wine prefix, driven from a second thread the way a
// user would: type a name, choose a filter, press OK or Cancel.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "comd6.h"
#include "test_files.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

// Drives the next file dialog of this process with steps, from another thread (the dialog
// blocks the thread that opened it).
class DialogDriver {
public:
    explicit DialogDriver(std::function<bool(HWND)> steps)
        : thread_([this, steps] {
              HWND dlg = WaitForWindow(GetCurrentProcessId(), L"#32770", nullptr, 15000);
              ok = dlg && steps(dlg);
              if (dlg && IsWindow(dlg)) CloseFileDialog(dlg, false);  // never left open
          }) {}
    ~DialogDriver() { thread_.join(); }
    bool ok = false;

private:
    std::thread thread_;
};

// Types name into the dialog and presses OK.
std::function<bool(HWND)> Type(const std::wstring& name, int filter = -1) {
    return [name, filter](HWND dlg) {
        if (filter >= 0 && !ChooseFileDialogFilter(dlg, filter)) return false;
        return SetFileDialogName(dlg, name) && CloseFileDialog(dlg, true);
    };
}

class ComD6Test : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = ComD6::CurDir();
        ComD6::ChDir(folder_.Path());
    }
    void TearDown() override { ComD6::ChDir(saved_); }
    std::wstring Make(const std::wstring& name) {
        const std::wstring path = folder_.Path() + name;
        EXPECT_TRUE(WriteBytes(path, "x"));
        return path;
    }
    TempFolder folder_{L"comd6_動画フォルダ"};
    std::wstring saved_;
};

TEST_F(ComD6Test, SaveAppendsTheFiltersExtensionToANameWithoutDot) {
    struct Case {
        const wchar_t* typed;
        int filter;  // -1: leave the first
        const wchar_t* result;
    };
    const Case cases[] = {
        {L"録画テスト", -1, L"録画テスト.TQK"},
        {L"録画テスト.dat", -1, L"録画テスト.dat"},
        {L"二番目", 1, L"二番目.avi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ComD6 d;
        d.Filter(L"変換元のTQKファイル|*.TQK|AVIファイル|*.avi");
        d.Title(L"保存先");
        d.DefaultDirectory(folder_.Path());
        DialogDriver driver(Type(c.typed, c.filter));
        const std::wstring got = d.ShowSave();
        EXPECT_EQ(got, folder_.Path() + c.result);
        (void)driver;
    }
}

TEST_F(ComD6Test, CancelledDialogsGiveEmptyResults) {
    ComD6 d;
    d.Filter(L"変換元のTQKファイル|*.TQK");
    {
        DialogDriver driver([](HWND dlg) { return CloseFileDialog(dlg, false); });
        EXPECT_EQ(d.ShowSave(nullptr, L"名前"), L"");
    }
    {
        DialogDriver driver([](HWND dlg) { return CloseFileDialog(dlg, false); });
        EXPECT_EQ(d.ShowOpenSingle(), L"");
    }
    {
        DialogDriver driver([](HWND dlg) { return CloseFileDialog(dlg, false); });
        EXPECT_EQ(d.ShowOpenMulti(), std::vector<std::wstring>{L""});
    }
}

TEST_F(ComD6Test, OpenSingleAndMulti) {
    const std::wstring a = Make(L"一番目.TQK"), b = Make(L"二番目.TQK");
    ComD6 d;
    d.Filter(L"変換元のTQKファイル|*.TQK");
    d.DefaultDirectory(folder_.Path());
    {
        DialogDriver driver(Type(L"一番目.TQK"));
        EXPECT_EQ(d.ShowOpenSingle(), a);
    }
    {
        DialogDriver driver(Type(L"二番目.TQK"));
        EXPECT_EQ(d.ShowOpenMulti(), std::vector<std::wstring>{b});
    }
    {
        DialogDriver driver(Type(L"\"一番目.TQK\" \"二番目.TQK\""));
        EXPECT_EQ(d.ShowOpenMulti(), (std::vector<std::wstring>{a, b}));
    }
    {
        // The default file name is offered in the name box.
        std::wstring offered;
        DialogDriver driver([&offered](HWND dlg) {
            offered = Text(FileNameBox(dlg));
            return CloseFileDialog(dlg, true);
        });
        EXPECT_EQ(d.ShowOpenSingle(nullptr, b), b);
        EXPECT_EQ(offered, L"二番目.TQK");  // the dialog opens in its folder
    }
}

TEST_F(ComD6Test, RestoreDirectoryKeepsTheCurrentFolder) {
    TempFolder other(L"comd6_別の場所");
    const std::wstring target = other.Path() + L"保存.TQK";
    // What the dialog does to the current folder when nothing restores it: the same with a
    // flag of 0 and of 2.
    std::wstring after[3];
    for (int32_t flag : {0, 2, 1}) {
        SCOPED_TRACE(flag);
        ComD6::ChDir(folder_.Path());
        ComD6 d;
        d.Filter(L"変換元のTQKファイル|*.TQK");
        d.DefaultDirectory(folder_.Path());
        d.Flag_RestoreDirectory(flag);
        EXPECT_EQ(d.Flag_RestoreDirectory(), flag);
        DialogDriver driver(Type(target));
        EXPECT_EQ(d.ShowSave(), target);
        after[flag] = ComD6::CurDir();
    }
    EXPECT_EQ(after[2], after[0]);  // 2 is not 1
    EXPECT_EQ(after[1] + L"\\", folder_.Path());
}

TEST_F(ComD6Test, NamesOutsideTheAnsiCodePageComeBackIntact) {
    ASSERT_EQ(GetACP(), 932u);
    // é and 한 have no place in code page 932: an ANSI dialog would return "caf?_?.TQK".
    const std::wstring name = L"caf\u00e9_\ud55c.TQK";
    const std::wstring path = Make(name);
    ComD6 d;
    d.Filter(L"変換元のTQKファイル|*.TQK");
    d.DefaultDirectory(folder_.Path());
    {
        DialogDriver driver(Type(name));
        const std::wstring got = d.ShowOpenSingle();
        EXPECT_EQ(got, path);
        EXPECT_EQ(got.find(L'?'), std::wstring::npos);
        EXPECT_TRUE(Exists(got));
    }
    {
        DialogDriver driver(Type(L"caf\u00e9_\ud55c_新規"));
        EXPECT_EQ(d.ShowSave(), folder_.Path() + L"caf\u00e9_\ud55c_新規.TQK");
    }
}

TEST(ComD6, MembersAndCurrentFolder) {
    ComD6 d;
    EXPECT_EQ(d.Filter(), L"");
    d.Filter(L"変換元のTQKファイル|*.TQK|すべて|*.*");
    EXPECT_EQ(d.Filter(), L"変換元のTQKファイル|*.TQK|すべて|*.*");
    d.Title(L"題名");
    EXPECT_EQ(d.Title(), L"題名");
    d.Flag_Save_AddExt(1);
    d.Flag_Save_Overwriteprompt(2);
    EXPECT_EQ(d.Flag_Save_AddExt(), 1);
    EXPECT_EQ(d.Flag_Save_Overwriteprompt(), 2);
    const std::wstring saved = ComD6::CurDir();
    TempFolder f(L"comd6_階層");
    ComD6::ChDir(f.Path());
    EXPECT_EQ(ComD6::CurDir() + L"\\", f.Path());
    ComD6::ChDir(saved);
    EXPECT_EQ(ComD6::CurDir(), saved);
}

}  // namespace
}  // namespace tqk::test
