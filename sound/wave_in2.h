// WaveIn2: records PCM sound from the default wave-in device into a scratch file through two
// alternating buffers, then writes a RIFF/WAVE file whose sound length follows the recorded
// time. The device records on through a pause; the WAV holds only the recorded spans.
// Runs on the calling thread and returns when the recording is over.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tqk::snd {

// Called during the recording with the device position and the buffers written so far.
using WaveProgressFn = void(__stdcall*)(int32_t& position, int32_t& buffersWritten);

// Called once the recording has stopped, while the device's last sound comes in and the WAV
// file is written: how far the writing is, in thousandths (0 at the stop, 1000 when whole).
using WaveFinishingFn = void (*)(void* context, int32_t permille);

// Failures of the recording itself; positive results are the device's own error codes.
enum WaveIn2Error : int32_t {
    kWaveOk = 0,
    kWaveErrScratchCreate = -1,  // the scratch file could not be created
    kWaveErrScratchWrite = -2,   // a buffer could not be written to the scratch file
    kWaveErrWaveFile = -3,       // the WAV file could not be written
    kWaveErrMemory = -4,         // no memory for the capture buffers
    kWaveErrFormat = -5,         // not a PCM format a wave-in device records
};

struct WaveIn2Params {
    std::string WavePath;  // system ANSI code page
    int32_t LengthSec = 0;
    int32_t Bits = 16;
    int32_t SamplesPerSec = 44100;
    int32_t Channels = 2;
    int32_t BufferKb = 1000;
    WaveProgressFn Progress = nullptr;
    std::string ScratchPath;  // empty: TEMP folder + "_waverec.wavtemp"
    bool ProbeOnly = false;
    int32_t StartTime = 0;  // PerfMillis; do not start the device before it; <= 0: at once
    // Shared block mapping: 3 in its first field stops (the moment field: the most recorded
    // milliseconds kept, 0 all), 9 / 11 pause / resume at the moment and are answered with
    // 10 / 12; may be null.
    HANDLE Block = nullptr;
    // Recorder process: when it ends, the recording stops (at the pause, when paused) and its
    // WAV is written; may be null.
    HANDLE Recorder = nullptr;
    WaveFinishingFn Finishing = nullptr;
    void* FinishingContext = nullptr;
    // Tests only: lay the sound back at this clock ratio instead of the measured one (0).
    double ForcedClockRatio = 0;
    // Benchmarks only: the scratch file starts with this many seconds of a tone (in whole
    // buffers), counted as recorded before the device started, so that the stop of a long
    // recording can be timed without recording for an hour.
    double PreloadSec = 0;
};

// 0 on success, the device's error code when it cannot be opened, or a WaveIn2Error.
// retActualStartTime gets the PerfMillis (rounded) at which the device was started.
int32_t WaveIn2Record(const WaveIn2Params& p, int32_t* retActualStartTime);

}  // namespace tqk::snd
