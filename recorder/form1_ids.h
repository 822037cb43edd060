// Control ids of the recording window Form1, shared by the window and its tests.
#pragma once

#include "control_ids.h"

namespace tqk::form1_ids {

// Command1(0) "キャンセル", Command1(1) "非表示にする", Command1(2) "移動".
inline constexpr tqk::IdBlock Command1{1100, 3};
inline constexpr int Picture1 = 1110;  // the statistics area

inline constexpr const wchar_t* kClassName = L"TaviroRecForm1";

static_assert(tqk::IdsValid({Command1, Picture1}), "ids unique, not 1-7, not 0xFFFF");

}  // namespace tqk::form1_ids
