// The region pick's overlay Form3, shared by the window and its tests.
#pragma once

namespace tqk::form3_ids {

inline constexpr const wchar_t* kClassName = L"TaviroRecForm3";

}  // namespace tqk::form3_ids
