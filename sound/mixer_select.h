// The choice of a recording input among a mixer's multiplexer items, apart from the mixer
// calls. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tqk::snd {

// The selected input: the last item whose value has bit 0 set; `current` when none is.
int32_t SelectedInputIndex(const std::vector<uint32_t>& values, int32_t current);

// The item to select: by exact (case-sensitive) name when `name` is not empty, else by
// `index`. -1 when the name is not there or the index is outside the list.
int32_t InputIndexToSet(const std::vector<std::string>& names, const std::string& name,
                        int32_t index);

// The values that select exactly item `index` of `count`.
std::vector<uint32_t> SelectionValues(size_t count, int32_t index);

// An item name from its fixed field: the bytes up to the first zero.
std::string ItemNameFromField(const char* field, size_t fieldBytes);

}  // namespace tqk::snd
