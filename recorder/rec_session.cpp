#include "rec_session.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "input_hooks.h"
#include "message_pump.h"
#include "mixer.h"
#include "perf_millis.h"
#include "result_code.h"
#include "run_box.h"
#include "sound_helper_client.h"
#include "win_files.h"
#include "win_text.h"

namespace tqk::rec {

namespace {

SessionFiles FilesOf(const CaptureSettings& s) {
    SessionFiles f;
    f.tqk = WideFromUtf8(s.TqkPath);
    f.wave = WideFromUtf8(s.WavePath);
    f.ansiWave = AnsiFromWide(f.wave);
    f.ansiWaveScratch = AnsiFromWide(WideFromUtf8(s.WaveScratchPath));
    return f;
}

int32_t WholeMs(double t) { return static_cast<int32_t>(std::lround(t)); }

}  // namespace

void RecordingSession::Press(SessionEvent e) {
    if (trial_ && (e == SessionEvent::PausePressed || e == SessionEvent::StopKeep)) return;
    if (machine_.Handle(e)) ShowPauseButton();
}

void RecordingSession::ShowPauseButton() {
    view_.ShowPauseButton(machine_.PauseButtonText(), !trial_ && machine_.PauseButtonEnabled());
}

int RecordingSession::Ask(const std::string& utf8, UINT style) {
    machine_.Handle(SessionEvent::QuestionOpened);
    ShowPauseButton();
    const int answer = RunMessage(view_.Hwnd(), utf8, style);
    machine_.Handle(SessionEvent::QuestionClosed);
    ShowPauseButton();
    return answer;
}

void RecordingSession::DrawRecording(int32_t n, int32_t dropCount) {
    view_.DrawStatistics(
        StatisticsItems(n, s_.Fps, s_.Sec, dropCount, stats_, clock_.RecordedMs(PerfMillis())));
}

void RecordingSession::OnStartCapture(bool& /*IsCancel*/) {
    // The block starts the helper's recording at the capture's own start time.
    if (recordsSound_ && ctx_->sound && ctx_->sound->Write(block_)) blockSent_ = true;
    machine_.Handle(SessionEvent::CaptureStarted);
    ShowPauseButton();
}

void RecordingSession::OnCapture(int32_t NowFrame, double FrameCaptureTime, int32_t DropCount,
                                 bool IsDrop, int32_t /*CompressSize*/, int32_t /*NoCompressSize*/,
                                 int32_t& CaptureX, int32_t& CaptureY, bool& IsCancel) {
    const double began = PerfMillis();
    const int32_t n = NowFrame + 1;
    framesDone_ = n;
    dropCount_ = DropCount;
    stats_.AddFrame(IsDrop, FrameCaptureTime);
    if (n % kStatsEvery == 0) {
        DrawRecording(n, DropCount);
        stats_.lastBlock.Clear();
        PumpMessages();
    }
    if (s_.FollowMouse) {
        // The engine has read the cursor for this frame when it draws it; otherwise read it.
        int32_t x = 0, y = 0;
        POINT cursor{};
        if (engine_ && engine_->LastCursorPos(&x, &y))
            FollowMouse(x, y, s_.W, s_.H, &CaptureX, &CaptureY);
        else if (GetCursorPos(&cursor))
            FollowMouse(cursor.x, cursor.y, s_.W, s_.H, &CaptureX, &CaptureY);
    }
    // A stop pressed while recording ends on the next slot that completes a second; so does
    // one pressed after the pause button but before the engine reached a slot to pause after.
    const bool stop = machine_.StopPending() || machine_.EndWhilePaused();
    int32_t sec = 0;
    if (CancelAtWholeSecond(stop, n, s_.Fps, &sec)) {
        IsCancel = true;
        s_.Sec = sec;
    }
    const double spent = PerfMillis() - began;
    ++cost_.frames;
    cost_.totalMs += spent;
    if (spent > cost_.maxMs) cost_.maxMs = spent;
    if (cost_.perFrameMs.size() < cost_.perFrameMs.capacity())
        cost_.perFrameMs.push_back(float(spent));
}

bool RecordingSession::OnPauseWanted() { return machine_.PauseWanted(); }

void RecordingSession::OnPaused(double PausedAt, bool& Resume, bool& IsCancel) {
    if (!clock_.Paused()) {
        clock_.Pause(PausedAt);
        // The helper keeps no sound from the end of the last recorded slot on.
        if (blockSent_) soundPaused_ = ctx_->sound->Pause(WholeMs(PausedAt));
        view_.DrawStatistics(
            PausedStatisticsItems(framesDone_, s_.Fps, s_.Sec, clock_.RecordedMs(PausedAt)));
    }
    if (machine_.EndWhilePaused()) {
        IsCancel = true;
        endedPaused_ = true;
    } else if (machine_.ResumeWanted()) {
        Resume = true;
    }
}

void RecordingSession::OnResume(double ResumeAt) {
    clock_.Resume(ResumeAt);
    if (soundPaused_) {
        // Sound is kept again from the moment the next slot is paced from.
        (void)ctx_->sound->Resume(WholeMs(ResumeAt));
        soundPaused_ = false;
    }
    DrawRecording(framesDone_, dropCount_);
}

// A box now would hold the capture while the user reads it: it waits for the capture's end.
void RecordingSession::OnWarning(const std::wstring& Text) {
    if (warning_.empty()) warning_ = Text;
}

int32_t RecordingSession::Conclude(int32_t code, bool cutBack, RunResult* result) {
    const bool nothingKept = cutBack && s_.Sec == 0;
    if (nothingKept || (machine_.Stop() == StopKind::Cancel &&
                        Ask(kCancelQuestion, MB_YESNO | MB_ICONQUESTION) == IDNO)) {
        result->aborted = true;
        DeleteFileClearingReadOnly(files_.tqk);
        if (recordsSound_) DeleteFileClearingReadOnly(files_.wave);
        if (nothingKept) (void)Ask(kNothingRecordedMessage, MB_OK | MB_ICONINFORMATION);
        return code;
    }
    tqk::Capture& engine = *engine_;
    int32_t w = 0, h = 0, bits = 0, fps = 0;
    int32_t patched = engine.GetTVRFileData(files_.tqk, &w, &h, &bits, &fps);
    if (patched == 0) patched = engine.PatchTVRFileData(files_.tqk, w, h, bits, fps, s_.Sec);
    // A movie whose header still promises every planned second is kept, but the run has
    // failed: it is not exported as if it were whole.
    if (patched != 0)
        (void)Ask(HeaderPatchErrorText(Utf8FromWide(engine.GetError(patched))),
                  MB_OK | MB_ICONSTOP);
    return patched;
}

RunResult RecordingSession::Run(const RecorderContext& ctx, const CaptureSettings& settings,
                                bool trial) {
    RunResult result;
    if (!view_.Load()) {
        result.resultCode = MakeResultCode(kErrApi, 0);
        return result;
    }
    // 1. The run's own record, files and engine.
    machine_ = SessionMachine{};
    machine_.Handle(SessionEvent::RecordPressed);
    clock_ = RecordedClock{};
    trial_ = trial;
    s_ = settings;
    ctx_ = &ctx;
    files_ = FilesOf(s_);
    auto engine = std::make_unique<tqk::Capture>(static_cast<tqk::CaptureEvents*>(this));
    engine_ = engine.get();
    recordsSound_ = s_.RecordsSound() && ctx.sound && ctx.sound->Available();
    blockSent_ = soundPaused_ = endedPaused_ = false;
    warning_.clear();
    framesDone_ = dropCount_ = 0;

    // 2. Both processes' priorities.
    PriorityClassChange ownPriority, helperPriority;
    tqk::ObjectHandle helperProcess;
    if (s_.PriorityClass != 0) {
        ownPriority.Set(GetCurrentProcess(), DWORD(s_.PriorityClass));
        if (ctx.sound && ctx.sound->Available() && ctx.sound->HelperProcessId() != 0) {
            helperProcess.Reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION,
                                            FALSE, ctx.sound->HelperProcessId()));
            if (helperProcess) helperPriority.Set(helperProcess.Get(), DWORD(s_.PriorityClass));
        }
    }

    // 3. The engine's set-up.
    engine->Init(s_.X, s_.Y, s_.W, s_.H);
    engine->Init_Capture(s_.Fps, s_.Sec, s_.Method, 0, s_.CpuReleaseCount, s_.CpuReleaseTime,
                         s_.DrawMouse);

    // 4. Fresh statistics.
    stats_ = RunStats{};
    cost_ = HandlerCost{};
    cost_.perFrameMs.reserve(size_t(std::min<int64_t>(int64_t(s_.Fps) * s_.Sec, 400000)));

    // 5. Picture and sound begin at the same moment, a little ahead.
    const double startTime = std::round(PerfMillis() + kStartLeadMs);

    // 6. The recording source and the helper's block.
    std::unique_ptr<snd::Mixer> mixer;
    SourcePlan source;
    if (recordsSound_) {
        // "標準(変更なし)" leaves the system's input alone; so does a mixer that cannot say
        // which input is selected now (there would be nothing to put back).
        if (s_.RecordingSource >= 1) {
            mixer = std::make_unique<snd::Mixer>();
            const bool enabled = mixer->IsEnableMixer();
            int32_t error = 0, selected = -1;
            std::vector<std::wstring> lines;
            if (enabled) lines = mixer->GetWaveInLines(&error, &selected);
            source = PlanRecordingSource(s_.RecordingSource, enabled, error, selected,
                                         int32_t(lines.size()));
            if (source.select) mixer->SetWaveInLine(L"", source.line);
        }
        block_ = RunSoundBlock(s_, files_.ansiWave, files_.ansiWaveScratch, startTime);
    }

    // 7. Shown without taking the focus from what is being recorded.
    view_.Attach(this);
    ShowPauseButton();
    view_.ShowAt(ctx.positions);
    PumpMessages();
    Sleep(1);
    view_.PrintLine(kWaitText);

    // 8. The recording.
    clock_.Start(PerfMillis());
    int32_t firstCaptureTime = 0;
    int32_t code = 0;
    {
        // Clicks and keys drawn into the frames: the hooks live only while the engine records.
        QueuedInput input(ctx.input.ShowClicks, ctx.input.ShowKeys);
        InputHooks hooks;
        if (ctx.input.Any()) {
            // Without a hook the recording goes on; only its presses are not drawn.
            (void)hooks.Install(&input, ctx.input.ShowClicks, ctx.input.ShowKeys);
            engine->SetOverlay(&input);
        }
        code = engine->Rec(files_.tqk, 0, false, &firstCaptureTime, startTime, s_.AsyncWrite);
        engine->SetOverlay(nullptr);
    }
    machine_.Handle(SessionEvent::CaptureEnded);
    ShowPauseButton();
    view_.EndMoveMode();

    // 9. A recording stopped while paused was cut back to its last whole second: the engine
    // says how many slots it kept.
    const bool cancelledCode = SplitResultCode(code).code == kErrCancelled;
    const bool cutBack = endedPaused_ && cancelledCode;
    if (cutBack && s_.Fps > 0) s_.Sec = SplitResultCode(code).detail / s_.Fps;
    result.averageCaptureMs = stats_.AverageMs(result.averageCaptureMs);
    result.droppedFrames = stats_.droppedFrames;
    result.recordedMs = clock_.RecordedMs(PerfMillis());
    result.pauses = clock_.Pauses();

    // 10. The helper stops; a run whose capture never started has nothing to stop. A helper
    // that says it is writing the WAV is waited for, its progress shown, so that the export
    // never reads a WAV that is not whole yet. A recording cut back, or ended by the
    // stop-and-keep command, keeps as much sound as picture.
    if (blockSent_) {
        const snd::StopOutcome outcome = ctx.sound->StopAndWait(
            snd::kStopTimeoutMs, nullptr,
            [this](int32_t permille) { view_.PrintLine(WavWritingText(permille)); },
            SoundKeepMs(cutBack || (machine_.Stop() == StopKind::Keep && cancelledCode), s_.Sec));
        if (outcome != snd::StopOutcome::Done)
            (void)Ask(snd::StopOutcomeMessageUtf8(outcome), MB_OK);
    }
    machine_.Handle(SessionEvent::HelperDone);
    if (!warning_.empty()) (void)Ask(Utf8FromWide(warning_), MB_OK | MB_ICONEXCLAMATION);

    // 11. A stopped recording: kept at the seconds recorded (after the cancel question, or
    // without one for the stop-and-keep command), or thrown away. A recording that failed
    // for another reason is reported as the failure it is.
    const bool stopped = machine_.Stop() != StopKind::None && (code == 0 || cancelledCode);
    if (stopped) {
        code = Conclude(code, cutBack, &result);
    } else if (code < 0) {
        // 12.
        (void)Ask(Utf8FromWide(engine->GetError(code)), MB_OK | MB_ICONSTOP);
    }
    result.resultCode = code;
    result.keptSec = s_.Sec;
    result.stoppedByKey = machine_.Stop() == StopKind::Keep;

    // 13. - 15.
    if (source.restore) mixer->SetWaveInLine(L"", source.restoreLine);
    view_.HideAndSave(ctx.positions);
    view_.Attach(nullptr);
    machine_.Handle(SessionEvent::Finished);
    engine_ = nullptr;
    engine.reset();
    mixer.reset();
    helperPriority.Restore();
    ownPriority.Restore();
    ctx_ = nullptr;
    return result;
}

}  // namespace tqk::rec
