// A recorder of its own for the tests and benchmarks that start TaviroRec.exe: a folder with
// the program, its sound helper and its libraries, the record it starts with
// (settings\default.TQP), and a record over a rectangle at the screen's top left. The including
// target defines TAVIROREC_EXE, TAVIROWAVE_EXE, TAVIROAVI_DLL and TVR_DLL (the built files).
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

#include "capture_settings.h"
#include "test_files.h"

namespace tqk::test {

// Copies the recorder, its helper and its libraries into folder (ending in '\') and makes its
// settings folder. The name of the first file that could not be copied; empty when all were.
inline std::wstring StageRecorder(const std::wstring& folder) {
    const auto wide = [](const char* s) { return std::wstring(s, s + std::strlen(s)); };
    for (auto [from, name] :
         {std::pair{TAVIROREC_EXE, L"TaviroRec.exe"}, std::pair{TAVIROAVI_DLL, L"TaviroAvi.dll"},
          std::pair{TVR_DLL, L"TVR.dll"}, std::pair{TAVIROWAVE_EXE, L"TaviroWave.exe"}})
        if (!CopyFileW(wide(from).c_str(), (folder + name).c_str(), FALSE)) return name;
    CreateDirectoryW((folder + L"settings").c_str(), nullptr);
    return {};
}

// Writes s as the record the recorder staged in folder starts with.
[[nodiscard]] inline bool WriteStartRecord(const std::wstring& folder,
                                           const rec::CaptureSettings& s) {
    std::string bytes;
    return rec::EncodeTqp(s, rec::Utf8IdentityCodec(), &bytes) == rec::TqpStatus::kOk &&
           WriteBytes(folder + L"settings\\default.TQP", bytes);
}

// A record of the w x h rectangle at the screen's top left, without the cursor, into movie
// (its AVI and WAV named beside it); with 44.1 kHz 16-bit stereo sound when sound is set.
inline rec::CaptureSettings RecordAtTopLeft(int w, int h, int method, int fps, int sec,
                                            const std::string& movie, bool sound) {
    rec::CaptureSettings s = rec::DefaultSettings(true);
    s.X = 0;
    s.Y = 0;
    s.W = w;
    s.H = h;
    s.Fps = fps;
    s.Sec = sec;
    s.Method = method;
    s.DrawMouse = false;
    const rec::DerivedPaths p = rec::DerivePaths(movie);
    s.TqkPath = p.TqkPath;
    s.AviPath = p.AviPath;
    s.WavePath = sound ? p.WavePath : "";
    s.WaveScratchPath = sound ? p.WaveScratchPath : "";
    s.SamplesPerSec = 44100;
    s.BitsPerSample = 16;
    s.Channels = 2;
    return s;
}

}  // namespace tqk::test
