#include "form2_model.h"

#include <cmath>
#include <limits>

#include "path_parts.h"

namespace tqk::rec {

namespace {

// Characters start..start+count-1 (1-based) of a UTF-8 text, counted in characters.
std::string_view Mid(std::string_view s, size_t start, size_t count) {
    size_t pos = 0, index = 1, begin = std::string_view::npos;
    while (pos < s.size()) {
        if (index == start) begin = pos;
        if (index == start + count) break;
        const uint8_t c = uint8_t(s[pos]);
        size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
        pos += len;
        if (pos > s.size()) pos = s.size();
        ++index;
    }
    if (begin == std::string_view::npos) return {};
    return s.substr(begin, pos - begin);
}

// The number at the start of a text with its fraction, as a double; nullopt without digits.
std::optional<double> LeadingValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < 1e15) value = value * 10 + (text[i] - '0');
        any = true;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) {
            value += (text[i] - '0') * scale;
            any = true;
        }
    }
    if (!any) return std::nullopt;
    return negative ? -value : value;
}

int IndexOfClass(const std::vector<int32_t>& classes, int32_t cls) {
    for (size_t i = 0; i < classes.size(); ++i) {
        if (classes[i] == cls) return int(i);
    }
    return -1;
}

}  // namespace

void ApplyToWindow(const CaptureSettings& s, Form2Values* v) {
    v->Text1[0] = std::to_string(s.X);
    v->Text1[1] = std::to_string(s.Y);
    v->Text1[2] = std::to_string(s.W);
    v->Text1[3] = std::to_string(s.H);
    v->HScroll1[0] = s.Fps;
    v->HScroll1[1] = s.Sec;
    v->Option1 = s.Method;
    v->HScroll2[0] = s.CpuReleaseCount;
    v->HScroll2[1] = s.CpuReleaseTime;
    v->Text2 = s.TqkPath;
    v->Check2 = s.DrawMouse;
    v->Check5 = s.FollowMouse;
    if (s.MakesAvi() && s.KeepTqk) {
        v->Option2 = kAviAndTqk;
    } else if (s.MakesAvi()) {
        v->Option2 = kAviOnly;
    } else {
        v->Option2 = kTqkOnly;
    }
    v->Check3 = s.RecordsSound();
    // The sound format and "Wavの削除" come back too: a record saved and loaded again must
    // record the same way. A format the device does not offer leaves the list as it is.
    if (s.RecordsSound()) {
        for (size_t i = 0; i < v->Combo1.size(); ++i) {
            const SoundFormat f = ParseSoundFormat(v->Combo1[i]);
            if (f.SamplesPerSec == s.SamplesPerSec && f.Channels == s.Channels &&
                f.BitsPerSample == s.BitsPerSample) {
                v->Combo1Index = int(i);
                break;
            }
        }
    }
    v->Check4 = s.DeleteWave;
    if (!s.CompressorChosen) v->Label11 = kNoCompressorLabel;
    v->Check6 = s.Avi24;
    if (s.RecordingSource >= 0 && s.RecordingSource < v->Combo2Count) {
        v->Combo2Index = s.RecordingSource;
    }
    const int priority = IndexOfClass(v->Combo3Classes, s.PriorityClass);
    if (priority >= 0) v->Combo3Index = priority;
    v->Check7 = s.AsyncWrite;
}

void ApplyToWindow(const CaptureSettings& s, Form2Values* v, Form2Extra* extra) {
    ApplyToWindow(s, v);
    if (!s.CompressorChosen)
        extra->CompressorName.clear();
    else if (!extra->CompressorName.empty())
        v->Label11 = extra->CompressorName;
}

CaptureSettings BuildFromWindow(const Form2Values& v, const Form2Extra& extra) {
    CaptureSettings s;
    // The boxes were validated when they lost the focus; a text that still does not read as
    // a number gives 0, as the window's number reading does.
    int32_t* boxes[4] = {&s.X, &s.Y, &s.W, &s.H};
    for (int i = 0; i < 4; ++i) *boxes[i] = BoxNumber(v.Text1[i]).value_or(0);
    s.Fps = v.HScroll1[0];
    s.Sec = v.HScroll1[1];
    s.Method = v.Option1 == 2 ? 2 : v.Option1 == 1 ? 1 : 0;
    s.CpuReleaseCount = v.HScroll2[0];
    s.CpuReleaseTime = v.HScroll2[1];
    const DerivedPaths paths = DerivePaths(v.Text2);
    s.TqkPath = paths.TqkPath;
    s.DisplayDepth = extra.DisplayDepth;
    s.DrawMouse = v.Check2;
    s.FollowMouse = v.Check5;
    s.CompressorChosen = !extra.CompressorName.empty();
    s.Avi24 = v.Check6;
    s.DeleteWave = v.Check4;
    s.AviPath = v.Option2 == kTqkOnly ? std::string() : paths.AviPath;
    const bool formatSelected = v.Combo1Index >= 0 && size_t(v.Combo1Index) < v.Combo1.size();
    if (v.Check3 && extra.SoundAvailable && formatSelected) {
        s.WavePath = paths.WavePath;
        s.WaveScratchPath = paths.WaveScratchPath;
        const SoundFormat f = ParseSoundFormat(v.Combo1[size_t(v.Combo1Index)]);
        s.SamplesPerSec = f.SamplesPerSec;
        s.Channels = f.Channels;
        s.BitsPerSample = f.BitsPerSample;
    }
    s.KeepTqk = v.Option2 == kAviAndTqk || v.Option2 == kTqkOnly;
    s.RecordingSource = v.Combo2Index;
    const bool prioritySelected =
        v.Combo3Index >= 0 && size_t(v.Combo3Index) < v.Combo3Classes.size();
    s.PriorityClass = prioritySelected ? v.Combo3Classes[size_t(v.Combo3Index)] : 0;
    s.AsyncWrite = v.Check7;
    return s;
}

std::string HScroll1Label(int index, int32_t value) {
    if (index == 0) return std::to_string(value) + "fps";
    if (value >= 61) return std::to_string(value / 60) + ":" + std::to_string(value % 60) + "sec";
    return std::to_string(value) + "sec";
}

std::string HScroll2Label(int index, int32_t value) {
    return std::string(index == 0 ? "回数" : "時間") + " " + std::to_string(value);
}

int32_t SizeCheck(int32_t w) {
    const int64_t up = (int64_t(w) + 3) / 4 * 4;  // w >= 1: the ceiling of w / 4, times 4
    return up > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() / 4 * 4
                                                    : int32_t(up);
}

std::optional<int32_t> BoxNumber(std::string_view text) {
    const std::optional<double> v = LeadingValue(text);
    if (!v) return 0;
    const double r = std::nearbyint(*v);
    if (r > std::numeric_limits<int32_t>::max() || r < std::numeric_limits<int32_t>::min()) {
        return std::nullopt;
    }
    return int32_t(r);
}

std::optional<int32_t> ValidateBox(int index, std::string_view text) {
    std::optional<int32_t> v = BoxNumber(text);
    if (!v) return std::nullopt;
    if (index >= 2 && *v < 1) return std::nullopt;
    if (index == 2) v = SizeCheck(*v);
    return v;
}

const std::vector<SoundFormat>& AllSoundFormats() {
    // The device's bits: 1M08 1, 1S08 2, 1M16 4, 1S16 8, then x16 and x256 for 22 and 44 kHz.
    static const std::vector<SoundFormat> formats = {
        {0x001, 11025, 1, 8}, {0x004, 11025, 1, 16}, {0x002, 11025, 2, 8}, {0x008, 11025, 2, 16},
        {0x010, 22050, 1, 8}, {0x040, 22050, 1, 16}, {0x020, 22050, 2, 8}, {0x080, 22050, 2, 16},
        {0x100, 44100, 1, 8}, {0x400, 44100, 1, 16}, {0x200, 44100, 2, 8}, {0x800, 44100, 2, 16},
    };
    return formats;
}

std::string SoundFormatText(const SoundFormat& f) {
    const char* rate = f.SamplesPerSec == 11025   ? "11.025"
                       : f.SamplesPerSec == 22050 ? "22.050"
                                                  : "44.100";
    return std::string(rate) + "kHz " + (f.Channels == 2 ? "ｽﾃﾚｵ" : "ﾓﾉﾗﾙ") + " " +
           std::to_string(f.BitsPerSample) + " ﾋﾞｯﾄ";
}

std::vector<std::string> SoundFormatEntries(uint32_t deviceFormats) {
    std::vector<std::string> entries;
    const std::vector<SoundFormat>& all = AllSoundFormats();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (deviceFormats & it->FormatBit) entries.push_back(SoundFormatText(*it));
    }
    return entries;
}

SoundFormat ParseSoundFormat(std::string_view entry) {
    SoundFormat f{0, 0, 0, 0};
    // Characters 1-6 read exactly as thousandths ("11.025" is 11025, never 11024.999...).
    const std::string_view rate = Mid(entry, 1, 6);
    int64_t whole = 0, thousandths = 0;
    int fractionDigits = -1;
    for (char c : rate) {
        if (c == '.' && fractionDigits < 0) {
            fractionDigits = 0;
        } else if (c >= '0' && c <= '9') {
            if (fractionDigits < 0) {
                whole = whole * 10 + (c - '0');
            } else if (fractionDigits < 3) {
                thousandths = thousandths * 10 + (c - '0');
                ++fractionDigits;
            }
        } else {
            break;
        }
    }
    for (int d = fractionDigits < 0 ? 0 : fractionDigits; d < 3; ++d) thousandths *= 10;
    f.SamplesPerSec = int32_t(whole * 1000 + thousandths);
    f.Channels = Mid(entry, 11, 2) == "ｽﾃ" ? 2 : 1;
    f.BitsPerSample = BoxNumber(Mid(entry, 16, 2)).value_or(0);
    return f;
}

std::vector<PriorityEntry> PriorityEntries(bool windows2000OrLater) {
    std::vector<PriorityEntry> e;
    e.push_back({"変更なし", 0});
    e.push_back({"高", 128});
    if (windows2000OrLater) e.push_back({"やや高", 32768});
    e.push_back({"通常", 32});
    if (windows2000OrLater) e.push_back({"やや低", 16384});
    e.push_back({"低（アイドル）", 64});
    return e;
}

Form2Enables EnableRules(const Form2Values& v, bool soundAvailable, bool mixerUsable,
                         bool windowMode) {
    Form2Enables e;
    e.Check1Client = windowMode;
    e.Position = !v.Check5;
    e.Check3 = soundAvailable;
    const bool sound = v.Check3 && soundAvailable;
    e.Combo1 = sound;
    e.Combo2 = sound && mixerUsable;  // a list without sources stays disabled
    e.Check4 = sound;
    return e;
}

std::string InvalidPathMessage(const std::string& tqkPath) {
    return tqkPath + "は無効です\r\n保存先ファイル名、ドライブを確認下さい";
}

std::string OverwriteQuestion(const CaptureSettings& s,
                              const std::function<bool(const std::string&)>& exists) {
    std::vector<std::string> files = {s.TqkPath};
    if (s.MakesAvi()) files.push_back(s.AviPath);
    if (s.RecordsSound()) files.push_back(s.WavePath);
    std::string lines;
    for (const std::string& f : files) {
        if (!exists(f)) continue;
        if (!lines.empty()) lines += "\r\n";
        lines += FileNameOf(f) + "は存在しています。";
    }
    if (lines.empty()) return {};
    return lines + "\r\n全て上書きしてよろしいですか？";
}

bool IsUsableFileNameText(std::string_view path) {
    if (FileNameOf(path).empty()) return false;
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c < 0x20) return false;
        switch (c) {
        case '<':
        case '>':
        case '"':
        case '|':
        case '?':
        case '*': return false;
        case ':':
            // Only a drive's colon: "C:".
            if (i != 1 ||
                !((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
                return false;
            }
            break;
        default: break;
        }
    }
    return true;
}

}  // namespace tqk::rec
