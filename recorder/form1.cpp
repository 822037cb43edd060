#include "form1.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "form1_ids.h"
#include "input_hooks.h"
#include "message_pump.h"
#include "mixer.h"
#include "perf_millis.h"
#include "result_code.h"
#include "run_box.h"
#include "sound_helper_client.h"
#include "win_files.h"
#include "win_text.h"

namespace tqk::rec {

namespace {

// Design size of the client area (96-DPI pixels) while the caption is still there: the
// window keeps its outer height when the caption goes, and the caption's height then holds
// the row of buttons.
constexpr int kClientWidth = 304;
constexpr int kClientHeight = 24;
constexpr int kStatsWidth = 300, kStatsHeight = 18;
// The items' places start 2 pixels above the area's top; the area is drawn that much lower so
// that fonts without leading above the letters keep them whole.
constexpr int kStatsTop = 2;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_APPWINDOW;

}  // namespace

bool Form1::Load() {
    if (Hwnd()) return true;
    tqk::WindowSpec spec{form1_ids::kClassName, WideFromUtf8(kForm1Caption).c_str(), kStyle,
                         kClientWidth, kClientHeight};
    spec.exStyle = kExStyle;
    spec.x = 0;
    spec.y = 0;
    if (!Create(spec)) return false;
    HideTitle();
    return true;
}

bool Form1::OnCreate() {
    using namespace form1_ids;
    static const std::wstring cancel = WideFromUtf8(kCancelButton);
    static const std::wstring minimise = WideFromUtf8(kMinimiseButton);
    static const std::wstring move = WideFromUtf8(kMoveButton);
    static const tqk::ControlSpec controls[] = {
        {L"STATIC", Picture1, L"", SS_OWNERDRAW, 2, 0, kStatsWidth, kStatsHeight},
        {L"BUTTON", Command1(0), cancel.c_str(), WS_TABSTOP | BS_PUSHBUTTON, 2, 19, 96, 20},
        {L"BUTTON", Command1(1), minimise.c_str(), WS_TABSTOP | BS_PUSHBUTTON, 102, 19, 110, 20},
        {L"BUTTON", Command1(2), move.c_str(), WS_TABSTOP | BS_PUSHBUTTON, 216, 19, 86, 20},
    };
    if (!AddControls(controls)) return false;

    statsSize_ = SIZE{Px(kStatsWidth), Px(kStatsHeight)};
    tqk::WindowDc screen(nullptr, GetDC(nullptr));
    statsDc_.Reset(CreateCompatibleDC(screen.Get()));
    statsBitmap_.Reset(CreateCompatibleBitmap(screen.Get(), statsSize_.cx, statsSize_.cy));
    // The two rows of items sit 8 pixels apart, the first 2 pixels above the area: a font of
    // 10 pixels a line, whose leading takes those 2, keeps both rows whole.
    statsFont_.Reset(CreateFontW(Px(10), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 DEFAULT_PITCH, L"Tahoma"));
    if (!statsDc_ || !statsBitmap_) return false;
    statsBitmapSel_.emplace(statsDc_.Get(), statsBitmap_.Get());
    statsFontSel_.emplace(statsDc_.Get(), statsFont_.Get());
    SetBkMode(statsDc_.Get(), TRANSPARENT);
    SetTextColor(statsDc_.Get(), GetSysColor(COLOR_WINDOWTEXT));
    PatBlt(statsDc_.Get(), 0, 0, statsSize_.cx, statsSize_.cy, WHITENESS);
    return true;
}

// The window keeps its outer height without the caption bar.
void Form1::HideTitle() {
    RECT r;
    GetWindowRect(hwnd_, &r);
    const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    SetWindowLongPtrW(hwnd_, GWL_STYLE, style & ~LONG_PTR(WS_CAPTION));
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

SIZE Form1::OuterSize() const {
    RECT r;
    GetWindowRect(hwnd_, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void Form1::MoveMe(const WindowPositions& p) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const SIZE size = OuterSize();
    int32_t x = p.RecX, y = p.RecY;
    PullOntoWorkArea(ScreenRect{work.left, work.top, work.right, work.bottom}, size.cx, size.cy, &x,
                     &y);
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::SaveMe(WindowPositions* p) const {
    if (!p) return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(hwnd_, &wp);  // the normal position also while minimised
    p->RecX = wp.rcNormalPosition.left;
    p->RecY = wp.rcNormalPosition.top;
}

void Form1::PrintWaitText() {
    PatBlt(statsDc_.Get(), 0, 0, statsSize_.cx, statsSize_.cy, WHITENESS);
    const std::wstring text = WideFromUtf8(kWaitText);
    TextOutW(statsDc_.Get(), 0, Px(kStatsTop - 2), text.c_str(), int(text.size()));
    ShowStatistics(text);
}

void Form1::PrintWavWriting(int32_t permille) {
    PatBlt(statsDc_.Get(), 0, 0, statsSize_.cx, statsSize_.cy, WHITENESS);
    const std::wstring text = WideFromUtf8(WavWritingText(permille));
    TextOutW(statsDc_.Get(), 0, Px(kStatsTop - 2), text.c_str(), int(text.size()));
    ShowStatistics(text);
}

void Form1::DrawStatistics(int32_t n, int32_t dropCount) {
    const double elapsed = double(timeGetTime() - startTick_);
    PatBlt(statsDc_.Get(), 0, 0, statsSize_.cx, statsSize_.cy, WHITENESS);
    std::wstring all;
    for (const StatItem& item : StatisticsItems(n, s_.Fps, s_.Sec, dropCount, stats_, elapsed)) {
        const std::wstring text = WideFromUtf8(item.text);
        TextOutW(statsDc_.Get(), Px(item.x), Px(kStatsTop + item.y), text.c_str(),
                 int(text.size()));
        if (!all.empty()) all += L"  ";
        all += text;
    }
    ShowStatistics(all);
}

// The area shows its image; its text holds the same items, for screen readers and tests.
void Form1::ShowStatistics(const std::wstring& text) {
    HWND area = Item(form1_ids::Picture1);
    // The default procedure only keeps the text: the static's own would repaint at once.
    DefWindowProcW(area, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(area, nullptr, FALSE);
    UpdateWindow(area);
}

LRESULT Form1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DRAWITEM && wp == WPARAM(form1_ids::Picture1)) {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        BitBlt(d->hDC, 0, 0, statsSize_.cx, statsSize_.cy, statsDc_.Get(), 0, 0, SRCCOPY);
        return TRUE;
    }
    if (msg == WM_CAPTURECHANGED && moveMode_) {
        EndMoveMode();
        return 0;
    }
    return Window::OnMessage(msg, wp, lp);
}

void Form1::OnCommand(int id, int code, HWND) {
    using namespace form1_ids;
    if (code != BN_CLICKED) return;
    if (id == Command1(0)) {
        cancelRequested_ = true;
    } else if (id == Command1(1)) {
        ShowWindow(hwnd_, SW_MINIMIZE);
    } else if (id == Command1(2)) {
        RECT r;
        GetWindowRect(hwnd_, &r);
        rememberedLeft_ = r.left;
        rememberedTop_ = r.top;
        moveMode_ = true;
        Enable(Command1(2), false);
        SetCapture(hwnd_);
    }
}

// In move mode the next press anywhere (the mouse is captured) moves the window there.
bool Form1::OnMouse(const tqk::MouseEvent& e) {
    if (!moveMode_) return false;
    if (e.message != WM_LBUTTONDOWN && e.message != WM_RBUTTONDOWN) return false;
    POINT at{e.x, e.y};
    ClientToScreen(hwnd_, &at);
    const MoveTarget t =
        MoveByPress(rememberedLeft_, rememberedTop_, at.x - rememberedLeft_, at.y - rememberedTop_);
    EndMoveMode();
    SetWindowPos(hwnd_, nullptr, t.left, t.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void Form1::EndMoveMode() {
    if (!moveMode_) return;
    moveMode_ = false;
    if (GetCapture() == hwnd_) ReleaseCapture();
    Enable(form1_ids::Command1(2), true);
}

void Form1::OnStartCapture(bool& /*IsCancel*/) {
    // The block starts the helper's recording at the capture's own start time.
    if (recordsSound_ && ctx_->sound && ctx_->sound->Write(block_)) blockSent_ = true;
}

void Form1::OnCapture(int32_t NowFrame, double FrameCaptureTime, int32_t DropCount, bool IsDrop,
                      int32_t /*CompressSize*/, int32_t /*NoCompressSize*/, int32_t& CaptureX,
                      int32_t& CaptureY, bool& IsCancel) {
    const double began = PerfMillis();
    const int32_t n = NowFrame + 1;
    stats_.AddFrame(IsDrop, FrameCaptureTime);
    if (n % kStatsEvery == 0) {
        DrawStatistics(n, DropCount);
        stats_.lastBlock.Clear();
        PumpMessages();
    }
    if (s_.FollowMouse) {
        // The engine has read the cursor for this frame when it draws it; otherwise read it.
        int32_t x = 0, y = 0;
        POINT cursor{};
        if (engine_ && engine_->LastCursorPos(&x, &y))
            FollowMouse(x, y, s_.W, s_.H, &CaptureX, &CaptureY);
        else if (GetCursorPos(&cursor))
            FollowMouse(cursor.x, cursor.y, s_.W, s_.H, &CaptureX, &CaptureY);
    }
    int32_t sec = 0;
    if (CancelAtWholeSecond(cancelRequested_, n, s_.Fps, &sec)) {
        IsCancel = true;
        s_.Sec = sec;
    }
    const double spent = PerfMillis() - began;
    ++cost_.frames;
    cost_.totalMs += spent;
    if (spent > cost_.maxMs) cost_.maxMs = spent;
    if (cost_.perFrameMs.size() < cost_.perFrameMs.capacity())
        cost_.perFrameMs.push_back(float(spent));
}

RunResult Form1::Run(const RecorderContext& ctx, const CaptureSettings& settings) {
    RunResult result;
    if (!Load()) {
        result.resultCode = MakeResultCode(kErrApi, 0);
        return result;
    }
    // 1. The run's own record and engine.
    s_ = settings;
    ctx_ = &ctx;
    auto engine = std::make_unique<tqk::Capture>(static_cast<tqk::CaptureEvents*>(this));
    engine_ = engine.get();
    const std::wstring tqkPath = WideFromUtf8(s_.TqkPath);
    const std::wstring wavePath = WideFromUtf8(s_.WavePath);
    recordsSound_ = s_.RecordsSound() && ctx.sound && ctx.sound->Available();
    blockSent_ = false;

    // 2. Both processes' priorities.
    PriorityClassChange ownPriority, helperPriority;
    tqk::ObjectHandle helperProcess;
    if (s_.PriorityClass != 0) {
        ownPriority.Set(GetCurrentProcess(), DWORD(s_.PriorityClass));
        if (ctx.sound && ctx.sound->Available() && ctx.sound->HelperProcessId() != 0) {
            helperProcess.Reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION,
                                            FALSE, ctx.sound->HelperProcessId()));
            if (helperProcess) helperPriority.Set(helperProcess.Get(), DWORD(s_.PriorityClass));
        }
    }

    // 3. The engine's set-up.
    engine->Init(s_.X, s_.Y, s_.W, s_.H);
    engine->Init_Capture(s_.Fps, s_.Sec, s_.Method, 0, s_.CpuReleaseCount, s_.CpuReleaseTime,
                         s_.DrawMouse);

    // 4. Fresh statistics.
    stats_ = RunStats{};
    cost_ = HandlerCost{};
    cost_.perFrameMs.reserve(size_t(std::min<int64_t>(int64_t(s_.Fps) * s_.Sec, 400000)));
    moveMode_ = false;
    cancelRequested_ = false;

    // 5. Picture and sound begin at the same moment, a little ahead.
    const double startTime = std::round(PerfMillis() + kStartLeadMs);

    // 6. The recording source and the helper's block.
    std::unique_ptr<snd::Mixer> mixer;
    SourcePlan source;
    if (recordsSound_) {
        // "標準(変更なし)" leaves the system's input alone; so does a mixer that cannot say
        // which input is selected now (there would be nothing to put back).
        if (s_.RecordingSource >= 1) {
            mixer = std::make_unique<snd::Mixer>();
            const bool enabled = mixer->IsEnableMixer();
            int32_t error = 0, selected = -1;
            std::vector<std::wstring> lines;
            if (enabled) lines = mixer->GetWaveInLines(&error, &selected);
            source = PlanRecordingSource(s_.RecordingSource, enabled, error, selected,
                                         int32_t(lines.size()));
            if (source.select) mixer->SetWaveInLine(L"", source.line);
        }
        block_ = RunSoundBlock(s_, AnsiFromWide(wavePath),
                               AnsiFromWide(WideFromUtf8(s_.WaveScratchPath)), startTime);
    }

    // 7. Shown without taking the focus from what is being recorded.
    if (ctx.positions) MoveMe(*ctx.positions);
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    PumpMessages();
    Sleep(1);
    PrintWaitText();

    // 8. The recording.
    startTick_ = timeGetTime();
    int32_t firstCaptureTime = 0;
    int32_t code = 0;
    {
        // Clicks and keys drawn into the frames: the hooks live only while the engine records.
        QueuedInput input(ctx.input.ShowClicks, ctx.input.ShowKeys);
        InputHooks hooks;
        if (ctx.input.Any()) {
            // Without a hook the recording goes on; only its presses are not drawn.
            (void)hooks.Install(&input, ctx.input.ShowClicks, ctx.input.ShowKeys);
            engine->SetOverlay(&input);
        }
        code = engine->Rec(tqkPath, 0, false, &firstCaptureTime, startTime, s_.AsyncWrite);
        engine->SetOverlay(nullptr);
    }
    EndMoveMode();

    // 9.
    result.averageCaptureMs = stats_.AverageMs(result.averageCaptureMs);
    result.droppedFrames = stats_.droppedFrames;

    // 10. The helper stops; a run whose capture never started has nothing to stop. A helper
    // that says it is writing the WAV is waited for, its progress shown, so that the export
    // never reads a WAV that is not whole yet.
    if (blockSent_) {
        const snd::StopOutcome outcome = ctx.sound->StopAndWait(
            snd::kStopTimeoutMs, nullptr, [this](int32_t permille) { PrintWavWriting(permille); });
        if (outcome != snd::StopOutcome::Done)
            RunMessage(hwnd_, snd::StopOutcomeMessageUtf8(outcome), MB_OK);
    }

    // 11. A cancelled recording: keep it at the seconds recorded, or throw it away. A
    // recording that failed for another reason is reported as the failure it is.
    const bool cancelled =
        cancelRequested_ && (code == 0 || SplitResultCode(code).code == kErrCancelled);
    if (cancelled) {
        if (RunMessage(hwnd_, kCancelQuestion, MB_YESNO | MB_ICONQUESTION) == IDNO) {
            result.aborted = true;
            DeleteFileClearingReadOnly(tqkPath);
            if (recordsSound_) DeleteFileClearingReadOnly(wavePath);
        } else {
            int32_t w = 0, h = 0, bits = 0, fps = 0;
            int32_t patched = engine->GetTVRFileData(tqkPath, &w, &h, &bits, &fps);
            if (patched == 0) patched = engine->PatchTVRFileData(tqkPath, w, h, bits, fps, s_.Sec);
            // A movie whose header still promises every planned second is kept, but the run
            // has failed: it is not exported as if it were whole.
            if (patched != 0)
                RunMessage(hwnd_, HeaderPatchErrorText(Utf8FromWide(engine->GetError(patched))),
                           MB_OK | MB_ICONSTOP);
            code = patched;
        }
    } else if (code < 0) {
        // 12.
        RunMessage(hwnd_, Utf8FromWide(engine->GetError(code)), MB_OK | MB_ICONSTOP);
    }
    result.resultCode = code;

    // 13. - 15.
    if (source.restore) mixer->SetWaveInLine(L"", source.restoreLine);
    SaveMe(ctx.positions);
    ShowWindow(hwnd_, SW_HIDE);
    engine_ = nullptr;
    engine.reset();
    mixer.reset();
    helperPriority.Restore();
    ownPriority.Restore();
    ctx_ = nullptr;
    return result;
}

}  // namespace tqk::rec
