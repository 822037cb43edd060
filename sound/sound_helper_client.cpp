#include "sound_helper_client.h"

#include <shellapi.h>

#include <cstring>
#include <string>

#include "message_pump.h"
#include "perf_millis.h"

using tqk::PerfMillis;
using tqk::PerfMillisInt;
using tqk::PumpMessages;

namespace tqk::snd {
namespace {

std::wstring BlockName() {
    const char* s = kBlockNameUtf8;
    return std::wstring(s, s + std::strlen(s));
}

}  // namespace

bool SoundHelperClient::Start(const std::wstring& helperPath, uint32_t timeoutMs) {
    Close();
    mapping_.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(kBlockBytes), BlockName().c_str()));
    if (!mapping_) return false;
    SoundHelperBlock b;
    b.Code = kCodeHandshake;
    if (!Write(b)) {
        Close();
        return false;
    }
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    const auto shell = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", helperPath.c_str(), pid.c_str(), nullptr, SW_SHOWNORMAL));
    if (shell <= 32) {
        Close();
        return false;
    }
    const double until = PerfMillis() + timeoutMs;
    while (PerfMillis() < until) {
        PumpMessages();
        Sleep(1);
        if (Read(&b) && b.Code == kCodeIdle) {
            helperPid_ = static_cast<uint32_t>(b.Bits);
            helper_.Reset(OpenProcess(SYNCHRONIZE, FALSE, helperPid_));
            return true;
        }
    }
    Close();
    return false;
}

bool SoundHelperClient::Read(SoundHelperBlock* ret) const {
    if (!mapping_) return false;
    MappedView view(mapping_.Get(), FILE_MAP_READ, 0, kBlockBytes);
    if (!view) return false;
    uint8_t copy[kBlockBytes];
    std::memcpy(copy, view.Get(), kBlockBytes);
    *ret = DecodeBlock(copy);
    return true;
}

bool SoundHelperClient::Write(const SoundHelperBlock& b) const {
    uint8_t copy[kBlockBytes];
    if (!mapping_ || !EncodeBlock(b, copy)) return false;
    MappedView view(mapping_.Get(), FILE_MAP_WRITE, 0, kBlockBytes);
    if (!view) return false;
    std::memcpy(view.Get(), copy, kBlockBytes);
    return true;
}

bool SoundHelperClient::SendStart(SoundHelperBlock params) const {
    params.Code = kCodeStart;
    return Write(params);
}

StopOutcome SoundHelperClient::StopAndWait(uint32_t timeoutMs, SoundHelperBlock* retFinal,
                                           const std::function<void(int32_t)>& progress,
                                           int32_t keepMs) const {
    const double stopped = PerfMillis();
    bool writingSeen = false;
    for (;;) {
        SoundHelperBlock b;
        if (Read(&b)) {
            if (retFinal) *retFinal = b;
            const StopStep step = NextStopStep(b.Code, PerfMillis() - stopped, timeoutMs,
                                               WritingWaitMs(timeoutMs, b.LengthSec), &writingSeen);
            if (step == StopStep::kDone || step == StopStep::kFailed) {
                b.Code = kCodeIdle;
                (void)Write(b);
                return step == StopStep::kDone ? StopOutcome::Done : StopOutcome::Failed;
            }
            if (step == StopStep::kNoReply) return StopOutcome::NoReply;
            if (step == StopStep::kSendStop) {
                WriteMoment(keepMs);
                ReplaceCode(b.Code, kCodeStop);
            }
            if (b.Code == kCodeWriting && progress) progress(b.Progress);
        } else if (PerfMillis() - stopped > timeoutMs) {
            return StopOutcome::NoReply;
        }
        // A helper that died says nothing more (its last status was read above).
        if (HelperEnded()) {
            if (Read(&b) && (b.Code == kCodeDone || b.Code == kCodeFailed)) continue;
            return StopOutcome::NoReply;
        }
        const double next = PerfMillis() + 100;
        while (PerfMillis() < next) {
            PumpMessages();
            Sleep(1);
        }
    }
}

bool SoundHelperClient::Pause(int32_t moment, uint32_t timeoutMs) const {
    return Command(kCodePause, moment, kCodePaused, timeoutMs);
}

bool SoundHelperClient::Resume(int32_t moment, uint32_t timeoutMs) const {
    return Command(kCodeResume, moment, kCodeResumed, timeoutMs);
}

bool SoundHelperClient::Command(int32_t code, int32_t moment, int32_t reply,
                                uint32_t timeoutMs) const {
    // Only over the codes a recording under way shows: never over a status the helper wrote
    // (4, 6, 8), nor while it is idle.
    SoundHelperBlock b;
    if (!Read(&b)) return false;
    const double until = PerfMillis() + timeoutMs;
    // A start the helper has not taken yet would be lost under the command: the helper writes
    // the device's start time as soon as the device runs, so the command waits for it.
    while (b.Code == kCodeStart && b.ActualStartTime == 0 && PerfMillis() < until &&
           !HelperEnded()) {
        PumpMessages();
        Sleep(1);
        if (!Read(&b)) return false;
    }
    if (b.Code != kCodeStart && b.Code != kCodePaused && b.Code != kCodeResumed) return false;
    const int32_t was = b.Code;
    // The moment first: the helper reads it only once it sees the code.
    WriteMoment(moment);
    ReplaceCode(was, code);
    for (;;) {
        if (!Read(&b)) return false;
        if (b.Code == reply) return true;
        if (b.Code != code) return false;
        if (PerfMillis() >= until || HelperEnded()) {
            // Not taken: withdrawn, unless the helper takes it just now.
            ReplaceCode(code, was);
            return Read(&b) && b.Code == reply;
        }
        PumpMessages();
        Sleep(1);
    }
}

void SoundHelperClient::WriteMoment(int32_t moment) const {
    MappedView view(mapping_.Get(), FILE_MAP_WRITE, 0, kBlockBytes);
    if (!view) return;
    auto* field = reinterpret_cast<volatile LONG*>(static_cast<uint8_t*>(view.Get()) + kOffMoment);
    InterlockedExchange(field, moment);
}

bool SoundHelperClient::HelperEnded() const {
    return helper_ && WaitForSingleObject(helper_.Get(), 0) == WAIT_OBJECT_0;
}

void SoundHelperClient::ReplaceCode(int32_t expected, int32_t code) const {
    // Only the first field changes, and only if the helper has not written it since it was
    // read: a whole-block write here could wipe out a status 4 written in between.
    MappedView view(mapping_.Get(), FILE_MAP_WRITE, 0, kBlockBytes);
    if (!view) return;
    InterlockedCompareExchange(static_cast<volatile LONG*>(view.Get()), code, expected);
}

void SoundHelperClient::Close() {
    mapping_.Reset();
    helper_.Reset();
    helperPid_ = 0;
}

SoundHelperBlock MakeRecordingBlock(const std::string& wavePath, int32_t lengthSec, int32_t bits,
                                    int32_t samplesPerSec, int32_t channels, int32_t bufferKb,
                                    const std::string& scratchPath) {
    SoundHelperBlock b;
    b.Code = kCodeStart;
    b.Bits = bits;
    b.SamplesPerSec = samplesPerSec;
    b.Channels = channels;
    b.LengthSec = lengthSec;
    b.BufferKb = bufferKb;
    b.WavePath = wavePath;
    b.ScratchPath = scratchPath;
    b.StartTime = PerfMillisInt() + kStartLeadMs;
    return b;
}

}  // namespace tqk::snd
