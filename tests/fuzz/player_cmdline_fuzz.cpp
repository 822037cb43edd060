// libFuzzer target for the player's command-line tail: whatever the shell or a user passes,
// the path is a piece of the tail cut at both ends only, without blanks at its ends, and the
// quote rule removes at most one quote at each end.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "player_model.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Pairs of bytes as UTF-16 units, as the platform hands the tail over.
    std::wstring tail;
    for (size_t i = 0; i + 1 < size; i += 2) tail += wchar_t(data[i] | (data[i + 1] << 8));
    const std::wstring path = tqk::player::PathFromCommandTail(tail);

    // The path starts behind the leading blanks and, after a quote, the blanks behind it.
    size_t at = 0;
    int quotes = 0;
    while (at < tail.size() && IsBlank(tail[at])) ++at;
    if (at < tail.size() && tail[at] == L'"') {
        ++quotes;
        ++at;
        while (at < tail.size() && IsBlank(tail[at])) ++at;
    }
    if (path.empty()) at = std::min(at, tail.size());
    if (tail.compare(at, path.size(), path) != 0) std::abort();
    if (!path.empty() && (IsBlank(path.front()) || IsBlank(path.back()))) std::abort();
    const size_t end = at + path.size();
    int tailQuotes = 0;
    for (size_t i = end; i < tail.size(); ++i) {
        if (tail[i] == L'"')
            ++tailQuotes;
        else if (!IsBlank(tail[i]))
            std::abort();
    }
    if (tailQuotes > quotes) std::abort();  // a closing quote only with an opening one
    // A tail without a leading quote is kept whole apart from its blanks.
    if (quotes == 0 && tailQuotes != 0) std::abort();
    return 0;
}
