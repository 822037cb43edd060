#include "tqk_commands.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_writer.h"
#include "frame_seek.h"
#include "gif_export.h"
#include "movie_cut.h"
#include "movie_repair.h"
#include "safe_file.h"
#include "snapshot_make.h"
#include "sound_recovery.h"
#include "tqk_stdio.h"
#include "tvr_pack.h"
#include "zmbv.h"

namespace tqk {

namespace {

const char kUsage[] =
    "usage: tqk COMMAND ...\n"
    "  tqk info FILE        header fields and frame count, one 'name: value' a line\n"
    "  tqk verify FILE      unpack every record; names the first bad one, or says how much\n"
    "                       a movie cut short (its recorder killed) holds\n"
    "  tqk repair FILE      a movie cut short: the header patched to the whole seconds\n"
    "                       present, the rest of the file cut; its WAV (FILE without its\n"
    "                       extension + .wav) made from the sound helper's scratch file\n"
    "                       when missing, cut or padded to the seconds kept\n"
    "  tqk raw FILE [--555] every frame to standard output as top-down rows of\n"
    "                       blue-green-red bytes (W x 3 a row), frames in order\n"
    "  tqk sample OUT [--bits 8|16|24|32] [--method 0|1|2] [--size WxH] [--fps N] [--sec S]\n"
    "                       writes a test movie with a moving pattern\n"
    "  tqk avi FILE OUT.avi [WAVE] [--555] [--segment BYTES] [--codec raw|zmbv]\n"
    "          [--keyint N]\n"
    "                       the movie as an AVI at its own depth (8 bits with its colour\n"
    "                       table), frame for frame, WAVE as its sound stream; --segment\n"
    "                       bounds each RIFF segment (default 1 GiB); --codec zmbv packs\n"
    "                       the frames losslessly (24 bits as 32), a key frame every\n"
    "                       --keyint frames (default 300); raw (the default) does not\n"
    "          [--from S] [--to E]\n"
    "                       only the frames from round(S x fps) up to, not including,\n"
    "                       round(E x fps) (seconds, decimals allowed), and the sound of\n"
    "                       exactly those frames\n"
    "  tqk cut FILE OUT.TQK --from S --to E\n"
    "                       the frames from S x fps up to, not including, E x fps as a new\n"
    "                       movie, and the WAV beside FILE cut to exactly those samples as\n"
    "                       OUT's WAV; S and E are whole seconds (a movie's length is whole\n"
    "                       seconds in its header)\n"
    "  tqk snap FILE        walks the movie as the player does and writes the snapshots\n"
    "                       of whole frames it takes to FILE.snap beside it, so that the\n"
    "                       player seeks fast as soon as it opens FILE (safe to delete)\n"
    "  tqk gif FILE OUT.gif [--from S] [--to E] [--fps N] [--scale W] [--dither] [--555]\n"
    "                       an animated GIF of the movie (or of seconds S to E): frames of\n"
    "                       at most 256 colours exactly, others quantised (--dither spreads\n"
    "                       the error); at most N (and 50) frames a second, frames dropped\n"
    "                       evenly; --scale W makes it W pixels wide, the height in proportion\n"
    "\n"
    "Type1 and Type2 frames are device-independent bitmaps and convert exactly.\n"
    "Type0 frames hold the display's own layout, which the file does not record; raw\n"
    "assumes the common ones: rows top-down, 32 bits blue-green-red-unused, 24 bits\n"
    "blue-green-red, 16 bits 5-6-5 (pass --555 for a 5-5-5 display).\n";

std::string Message(int32_t code) {
    return ResultMessageUtf8(code, [](uint32_t) { return std::string("out of memory"); });
}

int Fail(std::FILE* err, const std::string& what) {
    std::fprintf(err, "tqk: %s\n", what.c_str());
    return 1;
}

// Opens a movie and applies the checks of a header reader: fills h and returns kOk, or a
// code. infoChecks selects GetTVRFileData's checks, else the playback checks, after which
// the records are scanned (into *facts when given) and h->sec becomes the seconds readers
// play (fewer for a movie cut short); the file is left right behind the header.
int32_t OpenMovie(const std::string& path, bool infoChecks, StdioFile* file, MovieHeader* h,
                  int64_t* length, MovieFacts* facts = nullptr) {
    if (!infoChecks) return OpenMovieForPlay(path, file, h, length, facts);
    file->f = OpenForReading(path);
    if (!file->f) return kErrNoFile;
    StdioSource src(file->f);
    *length = src.Length();
    uint8_t head[kHeaderBytes];
    const size_t got = src.Read(head, kHeaderBytes);
    return CheckInfoBytes(static_cast<uint64_t>(*length), head, got, h);
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Positions a stream anywhere in a file of any length.
bool SeekFile(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, int64_t(offset), SEEK_SET) == 0;
#else
    return fseeko(f, off_t(offset), SEEK_SET) == 0;
#endif
}

bool HasOption(const std::vector<std::string>& args, const char* name) {
    for (const std::string& a : args)
        if (a == name) return true;
    return false;
}

// The WAV beside a movie: its extension replaced by ".wav".
std::string SoundFileOf(const std::string& movie) {
    const size_t slash = movie.find_last_of("/\\");
    const size_t dot = movie.rfind('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExt ? movie.substr(0, dot) : movie) + ".wav";
}

bool FileExists(const std::string& path) { return avi::FileExists(path); }

int Info(const std::string& path, std::FILE* out, std::FILE* err) {
    StdioFile file;
    MovieHeader h;
    int64_t length = 0;
    const int32_t rc = OpenMovie(path, true, &file, &h, &length);
    if (rc != kOk) return Fail(err, path + ": " + Message(rc));
    StdioSource src(file.f);
    const uint64_t frames = FrameCount(h);
    const uint64_t records = CountRecords(src, frames);
    std::fprintf(out, "file: %s\n", path.c_str());
    std::fprintf(out, "length: %lld\n", static_cast<long long>(length));
    std::fprintf(out, "magic: TVRX\nversion: 1\n");
    std::fprintf(out, "method: %d\nbitco: %d\nwidth: %d\nheight: %d\nfps: %d\nsec: %d\n", h.Method,
                 h.BitCo, h.W, h.H, h.fps, h.sec);
    std::fprintf(out, "frame_bytes: %llu\n", static_cast<unsigned long long>(FrameBytes(h)));
    std::fprintf(out, "frames: %llu\n", static_cast<unsigned long long>(frames));
    std::fprintf(out, "records_present: %llu\n", static_cast<unsigned long long>(records));
    std::fprintf(out,
                 "ffmpeg: tqk raw %s%s | ffmpeg -f rawvideo -pixel_format bgr24 -video_size %dx%d "
                 "-framerate %d -i - OUT.mp4\n",
                 Quote(path).c_str(), h.Method == 0 && h.BitCo == 16 ? " --555" : "", h.W, h.H,
                 h.fps);
    return 0;
}

// Unpacks every record a reader uses; calls each(frame) after each one. Returns the exit code.
template <class Each>
int Decode(const std::string& path, std::FILE* err, MovieHeader* hOut, Each each,
           MovieFacts* facts = nullptr) {
    StdioFile file;
    MovieHeader h;
    int64_t length = 0;
    int32_t rc = OpenMovie(path, false, &file, &h, &length, facts);
    if (rc != kOk) return Fail(err, path + ": " + Message(rc));
    *hOut = h;
    StdioSource src(file.f);
    FrameReader reader;
    rc = reader.Start(h);
    if (rc != kOk) return Fail(err, path + ": " + Message(rc));
    const uint64_t frames = FrameCount(h);
    for (uint64_t i = 0; i < frames; ++i) {
        rc = reader.ReadNext(src);
        if (rc != kOk) {
            return Fail(err, path + ": record " + std::to_string(i) + ": " + Message(rc));
        }
        if (!each(reader.Frame())) return Fail(err, "cannot write the output");
    }
    return 0;
}

int Verify(const std::string& path, std::FILE* out, std::FILE* err) {
    MovieHeader h;
    MovieFacts facts;
    uint64_t n = 0;
    const int rc = Decode(
        path, err, &h,
        [&](const uint8_t*) {
            ++n;
            return true;
        },
        &facts);
    if (rc != 0) return rc;
    if (facts.scan.end == RecordsEnd::kCutShort) {
        std::fprintf(out,
                     "cut short: %llu of %llu records, %d of %d seconds; plays %llu frames "
                     "(tqk repair fixes the header)\n",
                     static_cast<unsigned long long>(facts.scan.records),
                     static_cast<unsigned long long>(uint64_t(h.fps) * uint64_t(facts.headerSec)),
                     h.sec, facts.headerSec, static_cast<unsigned long long>(n));
    } else {
        std::fprintf(out, "ok: %llu frames\n", static_cast<unsigned long long>(n));
    }
    return 0;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return text;
}

// The sound beside a movie: rebuilt from its scratch file when its helper died before writing
// it, cut or padded to the seconds kept when the movie was cut short.
int RepairSound(const std::string& path, const MovieRepair& movie, std::FILE* out, std::FILE* err) {
    const bool cut = movie.outcome == RepairOutcome::kRepaired;
    const snd::SoundRecovery s = snd::RecoverSound(snd::WavePathForMovie(path), movie.keptSec, cut);
    const std::string recorded =
        Seconds(s.bytesPerSec ? double(s.recordedBytes) / s.bytesPerSec : 0);
    switch (s.outcome) {
    case snd::SoundOutcome::kNothing:
    case snd::SoundOutcome::kUnchanged: return 0;
    case snd::SoundOutcome::kRebuilt:
        std::fprintf(out, "sound: %s rebuilt from its scratch file, %s seconds (%s recorded)\n",
                     s.wavePath.c_str(), Seconds(snd::SoundSeconds(s)).c_str(), recorded.c_str());
        return 0;
    case snd::SoundOutcome::kFitted:
        std::fprintf(out, "sound: %s %s to %s seconds (%s recorded)\n", s.wavePath.c_str(),
                     s.lengthBytes < s.recordedBytes ? "cut" : "padded with silence",
                     Seconds(snd::SoundSeconds(s)).c_str(), recorded.c_str());
        return 0;
    case snd::SoundOutcome::kNoNote:
        return Fail(err, s.scratchPath + ": no readable note of its sound format beside it; " +
                             "left as it is");
    case snd::SoundOutcome::kFailed: break;
    }
    return Fail(err, s.wavePath + ": " + s.error + "; left as it was");
}

// Patches the header of a movie cut short to the whole seconds it holds and cuts the file
// right behind their last record; then the sound beside it (sound_recovery.h).
int Repair(const std::string& path, std::FILE* out, std::FILE* err) {
    const MovieRepair r = RepairMovie(path);
    switch (r.outcome) {
    case RepairOutcome::kReadFailed:
        if (r.failedRecord < 0) return Fail(err, path + ": " + Message(r.code));
        return Fail(err,
                    path + ": record " + std::to_string(r.failedRecord) + ": " + Message(r.code));
    case RepairOutcome::kDamaged:
        return Fail(err, path + ": record " + std::to_string(r.records) +
                             ": damaged, not cut short; nothing changed");
    case RepairOutcome::kNoWholeSecond:
        return Fail(err, path + ": holds no whole second (" + std::to_string(r.records) +
                             " records at " + std::to_string(r.fps) + " fps); nothing changed");
    case RepairOutcome::kWriteFailed:
        return Fail(err, path + ": " + (r.error.empty() ? Message(r.code) : r.error));
    case RepairOutcome::kWhole:
        std::fprintf(out, "nothing to repair: %llu frames\n",
                     static_cast<unsigned long long>(r.frames));
        break;
    case RepairOutcome::kRepaired:
        std::fprintf(out, "repaired: %d of %d seconds kept (%llu frames), %llu bytes\n", r.keptSec,
                     r.headerSec, static_cast<unsigned long long>(r.frames),
                     static_cast<unsigned long long>(r.bytes));
        break;
    }
    return RepairSound(path, r, out, err);
}

int Raw(const std::string& path, bool is555, std::FILE* out, std::FILE* err) {
    MovieHeader h;
    std::vector<uint8_t> rgb;
    return Decode(path, err, &h, [&](const uint8_t* frame) {
        rgb.resize(size_t(h.W) * size_t(h.H) * 3);
        FrameToBgr24(h, frame, is555, rgb.data());
        return std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
    });
}

bool ParseInt(const std::string& s, int32_t* v) {
    char* end = nullptr;
    const long x = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || x < INT32_MIN || x > INT32_MAX) return false;
    *v = static_cast<int32_t>(x);
    return true;
}

// A test frame: a colour gradient with a block that moves and a band that changes per frame.
void SampleFrame(const MovieHeader& h, int32_t index, uint8_t* frame) {
    const size_t bytesPerPixel = size_t(h.BitCo) / 8;
    const size_t stride = size_t(h.W) * bytesPerPixel;
    const int32_t bx = (index * 7) % (h.W > 16 ? h.W - 16 : 1);
    for (int32_t row = 0; row < h.H; ++row) {
        uint8_t* line = frame + size_t(row) * stride;
        for (int32_t col = 0; col < h.W; ++col) {
            uint32_t r = uint32_t(col * 255 / (h.W > 1 ? h.W - 1 : 1));
            uint32_t g = uint32_t(row * 255 / (h.H > 1 ? h.H - 1 : 1));
            uint32_t b = uint32_t((col + row) & 0xFF);
            if (col >= bx && col < bx + 16 && row >= h.H / 4 && row < h.H / 4 + 16) r = g = b = 255;
            if (row < 4) b = uint32_t((col + index) & 0xFF);
            uint8_t* px = line + size_t(col) * bytesPerPixel;
            switch (h.BitCo) {
            case 32: px[3] = 0; [[fallthrough]];
            case 24:
                px[0] = uint8_t(b);
                px[1] = uint8_t(g);
                px[2] = uint8_t(r);
                break;
            case 16: {
                const uint32_t v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
                px[0] = uint8_t(v);
                px[1] = uint8_t(v >> 8);
                break;
            }
            case 8: px[0] = uint8_t((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6)); break;
            }
        }
    }
    if (h.BitCo == 8) {  // a 3-3-2 colour table after the pixels
        uint8_t* table = frame + size_t(h.W) * size_t(h.H);
        for (uint32_t i = 0; i < 256; ++i) {
            table[i * 4 + 0] = uint8_t((i & 3) * 85);
            table[i * 4 + 1] = uint8_t(((i >> 2) & 7) * 255 / 7);
            table[i * 4 + 2] = uint8_t(((i >> 5) & 7) * 255 / 7);
            table[i * 4 + 3] = 0;
        }
    }
}

int Sample(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    MovieHeader h;
    h.Method = 1;
    h.BitCo = 24;
    h.W = 160;
    h.H = 120;
    h.fps = 10;
    h.sec = 2;
    for (size_t i = 2; i + 1 < args.size(); i += 2) {
        const std::string& k = args[i];
        const std::string& v = args[i + 1];
        bool ok = true;
        if (k == "--bits")
            ok = ParseInt(v, &h.BitCo);
        else if (k == "--method")
            ok = ParseInt(v, &h.Method);
        else if (k == "--fps")
            ok = ParseInt(v, &h.fps);
        else if (k == "--sec")
            ok = ParseInt(v, &h.sec);
        else if (k == "--size") {
            const size_t x = v.find('x');
            ok = x != std::string::npos && ParseInt(v.substr(0, x), &h.W) &&
                 ParseInt(v.substr(x + 1), &h.H);
        } else
            ok = false;
        if (!ok) return Fail(err, "bad option " + k + " " + v);
    }
    if (args.size() % 2 != 0) return Fail(err, "options come in pairs");
    if (CheckHeaderForInfo(h) != kOk || CheckHeaderForPlay(h) != kOk || h.W % 4 != 0 ||
        FrameCount(h) > 100000)
        return Fail(err, "bad movie parameters (width a multiple of 4, 8 bits only with method 1)");
    MovieEncoder enc;
    if (enc.Start(h) != kOk) return Fail(err, "bad movie parameters");
    // A new movie replaces the file only when whole: a failed write leaves the old one.
    SafeFileWriter file;
    if (file.Open(args[1]) != 0) return Fail(err, args[1] + ": " + Message(kErrOpen));
    ByteBuffer frame = AllocateZeroed(enc.FrameSize());
    bool ok = file.Write(enc.Header(), kHeaderBytes) == 0;
    for (uint64_t i = 0; ok && i < FrameCount(h); ++i) {
        SampleFrame(h, static_cast<int32_t>(i), frame.get());
        size_t n = 0;
        const uint8_t* rec = enc.EncodeFrame(frame.get(), &n);
        ok = file.Write(rec, n) == 0;
    }
    if (!ok || file.Commit() != 0) return Fail(err, args[1] + ": cannot write");
    std::fprintf(out, "wrote %s: %dx%d, %d bits, method %d, %d fps, %d s\n", args[1].c_str(), h.W,
                 h.H, h.BitCo, h.Method, h.fps, h.sec);
    return 0;
}

std::string AviMessage(int32_t code) {
    const char* text = avi::ErrorTextUtf8(code);
    return text ? text : "error " + std::to_string(code);
}

// Turns an unpacked movie frame into the AVI's bottom-up device-independent bits. Type1 and
// Type2 frames are those bits already; Type0 frames are top-down and are flipped.
void FrameToDib(const MovieHeader& h, const uint8_t* frame, uint8_t* dib) {
    const size_t stride = size_t(h.W) * size_t(h.BitCo) / 8;
    const size_t rows = size_t(h.H);
    if (h.Method != 0) {
        std::memcpy(dib, frame, stride * rows);
        return;
    }
    for (size_t r = 0; r < rows; ++r)
        std::memcpy(dib + (rows - 1 - r) * stride, frame + r * stride, stride);
}

struct AviOptions {
    std::string movie, out, wave;
    bool is555 = false;
    uint64_t segmentBytes = avi::kDefaultSegmentBytes;
    bool zmbv = false;
    int keyInterval = zmbv::kDefaultKeyInterval;
    bool span = false;
    double from = 0, to = 0;  // seconds
};

// A time in seconds as given on the command line: a plain decimal number.
bool ParseSeconds(const std::string& text, double* seconds) {
    if (text.empty()) return false;
    char* end = nullptr;
    *seconds = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(*seconds) && std::fabs(*seconds) < 1e9;
}

std::string SecondsText(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

// The frames [first, end) of a span of seconds, or a message when they are not in the movie.
bool SpanFrames(double from, double to, const MovieHeader& h, int64_t* first, int64_t* end,
                std::string* why) {
    *first = FrameAtSeconds(from, h.fps);
    *end = FrameAtSeconds(to, h.fps);
    const int64_t frames = int64_t(FrameCount(h));
    if (from < 0 || *first < 0 || *end > frames || *end <= *first) {
        *why = "the span " + SecondsText(from) + " s to " + SecondsText(to) +
               " s is not inside the movie, which has " + std::to_string(frames) +
               " frames (0 s to " + std::to_string(h.sec) + " s)";
        return false;
    }
    return true;
}

// The sound blocks of frames [first, end) of a WAV into a scratch WAV; its path, or empty
// after a message.
std::string WaveOfSpan(const std::string& wave, int64_t first, int64_t end, int32_t fps,
                       const std::string& scratch, std::FILE* err, uint64_t* blocks) {
    const uint32_t rate = WavRate(wave);
    if (rate == 0) {
        Fail(err, wave + ": not a WAV file that can be read");
        return {};
    }
    uint32_t error = 0;
    const WavSpanStatus st = WriteWavSpan(wave, SampleAtFrame(first, rate, fps),
                                          SampleAtFrame(end, rate, fps), scratch, blocks, &error);
    if (st != WavSpanStatus::kOk) {
        Fail(err, (st == WavSpanStatus::kWriteFailed ? scratch : wave) +
                      (st == WavSpanStatus::kWriteFailed
                           ? ": cannot write (error " + std::to_string(error) + ")"
                           : ": cannot read its sound"));
        return {};
    }
    const uint64_t want = SampleAtFrame(end, rate, fps) - SampleAtFrame(first, rate, fps);
    if (*blocks < want)
        std::fprintf(err, "tqk: warning: %s holds %llu of the span's %llu samples\n", wave.c_str(),
                     static_cast<unsigned long long>(*blocks),
                     static_cast<unsigned long long>(want));
    return scratch;
}

// The stream description of a ZMBV export: the bitmap header names the codec and the depth
// of the packed frames.
std::vector<uint8_t> ZmbvFormat(const MovieHeader& h, zmbv::Format f) {
    const int bpp = zmbv::BytesPerPixel(f);
    return avi::BitmapFormat(h.W, h.H, uint16_t(bpp * 8), zmbv::kFourCC,
                             uint32_t(uint64_t(h.W) * uint64_t(h.H) * uint64_t(bpp)), nullptr);
}

int Avi(const AviOptions& o, std::FILE* out, std::FILE* err) {
    StdioFile file;
    MovieHeader h;
    int64_t length = 0;
    int32_t rc = OpenMovie(o.movie, false, &file, &h, &length);
    if (rc != kOk) return Fail(err, o.movie + ": " + Message(rc));
    const uint64_t dibBytes = avi::DibFrameBytes(h.W, h.H, h.BitCo);
    if (uint64_t(h.W) * uint64_t(h.BitCo) % 32 != 0)
        return Fail(err, o.movie + ": rows of " + std::to_string(h.W) +
                             " pixels are not whole 4-byte words");
    FrameReader reader;
    rc = reader.Start(h);
    if (rc != kOk) return Fail(err, o.movie + ": " + Message(rc));
    StdioSource src(file.f);
    uint64_t frames = FrameCount(h);
    int64_t first = 0, end = int64_t(frames);
    if (o.span) {
        std::string why;
        if (!SpanFrames(o.from, o.to, h, &first, &end, &why))
            return Fail(err, o.movie + ": " + why);
        frames = uint64_t(end - first);
    }
    if (first > 0) {
        // The span's first frame found through the record index, unpacked from there on.
        StdioFile other;
        other.f = OpenForReading(o.movie);
        if (!other.f) return Fail(err, o.movie + ": " + Message(kErrOpen));
        StdioRandomSource random(other.f);
        FrameSeeker seeker(0);
        rc = seeker.Open(&random);
        if (rc == kOk) rc = seeker.Seek(int32_t(first));
        if (rc != kOk)
            return Fail(err, o.movie + ": record " + std::to_string(first) + ": " + Message(rc));
        std::memcpy(reader.MutableFrame(), seeker.Frame(), seeker.FrameSize());
        if (first + 1 < int64_t(FrameCount(h)) &&
            !SeekFile(file.f, seeker.Record(int32_t(first + 1)).offset))
            return Fail(err, o.movie + ": " + Message(kErrOpen));
        src = StdioSource(file.f);
        rc = kOk;
    } else {
        // The first frame gives an 8-bit movie's colour table.
        rc = frames ? reader.ReadNext(src) : kErrNoFrameTag;
    }
    if (rc != kOk) return Fail(err, o.movie + ": record 0: " + Message(rc));
    uint32_t compression = 0;
    std::vector<uint8_t> format;
    if (h.BitCo == 16 && h.Method == 0 && !o.is555) {
        // A 5-6-5 display's bits: the masks follow the header.
        compression = 3;
        format = avi::BitmapFormat(h.W, h.H, 16, compression, uint32_t(dibBytes), nullptr);
        for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu})
            for (int i = 0; i < 4; ++i) format.push_back(uint8_t(m >> (8 * i)));
    } else {
        format = avi::BitmapFormat(h.W, h.H, uint16_t(h.BitCo), 0, uint32_t(dibBytes),
                                   h.BitCo == 8 ? reader.Frame() + dibBytes : nullptr);
    }
    // Written beside and put in place when it is an AVI: whole, or holding every whole frame
    // written before a full disk. One whose layout could not be written leaves the old file.
    const std::string scratch = ScratchPathFor(o.out);
    // Packed frames: the movie's rows as they lie in the frame (bottom-up for device-
    // independent bits), 16-bit Type0 frames as 5-6-5 unless --555.
    zmbv::Encoder encoder;
    zmbv::EncodedFrame packed;
    const size_t stride = size_t(h.W) * size_t(h.BitCo) / 8;
    const bool bottomUp = h.Method != 0;
    if (o.zmbv) {
        const int bits = h.BitCo == 16 && (h.Method != 0 || o.is555) ? 15 : h.BitCo;
        zmbv::EncoderOptions zo;
        zo.keyInterval = o.keyInterval;
        const zmbv::Status zs = encoder.Start({h.W, h.H, bits}, zo);
        if (zs != zmbv::Status::kOk) return Fail(err, o.movie + ": " + zmbv::StatusText(zs));
        format = ZmbvFormat(h, encoder.StreamFormat());
    }
    avi::StdioFile aviFile;
    if (!aviFile.Open(scratch, avi::StdioFile::Mode::kCreate))
        return Fail(err, o.out + ": " + AviMessage(avi::kAviErrFileOpen));
    avi::Writer writer;
    avi::Status st = writer.Create(
        &aviFile,
        avi::VideoStream(o.zmbv ? zmbv::kFourCC : avi::FourCC("DIB "), h.W, h.H, uint32_t(h.fps),
                         uint32_t(frames), "AVIFile", std::move(format)),
        o.segmentBytes);
    std::vector<uint8_t> dib(dibBytes);
    // The stream carries one colour table: the first frame's.
    std::vector<uint8_t> table;
    if (h.BitCo == 8) table.assign(reader.Frame() + dibBytes, reader.Frame() + dibBytes + 1024);
    bool tableWarned = false;
    std::string failure;
    for (uint64_t i = 0; st == avi::Status::kOk && i < frames; ++i) {
        if (i > 0) {
            rc = reader.ReadNext(src);
            if (rc != kOk) {
                failure = o.movie + ": record " + std::to_string(i + uint64_t(first)) + ": " +
                          Message(rc);
                break;
            }
        }
        if (o.zmbv) {
            // The stream carries every colour-table change itself.
            const uint8_t* f = reader.Frame();
            const uint8_t* top = bottomUp ? f + (size_t(h.H) - 1) * stride : f;
            const zmbv::Status zs =
                encoder.Encode(top, bottomUp ? -ptrdiff_t(stride) : ptrdiff_t(stride),
                               h.BitCo == 8 ? f + dibBytes : nullptr, false, &packed);
            if (zs != zmbv::Status::kOk) {
                failure = o.movie + ": frame " + std::to_string(i) + ": " + zmbv::StatusText(zs);
                break;
            }
            st = writer.WriteChunk(0, packed.bytes.data(), packed.bytes.size(), packed.keyFrame);
            continue;
        }
        if (!table.empty() && !tableWarned &&
            std::memcmp(table.data(), reader.Frame() + dibBytes, table.size()) != 0) {
            std::fprintf(err,
                         "tqk: warning: the colour table changes at frame %llu; the AVI keeps "
                         "the first frame's\n",
                         static_cast<unsigned long long>(i));
            tableWarned = true;
        }
        FrameToDib(h, reader.Frame(), dib.data());
        st = writer.WriteChunk(0, dib.data(), dib.size(), true);
    }
    const avi::Status closed = writer.Close();
    if (st == avi::Status::kOk) st = closed;
    const bool closedWhole = aviFile.Close();
    if (!closedWhole && st == avi::Status::kOk) st = avi::Status::kWriteFailed;
    const uint32_t written = writer.ChunksWritten(0);
    if (st != avi::Status::kOk) failure = o.out + ": " + AviMessage(avi::ToAviError(st));
    if (writer.Damaged() || !closedWhole || ReplaceFileWith(scratch, o.out) != 0) {
        RemoveFile(scratch);
        if (failure.empty()) failure = o.out + ": " + AviMessage(avi::kAviErrFileWrite);
        std::fprintf(err, "tqk: %s (%s is left as it was)\n", failure.c_str(), o.out.c_str());
        return 1;
    }
    if (!failure.empty()) {
        std::fprintf(err, "tqk: %s (the AVI keeps %u frames)\n", failure.c_str(), written);
        return 1;
    }
    if (!o.wave.empty()) {
        std::string wave = o.wave;
        uint64_t blocks = 0;
        if (o.span) {
            wave =
                WaveOfSpan(o.wave, first, end, h.fps, ScratchPathFor(o.out) + ".wav", err, &blocks);
            if (wave.empty()) return 1;
        }
        const int32_t code = avi::AddWaveToAvi(o.out, wave, nullptr, o.segmentBytes);
        if (o.span) RemoveFile(wave);
        if (code != avi::kAviOk) return Fail(err, o.wave + ": " + AviMessage(code));
    }
    std::fprintf(out, "wrote %s: %u frames, %dx%d, %d bits, %d fps, %d segments%s%s\n",
                 o.out.c_str(), written, h.W, h.H, h.BitCo, h.fps, writer.Segments(),
                 o.wave.empty() ? "" : ", with sound", o.zmbv ? ", ZMBV" : "");
    return 0;
}

int AviCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    AviOptions o;
    std::vector<std::string> plain;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--555") {
            o.is555 = true;
        } else if (args[i] == "--segment" && i + 1 < args.size()) {
            char* end = nullptr;
            o.segmentBytes = std::strtoull(args[++i].c_str(), &end, 10);
            if (*end != '\0' || o.segmentBytes == 0) return Fail(err, "bad segment size");
        } else if (args[i] == "--codec" && i + 1 < args.size()) {
            const std::string& c = args[++i];
            if (c != "raw" && c != "zmbv") return Fail(err, "unknown codec " + c);
            o.zmbv = c == "zmbv";
        } else if (args[i] == "--keyint" && i + 1 < args.size()) {
            char* end = nullptr;
            const long n = std::strtol(args[++i].c_str(), &end, 10);
            if (*end != '\0' || n < 1 || n > 1000000) return Fail(err, "bad key-frame interval");
            o.keyInterval = int(n);
        } else if ((args[i] == "--from" || args[i] == "--to") && i + 1 < args.size()) {
            double& at = args[i] == "--from" ? o.from : o.to;
            if (!ParseSeconds(args[i + 1], &at))
                return Fail(err, args[i] + " " + args[i + 1] + ": not a time in seconds");
            ++i;
            o.span = true;
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() < 2 || plain.size() > 3)
        return Fail(err, "usage: tqk avi FILE OUT.avi [WAVE]");
    o.movie = plain[0];
    o.out = plain[1];
    if (plain.size() == 3) o.wave = plain[2];
    if (o.span && (!HasOption(args, "--from") || !HasOption(args, "--to")))
        return Fail(err, "a span needs both --from and --to");
    return Avi(o, out, err);
}

int GifCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    gif::ExportOptions o;
    std::vector<std::string> plain;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        int32_t n = 0;
        if (a == "--from" || a == "--to") {
            double* v = a == "--from" ? &o.from : &o.to;
            if (!hasValue || !ParseSeconds(args[++i], v) || *v < 0)
                return Fail(err, "bad " + a + " (seconds, 0 or more)");
        } else if (a == "--fps") {
            if (!hasValue || !ParseInt(args[++i], &n) || n < 1)
                return Fail(err, "bad --fps (frames a second, 1 or more)");
            o.fps = n;
        } else if (a == "--scale") {
            if (!hasValue || !ParseInt(args[++i], &n) || n < 1)
                return Fail(err, "bad --scale (a width in pixels, 1 or more)");
            o.width = n;
        } else if (a == "--help") {
            std::fputs(kUsage, out);
            return 0;
        } else if (a == "--dither") {
            o.dither = true;
        } else if (a == "--555") {
            o.type0Is555 = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return Fail(err, "unknown option " + a);
        } else {
            plain.push_back(a);
        }
    }
    if (plain.size() != 2)
        return Fail(err, "usage: tqk gif FILE OUT.gif [--from S] [--to E] [--fps N] [--scale W]");
    o.movie = plain[0];
    o.out = plain[1];
    const gif::ExportResult r = gif::ExportGif(o);
    switch (r.status) {
    case gif::ExportStatus::kOk: break;
    case gif::ExportStatus::kMovie:
        return Fail(err, o.movie + ": " +
                             (r.record >= 0 ? "record " + std::to_string(r.record) + ": " : "") +
                             Message(r.code) + " (" + o.out + " is left as it was)");
    case gif::ExportStatus::kNoFrames:
        return Fail(err, o.movie + ": holds no whole second; nothing written");
    case gif::ExportStatus::kBadSpan:
        return Fail(err, o.movie + ": --from/--to outside the movie or not in order");
    case gif::ExportStatus::kTooLarge:
        return Fail(err, o.movie + ": " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                             " is larger than a GIF can hold (65535 pixels a side at most)");
    case gif::ExportStatus::kTooManyPixels:
        return Fail(err, o.movie + ": " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                             " is more than " + std::to_string(gif::kMaxPixels) +
                             " pixels; choose a smaller --scale");
    case gif::ExportStatus::kWrite:
        return Fail(err, o.out + ": cannot write (error " + std::to_string(r.systemError) +
                             "); the old file is left as it was");
    case gif::ExportStatus::kCancelled: return Fail(err, "cancelled");
    }
    std::fprintf(out, "wrote %s: %llu images from %llu frames, %dx%d, %d fps, %llu.%02llu s, %s\n",
                 o.out.c_str(), static_cast<unsigned long long>(r.images),
                 static_cast<unsigned long long>(r.framesRead), r.width, r.height, r.rate,
                 static_cast<unsigned long long>(r.hundredths / 100),
                 static_cast<unsigned long long>(r.hundredths % 100),
                 r.exact ? "exact colours" : "colours quantised");
    return 0;
}

// tqk cut MOVIE OUT.TQK --from S --to E
int Cut(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    std::vector<std::string> plain;
    double from = 0, to = 0;
    bool hasFrom = false, hasTo = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "--from" || args[i] == "--to") && i + 1 < args.size()) {
            const bool isFrom = args[i] == "--from";
            if (!ParseSeconds(args[i + 1], isFrom ? &from : &to))
                return Fail(err, args[i] + " " + args[i + 1] + ": not a time in seconds");
            (isFrom ? hasFrom : hasTo) = true;
            ++i;
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() != 2 || !hasFrom || !hasTo)
        return Fail(err, "usage: tqk cut FILE OUT.TQK --from S --to E");
    if (from != std::floor(from) || to != std::floor(to))
        return Fail(err, "cut: --from " + SecondsText(from) + " --to " + SecondsText(to) +
                             ": a movie's length is whole seconds in its header, so a cut "
                             "starts and ends on whole seconds (tqk avi --from/--to takes any "
                             "time)");
    const std::string& movie = plain[0];
    const std::string& target = plain[1];
    StdioFile file;
    file.f = OpenForReading(movie);
    if (!file.f) return Fail(err, movie + ": " + Message(kErrNoFile));
    StdioRandomSource random(file.f);
    FrameSeeker seeker(0);
    int32_t rc = seeker.Open(&random);
    if (rc != kOk) return Fail(err, movie + ": " + Message(rc));
    const MovieHeader& h = seeker.Header();
    int64_t first = 0, end = 0;
    std::string why;
    if (!SpanFrames(from, to, h, &first, &end, &why)) return Fail(err, movie + ": " + why);
    uint32_t error = 0;
    rc = WriteMovieSpan(seeker, int32_t(first), int32_t(end), target, &error);
    if (rc == kErrApi)
        return Fail(err, target + ": cannot write (error " + std::to_string(error) + ")");
    if (rc != kOk) return Fail(err, movie + ": " + Message(rc));
    std::fprintf(out, "wrote %s: %lld frames, %d s from %s s\n", target.c_str(),
                 static_cast<long long>(end - first), int((end - first) / h.fps),
                 SecondsText(from).c_str());
    const std::string wave = SoundFileOf(movie);
    if (!FileExists(wave)) return 0;
    uint64_t blocks = 0;
    const std::string written =
        WaveOfSpan(wave, first, end, h.fps, SoundFileOf(target), err, &blocks);
    if (written.empty()) return 1;
    std::fprintf(out, "wrote %s: %llu samples\n", written.c_str(),
                 static_cast<unsigned long long>(blocks));
    return 0;
}

// tqk snap MOVIE: the snapshot file beside it, as the player and the recorder write it.
int Snap(const std::string& movie, std::FILE* out, std::FILE* err) {
    StdioFile file;
    file.f = OpenForReading(movie);
    if (!file.f) return Fail(err, movie + ": " + Message(kErrNoFile));
    StdioRandomSource random(file.f);
    const std::string target = movie + kSnapshotFileSuffix;
    SnapshotFileMade made;
    const int32_t rc = MakeSnapshotFile(random, target, {}, &made);
    if (rc == kErrApi && made.error)
        return Fail(err, target + ": cannot write (error " + std::to_string(made.error) + ")");
    if (rc != kOk) return Fail(err, movie + ": " + Message(rc));
    std::fprintf(out, "wrote %s: %zu snapshots, one every %d frames at most, %llu bytes\n",
                 target.c_str(), made.snapshots, made.interval,
                 static_cast<unsigned long long>(made.fileBytes));
    // A damaged record ends the walk; the frames behind it are not shown anyway.
    if (made.walkFailed) std::fprintf(out, "the walk stopped at a damaged record\n");
    return 0;
}

inline uint8_t Widen5(uint32_t c) { return uint8_t((c << 3) | (c >> 2)); }
inline uint8_t Widen6(uint32_t c) { return uint8_t((c << 2) | (c >> 4)); }

}  // namespace

void FrameToBgr24(const MovieHeader& h, const uint8_t* frame, bool type0Is555, uint8_t* out) {
    const size_t w = size_t(h.W);
    const size_t bytesPerPixel = size_t(h.BitCo) / 8;
    const size_t stride = w * bytesPerPixel;
    const bool bottomUp = h.Method != 0;
    const uint8_t* table = frame + stride * size_t(h.H);
    for (size_t row = 0; row < size_t(h.H); ++row) {
        const uint8_t* src = frame + (bottomUp ? size_t(h.H) - 1 - row : row) * stride;
        uint8_t* dst = out + row * w * 3;
        for (size_t col = 0; col < w; ++col, dst += 3) {
            const uint8_t* px = src + col * bytesPerPixel;
            switch (h.BitCo) {
            case 32:
            case 24:
                dst[0] = px[0];
                dst[1] = px[1];
                dst[2] = px[2];
                break;
            case 16: {
                const uint32_t v = uint32_t(px[0]) | (uint32_t(px[1]) << 8);
                if (h.Method == 0 && !type0Is555) {
                    dst[0] = Widen5(v & 31);
                    dst[1] = Widen6((v >> 5) & 63);
                    dst[2] = Widen5((v >> 11) & 31);
                } else {
                    dst[0] = Widen5(v & 31);
                    dst[1] = Widen5((v >> 5) & 31);
                    dst[2] = Widen5((v >> 10) & 31);
                }
                break;
            }
            case 8: {
                const uint8_t* c = table + size_t(px[0]) * 4;
                dst[0] = c[0];
                dst[1] = c[1];
                dst[2] = c[2];
                break;
            }
            }
        }
    }
}

int RunTqk(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    if (args.size() >= 2 && args[0] == "info" && args.size() == 2) return Info(args[1], out, err);
    if (args.size() == 2 && args[0] == "verify") return Verify(args[1], out, err);
    if (args.size() == 2 && args[0] == "repair") return Repair(args[1], out, err);
    if (args.size() >= 2 && args[0] == "raw" && args.size() <= 3) {
        const bool is555 = args.size() == 3 && args[2] == "--555";
        if (args.size() == 3 && !is555) return Fail(err, "unknown option " + args[2]);
        return Raw(args[1], is555, out, err);
    }
    if (args.size() >= 2 && args[0] == "sample") return Sample(args, out, err);
    if (args.size() >= 2 && args[0] == "avi") return AviCommand(args, out, err);
    if (args.size() >= 2 && args[0] == "gif") return GifCommand(args, out, err);
    if (args.size() >= 2 && args[0] == "cut") return Cut(args, out, err);
    if (args.size() == 2 && args[0] == "snap") return Snap(args[1], out, err);
    std::fputs(kUsage, args.empty() || args[0] == "--help" || args[0] == "help" ? out : err);
    return args.empty() || args[0] == "--help" || args[0] == "help" ? 0 : 2;
}

}  // namespace tqk
