// Keeping one part of a recording: a span of a movie's frames as a new movie, and the samples
// of the same span of its WAV as a new WAV. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

#include "frame_seek.h"

namespace tqk {

// The sample where frame `frame` starts at `rate` samples a second: frame x rate / fps,
// rounded to the nearest sample (halves up). The boundaries of a span of frames.
uint64_t SampleAtFrame(int64_t frame, uint32_t rate, int32_t fps);
// The frame where a time in seconds falls: round(seconds x fps) (halves up); negative times
// give negative frames.
int64_t FrameAtSeconds(double seconds, int32_t fps);

// Frames [first, end) of the movie open in `seeker` written to a new movie at a UTF-8 path
// (replaced in one step): the first frame stored whole, the others as recorded. The header
// holds whole seconds, so a span that is not a whole number of seconds is filled up to the
// next whole second by dropped-slot records (its last frame repeated). kOk; kErrBadFile for a
// span outside the movie; a reading code (-4, -5) for a damaged record; kErrApi with *error
// the platform's error number when the file cannot be written.
[[nodiscard]] int32_t WriteMovieSpan(FrameSeeker& seeker, int32_t first, int32_t end,
                                     const std::string& utf8Out, uint32_t* error);

enum class WavSpanStatus { kOk, kReadFailed, kBadFormat, kWriteFailed };
// The sound blocks [firstSample, endSample) of a WAV (as far as it holds them) written as a
// new WAV with the same format at a UTF-8 path. *written: the blocks written.
[[nodiscard]] WavSpanStatus WriteWavSpan(const std::string& utf8Wav, uint64_t firstSample,
                                         uint64_t endSample, const std::string& utf8Out,
                                         uint64_t* written, uint32_t* error);
// The sample rate of a WAV (0 when it cannot be read).
uint32_t WavRate(const std::string& utf8Wav);

}  // namespace tqk
