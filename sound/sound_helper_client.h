// The recorder's side of the sound helper protocol: creates the shared block, starts the
// helper with the recorder's process id, hands it recordings and waits for its replies.
// Every wait lets the caller's window messages run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "sound_block.h"
#include "win_handles.h"

namespace tqk::snd {

using tqk::FileHandle;
using tqk::MappedView;
using tqk::ObjectHandle;

constexpr uint32_t kHandshakeTimeoutMs = 5000;
constexpr uint32_t kStopTimeoutMs = 5000;
// The recorder gives the helper this much time between the start command and the start.
constexpr int32_t kStartLeadMs = 350;

class SoundHelperClient {
public:
    SoundHelperClient() = default;
    SoundHelperClient(const SoundHelperClient&) = delete;
    SoundHelperClient& operator=(const SoundHelperClient&) = delete;

    // Creates the block, writes the handshake request and starts the helper through the
    // shell; true once the helper has answered. False means sound is unavailable for this run
    // (the block is then closed).
    [[nodiscard]] bool Start(const std::wstring& helperPath,
                             uint32_t timeoutMs = kHandshakeTimeoutMs);
    bool Available() const { return static_cast<bool>(mapping_); }
    uint32_t HelperProcessId() const { return helperPid_; }

    // The whole block, copied through a view mapped for this access only.
    [[nodiscard]] bool Read(SoundHelperBlock* ret) const;
    [[nodiscard]] bool Write(const SoundHelperBlock& b) const;

    // Writes the recording's parameters with the start command (code 1).
    [[nodiscard]] bool SendStart(SoundHelperBlock params) const;

    // After the capture has ended: asks the helper to stop until it reports 4 or 6 (answered
    // with 0) or timeoutMs pass. A helper that says it is writing (8) is waited for as long
    // as its recording's length allows (WritingWaitMs), and progress gets how far it is
    // (thousandths) at every look; a helper whose process has ended is not waited for.
    // retFinal gets the helper's last block (actual start time). keepMs: the most milliseconds
    // of recorded sound the WAV keeps (0: all); written with every stop, so that an older
    // moment never stands for it.
    StopOutcome StopAndWait(uint32_t timeoutMs = kStopTimeoutMs,
                            SoundHelperBlock* retFinal = nullptr,
                            const std::function<void(int32_t permille)>& progress = {},
                            int32_t keepMs = 0) const;

    // While the helper records: pause / resume at moment (PerfMillis, whole ms); waits
    // (messages pumped) for the reply 10 / 12. False when no recording is under way (the
    // helper idle or its status 4, 6 or 8 in the block), or no reply came in time or the
    // helper's process ended (the command is then withdrawn).
    [[nodiscard]] bool Pause(int32_t moment, uint32_t timeoutMs = 2000) const;
    [[nodiscard]] bool Resume(int32_t moment, uint32_t timeoutMs = 2000) const;

    void Close();

    // Writes code into the first field only, and only while it still holds expected (the
    // value just read): a status the helper wrote in between survives.
    void ReplaceCode(int32_t expected, int32_t code) const;

private:
    // Writes the moment field, then the code over the one read; waits for reply.
    bool Command(int32_t code, int32_t moment, int32_t reply, uint32_t timeoutMs) const;
    void WriteMoment(int32_t moment) const;
    bool HelperEnded() const;

    ObjectHandle mapping_;
    ObjectHandle helper_;  // the helper's process, to see it end
    uint32_t helperPid_ = 0;
};

// The parameters of one recording; the start time lies kStartLeadMs ahead of now.
SoundHelperBlock MakeRecordingBlock(const std::string& wavePath, int32_t lengthSec, int32_t bits,
                                    int32_t samplesPerSec, int32_t channels, int32_t bufferKb,
                                    const std::string& scratchPath = {});

}  // namespace tqk::snd
