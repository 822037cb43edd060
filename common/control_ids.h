// Control ids of a window: one header per window names its controls, blocks of ids stand for
// control arrays, and a compile-time check proves the ids unique. Portable: no <windows.h>.
//
//   namespace tqk::settings_ids {
//   inline constexpr int Command5 = 105;
//   inline constexpr IdBlock HScroll1{600, 2};  // HScroll1(0), HScroll1(1)
//   static_assert(IdsValid({Command5, HScroll1}));
//   }
#pragma once

#include <initializer_list>

namespace tqk {

// The ids of a control array: element i has id first + i.
struct IdBlock {
    int first;
    int count;
    constexpr int operator()(int i) const { return first + i; }
    constexpr bool Contains(int id) const { return id >= first && id < first + count; }
    // The element index of id, or -1 when id is not in the block.
    constexpr int IndexOf(int id) const { return Contains(id) ? id - first : -1; }
};

// One id or one block, as the check takes them.
struct IdRange {
    int first;
    int count;
    constexpr IdRange(int id) : first(id), count(1) {}
    constexpr IdRange(IdBlock b) : first(b.first), count(b.count) {}
};

// Ids the platform gives a meaning: IDOK ... IDCLOSE (1-7) and the static of a message box.
inline constexpr int kFirstReservedId = 1;
inline constexpr int kLastReservedId = 7;
inline constexpr int kStaticId = 0xFFFF;

constexpr bool IdRangeValid(IdRange r) {
    if (r.count < 1 || r.first < 1 || r.first + r.count - 1 >= kStaticId) return false;
    const int last = r.first + r.count - 1;
    return last < kFirstReservedId || r.first > kLastReservedId;
}

// True when every id is in 8..0xFFFE and no two ids or blocks overlap.
[[nodiscard]] constexpr bool IdsValid(std::initializer_list<IdRange> ids) {
    for (auto a = ids.begin(); a != ids.end(); ++a) {
        if (!IdRangeValid(*a)) return false;
        for (auto b = a + 1; b != ids.end(); ++b)
            if (a->first < b->first + b->count && b->first < a->first + a->count) return false;
    }
    return true;
}

}  // namespace tqk
