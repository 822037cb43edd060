// Control ids of the progress window Form5 (its tests find the controls by them).
#pragma once

#include "control_ids.h"

namespace tqk::form5_ids {

inline constexpr int Picture2 = 501;
inline constexpr int Command1 = 502;
static_assert(tqk::IdsValid({Picture2, Command1}));

}  // namespace tqk::form5_ids
