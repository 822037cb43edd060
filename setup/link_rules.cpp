#include "link_rules.h"

#include "install_log.h"

namespace tqk {
namespace {

std::array<std::string, 256> MakeTable() {
    std::array<std::string, 256> t;
    const struct {
        int code;
        const char* name;
    } named[] = {
        {1, "LBUTTON"},     {2, "RBUTTON"},    {3, "CANCEL"},    {4, "MBUTTON"},
        {8, "BACK"},        {9, "TAB"},        {12, "CLEAR"},    {13, "RETURN"},
        {16, "SHIFT"},      {17, "CONTROL"},   {18, "MENU"},     {19, "PAUSE"},
        {20, "CAPITAL"},    {27, "ESCAPE"},    {32, "SPACE"},    {33, "PRIOR"},
        {34, "NEXT"},       {35, "END"},       {36, "HOME"},     {37, "LEFT"},
        {38, "UP"},         {39, "RIGHT"},     {40, "DOWN"},     {41, "SELECT"},
        {42, "PRINT"},      {43, "EXECUTE"},   {44, "SNAPSHOT"}, {45, "INSERT"},
        {46, "DELETE"},     {47, "HELP"},      {91, "LWIN"},     {92, "RWIN"},
        {93, "APP"},        {106, "MULTIPLY"}, {107, "ADD"},     {108, "SEPARATOR"},
        {109, "SUBTRACT"},  {110, "DECIMAL"},  {111, "DIVIDE"},  {144, "NUMLOCK"},
        {145, "SCROLL"},    {160, "LSHIFT"},   {161, "RSHIFT"},  {162, "LCONTROL"},
        {163, "RCONTROL"},  {164, "LMENU"},    {165, "RMENU"},   {186, ":"},
        {187, ";"},         {188, ","},        {189, "-"},       {190, "."},
        {191, "/"},         {192, "@"},        {219, "["},       {220, "\\"},
        {221, "]"},         {222, "^"},        {246, "ATTN"},    {247, "CRSEL"},
        {248, "EXSEL"},     {249, "EREO"},     {252, "NONAME"},  {253, "PA1"},
        {254, "OEM_CLEAR"},
    };
    for (const auto& n : named) t[size_t(n.code)] = n.name;
    for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = std::string(1, char(c));
    for (int c = 'A'; c <= 'Z'; ++c) t[size_t(c)] = std::string(1, char(c));
    // The first three numeric-pad digits (96-98) have no name.
    for (int d = 3; d <= 9; ++d) t[size_t(96 + d)] = "NUMPAD" + std::to_string(d);
    for (int f = 1; f <= 24; ++f) t[size_t(111 + f)] = "F" + std::to_string(f);
    return t;
}

}  // namespace

const std::array<std::string, 256>& HotKeyNames() {
    static const std::array<std::string, 256> table = MakeTable();
    return table;
}

int32_t HotKeyFromName(std::string_view name, int32_t modifiers) {
    if (name.empty()) return 0;
    const auto& t = HotKeyNames();
    for (size_t i = 0; i < t.size(); ++i)
        if (t[i] == name) return int32_t(i) + 256 * modifiers;
    return 0;
}

HotKeyName HotKeyToName(int32_t hotKey) {
    const uint32_t k = uint32_t(hotKey);
    HotKeyName r;
    r.name = HotKeyNames()[k & 255];
    r.modifiers = r.name.empty() ? 0 : int32_t(k / 256);
    return r;
}

LinkDescription NormaliseLinkDescription(LinkDescription d) {
    const std::string& f = d.linkFile;
    if (f.size() < 4 || !EqualsNoCase(std::string_view(f).substr(f.size() - 4), ".lnk"))
        d.linkFile += ".lnk";
    if (d.iconFile.empty()) d.iconIndex = 0;
    std::string& w = d.workingFolder;
    if (!w.empty() && w.back() != '\\') {
        const size_t at = w.rfind('\\');
        if (at != std::string::npos) w.resize(at + 1);
    }
    if (d.showCommand != kShowMaximized && d.showCommand != kShowMinNoActive)
        d.showCommand = kShowNormal;
    return d;
}

int32_t ShowCommandAsRead(int32_t showCommand) {
    return showCommand == 1 ? kShowNormal : showCommand;
}

}  // namespace tqk
