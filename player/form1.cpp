#include "form1.h"

#include <shlwapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "avic.h"
#include "capture_internal.h"
#include "comd6.h"
#include "form1_ids.h"
#include "frame_diff.h"
#include "gif_export_win.h"
#include "movie_cut.h"
#include "path_parts.h"
#include "perf_millis.h"
#include "safe_file.h"
#include "snapshot_make.h"
#include "tqkavi.h"
#include "win_file.h"
#include "win_files.h"
#include "win_text.h"

namespace tqk::player {

using namespace player_ids;

namespace {

const wchar_t kPictureClass[] = L"TaviroPlayerPicture";
const wchar_t kBarClass[] = L"TaviroPlayerBar";
const wchar_t kBoxCaption[] = L"TQK Player";
const wchar_t kType0[] =
    L"このTQKファイルはType0で録画されています。\r\nType0は通常に再生できません。";

// The control panel (Frame1) at 96 dpi, positions from its top left.
constexpr int kPanelWidth = 330, kPanelHeight = 86;
const ControlSpec kPanel[] = {
    {L"BUTTON", Frame1, L"", BS_GROUPBOX, 2, 0, 326, 84},
    {L"BUTTON", Check1(0), L"再生", WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE, 10, 14, 70, 24},
    {L"BUTTON", Check1(1), L"一時停止", WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE, 84, 14, 84, 24},
    {L"BUTTON", Check1(2), L"早送り", WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE, 172, 14, 70, 24},
    {L"BUTTON", Command1, L"停止", WS_TABSTOP | BS_PUSHBUTTON, 246, 14, 74, 24},
    {kBarClass, Picture2, L"", 0, 10, 44, 194, 18, WS_EX_CLIENTEDGE},
    {L"STATIC", Label1, L"-- No File --", SS_LEFT | SS_NOPREFIX, 10, 64, 312, 18},
    {L"STATIC", Label2, L"", SS_LEFT | SS_NOPREFIX, 210, 45, 114, 18},
};

HMENU MakeMenu() {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, MenuOpen, L"開く(&O)");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, MenuExit, L"終了(&X)");
    HMENU play = CreatePopupMenu();
    AppendMenuW(play, MF_STRING, MenuPlay, L"再生(&P)");
    AppendMenuW(play, MF_STRING, MenuFastForward, L"早送り(&F)");
    AppendMenuW(play, MF_STRING, MenuPause, L"一時停止(&A)");
    AppendMenuW(play, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(play, MF_STRING, MenuStop, L"停止(&S)");
    AppendMenuW(play, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(play, MF_STRING, MenuMarkIn, L"開始点(&I)\tI");
    AppendMenuW(play, MF_STRING, MenuMarkOut, L"終了点(&O)\tO");
    AppendMenuW(play, MF_STRING, MenuClearMarks, L"範囲の解除(&C)");
    HMENU convert = CreatePopupMenu();
    AppendMenuW(convert, MF_STRING, MenuExport, L"TQK→AVI(&A)");
    AppendMenuW(convert, MF_STRING, MenuExportGif, L"TQK→GIF(&G)");
    AppendMenuW(convert, MF_STRING, MenuSaveSpan, L"範囲を保存(&S)");
    AppendMenuW(bar, MF_POPUP, UINT_PTR(file), L"ファイル(&F)");
    AppendMenuW(bar, MF_POPUP, UINT_PTR(play), L"再生(&P)");
    AppendMenuW(bar, MF_POPUP, UINT_PTR(convert), L"変換(&C)");
    return bar;
}

void RegisterChildClasses(WNDPROC picture, WNDPROC bar) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kPictureClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = picture;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kPictureClass;
        RegisterClassW(&wc);
    }
    if (!GetClassInfoW(instance, kBarClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = bar;
        wc.style = CS_OWNDC;  // drawn every frame: one DC kept instead of one fetched each time
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kBarClass;
        RegisterClassW(&wc);
    }
}

// "Comic Sans MS" 8.25 pt at dpi; the system substitutes a font it has.
HFONT ComicSans(int dpi) {
    return CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Comic Sans MS");
}

}  // namespace

Form1::Form1() = default;
Form1::~Form1() { StopSnapshotWriter(); }

bool Form1::Create() {
    // The picture and the bar have procedures of their own: each gets the toolkit's boundary.
    RegisterChildClasses(&GuardedProc<&Form1::PictureProc>, &GuardedProc<&Form1::BarProc>);
    WindowSpec spec{kClassName, kInitialCaption,
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, kPanelWidth,
                    kPanelHeight + 124};
    spec.exStyle = WS_EX_ACCEPTFILES;
    spec.menu = MakeMenu();
    return Window::Create(spec);
}

bool Form1::OnCreate() {
    if (!AddControls(kPanel)) return false;
    HWND picture =
        CreateWindowExW(WS_EX_CLIENTEDGE, kPictureClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 164, 124,
                        hwnd_, HMENU(INT_PTR(Picture1)), GetModuleHandleW(nullptr), nullptr);
    if (!picture) return false;
    SetWindowLongPtrW(picture, GWLP_USERDATA, LONG_PTR(this));
    SetWindowLongPtrW(Item(Picture2), GWLP_USERDATA, LONG_PTR(this));
    MakeBarImages();
    form5_ = std::make_unique<Form5>([this] {
        auto conversion = std::make_unique<TQKAVI>();
        conversion->LimitFrames(exportLimit_);
        return conversion;
    });
    // OLE drops on the window and the picture; without OLE the window still takes
    // WM_DROPFILES.
    dropTarget_ = std::make_unique<DropTarget>(hwnd_);
    if (!dropTarget_->Register({hwnd_, picture})) dropTarget_->Revoke();
    // The load handler.
    SizeFit(0, 0, 0, 0, 0, 0);
    return true;
}

void Form1::MakeBarImages() {
    const int dpi = Scale().Dpi();
    barW_ = Px(kBarAreaWidth);
    barH_ = Px(kBarAreaHeight);
    barFontSel_.reset();
    barSel_.reset();
    picture3Sel_.reset();
    WindowDc screen(nullptr, GetDC(nullptr));
    barDc_.Reset(CreateCompatibleDC(screen.Get()));
    barBmp_.Reset(CreateCompatibleBitmap(screen.Get(), barW_, barH_));
    barSel_.emplace(barDc_.Get(), barBmp_.Get());

    // Picture3: the bar image, 200 x 16 at 96 dpi, 24 bits.
    const int iw = Px(kBarImageWidth), ih = Px(kBarImageHeight);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = iw;
    bi.bmiHeader.biHeight = -ih;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    picture3Dc_.Reset(CreateCompatibleDC(screen.Get()));
    picture3Bmp_.Reset(CreateDIBSection(screen.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bits) {
        const int stride = (iw * 3 + 3) / 4 * 4;
        auto* row = static_cast<uint8_t*>(bits);
        for (int y = 0; y < ih; ++y, row += stride)
            for (int x = 0; x < iw; ++x) {
                const Rgb c = BarImagePixel(x, y, iw, ih);
                row[x * 3] = c.b, row[x * 3 + 1] = c.g, row[x * 3 + 2] = c.r;
            }
    }
    picture3Sel_.emplace(picture3Dc_.Get(), picture3Bmp_.Get());

    barFont_.Reset(ComicSans(dpi));
    barFontSel_.emplace(barDc_.Get(), barFont_.Get());
    GdiObject oldLabelFont = std::move(labelFont_);  // deleted once the label has the new one
    labelFont_.Reset(ComicSans(dpi));
    SendMessageW(Item(Label1), WM_SETFONT, WPARAM(labelFont_.Get()), TRUE);
}

void Form1::OnDpiChanged() {
    MakeBarImages();
    SizeFit(W_, H_, Bits_, Fps_, Sec_, Method_);
}

void Form1::SizeFit(int32_t PicW, int32_t PicH, int32_t Bit, int32_t fps, int32_t sec,
                    int32_t Types) {
    RECT wr{}, cr{};
    GetWindowRect(hwnd_, &wr);
    GetClientRect(hwnd_, &cr);
    const Size nonClient{(wr.right - wr.left) - cr.right, (wr.bottom - wr.top) - cr.bottom};
    fit_ = player::SizeFit(PicW, PicH, {Px(kPanelWidth), Px(kPanelHeight)}, nonClient);
    SetWindowPos(hwnd_, nullptr, 0, 0, fit_.window.width, fit_.window.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wrapped changes the border: measure once more.
    GetClientRect(hwnd_, &cr);
    if (cr.bottom != fit_.client.height) {
        SetWindowPos(hwnd_, nullptr, 0, 0, fit_.window.width,
                     fit_.window.height + fit_.client.height - cr.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetClientRect(hwnd_, &cr);
    }
    const Rect& p = fit_.picture1;
    const int x = p.width < cr.right ? (cr.right - p.width) / 2 : 0;
    MoveWindow(Item(Picture1), x, 0, p.width, p.height, TRUE);
    PlacePanel(Frame1Top(cr.bottom, Px(kPanelHeight)));
    SetItemText(Label1, StatusText(PicW, PicH, Bit, fps, sec, Types));
}

void Form1::PlacePanel(int top) {
    for (const ControlSpec& c : kPanel)
        SetWindowPos(Item(c.id), nullptr, Px(c.x), top + Px(c.y), Px(c.width), Px(c.height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::OnSize(UINT type, int width, int height) {
    (void)width;
    if (type == SIZE_MINIMIZED) return;
    PlacePanel(Frame1Top(height, Px(kPanelHeight)));
}

int Form1::Ask(const std::wstring& text, UINT style) const {
    return MessageBoxW(hwnd_, text.c_str(), kBoxCaption, style);
}

void Form1::U_Open(const std::wstring& srcTQKFnm) {
    CP = std::make_unique<Capture>(static_cast<CaptureEvents*>(this));
    CurrentFile = srcTQKFnm;
    const std::wstring sound = SoundFileOf(CurrentFile);
    int32_t w = 0, h = 0, bits = 0, fps = 0, sec = 0, method = 0;
    const int32_t rc = CP->GetTVRFileData(CurrentFile, &w, &h, &bits, &fps, &sec, &method);
    bool ok = rc >= 0;
    if (!ok) {
        Ask(CP->GetError(rc), MB_OK | MB_ICONERROR);
    } else if (method == Type0) {
        // A thread that has not read keyboard input yet (the program just started) does not
        // see a key held before it: the key's physical state counts too.
        if (!((GetKeyState('0') & 0x80) || (GetAsyncKeyState('0') & 0x8000))) {
            Ask(kType0, MB_OK | MB_ICONERROR);
            ok = false;
        } else {
            ok = Ask(std::wstring(kType0) + L"\r\n無理やり再生しますか？",
                     MB_YESNO | MB_ICONQUESTION) == IDYES;
        }
    }
    if (!ok) {
        // Nothing is open: the window says so instead of showing the last movie's values.
        CP.reset();
        CloseSeeker();
        ClearPicture();
        ClearBar();
        model_.Opened(false, 0);
        W_ = H_ = Bits_ = Fps_ = Sec_ = 0;
        SizeFit(0, 0, 0, 0, 0, 0);
        SetWindowTextW(hwnd_, kInitialCaption);
        return;
    }
    W_ = w, H_ = h, Bits_ = bits, Fps_ = fps, Sec_ = sec, Method_ = method;
    OpenSeeker();
    model_.Opened(true, fps, seeker_ ? seeker_->Frames() : fps * sec);
    SizeFit(w, h, bits, fps, sec, method);
    ShowSeekFrame(0);

    RECT wr{};
    GetWindowRect(hwnd_, &wr);
    const int width = CaptionWidth(wr.right - wr.left, GetSystemMetrics(SM_CXMIN));
    std::vector<wchar_t> caption(std::max<size_t>(CurrentFile.size() + 1, MAX_PATH), L'\0');
    std::copy(CurrentFile.begin(), CurrentFile.end(), caption.begin());
    {
        WindowDc dc(hwnd_, GetWindowDC(hwnd_));
        NONCLIENTMETRICSW ncm{};
        ncm.cbSize = sizeof ncm;
        GdiObject font;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
            font.Reset(CreateFontIndirectW(&ncm.lfCaptionFont));
        SelectGuard sel(dc.Get(), font.Get());
        PathCompactPathW(dc.Get(), caption.data(), UINT(width));
    }
    SetWindowTextW(hwnd_, caption.data());

    if (FileExists(sound)) model_.SoundOpened(sound_.Open(sound));
}

void Form1::Run(const Steps& steps) {
    for (const Step& s : steps) {
        switch (s.what) {
        case Do::Timer1On: SetTimer(hwnd_, Timer1, 1, nullptr); break;
        case Do::Timer1Off: KillTimer(hwnd_, Timer1); break;
        case Do::Timer2On: SetTimer(hwnd_, Timer2, 1, nullptr); break;
        case Do::Timer2Off: KillTimer(hwnd_, Timer2); break;
        case Do::Timer3On: SetTimer(hwnd_, Timer3, 1, nullptr); break;
        case Do::Timer3Off: KillTimer(hwnd_, Timer3); break;
        case Do::SoundPlay:
            sound_.Play();
            model_.SoundStarted(PerfMillis(), sound_.Position());
            break;
        case Do::SoundPlayFrom:
            sound_.PlayFrom(int32_t(std::lround(s.value)));
            model_.SoundStarted(PerfMillis(), sound_.Position());
            break;
        case Do::SoundStop: sound_.Stop(); break;
        case Do::SoundClose: sound_.Close(); break;
        case Do::SoundSeek: SetSeek(int32_t(std::lround(s.value))); break;
        case Do::SetStartT:
            if (CP) CP->Play_SetStartT(s.value);
            break;
        case Do::StartPlay: StartPlay(); break;
        case Do::ReleaseButtons:
            model_.SetUpdatingButtons(true);
            for (int i = 0; i < Check1.count; ++i) SetCheck1(i, false);
            model_.SetUpdatingButtons(false);
            break;
        case Do::ClearPictures:
            ClearPicture();
            ClearBar();
            break;
        case Do::CloseMovie:
            CP.reset();
            CloseSeeker();
            break;
        case Do::OpenPending: U_Open(model_.PendingFile()); break;
        case Do::CheckPlay: SetCheck1(0, true); break;
        case Do::Unload:
            if (form5_) form5_.reset();
            DestroyWindow(hwnd_);
            return;
        case Do::FocusPicture: SetFocus(Item(Picture1)); break;
        case Do::ShowFrame: ShowSeekFrame(int32_t(s.value)); break;
        case Do::CheckPause: SetCheck1(1, s.value != 0); break;
        }
    }
}

void Form1::Check1_Click(int index) {
    const bool checked = IsChecked(Check1(index));
    Steps steps;
    if (!model_.Check1_Click(index, checked, PerfMillis(), &steps) && !model_.UpdatingButtons())
        SetChecked(Check1(index), !checked);  // nothing to play: the button stays up
    Run(steps);
}

void Form1::SetCheck1(int index, bool value) {
    if (IsChecked(Check1(index)) == value) return;
    SetChecked(Check1(index), value);
    Check1_Click(index);
}

void Form1::StartPlay() {
    HWND picture = Item(Picture1);
    WindowDc dc(picture, GetDC(picture));
    HDC target = dc.Get();
    if (Method_ == Type0) {
        // The engine sets Type0 frames into a display bitmap, shown after each frame.
        type0Dc_.Reset(CreateCompatibleDC(dc.Get()));
        type0Bmp_.Reset(CreateCompatibleBitmap(dc.Get(), W_, H_));
        type0Sel_.emplace(type0Dc_.Get(), type0Bmp_.Get());
    } else if (useFrameImage_ && MakeFrameImage()) {
        target = frameDc_.Get();
    }
    // A play from the frame sought: the engine unpacks on from the frame before it.
    const int32_t from = model_.Position();
    if (from > 0 && seeker_ && seeker_->Seek(from - 1) == kOk)
        CP->Play_SetStartFrame(from, seeker_->Record(from).offset, seeker_->Frame(),
                               seeker_->FrameSize());
    barShown_ = false;
    stats_ = PlayStats{};
    stats_.slotMs = Fps_ > 0 ? 1000.0 / Fps_ : 0;
    // The result is not shown: a damaged record ends the play where it is.
    (void)CP->Play(CurrentFile, target, HBITMAP(type0Bmp_.Get()), 0, 0, false);
    type0Sel_.reset();
    type0Dc_.Reset();
    type0Bmp_.Reset();
    DropFrameImage();
    Run(model_.PlayEnded());
}

bool Form1::MakeFrameImage() {
    DropFrameImage();
    if (W_ < 1 || H_ < 1) return false;
    const int bits = Bits_ == 16 || Bits_ == 32 ? Bits_ : 32;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = W_;
    bi.bmiHeader.biHeight = -H_;  // top-down: rows in the window's order
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = WORD(bits);
    WindowDc screen(nullptr, GetDC(nullptr));
    void* pixels = nullptr;
    frameDc_.Reset(CreateCompatibleDC(screen.Get()));
    frameBmp_.Reset(CreateDIBSection(screen.Get(), &bi, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!frameDc_ || !frameBmp_ || !pixels) {
        DropFrameImage();
        return false;  // the engine then draws on the window itself
    }
    frameSel_.emplace(frameDc_.Get(), frameBmp_.Get());
    frameBits_ = static_cast<uint8_t*>(pixels);
    frameBytesPerPixel_ = bits / 8;
    frameStride_ = (size_t(W_) * size_t(bits) / 8 + 3) / 4 * 4;
    // Zeros: black, as the cleared picture shows.
    shown_.assign(frameStride_ * size_t(H_), 0);
    return true;
}

void Form1::DropFrameImage() {
    frameSel_.reset();
    frameDc_.Reset();
    frameBmp_.Reset();
    frameBits_ = nullptr;
    shown_.clear();
    shown_.shrink_to_fit();
}

void Form1::ShowFrame() {
    if (!frameBits_) return;
    GdiFlush();  // the engine's drawing is in the image's bits
    const double t = PerfMillis();
    const auto rects =
        ChangedRects(frameBits_, shown_.data(), W_, H_, frameStride_, frameBytesPerPixel_);
    stats_.diffMs += PerfMillis() - t;
    if (rects.empty()) return;
    HWND picture = Item(Picture1);
    WindowDc dc(picture, GetDC(picture));
    for (const Rect& r : rects)
        BitBlt(dc.Get(), r.x, r.y, r.width, r.height, frameDc_.Get(), r.x, r.y, SRCCOPY);
}

void Form1::PlayNow() {
    SetCheck1(0, true);
    KillTimer(hwnd_, Timer1);
    OnTimer(Timer1);
}

void Form1::OnDrawBefore() { Run(model_.DrawBefore(PerfMillis())); }

void Form1::OnDrawing(int32_t NowFrame, int32_t TotalFrame, double& DrawTime, bool& Cancel) {
    const double entry = PerfMillis();
    const double showBefore = stats_.showMs;
    stats_.engineMs += DrawTime;
    stats_.engineMaxMs = std::max(stats_.engineMaxMs, DrawTime);
    // The engine drew this frame only when it was in time (checked just before drawing).
    const double slot = model_.FramesPerSecond() > 0 ? 1000.0 / model_.FramesPerSecond() : 0;
    bool late = slot > 0 && (NowFrame + 1) * slot <= entry - CP->StartT();
    stats_.late += late;
    if (late && stats_.firstLate < 0) stats_.firstLate = NowFrame;
    ++stats_.frames;
    // A late frame was not drawn: its bar is skipped too, so the play catches up sooner. The
    // last frame's bar is always drawn.
    // A frame of a play that ends for a seek is not shown: the frame sought is.
    if (model_.SeekPending()) late = true;
    if (!late || NowFrame + 1 >= TotalFrame) DrawBar(NowFrame, TotalFrame);
    if (!late) {
        const double t = PerfMillis();
        ShowFrame();
        stats_.showMs += PerfMillis() - t;
    }
    if (type0Dc_) {
        HWND picture = Item(Picture1);
        WindowDc dc(picture, GetDC(picture));
        BitBlt(dc.Get(), 0, 0, W_, H_, type0Dc_.Get(), 0, 0, SRCCOPY);
    }
    const bool following = sound_.MciDeviceId() != 0 && !model_.Paused() && !model_.FastForward();
    const double position = following ? sound_.Position() : -1;
    Run(model_.Drawing(NowFrame, TotalFrame, PerfMillis(), position, CP->StartT(), &DrawTime,
                       &Cancel));
    double lastPoll = PerfMillis();
    const double own = lastPoll - entry - stats_.showMs + showBefore;
    stats_.ownMs += own;
    stats_.ownMaxMs = std::max(stats_.ownMaxMs, own);
    while (model_.HoldFrame(NowFrame, PerfMillis(), CP->StartT())) {
        PumpMessages();
        Sleep(DWORD(model_.HoldSleepMs(NowFrame, PerfMillis(), CP->StartT())));
        const double now = PerfMillis();
        if (sound_.MciDeviceId() && now - lastPoll >= 4) {
            model_.ObserveSound(now, sound_.Position(), CP->StartT());
            lastPoll = now;
        }
    }
    Cancel = model_.CancelRequested();
}

void Form1::OpenSeeker() {
    CloseSeeker();
    seekFile_ = OpenForRead(CurrentFile);
    if (!seekFile_) return;
    seekSource_ = std::make_unique<Win32RandomSource>(seekFile_.Get());
    seeker_ = std::make_unique<FrameSeeker>();
    // A movie the seeker cannot read still plays (and reports its damage) as before.
    if (seeker_->Open(seekSource_.get()) != kOk) {
        CloseSeeker();
        return;
    }
    // The snapshots an earlier walk left beside the movie spare this one. Shared for deleting
    // too: the file is a cache the user may throw away at any time.
    const std::wstring snap = CurrentFile + kSnapshotFileSuffixW;
    snapFile_ = OpenCacheForRead(snap);
    if (snapFile_) {
        snapSource_ = std::make_unique<Win32RandomSource>(snapFile_.Get());
        if (seeker_->UseSnapshotFile(snapSource_.get()) != kOk) {
            snapSource_.reset();
            snapFile_.Reset();
        }
    }
    snapWanted_ = !seeker_->UsesSnapshotFile();
    if (!seeker_->Prepared() || snapWanted_) SetTimer(hwnd_, TimerPrepare, 15, nullptr);
}

void Form1::CloseSeeker() {
    KillTimer(hwnd_, TimerPrepare);
    StopSnapshotWriter();  // it reads the seeker's snapshots
    snapWanted_ = false;
    seeker_.reset();
    snapSource_.reset();
    snapFile_.Reset();
    seekSource_.reset();
    seekFile_.Reset();
}

void Form1::PrepareTick() {
    if (!seeker_) return;
    // Never during a running play: its frames come first.
    const bool playing = model_.Playing() && !model_.Paused();
    snapHold_ = playing;
    if (playing) return;
    const double until = PerfMillis() + 20;
    while (!seeker_->Prepared() && PerfMillis() < until) seeker_->Prepare(kSnapshotWalkSlice);
    if (!seeker_->Prepared()) return;
    if (snapWanted_ && !snapThread_) StartSnapshotWriter();
    if (snapThread_ && WaitForSingleObject(snapThread_.Get(), 0) == WAIT_OBJECT_0) {
        snapThread_.Reset();
        snapWriter_.reset();
    }
    if (!snapWanted_ && !snapThread_) KillTimer(hwnd_, TimerPrepare);
}

void Form1::StartSnapshotWriter() {
    // Written once; no file (a read-only folder, a full disk) only means the next opening
    // walks again.
    snapWanted_ = false;
    snapWriter_ = std::make_unique<SnapshotFileWriter>();
    if (seeker_->BeginSnapshotFile(Utf8FromWide(CurrentFile + kSnapshotFileSuffixW),
                                   snapWriter_.get()) != 0) {
        snapWriter_.reset();
        return;
    }
    snapStop_ = false;
    snapThread_.Reset(CreateThread(nullptr, 0, &SnapshotWriterMain, this, 0, nullptr));
    if (!snapThread_) snapWriter_.reset();  // abandoned: no file
}

void Form1::StopSnapshotWriter() {
    if (snapThread_) {
        snapStop_ = true;
        WaitForSingleObject(snapThread_.Get(), INFINITE);
        snapThread_.Reset();
    }
    snapWriter_.reset();  // an unfinished file goes
    snapStop_ = false;
    snapHold_ = false;
}

DWORD WINAPI Form1::SnapshotWriterMain(void* form) {
    auto* self = static_cast<Form1*>(form);
    try {
        while (!self->snapStop_) {
            if (self->snapHold_) {
                Sleep(15);
                continue;
            }
            if (self->snapWriter_->Continue(kSnapshotWriteSlice) !=
                SnapshotFileWriter::State::kWriting)
                break;
        }
    } catch (...) {
        // Nothing escapes the thread; the writer's destructor takes the scratch file away.
    }
    return 0;
}

void Form1::ShowSeekFrame(int32_t frame) {
    if (!seeker_ || seeker_->Seek(frame) != kOk) return;
    HWND picture = Item(Picture1);
    {
        WindowDc dc(picture, GetDC(picture));
        DrawStill(dc.Get());
    }
    DrawBar(frame, model_.TotalFrames());
}

void Form1::DrawStill(HDC dc) const {
    if (!seeker_ || seeker_->Current() < 0) return;
    const uint8_t* frame = seeker_->Frame();
    const size_t F = seeker_->FrameSize();
    if (Method_ == Type0) {
        // Device-dependent bits: through a bitmap of the display's layout.
        MemoryDc mem(CreateCompatibleDC(dc));
        GdiObject bmp(CreateCompatibleBitmap(dc, W_, H_));
        if (!mem || !bmp) return;
        SetBitmapBits(HBITMAP(bmp.Get()), DWORD(F), frame);
        SelectGuard sel(mem.Get(), bmp.Get());
        BitBlt(dc, 0, 0, W_, H_, mem.Get(), 0, 0, SRCCOPY);
        return;
    }
    BitmapInfo256 bi;
    FillBitmapInfo(&bi, W_, H_, Bits_);
    if (Bits_ == 8) std::memcpy(bi.colours, frame + F - 1024, 1024);
    SetDIBitsToDevice(dc, 0, 0, DWORD(W_), DWORD(H_), 0, 0, 0, UINT(H_), frame,
                      reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
}

int Form1::BarLengthPx() const {
    return std::max(1, int(std::lround(double(kBarMaxLength) * barW_ / kBarAreaWidth)));
}

void Form1::DrawMarks(HDC dc, int32_t TotalFrame) {
    const int32_t in = model_.MarkInFrame(), out = model_.MarkOutFrame();
    if (in < 0 && out < 0) return;
    const int length = BarLengthPx();
    const int x0 = in >= 0 ? MarkX(in, false, length, TotalFrame) : 0;
    const int x1 = out >= 0 ? MarkX(out, true, length, TotalFrame) : length;
    const int thick = std::max(2, Px(2));
    // The span as a band along the bottom edge, each mark as a tick rising from it that stays
    // below the bar's texts.
    const int tick = std::max(thick * 2, barH_ / 3);
    RECT band{x0, barH_ - thick, std::max(x1, x0 + 1), barH_};
    GdiObject yellow(CreateSolidBrush(RGB(255, 200, 0)));
    FillRect(dc, &band, HBRUSH(yellow.Get()));
    if (in >= 0) {
        GdiObject green(CreateSolidBrush(RGB(0, 160, 0)));
        RECT r{x0, barH_ - tick, x0 + thick, barH_};
        FillRect(dc, &r, HBRUSH(green.Get()));
    }
    if (out >= 0) {
        GdiObject red(CreateSolidBrush(RGB(210, 0, 0)));
        RECT r{std::max(0, x1 - thick), barH_ - tick, x1, barH_};
        FillRect(dc, &r, HBRUSH(red.Get()));
    }
}

void Form1::MarksChanged() {
    SetItemText(Label2, MarksText(model_.MarkInFrame(), model_.MarkOutFrame(), Fps_));
    if (model_.HasMovie()) DrawBar(model_.Position(), model_.TotalFrames());
}

bool Form1::OnKey(WPARAM key) {
    if (!model_.HasMovie()) return false;
    switch (key) {
    case VK_LEFT: Run(model_.Key(SeekKey::Left)); return true;
    case VK_RIGHT: Run(model_.Key(SeekKey::Right)); return true;
    case VK_HOME: Run(model_.Key(SeekKey::Home)); return true;
    case VK_END: Run(model_.Key(SeekKey::End)); return true;
    case VK_PRIOR: Run(model_.Key(SeekKey::PageUp)); return true;
    case VK_NEXT: Run(model_.Key(SeekKey::PageDown)); return true;
    case VK_SPACE:
        if (model_.Playing())
            SetCheck1(1, !IsChecked(Check1(1)));
        else
            SetCheck1(0, true);
        return true;
    case 'I':
        model_.MarkIn();
        MarksChanged();
        return true;
    case 'O':
        model_.MarkOut();
        MarksChanged();
        return true;
    default: return false;
    }
}

void Form1::BarMouse(UINT msg, int x) {
    HWND bar = Item(Picture2);
    switch (msg) {
    case WM_LBUTTONDOWN:
        if (!model_.HasMovie()) return;
        SetCapture(bar);
        model_.DragStarted();
        Run(model_.SeekTo(FrameAtBar(x, BarLengthPx(), model_.TotalFrames())));
        break;
    case WM_MOUSEMOVE:
        if (!model_.Dragging()) return;
        if (const int32_t f = FrameAtBar(x, BarLengthPx(), model_.TotalFrames());
            f != model_.Position())
            Run(model_.SeekTo(f));
        break;
    case WM_LBUTTONUP:
        if (GetCapture() == bar) ReleaseCapture();  // WM_CAPTURECHANGED ends the drag
        break;
    case WM_CAPTURECHANGED:
        if (model_.Dragging()) Run(model_.DragEnded());
        SetFocus(Item(Picture1));
        break;
    default: break;
    }
}

void Form1::DrawBar(int32_t NowFrame, int32_t TotalFrame) {
    const BarView v = ComputeBar(NowFrame, TotalFrame, model_.FramesPerSecond());
    HDC dc = barDc_.Get();
    SelectGuard pen(dc, GetStockObject(BLACK_PEN));
    // The panel's face behind the bar: the white text with its shadow reads on it.
    SelectGuard brush(dc, GetSysColorBrush(COLOR_BTNFACE));
    Rectangle(dc, 0, 0, barW_, barH_);
    const int n = int(std::lround(double(v.barLength) * barW_ / kBarAreaWidth));
    BitBlt(dc, 0, 0, n, barH_, picture3Dc_.Get(), 0, 0, SRCCOPY);
    DrawMarks(dc, TotalFrame);  // under the texts, which stay readable
    SetBkMode(dc, TRANSPARENT);
    const std::string a = AnsiFromWide(v.frameText), b = AnsiFromWide(v.timeText);
    const int ty = Px(kBarTextY);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, Px(kFrameTextX), ty, a.c_str(), int(a.size()));
    TextOutA(dc, Px(kTimeTextX), ty, b.c_str(), int(b.size()));
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, Px(kFrameTextX) - 1, ty - 1, a.c_str(), int(a.size()));
    TextOutA(dc, Px(kTimeTextX) - 1, ty - 1, b.c_str(), int(b.size()));
    barShown_ = true;
    ShowBar();
}

void Form1::ShowBar() const {
    HWND bar = Item(Picture2);
    WindowDc dc(bar, GetDC(bar));  // the class's own DC: releasing it costs nothing
    if (barShown_) {
        BitBlt(dc.Get(), 0, 0, barW_, barH_, barDc_.Get(), 0, 0, SRCCOPY);
    } else {
        RECT r{};
        GetClientRect(bar, &r);
        FillRect(dc.Get(), &r, GetSysColorBrush(COLOR_BTNFACE));
    }
}

void Form1::ClearBar() {
    barShown_ = false;
    ShowBar();
}

void Form1::ClearPicture() {
    HWND picture = Item(Picture1);
    InvalidateRect(picture, nullptr, TRUE);
    UpdateWindow(picture);
}

// The child windows' procedures, registered inside the toolkit's boundary (GuardedProc).
LRESULT CALLBACK Form1::PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return PictureMessage(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Form1::BarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return BarMessage(hwnd, msg, wp, lp);
}

LRESULT Form1::PictureMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        // While playing, what the window showed of the frame; else black.
        auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && self->frameBits_) {
            // shown_ is what was copied; the image may hold a newer frame not yet compared.
            BitBlt(dc, 0, 0, self->W_, self->H_, self->frameDc_.Get(), 0, 0, SRCCOPY);
            self->shown_.assign(self->frameBits_,
                                self->frameBits_ + self->frameStride_ * size_t(self->H_));
        } else {
            FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            // Stopped or opened: the frame the bar stands at.
            if (self) self->DrawStill(dc);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN: SetFocus(hwnd); return 0;
    // The arrows and letters are the player's keys, not the dialog manager's moves.
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
        if (auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            self && self->OnKey(wp))
            return 0;
        return DefWindowProcW(hwnd, msg, wp, lp);
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT Form1::BarMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        if (auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            self->ShowBar();
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_CAPTURECHANGED:
        if (auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            self->BarMouse(msg, GET_X_LPARAM(lp));
        return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void Form1::OnCommand(int id, int code, HWND control) {
    (void)control;
    if (const int i = Check1.IndexOf(id); i >= 0) {
        if (code == BN_CLICKED) Check1_Click(i);
        return;
    }
    switch (id) {
    case Command1:
        if (code == BN_CLICKED) SetCheck1(0, false);
        break;
    case MenuOpen: OpenFromDialog(); break;
    case MenuExit: Close(); break;
    case MenuPlay: SetCheck1(0, !IsChecked(Check1(0))); break;
    case MenuFastForward: SetCheck1(2, !IsChecked(Check1(2))); break;
    case MenuPause: SetCheck1(1, !IsChecked(Check1(1))); break;
    case MenuStop: SetCheck1(0, false); break;
    case MenuExport: Export(); break;
    case MenuExportGif:
        if (model_.Playing()) SetCheck1(1, true);  // paused, as for the AVI export
        if (model_.HasSpan()) {                    // just the marked span, as for the AVI export
            const Span span = model_.MarkedSpan();
            const int32_t fps = model_.FramesPerSecond();
            ExportGifFromMenu(hwnd_, CurrentFile, SpanFromSeconds(span, fps),
                              SpanToSeconds(span, fps));
        } else {
            ExportGifFromMenu(hwnd_, CurrentFile);
        }
        break;
    case MenuMarkIn:
        model_.MarkIn();
        MarksChanged();
        break;
    case MenuMarkOut:
        model_.MarkOut();
        MarksChanged();
        break;
    case MenuClearMarks:
        model_.ClearMarks();
        MarksChanged();
        break;
    case MenuSaveSpan: SaveSpan(); break;
    default: break;
    }
}

void Form1::OnTimer(UINT_PTR id) {
    switch (id) {
    case Timer1: Run(model_.Timer1(IsChecked(Check1(1)), IsChecked(Check1(2)))); break;
    case Timer2: Run(model_.Timer2()); break;
    case Timer3: Run(model_.Timer3()); break;
    case TimerPrepare: PrepareTick(); break;
    default: break;
    }
}

bool Form1::OnClose() {
    Steps steps;
    if (model_.QueryUnload(&steps)) return true;
    Run(steps);
    return false;
}

void Form1::OnDestroy() {
    StopSnapshotWriter();
    if (dropTarget_) dropTarget_->Revoke();
    sound_.Close();
    PostQuitMessage(0);
}

void Form1::OnDropFiles(const std::vector<std::wstring>& paths, POINT at) {
    (void)at;
    Drop(paths);
}

LRESULT Form1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_KEYDOWN && OnKey(wp)) return 0;
    if (msg == WM_INITMENUPOPUP) {
        // The span's entries only with a movie, saving and clearing only with marks.
        HMENU menu = HMENU(wp);
        const UINT movie = model_.HasMovie() ? MF_ENABLED : MF_GRAYED;
        const UINT span = model_.HasSpan() ? MF_ENABLED : MF_GRAYED;
        EnableMenuItem(menu, MenuMarkIn, MF_BYCOMMAND | movie);
        EnableMenuItem(menu, MenuMarkOut, MF_BYCOMMAND | movie);
        EnableMenuItem(menu, MenuClearMarks, MF_BYCOMMAND | span);
        EnableMenuItem(menu, MenuSaveSpan, MF_BYCOMMAND | span);
        return 0;
    }
    if (msg == kDroppedMessage && dropTarget_) {
        for (const auto& files : dropTarget_->TakeFiles()) Drop(files);
        return 0;
    }
    return Window::OnMessage(msg, wp, lp);
}

void Form1::Drop(const std::vector<std::wstring>& files) {
    // An empty name is no file: some platforms count one in a drop block without names.
    const auto first =
        std::find_if(files.begin(), files.end(), [](const std::wstring& f) { return !f.empty(); });
    if (first == files.end()) {
        Ask(L"ファイルが入っていません。", MB_OK);
        return;
    }
    Run(model_.RequestOpen(*first));
}

void Form1::OpenFromDialog() {
    ComD6 dialog;
    dialog.Filter(L"Taviro ムービーファイル(*.TQK)|*.TQK");
    const std::wstring path = dialog.ShowOpenSingle(hwnd_);
    if (!path.empty()) Run(model_.RequestOpen(path));
}

void Form1::Export() {
    // A play holds the engine: pause it (and its sound) while the export runs.
    if (model_.Playing()) SetCheck1(1, true);
    std::wstring folder, name;
    // The caption is the shortened path; the open movie's own path gives the real folder.
    if (ExtensionOf(CurrentFile) == L"tqk") {
        folder = FolderOf(CurrentFile);
        name = FileNameOf(CurrentFile);
    }
    ComD6 dialog;
    dialog.Filter(L"変換元のTQKファイル|*.TQK");
    if (!folder.empty()) dialog.DefaultDirectory(folder);
    const std::wstring movie = dialog.ShowOpenSingle(hwnd_, name);
    if (movie.empty()) return;
    if (!FileExists(movie)) {
        Ask(L"ファイルが見つかりません。", MB_OK | MB_ICONERROR);
        return;
    }
    int32_t w = 0, h = 0, bits = 0, fps = 0, sec = 0, method = 0;
    {
        Capture header;
        const int32_t rc = header.GetTVRFileData(movie, &w, &h, &bits, &fps, &sec, &method);
        if (rc < 0) {
            Ask(header.GetError(rc), MB_OK | MB_ICONERROR);
            return;
        }
    }
    if (method == Type0 && Ask(L"Type0は正常に変換できない可能性があります。続行しますか？",
                               MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const std::wstring avi = AviFileOf(movie);
    if (FileExists(avi) && Ask(FileNameOf(avi) + L"が存在しています。上書きしてよろしいですか？",
                               MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    std::wstring wav = SoundFileOf(movie);
    if (FileExists(wav)) {
        if (Ask(FileNameOf(wav) + L"が存在しています。Waveも取りこみますか？",
                MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    } else {
        wav.clear();
    }
    {
        AVIC chooser;
        if (chooser.AVISelectCompressor(hwnd_, &cv_) != 1) return;
    }
    // With a span marked on this movie, only the span: kept first as scratch files.
    std::wstring source = movie, sound = wav, scratchMovie, scratchSound;
    exportLimit_ = 0;
    if (model_.HasSpan() && seeker_ && SamePath(movie, CurrentFile)) {
        const std::wstring base =
            TempFolder() + L"TaviroSpan" + std::to_wstring(GetCurrentProcessId());
        scratchMovie = base + L".TQK";
        scratchSound = wav.empty() ? L"" : base + L".wav";
        if (!WriteSpan(scratchMovie, scratchSound, wav)) {
            RemoveScratch(scratchMovie, scratchSound);
            return;
        }
        source = scratchMovie;
        sound = scratchSound;
        const Span span = model_.MarkedSpan();
        exportLimit_ = span.end - span.first;
    }
    ShowWindow(hwnd_, SW_HIDE);
    form5_->U_Show(source, avi, sound, &cv_, false);
    ShowWindow(hwnd_, SW_SHOW);
    exportLimit_ = 0;
    RemoveScratch(scratchMovie, scratchSound);
}

bool Form1::SamePath(const std::wstring& a, const std::wstring& b) {
    wchar_t fa[MAX_PATH * 2] = {}, fb[MAX_PATH * 2] = {};
    if (!GetFullPathNameW(a.c_str(), MAX_PATH * 2, fa, nullptr) ||
        !GetFullPathNameW(b.c_str(), MAX_PATH * 2, fb, nullptr))
        return false;
    return lstrcmpiW(fa, fb) == 0;
}

std::wstring Form1::TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    return n ? std::wstring(temp, n) : std::wstring();
}

void Form1::RemoveScratch(const std::wstring& movie, const std::wstring& sound) {
    if (!movie.empty()) DeleteFileW(movie.c_str());
    if (!sound.empty()) DeleteFileW(sound.c_str());
}

bool Form1::WriteSpan(const std::wstring& movie, const std::wstring& sound,
                      const std::wstring& sourceSound) {
    const Span span = model_.MarkedSpan();
    uint32_t error = 0;
    HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    int32_t rc = WriteMovieSpan(*seeker_, span.first, span.end, Utf8FromWide(movie), &error);
    if (rc == kOk && !sound.empty()) {
        const uint32_t rate = WavRate(Utf8FromWide(sourceSound));
        uint64_t written = 0;
        const WavSpanStatus st = rate == 0 ? WavSpanStatus::kBadFormat
                                           : WriteWavSpan(Utf8FromWide(sourceSound),
                                                          SampleAtFrame(span.first, rate, Fps_),
                                                          SampleAtFrame(span.end, rate, Fps_),
                                                          Utf8FromWide(sound), &written, &error);
        if (st == WavSpanStatus::kWriteFailed) {
            rc = kErrApi;
        } else if (st != WavSpanStatus::kOk) {
            SetCursor(old);
            Ask(FileNameOf(sourceSound) + L"を読み込めませんでした。", MB_OK | MB_ICONERROR);
            DeleteFileW(movie.c_str());
            ShowSeekFrame(model_.Position());
            return false;
        }
    }
    SetCursor(old);
    // The seeker stood at the span's start meanwhile: the picture shows the bar's frame again.
    ShowSeekFrame(model_.Position());
    if (rc == kOk) return true;
    Capture texts;
    Ask(texts.GetError(rc == kErrApi ? MakeResultCode(kErrApi, int32_t(error)) : rc),
        MB_OK | MB_ICONERROR);
    return false;
}

void Form1::SaveSpan() {
    if (!model_.HasSpan() || !seeker_) return;
    // A play holds the engine: pause it (and its sound) while the span is written.
    if (model_.Playing()) SetCheck1(1, true);
    ComD6 dialog;
    dialog.Filter(L"Taviro ムービーファイル(*.TQK)|*.TQK");
    dialog.DefaultDirectory(FolderOf(CurrentFile));
    std::wstring movie =
        dialog.ShowSave(hwnd_, FileNameWithoutExtension(CurrentFile) + L"_範囲.TQK");
    if (movie.empty()) return;
    if (ExtensionOf(movie) != L"tqk") movie += L".TQK";
    if (SamePath(movie, CurrentFile)) {
        Ask(L"再生中のファイルには保存できません。", MB_OK | MB_ICONERROR);
        return;
    }
    if (FileExists(movie) &&
        Ask(FileNameOf(movie) + L"が存在しています。上書きしてよろしいですか？",
            MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const std::wstring sourceSound = SoundFileOf(CurrentFile);
    const std::wstring sound = FileExists(sourceSound) ? SoundFileOf(movie) : L"";
    if (!sound.empty() && FileExists(sound) &&
        Ask(FileNameOf(sound) + L"が存在しています。上書きしてよろしいですか？",
            MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (WriteSpan(movie, sound, sourceSound))
        Ask(FileNameOf(movie) + L"に保存しました。", MB_OK | MB_ICONINFORMATION);
}

}  // namespace tqk::player
