#include "player_model.h"

#include <algorithm>
#include <cmath>

#include "path_parts.h"
#include "progress_text.h"

namespace tqk::player {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

}  // namespace

std::wstring PathFromCommandTail(const std::wstring& tail) {
    size_t b = 0, e = tail.size();
    while (b < e && IsBlank(tail[b])) ++b;
    while (e > b && IsBlank(tail[e - 1])) --e;
    if (e - b >= 1 && tail[b] == L'"') {
        ++b;
        if (e > b && tail[e - 1] == L'"') --e;
        // Blanks inside the quotes belong to the path only where they are inside it.
        while (b < e && IsBlank(tail[b])) ++b;
        while (e > b && IsBlank(tail[e - 1])) --e;
    }
    return tail.substr(b, e - b);
}

std::wstring SoundFileOf(const std::wstring& moviePath) {
    return PathWithoutExtension(moviePath) + L".wav";
}

std::wstring AviFileOf(const std::wstring& moviePath) {
    return PathWithoutExtension(moviePath) + L".avi";
}

std::wstring StatusText(int32_t PicW, int32_t PicH, int32_t Bit, int32_t fps, int32_t sec,
                        int32_t Types) {
    if (PicW < 1 || PicH < 1) return L"-- No File --";
    return std::to_wstring(PicW) + L"x" + std::to_wstring(PicH) + L" " + std::to_wstring(Bit) +
           L"bit " + std::to_wstring(fps) + L"fps " + std::to_wstring(sec) + L"sec Type" +
           std::to_wstring(Types);
}

Fit SizeFit(int32_t PicW, int32_t PicH, Size frame1, Size nonClient) {
    int w = PicW, h = PicH;
    if (w < 1 || h < 1) w = 160, h = 120;
    Fit f;
    f.picture1 = {0, 0, w + 4, h + 4};
    // The window's own borders and caption are measured, not assumed to be 4 pixels.
    f.client.width = std::max(f.picture1.width + 4, frame1.width);
    f.client.height = f.picture1.height + frame1.height;
    f.window.width = f.client.width + nonClient.width;
    f.window.height = f.client.height + nonClient.height;
    if (f.picture1.width < f.client.width) f.picture1.x = (f.client.width - f.picture1.width) / 2;
    f.frame1Top = Frame1Top(f.client.height, frame1.height);
    return f;
}

int Frame1Top(int clientHeight, int frame1Height) { return clientHeight - frame1Height; }

int CaptionWidth(int windowWidth, int cxMin) { return std::max(0, windowWidth - cxMin); }

BarView ComputeBar(int32_t NowFrame, int32_t TotalFrame, int32_t FramesPerSecond) {
    BarView v;
    const int64_t shown = int64_t(NowFrame) + 1;
    if (TotalFrame > 0) {
        // Rounded to the nearest pixel in whole numbers: 0.5 goes up.
        int64_t n = (shown * kBarMaxLength * 2 + TotalFrame) / (int64_t(TotalFrame) * 2);
        v.barLength = int(std::clamp<int64_t>(n, 0, kBarMaxLength));
    }
    v.frameText = std::to_wstring(shown) + L"/" + std::to_wstring(TotalFrame);
    v.timeText = MinutesSeconds(FramesPerSecond > 0 ? double(shown) / FramesPerSecond : 0.0);
    return v;
}

std::wstring MinutesSeconds(double seconds) {
    return Widen(form5::FormatMinutesSeconds(seconds * 1000.0));
}

int32_t FrameAtBar(int x, int barLength, int32_t TotalFrame) {
    if (TotalFrame <= 0 || barLength <= 1) return 0;
    // The bar's first pixel is the first frame, its last pixel the last one.
    const int64_t at = std::clamp(x, 0, barLength - 1);
    const int64_t span = barLength - 1;
    return int32_t((at * (TotalFrame - 1) * 2 + span) / (span * 2));
}

int MarkX(int32_t frame, bool end, int barLength, int32_t TotalFrame) {
    if (TotalFrame <= 0) return 0;
    const int64_t edge = int64_t(frame) + (end ? 1 : 0);
    return int((edge * barLength * 2 + TotalFrame) / (int64_t(TotalFrame) * 2));
}

int32_t FrameForKey(SeekKey key, int32_t at, int32_t TotalFrame, int32_t fps) {
    if (TotalFrame <= 0) return 0;
    const int64_t tenSeconds = int64_t(std::max(fps, 1)) * 10;
    int64_t to = at;
    switch (key) {
    case SeekKey::Left: to = int64_t(at) - 1; break;
    case SeekKey::Right: to = int64_t(at) + 1; break;
    case SeekKey::Home: to = 0; break;
    case SeekKey::End: to = TotalFrame - 1; break;
    case SeekKey::PageUp: to = int64_t(at) - tenSeconds; break;
    case SeekKey::PageDown: to = int64_t(at) + tenSeconds; break;
    }
    return int32_t(std::clamp<int64_t>(to, 0, TotalFrame - 1));
}

double SpanFromSeconds(const Span& s, int32_t fps) { return fps > 0 ? double(s.first) / fps : 0; }
double SpanToSeconds(const Span& s, int32_t fps) { return fps > 0 ? double(s.end) / fps : 0; }

std::wstring MarksText(int32_t markIn, int32_t markOut, int32_t fps) {
    if (fps <= 0 || (markIn < 0 && markOut < 0)) return L"";
    const std::wstring from = markIn >= 0 ? MinutesSeconds(double(markIn) / fps) : L"";
    const std::wstring to = markOut >= 0 ? MinutesSeconds(double(markOut + 1) / fps) : L"";
    return L"範囲 " + from + L"～" + to;
}

Rgb BarImagePixel(int x, int y, int width, int height) {
    const int w = std::max(1, width - 1), h = std::max(1, height - 1);
    // Blue deepening to the right; a light band at the top edge like a lit tube.
    const int light = 255 - (y * 150) / h;
    const int depth = (x * 80) / w;
    Rgb c;
    c.r = uint8_t(std::clamp(light / 3 - depth / 2, 0, 255));
    c.g = uint8_t(std::clamp(light * 2 / 3 - depth / 2, 0, 255));
    c.b = uint8_t(std::clamp(light - depth / 4, 0, 255));
    return c;
}

void SoundClock::Reset() {
    samples_.clear();
    late_.clear();
    lastPosition_ = -1;
    lastMove_ = 0;
    moves_ = 0;
}

void SoundClock::Observe(double nowMs, double positionMs) {
    if (positionMs < 0) return;
    if (lastPosition_ >= 0 && positionMs < lastPosition_) Reset();  // sought back
    if (lastPosition_ < 0) {
        // The first report: the device may not have started yet, so it says nothing about
        // when the position was true.
        lastPosition_ = positionMs;
        lastMove_ = nowMs;
        return;
    }
    if (positionMs == lastPosition_) return;
    const Sample s{nowMs, nowMs - positionMs, positionMs - lastPosition_};
    lastPosition_ = positionMs;
    lastMove_ = nowMs;
    ++moves_;
    while (!samples_.empty() && nowMs - samples_.front().now > kWindowMs) samples_.pop_front();
    if (!samples_.empty() && s.offset > SmallestOffset() + kLateMs) {
        late_.push_back(s);
        if (int(late_.size()) < kLateReports) return;
        samples_.assign(late_.begin(), late_.end());
        late_.clear();
    } else {
        late_.clear();
        samples_.push_back(s);
    }
}

double SoundClock::SmallestOffset() const {
    double offset = samples_.front().offset;
    for (const Sample& s : samples_) offset = std::min(offset, s.offset);
    return offset;
}

bool SoundClock::Valid(double nowMs) const {
    return moves_ > 0 && !samples_.empty() && nowMs - lastMove_ <= kStallMs;
}

double SoundClock::PositionAt(double nowMs) const {
    if (samples_.empty()) return 0;
    // Until the next report the device has not reached the step after the last one.
    double step = 0;
    for (const Sample& s : samples_) step = std::max(step, s.step);
    for (const Sample& s : late_) step = std::max(step, s.step);
    return std::min(nowMs - SmallestOffset(), lastPosition_ + step);
}

void PlayerModel::Opened(bool ok, int32_t fps, int32_t totalFrames) {
    hasMovie_ = ok;
    FramesPerSecond_ = ok ? fps : 0;
    TotalFrames_ = ok ? totalFrames : 0;
    soundOpen_ = false;
    LastFrame_ = 0;
    Position_ = 0;
    pendingSeek_ = -1;
    restartAfterDrag_ = false;
    ClearMarks();
}

double PlayerModel::FrameMillis(int32_t frame) const {
    return FramesPerSecond_ > 0 ? std::round(double(frame) * 1000.0 / FramesPerSecond_) : 0;
}

Steps PlayerModel::SeekTo(int32_t frame) {
    if (!hasMovie_ || TotalFrames_ <= 0) return {};
    frame = std::clamp(frame, 0, TotalFrames_ - 1);
    Position_ = frame;
    Steps s{{Do::ShowFrame, double(frame)}};
    if (Playing_) {
        // The engine reads on from its own place: the play ends and starts again from here.
        pendingSeek_ = frame;
        CancelRequested_ = true;
    } else {
        s.push_back({Do::SoundSeek, FrameMillis(frame)});
    }
    return s;
}

Steps PlayerModel::Key(SeekKey key) {
    if (!hasMovie_) return {};
    Steps s;
    // A frame back or forward is looked at: a running play pauses first.
    if ((key == SeekKey::Left || key == SeekKey::Right) && Playing_ && !Paused_)
        s.push_back({Do::CheckPause, 1});
    const Steps seek = SeekTo(FrameForKey(key, Position_, TotalFrames_, FramesPerSecond_));
    s.insert(s.end(), seek.begin(), seek.end());
    return s;
}

Steps PlayerModel::DragEnded() {
    dragging_ = false;
    if (!restartAfterDrag_) return {};
    restartAfterDrag_ = false;
    return {{Do::Timer1On}};
}

void PlayerModel::MarkIn() {
    if (!hasMovie_) return;
    markIn_ = Position_;
    if (markOut_ >= 0 && markOut_ < markIn_) markOut_ = -1;
}

void PlayerModel::MarkOut() {
    if (!hasMovie_) return;
    markOut_ = Position_;
    if (markIn_ > markOut_) markIn_ = -1;
}

Span PlayerModel::MarkedSpan() const {
    Span s;
    s.first = std::max(markIn_, 0);
    s.end = markOut_ >= 0 ? markOut_ + 1 : TotalFrames_;
    return s;
}

bool PlayerModel::Check1_Click(int index, bool checked, double now, Steps* out) {
    if (!hasMovie_ || UpdatingButtons_) {
        out->push_back({Do::FocusPicture});
        return false;
    }
    const double resumeAt =
        FramesPerSecond_ > 0 ? now - double(LastFrame_) * 1000.0 / FramesPerSecond_ : now;
    switch (index) {
    case 0:
        if (checked) {
            out->push_back({Do::Timer1On});
        } else {
            CancelRequested_ = true;
            Paused_ = false;
            pendingSeek_ = -1;  // a stop rewinds, whatever was sought
            restartAfterDrag_ = false;
            // A stop before the play timer fired must not start the play afterwards.
            if (!Playing_) out->push_back({Do::Timer1Off});
        }
        break;
    case 1:
        Paused_ = checked;
        // Sound commands only while a play runs: idle toggles must not start the sound
        // without pictures.
        if (Playing_ && !FastForward_) {
            if (!Paused_) {
                out->push_back({Do::SoundPlay});
                out->push_back({Do::SetStartT, resumeAt});
                soundRunning_ = soundOpen_;
            } else {
                out->push_back({Do::SoundStop});
                soundRunning_ = false;
            }
            ResetClock();
        }
        break;
    case 2:
        FastForward_ = checked;
        if (Playing_ && !Paused_) {
            if (!FastForward_) {
                out->push_back({Do::SoundPlay});
                // The pictures ran ahead of the schedule: count from the current frame again.
                out->push_back({Do::SetStartT, resumeAt});
                soundRunning_ = soundOpen_;
            } else {
                out->push_back({Do::SoundStop});
                soundRunning_ = false;
            }
            ResetClock();
        }
        break;
    default: break;
    }
    out->push_back({Do::FocusPicture});
    return true;
}

Steps PlayerModel::Timer1(bool pauseChecked, bool fastChecked) {
    Steps s{{Do::Timer1Off}};
    if (!hasMovie_ || Playing_) return s;
    Paused_ = pauseChecked;
    FastForward_ = fastChecked;
    CancelRequested_ = false;
    Playing_ = true;
    // A play starts where the picture stands; at the last frame, from the start again.
    if (Position_ > 0 && Position_ >= TotalFrames_ - 1) {
        Position_ = 0;
        s.push_back({Do::SoundSeek, 0});
    }
    playFrom_ = Position_;
    LastFrame_ = Position_;
    ResetClock();
    soundRunning_ = false;
    firstFrame_ = true;
    firstDrawing_ = true;
    if (!Paused_ && !FastForward_) {
        // From the frame the play starts at, said to the device itself.
        if (playFrom_ > 0)
            s.push_back({Do::SoundPlayFrom, FrameMillis(playFrom_)});
        else
            s.push_back({Do::SoundPlay});
        soundRunning_ = soundOpen_;
    }
    s.push_back({Do::StartPlay});
    return s;
}

Steps PlayerModel::PlayEnded() {
    if (pendingSeek_ >= 0) {
        // Ended for a seek: the play goes on from the frame sought, the buttons as they are.
        const int32_t frame = pendingSeek_;
        pendingSeek_ = -1;
        Steps s{{Do::SoundStop}, {Do::SoundSeek, FrameMillis(frame)}};
        soundRunning_ = false;
        ResetClock();
        CancelRequested_ = false;
        Playing_ = false;
        Position_ = LastFrame_ = frame;
        s.push_back({Do::ShowFrame, double(frame)});
        if (dragging_) {
            restartAfterDrag_ = true;
        } else {
            s.push_back({Do::Timer1On});
        }
        return s;
    }
    Steps s{{Do::SoundStop}, {Do::SoundSeek, 0}};
    soundRunning_ = false;
    ResetClock();
    UpdatingButtons_ = true;
    Paused_ = false;
    CancelRequested_ = false;
    FastForward_ = false;
    s.push_back({Do::ReleaseButtons});
    UpdatingButtons_ = false;
    Playing_ = false;
    // Rewound: the first frame is shown, as after opening.
    Position_ = LastFrame_ = 0;
    s.push_back({Do::ShowFrame, 0});
    return s;
}

Steps PlayerModel::Drawing(int32_t NowFrame, int32_t TotalFrame, double now, double soundPosition,
                           double startT, double* drawTime, bool* cancel) {
    (void)TotalFrame;
    Steps s;
    LastFrame_ = NowFrame;
    if (pendingSeek_ < 0) Position_ = NowFrame;
    const bool firstDrawing = firstDrawing_;
    firstDrawing_ = false;
    if (FastForward_) {
        *drawTime = 0;
        if (FramesPerSecond_ > 0)
            s.push_back({Do::SoundSeek, std::round(double(NowFrame) / FramesPerSecond_ * 1000.0)});
    } else {
        if (firstDrawing && ownWait_ && FramesPerSecond_ > 0) {
            // The first picture is up: its slot counts from now (the first copy to the window
            // may take longer than a slot), so the next frame is not late for it.
            startT = now - FrameMillisExact(NowFrame);
            s.push_back({Do::SetStartT, startT});
        }
        if (soundRunning_ && !Paused_ && soundPosition >= 0) {
            Observe(now, soundPosition, startT);
            if (clock_.Valid(now)) {
                // The sound's clock leads: frames behind it become late and are skipped.
                s.push_back({Do::SetStartT, now - SoundTime(now)});
            }
        }
        // The wait for the next frame is ours (HoldFrame), not the engine's.
        if (FramesPerSecond_ > 0 && (ownWait_ || Following(now))) *drawTime = 0;
    }
    *cancel = CancelRequested_;
    return s;
}

Steps PlayerModel::DrawBefore(double now) {
    if (!firstFrame_ || !Playing_) return {};
    firstFrame_ = false;
    if (!ownWait_) return {};
    return {{Do::SetStartT, now - FrameMillisExact(playFrom_)}};
}

bool PlayerModel::Following(double now) const {
    return soundRunning_ && anchored_ && clock_.Valid(now);
}

double PlayerModel::Remaining(int32_t NowFrame, double now, double startT) const {
    const double due = double(NowFrame + 1) * 1000.0 / FramesPerSecond_;
    if (Following(now)) return due - SoundTime(now);
    return due - (now - startT);
}

bool PlayerModel::HoldFrame(int32_t NowFrame, double now, double startT) const {
    if (CancelRequested_) return false;
    if (Paused_) return true;
    if (FastForward_ || FramesPerSecond_ <= 0 || (!ownWait_ && !Following(now))) return false;
    return Remaining(NowFrame, now, startT) > 0;
}

double PlayerModel::HoldSleepMs(int32_t NowFrame, double now, double startT) const {
    if (Paused_ || FastForward_ || FramesPerSecond_ <= 0) return 1;
    // A sleep may overrun by a millisecond or so: the last ones are spun.
    return Remaining(NowFrame, now, startT) > 2.5 ? 1 : 0;
}

void PlayerModel::ObserveSound(double now, double soundPosition, double startT) {
    if (soundRunning_ && !Paused_ && !FastForward_) Observe(now, soundPosition, startT);
}

void PlayerModel::SoundStarted(double now, double soundPosition) {
    playPosition_ = soundPosition;
    playTime_ = now;
}

void PlayerModel::Observe(double now, double soundPosition, double startT) {
    if (soundPosition < 0) return;
    if (!anchored_) {
        // Where the sound starts, with whatever the device counts ahead (some count what they
        // were handed, not what they played): that position belongs with the picture now due.
        // A device that starts late then holds the pictures until it has caught up, instead
        // of leaving them ahead of the sound by its delay for the rest of the play.
        // Such a device may still say where the play began for a moment after the call before
        // it jumps to what it was handed, and which of the two a first read sees is chance: a
        // report that still equals the position at the call waits for the jump, a short while.
        const double anchor = soundPosition - (now - startT);
        const bool waited = now - playTime_ > kStartReportMs;
        if (pending_ && waited) {
            anchor_ = pendingAnchor_;  // it did not move: it starts where it was
        } else if (playPosition_ >= 0 && soundPosition == playPosition_ && !waited) {
            if (!pending_) pendingAnchor_ = anchor;
            pending_ = true;
            return;
        } else {
            anchor_ = anchor;
        }
        anchored_ = true;
    }
    clock_.Observe(now, soundPosition);
}

Steps PlayerModel::RequestOpen(const std::wstring& path) {
    PendingFile_ = path;
    return {{Do::Timer2On}};
}

Steps PlayerModel::Timer2() {
    if (Playing_) {
        CancelRequested_ = true;
        pendingSeek_ = -1;
        return {};
    }
    Steps s{{Do::Timer2Off}};
    if (PendingFile_.empty()) return s;
    s.push_back({Do::CloseMovie});
    hasMovie_ = false;
    if (soundOpen_) s.push_back({Do::SoundClose});
    soundOpen_ = false;
    s.push_back({Do::OpenPending});
    s.push_back({Do::CheckPlay});
    return s;
}

bool PlayerModel::QueryUnload(Steps* out) {
    if (closeAllowed_) return true;
    CancelRequested_ = true;
    Paused_ = false;
    pendingSeek_ = -1;
    out->push_back({Do::Timer3On});
    return false;
}

Steps PlayerModel::Timer3() {
    if (Playing_) {
        CancelRequested_ = true;
        pendingSeek_ = -1;
        return {};
    }
    Steps s{{Do::Timer3Off}};
    if (soundOpen_) s.push_back({Do::SoundClose});
    soundOpen_ = false;
    closeAllowed_ = true;
    s.push_back({Do::Unload});
    return s;
}

}  // namespace tqk::player
