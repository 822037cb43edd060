// RegEdit3 against the registry of the Wine prefix: value kinds written and read back, the
// association of the installer and its removal, recursive deletion.
#include <windows.h>

#include <shlwapi.h>

#include <gtest/gtest.h>

#include "reg_edit3.h"
#include "win_text.h"

namespace tqk::test {
namespace {

std::wstring Unique(const wchar_t* stem) {
    return stem + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
}

// Reads a default or named value back through the wide API.
std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return L"<missing>";
    const LONG rc =
        RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return L"<missing>";
    return buffer;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

class RegEdit3Test : public ::testing::Test {
protected:
    void TearDown() override {
        SHDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
        for (const auto& k : classes_) SHDeleteKeyW(HKEY_CLASSES_ROOT, k.c_str());
    }
    std::wstring base_ = L"Software\\" + Unique(L"TaviroRegTest");
    std::vector<std::wstring> classes_;
    RegEdit3 reg_;
};

TEST_F(RegEdit3Test, ValueKindsRoundTrip) {
    const std::string japanese = "再生ﾃｽﾄ表";  // half-width kana and a "\" trail byte in CP932
    struct Case {
        const char* name;
        RegValue value;
        uint32_t type;
        RegValue::Kind readKind;
    } cases[] = {
        {"string", RegValue::String("C:\\x\\y.exe"), REG_SZ, RegValue::Kind::kString},
        {"japanese", RegValue::String(japanese), REG_SZ, RegValue::Kind::kString},
        {"strings", RegValue::StringArray({"a", "表b"}), REG_MULTI_SZ, RegValue::Kind::kString},
        {"numbers", RegValue::NumberArray({1, 2, 300}), REG_BINARY, RegValue::Kind::kBytes},
        {"long", RegValue::Long(-5), REG_DWORD, RegValue::Kind::kLong},
        {"double", RegValue::Number(41.6), REG_DWORD, RegValue::Kind::kLong},
        {"null", RegValue::Null(), REG_DWORD, RegValue::Kind::kLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring name = WideFromUtf8(c.name);
        ASSERT_EQ(reg_.SetValue(HKEY_CURRENT_USER, base_ + L"\\", name, c.value), 0);
        DWORD type = 0;
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, base_.c_str(), 0, KEY_READ, &key), 0);
        RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, nullptr);
        RegCloseKey(key);
        EXPECT_EQ(type, c.type);
        int32_t error = 99;
        const RegValue back = reg_.GetValue(HKEY_CURRENT_USER, base_, name, 0, &error);
        EXPECT_EQ(error, 0);
        EXPECT_EQ(back.kind, c.readKind);
    }
    int32_t error = 0;
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"japanese", 0, &error).text, japanese);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, base_, L"japanese"), WideFromUtf8(japanese));
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"strings", 0, &error).text,
              std::string("a\0表b\0", 7));
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"numbers", 0, &error).bytes,
              (std::vector<uint8_t>{1, 2, 44}));
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"long", 0, &error).longValue, -5);
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"double", 0, &error).longValue, 42);
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"null", 0, &error).longValue, 0);

    // A kind the registry cannot hold writes nothing and is no failure.
    EXPECT_EQ(reg_.SetValue(HKEY_CURRENT_USER, base_, L"other", RegValue::Other()), 0);
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"other", 0, &error).kind,
              RegValue::Kind::kEmpty);
    EXPECT_EQ(reg_.SetValue(HKEY_CURRENT_USER, base_, L"big", RegValue::Number(1e12)), -7);
}

TEST_F(RegEdit3Test, TypesWrittenByOthersReadBack) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              0);
    const BYTE big[4] = {0x01, 0x02, 0x03, 0x04};
    RegSetValueExW(key, L"big", 0, REG_DWORD_BIG_ENDIAN, big, 4);
    const wchar_t expand[] = L"%TAVIRO_REG_TEST%\\sub";
    RegSetValueExW(key, L"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand),
                   sizeof(expand));
    RegSetValueExW(key, L"empty", 0, REG_SZ, nullptr, 0);
    RegSetValueExW(key, L"link", 0, REG_LINK, big, 4);
    RegCloseKey(key);
    SetEnvironmentVariableW(L"TAVIRO_REG_TEST", L"C:\\展開");

    int32_t error = 99;
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"big", 0, &error).longValue, 0x01020304);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"expand", 0, &error).text, "C:\\展開\\sub");
    EXPECT_EQ(reg_.GetValue(HKEY_CURRENT_USER, base_, L"empty", 0, &error).kind,
              RegValue::Kind::kEmpty);
    EXPECT_EQ(error, 0);
    const RegValue link = reg_.GetValue(HKEY_CURRENT_USER, base_, L"link", 0, &error);
    EXPECT_EQ(error, -3);
    EXPECT_EQ(link.text, "");

    reg_.GetValue(HKEY_CURRENT_USER, base_ + L"\\missing", L"", 0, &error);
    EXPECT_EQ(error, -2);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, base_ + L"\\missing"));
    reg_.GetValue(HKEY_CURRENT_USER, base_ + L"\\created", L"", 1, &error);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_ + L"\\created"));
}

TEST_F(RegEdit3Test, KillThreeLevels) {
    for (const wchar_t* k : {L"\\a\\b\\c", L"\\a\\b2", L"\\d"}) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base_ + L"\\top" + k).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &h, nullptr),
                  0);
        RegCloseKey(h);
    }
    // top, a, b, c, b2, d
    EXPECT_EQ(reg_.KillkeyIncludeSubKey(HKEY_CURRENT_USER, base_ + L"\\top\\"), 6);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, base_ + L"\\top"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_));
    EXPECT_EQ(reg_.KillkeyIncludeSubKey(HKEY_CURRENT_USER, L""), 0);
    EXPECT_EQ(reg_.KillkeyIncludeSubKey(HKEY_CURRENT_USER, base_ + L"\\nothing"), 0);
}

TEST_F(RegEdit3Test, AssociationOfAFreshExtension) {
    const std::wstring ext = L"." + Unique(L"tvx");
    const std::wstring type = ext.substr(1) + L"Data";
    classes_ = {ext, type};
    EXPECT_EQ(reg_.RelateExtensionAndCommand(ext, L"C:\\Pro gram\\表示.exe", L"再生", L" %1", L"",
                                             L"", 0, L"説明"),
              0);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ext), type);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, type), L"説明");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, type + L"\\Shell\\再生\\command"),
              L"\"C:\\Pro gram\\表示.exe\" %1");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, type + L"\\DefaultIcon"));
    EXPECT_EQ(reg_.GetFileDescription(L"x" + ext, true), L"説明");

    EXPECT_EQ(reg_.UnRelateExtAndCommand(ext), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ext));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, type));
    EXPECT_EQ(reg_.GetFileDescription(L"x" + ext, true), ext);
    EXPECT_EQ(reg_.GetFileDescription(L"x" + ext, false), L"");
    // Removing it again finds nothing and is no failure.
    EXPECT_EQ(reg_.UnRelateExtAndCommand(ext), 0);
}

TEST_F(RegEdit3Test, AssociationKeepsAnExistingTypeName) {
    const std::wstring ext = L"." + Unique(L"tvy");
    const std::wstring existing = Unique(L"TaviroExisting");
    classes_ = {ext, existing, L"TaviroUnused"};
    ASSERT_EQ(reg_.SetValue(HKEY_CLASSES_ROOT, ext, L"", RegValue::String(Utf8FromWide(existing))),
              0);
    ASSERT_EQ(reg_.SetValue(HKEY_CLASSES_ROOT, existing, L"", RegValue::String("Theirs")), 0);
    EXPECT_EQ(reg_.RelateExtensionAndCommand(ext, L"C:\\p\\TaviroPlayer.exe", L"再生\\", L" %1",
                                             L"TaviroUnused", L"C:\\p\\TaviroPlayer.exe", 1,
                                             L"Taviro Video"),
              0);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ext), existing);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, existing), L"Theirs");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, existing + L"\\Shell\\再生\\command"),
              L"\"C:\\p\\TaviroPlayer.exe\" %1");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, existing + L"\\DefaultIcon"),
              L"C:\\p\\TaviroPlayer.exe,1");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TaviroUnused"));

    // The look-up of the "open" command: there is none under this type yet.
    int32_t error = 0;
    EXPECT_EQ(reg_.GetExePathFromExtension(L"movie" + ext, &error), L"");
    EXPECT_EQ(error, -5);
    ASSERT_EQ(reg_.SetValue(HKEY_CLASSES_ROOT, existing + L"\\shell\\open\\command", L"",
                            RegValue::String("\"C:\\Some Where\\Play.EXE\" \"%1\"")),
              0);
    EXPECT_EQ(reg_.GetExePathFromExtension(L"movie" + ext, &error), L"C:\\Some Where\\Play.EXE");
    EXPECT_EQ(error, 0);
    reg_.GetExePathFromExtension(L"noextension", &error);
    EXPECT_EQ(error, -4);

    EXPECT_EQ(reg_.UnRelateExtAndCommand(ext), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, existing));  // the whole type key goes
}

TEST(RegEdit3Errors, Texts) {
    EXPECT_EQ(RegEdit3::GetReg3Error(-2), L"存在しないキーを開こうとしました。");
    EXPECT_EQ(RegEdit3::GetReg3Error(-7), L"値の設定に失敗しました。");
    EXPECT_EQ(RegEdit3::GetReg3Error(5), L"");
}

}  // namespace
}  // namespace tqk::test
