// The recorder's hotkeys apart from the platform: their file of their own, its tolerant
// reader, the keys' names, which keys may be chosen and what a key does in which state.
#include "hotkey_model.h"

#include <gtest/gtest.h>

#include <random>

#include "form2_texts.h"
#include "recorder_paths.h"

namespace tqk::rec {
namespace {

constexpr uint8_t kF9 = 0x78;

TEST(HotkeyFile, DefaultsAreF9AndShiftF9BothOn) {
    const HotkeySettings d;
    EXPECT_EQ(d.StartStop, (Hotkey{true, kF9, 0}));
    EXPECT_EQ(d.PauseResume, (Hotkey{true, kF9, kModShift}));
    EXPECT_EQ(HotkeyName(d.StartStop), "F9");
    EXPECT_EQ(HotkeyName(d.PauseResume), "Shift+F9");
    EXPECT_EQ(ParseHotkeyFile(""), d);
}

TEST(HotkeyFile, RoundTripsChangedAndOffKeys) {
    HotkeySettings s;
    s.StartStop = {true, 'R', kModCtrl | kModAlt};
    s.PauseResume = {false, 0x77, kModShift};  // off, its key kept for when it is on again
    EXPECT_EQ(ParseHotkeyFile(HotkeyFileText(s)), s);
    EXPECT_EQ(HotkeyFileText(HotkeySettings{}),
              "[Hotkey]\r\nStartStopOn=1\r\nStartStopKey=120\r\nStartStopMods=0\r\n"
              "PauseResumeOn=1\r\nPauseResumeKey=120\r\nPauseResumeMods=1\r\n");
    // Both off may share a key: nothing is registered.
    s.StartStop = {false, 0x77, kModShift};
    EXPECT_EQ(ParseHotkeyFile(HotkeyFileText(s)), s);
}

TEST(HotkeyFile, HostileOrTruncatedTextGivesDefaults) {
    const HotkeySettings d;
    const std::string whole = HotkeyFileText(HotkeySettings{{true, 'Q', kModCtrl}, {}});
    // Cut anywhere: never more than what was whole, each key either read or its default.
    for (size_t n = 0; n <= whole.size(); ++n) {
        const HotkeySettings s = ParseHotkeyFile(whole.substr(0, n));
        EXPECT_TRUE(s.StartStop.Same(d.StartStop) || s.StartStop.Same(Hotkey{true, 'Q', kModCtrl}))
            << n;
        EXPECT_TRUE(s.PauseResume.Same(d.PauseResume)) << n;
    }
    const std::string hostile[] = {
        "StartStopKey=300\nStartStopMods=0",   // beyond a byte
        "StartStopKey=-5\nStartStopMods=0",    // negative
        "StartStopKey=120\nStartStopMods=99",  // unknown modifiers
        "StartStopKey=65\nStartStopMods=0",    // A alone types
        "StartStopKey=16\nStartStopMods=2",    // Shift as the key
        "StartStopKey=123\nStartStopMods=0",   // F12 alone
        "StartStopKey=99999999999999999\nStartStopMods=0",
        std::string("\0\xff\xfe[Hotkey]\r\n\r\nStartStopKey=", 25),
        std::string(200000, '='),
    };
    for (const std::string& t : hostile) EXPECT_EQ(ParseHotkeyFile(t), d) << t.substr(0, 40);
    // Both keys the same: both back to their defaults, their on/off kept.
    EXPECT_EQ(ParseHotkeyFile("StartStopKey=82\nStartStopMods=2\nPauseResumeKey=82\n"
                              "PauseResumeMods=2\nPauseResumeOn=0\nStartStopOn=1"),
              (HotkeySettings{{true, 'R', kModCtrl}, {false, 'R', kModCtrl}}));
    const HotkeySettings clash =
        ParseHotkeyFile("StartStopKey=82\nStartStopMods=2\nPauseResumeKey=82\nPauseResumeMods=2");
    EXPECT_EQ(clash, d);
    // Random bytes never crash and always give keys that could be registered.
    std::mt19937 rng(24);
    for (int i = 0; i < 2000; ++i) {
        std::string t(rng() % 200, '\0');
        static const std::string alphabet = "StartStopKeyModsOnPauseResume=0123456789\r\n-+ \xff";
        for (char& c : t) c = alphabet[rng() % alphabet.size()];
        const HotkeySettings s = ParseHotkeyFile(t);
        for (HotkeyRole r : {HotkeyRole::StartStop, HotkeyRole::PauseResume})
            EXPECT_EQ(HotkeyProblemOf(s.Of(r), Hotkey{}), HotkeyProblem::Ok) << t;
        EXPECT_FALSE(s.StartStop.On && s.PauseResume.On && s.StartStop.Same(s.PauseResume)) << t;
    }
}

TEST(HotkeyFile, LivesInTheDataFolderBesideTheOtherSettings) {
    const RecorderPaths p = MakeRecorderPaths("C:\\Program Files\\T", "C:\\Users\\u\\Taviro");
    EXPECT_EQ(p.HotkeyFile, "C:\\Users\\u\\Taviro\\TVRHotkey.ini");
    EXPECT_EQ(p.PositionFile, "C:\\Users\\u\\Taviro\\TVRSetting.ini");
}

TEST(HotkeyNames, ModifiersInTheSuitesOrder) {
    EXPECT_EQ(HotkeyName({true, 'R', kModCtrl | kModAlt}), "Ctrl+Alt+R");
    EXPECT_EQ(HotkeyName({true, 'S', kModAll}), "Ctrl+Alt+Shift+S");
    EXPECT_EQ(HotkeyName({true, 0x87, kModAlt}), "Alt+F24");
    EXPECT_EQ(HotkeyName({true, 0x2E, kModCtrl}), "Ctrl+Del");
    EXPECT_EQ(HotkeyName({true, 0x13, 0}), "Pause");
    EXPECT_EQ(HotkeyName({true, 0x10, kModCtrl}), "");  // a modifier alone
    EXPECT_EQ(HotkeyName({true, 0, 0}), "");
}

TEST(HotkeyChoice, WhichKeysMayBeChosen) {
    const Hotkey other{true, kF9, kModShift};
    struct Case {
        Hotkey k;
        HotkeyProblem want;
    } cases[] = {
        {{true, kF9, 0}, HotkeyProblem::Ok},
        {{true, 0x70, kModShift}, HotkeyProblem::Ok},  // Shift+F1
        {{true, 'R', kModCtrl | kModAlt}, HotkeyProblem::Ok},
        {{true, 0x2C, 0}, HotkeyProblem::Ok},  // PrtSc
        {{true, 0, kModCtrl}, HotkeyProblem::NoKey},
        {{true, 0x11, kModCtrl}, HotkeyProblem::NoName},
        {{true, 0xE5, kModCtrl}, HotkeyProblem::NoName},  // an input-method key
        {{true, 'A', 0}, HotkeyProblem::NeedsCtrlOrAlt},
        {{true, 'A', kModShift}, HotkeyProblem::NeedsCtrlOrAlt},
        {{true, 0x0D, 0}, HotkeyProblem::NeedsCtrlOrAlt},  // Enter
        {{true, 0x25, kModShift}, HotkeyProblem::NeedsCtrlOrAlt},
        {{true, 0x7B, 0}, HotkeyProblem::Reserved},
        {{true, 0x7B, kModCtrl}, HotkeyProblem::Ok},
        {{true, kF9, kModShift}, HotkeyProblem::SameAsOther},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HotkeyProblemOf(c.k, other), c.want) << HotkeyName(c.k) << " " << int(c.k.Key);
    // The other key off does not hold its key.
    EXPECT_EQ(HotkeyProblemOf({true, kF9, kModShift}, {false, kF9, kModShift}), HotkeyProblem::Ok);
    EXPECT_EQ(HotkeyProblemText(HotkeyProblem::SameAsOther, HotkeyRole::StartStop),
              "「録画の開始と停止」と同じキーです。");
    EXPECT_EQ(HotkeyProblemText(HotkeyProblem::NeedsCtrlOrAlt, HotkeyRole::StartStop),
              "CtrlかAltと組み合わせてください。");
    EXPECT_EQ(HotkeyProblemText(HotkeyProblem::Ok, HotkeyRole::StartStop), "");
}

TEST(HotkeyMessages, TheTakenKeyIsNamed) {
    EXPECT_EQ(HotkeyTakenMessage("Shift+F9"),
              "ホットキー「Shift+F9」は他のプログラムが使っているため、使えません。");
    EXPECT_EQ(HotkeyTakenMessage("F9", "Shift+F9"),
              "ホットキー「F9」と「Shift+F9」は他のプログラムが使っているため、使えません。");
    EXPECT_EQ(HotkeyRoleName(HotkeyRole::PauseResume), "一時停止と再開");
    EXPECT_NE(Form2TipText(Form2Tip::HotkeyBox).find("Shift+F9"), std::string::npos);
}

// Every state against both keys, with and without a box open and the recording window shown.
TEST(HotkeyAction, EveryKeyInEveryState) {
    using A = HotkeyAction;
    using S = RecorderActivity;
    const HotkeyRole stop = HotkeyRole::StartStop, pause = HotkeyRole::PauseResume;
    struct Case {
        HotkeyRole role;
        S activity;
        bool box, shown;
        A want;
    } cases[] = {
        {stop, S::Idle, false, false, A::Record},
        {pause, S::Idle, false, false, A::None},
        {stop, S::Idle, true, false, A::None},  // a box of the settings window asks
        {stop, S::Busy, false, false, A::None},
        {pause, S::Busy, false, true, A::None},
        {stop, S::Recording, false, true, A::StopKeep},
        {pause, S::Recording, false, true, A::Pause},
        {stop, S::Recording, true, true, A::None},    // the cancel question
        {pause, S::Recording, true, true, A::None},   // a box during a pause
        {stop, S::Recording, false, false, A::None},  // before the capture, or the export
        {pause, S::Recording, false, false, A::None},
        {stop, S::Trial, false, true, A::None},
        {pause, S::Trial, false, true, A::None},
        {stop, S::Trial, true, true, A::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HotkeyActionFor(c.role, c.activity, c.box, c.shown), c.want)
            << int(c.role) << " " << int(c.activity) << " " << c.box << c.shown;
}

}  // namespace
}  // namespace tqk::rec
