// One recording's parameters (CaptureSettings) and the settings file (.TQP) that holds them.
// Portable: no <windows.h>. Text is UTF-8 in memory; the file holds the system ANSI code page,
// so the caller passes the conversion in (the Win32 side uses the code page, tests their own).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tqk::rec {

// The ranges the settings window's controls can show; a record outside them is refused.
constexpr int32_t kFpsMin = 1, kFpsMax = 100;
constexpr int32_t kSecMin = 1, kSecMax = 3600;
constexpr int32_t kMethodMax = 2;
constexpr int32_t kCpuReleaseCountMax = 2;
constexpr int32_t kCpuReleaseTimeMax = 1;

struct CaptureSettings {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t W = 320;  // a multiple of 4
    int32_t H = 240;
    int32_t Fps = 30;
    int32_t Sec = 20;
    int32_t Method = 1;  // Type0, Type1, Type2
    int32_t CpuReleaseCount = 1;
    int32_t CpuReleaseTime = 1;
    std::string TqkPath = "c:\\test.TQK";
    bool KeepTqk = true;
    int32_t DisplayDepth = 0;  // informational; replaced by the screen's depth on every apply
    bool DrawMouse = true;
    bool FollowMouse = false;
    std::string AviPath = "xxx";  // empty: no AVI
    // A compressor has been chosen. The options themselves stay with the settings window
    // (RecorderContext::compressor); the file's reference field is written as 0 and ignored.
    bool CompressorChosen = false;
    bool Avi24 = false;
    std::string WavePath;         // empty: no sound
    std::string WaveScratchPath;  // WavePath + ".wavtemp"
    int32_t SamplesPerSec = 0;
    int32_t BitsPerSample = 0;
    int32_t Channels = 0;
    bool DeleteWave = false;
    int32_t RecordingSource = 0;  // 0: leave the system's source; n: mixer source n - 1
    int32_t PriorityClass = 0;    // 0: leave unchanged
    bool AsyncWrite = true;

    bool MakesAvi() const { return !AviPath.empty(); }
    bool RecordsSound() const { return !WavePath.empty(); }
    bool operator==(const CaptureSettings& o) const;
    bool operator!=(const CaptureSettings& o) const { return !(*this == o); }
};

// What the window and the capture information show when no compressor is chosen.
constexpr const char* kNoCompressorLabel = "未圧縮";

// The default record; asynchronous writing only on the Windows NT family.
CaptureSettings DefaultSettings(bool ntFamily);

// The four paths of a record from the one file name the user types: the base is its folder
// plus its name without the last extension.
struct DerivedPaths {
    std::string Base;
    std::string TqkPath;          // base + ".TQK"
    std::string AviPath;          // base + ".avi"
    std::string WavePath;         // base + ".wav"
    std::string WaveScratchPath;  // base + ".wav.wavtemp"
};
DerivedPaths DerivePaths(std::string_view saveTo);

// Text between the program (UTF-8) and the file (ANSI code page). Each returns false when the
// text has no exact counterpart (bytes that are not valid ANSI text, characters the code page
// lacks); a path changed by the conversion would name another file.
struct AnsiCodec {
    std::function<bool(std::string_view ansi, std::string* retUtf8)> toUtf8;
    std::function<bool(std::string_view utf8, std::string* retAnsi)> toAnsi;
};

// The file: 78 fixed bytes and four strings with 16-bit byte counts.
constexpr size_t kTqpFixedBytes = 78;
constexpr size_t kTqpMinBytes = kTqpFixedBytes + 4 * 2;
constexpr size_t kTqpOffTqkPathLength = 36;
constexpr size_t kTqpOffTqkPathText = 38;
constexpr size_t kTqpMaxText = 0xFFFF;

enum class TqpStatus {
    kOk,
    kTruncated,  // the file ends inside a field or a string
    kBadText,    // a string that is not valid ANSI text, or holds a zero byte
    kBadSize,    // W not a positive multiple of 4, or H < 1
    kBadFps,     // fps outside 1..100
    kBadSec,     // sec outside 1..3600
    kBadMethod,  // method outside 0..2
    kBadCpu,     // CPU-release count outside 0..2 or time outside 0..1
    kTooLong,    // writing: a string longer than a 16-bit count can say
};

// The file's bytes for a record; kBadText or kTooLong (and nothing) when a string cannot be
// stored.
[[nodiscard]] TqpStatus EncodeTqp(const CaptureSettings& s, const AnsiCodec& codec,
                                  std::string* retBytes);
// A record from a file's bytes. Anything but kOk leaves *ret unchanged. Bytes after the last
// field are ignored. Booleans: any value but 0 is true.
[[nodiscard]] TqpStatus DecodeTqp(std::string_view bytes, const AnsiCodec& codec,
                                  CaptureSettings* ret);

// A codec for text that is UTF-8 on both sides (tests, fuzzing): refuses invalid UTF-8.
AnsiCodec Utf8IdentityCodec();
bool IsValidUtf8(std::string_view s);

}  // namespace tqk::rec
