#include "wave_in2.h"

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "device_clock.h"
#include "fault_seam.h"
#include "message_pump.h"
#include "perf_millis.h"
#include "safe_file.h"
#include "sound_block.h"
#include "sound_recovery.h"
#include "wave_math.h"
#include "win_files.h"
#include "win_handles.h"
#include "win_text.h"

using tqk::PerfMillis;
using tqk::PerfMillisInt;

namespace tqk::snd {

using tqk::FileHandle;
using tqk::MappedView;
using tqk::ObjectHandle;
using tqk::PumpMessages;
namespace {

constexpr UINT kWimData = 0x3C0;

// Shared with the wave driver's thread: the callback only counts finished buffers.
struct DeviceEvents {
    std::atomic<int32_t> finished{0};
};

void CALLBACK WaveInCallback(HWAVEIN, UINT msg, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (msg == kWimData) reinterpret_cast<DeviceEvents*>(instance)->finished.fetch_add(1);
}

void ShowDeviceError(MMRESULT r) {
    wchar_t text[MAXERRORLENGTH] = L"";
    waveInGetErrorTextW(r, text, MAXERRORLENGTH);
    MessageBoxW(nullptr, text, L"TaviroWave", MB_OK);
}

void ShowSystemError(DWORD err) {
    MessageBoxW(nullptr, tqk::SystemErrorText(err).c_str(), L"TaviroWave", MB_OK);
}

// The sound's paths are in the ANSI code page, as the shared block carries them.
void DeleteIfExists(const std::string& path) {
    (void)tqk::DeleteFileClearingReadOnly(tqk::WideFromAnsi(path));
}

bool IsNtFamily() {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&v)) return true;
#pragma GCC diagnostic pop
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string ScratchPathFor(const std::string& given) {
    if (!given.empty()) return given;
    char temp[MAX_PATH + 1] = "";
    const DWORD n = GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    return DefaultScratchPath(n > 0 && n < sizeof temp ? std::string(temp, n) : std::string());
}

// The note beside the scratch file with what a WAV made from it needs, should this helper die
// before it writes one (sound_recovery.h). It is no part of the recording's own files: a
// failure to write it does not stop the recording, and it bypasses the fault seam.
void WriteScratchNote(const std::string& scratchPath, const PcmFormat& f, uint32_t half,
                      int32_t startTime, int32_t lengthSec) {
    ScratchNote n;
    n.Bits = f.BitsPerSample;
    n.SamplesPerSec = int32_t(f.SamplesPerSec);
    n.Channels = f.Channels;
    n.HalfBufferBytes = half;
    n.StartTime = startTime;
    n.LengthSec = lengthSec;
    uint8_t bytes[kScratchNoteBytes];
    EncodeScratchNote(n, bytes);
    FileHandle note(CreateFileW(tqk::WideFromAnsi(ScratchNotePath(scratchPath)).c_str(),
                                GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD put = 0;
    if (note) WriteFile(note.Get(), bytes, sizeof bytes, &put, nullptr);
}

// The open device with its two queued buffers; on every path the buffers come back from the
// driver and are unprepared before the device closes and the memory goes.
class Device {
public:
    Device(HWAVEIN h, uint8_t* a, uint8_t* b, uint32_t bytes) : h_(h) {
        uint8_t* data[2] = {a, b};
        for (int i = 0; i < 2; ++i) {
            hdr_[i] = WAVEHDR{};
            hdr_[i].lpData = reinterpret_cast<LPSTR>(data[i]);
            hdr_[i].dwBufferLength = bytes;
        }
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() { Close(); }

    HWAVEIN Get() const { return h_; }
    WAVEHDR& Header(int i) { return hdr_[i]; }
    MMRESULT Queue(int i) {
        MMRESULT r = waveInPrepareHeader(h_, &hdr_[i], sizeof(WAVEHDR));
        if (r == MMSYSERR_NOERROR) r = waveInAddBuffer(h_, &hdr_[i], sizeof(WAVEHDR));
        return r;
    }
    void Stop() {
        if (!h_) return;
        waveInStop(h_);
        waveInReset(h_);
    }
    void Close() {
        if (!h_) return;
        waveInReset(h_);
        for (auto& hdr : hdr_) {
            if (hdr.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(h_, &hdr, sizeof(WAVEHDR));
        }
        waveInClose(h_);
        h_ = nullptr;
    }

private:
    HWAVEIN h_;
    WAVEHDR hdr_[2];
};

// The sound of the scratch file as it goes into the WAV file: `length` bytes, copied as the
// device delivered them when its clock kept time (ratio 1), else laid back on the recording's
// time from the `inFrames` frames the device delivered at `ratio` of it.
struct WaveSource {
    HANDLE mapping = nullptr;
    uint64_t length = 0;
    double ratio = 1;
    uint64_t inFrames = 0;
};

// Maps the input frames `span` of the scratch file: the view starts at a whole granule, `at`
// points at the span's first frame.
struct SpanView {
    MappedView view;
    const uint8_t* at = nullptr;
};
SpanView MapSpan(HANDLE mapping, FrameSpan span, uint32_t align, uint32_t granularity) {
    const uint64_t g = granularity ? granularity : 65536;
    const uint64_t offset = span.first * align;
    const uint64_t base = offset - offset % g;
    SpanView v;
    v.view = MappedView(mapping, FILE_MAP_READ, base, size_t(offset + span.count * align - base));
    if (v.view) v.at = static_cast<const uint8_t*>(v.view.Get()) + (offset - base);
    return v;
}

// Writes L bytes of sound from the scratch mapping into a new WAV file through mmio. The file
// is written beside and renamed in place when whole; an older file of the name is removed
// first, so that a failure never leaves an earlier recording's sound passing for this one's.
bool WriteWaveFile(const std::string& path, const PcmFormat& f, const WaveSource& source,
                   uint32_t granularity, const WaveIn2Params& p) {
    // How far the copy is, for the recorder that waits for the WAV.
    auto report = [&](uint64_t done) {
        if (p.Finishing && source.length > 0)
            p.Finishing(p.FinishingContext, int32_t(done * 999 / source.length));
    };
    const uint64_t length = source.length;
    namespace fault = tqk::fault;
    using fault::Op;
    DeleteIfExists(path);
    const std::string scratch = tqk::ScratchPathFor(path);
    DeleteIfExists(scratch);
    std::string name = scratch;
    HMMIO h = mmioOpenA(&name[0], nullptr, MMIO_CREATE | MMIO_WRITE);
    if (!h) return false;
    bool ok = true;
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ok = ok && mmioCreateChunk(h, &riff, MMIO_CREATERIFF) == MMSYSERR_NOERROR;
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    fmt.cksize = 18;
    uint8_t fmtBytes[18];
    EncodeFmtChunk(f, fmtBytes);
    ok = ok && mmioCreateChunk(h, &fmt, 0) == MMSYSERR_NOERROR;
    ok = ok && !fault::ShouldFail(Op::kWrite) &&
         mmioWrite(h, reinterpret_cast<const char*>(fmtBytes), 18) == 18;
    ok = ok && mmioAscend(h, &fmt, 0) == MMSYSERR_NOERROR;
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    data.cksize = static_cast<DWORD>(length);
    ok = ok && mmioCreateChunk(h, &data, 0) == MMSYSERR_NOERROR;
    const uint64_t piece = CopyPieceBytes(granularity);
    if (source.ratio == 1) {
        for (uint64_t at = 0; ok && at < length; at += piece) {
            report(at);
            const size_t n = static_cast<size_t>(length - at < piece ? length - at : piece);
            MappedView view(source.mapping, FILE_MAP_READ, at, n);
            ok = view && !fault::ShouldFail(Op::kWrite) &&
                 mmioWrite(h, static_cast<const char*>(view.Get()), static_cast<LONG>(n)) ==
                     static_cast<LONG>(n);
        }
    } else {
        // A piece of output at a time from the input frames it reads: memory stays at two
        // pieces whatever the length.
        const uint64_t frames = length / f.BlockAlign, pieceFrames = piece / f.BlockAlign;
        std::vector<uint8_t> out(size_t(pieceFrames) * f.BlockAlign);
        for (uint64_t j = 0; ok && j < frames; j += pieceFrames) {
            report(j * f.BlockAlign);
            const uint64_t n = std::min(pieceFrames, frames - j);
            const FrameSpan span = ResampleInputSpan(j, n, source.inFrames, source.ratio);
            const SpanView in = MapSpan(source.mapping, span, f.BlockAlign, granularity);
            ok = in.at != nullptr;
            if (ok) ResamplePcm(in.at, span, source.inFrames, f, source.ratio, j, n, out.data());
            const LONG bytes = static_cast<LONG>(n * f.BlockAlign);
            ok = ok && !fault::ShouldFail(Op::kWrite) &&
                 mmioWrite(h, reinterpret_cast<const char*>(out.data()), bytes) == bytes;
        }
    }
    ok = ok && mmioAscend(h, &data, 0) == MMSYSERR_NOERROR;
    ok = ok && mmioAscend(h, &riff, 0) == MMSYSERR_NOERROR;
    ok = ok && !fault::ShouldFail(Op::kFlush) && mmioFlush(h, 0) == MMSYSERR_NOERROR;
    ok = (mmioClose(h, 0) == MMSYSERR_NOERROR) && ok;
    ok = ok && tqk::ReplaceFileWith(tqk::WideFromAnsi(scratch), tqk::WideFromAnsi(path)) == 0;
    // A half-written file would claim sound it does not hold.
    if (!ok) DeleteIfExists(scratch);
    return ok;
}

}  // namespace

int32_t WaveIn2Record(const WaveIn2Params& p, int32_t* retActualStartTime) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const uint32_t granularity = si.dwAllocationGranularity;
    PcmFormat f;
    if (!MakePcmFormat(p.Bits, p.SamplesPerSec, p.Channels, &f)) return kWaveErrFormat;
    const uint32_t half = HalfBufferBytes(p.BufferKb, granularity);

    // Zero-filled: a buffer's unrecorded tail must never replay older sound.
    std::unique_ptr<uint8_t[]> buffers[2];
    for (auto& b : buffers) {
        b.reset(new (std::nothrow) uint8_t[half]());
        if (!b) return kWaveErrMemory;
    }

    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = f.Channels;
    wfx.nSamplesPerSec = f.SamplesPerSec;
    wfx.nAvgBytesPerSec = f.AvgBytesPerSec;
    wfx.nBlockAlign = f.BlockAlign;
    wfx.wBitsPerSample = f.BitsPerSample;
    wfx.cbSize = 0;

    // The user agreed to replace a WAV at the path: it goes now, so that a recording that
    // fails leaves none behind for the export to take for this recording's sound.
    if (!p.ProbeOnly) DeleteIfExists(p.WavePath);

    DeviceEvents events;
    HWAVEIN hwi = nullptr;
    const MMRESULT opened =
        waveInOpen(&hwi, WAVE_MAPPER, &wfx, reinterpret_cast<DWORD_PTR>(&WaveInCallback),
                   reinterpret_cast<DWORD_PTR>(&events), CALLBACK_FUNCTION);
    if (opened != MMSYSERR_NOERROR) return static_cast<int32_t>(opened);
    Device device(hwi, buffers[0].get(), buffers[1].get(), half);
    for (int i = 0; i < 2; ++i) {
        const MMRESULT r = device.Queue(i);
        if (r != MMSYSERR_NOERROR) return static_cast<int32_t>(r);
    }

    const std::string scratchPath = ScratchPathFor(p.ScratchPath);
    int32_t result = kWaveOk;
    FileHandle scratch;
    if (!p.ProbeOnly) {
        scratch.Reset(CreateFileA(scratchPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!scratch) {
            device.Close();
            DeleteIfExists(scratchPath);
            return kWaveErrScratchCreate;
        }
        WriteScratchNote(scratchPath, f, half, p.StartTime, p.LengthSec);
    }

    double started = PerfMillis();
    MappedView command;
    if (p.Block) command = MappedView(p.Block, FILE_MAP_READ, 0, 4);

    const bool nt = IsNtFamily();
    ObjectHandle writeDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    int filling = 0;      // the buffer the device is filling
    int32_t written = 0;  // buffers in the scratch file (N)
    int32_t handled = 0;  // finished buffers taken from the device

    // Writes the buffer being filled at N × H and, unless it is the last, queues it again.
    // The write completes before the buffer goes back to the device.
    auto writeBuffer = [&](bool last) -> bool {
        const int index = filling;
        filling ^= 1;
        WAVEHDR& hdr = device.Header(index);
        if (last && hdr.dwBytesRecorded < half) {
            ZeroMemory(buffers[index].get() + hdr.dwBytesRecorded, half - hdr.dwBytesRecorded);
        }
        const uint64_t offset = uint64_t(written) * half;
        DWORD done = 0;
        bool ok;
        if (nt) {
            OVERLAPPED ov{};
            ov.Offset = static_cast<DWORD>(offset);
            ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
            ov.hEvent = writeDone.Get();
            ok = WriteFile(scratch.Get(), buffers[index].get(), half, nullptr, &ov) ||
                 GetLastError() == ERROR_IO_PENDING;
            ok = ok && GetOverlappedResult(scratch.Get(), &ov, &done, TRUE);
        } else {
            LONG high = static_cast<LONG>(offset >> 32);
            ok = SetFilePointer(scratch.Get(), static_cast<LONG>(offset), &high, FILE_BEGIN) !=
                     INVALID_SET_FILE_POINTER ||
                 GetLastError() == NO_ERROR;
            ok = ok && WriteFile(scratch.Get(), buffers[index].get(), half, &done, nullptr);
        }
        if (!ok || done != half) return false;
        ++written;
        if (!last) {
            hdr.dwBytesRecorded = 0;
            const MMRESULT r = device.Queue(index);
            if (r != MMSYSERR_NOERROR) ShowDeviceError(r);
        }
        return true;
    };

    int64_t elapsed = 0;
    DeviceClockFit fit;
    double ratio = 1;
    // Benchmarks: sound as if recorded before the device started, whole buffers of a tone.
    double preloadedMs = 0;
    if (!p.ProbeOnly && p.PreloadSec > 0) {
        std::vector<uint8_t> tone(half);
        for (uint32_t i = 0; i + 1 < half; i += 2) {
            const auto v = int16_t(8000 * std::sin(double(i / f.BlockAlign) * 0.0627));
            tone[i] = uint8_t(v & 0xFF);
            tone[i + 1] = uint8_t(uint16_t(v) >> 8);
        }
        const auto count = int32_t(std::ceil(p.PreloadSec * f.AvgBytesPerSec / half));
        for (; written < count && result == kWaveOk; ++written) {
            const uint64_t offset = uint64_t(written) * half;
            OVERLAPPED ov{};
            ov.Offset = static_cast<DWORD>(offset);
            ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
            ov.hEvent = writeDone.Get();
            DWORD done = 0;
            const bool ok = (WriteFile(scratch.Get(), tone.data(), half, nullptr, &ov) ||
                             GetLastError() == ERROR_IO_PENDING) &&
                            GetOverlappedResult(scratch.Get(), &ov, &done, TRUE) && done == half;
            if (!ok) result = kWaveErrScratchWrite;
        }
        preloadedMs = double(written) * half * 1000.0 / f.AvgBytesPerSec;
    }
    if (!p.ProbeOnly && result == kWaveOk) {
        // Not before the start time; yielding keeps the start within a millisecond of it.
        const double now = PerfMillis();
        const double rounded = std::floor(now + 0.5);
        const int32_t ahead = StartTimeAheadMs(
            p.StartTime, static_cast<int32_t>(static_cast<uint32_t>(std::llround(now))));
        if (ahead > 0) {
            const double target = rounded + ahead;
            while (PerfMillis() <= target) Sleep(0);
        }
        started = PerfMillis() - preloadedMs;
        if (retActualStartTime) {
            *retActualStartTime =
                static_cast<int32_t>(static_cast<uint32_t>(std::llround(started)));
        }
        waveInStart(device.Get());
        // The recording's time runs from the device's start, not from the call: the sound
        // length and the time limit then match what the device can have delivered.
        const double limit = started + double(p.LengthSec) * 1000.0;
        const volatile int32_t* code =
            command ? static_cast<const volatile int32_t*>(command.Get()) : nullptr;
        uint64_t position = 0;  // the device's byte position, unwrapped past 4 GiB
        for (;;) {
            PumpMessages();
            Sleep(1);
            MMTIME mt{};
            mt.wType = TIME_BYTES;
            if (waveInGetPosition(device.Get(), &mt, sizeof mt) == MMSYSERR_NOERROR &&
                mt.wType == TIME_BYTES) {
                const uint32_t low = uint32_t(position);
                if (mt.u.cb < low && low - mt.u.cb > 0x80000000u) position += uint64_t{1} << 32;
                position = (position & ~uint64_t{0xFFFFFFFF}) | mt.u.cb;
                fit.AddPosition(PerfMillis() - started, position);
            }
            if (p.Progress) {
                int32_t reported = static_cast<int32_t>(mt.u.cb);
                int32_t n = written;
                p.Progress(reported, n);
            }
            if (events.finished.load() > handled) {
                ++handled;
                if (!writeBuffer(false)) {
                    result = kWaveErrScratchWrite;
                    break;
                }
            }
            if (PerfMillis() > limit) break;
            if (code && *code == kCodeStop) break;
            // A recorder that ended (killed, crashed) stops the recording like a stop command:
            // what was recorded up to then is kept.
            if (p.Recorder) {
                DWORD exitCode = 0;
                if (!GetExitCodeProcess(p.Recorder, &exitCode)) {
                    ShowSystemError(GetLastError());
                    break;
                }
                if (exitCode != STILL_ACTIVE) break;
            }
        }
        elapsed = ElapsedWholeMillis(PerfMillis() - started);
        if (p.Finishing) p.Finishing(p.FinishingContext, 0);
        // The pictures keep the performance counter's time: a device whose clock runs fast or
        // slow has its sound laid back on that time, so the two stay together however long.
        ratio = p.ForcedClockRatio > 0 ? p.ForcedClockRatio : fit.Ratio(f);
        // The device hands its sound over late (Wine's wave-in by up to a second), and what it
        // still holds at the stop would be lost: keep recording until it has delivered the
        // sound up to the stop, for at most kDrainLimitMs. The WAV is cut at the stop.
        const uint64_t wantedFrames = SoundLengthBytes(elapsed, f, UINT64_MAX) / f.BlockAlign;
        const uint64_t wanted =
            ratio == 1 ? wantedFrames * f.BlockAlign
                       : (uint64_t(std::ceil(double(wantedFrames) * ratio)) + 2) * f.BlockAlign;
        const double drainUntil = PerfMillis() + kDrainLimitMs;
        while (result == kWaveOk && PerfMillis() < drainUntil) {
            const int32_t finished = events.finished.load();
            // The buffer being filled now, and what it holds so far.
            const WAVEHDR& current = device.Header((filling + (finished - handled)) & 1);
            uint64_t delivered = uint64_t(finished) * half +
                                 (current.dwFlags & WHDR_DONE ? 0 : current.dwBytesRecorded);
            // Where a buffer's count grows only when it is done, the device position says
            // what the stop will hand over (under Wine the two agree).
            MMTIME mt{};
            mt.wType = TIME_BYTES;
            if (waveInGetPosition(device.Get(), &mt, sizeof mt) == MMSYSERR_NOERROR &&
                mt.wType == TIME_BYTES)
                delivered = std::max<uint64_t>(delivered, mt.u.cb);
            if (delivered >= wanted) break;
            PumpMessages();
            Sleep(1);
            if (events.finished.load() > handled) {
                ++handled;
                if (!writeBuffer(false)) result = kWaveErrScratchWrite;
            }
        }
    }
    // A buffer that finished after the last pass is still in order before the partial one.
    const bool finishedPending = events.finished.load() > handled;
    device.Stop();

    if (!p.ProbeOnly && result == kWaveOk) {
        if (finishedPending && !writeBuffer(true)) result = kWaveErrScratchWrite;
        if (result == kWaveOk && !writeBuffer(true)) result = kWaveErrScratchWrite;
    }
    device.Close();
    if (!p.ProbeOnly && result == kWaveOk) {
        const uint64_t captured = uint64_t(written) * half;
        WaveSource source;
        source.ratio = ratio;
        source.inFrames = captured / f.BlockAlign;
        source.length =
            ratio == 1 ? SoundLengthBytes(elapsed, f, captured)
                       : ResampledFrames(SoundLengthBytes(elapsed, f, UINT64_MAX) / f.BlockAlign,
                                         source.inFrames, ratio) *
                             f.BlockAlign;
        ObjectHandle mapping(CreateFileMappingA(scratch.Get(), nullptr, PAGE_READWRITE,
                                                static_cast<DWORD>(captured >> 32),
                                                static_cast<DWORD>(captured), nullptr));
        source.mapping = mapping.Get();
        if (!mapping || !WriteWaveFile(p.WavePath, f, source, granularity, p)) {
            result = kWaveErrWaveFile;
        }
    }
    command.Reset();
    scratch.Reset();
    // A WAV that could not be written (a full disk) leaves the recorded sound in the scratch
    // file and its note, from which the recorder's next start or `tqk repair` rebuilds it.
    if (result != kWaveErrWaveFile) {
        DeleteIfExists(scratchPath);
        if (!p.ProbeOnly) DeleteIfExists(ScratchNotePath(scratchPath));
    }
    return result;
}

}  // namespace tqk::snd
