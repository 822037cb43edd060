// Control ids of the about window Form4, shared by the window and its tests.
#pragma once

#include "control_ids.h"

namespace tqk::form4_ids {

inline constexpr int Label1 = 100;    // the product name
inline constexpr int Label2 = 101;    // "Version 1.0   Revision 1"
inline constexpr int Command1 = 102;  // "Close"

static_assert(tqk::IdsValid({Label1, Label2, Command1}), "ids unique, not 1-7, not 0xFFFF");

}  // namespace tqk::form4_ids
