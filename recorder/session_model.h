// The recording session's states and what moves it between them, apart from the windows: the
// recording window and the hotkeys hand it events, the engine's handlers ask it whether to
// pause, resume or end, and the statistics area reads the recorded time from it.
// Portable: no <windows.h>; text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run_model.h"

namespace tqk::rec {

enum class SessionState : int32_t {
    Idle,       // no recording
    Starting,   // the run is prepared, the capture has not begun
    Recording,  // slots are grabbed
    Paused,     // no slot is due and no sound is kept
    Stopping,   // asked to end: at the next whole second, or at once while paused
    Finishing,  // the capture has ended: the helper's WAV, the question, putting things back
};
constexpr int32_t kSessionStates = 6;

enum class SessionEvent : int32_t {
    RecordPressed,   // the run begins
    CaptureStarted,  // the engine wrote the header and is about to grab the first slot
    PausePressed,    // Command1(3): pause, or resume while paused
    CancelPressed,   // Command1(0)
    StopKeep,        // the stop hotkey: end at the next whole second and keep without asking
    QuestionOpened,  // a box asks the user something
    QuestionClosed,
    CaptureEnded,  // the engine's Rec returned
    HelperDone,    // the sound helper has stopped (or there was none)
    Finished,      // the run has put everything back
};
constexpr int32_t kSessionEvents = 10;

// How a stop asked for by the user ends the recording.
enum class StopKind : int32_t {
    None,    // the recording ran to its length, or failed
    Cancel,  // Command1(0): the cancel question decides whether the files stay
    Keep,    // StopKeep: kept without a question
};

const char* SessionStateName(SessionState s);
const char* SessionEventName(SessionEvent e);

// The recorded time: from the capture's start, leaving every pause out.
class RecordedClock {
public:
    void Start(double now);
    // PausedAt: when recorded time stopped; ResumeAt: when it goes on.
    void Pause(double pausedAt);
    void Resume(double resumeAt);
    bool Started() const { return started_; }
    bool Paused() const { return paused_; }
    // Recorded milliseconds at now (while paused: up to the pause).
    double RecordedMs(double now) const;
    double PausedMs() const { return pausedMs_; }
    int32_t Pauses() const { return pauses_; }

private:
    bool started_ = false, paused_ = false;
    double start_ = 0, pausedAt_ = 0, pausedMs_ = 0;
    int32_t pauses_ = 0;
};

class SessionMachine {
public:
    // The event's effect; false when the event means nothing in this state (ignored).
    bool Handle(SessionEvent e);

    SessionState State() const { return state_; }
    StopKind Stop() const { return stop_; }
    // The stop was asked for while paused: the engine ends at once, cut back to the last
    // whole second.
    bool StoppedWhilePaused() const { return stoppedWhilePaused_; }
    bool QuestionOpen() const { return questionOpen_; }
    bool HelperDone() const { return helperDone_; }

    // The engine's questions. After a slot: pause there?
    bool PauseWanted() const { return state_ == SessionState::Paused; }
    // While the engine is paused: go on, or end the recording?
    bool ResumeWanted() const { return state_ == SessionState::Recording; }
    bool EndWhilePaused() const { return state_ == SessionState::Stopping && stoppedWhilePaused_; }
    // After a slot: a stop asked for while recording ends on a slot that completes a second.
    bool StopPending() const { return state_ == SessionState::Stopping && !stoppedWhilePaused_; }

    // Command1(3): its caption and whether it can be pressed.
    std::string PauseButtonText() const;
    bool PauseButtonEnabled() const;

private:
    SessionState state_ = SessionState::Idle;
    StopKind stop_ = StopKind::None;
    bool stoppedWhilePaused_ = false;
    bool questionOpen_ = false;
    bool helperDone_ = false;
};

constexpr const char* kPauseButton = "一時停止";
constexpr const char* kResumeButton = "再開";
constexpr const char* kPausedText = "一時停止中";

// The statistics area while paused: "一時停止中", the frames and the recorded time, at the
// places of the recording's items.
std::vector<StatItem> PausedStatisticsItems(int32_t n, int32_t fps, int32_t sec, double recordedMs);

// A recording stopped while paused before one whole second was recorded: nothing is kept.
constexpr const char* kNothingRecordedMessage =
    "1秒分も録画されていないため、TQK、wavファイルは削除しました。";

// The sound helper's stop keeps this much recorded sound (0: all of it): a recording cut to
// keptSec whole seconds keeps as much sound; one that ran on (or kept nothing) keeps all.
int32_t SoundKeepMs(bool cutToWholeSeconds, int32_t keptSec);

}  // namespace tqk::rec
