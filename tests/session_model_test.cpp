// The recording session's state machine: every event in every state, the stops (at the next
// whole second, at once while paused), presses held back while a box asks something, the
// pause button's caption, and the recorded time that leaves pauses out.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "session_model.h"

namespace tqk::test {
namespace {

using namespace tqk::rec;
using S = SessionState;
using E = SessionEvent;

// A machine brought into state s by the events a run would hand it.
SessionMachine In(S s) {
    SessionMachine m;
    const auto go = [&m](std::initializer_list<E> events) {
        for (E e : events) EXPECT_TRUE(m.Handle(e)) << SessionEventName(e);
    };
    switch (s) {
    case S::Idle: break;
    case S::Starting: go({E::RecordPressed}); break;
    case S::Recording: go({E::RecordPressed, E::CaptureStarted}); break;
    case S::Paused: go({E::RecordPressed, E::CaptureStarted, E::PausePressed}); break;
    case S::Stopping: go({E::RecordPressed, E::CaptureStarted, E::CancelPressed}); break;
    case S::Finishing: go({E::RecordPressed, E::CaptureStarted, E::CaptureEnded}); break;
    }
    EXPECT_EQ(m.State(), s);
    return m;
}

TEST(SessionMachine, EveryEventInEveryState) {
    // The state after each event; an event missing from a state's row is ignored there.
    const std::map<S, std::map<E, S>> table = {
        {S::Idle, {{E::RecordPressed, S::Starting}}},
        {S::Starting,
         {{E::CaptureStarted, S::Recording},
          {E::CancelPressed, S::Stopping},
          {E::StopKeep, S::Stopping},
          {E::CaptureEnded, S::Finishing}}},
        {S::Recording,
         {{E::PausePressed, S::Paused},
          {E::CancelPressed, S::Stopping},
          {E::StopKeep, S::Stopping},
          {E::CaptureEnded, S::Finishing}}},
        {S::Paused,
         {{E::PausePressed, S::Recording},
          {E::CancelPressed, S::Stopping},
          {E::StopKeep, S::Stopping},
          {E::CaptureEnded, S::Finishing}}},
        {S::Stopping, {{E::CaptureEnded, S::Finishing}}},
        {S::Finishing, {{E::HelperDone, S::Finishing}, {E::Finished, S::Idle}}},
    };
    for (int32_t si = 0; si < kSessionStates; ++si) {
        for (int32_t ei = 0; ei < kSessionEvents; ++ei) {
            const S s = S(si);
            const E e = E(ei);
            SCOPED_TRACE(std::string(SessionStateName(s)) + " + " + SessionEventName(e));
            SessionMachine m = In(s);
            const bool taken = m.Handle(e);
            const auto& row = table.at(s);
            const auto to = row.find(e);
            if (e == E::QuestionOpened || e == E::QuestionClosed) {
                // Questions are noted in every state and move none.
                EXPECT_EQ(taken, e == E::QuestionOpened);
                EXPECT_EQ(m.State(), s);
            } else if (to == row.end()) {
                EXPECT_FALSE(taken);
                EXPECT_EQ(m.State(), s);
            } else {
                EXPECT_TRUE(taken);
                EXPECT_EQ(m.State(), to->second);
            }
        }
    }
}

TEST(SessionMachine, StopsAtTheNextWholeSecondOrAtOnceWhilePaused) {
    {
        SessionMachine m = In(S::Recording);
        ASSERT_TRUE(m.Handle(E::CancelPressed));
        EXPECT_EQ(m.Stop(), StopKind::Cancel);
        EXPECT_TRUE(m.StopPending());  // the engine goes on to the next whole second
        EXPECT_FALSE(m.EndWhilePaused());
        EXPECT_FALSE(m.PauseWanted());
    }
    {
        SessionMachine m = In(S::Recording);
        ASSERT_TRUE(m.Handle(E::StopKeep));
        EXPECT_EQ(m.Stop(), StopKind::Keep);
        EXPECT_TRUE(m.StopPending());
        EXPECT_FALSE(m.Handle(E::CancelPressed));  // the first stop decides
        EXPECT_EQ(m.Stop(), StopKind::Keep);
    }
    // Stop while paused: the paused engine ends at once (cut back to the last whole second).
    for (E stop : {E::CancelPressed, E::StopKeep}) {
        SCOPED_TRACE(SessionEventName(stop));
        SessionMachine m = In(S::Paused);
        EXPECT_TRUE(m.PauseWanted());
        EXPECT_FALSE(m.ResumeWanted());
        ASSERT_TRUE(m.Handle(stop));
        EXPECT_TRUE(m.StoppedWhilePaused());
        EXPECT_TRUE(m.EndWhilePaused());
        EXPECT_FALSE(m.StopPending());
        EXPECT_FALSE(m.ResumeWanted());
        EXPECT_EQ(m.Stop(), stop == E::StopKeep ? StopKind::Keep : StopKind::Cancel);
        EXPECT_EQ(m.PauseButtonText(), kResumeButton);  // still reads as paused
        EXPECT_FALSE(m.PauseButtonEnabled());
        ASSERT_TRUE(m.Handle(E::CaptureEnded));
        EXPECT_EQ(m.State(), S::Finishing);
        EXPECT_TRUE(m.StoppedWhilePaused());  // the run reads it afterwards
    }
}

TEST(SessionMachine, PauseDuringStoppingIsTooLate) {
    SessionMachine m = In(S::Stopping);
    EXPECT_FALSE(m.Handle(E::PausePressed));
    EXPECT_EQ(m.State(), S::Stopping);
    EXPECT_FALSE(m.PauseWanted());
    EXPECT_TRUE(m.StopPending());
    EXPECT_FALSE(m.PauseButtonEnabled());
    EXPECT_EQ(m.PauseButtonText(), kPauseButton);
}

TEST(SessionMachine, PauseAndResumeAnswerTheEngine) {
    SessionMachine m = In(S::Recording);
    EXPECT_FALSE(m.PauseWanted());
    EXPECT_EQ(m.PauseButtonText(), kPauseButton);
    EXPECT_TRUE(m.PauseButtonEnabled());
    ASSERT_TRUE(m.Handle(E::PausePressed));
    EXPECT_TRUE(m.PauseWanted());
    EXPECT_FALSE(m.ResumeWanted());
    EXPECT_EQ(m.PauseButtonText(), kResumeButton);
    EXPECT_TRUE(m.PauseButtonEnabled());
    ASSERT_TRUE(m.Handle(E::PausePressed));
    EXPECT_FALSE(m.PauseWanted());
    EXPECT_TRUE(m.ResumeWanted());
    EXPECT_EQ(m.PauseButtonText(), kPauseButton);
    // Before the capture begins there is no slot to pause after.
    SessionMachine starting = In(S::Starting);
    EXPECT_FALSE(starting.PauseButtonEnabled());
    EXPECT_FALSE(starting.Handle(E::PausePressed));
}

TEST(SessionMachine, KeysAndButtonsWaitWhileABoxAsks) {
    for (S s : {S::Starting, S::Recording, S::Paused, S::Stopping, S::Finishing}) {
        SCOPED_TRACE(SessionStateName(s));
        SessionMachine m = In(s);
        const StopKind stop = m.Stop();
        ASSERT_TRUE(m.Handle(E::QuestionOpened));
        EXPECT_TRUE(m.QuestionOpen());
        EXPECT_FALSE(m.PauseButtonEnabled());
        for (E press : {E::PausePressed, E::StopKeep, E::CancelPressed}) {
            EXPECT_FALSE(m.Handle(press)) << SessionEventName(press);
            EXPECT_EQ(m.State(), s);
            EXPECT_EQ(m.Stop(), stop);
        }
        ASSERT_TRUE(m.Handle(E::QuestionClosed));
        EXPECT_FALSE(m.QuestionOpen());
    }
    // Once the box is gone the hotkey works again.
    SessionMachine m = In(S::Recording);
    ASSERT_TRUE(m.Handle(E::QuestionOpened));
    EXPECT_FALSE(m.Handle(E::StopKeep));
    ASSERT_TRUE(m.Handle(E::QuestionClosed));
    EXPECT_TRUE(m.Handle(E::StopKeep));
    EXPECT_EQ(m.Stop(), StopKind::Keep);
}

TEST(SessionMachine, ANewRunForgetsTheLastOne) {
    SessionMachine m = In(S::Paused);
    ASSERT_TRUE(m.Handle(E::StopKeep));
    ASSERT_TRUE(m.Handle(E::CaptureEnded));
    ASSERT_TRUE(m.Handle(E::HelperDone));
    EXPECT_TRUE(m.HelperDone());
    EXPECT_FALSE(m.Handle(E::HelperDone));
    ASSERT_TRUE(m.Handle(E::Finished));
    ASSERT_TRUE(m.Handle(E::RecordPressed));
    EXPECT_EQ(m.State(), S::Starting);
    EXPECT_EQ(m.Stop(), StopKind::None);
    EXPECT_FALSE(m.StoppedWhilePaused());
    EXPECT_FALSE(m.HelperDone());
}

TEST(RecordedClock, LeavesPausesOut) {
    RecordedClock c;
    EXPECT_EQ(c.RecordedMs(5000), 0);
    c.Start(1000);
    EXPECT_DOUBLE_EQ(c.RecordedMs(3500), 2500);
    c.Pause(4000);  // recorded time stops where the engine says, not when it is read
    EXPECT_TRUE(c.Paused());
    EXPECT_DOUBLE_EQ(c.RecordedMs(4100), 3000);
    EXPECT_DOUBLE_EQ(c.RecordedMs(60000), 3000);
    c.Resume(10000);
    EXPECT_DOUBLE_EQ(c.RecordedMs(10000), 3000);
    EXPECT_DOUBLE_EQ(c.RecordedMs(11500), 4500);
    c.Pause(12000);
    c.Pause(13000);  // a second pause without a resume changes nothing
    c.Resume(12500);
    EXPECT_DOUBLE_EQ(c.RecordedMs(13000), 5500);
    EXPECT_DOUBLE_EQ(c.PausedMs(), 6500);
    EXPECT_EQ(c.Pauses(), 2);
    c.Start(0);  // a new run
    EXPECT_EQ(c.Pauses(), 0);
    EXPECT_DOUBLE_EQ(c.RecordedMs(100), 100);
}

TEST(RecordedClock, StatisticsCountRecordedTimeOnly) {
    RecordedClock c;
    c.Start(0);
    c.Pause(2999);
    const auto paused = PausedStatisticsItems(90, 30, 20, c.RecordedMs(50000));
    ASSERT_EQ(paused.size(), 3u);
    EXPECT_EQ(paused[0].text, kPausedText);
    EXPECT_EQ(paused[1].text, "Frame 90/600");
    EXPECT_EQ(paused[2].text, "Time 2 / 20sec");
    c.Resume(40000);
    RunStats stats;
    const auto items = StatisticsItems(120, 30, 20, 0, stats, c.RecordedMs(41001));
    EXPECT_EQ(items.back().text, "Time 4 / 20sec");
}

TEST(SessionModel, SoundKeptOnAStop) {
    EXPECT_EQ(SoundKeepMs(false, 7), 0);  // ran on: all the sound
    EXPECT_EQ(SoundKeepMs(true, 7), 7000);
    EXPECT_EQ(SoundKeepMs(true, 0), 0);  // nothing kept: the WAV is deleted anyway
}

}  // namespace
}  // namespace tqk::test
