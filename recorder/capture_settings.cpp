#include "capture_settings.h"

#include "path_parts.h"

namespace tqk::rec {

bool CaptureSettings::operator==(const CaptureSettings& o) const {
    return X == o.X && Y == o.Y && W == o.W && H == o.H && Fps == o.Fps && Sec == o.Sec &&
           Method == o.Method && CpuReleaseCount == o.CpuReleaseCount &&
           CpuReleaseTime == o.CpuReleaseTime && TqkPath == o.TqkPath && KeepTqk == o.KeepTqk &&
           DisplayDepth == o.DisplayDepth && DrawMouse == o.DrawMouse &&
           FollowMouse == o.FollowMouse && AviPath == o.AviPath &&
           CompressorChosen == o.CompressorChosen && Avi24 == o.Avi24 && WavePath == o.WavePath &&
           WaveScratchPath == o.WaveScratchPath && SamplesPerSec == o.SamplesPerSec &&
           BitsPerSample == o.BitsPerSample && Channels == o.Channels &&
           DeleteWave == o.DeleteWave && RecordingSource == o.RecordingSource &&
           PriorityClass == o.PriorityClass && AsyncWrite == o.AsyncWrite;
}

CaptureSettings DefaultSettings(bool ntFamily) {
    CaptureSettings s;
    s.AsyncWrite = ntFamily;
    return s;
}

DerivedPaths DerivePaths(std::string_view saveTo) {
    DerivedPaths p;
    p.Base = FolderOf(saveTo) + FileNameWithoutExtension(saveTo);
    p.TqkPath = p.Base + ".TQK";
    p.AviPath = p.Base + ".avi";
    p.WavePath = p.Base + ".wav";
    p.WaveScratchPath = p.WavePath + ".wavtemp";
    return p;
}

namespace {

class Writer {
public:
    explicit Writer(std::string* out) : out_(out) {}
    void I32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) out_->push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }
    void U16(uint16_t v) {
        out_->push_back(static_cast<char>(v & 0xFF));
        out_->push_back(static_cast<char>(v >> 8));
    }
    void Bool(bool b) { U16(b ? 0xFFFF : 0x0000); }
    void Bytes(std::string_view s) { out_->append(s.data(), s.size()); }

private:
    std::string* out_;
};

// Every read checks what remains; once short, the reader stays failed.
class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}
    bool ok() const { return ok_; }
    int32_t I32() {
        if (!Need(4)) return 0;
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= uint32_t(uint8_t(in_[pos_ + size_t(i)])) << (8 * i);
        pos_ += 4;
        return static_cast<int32_t>(u);
    }
    uint16_t U16() {
        if (!Need(2)) return 0;
        const uint16_t v = uint16_t(uint8_t(in_[pos_]) | (uint8_t(in_[pos_ + 1]) << 8));
        pos_ += 2;
        return v;
    }
    bool Bool() { return U16() != 0; }
    std::string_view Text() {
        const size_t n = U16();
        if (!Need(n)) return {};
        const std::string_view s = in_.substr(pos_, n);
        pos_ += n;
        return s;
    }

private:
    bool Need(size_t n) {
        if (!ok_ || in_.size() - pos_ < n) {
            ok_ = false;
            return false;
        }
        return true;
    }
    std::string_view in_;
    size_t pos_ = 0;
    bool ok_ = true;
};

bool ToAnsi(const AnsiCodec& codec, const std::string& utf8, std::string* ret) {
    if (utf8.find('\0') != std::string::npos) return false;
    return codec.toAnsi && codec.toAnsi(utf8, ret) && ret->find('\0') == std::string::npos;
}

bool ToUtf8(const AnsiCodec& codec, std::string_view ansi, std::string* ret) {
    if (ansi.find('\0') != std::string_view::npos) return false;
    return codec.toUtf8 && codec.toUtf8(ansi, ret);
}

}  // namespace

TqpStatus EncodeTqp(const CaptureSettings& s, const AnsiCodec& codec, std::string* retBytes) {
    std::string text[4];
    const std::string* utf8[4] = {&s.TqkPath, &s.AviPath, &s.WavePath, &s.WaveScratchPath};
    for (int i = 0; i < 4; ++i) {
        if (!ToAnsi(codec, *utf8[i], &text[i])) return TqpStatus::kBadText;
        if (text[i].size() > kTqpMaxText) return TqpStatus::kTooLong;
    }
    std::string out;
    Writer w(&out);
    w.I32(s.X);
    w.I32(s.Y);
    w.I32(s.W);
    w.I32(s.H);
    w.I32(s.Fps);
    w.I32(s.Sec);
    w.I32(s.Method);
    w.I32(s.CpuReleaseCount);
    w.I32(s.CpuReleaseTime);
    w.U16(uint16_t(text[0].size()));
    w.Bytes(text[0]);
    w.Bool(s.KeepTqk);
    w.I32(s.DisplayDepth);
    w.Bool(s.DrawMouse);
    w.Bool(s.FollowMouse);
    w.U16(uint16_t(text[1].size()));
    w.Bytes(text[1]);
    w.Bool(s.CompressorChosen);
    w.I32(0);  // compressor reference: meaningless outside the running program
    w.Bool(s.Avi24);
    w.U16(uint16_t(text[2].size()));
    w.Bytes(text[2]);
    w.U16(uint16_t(text[3].size()));
    w.Bytes(text[3]);
    w.I32(s.SamplesPerSec);
    w.I32(s.BitsPerSample);
    w.I32(s.Channels);
    w.Bool(s.DeleteWave);
    w.I32(s.RecordingSource);
    w.I32(s.PriorityClass);
    w.Bool(s.AsyncWrite);
    *retBytes = std::move(out);
    return TqpStatus::kOk;
}

TqpStatus DecodeTqp(std::string_view bytes, const AnsiCodec& codec, CaptureSettings* ret) {
    Reader r(bytes);
    CaptureSettings s;
    s.X = r.I32();
    s.Y = r.I32();
    s.W = r.I32();
    s.H = r.I32();
    s.Fps = r.I32();
    s.Sec = r.I32();
    s.Method = r.I32();
    s.CpuReleaseCount = r.I32();
    s.CpuReleaseTime = r.I32();
    const std::string_view tqk = r.Text();
    s.KeepTqk = r.Bool();
    s.DisplayDepth = r.I32();
    s.DrawMouse = r.Bool();
    s.FollowMouse = r.Bool();
    const std::string_view avi = r.Text();
    s.CompressorChosen = r.Bool();
    (void)r.I32();  // compressor reference
    s.Avi24 = r.Bool();
    const std::string_view wave = r.Text();
    const std::string_view scratch = r.Text();
    s.SamplesPerSec = r.I32();
    s.BitsPerSample = r.I32();
    s.Channels = r.I32();
    s.DeleteWave = r.Bool();
    s.RecordingSource = r.I32();
    s.PriorityClass = r.I32();
    s.AsyncWrite = r.Bool();
    if (!r.ok()) return TqpStatus::kTruncated;

    if (s.W < 4 || s.W % 4 != 0 || s.H < 1) return TqpStatus::kBadSize;
    if (s.Fps < kFpsMin || s.Fps > kFpsMax) return TqpStatus::kBadFps;
    if (s.Sec < kSecMin || s.Sec > kSecMax) return TqpStatus::kBadSec;
    if (s.Method < 0 || s.Method > kMethodMax) return TqpStatus::kBadMethod;
    if (s.CpuReleaseCount < 0 || s.CpuReleaseCount > kCpuReleaseCountMax || s.CpuReleaseTime < 0 ||
        s.CpuReleaseTime > kCpuReleaseTimeMax) {
        return TqpStatus::kBadCpu;
    }
    if (!ToUtf8(codec, tqk, &s.TqkPath) || !ToUtf8(codec, avi, &s.AviPath) ||
        !ToUtf8(codec, wave, &s.WavePath) || !ToUtf8(codec, scratch, &s.WaveScratchPath)) {
        return TqpStatus::kBadText;
    }
    *ret = std::move(s);
    return TqpStatus::kOk;
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const uint8_t c = uint8_t(s[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= n) return false;
        for (size_t k = 1; k <= n; ++k) {
            const uint8_t d = uint8_t(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

AnsiCodec Utf8IdentityCodec() {
    auto copy = [](std::string_view in, std::string* out) {
        if (!IsValidUtf8(in)) return false;
        out->assign(in.data(), in.size());
        return true;
    };
    return AnsiCodec{copy, copy};
}

}  // namespace tqk::rec
