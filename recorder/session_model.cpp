#include "session_model.h"

namespace tqk::rec {

const char* SessionStateName(SessionState s) {
    switch (s) {
    case SessionState::Idle: return "idle";
    case SessionState::Starting: return "starting";
    case SessionState::Recording: return "recording";
    case SessionState::Paused: return "paused";
    case SessionState::Stopping: return "stopping";
    case SessionState::Finishing: return "finishing";
    }
    return "?";
}

const char* SessionEventName(SessionEvent e) {
    switch (e) {
    case SessionEvent::RecordPressed: return "record pressed";
    case SessionEvent::CaptureStarted: return "capture started";
    case SessionEvent::PausePressed: return "pause pressed";
    case SessionEvent::CancelPressed: return "cancel pressed";
    case SessionEvent::StopKeep: return "stop and keep";
    case SessionEvent::QuestionOpened: return "question opened";
    case SessionEvent::QuestionClosed: return "question closed";
    case SessionEvent::CaptureEnded: return "capture ended";
    case SessionEvent::HelperDone: return "helper done";
    case SessionEvent::Finished: return "finished";
    }
    return "?";
}

void RecordedClock::Start(double now) {
    *this = RecordedClock{};
    started_ = true;
    start_ = now;
}

void RecordedClock::Pause(double pausedAt) {
    if (!started_ || paused_) return;
    paused_ = true;
    pausedAt_ = pausedAt;
    ++pauses_;
}

void RecordedClock::Resume(double resumeAt) {
    if (!paused_) return;
    paused_ = false;
    if (resumeAt > pausedAt_) pausedMs_ += resumeAt - pausedAt_;
}

double RecordedClock::RecordedMs(double now) const {
    if (!started_) return 0;
    const double end = paused_ ? pausedAt_ : now;
    const double ms = end - start_ - pausedMs_;
    return ms > 0 ? ms : 0;
}

bool SessionMachine::Handle(SessionEvent e) {
    using S = SessionState;
    using E = SessionEvent;
    switch (e) {
    case E::QuestionOpened:
        if (questionOpen_) return false;
        questionOpen_ = true;
        return true;
    case E::QuestionClosed:
        if (!questionOpen_) return false;
        questionOpen_ = false;
        return true;
    case E::PausePressed:
    case E::CancelPressed:
    case E::StopKeep:
        // A box asking the user something holds the run where it is.
        if (questionOpen_) return false;
        break;
    default: break;
    }

    const auto stopAs = [this](StopKind kind) {
        stoppedWhilePaused_ = state_ == S::Paused;
        stop_ = kind;
        state_ = S::Stopping;
        return true;
    };
    switch (state_) {
    case S::Idle:
        if (e != E::RecordPressed) return false;
        *this = SessionMachine{};
        state_ = S::Starting;
        return true;
    case S::Starting:
    case S::Recording:
    case S::Paused:
        // A stop before the first slot is taken on the first slot that completes a second,
        // as one pressed later; a pause waits for a slot to pause after.
        if (e == E::CancelPressed) return stopAs(StopKind::Cancel);
        if (e == E::StopKeep) return stopAs(StopKind::Keep);
        if (e == E::CaptureEnded)
            state_ = S::Finishing;
        else if (state_ == S::Starting && e == E::CaptureStarted)
            state_ = S::Recording;
        else if (state_ != S::Starting && e == E::PausePressed)
            state_ = state_ == S::Recording ? S::Paused : S::Recording;
        else
            return false;
        return true;
    case S::Stopping:
        // The first stop decides; a pause is too late now.
        if (e != E::CaptureEnded) return false;
        state_ = S::Finishing;
        return true;
    case S::Finishing:
        if (e == E::HelperDone && !helperDone_)
            helperDone_ = true;
        else if (e == E::Finished)
            state_ = S::Idle;
        else
            return false;
        return true;
    }
    return false;
}

std::string SessionMachine::PauseButtonText() const {
    const bool paused =
        state_ == SessionState::Paused || (state_ == SessionState::Stopping && stoppedWhilePaused_);
    return paused ? kResumeButton : kPauseButton;
}

bool SessionMachine::PauseButtonEnabled() const {
    return !questionOpen_ && (state_ == SessionState::Recording || state_ == SessionState::Paused);
}

std::vector<StatItem> PausedStatisticsItems(int32_t n, int32_t fps, int32_t sec,
                                            double recordedMs) {
    std::vector<StatItem> items;
    const int64_t planned = int64_t(fps) * sec;
    items.push_back({0, -2, kPausedText});
    items.push_back({100, -2, "Frame " + std::to_string(n) + "/" + std::to_string(planned)});
    const auto seconds = static_cast<int64_t>(recordedMs / 1000);
    items.push_back(
        {0, 6, "Time " + std::to_string(seconds) + " / " + std::to_string(sec) + "sec"});
    return items;
}

int32_t SoundKeepMs(bool cutToWholeSeconds, int32_t keptSec) {
    // Nothing kept (0 seconds): the helper writes what it has, and the WAV goes with the movie.
    if (!cutToWholeSeconds || keptSec <= 0) return 0;
    return keptSec * 1000;
}

}  // namespace tqk::rec
