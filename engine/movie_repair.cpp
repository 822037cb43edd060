#include "movie_repair.h"

#include <filesystem>
#include <system_error>

namespace tqk {

int32_t OpenMovieForPlay(const std::string& path, StdioFile* file, MovieHeader* h, int64_t* length,
                         MovieFacts* facts) {
    file->f = OpenForReading(path);
    if (!file->f) return kErrNoFile;
    StdioSource src(file->f);
    *length = src.Length();
    uint8_t head[kHeaderBytes];
    const size_t got = src.Read(head, kHeaderBytes);
    if (got < kHeaderBytes) return kErrBadFile;
    int32_t rc = DecodeHeader(head, h);
    if (rc == kOk) rc = CheckHeaderForPlay(*h);
    if (rc != kOk) return rc;
    StdioRandomSource random(file->f);
    const RecordScan found = ScanRecords(random, *h);
    if (facts) *facts = {found, h->sec};
    h->sec = PlayableSeconds(*h, found);
    if (std::fseek(file->f, long(kHeaderBytes), SEEK_SET) != 0) return kErrOpen;
    return kOk;
}

MovieRepair RepairMovie(const std::string& path) {
    MovieRepair r;
    MovieFacts facts;
    MovieHeader h;
    {
        StdioFile file;
        int64_t length = 0;
        r.code = OpenMovieForPlay(path, &file, &h, &length, &facts);
        if (r.code != kOk) return r;
        r.fps = h.fps;
        r.headerSec = facts.headerSec;
        r.keptSec = h.sec;
        r.records = facts.scan.records;
        StdioSource src(file.f);
        FrameReader reader;
        r.code = reader.Start(h);
        if (r.code != kOk) return r;
        const uint64_t frames = FrameCount(h);
        for (uint64_t i = 0; i < frames; ++i) {
            r.code = reader.ReadNext(src);
            if (r.code != kOk) {
                r.failedRecord = int64_t(i);
                return r;
            }
            ++r.frames;
        }
    }
    const RecordScan& scan = facts.scan;
    if (scan.end == RecordsEnd::kComplete) {
        r.outcome = RepairOutcome::kWhole;
        return r;
    }
    if (scan.end == RecordsEnd::kDamaged) {
        r.outcome = RepairOutcome::kDamaged;
        return r;
    }
    if (h.sec < 1) {
        r.outcome = RepairOutcome::kNoWholeSecond;
        return r;
    }
    r.outcome = RepairOutcome::kWriteFailed;
    {
        StdioFile file(OpenForUpdate(path));
        uint8_t field[4];
        StoreLE32(field, static_cast<uint32_t>(h.sec));
        if (!file.f || std::fseek(file.f, long(kOffSec), SEEK_SET) != 0 ||
            std::fwrite(field, 1, 4, file.f) != 4 || std::fflush(file.f) != 0) {
            r.code = kErrOpen;
            return r;
        }
    }
    std::error_code ec;
    std::filesystem::resize_file(std::filesystem::u8path(path), scan.secondsEnd, ec);
    if (ec) {
        r.error = "cannot cut the file: " + ec.message();
        return r;
    }
    r.outcome = RepairOutcome::kRepaired;
    r.bytes = scan.secondsEnd;
    return r;
}

}  // namespace tqk
