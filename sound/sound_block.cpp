#include "sound_block.h"

#include <algorithm>
#include <cstring>

namespace tqk::snd {
namespace {

void Put32(uint8_t* p, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

int32_t Get32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
                                (uint32_t{p[3]} << 24));
}

bool FitsField(const std::string& s) {
    return s.size() < kPathField && s.find('\0') == std::string::npos;
}

std::string GetPath(const uint8_t* p) {
    size_t n = 0;
    while (n < kPathField && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

bool EncodeBlock(const SoundHelperBlock& b, uint8_t out[kBlockBytes]) {
    if (!FitsField(b.WavePath) || !FitsField(b.ScratchPath)) return false;
    std::memset(out, 0, kBlockBytes);
    Put32(out + kOffCode, b.Code);
    Put32(out + kOffBits, b.Bits);
    Put32(out + kOffSamplesPerSec, b.SamplesPerSec);
    Put32(out + kOffChannels, b.Channels);
    Put32(out + kOffLengthSec, b.LengthSec);
    Put32(out + kOffBufferKb, b.BufferKb);
    std::memcpy(out + kOffWavePath, b.WavePath.data(), b.WavePath.size());
    std::memcpy(out + kOffScratchPath, b.ScratchPath.data(), b.ScratchPath.size());
    Put32(out + kOffActualStartTime, b.ActualStartTime);
    Put32(out + kOffStartTime, b.StartTime);
    Put32(out + kOffProgress, b.Progress);
    Put32(out + kOffMoment, b.Moment);
    return true;
}

SoundHelperBlock DecodeBlock(const uint8_t in[kBlockBytes]) {
    SoundHelperBlock b;
    b.Code = Get32(in + kOffCode);
    b.Bits = Get32(in + kOffBits);
    b.SamplesPerSec = Get32(in + kOffSamplesPerSec);
    b.Channels = Get32(in + kOffChannels);
    b.LengthSec = Get32(in + kOffLengthSec);
    b.BufferKb = Get32(in + kOffBufferKb);
    b.WavePath = GetPath(in + kOffWavePath);
    b.ScratchPath = GetPath(in + kOffScratchPath);
    b.ActualStartTime = Get32(in + kOffActualStartTime);
    b.StartTime = Get32(in + kOffStartTime);
    b.Progress = Get32(in + kOffProgress);
    b.Moment = Get32(in + kOffMoment);
    return b;
}

int32_t DecodeCode(const uint8_t in[kBlockBytes]) { return Get32(in + kOffCode); }

bool ParseProcessId(const std::string& commandLine, uint32_t* retPid) {
    size_t i = 0, end = commandLine.size();
    while (i < end && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    while (end > i && (commandLine[end - 1] == ' ' || commandLine[end - 1] == '\t')) --end;
    if (i == end || end - i > 10) return false;
    uint64_t v = 0;
    for (; i < end; ++i) {
        const char c = commandLine[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v == 0 || v > 0xFFFFFFFFull) return false;
    *retPid = static_cast<uint32_t>(v);
    return true;
}

std::string StopOutcomeMessageUtf8(StopOutcome outcome) {
    switch (outcome) {
    case StopOutcome::Failed:
        return "録音部分にエラーが発生しました。\r\n正常に録音できませんでした。";
    case StopOutcome::NoReply:
        return "録音完了の返答がありません。\r\n録音が失敗している可能性があります。";
    case StopOutcome::Done: break;
    }
    return {};
}

uint32_t WritingWaitMs(uint32_t replyMs, int32_t lengthSec) {
    const uint64_t sec = lengthSec > 0 ? uint64_t(lengthSec) : 0;
    const uint64_t ms = uint64_t(replyMs) + kDrainLimitMs + sec * kWritingMsPerSecond;
    return ms > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(ms);
}

StopStep NextStopStep(int32_t code, double sinceStopMs, uint32_t replyMs, uint32_t writingMs,
                      bool* writingSeen) {
    if (code == kCodeDone) return StopStep::kDone;
    if (code == kCodeFailed) return StopStep::kFailed;
    if (code == kCodeWriting) *writingSeen = true;
    const double limit = *writingSeen ? std::max(writingMs, replyMs) : replyMs;
    if (sinceStopMs > limit) return StopStep::kNoReply;
    return code == kCodeWriting || code == kCodeStop ? StopStep::kWait : StopStep::kSendStop;
}

}  // namespace tqk::snd
