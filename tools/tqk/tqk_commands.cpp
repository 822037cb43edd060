#include "tqk_commands.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_writer.h"
#include "movie_repair.h"
#include "safe_file.h"
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
};

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
    const uint64_t frames = FrameCount(h);

    // The first frame gives an 8-bit movie's colour table.
    rc = frames ? reader.ReadNext(src) : kErrNoFrameTag;
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
                failure = o.movie + ": record " + std::to_string(i) + ": " + Message(rc);
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
        const int32_t code = avi::AddWaveToAvi(o.out, o.wave, nullptr, o.segmentBytes);
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
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() < 2 || plain.size() > 3)
        return Fail(err, "usage: tqk avi FILE OUT.avi [WAVE]");
    o.movie = plain[0];
    o.out = plain[1];
    if (plain.size() == 3) o.wave = plain[2];
    return Avi(o, out, err);
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
    std::fputs(kUsage, args.empty() || args[0] == "--help" || args[0] == "help" ? out : err);
    return args.empty() || args[0] == "--help" || args[0] == "help" ? 0 : 2;
}

}  // namespace tqk
