#include "recorder_files.h"

#include "safe_file.h"
#include "win_handles.h"
#include "win_text.h"

namespace tqk::rec {

namespace {

// The largest settings file: the fixed part and four strings of 65535 bytes.
constexpr size_t kMaxTqpBytes = kTqpMinBytes + 4 * kTqpMaxText;
// The position file has six short lines; anything past this is not looked at.
constexpr size_t kMaxPositionFileBytes = 64 * 1024;

bool AnsiToUtf8(std::string_view ansi, std::string* ret) {
    std::wstring w;
    if (!ExactWideFromCodePage(CP_ACP, ansi, &w)) return false;
    *ret = Utf8FromWide(w);
    return true;
}

bool Utf8ToAnsi(std::string_view utf8, std::string* ret) {
    std::wstring w;
    return ExactWideFromCodePage(CP_UTF8, utf8, &w) && ExactCodePageFromWide(CP_ACP, w, ret);
}

}  // namespace

const AnsiCodec& SystemAnsiCodec() {
    static const AnsiCodec codec{AnsiToUtf8, Utf8ToAnsi};
    return codec;
}

std::wstring Wide(const std::string& utf8) { return WideFromUtf8(utf8); }
std::string Utf8(const std::wstring& wide) { return Utf8FromWide(wide); }

std::optional<std::string> ReadFileBytes(const std::wstring& path, size_t maxBytes) {
    FileHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return std::nullopt;
    std::string bytes;
    char buf[16384];
    while (bytes.size() < maxBytes) {
        DWORD got = 0;
        const DWORD want = DWORD(std::min(sizeof buf, maxBytes - bytes.size()));
        if (!ReadFile(f.Get(), buf, want, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        bytes.append(buf, got);
    }
    return bytes;
}

bool ReplaceFileBytes(const std::wstring& path, const std::string& bytes) {
    // A read-only old file is replaced too, as the old program deleted it first.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
    return WriteFileReplacing(Utf8FromWide(path), bytes) == 0;
}

TqpStatus LoadSettingsFile(const std::wstring& path, CaptureSettings* ret) {
    const std::optional<std::string> bytes = ReadFileBytes(path, kMaxTqpBytes);
    if (!bytes) return TqpStatus::kTruncated;
    return DecodeTqp(*bytes, SystemAnsiCodec(), ret);
}

bool SaveSettingsFile(const std::wstring& path, const CaptureSettings& s) {
    std::string bytes;
    if (EncodeTqp(s, SystemAnsiCodec(), &bytes) != TqpStatus::kOk) return false;
    return ReplaceFileBytes(path, bytes);
}

bool LoadPositionFile(const std::wstring& path, const WindowPositions& defaults,
                      WindowPositions* ret) {
    *ret = defaults;
    const std::optional<std::string> bytes = ReadFileBytes(path, kMaxPositionFileBytes);
    if (!bytes) return false;
    // Only the leading numbers matter; the comments may be in any code page.
    return ParsePositionFile(*bytes, defaults, ret);
}

bool SavePositionFile(const std::wstring& path, const WindowPositions& p) {
    return ReplaceFileBytes(path, AnsiFromWide(WideFromUtf8(PositionFileUtf8(p))));
}

bool FolderIsWritable(const std::wstring& folder) {
    std::wstring probe = folder;
    if (!probe.empty() && probe.back() != L'\\') probe += L'\\';
    probe += L"~tvr" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    FileHandle f(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(f);
}

}  // namespace tqk::rec
