#include "form5.h"

#include <string>

int g_Form5Left = 0;
int g_Form5Top = 0;

namespace {

const wchar_t kWindowClass[] = L"TaviroForm5";
const wchar_t kStripClass[] = L"TaviroForm5Strip";
constexpr int kCommand1Id = 1;
constexpr int kClientWidth = 360;
constexpr int kClientHeight = 66;

double PerfMillis() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) / double(f.QuadPart) * 1000.0;
}

void RegisterClasses(HINSTANCE instance, WNDPROC windowProc, WNDPROC stripProc) {
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kWindowClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = windowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        RegisterClassW(&wc);
    }
    if (!GetClassInfoW(instance, kStripClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = stripProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kStripClass;
        RegisterClassW(&wc);
    }
}

// Pumps the thread's pending messages; a quit request is kept for the caller's loop.
void DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void DeleteUserFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileW(path.c_str());
}

}  // namespace

Form5::Form5(std::function<std::unique_ptr<ConversionSource>()> makeConversion)
    : makeConversion_(std::move(makeConversion)) {}

Form5::~Form5() {
    DA.reset();
    if (hwnd_) DestroyWindow(hwnd_);
    if (stripDC_) {
        SelectObject(stripDC_, stripOldFont_);
        SelectObject(stripDC_, stripOld_);
        DeleteDC(stripDC_);
    }
    if (barDC_) {
        SelectObject(barDC_, barOld_);
        DeleteDC(barDC_);
    }
    if (stripBmp_) DeleteObject(stripBmp_);
    if (barBmp_) DeleteObject(barBmp_);
    if (font_) DeleteObject(font_);
}

void Form5::Create() {
    if (hwnd_) return;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClasses(instance, &Form5::WndProc, &Form5::StripProc);
    const DWORD style = WS_CAPTION | WS_SYSMENU;
    RECT r{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&r, style, FALSE);
    hwnd_ = CreateWindowExW(0, kWindowClass, L"Writing AVI ...", style, 0, 0, r.right - r.left,
                            r.bottom - r.top, nullptr, nullptr, instance, this);
    font_ = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, L"Comic Sans MS");
    picture2_ = CreateWindowExW(WS_EX_CLIENTEDGE, kStripClass, L"", WS_CHILD | WS_VISIBLE, 8, 6,
                                kStripWidth + 4, kStripHeight + 4, hwnd_, nullptr, instance, this);
    command1_ = CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                kClientWidth - 88, 36, 80, 24, hwnd_,
                                reinterpret_cast<HMENU>(INT_PTR(kCommand1Id)), instance, nullptr);
    SendMessageW(command1_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    // Picture2's image and Picture1, the bar: a blue gradient, light at the top.
    HDC screen = GetDC(nullptr);
    stripDC_ = CreateCompatibleDC(screen);
    barDC_ = CreateCompatibleDC(screen);
    stripBmp_ = CreateCompatibleBitmap(screen, kStripWidth, kStripHeight);
    barBmp_ = CreateCompatibleBitmap(screen, kStripWidth, kStripHeight);
    ReleaseDC(nullptr, screen);
    stripOld_ = SelectObject(stripDC_, stripBmp_);
    barOld_ = SelectObject(barDC_, barBmp_);
    stripOldFont_ = SelectObject(stripDC_, font_);
    SetBkMode(stripDC_, TRANSPARENT);
    for (int y = 0; y < kStripHeight; ++y) {
        const int t = y * 255 / (kStripHeight - 1);
        HBRUSH b = CreateSolidBrush(RGB(80 - t * 60 / 255, 140 - t * 80 / 255, 255 - t * 90 / 255));
        RECT line{0, y, kStripWidth, y + 1};
        FillRect(barDC_, &line, b);
        DeleteObject(b);
    }
    RECT all{0, 0, kStripWidth, kStripHeight};
    FillRect(stripDC_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

LRESULT CALLBACK Form5::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    try {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<Form5*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (msg) {
        case WM_COMMAND:
            if (self && LOWORD(wp) == kCommand1Id && HIWORD(wp) == BN_CLICKED) {
                self->Command1_Click();
                return 0;
            }
            break;
        case WM_CLOSE:
            return 0;  // only Cancel ends a conversion
        default:
            break;
        }
    } catch (...) {
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Form5::StripProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    if (msg == WM_PAINT) {
        auto* self = reinterpret_cast<Form5*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (self && self->stripDC_)
            BitBlt(dc, 0, 0, kStripWidth, kStripHeight, self->stripDC_, 0, 0, SRCCOPY);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Form5::Begin() {
    Create();
    DeleteMenu(GetSystemMenu(hwnd_, FALSE), SC_CLOSE, MF_BYCOMMAND);
    DA = makeConversion_();
    DA->Decoding = [this](int32_t now, int32_t total, int32_t ms) { DA_Decoding(now, total, ms); };
    MoveMe();
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    times_.Clear();
    cancelled_ = false;
    EnableWindow(command1_, TRUE);
}

void Form5::End() {
    SaveMe();
    ShowWindow(hwnd_, SW_HIDE);
    DA.reset();
}

void Form5::U_Show(const std::wstring& TQKFile, const std::wstring& AVIFile,
                   const std::wstring& WaveFile, const COMPVARS* ptr_cv, bool ModifyAVI24bit) {
    Begin();
    SetWindowTextW(hwnd_, L"Writing AVI");
    DA->TQKtoAVI(TQKFile, AVIFile, ptr_cv, ModifyAVI24bit);
    const std::wstring failure = DA->FailureText();
    if (!failure.empty()) {
        // The export ended early (a full disk, say): say why; the file keeps what was written.
        MessageBoxW(hwnd_, failure.c_str(), L"Writing AVI", MB_OK | MB_ICONSTOP);
        End();
        return;
    }
    if (!WaveFile.empty()) {
        soundStart_ = PerfMillis();
        DA->WAVaddAVI(WaveFile, AVIFile, 0);
    }
    if (cancelled_ && MessageBoxW(hwnd_, L"キャンセルしました。AVIファイルは残しておきますか？",
                                  L"Writing AVI", MB_YESNO | MB_ICONQUESTION) == IDNO)
        DeleteUserFile(AVIFile);
    End();
}

int32_t Form5::U_ShowTQKtoTQK(const std::wstring& srcFnm, const std::wstring& dstFnm,
                              int32_t dstBit, int32_t dstType) {
    Begin();
    movieMode_ = true;
    SetWindowTextW(hwnd_, L"Writing TQK");
    const int32_t result = DA->TQKtoTQK(srcFnm, dstFnm, dstBit, dstType);
    if (cancelled_) DeleteUserFile(dstFnm);
    End();
    movieMode_ = false;
    return result;
}

void Form5::Command1_Click() {
    if (DA) DA->AVIRecCancel();
    cancelled_ = true;
}

void Form5::DA_Decoding(int32_t NowFrame, int32_t TotalFrame, int32_t Totalmsec) {
    last_ =
        form5::ComputeProgress(NowFrame, TotalFrame, Totalmsec, kStripWidth, movieMode_, &times_);
    SetTextColor(stripDC_, RGB(0, 0, 0));
    Rectangle(stripDC_, 0, 0, kStripWidth, kStripHeight);
    BitBlt(stripDC_, 0, 0, last_.barLength, kStripHeight, barDC_, 0, 0, SRCCOPY);
    const struct {
        form5::TextPlace at;
        const std::string* text;
    } texts[] = {{form5::kPercentAt, &last_.percent},
                 {form5::kFrameAt, &last_.frame},
                 {form5::kTotalAt, &last_.total},
                 {form5::kRestAt, &last_.rest}};
    for (const auto& t : texts)
        TextOutA(stripDC_, t.at.x, t.at.y, t.text->c_str(), int(t.text->size()));
    SetTextColor(stripDC_, RGB(255, 255, 255));
    for (const auto& t : texts)
        TextOutA(stripDC_, t.at.x - form5::kShadowOffset, t.at.y - form5::kShadowOffset,
                 t.text->c_str(), int(t.text->size()));
    InvalidateRect(picture2_, nullptr, FALSE);
    UpdateWindow(picture2_);
    SetWindowTextA(hwnd_, last_.caption.c_str());
    DoEvents();
    Sleep(1);
}

void Form5::MoveMe() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT r{};
    GetWindowRect(hwnd_, &r);
    int left = g_Form5Left, top = g_Form5Top;
    form5::KeepInside({int(work.left), int(work.top), int(work.right), int(work.bottom)},
                      r.right - r.left, r.bottom - r.top, &left, &top);
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form5::SaveMe() {
    RECT r{};
    if (!GetWindowRect(hwnd_, &r)) return;
    g_Form5Left = r.left;
    g_Form5Top = r.top;
}
