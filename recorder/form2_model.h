// The settings window's choices as plain values, and the pure rules of the window: moving a
// record into the controls and back, the slider labels, the size rounding, the box
// validation, the sound-format and priority lists, the enable rules and the questions it asks
// before recording. Portable: no <windows.h>; text is UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture_settings.h"

namespace tqk::rec {

// Save modes, the index of Option2.
enum SaveMode : int { kAviAndTqk = 0, kAviOnly = 1, kTqkOnly = 2 };

// What the controls hold.
struct Form2Values {
    std::string Text1[4] = {"0", "0", "320", "240"};  // X, Y, W, H
    int32_t HScroll1[2] = {30, 20};                   // fps, sec
    int Option1 = 1;                                  // method
    int32_t HScroll2[2] = {1, 1};                     // CPU release count, time
    std::string Text2;                                // save to
    bool Check2 = true;                               // draw mouse
    bool Check3 = false;                              // sound
    bool Check4 = false;                              // delete wave
    bool Check5 = false;                              // follow mouse
    bool Check6 = false;                              // AVI at 24 bits
    bool Check7 = false;                              // asynchronous write
    int Option2 = kAviAndTqk;
    std::string Label11;              // compressor label
    std::vector<std::string> Combo1;  // sound formats
    int Combo1Index = -1;
    int Combo2Count = 1;  // recording sources, "標準(変更なし)" first
    int Combo2Index = 0;
    std::vector<int32_t> Combo3Classes;  // the priority class of each entry
    int Combo3Index = -1;
};

// The window's state beyond its controls.
struct Form2Extra {
    std::string CompressorName;   // empty: no compressor chosen
    int32_t DisplayDepth = 32;    // the screen's bits per pixel now
    bool SoundAvailable = false;  // the helper answered and the device has formats
};

// Record -> controls, in the window's order. The sound format is selected when the list offers
// it; the label says "未圧縮" for a record without a compressor (the window's own choice is
// the overload's below).
void ApplyToWindow(const CaptureSettings& s, Form2Values* v);
// The same, and the compressor: a record without one ("標準に戻す", a loaded file: the options
// are never saved) makes the window forget its choice, so that the label, the capture
// information and the export all say uncompressed; a record with one keeps the window's
// choice and its name in the label (without a choice the label is left as it is).
void ApplyToWindow(const CaptureSettings& s, Form2Values* v, Form2Extra* extra);

// Controls -> record. Sound is recorded only when the sound box is checked, sound is available
// and a format is selected: a record never asks a run for sound it cannot have.
CaptureSettings BuildFromWindow(const Form2Values& v, const Form2Extra& extra);

// "30fps", "20sec", "1:30sec" (from 61 seconds on: minutes ":" seconds, no padding).
std::string HScroll1Label(int index, int32_t value);
// "回数 1", "時間 0".
std::string HScroll2Label(int index, int32_t value);

// The width rounded up to the next multiple of 4.
int32_t SizeCheck(int32_t w);

// A position/size box's text after validation: the number at its start, rounded. W and H
// under 1, and numbers beyond 32 bits, are refused (nullopt). W is rounded up by SizeCheck.
std::optional<int32_t> ValidateBox(int index, std::string_view text);
// The number at the start of a text, as the window reads its boxes (blanks, a sign, digits,
// a fraction); nullopt when it does not fit 32 bits after rounding. 0 for no number.
std::optional<int32_t> BoxNumber(std::string_view text);

// One sound format of the wave-in device.
struct SoundFormat {
    uint32_t FormatBit;  // the device's capability bit
    int32_t SamplesPerSec;
    int32_t Channels;
    int32_t BitsPerSample;
};
// The twelve formats, poorest first (11.025 kHz mono 8-bit, mono 16-bit, stereo 8-bit,
// stereo 16-bit, then 22.050 kHz and 44.100 kHz).
const std::vector<SoundFormat>& AllSoundFormats();
// The entry text, half-width: "11.025kHz ﾓﾉﾗﾙ 8 ﾋﾞｯﾄ".
std::string SoundFormatText(const SoundFormat& f);
// The list for a device's format bits, richest first; empty when it reports none of them.
std::vector<std::string> SoundFormatEntries(uint32_t deviceFormats);
// An entry read back: characters 1-6 x 1000, "ｽﾃ" at 11-12 for two channels, the bits at
// 16-17. Zero fields for a text that does not have them.
SoundFormat ParseSoundFormat(std::string_view entry);

// The priority list: text and attached class; four entries before Windows 2000.
struct PriorityEntry {
    const char* Text;
    int32_t Class;
};
std::vector<PriorityEntry> PriorityEntries(bool windows2000OrLater);

// Which controls are enabled.
struct Form2Enables {
    bool Check1Client;  // Check1(1)
    bool Position;      // Text1(0), Text1(1) and their label
    bool Check3;
    bool Combo1;
    bool Combo2;
    bool Check4;
};
Form2Enables EnableRules(const Form2Values& v, bool soundAvailable, bool mixerUsable,
                         bool windowMode);

// The messages of the record button.
std::string InvalidPathMessage(const std::string& tqkPath);
constexpr const char* kChooseCompressorMessage =
    "AVIファイルを作成する場合は圧縮方法を選択してください。";
// The overwrite question for the files the record will write that exist already (the TQK,
// the AVI when one is made, the wave file when sound is on); empty when none exists.
std::string OverwriteQuestion(const CaptureSettings& s,
                              const std::function<bool(const std::string&)>& exists);

// A name that the file system cannot take, judged from its text alone: an empty file name,
// characters no file name may hold, a colon other than a drive's. (The Win32 side also checks
// that the folder exists.)
bool IsUsableFileNameText(std::string_view path);

}  // namespace tqk::rec
