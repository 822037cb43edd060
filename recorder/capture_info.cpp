#include "capture_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "path_parts.h"

namespace tqk::rec {

namespace {

const char* YesNo(bool b) { return b ? "Yes" : "No"; }

// samples per second / 1000 as "##.000": "44.100", "8.000".
std::string KiloHertz(int32_t samplesPerSec) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", samplesPerSec / 1000.0);
    return buf;
}

}  // namespace

std::vector<std::string> DrawInfoLines(const CaptureSettings& s,
                                       const std::string& compressorName) {
    std::vector<std::string> l;
    if (s.MakesAvi()) {
        l.push_back("作成AVI " + FileNameOf(s.AviPath));
        l.push_back(s.CompressorChosen ? compressorName : std::string(kNoCompressorLabel));
        l.push_back(s.Avi24 ? std::string("AVI色深度 24bit")
                            : "AVI色深度 " + std::to_string(s.DisplayDepth) + "bit");
    } else {
        l.push_back("---AVIは作成しません---");
        l.push_back("");
        l.push_back("");
    }
    l.push_back("");
    // Sums in 64 bits: a position far out plus a width must not wrap.
    l.push_back("キャプチャ領域 (" + std::to_string(s.X) + "," + std::to_string(s.Y) + " - " +
                std::to_string(int64_t(s.X) + s.W) + "," + std::to_string(int64_t(s.Y) + s.H) +
                ")");
    l.push_back("");
    l.push_back("キャプチャ頻度 " + std::to_string(s.Fps) + "fps.");
    l.push_back("キャプチャ時間 " + std::to_string(s.Sec) + "秒");
    l.push_back("");
    l.push_back("キャプチャ方法 Type" + std::to_string(s.Method));
    l.push_back("CPU解放 回数 " + std::to_string(s.CpuReleaseCount) + " 時間 " +
                std::to_string(s.CpuReleaseTime));
    l.push_back("キャプチャ解像度 " + std::to_string(s.DisplayDepth) + "bit");
    l.push_back(std::string("マウスの書きこみ ") + YesNo(s.DrawMouse));
    l.push_back(std::string("マウスに追従 ") + YesNo(s.FollowMouse));
    l.push_back("");
    l.push_back(std::string("サウンドキャプチャ") + YesNo(s.RecordsSound()));
    if (s.RecordsSound()) {
        l.push_back(KiloHertz(s.SamplesPerSec) + "KHz " +
                    (s.Channels == 2 ? "ステレオ" : "モノラル") + " " +
                    std::to_string(s.BitsPerSample) + "ビット");
        l.push_back("");
        l.push_back(s.DeleteWave ? "Waveは作成後に削除する" : "Waveは作成後も削除しない");
    } else {
        l.push_back("");
        l.push_back("");
        l.push_back("");
    }
    l.push_back(s.KeepTqk ? "TQKは作成後も削除しない" : "TQKは作成後に削除する");
    l.push_back(std::string("非同期書き込み ") + (s.AsyncWrite ? "する" : "しない"));
    return l;
}

namespace {

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "\r\n" : "") + lines[i];
    return text;
}

}  // namespace

std::string DrawInfoText(const CaptureSettings& s, const std::string& compressorName) {
    return Joined(DrawInfoLines(s, compressorName));
}

std::vector<std::string> DrawInfoLines(const CaptureSettings& s, const std::string& compressorName,
                                       const InputDisplay& input) {
    std::vector<std::string> l = DrawInfoLines(s, compressorName);
    const std::string follow = std::string("マウスに追従 ") + YesNo(s.FollowMouse);
    auto at = std::find(l.begin(), l.end(), follow);
    at = at == l.end() ? l.end() : at + 1;
    l.insert(at, {ClicksInfoLine(input), KeysInfoLine(input)});
    return l;
}

std::string DrawInfoText(const CaptureSettings& s, const std::string& compressorName,
                         const InputDisplay& input) {
    return Joined(DrawInfoLines(s, compressorName, input));
}

double DiskEstimateBytes(const CaptureSettings& s) {
    const double frame = std::nearbyint(double(s.DisplayDepth) * s.W / 8.0 * s.H);
    const double aviFrame = std::nearbyint(double(s.H) * s.W * (s.Avi24 ? 24 : s.DisplayDepth) / 8);
    double total = double(s.Sec) * frame * s.Fps;
    if (s.MakesAvi()) total += double(s.Sec) * aviFrame * s.Fps;
    if (s.RecordsSound()) {
        const double wave =
            std::nearbyint(s.BitsPerSample / 8.0 * s.Channels * double(s.SamplesPerSec));
        total += double(s.Sec) * wave;
    }
    return total;
}

double DiskLimit(const VolumeFacts& v, bool asyncWrite) {
    double limit = double(v.FreeBytes);
    if (v.FileSystem != "NTFS" && limit >= kFat32Limit) limit = kFat32Limit;
    if (!v.NtFamily && asyncWrite) limit = double(v.TotalPhysicalMemory);
    return limit;
}

bool EstimateIsRed(double total, double limit) { return total + kReserveBytes > limit; }

std::string GroupedNumber(double value) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.0f", std::fabs(std::nearbyint(value)));
    const std::string d = digits;
    std::string out;
    for (size_t i = 0; i < d.size(); ++i) {
        if (i > 0 && (d.size() - i) % 3 == 0) out += ',';
        out += d[i];
    }
    return value < 0 ? "-" + out : out;
}

std::string EstimateText(double total) { return GroupedNumber(total) + " Bytes."; }

std::string VolumeRootOf(std::string_view path) {
    auto sep = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        return std::string(path.substr(0, 2)) + "\\";
    }
    if (path.size() >= 2 && sep(path[0]) && sep(path[1])) {
        // \\server\share\: the two names after the leading separators.
        size_t server = 2;
        size_t serverEnd = server;
        while (serverEnd < path.size() && !sep(path[serverEnd])) ++serverEnd;
        if (serverEnd == server || serverEnd >= path.size()) return {};
        size_t shareEnd = serverEnd + 1;
        while (shareEnd < path.size() && !sep(path[shareEnd])) ++shareEnd;
        if (shareEnd == serverEnd + 1) return {};
        return "\\\\" + std::string(path.substr(server, serverEnd - server)) + "\\" +
               std::string(path.substr(serverEnd + 1, shareEnd - serverEnd - 1)) + "\\";
    }
    return {};
}

}  // namespace tqk::rec
