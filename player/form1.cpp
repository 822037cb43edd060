#include "form1.h"

#include <shlwapi.h>

#include <algorithm>
#include <cmath>

#include "avic.h"
#include "comd6.h"
#include "form1_ids.h"
#include "frame_diff.h"
#include "path_parts.h"
#include "perf_millis.h"
#include "tqkavi.h"
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
    HMENU convert = CreatePopupMenu();
    AppendMenuW(convert, MF_STRING, MenuExport, L"TQK→AVI(&A)");
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
Form1::~Form1() = default;

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
    form5_ = std::make_unique<Form5>([] { return std::make_unique<TQKAVI>(); });
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
        model_.Opened(false, 0);
        W_ = H_ = Bits_ = Fps_ = Sec_ = 0;
        SizeFit(0, 0, 0, 0, 0, 0);
        SetWindowTextW(hwnd_, kInitialCaption);
        return;
    }
    model_.Opened(true, fps);
    W_ = w, H_ = h, Bits_ = bits, Fps_ = fps, Sec_ = sec, Method_ = method;
    SizeFit(w, h, bits, fps, sec, method);

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
        case Do::CloseMovie: CP.reset(); break;
        case Do::OpenPending: U_Open(model_.PendingFile()); break;
        case Do::CheckPlay: SetCheck1(0, true); break;
        case Do::Unload:
            if (form5_) form5_.reset();
            DestroyWindow(hwnd_);
            return;
        case Do::FocusPicture: SetFocus(Item(Picture1)); break;
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
    const bool late = slot > 0 && (NowFrame + 1) * slot <= entry - CP->StartT();
    stats_.late += late;
    if (late && stats_.firstLate < 0) stats_.firstLate = NowFrame;
    ++stats_.frames;
    // A late frame was not drawn: its bar is skipped too, so the play catches up sooner. The
    // last frame's bar is always drawn.
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

void Form1::DrawBar(int32_t NowFrame, int32_t TotalFrame) {
    const BarView v = ComputeBar(NowFrame, TotalFrame, model_.FramesPerSecond());
    HDC dc = barDc_.Get();
    SelectGuard pen(dc, GetStockObject(BLACK_PEN));
    // The panel's face behind the bar: the white text with its shadow reads on it.
    SelectGuard brush(dc, GetSysColorBrush(COLOR_BTNFACE));
    Rectangle(dc, 0, 0, barW_, barH_);
    const int n = int(std::lround(double(v.barLength) * barW_ / kBarAreaWidth));
    BitBlt(dc, 0, 0, n, barH_, picture3Dc_.Get(), 0, 0, SRCCOPY);
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

LRESULT CALLBACK Form1::PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK Form1::BarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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
    default: break;
    }
}

void Form1::OnTimer(UINT_PTR id) {
    switch (id) {
    case Timer1: Run(model_.Timer1(IsChecked(Check1(1)), IsChecked(Check1(2)))); break;
    case Timer2: Run(model_.Timer2()); break;
    case Timer3: Run(model_.Timer3()); break;
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
    if (dropTarget_) dropTarget_->Revoke();
    sound_.Close();
    PostQuitMessage(0);
}

void Form1::OnDropFiles(const std::vector<std::wstring>& paths, POINT at) {
    (void)at;
    Drop(paths);
}

LRESULT Form1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
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
    ShowWindow(hwnd_, SW_HIDE);
    form5_->U_Show(movie, avi, wav, &cv_, false);
    ShowWindow(hwnd_, SW_SHOW);
}

}  // namespace tqk::player
