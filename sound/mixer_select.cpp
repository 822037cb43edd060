#include "mixer_select.h"

namespace tqk::snd {

int32_t SelectedInputIndex(const std::vector<uint32_t>& values, int32_t current) {
    for (size_t i = values.size(); i-- > 0;) {
        if (values[i] & 1) return static_cast<int32_t>(i);
    }
    return current;
}

int32_t InputIndexToSet(const std::vector<std::string>& names, const std::string& name,
                        int32_t index) {
    if (!name.empty()) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) return static_cast<int32_t>(i);
        }
        return -1;
    }
    if (index < 0 || static_cast<size_t>(index) >= names.size()) return -1;
    return index;
}

std::vector<uint32_t> SelectionValues(size_t count, int32_t index) {
    std::vector<uint32_t> v(count, 0);
    if (index >= 0 && static_cast<size_t>(index) < count) v[static_cast<size_t>(index)] = 1;
    return v;
}

std::string ItemNameFromField(const char* field, size_t fieldBytes) {
    size_t n = 0;
    while (n < fieldBytes && field[n] != 0) ++n;
    return std::string(field, n);
}

}  // namespace tqk::snd
