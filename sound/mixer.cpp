#include "mixer.h"

#include "mixer_select.h"
#include "win_text.h"

namespace tqk::snd {
namespace {

std::wstring FromAnsi(const std::string& s) { return tqk::WideFromAnsi(s); }
std::string ToAnsi(const std::wstring& w) { return tqk::AnsiFromWide(w); }

}  // namespace

Mixer::~Mixer() {
    if (mixer_) mixerClose(mixer_);
}

bool Mixer::IsEnableMixer() {
    if (deviceCount_ == 0) {
        const UINT n = mixerGetNumDevs();
        deviceCount_ = n < 1 ? -1 : static_cast<int32_t>(n);
    }
    return deviceCount_ > 0;
}

int32_t Mixer::ReadSelector(Selector* ret) {
    if (!mixer_ && mixerOpen(&mixer_, 0, 0, 0, 0) != MMSYSERR_NOERROR) {
        mixer_ = nullptr;
        return kMixerNoLine;
    }
    const auto handle = reinterpret_cast<HMIXEROBJ>(mixer_);
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    if (mixerGetLineInfoA(handle, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR) {
        return kMixerNoLine;
    }
    MIXERCONTROLA control{};
    control.cbStruct = sizeof control;
    MIXERLINECONTROLSA controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUX;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    // A line without a multiplexer fails here or reports no items: both are "not selectable".
    if (mixerGetLineControlsA(handle, &controls,
                              MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
            MMSYSERR_NOERROR ||
        control.cMultipleItems < 1) {
        return kMixerNoItems;
    }
    const DWORD items = control.cMultipleItems;
    std::vector<MIXERCONTROLDETAILS_LISTTEXTA> texts(items);
    MIXERCONTROLDETAILS& d = ret->details;
    d = MIXERCONTROLDETAILS{};
    d.cbStruct = sizeof d;
    d.dwControlID = control.dwControlID;
    d.cChannels = 1;
    d.cMultipleItems = items;
    d.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTA);
    d.paDetails = texts.data();
    if (mixerGetControlDetailsA(handle, &d,
                                MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_LISTTEXT) !=
        MMSYSERR_NOERROR) {
        return kMixerNoItems;
    }
    std::vector<MIXERCONTROLDETAILS_BOOLEAN> values(items);
    d.cbDetails = sizeof(MIXERCONTROLDETAILS_BOOLEAN);
    d.paDetails = values.data();
    if (mixerGetControlDetailsA(handle, &d,
                                MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) !=
        MMSYSERR_NOERROR) {
        return kMixerNoItems;
    }
    d.paDetails = nullptr;
    ret->names.clear();
    ret->values.clear();
    for (DWORD i = 0; i < items; ++i) {
        ret->names.push_back(ItemNameFromField(texts[i].szName, sizeof texts[i].szName));
        ret->values.push_back(static_cast<uint32_t>(values[i].fValue));
    }
    return kMixerOk;
}

std::vector<std::wstring> Mixer::GetWaveInLines(int32_t* retErrorNo, int32_t* SelectedIndex) {
    Selector s;
    const int32_t r = ReadSelector(&s);
    if (r < 0) {
        if (retErrorNo) *retErrorNo = r;
        return {};
    }
    if (SelectedIndex) *SelectedIndex = SelectedInputIndex(s.values, *SelectedIndex);
    std::vector<std::wstring> names;
    for (const auto& n : s.names) names.push_back(FromAnsi(n));
    return names;
}

int32_t Mixer::SetWaveInLine(const std::wstring& SetWaveInLineStr, int32_t SetWaveInLineIndex) {
    Selector s;
    const int32_t r = ReadSelector(&s);
    if (r < 0) return r;
    const int32_t index = InputIndexToSet(s.names, ToAnsi(SetWaveInLineStr), SetWaveInLineIndex);
    if (index < 0) return kMixerNoLine;
    std::vector<MIXERCONTROLDETAILS_BOOLEAN> values(s.names.size());
    const auto chosen = SelectionValues(s.names.size(), index);
    for (size_t i = 0; i < values.size(); ++i) values[i].fValue = static_cast<LONG>(chosen[i]);
    MIXERCONTROLDETAILS d = s.details;
    d.cbDetails = sizeof(MIXERCONTROLDETAILS_BOOLEAN);
    d.paDetails = values.data();
    mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(mixer_), &d,
                           MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    return kMixerOk;
}

}  // namespace tqk::snd
