// A movie as its readers take it (header checks and the scan of its record heads), and the
// repair of one whose recorder stopped early: its header patched to the whole seconds it holds
// and the rest of the file cut. Shared by the tool's "repair" and the recorder's start-up.
// Portable: no <windows.h>; paths are UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "tqk_format.h"
#include "tqk_stdio.h"

namespace tqk {

// What the record scan found, and the seconds the header promised.
struct MovieFacts {
    RecordScan scan;
    int32_t headerSec = 0;
};

// Opens a movie with the playback checks and scans its records: kOk with h->sec the seconds
// readers play (fewer for a movie cut short) and the file right behind the header, or a code.
[[nodiscard]] int32_t OpenMovieForPlay(const std::string& utf8Path, StdioFile* file, MovieHeader* h,
                                       int64_t* length, MovieFacts* facts = nullptr);

enum class RepairOutcome {
    kWhole,          // every record the header promises is there: nothing changed
    kRepaired,       // header patched to the whole seconds present, the rest cut
    kDamaged,        // something other than a cut lies behind the last whole record
    kNoWholeSecond,  // cut short before its first whole second: nothing to keep
    kReadFailed,     // the movie cannot be read (code, failedRecord)
    kWriteFailed,    // the header or the length could not be changed (error)
};

struct MovieRepair {
    RepairOutcome outcome = RepairOutcome::kReadFailed;
    int32_t code = 0;           // the result code of a movie that cannot be read
    int64_t failedRecord = -1;  // the record whose reading failed; -1: the header or the file
    int32_t fps = 0;
    int32_t headerSec = 0;  // what the header promised
    int32_t keptSec = 0;    // what it plays (after a repair: what it holds)
    uint64_t frames = 0;    // frames unpacked
    uint64_t records = 0;   // whole records present
    uint64_t bytes = 0;     // the file's length after a repair
    std::string error;      // what failed when writing
};

// Unpacks every record readers play and, for a movie cut short, patches its header and cuts
// the file right behind the last record of a whole second.
MovieRepair RepairMovie(const std::string& utf8Path);

}  // namespace tqk
