// The path pieces every program cuts its paths with, on UTF-8 and wide text alike.
#include "path_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace tqk::test {
namespace {

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

struct Case {
    const char16_t* path;
    const char16_t *folder, *name, *stem, *ext, *withoutExt;
};

// Names whose Shift-JIS form ends in 0x5C ("表" 95 5C, "ソ" 83 5C, "能" 94 5C, "十" 8F 5C) are
// among them: in UTF-8 and UTF-16 no part of them reads as a separator.
const Case kCases[] = {
    {u"C:\\m\\a.TQK", u"C:\\m\\", u"a.TQK", u"a", u"tqk", u"C:\\m\\a"},
    {u"C:\\m.v2\\take", u"C:\\m.v2\\", u"take", u"take", u"", u"C:\\m.v2\\take"},
    {u"C:\\m\\a.b.TqK", u"C:\\m\\", u"a.b.TqK", u"a.b", u"tqk", u"C:\\m\\a.b"},
    {u"動画.TQK", u"", u"動画.TQK", u"動画", u"tqk", u"動画"},
    {u"C:\\dir\\", u"C:\\dir\\", u"", u"", u"", u"C:\\dir\\"},
    {u"C:/m/a.avi", u"C:/m\\", u"a.avi", u"a", u"avi", u"C:/m/a"},
    {u"C:\\表\\ソ.TQK", u"C:\\表\\", u"ソ.TQK", u"ソ", u"tqk", u"C:\\表\\ソ"},
    {u"D:\\能力表\\十", u"D:\\能力表\\", u"十", u"十", u"", u"D:\\能力表\\十"},
    {u"C:\\ﾃｽﾄ.表\\ｿﾌﾄ", u"C:\\ﾃｽﾄ.表\\", u"ｿﾌﾄ", u"ｿﾌﾄ", u"", u"C:\\ﾃｽﾄ.表\\ｿﾌﾄ"},
    {u"C:\\a\\.hidden", u"C:\\a\\", u".hidden", u"", u"hidden", u"C:\\a\\"},
    {u"C:\\a\\b.", u"C:\\a\\", u"b.", u"b", u"", u"C:\\a\\b"},
    {u"\\\\srv\\share\\録画 1.TQK", u"\\\\srv\\share\\", u"録画 1.TQK", u"録画 1", u"tqk",
     u"\\\\srv\\share\\録画 1"},
    {u"", u"", u"", u"", u"", u""},
};

TEST(PathParts, WideAndUtf8) {
    for (const Case& c : kCases) {
        const std::wstring path = Wide(c.path);
        SCOPED_TRACE(testing::Message() << "case " << (&c - kCases));
        EXPECT_EQ(FolderOf(path), Wide(c.folder));
        EXPECT_EQ(FileNameOf(path), Wide(c.name));
        EXPECT_EQ(FileNameWithoutExtension(path), Wide(c.stem));
        EXPECT_EQ(ExtensionOf(path), Wide(c.ext));
        EXPECT_EQ(PathWithoutExtension(path), Wide(c.withoutExt));

        // The same cut on the UTF-8 form gives the UTF-8 form of every piece.
        auto utf8 = [](const char16_t* s) {
            std::string out;
            for (const char16_t* p = s; *p; ++p) {
                const char32_t u = *p;
                if (u < 0x80) {
                    out += char(u);
                } else if (u < 0x800) {
                    out += char(0xC0 | (u >> 6));
                    out += char(0x80 | (u & 0x3F));
                } else {
                    out += char(0xE0 | (u >> 12));
                    out += char(0x80 | ((u >> 6) & 0x3F));
                    out += char(0x80 | (u & 0x3F));
                }
            }
            return out;
        };
        const std::string narrow = utf8(c.path);
        EXPECT_EQ(FolderOf(narrow), utf8(c.folder));
        EXPECT_EQ(FileNameOf(narrow), utf8(c.name));
        EXPECT_EQ(FileNameWithoutExtension(narrow), utf8(c.stem));
        EXPECT_EQ(ExtensionOf(narrow), utf8(c.ext));
        EXPECT_EQ(PathWithoutExtension(narrow), utf8(c.withoutExt));
    }
}

TEST(PathParts, TrailingSeparator) {
    struct {
        const char *folder, *want;
    } cases[] = {
        {"C:\\Program Files\\Taviro", "C:\\Program Files\\Taviro\\"},
        {"C:\\Program Files\\Taviro\\", "C:\\Program Files\\Taviro\\"},
        {"C:/x/", "C:/x/"},
        {"C:\\表", "C:\\表\\"},
        {"", "\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(WithTrailingSeparator(c.folder), c.want);
    }
    EXPECT_EQ(WithTrailingSeparator(L"C:\\表"), L"C:\\表\\");
    EXPECT_EQ(WithTrailingSeparator(L"C:\\x/"), L"C:\\x/");
}

}  // namespace
}  // namespace tqk::test
