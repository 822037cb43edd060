#include "recovery.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

namespace tqk::rec {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool EndsWith(const std::string& lowerName, const char* lowerEnd) {
    const std::string end(lowerEnd);
    return lowerName.size() > end.size() &&
           lowerName.compare(lowerName.size() - end.size(), end.size(), end) == 0;
}

// The seconds a movie plays (its facts into *facts), or -1 when it is no movie a reader takes.
// The file is closed again.
int32_t PlayableSecondsOf(const std::string& path, MovieFacts* facts = nullptr) {
    StdioFile file;
    MovieHeader h;
    int64_t length = 0;
    return OpenMovieForPlay(path, &file, &h, &length, facts) == kOk ? h.sec : -1;
}

bool SoundWorthTelling(const snd::SoundRecovery& s) {
    return s.outcome == snd::SoundOutcome::kRebuilt || s.outcome == snd::SoundOutcome::kFitted ||
           s.outcome == snd::SoundOutcome::kFailed;
}

std::string SecondsText(double seconds) {
    char text[32];
    const double whole = double(int64_t(seconds + 0.05));
    if (std::abs(seconds - whole) < 0.05)
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(whole));
    else
        std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

}  // namespace

std::vector<RecoveredRecording> RecoverFolder(const std::string& folder) {
    std::vector<RecoveredRecording> out;
    // Movies and sound scratch files by the base name they share (lower case: the platform's
    // names are case-blind).
    std::map<std::string, std::string> movies;   // base -> movie path
    std::map<std::string, std::string> scratch;  // base -> WAV path of the scratch file
    std::error_code ec;
    for (fs::directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string path = it->path().u8string();
        const std::string lower = Lower(path);
        if (EndsWith(lower, ".tqk")) {
            movies[lower.substr(0, lower.size() - 4)] = path;
        } else if (EndsWith(lower, ".wav.wavtemp")) {
            scratch[lower.substr(0, lower.size() - 12)] = path.substr(0, path.size() - 8);
        }
    }
    for (const auto& [base, moviePath] : movies) {
        MovieFacts facts;
        if (PlayableSecondsOf(moviePath, &facts) < 1 || facts.scan.end != RecordsEnd::kCutShort)
            continue;
        RecoveredRecording r;
        r.moviePath = moviePath;
        r.movie = RepairMovie(moviePath);
        r.movieRepaired = r.movie.outcome == RepairOutcome::kRepaired;
        r.movieFailed = !r.movieRepaired;
        const auto s = scratch.find(base);
        const std::string wave = s != scratch.end() ? s->second : snd::WavePathForMovie(moviePath);
        if (r.movieRepaired) r.sound = snd::RecoverSound(wave, r.movie.keptSec, true);
        if (s != scratch.end()) scratch.erase(s);
        out.push_back(r);
    }
    // Scratch files whose movie was whole: the helper died, the recorder did not.
    for (const auto& [base, wave] : scratch) {
        RecoveredRecording r;
        const auto m = movies.find(base);
        int32_t seconds = -1;
        if (m != movies.end()) {
            r.moviePath = m->second;
            seconds = PlayableSecondsOf(m->second);
        }
        r.sound = snd::RecoverSound(wave, seconds, false);
        if (SoundWorthTelling(r.sound)) out.push_back(r);
    }
    return out;
}

std::string RecoveryMessageUtf8(const std::vector<RecoveredRecording>& items) {
    if (items.empty()) return {};
    std::string text =
        "前回の録画は正常に終了しませんでした。\r\n"
        "残っていたファイルを、録画できたところまで復元しました。\r\n";
    for (const RecoveredRecording& r : items) {
        text += "\r\n";
        if (r.movieRepaired) {
            text += r.moviePath + "\r\n　" + std::to_string(r.movie.headerSec) + "秒のうち" +
                    std::to_string(r.movie.keptSec) + "秒を残しました。\r\n";
        } else if (r.movieFailed) {
            text += r.moviePath + "\r\n　修復できませんでした。\r\n";
        }
        const snd::SoundRecovery& s = r.sound;
        const std::string seconds = SecondsText(snd::SoundSeconds(s));
        switch (s.outcome) {
        case snd::SoundOutcome::kRebuilt:
            text +=
                s.wavePath + "\r\n　録音の一時ファイルから作成しました（" + seconds + "秒）。\r\n";
            break;
        case snd::SoundOutcome::kFitted:
            text += s.wavePath + "\r\n　TQKに合わせて" + seconds + "秒にしました。\r\n";
            break;
        case snd::SoundOutcome::kFailed:
            text +=
                s.wavePath + "\r\n　作成できませんでした。録音の一時ファイルは残してあります。\r\n";
            break;
        default: break;
        }
    }
    // The last line's CR LF is the box's own end.
    text.resize(text.size() - 2);
    return text;
}

}  // namespace tqk::rec
