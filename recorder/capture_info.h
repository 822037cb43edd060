// The settings window's read-outs of a record: the capture information (DrawInfo's text) and
// the disk estimate (ReCalc's bytes, its limit and its colour). Portable: no <windows.h>;
// text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture_settings.h"
#include "input_display.h"

namespace tqk::rec {

// The seventeen items of the capture information, one string per line (blank lines empty).
// compressorName: the window's compressor name, shown when the record says one is chosen.
std::vector<std::string> DrawInfoLines(const CaptureSettings& s, const std::string& compressorName);
// The same joined by CR LF.
std::string DrawInfoText(const CaptureSettings& s, const std::string& compressorName);
// With the clicks and keys shown: their two lines follow "マウスに追従".
std::vector<std::string> DrawInfoLines(const CaptureSettings& s, const std::string& compressorName,
                                       const InputDisplay& input);
std::string DrawInfoText(const CaptureSettings& s, const std::string& compressorName,
                         const InputDisplay& input);

// The largest number of bytes the recording could need: every frame unpacked in the movie,
// unpacked in the AVI when one is made, and the sound.
double DiskEstimateBytes(const CaptureSettings& s);

// What the estimate is compared with.
struct VolumeFacts {
    uint64_t FreeBytes = 0;
    std::string FileSystem;  // "NTFS", "FAT32", ...
    bool NtFamily = true;
    uint64_t TotalPhysicalMemory = 0;
};
constexpr double kFat32Limit = 4294967296.0;
constexpr double kReserveBytes = 104857600.0;

// The limit: the free space; 4 GiB on a file system other than NTFS; the physical memory on
// the Windows 98 line when writing asynchronously.
double DiskLimit(const VolumeFacts& v, bool asyncWrite);
// True when the estimate and 100 MiB to spare do not fit the limit (shown in red).
bool EstimateIsRed(double total, double limit);
// "92,160,000 Bytes."
std::string EstimateText(double total);
// Digits grouped by three with commas ("###,###,###,###"); a total of 0 shows "0".
std::string GroupedNumber(double value);

// The root of the volume that holds a path: "C:\" from a drive letter, "\\server\share\"
// from a UNC path; empty when the path names neither (the current volume).
std::string VolumeRootOf(std::string_view path);

}  // namespace tqk::rec
