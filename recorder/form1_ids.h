// Control ids of the recording window Form1, shared by the window and its tests.
#pragma once

#include "control_ids.h"

namespace tqk::form1_ids {

// Command1(0) "キャンセル", Command1(1) "非表示にする", Command1(2) "移動",
// Command1(3) "一時停止" (reads "再開" while paused).
inline constexpr tqk::IdBlock Command1{1100, 4};
inline constexpr int Picture1 = 1110;  // the statistics area
// A command without a control: the stop hotkey posts it (WM_COMMAND, BN_CLICKED) to end the
// recording at the next whole second and keep it without a question.
inline constexpr int StopKeep = 1120;

inline constexpr const wchar_t* kClassName = L"TaviroRecForm1";

static_assert(tqk::IdsValid({Command1, Picture1, StopKeep}), "ids unique, not 1-7, not 0xFFFF");

}  // namespace tqk::form1_ids
