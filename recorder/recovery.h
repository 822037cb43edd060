// What an unfinished recording left in its save folder, found and repaired when the recorder
// starts: a movie whose header promises more than it holds (its recorder died; the mapped
// writer's reservation may still stand at full size) is cut to its whole seconds, and its WAV
// made from the sound helper's scratch file when the helper died before writing it, cut or
// padded to the seconds the movie keeps. Portable: no <windows.h>; paths and texts are UTF-8.
#pragma once

#include <string>
#include <vector>

#include "movie_repair.h"
#include "sound_recovery.h"

namespace tqk::rec {

struct RecoveredRecording {
    std::string moviePath;  // empty: a sound scratch file without its movie
    bool movieRepaired = false;
    MovieRepair movie;  // when movieRepaired, or when the repair failed
    bool movieFailed = false;
    snd::SoundRecovery sound;
};

// Repairs what unfinished recordings left in folder; one entry per recording it changed or
// could not repair. Movies cut short before their first whole second, damaged movies and
// scratch files without their note are left alone and not listed: there is nothing to restore.
std::vector<RecoveredRecording> RecoverFolder(const std::string& folder);

// The recorder's one message about it (lines ended by CR LF); empty when the list is.
std::string RecoveryMessageUtf8(const std::vector<RecoveredRecording>& items);

}  // namespace tqk::rec
