// Control, menu and timer ids of the player window, shared by the window and its tests.
#pragma once

#include "control_ids.h"

namespace tqk::player_ids {

inline constexpr int Picture1 = 101;
inline constexpr int Frame1 = 102;
inline constexpr tqk::IdBlock Check1{110, 3};  // 再生, 一時停止, 早送り
inline constexpr int Command1 = 120;           // 停止
inline constexpr int Picture2 = 121;           // the position bar
inline constexpr int Label1 = 122;             // the status line
inline constexpr int Label2 = 123;             // the marked span
static_assert(tqk::IdsValid({Picture1, Frame1, Check1, Command1, Picture2, Label1, Label2}),
              "ids unique, not 1-7, not 0xFFFF");

// Menu commands.
inline constexpr int MenuOpen = 201;
inline constexpr int MenuExit = 202;
inline constexpr int MenuPlay = 211;
inline constexpr int MenuFastForward = 212;
inline constexpr int MenuPause = 213;
inline constexpr int MenuStop = 214;
inline constexpr int MenuMarkIn = 215;      // 開始点
inline constexpr int MenuMarkOut = 216;     // 終了点
inline constexpr int MenuClearMarks = 217;  // 範囲の解除
inline constexpr int MenuExport = 221;
inline constexpr int MenuExportGif = 222;  // TQK→GIF
inline constexpr int MenuSaveSpan = 225;   // 範囲を保存
static_assert(tqk::IdsValid({MenuOpen, MenuExit, MenuPlay, MenuFastForward, MenuPause, MenuStop,
                             MenuMarkIn, MenuMarkOut, MenuClearMarks, MenuExport, MenuExportGif,
                             MenuSaveSpan, Picture1, Frame1, Check1, Command1, Picture2, Label1,
                             Label2}),
              "menu ids apart from the controls'");

inline constexpr unsigned Timer1 = 1, Timer2 = 2, Timer3 = 3;
// The walk ahead through the open movie that takes the seek snapshots, while no play runs.
inline constexpr unsigned TimerPrepare = 4;

// The window's class and its caption without a movie.
inline constexpr wchar_t kClassName[] = L"TaviroPlayerForm1";
inline constexpr wchar_t kInitialCaption[] = L"TQK Player";

}  // namespace tqk::player_ids
