// Control ids of the settings window Form2, shared by the window and its tests.
#pragma once

#include "control_ids.h"

namespace tqk::form2_ids {

// The page list and the five stacked pages (group boxes), in frame-index order.
inline constexpr int List1 = 100;
inline constexpr tqk::IdBlock Frame1{110, 5};

// Page 0 "キャプチャ方法".
inline constexpr tqk::IdBlock Option1{120, 3};   // Type 0, Type 1, Type 2
inline constexpr tqk::IdBlock HScroll2{130, 2};  // CPU release count, time
inline constexpr tqk::IdBlock LabelHs2{135, 2};  // "回数 1", "時間 1"
inline constexpr int LabelPriority = 140;        // "プログラムの優先度"
inline constexpr int Combo3 = 141;
inline constexpr int Check7 = 142;

// Page 1 "キャプチャ領域".
inline constexpr tqk::IdBlock Text1{150, 4};       // X, Y, W, H
inline constexpr tqk::IdBlock LabelText1{155, 4};  // "X", "Y", "W", "H"
inline constexpr int LabelPosition = 160;          // "位置"
inline constexpr int LabelSize = 161;              // "サイズ"
inline constexpr tqk::IdBlock Check1{165, 2};      // window, client area
inline constexpr int Command1 = 170;               // region pick
inline constexpr int Check5 = 171;

// Page 2 "キャプチャ設定".
inline constexpr tqk::IdBlock HScroll1{180, 2};  // fps, seconds
inline constexpr tqk::IdBlock LabelHs1{185, 2};  // "30fps", "20sec"
inline constexpr int Check2 = 190;
inline constexpr int Check3 = 191;
inline constexpr int Combo1 = 192;
inline constexpr int Combo2 = 193;
inline constexpr int Check4 = 194;
inline constexpr int Check8 = 195;  // clicks shown in the frames
inline constexpr int Check9 = 196;  // keys shown in the frames

// Page 3 "保存方法".
inline constexpr tqk::IdBlock Option2{200, 3};  // AVI and TQK, AVI only, TQK only
inline constexpr int LabelCompressor = 205;     // "圧縮方法"
inline constexpr int Label11 = 206;             // the compressor name
inline constexpr int Command8 = 207;
inline constexpr int Check6 = 208;

// Page 4 "ホットキー": start/stop, pause/resume.
inline constexpr tqk::IdBlock CheckHotkey{250, 2};       // each key on or off
inline constexpr tqk::IdBlock HotKey1{252, 2};           // the key fields (msctls_hotkey32)
inline constexpr tqk::IdBlock LabelHotkeyState{254, 2};  // why a key is not in use; usually ""
inline constexpr int Command13 = 256;                    // "標準のキー"

// Outside the pages.
inline constexpr int LabelSaveTo = 220;  // "保存先"
inline constexpr int Text2 = 221;
inline constexpr int Command2 = 222;
inline constexpr int LabelPreview = 223;  // "プレビュー"
inline constexpr int Picture1 = 224;
inline constexpr int Picture2 = 225;
inline constexpr int Label12 = 226;  // "未圧縮時最大必要容量"
inline constexpr int Label9 = 227;
inline constexpr int Command3 = 230;
inline constexpr int Command5 = 231;
inline constexpr int Command4 = 232;
inline constexpr int Command6 = 233;
inline constexpr int Command7 = 234;
inline constexpr int Command9 = 235;
inline constexpr int Command10 = 236;
inline constexpr int Command11 = 237;
inline constexpr int Command12 = 238;
inline constexpr int LabelRemarks = 239;  // the informal remarks line

static_assert(
    tqk::IdsValid({List1,         Frame1,    Option1,     HScroll2,        LabelHs2,
                   LabelPriority, Combo3,    Check7,      Text1,           LabelText1,
                   LabelPosition, LabelSize, Check1,      Command1,        Check5,
                   HScroll1,      LabelHs1,  Check2,      Check3,          Combo1,
                   Combo2,        Check4,    Option2,     LabelCompressor, Label11,
                   Command8,      Check6,    LabelSaveTo, Text2,           Command2,
                   LabelPreview,  Picture1,  Picture2,    Label12,         Label9,
                   Command3,      Command5,  Command4,    Command6,        Command7,
                   Command9,      Command10, Command11,   Command12,       LabelRemarks,
                   Check8,        Check9,    CheckHotkey, HotKey1,         LabelHotkeyState,
                   Command13}),
    "ids unique, not 1-7, not 0xFFFF");

}  // namespace tqk::form2_ids
