// Mixer: lists the inputs the first mixer device can route to its recording (wave-in)
// destination and selects one of them. Only a multiplexer (one input at a time) is
// selectable; other mixers give an empty list.
#pragma once

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstdint>
#include <string>
#include <vector>

namespace tqk::snd {

enum MixerError : int32_t {
    kMixerOk = 0,
    kMixerNoLine = -1,   // no wave-in line, or the name is not in the list
    kMixerNoItems = -2,  // the wave-in line has no multiplexer items
};

class Mixer {
public:
    Mixer() = default;
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;
    ~Mixer();

    // True when at least one mixer device exists.
    bool IsEnableMixer();

    // Names of the selectable inputs in the mixer's order; empty (and retErrorNo set) when
    // there is nothing to select. SelectedIndex gets the input now selected.
    std::vector<std::wstring> GetWaveInLines(int32_t* retErrorNo = nullptr,
                                             int32_t* SelectedIndex = nullptr);

    // Selects an input by exact name, or by index when the name is empty.
    int32_t SetWaveInLine(const std::wstring& SetWaveInLineStr = {},
                          int32_t SetWaveInLineIndex = 0);

private:
    struct Selector {
        MIXERCONTROLDETAILS details{};
        std::vector<std::string> names;  // ANSI
        std::vector<uint32_t> values;
    };
    int32_t ReadSelector(Selector* ret);

    int32_t deviceCount_ = 0;  // 0 not yet asked, -1 none
    HMIXER mixer_ = nullptr;
};

}  // namespace tqk::snd
