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
#include "record_spans.h"
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
                      int32_t startTime, int32_t lengthSec, const std::vector<int64_t>& moments) {
    ScratchNote n;
    n.Bits = f.BitsPerSample;
    n.SamplesPerSec = int32_t(f.SamplesPerSec);
    n.Channels = f.Channels;
    n.HalfBufferBytes = half;
    n.StartTime = startTime;
    n.LengthSec = lengthSec;
    n.Moments = moments;
    const std::vector<uint8_t> bytes = EncodeScratchNote(n);
    // Written again at every pause: beside first and then put in place, so that a helper that
    // dies meanwhile leaves the previous note whole.
    const std::wstring path = tqk::WideFromAnsi(ScratchNotePath(scratchPath));
    const std::wstring fresh = path + L".new";
    bool ok = false;
    {
        FileHandle note(CreateFileW(fresh.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD put = 0;
        ok = note && WriteFile(note.Get(), bytes.data(), DWORD(bytes.size()), &put, nullptr) &&
             put == bytes.size();
    }
    if (!ok || !MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        DeleteFileW(fresh.c_str());
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

// The sound of the scratch file as it goes into the WAV file: the recorded spans of `plan`,
// each copied as the device delivered it when its clock kept time (ratio 1), else laid back
// on the recording's time from the span's own first frame at `ratio`.
struct WaveSource {
    HANDLE mapping = nullptr;
    std::vector<SpanPlan> plan;
    double ratio = 1;
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

// Writes the recorded spans from the scratch mapping into a new WAV file through mmio. The
// file is written beside and renamed in place when whole; an older file of the name is removed
// first, so that a failure never leaves an earlier recording's sound passing for this one's.
bool WriteWaveFile(const std::string& path, const PcmFormat& f, const WaveSource& source,
                   uint32_t granularity, const WaveIn2Params& p) {
    const uint64_t length = OutputFrames(source.plan) * f.BlockAlign;
    // How far the copy is, for the recorder that waits for the WAV.
    auto report = [&](uint64_t done) {
        if (p.Finishing && length > 0)
            p.Finishing(p.FinishingContext, int32_t(done * 999 / length));
    };
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
    const uint64_t pieceFrames = piece / f.BlockAlign;
    // A piece of output at a time: memory stays at two pieces whatever the length.
    std::vector<uint8_t> out(source.ratio == 1 ? 0 : size_t(pieceFrames) * f.BlockAlign);
    for (const SpanPlan& span : source.plan) {
        for (uint64_t j = 0; ok && j < span.outFrames; j += pieceFrames) {
            report((span.outFirst + j) * f.BlockAlign);
            const uint64_t n = std::min(pieceFrames, span.outFrames - j);
            const LONG bytes = static_cast<LONG>(n * f.BlockAlign);
            if (source.ratio == 1) {
                const SpanView in =
                    MapSpan(source.mapping, {span.inFirst + j, n}, f.BlockAlign, granularity);
                ok = in.at != nullptr && !fault::ShouldFail(Op::kWrite) &&
                     mmioWrite(h, reinterpret_cast<const char*>(in.at), bytes) == bytes;
                continue;
            }
            // The span's own input, from its first frame: the clock's correction starts anew
            // at every join.
            const FrameSpan local = ResampleInputSpan(j, n, span.inFrames, source.ratio);
            const SpanView in = MapSpan(source.mapping, {span.inFirst + local.first, local.count},
                                        f.BlockAlign, granularity);
            ok = in.at != nullptr;
            if (ok) ResamplePcm(in.at, local, span.inFrames, f, source.ratio, j, n, out.data());
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

// One recording, in the steps it goes through: prepare (format, buffers, device, scratch
// file), start, record (the device's buffers into the scratch file, the recorder's pauses,
// resumes and stop taken), stop, drain (the device's last sound), finish the device (its last
// buffers), write the WAV (the recorded spans) and release. The device's polling is one
// function for the record and drain loops; a failure anywhere is the one result, which the
// later steps look at.
class WaveRecording {
public:
    explicit WaveRecording(const WaveIn2Params& p) : p_(p) {}
    WaveRecording(const WaveRecording&) = delete;
    WaveRecording& operator=(const WaveRecording&) = delete;

    int32_t Run(int32_t* retActualStartTime) {
        const int32_t prepared = Prepare();
        if (prepared != kWaveOk) return prepared;  // nothing of this recording to clear
        if (!p_.ProbeOnly) {
            Preload();
            if (result_ == kWaveOk) {
                Start(retActualStartTime);
                RecordLoop();
                Stop();
                Drain();
            }
        }
        FinishDevice();
        if (!p_.ProbeOnly && result_ == kWaveOk) WriteWave();
        return Release();
    }

private:
    // The format, the buffers, the device with both buffers queued, the scratch file and its
    // note. A failure here is returned as it is.
    int32_t Prepare() {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        granularity_ = si.dwAllocationGranularity;
        if (!MakePcmFormat(p_.Bits, p_.SamplesPerSec, p_.Channels, &f_)) return kWaveErrFormat;
        half_ = HalfBufferBytes(p_.BufferKb, granularity_);
        // Zero-filled: a buffer's unrecorded tail must never replay older sound.
        for (auto& b : buffers_) {
            b.reset(new (std::nothrow) uint8_t[half_]());
            if (!b) return kWaveErrMemory;
        }
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = WAVE_FORMAT_PCM;
        wfx.nChannels = f_.Channels;
        wfx.nSamplesPerSec = f_.SamplesPerSec;
        wfx.nAvgBytesPerSec = f_.AvgBytesPerSec;
        wfx.nBlockAlign = f_.BlockAlign;
        wfx.wBitsPerSample = f_.BitsPerSample;
        wfx.cbSize = 0;

        // The user agreed to replace a WAV at the path: it goes now, so that a recording that
        // fails leaves none behind for the export to take for this recording's sound.
        if (!p_.ProbeOnly) DeleteIfExists(p_.WavePath);

        HWAVEIN hwi = nullptr;
        const MMRESULT opened =
            waveInOpen(&hwi, WAVE_MAPPER, &wfx, reinterpret_cast<DWORD_PTR>(&WaveInCallback),
                       reinterpret_cast<DWORD_PTR>(&events_), CALLBACK_FUNCTION);
        if (opened != MMSYSERR_NOERROR) return static_cast<int32_t>(opened);
        device_ = std::make_unique<Device>(hwi, buffers_[0].get(), buffers_[1].get(), half_);
        for (int i = 0; i < 2; ++i) {
            const MMRESULT r = device_->Queue(i);
            if (r != MMSYSERR_NOERROR) return static_cast<int32_t>(r);
        }

        scratchPath_ = ScratchPathFor(p_.ScratchPath);
        if (!p_.ProbeOnly) {
            scratch_.Reset(CreateFileA(scratchPath_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!scratch_) {
                device_->Close();
                DeleteIfExists(scratchPath_);
                return kWaveErrScratchCreate;
            }
            WriteNote();
        }
        started_ = PerfMillis();
        if (p_.Block) block_ = MappedView(p_.Block, FILE_MAP_READ | FILE_MAP_WRITE, 0, kBlockBytes);
        nt_ = IsNtFamily();
        writeDone_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        return kWaveOk;
    }

    // Benchmarks: sound as if recorded before the device started, whole buffers of a tone.
    void Preload() {
        if (p_.PreloadSec <= 0) return;
        std::vector<uint8_t> tone(half_);
        for (uint32_t i = 0; i + 1 < half_; i += 2) {
            const auto v = int16_t(8000 * std::sin(double(i / f_.BlockAlign) * 0.0627));
            tone[i] = uint8_t(v & 0xFF);
            tone[i + 1] = uint8_t(uint16_t(v) >> 8);
        }
        const auto count = int32_t(std::ceil(p_.PreloadSec * f_.AvgBytesPerSec / half_));
        for (; written_ < count && result_ == kWaveOk; ++written_) {
            const uint64_t offset = uint64_t(written_) * half_;
            OVERLAPPED ov{};
            ov.Offset = static_cast<DWORD>(offset);
            ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
            ov.hEvent = writeDone_.Get();
            DWORD done = 0;
            const bool ok = (WriteFile(scratch_.Get(), tone.data(), half_, nullptr, &ov) ||
                             GetLastError() == ERROR_IO_PENDING) &&
                            GetOverlappedResult(scratch_.Get(), &ov, &done, TRUE) && done == half_;
            if (!ok) result_ = kWaveErrScratchWrite;
        }
        preloadedMs_ = double(written_) * half_ * 1000.0 / f_.AvgBytesPerSec;
    }

    // Not before the start time; yielding keeps the start within a millisecond of it. The
    // recording's time runs from the device's start, not from the call: the sound length and
    // the time limit then match what the device can have delivered.
    void Start(int32_t* retActualStartTime) {
        const double now = PerfMillis();
        const double rounded = std::floor(now + 0.5);
        const int32_t ahead = StartTimeAheadMs(
            p_.StartTime, static_cast<int32_t>(static_cast<uint32_t>(std::llround(now))));
        if (ahead > 0) {
            const double target = rounded + ahead;
            while (PerfMillis() <= target) Sleep(0);
        }
        started_ = PerfMillis() - preloadedMs_;
        actualStart_ = static_cast<int32_t>(static_cast<uint32_t>(std::llround(started_)));
        if (retActualStartTime) *retActualStartTime = actualStart_;
        waveInStart(device_->Get());
        // Told at once: a recorder that pauses waits for it, so that its command never lands
        // on a start command not yet taken.
        if (block_) {
            auto* field = reinterpret_cast<volatile LONG*>(static_cast<uint8_t*>(block_.Get()) +
                                                           kOffActualStartTime);
            InterlockedExchange(field, actualStart_);
        }
    }

    // Until the stop command, the time limit (recorded time only), the recorder's end or a
    // failure. A recorder that ended (killed, crashed) stops the recording like a stop
    // command: what was recorded up to then is kept, up to the pause when it was paused.
    void RecordLoop() {
        const double limitMs = double(p_.LengthSec) * 1000.0;
        for (;;) {
            Poll();
            if (result_ != kWaveOk) return;
            if (pauses_.RecordedMs(PerfMillis() - started_) > limitMs) return;
            if (TakeCommand()) return;
            if (p_.Recorder) {
                DWORD exitCode = 0;
                if (!GetExitCodeProcess(p_.Recorder, &exitCode)) {
                    ShowSystemError(GetLastError());
                    return;
                }
                if (exitCode != STILL_ACTIVE) return;
            }
        }
    }

    // The recorder's command in the block, if any: pause and resume are taken and answered,
    // the stop ends the loop (true) with the most sound to keep beside it.
    bool TakeCommand() {
        if (!block_) return false;
        auto* code = static_cast<volatile LONG*>(block_.Get());
        const int32_t c = *code;
        if (c == kCodeStop) {
            keepMs_ = ReadMoment();
            return true;
        }
        if (c == kCodePause || c == kCodeResume) {
            const int64_t at = MomentMs(ReadMoment());
            if (c == kCodePause ? pauses_.Pause(at) : pauses_.Resume(at)) WriteNote();
            InterlockedCompareExchange(code, c == kCodePause ? kCodePaused : kCodeResumed, c);
        }
        return false;
    }
    int32_t ReadMoment() const {
        const auto* p = static_cast<const volatile uint8_t*>(block_.Get()) + kOffMoment;
        return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                       uint32_t(p[3]) << 24);
    }
    // A moment of the block as milliseconds from the device's start (the 32-bit clock
    // wraps: the difference is taken on the wrapped values).
    int64_t MomentMs(int32_t moment) const {
        return int32_t(uint32_t(moment) - uint32_t(actualStart_));
    }

    // The recorded spans are fixed at the stop, and with them the sound the device must still
    // hand over.
    void Stop() {
        const int64_t stopMs = ElapsedWholeMillis(PerfMillis() - started_);
        spans_ = KeepFirstMs(pauses_.Spans(stopMs), keepMs_);
        if (p_.Finishing) p_.Finishing(p_.FinishingContext, 0);
        // The pictures keep the performance counter's time: a device whose clock runs fast or
        // slow has its sound laid back on that time, so the two stay together however long.
        ratio_ = p_.ForcedClockRatio > 0 ? p_.ForcedClockRatio : fit_.Ratio(f_);
    }

    // The device hands its sound over late (Wine's wave-in by up to a second), and what it
    // still holds at the stop would be lost: keep recording until it has delivered the sound
    // the spans read, for at most kDrainLimitMs. The WAV is cut at the stop.
    void Drain() {
        const uint64_t wanted = InputFramesWanted(spans_, f_, ratio_) * f_.BlockAlign;
        const double drainUntil = PerfMillis() + kDrainLimitMs;
        while (result_ == kWaveOk && PerfMillis() < drainUntil && Delivered() < wanted) Poll();
    }
    // Bytes the device has handed over: the finished buffers and what the one being filled
    // holds so far. Only where a buffer's count grows when it is done, the device position
    // stands in for the partial count. A device that counts as it goes is taken at its word:
    // its position runs ahead of the bytes copied when its copying falls behind (Wine's under
    // load), and a drain that stopped at the position would end the WAV in silence.
    uint64_t Delivered() const {
        const int32_t finished = events_.finished.load();
        const WAVEHDR& current = device_->Header((filling_ + (finished - handled_)) & 1);
        const uint64_t partial = current.dwFlags & WHDR_DONE ? 0 : current.dwBytesRecorded;
        const uint64_t counted = uint64_t(finished) * half_ + partial;
        return countsAsItGoes_ ? counted : std::max(counted, position_);
    }

    // One look at the device, for the record and the drain loops alike: messages, its
    // position (for the clock's fit and the diagnostic window), and a finished buffer into the
    // scratch file.
    void Poll() {
        PumpMessages();
        Sleep(1);
        MMTIME mt{};
        mt.wType = TIME_BYTES;
        if (waveInGetPosition(device_->Get(), &mt, sizeof mt) == MMSYSERR_NOERROR &&
            mt.wType == TIME_BYTES) {
            // Unwrapped past 4 GiB.
            const uint32_t low = uint32_t(position_);
            if (mt.u.cb < low && low - mt.u.cb > 0x80000000u) position_ += uint64_t{1} << 32;
            position_ = (position_ & ~uint64_t{0xFFFFFFFF}) | mt.u.cb;
            fit_.AddPosition(PerfMillis() - started_, position_);
        }
        if (p_.Progress) {
            int32_t reported = static_cast<int32_t>(mt.u.cb);
            int32_t n = written_;
            p_.Progress(reported, n);
        }
        if (events_.finished.load() > handled_) {
            ++handled_;
            if (!WriteBuffer(false)) result_ = kWaveErrScratchWrite;
        }
        const WAVEHDR& filling = device_->Header(filling_);
        if (!(filling.dwFlags & WHDR_DONE) && filling.dwBytesRecorded > 0) countsAsItGoes_ = true;
    }

    // Writes the buffer being filled at N x H and, unless it is the last, queues it again. The
    // write completes before the buffer goes back to the device.
    bool WriteBuffer(bool last) {
        const int index = filling_;
        filling_ ^= 1;
        WAVEHDR& hdr = device_->Header(index);
        if (last && hdr.dwBytesRecorded < half_) {
            ZeroMemory(buffers_[index].get() + hdr.dwBytesRecorded, half_ - hdr.dwBytesRecorded);
        }
        const uint64_t offset = uint64_t(written_) * half_;
        DWORD done = 0;
        bool ok;
        if (nt_) {
            OVERLAPPED ov{};
            ov.Offset = static_cast<DWORD>(offset);
            ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
            ov.hEvent = writeDone_.Get();
            ok = WriteFile(scratch_.Get(), buffers_[index].get(), half_, nullptr, &ov) ||
                 GetLastError() == ERROR_IO_PENDING;
            ok = ok && GetOverlappedResult(scratch_.Get(), &ov, &done, TRUE);
        } else {
            LONG high = static_cast<LONG>(offset >> 32);
            ok = SetFilePointer(scratch_.Get(), static_cast<LONG>(offset), &high, FILE_BEGIN) !=
                     INVALID_SET_FILE_POINTER ||
                 GetLastError() == NO_ERROR;
            ok = ok && WriteFile(scratch_.Get(), buffers_[index].get(), half_, &done, nullptr);
        }
        if (!ok || done != half_) return false;
        ++written_;
        if (!last) {
            hdr.dwBytesRecorded = 0;
            const MMRESULT r = device_->Queue(index);
            if (r != MMSYSERR_NOERROR) ShowDeviceError(r);
        }
        return true;
    }

    // The device stops; a buffer that finished after the last pass is still in order before
    // the partial one, which goes last.
    void FinishDevice() {
        const bool finishedPending = events_.finished.load() > handled_;
        device_->Stop();
        if (!p_.ProbeOnly && result_ == kWaveOk) {
            if (finishedPending && !WriteBuffer(true)) result_ = kWaveErrScratchWrite;
            if (result_ == kWaveOk && !WriteBuffer(true)) result_ = kWaveErrScratchWrite;
        }
        device_->Close();
    }

    void WriteWave() {
        const uint64_t captured = uint64_t(written_) * half_;
        WaveSource source;
        source.ratio = ratio_;
        source.plan = PlanSpans(spans_, f_, ratio_, captured / f_.BlockAlign);
        ObjectHandle mapping(CreateFileMappingA(scratch_.Get(), nullptr, PAGE_READWRITE,
                                                static_cast<DWORD>(captured >> 32),
                                                static_cast<DWORD>(captured), nullptr));
        source.mapping = mapping.Get();
        if (!mapping || !WriteWaveFile(p_.WavePath, f_, source, granularity_, p_)) {
            result_ = kWaveErrWaveFile;
        }
    }

    // A WAV that could not be written (a full disk) leaves the recorded sound in the scratch
    // file and its note, from which the recorder's next start or `tqk repair` rebuilds it.
    int32_t Release() {
        block_.Reset();
        scratch_.Reset();
        if (result_ != kWaveErrWaveFile) {
            DeleteIfExists(scratchPath_);
            if (!p_.ProbeOnly) DeleteIfExists(ScratchNotePath(scratchPath_));
        }
        return result_;
    }

    // The note beside the scratch file, written again at every pause and resume so that a
    // WAV rebuilt after this helper died holds the recorded spans only.
    void WriteNote() {
        WriteScratchNote(scratchPath_, f_, half_, p_.StartTime, p_.LengthSec, pauses_.Moments());
    }

    const WaveIn2Params& p_;
    int32_t result_ = kWaveOk;
    uint32_t granularity_ = 0;
    uint32_t half_ = 0;
    PcmFormat f_;
    std::unique_ptr<uint8_t[]> buffers_[2];
    DeviceEvents events_;
    std::unique_ptr<Device> device_;  // after the buffers and events: it goes first
    std::string scratchPath_;
    FileHandle scratch_;
    MappedView block_;  // the shared block: the recorder's commands, the replies
    ObjectHandle writeDone_;
    bool nt_ = true;
    int filling_ = 0;      // the buffer the device is filling
    int32_t written_ = 0;  // buffers in the scratch file (N)
    int32_t handled_ = 0;  // finished buffers taken from the device
    double started_ = 0;   // PerfMillis of the device's start
    int32_t actualStart_ = 0;
    double preloadedMs_ = 0;
    uint64_t position_ = 0;        // the device's byte position, unwrapped
    bool countsAsItGoes_ = false;  // a buffer's count grows while it is filled
    DeviceClockFit fit_;
    double ratio_ = 1;
    PauseLine pauses_;
    int32_t keepMs_ = 0;  // with the stop: the most recorded sound kept (0: all)
    std::vector<MsSpan> spans_;
};

}  // namespace

int32_t WaveIn2Record(const WaveIn2Params& p, int32_t* retActualStartTime) {
    WaveRecording recording(p);
    return recording.Run(retActualStartTime);
}

}  // namespace tqk::snd
