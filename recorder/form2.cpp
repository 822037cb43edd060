#include "form2.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "avic.h"
#include "capture_info.h"
#include "form1_ids.h"
#include "form2_ids.h"
#include "form2_texts.h"
#include "form4.h"
#include "mixer.h"
#include "path_parts.h"
#include "rec_schedule.h"
#include "recorder_files.h"
#include "run_model.h"
#include "sound_helper_client.h"
#include "win_text.h"

namespace tqk::rec {

using namespace tqk::form2_ids;

namespace {

// Frame captions, in frame-index order; List1 shows the same.
const wchar_t* const kPageNames[5] = {L"キャプチャ方法", L"キャプチャ領域", L"キャプチャ設定",
                                      L"保存方法", L"ホットキー"};

constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kCheck = WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON;
constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kCombo = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
constexpr DWORD kTrack = WS_TABSTOP | TBS_HORZ | TBS_NOTICKS;
constexpr DWORD kFrame = BS_GROUPBOX;
constexpr DWORD kHotkeyField = WS_TABSTOP;

// Posted to itself at start, once the window is shown: the keys another program holds.
constexpr UINT kMsgHotkeysTaken = WM_APP + 24;
// Posted by a key field that got or lost the keyboard.
constexpr UINT kMsgHotkeyFieldFocus = WM_APP + 25;
// The platform's hotkey ids of the two roles (any number below 0xC000 of this window's own).
constexpr int kHotkeyIdBase = 1;

// 96-DPI pixels.
constexpr int kClientWidth = 676;
constexpr int kClientHeight = 408;

const tqk::ControlSpec kControls[] = {
    {L"LISTBOX", List1, L"", WS_TABSTOP | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 8, 8, 136,
     78},

    // Page 0: the capture method.
    {L"BUTTON", Frame1(0), kPageNames[0], kFrame, 148, 4, 290, 232, 0, 1},
    {L"BUTTON", Option1(0), L"Type 0", kRadio | WS_GROUP | WS_TABSTOP, 162, 26, 96, 20, 0, 1},
    {L"BUTTON", Option1(1), L"Type 1", kRadio, 162, 48, 96, 20, 0, 1},
    {L"BUTTON", Option1(2), L"Type 2", kRadio, 162, 70, 96, 20, 0, 1},
    {L"STATIC", LabelHs2(0), L"回数 1", kLabel | WS_GROUP, 268, 30, 58, 16, 0, 1},
    {TRACKBAR_CLASSW, HScroll2(0), L"", kTrack, 326, 24, 106, 26, 0, 1},
    {L"STATIC", LabelHs2(1), L"時間 1", kLabel, 268, 60, 58, 16, 0, 1},
    {TRACKBAR_CLASSW, HScroll2(1), L"", kTrack, 326, 54, 106, 26, 0, 1},
    {L"STATIC", LabelPriority, L"プログラムの優先度", kLabel, 162, 110, 128, 16, 0, 1},
    {L"COMBOBOX", Combo3, L"", kCombo, 292, 106, 140, 200, 0, 1},
    {L"BUTTON", Check7, L"ファイル領域を確保して非同期書込みをする", kCheck | BS_MULTILINE, 162,
     140, 268, 34, 0, 1},

    // Page 1: the capture region.
    {L"BUTTON", Frame1(1), kPageNames[1], kFrame, 148, 4, 290, 232, 0, 2},
    {L"STATIC", LabelPosition, L"位置", kLabel, 162, 32, 44, 16, 0, 2},
    {L"STATIC", LabelText1(0), L"X", kLabel, 208, 32, 14, 16, 0, 2},
    {L"EDIT", Text1(0), L"0", kEdit, 224, 28, 72, 22, WS_EX_CLIENTEDGE, 2},
    {L"STATIC", LabelText1(1), L"Y", kLabel, 306, 32, 14, 16, 0, 2},
    {L"EDIT", Text1(1), L"0", kEdit, 322, 28, 72, 22, WS_EX_CLIENTEDGE, 2},
    {L"STATIC", LabelSize, L"サイズ", kLabel, 162, 62, 44, 16, 0, 2},
    {L"STATIC", LabelText1(2), L"W", kLabel, 208, 62, 14, 16, 0, 2},
    {L"EDIT", Text1(2), L"320", kEdit, 224, 58, 72, 22, WS_EX_CLIENTEDGE, 2},
    {L"STATIC", LabelText1(3), L"H", kLabel, 306, 62, 14, 16, 0, 2},
    {L"EDIT", Text1(3), L"240", kEdit, 322, 58, 72, 22, WS_EX_CLIENTEDGE, 2},
    {L"BUTTON", Check1(0), L"ｳｨﾝﾄﾞｳ", kCheck, 162, 98, 84, 20, 0, 2},
    {L"BUTTON", Check1(1), L"ｸﾗｲｱﾝﾄ", kCheck, 248, 98, 84, 20, 0, 2},
    {L"BUTTON", Command1, L"取得", kButton, 342, 96, 72, 24, 0, 2},
    {L"BUTTON", Check5, L"マウス中心のキャプチャ", kCheck, 162, 132, 270, 20, 0, 2},

    // Page 2: rate, length, mouse and sound.
    {L"BUTTON", Frame1(2), kPageNames[2], kFrame, 148, 4, 290, 232, 0, 3},
    {L"STATIC", LabelHs1(0), L"30fps", kLabel, 162, 30, 64, 16, 0, 3},
    {TRACKBAR_CLASSW, HScroll1(0), L"", kTrack, 226, 24, 206, 26, 0, 3},
    {L"STATIC", LabelHs1(1), L"20sec", kLabel, 162, 60, 64, 16, 0, 3},
    {TRACKBAR_CLASSW, HScroll1(1), L"", kTrack, 226, 54, 206, 26, 0, 3},
    {L"BUTTON", Check2, L"マウスを書きこむ", kCheck, 162, 84, 270, 20, 0, 3},
    {L"BUTTON", Check8, L"クリックを表示", kCheck, 162, 106, 132, 20, 0, 3},
    {L"BUTTON", Check9, L"キー入力を表示", kCheck, 298, 106, 134, 20, 0, 3},
    {L"BUTTON", Check3, L"サウンドも取り込む", kCheck, 162, 130, 270, 20, 0, 3},
    {L"COMBOBOX", Combo1, L"", kCombo, 180, 154, 248, 240, 0, 3},
    {L"COMBOBOX", Combo2, L"", kCombo, 180, 182, 248, 200, 0, 3},
    {L"BUTTON", Check4, L"Wavの削除", kCheck, 180, 210, 200, 20, 0, 3},

    // Page 3: what is saved.
    {L"BUTTON", Frame1(3), kPageNames[3], kFrame, 148, 4, 290, 232, 0, 4},
    {L"BUTTON", Option2(0), L"AVIとTQKを作成", kRadio | WS_GROUP | WS_TABSTOP, 162, 26, 220, 20, 0,
     4},
    {L"BUTTON", Option2(1), L"AVIだけ作成", kRadio, 162, 48, 220, 20, 0, 4},
    {L"BUTTON", Option2(2), L"TQKだけ作成", kRadio, 162, 70, 220, 20, 0, 4},
    {L"STATIC", LabelCompressor, L"圧縮方法", kLabel | WS_GROUP, 162, 108, 62, 16, 0, 4},
    {L"STATIC", Label11, L"", kLabel | SS_SUNKEN | SS_ENDELLIPSIS | SS_CENTERIMAGE, 226, 105, 140,
     22, 0, 4},
    {L"BUTTON", Command8, L"選択", kButton, 372, 104, 60, 24, 0, 4},
    {L"BUTTON", Check6, L"24bitでAVIを保存する", kCheck, 162, 140, 270, 20, 0, 4},

    // Page 4: the hotkeys.
    {L"BUTTON", Frame1(4), kPageNames[4], kFrame, 148, 4, 290, 232, 0, 5},
    {L"BUTTON", CheckHotkey(0), L"録画の開始と停止", kCheck | WS_GROUP, 162, 26, 268, 20, 0, 5},
    {HOTKEY_CLASSW, HotKey1(0), L"", kHotkeyField, 180, 50, 180, 22, WS_EX_CLIENTEDGE, 5},
    {L"STATIC", LabelHotkeyState(0), L"", kLabel, 180, 76, 252, 16, 0, 5},
    {L"BUTTON", CheckHotkey(1), L"一時停止と再開", kCheck | WS_GROUP, 162, 100, 268, 20, 0, 5},
    {HOTKEY_CLASSW, HotKey1(1), L"", kHotkeyField, 180, 124, 180, 22, WS_EX_CLIENTEDGE, 5},
    {L"STATIC", LabelHotkeyState(1), L"", kLabel, 180, 150, 252, 16, 0, 5},
    {L"BUTTON", Command13, L"標準のキー", kButton | WS_GROUP, 162, 178, 100, 24, 0, 5},

    // Outside the pages.
    {L"STATIC", LabelPreview, L"プレビュー", kLabel, 8, 94, 136, 16},
    {L"STATIC", Picture1, L"", SS_OWNERDRAW, 8, 112, 136, 100, WS_EX_CLIENTEDGE},
    {L"BUTTON", Command6, L"再描画", kButton, 8, 214, 136, 24},
    {L"STATIC", LabelSaveTo, L"保存先", kLabel, 8, 252, 50, 16},
    {L"EDIT", Text2, L"", kEdit, 60, 248, 314, 22, WS_EX_CLIENTEDGE},
    {L"BUTTON", Command2, L"参照", kButton, 378, 247, 60, 24},
    {L"STATIC", Label12, L"未圧縮時最大必要容量", kLabel, 8, 284, 150, 16},
    {L"STATIC", Label9, L"", kLabel, 160, 284, 278, 16},
    {L"BUTTON", Command3, L"試行", kButton, 8, 336, 82, 28},
    {L"BUTTON", Command5, L"録画", kButton, 94, 336, 82, 28},
    {L"BUTTON", Command4, L"再生画面", kButton, 180, 336, 82, 28},
    {L"BUTTON", Command7, L"設定保存", kButton, 8, 372, 82, 26},
    {L"BUTTON", Command10, L"設定読込", kButton, 94, 372, 82, 26},
    {L"BUTTON", Command9, L"標準に戻す", kButton, 180, 372, 82, 26},
    {L"BUTTON", Command11, L"ﾍﾙﾌﾟ", kButton, 266, 372, 82, 26},
    {L"BUTTON", Command12, L"ﾊﾞｰｼﾞｮﾝ", kButton, 352, 372, 82, 26},
    {L"STATIC", Picture2, L"", kLabel, 446, 8, 222, 390, WS_EX_CLIENTEDGE},
};

std::wstring W(const std::string& utf8) { return Wide(utf8); }

}  // namespace

int DisplayDepth() {
    tqk::WindowDc screen(nullptr, GetDC(nullptr));
    if (!screen) return 0;
    tqk::GdiObject bmp(CreateCompatibleBitmap(screen.Get(), 1, 1));
    BITMAP b{};
    return bmp && GetObjectW(bmp.Get(), sizeof b, &b) ? b.bmBitsPixel : 0;
}

Form2::Form2(const Form2Setup& setup) : setup_(setup) {}

int Form2::Run() {
    tqk::WindowSpec spec{L"TaviroRecForm2", L"キャプチャ設定",
                         WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, kClientWidth,
                         kClientHeight};
    if (!Create(spec)) return -1;
    // Centred on the work area.
    RECT work{}, r{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(Hwnd(), &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(Hwnd(), nullptr, std::max(work.left, work.left + (work.right - work.left - w) / 2),
                 std::max(work.top, work.top + (work.bottom - work.top - h) / 2), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return ShowModal();
}

bool Form2::OnCreate() {
    displayDepth_ = DisplayDepth();
    if (!AddControls(kControls)) return false;
    // The page list has the focus first; Enter never starts a recording from a box.
    KeepFocusLikeADialog(List1);
    for (const wchar_t* name : kPageNames) ListAdd(List1, name);
    SetTrackRange(HScroll1(0), kFpsMin, kFpsMax);
    SetTrackRange(HScroll1(1), kSecMin, kSecMax);
    SetTrackRange(HScroll2(0), 0, kCpuReleaseCountMax);
    SetTrackRange(HScroll2(1), 0, kCpuReleaseTimeMax);
    // Page steps of a tenth of the range (arrows move by one).
    SendMessageW(Item(HScroll1(0)), TBM_SETPAGESIZE, 0, 10);
    SendMessageW(Item(HScroll1(1)), TBM_SETPAGESIZE, 0, 60);
    infoBrush_.Reset(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));

    AttachToolTips();
    CaptureSettings s = DefaultSettings(setup_.ntFamily);
    CaptureSettings loaded;
    if (LoadSettingsFile(W(setup_.paths->DefaultSettings), &loaded) == TqpStatus::kOk ||
        (!setup_.paths->DefaultSettingsFallback.empty() &&
         LoadSettingsFile(W(setup_.paths->DefaultSettingsFallback), &loaded) == TqpStatus::kOk)) {
        s = loaded;
    }
    if (const auto text = ReadFileBytes(W(setup_.paths->InputDisplayFile), 64 * 1024))
        input_ = ParseInputDisplayFile(*text);
    SetChecked(Check8, input_.ShowClicks);
    SetChecked(Check9, input_.ShowKeys);
    LoadHotkeys();
    FillSoundFormats();
    FillSources();
    FillPriorities();
    Apply(s);
    ShowPageOf(0);
    Preview();
    return true;
}

bool Form2::OnClose() { return true; }

void Form2::AttachToolTips() {
    tips_.Init(Hwnd());
    auto tip = [this](Form2Tip t, std::initializer_list<int> ids) {
        std::vector<HWND> windows;
        for (int id : ids) windows.push_back(Item(id));
        tips_.MakeToolTip(W(Form2TipText(t)), windows.data(), windows.size());
    };
    tip(Form2Tip::Method, {Option1(0), Option1(1), Option1(2), Frame1(0)});
    tip(Form2Tip::Check1Window, {Check1(0)});
    tip(Form2Tip::Check1Client, {Check1(1)});
    tip(Form2Tip::HScroll1, {HScroll1(0), HScroll1(1)});
    tip(Form2Tip::Check2, {Check2});
    tip(Form2Tip::Check8, {Check8});
    tip(Form2Tip::Check9, {Check9});
    tip(Form2Tip::Check3, {Check3});
    tip(Form2Tip::Combo1, {Combo1});
    tip(Form2Tip::Check5, {Check5});
    tip(Form2Tip::HScroll2, {HScroll2(0), HScroll2(1)});
    tip(Form2Tip::Combo3, {Combo3});
    tip(Form2Tip::Combo2, {Combo2});
    tip(Form2Tip::SaveMode, {Option2(0), Option2(1), Option2(2), Frame1(3)});
    tip(Form2Tip::Command3, {Command3});
    tip(Form2Tip::Command5, {Command5});
    tip(Form2Tip::Picture2, {Picture2});
    tip(Form2Tip::Check6, {Check6});
    tip(Form2Tip::Command4, {Command4});
    tip(Form2Tip::Command7, {Command7});
    tip(Form2Tip::Command9, {Command9});
    tip(Form2Tip::Command10, {Command10});
    tip(Form2Tip::Region, {Text1(0), Text1(1), Text1(2), Text1(3), Frame1(1)});
    tip(Form2Tip::Check7, {Check7});
    tip(Form2Tip::HotkeyStartStop, {CheckHotkey(0)});
    tip(Form2Tip::HotkeyPauseResume, {CheckHotkey(1)});
    tip(Form2Tip::HotkeyBox, {HotKey1(0), HotKey1(1), Frame1(4)});
    tip(Form2Tip::Command13, {Command13});
    // Labels get no mouse messages of their own: their rectangles on the window.
    for (int id : {Label12, Label9}) {
        RECT r{};
        GetWindowRect(Item(id), &r);
        MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        tips_.MakeToolTipEx(W(Form2TipText(Form2Tip::Estimate)), Hwnd(), r);
    }
}

void Form2::FillSoundFormats() {
    ComboClear(Combo1);
    WAVEINCAPSW caps{};
    uint32_t formats = 0;
    if (waveInGetDevCapsW(WAVE_MAPPER, &caps, sizeof caps) == MMSYSERR_NOERROR) {
        formats = caps.dwFormats;
    }
    if (formats == 0 && waveInGetNumDevs() > 0 &&
        waveInGetDevCapsW(0, &caps, sizeof caps) == MMSYSERR_NOERROR) {
        formats = caps.dwFormats;
    }
    const std::vector<std::string> entries = SoundFormatEntries(formats);
    for (const std::string& e : entries) ComboAdd(Combo1, W(e));
    soundEntries_ = entries;
    if (!entries.empty()) ComboSelect(Combo1, 0);
    soundAvailable_ = !entries.empty() && setup_.sound && setup_.sound->Available();
    if (!soundAvailable_) {
        // Disabled controls get no mouse messages: the tip lies on the window over them.
        RECT all{};
        for (int id : {Check3, Combo1, Combo2, Check4}) {
            RECT r{};
            GetWindowRect(Item(id), &r);
            UnionRect(&all, IsRectEmpty(&all) ? &r : &all, &r);
        }
        MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&all), 2);
        tips_.MakeToolTipEx(W(Form2TipText(Form2Tip::NoSound)), Hwnd(), all);
    }
}

void Form2::FillSources() {
    ComboClear(Combo2);
    ComboAdd(Combo2, L"標準(変更なし)");
    snd::Mixer mixer;
    int32_t error = 0, selected = -1;
    std::vector<std::wstring> names;
    if (mixer.IsEnableMixer()) names = mixer.GetWaveInLines(&error, &selected);
    mixerUsable_ = error == 0 && !names.empty();
    if (mixerUsable_) {
        for (const std::wstring& n : names) ComboAdd(Combo2, n);
        // Entry n is mixer source n - 1: the source selected now is entry selected + 1.
        ComboSelect(Combo2, selected >= 0 && size_t(selected) < names.size() ? selected + 1 : 0);
    } else {
        ComboSelect(Combo2, 0);
        RECT r{};
        GetWindowRect(Item(Combo2), &r);
        MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        tips_.MakeToolTipEx(W(Form2TipText(Form2Tip::NoMixer)), Hwnd(), r);
    }
}

void Form2::FillPriorities() {
    ComboClear(Combo3);
    for (const PriorityEntry& e : PriorityEntries(setup_.windows2000OrLater)) {
        ComboAdd(Combo3, W(e.Text));
    }
    ComboSelect(Combo3, 0);
}

Form2Values Form2::ReadControls() const {
    Form2Values v;
    for (int i = 0; i < 4; ++i) v.Text1[i] = Utf8(ItemText(Text1(i)));
    for (int i = 0; i < 2; ++i) {
        v.HScroll1[i] = TrackPos(HScroll1(i));
        v.HScroll2[i] = TrackPos(HScroll2(i));
    }
    v.Option1 = std::max(0, CheckedRadio(Option1));
    v.Text2 = Utf8(ItemText(Text2));
    v.Check2 = IsChecked(Check2);
    v.Check3 = IsChecked(Check3);
    v.Check4 = IsChecked(Check4);
    v.Check5 = IsChecked(Check5);
    v.Check6 = IsChecked(Check6);
    v.Check7 = IsChecked(Check7);
    v.Option2 = std::max(0, CheckedRadio(Option2));
    v.Label11 = Utf8(ItemText(Label11));
    v.Combo1 = soundEntries_;
    v.Combo1Index = ComboSelection(Combo1);
    v.Combo2Count = ComboCount(Combo2);
    v.Combo2Index = std::max(0, ComboSelection(Combo2));
    for (const PriorityEntry& e : PriorityEntries(setup_.windows2000OrLater)) {
        v.Combo3Classes.push_back(e.Class);
    }
    v.Combo3Index = ComboSelection(Combo3);
    return v;
}

void Form2::WriteControls(const Form2Values& v) {
    for (int i = 0; i < 4; ++i) SetItemText(Text1(i), W(v.Text1[i]));
    for (int i = 0; i < 2; ++i) {
        SetTrackPos(HScroll1(i), v.HScroll1[i]);
        SetTrackPos(HScroll2(i), v.HScroll2[i]);
    }
    CheckRadio(Option1, v.Option1);
    SetItemText(Text2, W(v.Text2));
    SetChecked(Check2, v.Check2);
    SetChecked(Check3, v.Check3);
    SetChecked(Check4, v.Check4);
    SetChecked(Check5, v.Check5);
    SetChecked(Check6, v.Check6);
    SetChecked(Check7, v.Check7);
    CheckRadio(Option2, v.Option2);
    SetItemText(Label11, W(v.Label11));
    if (v.Combo1Index >= 0) ComboSelect(Combo1, v.Combo1Index);
    ComboSelect(Combo2, v.Combo2Index);
    if (v.Combo3Index >= 0) ComboSelect(Combo3, v.Combo3Index);
}

Form2Extra Form2::Extra() const {
    Form2Extra e;
    e.CompressorName = Utf8(compressorName_);
    e.DisplayDepth = displayDepth_;
    e.SoundAvailable = soundAvailable_;
    return e;
}

CaptureSettings Form2::Build() const { return BuildFromWindow(ReadControls(), Extra()); }

void Form2::Apply(const CaptureSettings& s) {
    Form2Values v = ReadControls();
    Form2Extra extra = Extra();
    ApplyToWindow(s, &v, &extra);
    if (extra.CompressorName.empty() && !compressorName_.empty()) {
        compressorName_.clear();
        cv_ = COMPVARS{};
    }
    WriteControls(v);
    SetSliderLabels();
    // The sound box was set from the record; its handler always runs.
    Check3Click();
}

void Form2::SetTextIfChanged(int id, const std::wstring& text) {
    // A static redraws itself on every new text, even the same one; a slider sends many.
    if (ItemText(id) != text) SetItemText(id, text);
}

void Form2::SetSliderLabels() {
    for (int i = 0; i < 2; ++i) {
        SetTextIfChanged(LabelHs1(i), W(HScroll1Label(i, TrackPos(HScroll1(i)))));
        SetTextIfChanged(LabelHs2(i), W(HScroll2Label(i, TrackPos(HScroll2(i)))));
    }
}

void Form2::ApplyEnables() {
    const Form2Enables e =
        EnableRules(ReadControls(), soundAvailable_, mixerUsable_, IsChecked(Check1(0)));
    Enable(Check1(1), e.Check1Client);
    for (int id : {Text1(0), Text1(1), LabelText1(0), LabelText1(1), LabelPosition}) {
        Enable(id, e.Position);
    }
    Enable(Check3, e.Check3);
    Enable(Combo1, e.Combo1);
    Enable(Combo2, e.Combo2);
    Enable(Check4, e.Check4);
}

void Form2::ShowPageOf(int frameIndex) {
    ShowPage(frameIndex + 1);
    if (ListSelection(List1) != frameIndex) ListSelect(List1, frameIndex);
}

void Form2::Check3Click() {
    ApplyEnables();
    ReCalc();
}

void Form2::DrawInfo() {
    SetTextIfChanged(Picture2, W(DrawInfoText(Build(), Utf8(compressorName_), input_)));
}

void Form2::InputDisplayClick() {
    input_.ShowClicks = IsChecked(Check8);
    input_.ShowKeys = IsChecked(Check9);
    if (!ReplaceFileBytes(W(setup_.paths->InputDisplayFile), InputDisplayFileText(input_)))
        RecMessage(Hwnd(), L"保存に失敗しました。", MB_ICONHAND);
    DrawInfo();
}

const VolumeFacts& Form2::Volume(const std::string& tqkPath) {
    // The free space of the movie's volume, asked again when the volume changes or a second
    // has passed: a slider sends many changes a second.
    const std::string root = VolumeRootOf(tqkPath);
    const DWORD now = GetTickCount();
    if (volumeKnown_ && root == volumeRoot_ && now - volumeTick_ < 1000) return volume_;
    VolumeFacts v;
    v.NtFamily = setup_.ntFamily;
    const std::wstring wroot = W(root);
    const wchar_t* rootArg = wroot.empty() ? nullptr : wroot.c_str();
    ULARGE_INTEGER freeBytes{};
    if (GetDiskFreeSpaceExW(rootArg, &freeBytes, nullptr, nullptr))
        v.FreeBytes = freeBytes.QuadPart;
    wchar_t fs[MAX_PATH + 1] = L"";
    if (GetVolumeInformationW(rootArg, nullptr, 0, nullptr, nullptr, nullptr, fs, MAX_PATH + 1)) {
        v.FileSystem = Utf8(fs);
    }
    if (!v.NtFamily) {
        MEMORYSTATUSEX m{};
        m.dwLength = sizeof m;
        if (GlobalMemoryStatusEx(&m)) v.TotalPhysicalMemory = m.ullTotalPhys;
    }
    volume_ = v;
    volumeRoot_ = root;
    volumeTick_ = now;
    volumeKnown_ = true;
    return volume_;
}

void Form2::ReCalc() {
    const CaptureSettings s = Build();
    const double total = DiskEstimateBytes(s);
    const bool red = EstimateIsRed(total, DiskLimit(Volume(s.TqkPath), s.AsyncWrite));
    const std::wstring text = W(EstimateText(total));
    if (red != estimateRed_ || ItemText(Label9) != text) {
        estimateRed_ = red;
        SetItemText(Label9, text);
        InvalidateRect(Item(Label9), nullptr, TRUE);
    }
    SetTextIfChanged(Picture2, W(DrawInfoText(s, Utf8(compressorName_), input_)));
}

bool Form2::ValidateBox(int index) {
    const std::optional<int32_t> v = tqk::rec::ValidateBox(index, Utf8(ItemText(Text1(index))));
    if (!v) {
        validating_ = true;
        RecMessage(Hwnd(), L"不正な数字です。", MB_OK);
        // Still validating while the focus goes back: the box it leaves is not checked.
        SetFocus(Item(Text1(index)));
        SendMessageW(Item(Text1(index)), EM_SETSEL, 0, -1);
        validating_ = false;
        return false;
    }
    const std::wstring text = std::to_wstring(*v);
    if (ItemText(Text1(index)) != text) SetItemText(Text1(index), text);
    Preview();
    // The size and position change the estimate and the information too.
    ReCalc();
    return true;
}

bool Form2::ValidateAllBoxes() {
    for (int i = 0; i < 4; ++i) {
        if (!tqk::rec::ValidateBox(i, Utf8(ItemText(Text1(i))))) {
            ShowPageOf(1);
            return ValidateBox(i);
        }
    }
    return true;
}

void Form2::Preview() {
    HWND box = Item(Picture1);
    RECT rc{};
    GetClientRect(box, &rc);
    const int pw = rc.right, ph = rc.bottom;
    if (pw <= 0 || ph <= 0) return;
    tqk::WindowDc screen(nullptr, GetDC(nullptr));
    if (!screen) return;
    if (!previewDc_ || previewSize_.cx != pw || previewSize_.cy != ph) {
        previewSel_.reset();
        previewDc_.Reset(CreateCompatibleDC(screen.Get()));
        previewBitmap_.Reset(CreateCompatibleBitmap(screen.Get(), pw, ph));
        if (previewDc_ && previewBitmap_)
            previewSel_.emplace(previewDc_.Get(), previewBitmap_.Get());
        previewSize_ = SIZE{pw, ph};
    }
    if (previewDc_ && previewBitmap_) {
        FillRect(previewDc_.Get(), &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        const CaptureSettings s = Build();
        if (s.W > 0 && s.H > 0) {
            const double scale = std::min(double(pw) / s.W, double(ph) / s.H);
            const int dw = std::max(1, int(s.W * scale)), dh = std::max(1, int(s.H * scale));
            SetStretchBltMode(previewDc_.Get(), COLORONCOLOR);
            StretchBlt(previewDc_.Get(), (pw - dw) / 2, (ph - dh) / 2, dw, dh, screen.Get(), s.X,
                       s.Y, s.W, s.H, SRCCOPY);
        }
    }
    InvalidateRect(box, nullptr, FALSE);
}

void Form2::DrawPreview(const DRAWITEMSTRUCT& d) {
    if (previewDc_) {
        BitBlt(d.hDC, 0, 0, previewSize_.cx, previewSize_.cy, previewDc_.Get(), 0, 0, SRCCOPY);
    } else {
        FillRect(d.hDC, &d.rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
}

RecorderContext Form2::Context() {
    RecorderContext c;
    c.owner = Hwnd();
    c.paths = setup_.paths;
    c.sound = soundAvailable_ ? setup_.sound : nullptr;
    c.positions = setup_.positions;
    c.compressor = compressorName_.empty() ? nullptr : &cv_;
    c.input = input_;
    c.snapshots = &snapshots_;
    return c;
}

void Form2::RegionPick() {
    const std::optional<PickedRegion> r =
        PickRegion(Hwnd(), IsChecked(Check1(0)), IsChecked(Check1(1)));
    if (!r) return;
    SetItemText(Text1(0), std::to_wstring(r->X));
    SetItemText(Text1(1), std::to_wstring(r->Y));
    SetItemText(Text1(2), std::to_wstring(SizeCheck(r->W)));
    SetItemText(Text1(3), std::to_wstring(r->H));
    Preview();
    DrawInfo();
    SetForegroundWindow(Hwnd());
}

void Form2::Browse() {
    const std::wstring current = ItemText(Text2);
    const std::wstring name =
        RecSaveFile(Hwnd(), L"Taviroファイル|*.TQK", W(FolderOf(Utf8(current))), L"");
    if (name.empty()) return;
    SetItemText(Text2, name);
    SetFocus(Item(Text2));
    SendMessageW(Item(Text2), EM_SETSEL, name.size(), name.size());
    ReCalc();
}

void Form2::Trial() {
    if (!ValidateAllBoxes()) return;
    activity_ = RecorderActivity::Trial;
    const std::optional<std::wstring> report = RunTrial(Context(), Build());
    activity_ = RecorderActivity::Busy;
    ShowWindow(Hwnd(), SW_SHOW);
    if (report) RecMessage(Hwnd(), *report, MB_ICONINFORMATION, L"キャプチャ試行結果");
}

namespace {

// The movie's name can be used: a file name the file system takes, in a folder that exists.
bool CheckFileOK(const std::string& path) {
    if (!IsUsableFileNameText(path)) return false;
    const std::string folder = FolderOf(path);
    if (!folder.empty() && !FolderExists(Wide(folder))) return false;
    const DWORD a = GetFileAttributesW(Wide(path).c_str());
    if (a != INVALID_FILE_ATTRIBUTES) return !(a & FILE_ATTRIBUTE_DIRECTORY);
    const DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND;
}

// A relative save path means the program's folder, for the movie, its sound and its AVI alike:
// the sound helper is another process, with a current folder of its own, and the recording's
// later steps must find the files where the run wrote them. The record the window saves keeps
// what the user typed.
CaptureSettings InProgramFolder(CaptureSettings s, const std::string& appFolder) {
    const std::wstring folder = Wide(appFolder);
    for (std::string* path : {&s.TqkPath, &s.AviPath, &s.WavePath, &s.WaveScratchPath})
        if (!path->empty()) *path = Utf8FromWide(MoviePathIn(folder, Wide(*path)));
    return s;
}

}  // namespace

void Form2::Record() {
    if (!ValidateAllBoxes()) return;
    const CaptureSettings s = InProgramFolder(Build(), Context().paths->AppFolder);
    if (!CheckFileOK(s.TqkPath)) {
        RecMessage(Hwnd(), W(InvalidPathMessage(s.TqkPath)), MB_ICONHAND);
        return;
    }
    if (s.MakesAvi() && ItemText(Label11).empty()) {
        RecMessage(Hwnd(), W(kChooseCompressorMessage), MB_ICONHAND);
        return;
    }
    if (!SoundPathsFit(s, [](const std::string& p) { return AnsiFromWide(W(p)).size(); })) {
        RecMessage(Hwnd(), W(kSoundPathTooLongMessage), MB_ICONHAND);
        return;
    }
    const std::string question =
        OverwriteQuestion(s, [](const std::string& f) { return FileExists(Wide(f)); });
    if (!question.empty() && RecMessage(Hwnd(), W(question), MB_ICONQUESTION | MB_YESNO) != IDYES) {
        return;
    }
    activity_ = RecorderActivity::Recording;
    RecordAndFinish(Context(), s);
    activity_ = RecorderActivity::Busy;
    ShowWindow(Hwnd(), SW_SHOW);
    volumeKnown_ = false;
    ReCalc();
}

void Form2::ChooseCompressor() {
    AVIC avic;
    if (avic.AVISelectCompressor(Hwnd(), &cv_) == 1) {
        compressorName_ = avic.CVName();
        SetItemText(Label11, compressorName_);
    }
    DrawInfo();
}

void Form2::SaveSettings() {
    if (!ValidateAllBoxes()) return;
    const CaptureSettings s = Build();
    const std::wstring folder = W(setup_.paths->SettingsFolder);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = RecSaveFile(Hwnd(), L"TVR設定ファイル|*.TQP", folder, L"default.TQP");
    if (path.empty()) return;
    if (!SaveSettingsFile(path, s)) RecMessage(Hwnd(), L"保存に失敗しました。", MB_ICONHAND);
}

void Form2::LoadSettings() {
    const std::wstring path =
        RecOpenFile(Hwnd(), L"TVR設定ファイル|*.TQP", W(setup_.paths->SettingsFolder));
    if (path.empty()) return;
    CaptureSettings s;
    if (LoadSettingsFile(path, &s) != TqpStatus::kOk) {
        RecMessage(Hwnd(), L"読み込みに失敗しました。", MB_ICONHAND);
        return;
    }
    Apply(s);
    ReCalc();
}

void Form2::RestoreDefaults() {
    Apply(DefaultSettings(setup_.ntFamily));
    DrawInfo();
}

void Form2::OpenPlayer() {
    ShellExecuteW(nullptr, L"open", W(setup_.paths->PlayerPath).c_str(), ItemText(Text2).c_str(),
                  nullptr, SW_SHOWNORMAL);
}

void Form2::OpenHelp() {
    ShellExecuteW(Hwnd(), L"open", W(setup_.paths->HelpPage).c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

void Form2::ShowAbout() {
    Form4 about;
    about.Show(Hwnd());
}

namespace {

UINT PlatformModifiers(uint8_t mods) {
    return ((mods & kModShift) ? MOD_SHIFT : 0) | ((mods & kModCtrl) ? MOD_CONTROL : 0) |
           ((mods & kModAlt) ? MOD_ALT : 0);
}

// The key fields tell the window when they get or lose the keyboard (they send no
// notification of their own for it).
LRESULT CALLBACK KeyFieldProc(HWND field, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                              DWORD_PTR owner) {
    if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS)
        PostMessageW(reinterpret_cast<HWND>(owner), kMsgHotkeyFieldFocus, 0, 0);
    else if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(field, &KeyFieldProc, id);
    return DefSubclassProc(field, msg, wp, lp);
}

// Keys whose scan code is an extended one: the key field names them by it.
bool IsExtendedKey(uint8_t key) {
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE ||
           key == VK_DIVIDE || key == VK_NUMLOCK || key == VK_SNAPSHOT || key == VK_APPS;
}

// A key field's value as the control keeps it (the key in the low byte, HOTKEYF_ bits above).
WPARAM FieldValue(const Hotkey& k) {
    return MAKEWORD(k.Key, k.Mods | (IsExtendedKey(k.Key) ? HOTKEYF_EXT : 0));
}

Hotkey FieldKey(HWND field, bool on) {
    const WORD v = LOWORD(SendMessageW(field, HKM_GETHOTKEY, 0, 0));
    return Hotkey{on, LOBYTE(v), uint8_t(HIBYTE(v) & kModAll)};
}

// A visible box or dialog (class #32770: message boxes and dialogs) among the thread's windows.
BOOL CALLBACK FindOpenBox(HWND w, LPARAM found) {
    wchar_t cls[16] = L"";
    GetClassNameW(w, cls, 16);
    if (!IsWindowVisible(w) || wcscmp(cls, L"#32770") != 0) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

BOOL CALLBACK FindRecordingWindow(HWND w, LPARAM out) {
    wchar_t cls[64] = L"";
    GetClassNameW(w, cls, 64);
    if (wcscmp(cls, form1_ids::kClassName) != 0) return TRUE;
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
}

// A box or dialog of this thread is open.
bool ThreadBoxOpen() {
    bool open = false;
    EnumThreadWindows(GetCurrentThreadId(), &FindOpenBox, reinterpret_cast<LPARAM>(&open));
    return open;
}

// The recording window of this recorder (its thread's), or nullptr.
HWND RecordingWindowOfThread() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindRecordingWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

void Form2::LoadHotkeys() {
    if (const auto text = ReadFileBytes(W(setup_.paths->HotkeyFile), 64 * 1024))
        hotkeys_ = ParseHotkeyFile(*text);
    ShowHotkeys();
    for (int r = 0; r < kHotkeyRoles; ++r) {
        SetWindowSubclass(Item(HotKey1(r)), &KeyFieldProc, 0, reinterpret_cast<DWORD_PTR>(Hwnd()));
    }
    // Registered at once; the keys another program holds are told once the window shows.
    if (!RegisterHotkeys().empty()) PostMessageW(Hwnd(), kMsgHotkeysTaken, 0, 0);
}

void Form2::SaveHotkeys() {
    if (!ReplaceFileBytes(W(setup_.paths->HotkeyFile), HotkeyFileText(hotkeys_)))
        RecMessage(Hwnd(), L"保存に失敗しました。", MB_ICONHAND);
}

std::vector<std::string> Form2::RegisterHotkeys() {
    UnregisterHotkeys();
    std::vector<std::string> taken;
    for (int r = 0; r < kHotkeyRoles; ++r) {
        const Hotkey& k = hotkeys_.Of(HotkeyRole(r));
        SetTextIfChanged(LabelHotkeyState(r), L"");
        if (!k.On) continue;
        const UINT mods = PlatformModifiers(k.Mods);
        // Without repeats, so a held key does not start and stop at once; systems before
        // Windows 7 refuse the flag and get the key without it.
        bool ok = RegisterHotKey(Hwnd(), kHotkeyIdBase + r, mods | MOD_NOREPEAT, k.Key) != FALSE;
        if (!ok && GetLastError() != ERROR_HOTKEY_ALREADY_REGISTERED)
            ok = RegisterHotKey(Hwnd(), kHotkeyIdBase + r, mods, k.Key) != FALSE;
        hotkeyRegistered_[r] = ok;
        if (!ok) {
            taken.push_back(HotkeyName(k));
            SetTextIfChanged(LabelHotkeyState(r), W(kHotkeyTakenState));
        }
    }
    return taken;
}

void Form2::UnregisterHotkeys() {
    for (int r = 0; r < kHotkeyRoles; ++r) {
        if (hotkeyRegistered_[r]) UnregisterHotKey(Hwnd(), kHotkeyIdBase + r);
        hotkeyRegistered_[r] = false;
    }
}

void Form2::ShowHotkeys() {
    for (int r = 0; r < kHotkeyRoles; ++r) {
        const Hotkey& k = hotkeys_.Of(HotkeyRole(r));
        SetChecked(CheckHotkey(r), k.On);
        SendMessageW(Item(HotKey1(r)), HKM_SETHOTKEY, FieldValue(k), 0);
        Enable(HotKey1(r), k.On);
    }
}

void Form2::TellTaken(const std::vector<std::string>& names) {
    if (names.empty()) return;
    RecMessage(Hwnd(), W(HotkeyTakenMessage(names[0], names.size() > 1 ? names[1] : "")),
               MB_ICONEXCLAMATION);
}

void Form2::ApplyHotkeys() {
    SaveHotkeys();
    // While a key field has the keyboard the keys wait until it leaves it.
    if (hotkeysSuspended_)
        hotkeysChanged_ = true;
    else
        TellTaken(RegisterHotkeys());
}

void Form2::HotkeyFieldFocus() {
    HWND focus = GetFocus();
    const bool inField = focus && (focus == Item(HotKey1(0)) || focus == Item(HotKey1(1)));
    if (inField == hotkeysSuspended_) return;
    hotkeysSuspended_ = inField;
    if (inField) {
        // The keys pressed in the field are for the field, not for the recorder.
        UnregisterHotkeys();
        return;
    }
    // A key the field refused gives way to the key in use again.
    ShowHotkeys();
    const std::vector<std::string> taken = RegisterHotkeys();
    if (hotkeysChanged_) TellTaken(taken);
    hotkeysChanged_ = false;
}

void Form2::HotkeyEdited(HotkeyRole role) {
    const int r = int(role);
    const HotkeyRole other =
        role == HotkeyRole::StartStop ? HotkeyRole::PauseResume : HotkeyRole::StartStop;
    const Hotkey wanted = FieldKey(Item(HotKey1(r)), hotkeys_.Of(role).On);
    const HotkeyProblem p = HotkeyProblemOf(wanted, hotkeys_.Of(other));
    // Modifiers held alone: the user is still pressing the key.
    if (p == HotkeyProblem::NoKey) return;
    if (p != HotkeyProblem::Ok) {
        // The key in use stays until a usable one is pressed; the line says why.
        SetTextIfChanged(LabelHotkeyState(r), W(HotkeyProblemText(p, other)));
        return;
    }
    if (wanted == hotkeys_.Of(role)) {
        const bool taken = wanted.On && !hotkeysSuspended_ && !hotkeyRegistered_[r];
        SetTextIfChanged(LabelHotkeyState(r), taken ? W(kHotkeyTakenState) : L"");
        return;
    }
    hotkeys_.Of(role) = wanted;
    SetTextIfChanged(LabelHotkeyState(r), L"");
    ApplyHotkeys();
}

void Form2::HotkeyOnOff(HotkeyRole role) {
    const int r = int(role);
    const HotkeyRole other =
        role == HotkeyRole::StartStop ? HotkeyRole::PauseResume : HotkeyRole::StartStop;
    Hotkey k = hotkeys_.Of(role);
    k.On = IsChecked(CheckHotkey(r));
    // Turned on with the other key's own key: the default instead, unless that one is taken too.
    if (k.On && HotkeyProblemOf(k, hotkeys_.Of(other)) != HotkeyProblem::Ok) {
        const Hotkey d = HotkeySettings{}.Of(role);
        k.Key = d.Key;
        k.Mods = d.Mods;
        if (HotkeyProblemOf(k, hotkeys_.Of(other)) != HotkeyProblem::Ok) {
            SetChecked(CheckHotkey(r), false);
            SetTextIfChanged(LabelHotkeyState(r),
                             W(HotkeyProblemText(HotkeyProblem::SameAsOther, other)));
            return;
        }
    }
    hotkeys_.Of(role) = k;
    ShowHotkeys();
    ApplyHotkeys();
}

void Form2::HotkeyDefaults() {
    hotkeys_ = HotkeySettings{};
    ShowHotkeys();
    ApplyHotkeys();
}

void Form2::OnHotkey(int hotkeyId) {
    const int r = hotkeyId - kHotkeyIdBase;
    if (r < 0 || r >= kHotkeyRoles) return;
    HWND form1 = RecordingWindowOfThread();
    const bool shown = form1 && IsWindowVisible(form1);
    HWND target = activity_ == RecorderActivity::Recording ? form1 : Hwnd();
    const bool boxOpen = ThreadBoxOpen() || !target || !IsWindowEnabled(target);
    switch (HotkeyActionFor(HotkeyRole(r), activity_, boxOpen, shown)) {
    case HotkeyAction::None: break;
    case HotkeyAction::Record: OnCommand(Command5, BN_CLICKED, Item(Command5)); break;
    case HotkeyAction::StopKeep:
        PostMessageW(form1, WM_COMMAND, MAKEWPARAM(form1_ids::StopKeep, BN_CLICKED), 0);
        break;
    case HotkeyAction::Pause:
        PostMessageW(form1, WM_COMMAND, MAKEWPARAM(form1_ids::Command1(3), BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(form1, form1_ids::Command1(3))));
        break;
    }
}

void Form2::OnDestroy() {
    UnregisterHotkeys();
    snapshots_.Stop();  // the recorder closes: an unfinished snapshot file goes
}

void Form2::OnCommand(int id, int code, HWND /*control*/) {
    // While a handler runs (a box, a dialog, a recording) the hotkeys find the window busy.
    struct Busy {
        RecorderActivity& a;
        RecorderActivity was;
        explicit Busy(RecorderActivity& activity) : a(activity), was(activity) {
            if (a == RecorderActivity::Idle) a = RecorderActivity::Busy;
        }
        ~Busy() { a = was; }
    } busy(activity_);
    if (id == List1) {
        if (code == LBN_SELCHANGE) {
            const int page = ListSelection(List1);
            if (page >= 0) ShowPageOf(page);
        }
        return;
    }
    if (const int i = Text1.IndexOf(id); i >= 0) {
        if (code == EN_SETFOCUS) SendMessageW(Item(id), EM_SETSEL, 0, -1);
        // Checked when the focus moves on inside this window (not when another program is
        // activated); the record, trial and save buttons check all four boxes again.
        if (code == EN_KILLFOCUS && !validating_ && GetFocus() && IsChild(Hwnd(), GetFocus())) {
            ValidateBox(i);
        }
        return;
    }
    if (id == Text2) {
        if (code == EN_KILLFOCUS) {
            volumeKnown_ = false;
            ReCalc();
        }
        return;
    }
    if (id == Combo1) {
        if (code == CBN_SELCHANGE) ReCalc();
        return;
    }
    if (const int i = HotKey1.IndexOf(id); i >= 0) {
        if (code == EN_CHANGE) HotkeyEdited(HotkeyRole(i));
        return;
    }
    if (code != BN_CLICKED) return;
    if (Option1.IndexOf(id) >= 0 || id == Check2 || id == Check4) {
        DrawInfo();
    } else if (Option2.IndexOf(id) >= 0 || id == Check6 || id == Check7) {
        ReCalc();
    } else if (id == Check1(0)) {
        ApplyEnables();
    } else if (id == Check3) {
        Check3Click();
    } else if (id == Check8 || id == Check9) {
        InputDisplayClick();
    } else if (const int k = CheckHotkey.IndexOf(id); k >= 0) {
        HotkeyOnOff(HotkeyRole(k));
    } else if (id == Command13) {
        HotkeyDefaults();
    } else if (id == Check5) {
        ApplyEnables();
        DrawInfo();
    } else if (id == Command1) {
        RegionPick();
    } else if (id == Command2) {
        Browse();
    } else if (id == Command3) {
        Trial();
    } else if (id == Command4) {
        OpenPlayer();
    } else if (id == Command5) {
        Record();
    } else if (id == Command6) {
        Preview();
    } else if (id == Command7) {
        SaveSettings();
    } else if (id == Command8) {
        ChooseCompressor();
    } else if (id == Command9) {
        RestoreDefaults();
    } else if (id == Command10) {
        LoadSettings();
    } else if (id == Command11) {
        OpenHelp();
    } else if (id == Command12) {
        ShowAbout();
    }
}

void Form2::OnScroll(const tqk::ScrollEvent& e) {
    if (HScroll1.IndexOf(e.id) >= 0 || HScroll2.IndexOf(e.id) >= 0) {
        SetSliderLabels();
        ReCalc();
    }
}

LRESULT Form2::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_HOTKEY) {
        OnHotkey(int(wp));
        return 0;
    }
    if (msg == kMsgHotkeysTaken) {
        std::vector<std::string> taken;
        for (int r = 0; r < kHotkeyRoles; ++r) {
            const Hotkey& k = hotkeys_.Of(HotkeyRole(r));
            if (k.On && !hotkeyRegistered_[r] && !hotkeysSuspended_) taken.push_back(HotkeyName(k));
        }
        TellTaken(taken);
        return 0;
    }
    if (msg == kMsgHotkeyFieldFocus) {
        HotkeyFieldFocus();
        return 0;
    }
    if (msg == WM_DISPLAYCHANGE) {
        displayDepth_ = DisplayDepth();
        volumeKnown_ = false;
    } else if (msg == WM_DRAWITEM) {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (d && int(d->CtlID) == Picture1) {
            DrawPreview(*d);
            return TRUE;
        }
    } else if (msg == WM_CTLCOLORSTATIC) {
        HWND control = reinterpret_cast<HWND>(lp);
        HDC dc = reinterpret_cast<HDC>(wp);
        if (control == Item(Label9)) {
            SetTextColor(dc, estimateRed_ ? RGB(255, 0, 0) : GetSysColor(COLOR_BTNTEXT));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        if (control == Item(LabelHotkeyState(0)) || control == Item(LabelHotkeyState(1))) {
            SetTextColor(dc, RGB(255, 0, 0));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        if (control == Item(Picture2)) {
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(infoBrush_.Get());
        }
    }
    return tqk::Window::OnMessage(msg, wp, lp);
}

}  // namespace tqk::rec
