// The installer's recursive lister on a real folder tree.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "setup_files.h"
#include "test_files.h"
#include "win_text.h"

namespace tqk::test {
namespace {

class GetAllFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring r = dir_.Path();
        for (const wchar_t* d : {L"sub", L"sub\\deep", L"表示", L"pagefile.sys.d"})
            ASSERT_TRUE(CreateDirectoryW((r + d).c_str(), nullptr));
        for (const wchar_t* f : {L"a.exe", L"b.DLL", L"pagefile.sys", L"sub\\c.exe",
                                 L"sub\\deep\\d.txt", L"表示\\ヘルプ.htm"})
            ASSERT_TRUE(test::WriteBytes(r + f, "x"));
        SetFileAttributesW((r + L"b.DLL").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    void TearDown() override {
        SetFileAttributesW((dir_.Path() + L"b.DLL").c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    std::vector<std::wstring> List(DWORD attributes, const wchar_t* patterns, bool lostDirectory,
                                   bool sub, bool nameOnly, const std::wstring& dir = L"") {
        std::vector<std::wstring> out;
        const int32_t n = GetALLFiles(dir.empty() ? dir_.Path() : dir, &out, attributes, patterns,
                                      lostDirectory, sub, true, nameOnly);
        EXPECT_EQ(size_t(n), out.size());
        for (auto& p : out) p = p.substr(dir_.Path().size());
        std::sort(out.begin(), out.end());
        return out;
    }

    test::TempFolder dir_{L"lister"};
};

using V = std::vector<std::wstring>;

TEST_F(GetAllFilesTest, FilesFoldersPatternsAndAttributes) {
    EXPECT_EQ(List(0, L"", true, true, true),
              (V{L"a.exe", L"b.DLL", L"sub\\c.exe", L"sub\\deep\\d.txt", L"表示\\ヘルプ.htm"}));
    EXPECT_EQ(List(FILE_ATTRIBUTE_DIRECTORY, L"", false, true, true),
              (V{L"pagefile.sys.d", L"sub", L"sub\\deep", L"表示"}));
    EXPECT_EQ(List(0, L"*.exe;*.dll", true, true, true), (V{L"a.exe", L"b.DLL", L"sub\\c.exe"}));
    EXPECT_EQ(List(0, L"", true, false, true), (V{L"a.exe", L"b.DLL"}));
    EXPECT_EQ(List(0, L"", false, false, true),
              (V{L"a.exe", L"b.DLL", L"pagefile.sys.d", L"sub", L"表示"}));
    EXPECT_EQ(List(FILE_ATTRIBUTE_READONLY, L"", true, true, true), (V{L"b.DLL"}));
    // Against the whole path unless the name alone is asked for.
    EXPECT_EQ(List(0, L"*\\sub\\*", true, true, false), (V{L"sub\\c.exe", L"sub\\deep\\d.txt"}));
    EXPECT_EQ(List(0, L"*\\sub\\*", true, true, true), V{});
    EXPECT_EQ(List(0, L"???.htm", true, true, true), (V{L"表示\\ヘルプ.htm"}));
    // A folder without its "\" and with a NUL in it is the same folder.
    std::wstring withNul = dir_.Path();
    withNul.pop_back();
    withNul.insert(3, 1, L'\0');
    EXPECT_EQ(List(0, L"*.exe", true, false, true, withNul), (V{L"a.exe"}));
    EXPECT_EQ(List(0, L"", true, true, true, dir_.Path() + L"missing\\"), V{});
}

}  // namespace
}  // namespace tqk::test
