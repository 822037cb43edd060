#include "form5.h"

#include <string>

#include "form5_ids.h"
#include "message_pump.h"
#include "perf_millis.h"
#include "win_files.h"
#include "win_window.h"

namespace tqk {

int g_Form5Left = 0;
int g_Form5Top = 0;

namespace {

using tqk::PerfMillis;

constexpr int kClientWidth = 360;
constexpr int kClientHeight = 66;

}  // namespace

// The window itself: the strip (Picture2, drawn from the strip's image) and Cancel (Command1).
// Its figures are device pixels, as the strip's image and its texts are.
class Form5::View : public tqk::Window {
public:
    explicit View(Form5* owner) : owner_(owner) {}

protected:
    bool OnCreate() override {
        static const tqk::ControlSpec controls[] = {
            {L"STATIC", form5_ids::Picture2, L"", SS_OWNERDRAW, 8, 6, Form5::kStripWidth + 4,
             Form5::kStripHeight + 4, WS_EX_CLIENTEDGE},
            {L"BUTTON", form5_ids::Command1, L"Cancel", BS_PUSHBUTTON, kClientWidth - 88, 36, 80,
             24},
        };
        return AddControls(controls);
    }
    void OnCommand(int id, int code, HWND) override {
        if (id == form5_ids::Command1 && code == BN_CLICKED) owner_->Command1_Click();
    }
    bool OnClose() override { return false; }  // only Cancel ends a conversion
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (msg == WM_DRAWITEM && d && d->CtlID == UINT(form5_ids::Picture2)) {
            if (owner_->stripDC_)
                BitBlt(d->hDC, 0, 0, kStripWidth, kStripHeight, owner_->stripDC_.Get(), 0, 0,
                       SRCCOPY);
            return TRUE;
        }
        return Window::OnMessage(msg, wp, lp);
    }

private:
    Form5* owner_;
};

Form5::Form5(std::function<std::unique_ptr<ConversionSource>()> makeConversion)
    : makeConversion_(std::move(makeConversion)) {}

Form5::~Form5() {
    DA.reset();
    view_.reset();
    stripFontSel_.reset();
    stripSel_.reset();
    barSel_.reset();
}

HWND Form5::Hwnd() const { return view_ ? view_->Hwnd() : nullptr; }
HWND Form5::Command1() const { return view_ ? view_->Item(form5_ids::Command1) : nullptr; }
HWND Form5::Picture2() const { return view_ ? view_->Item(form5_ids::Picture2) : nullptr; }

void Form5::Create() {
    if (view_) return;
    view_ = std::make_unique<View>(this);
    tqk::WindowSpec spec{L"TaviroForm5", L"Writing AVI ...", WS_CAPTION | WS_SYSMENU, kClientWidth,
                         kClientHeight};
    spec.x = 0;
    spec.y = 0;
    spec.dpiScaled = false;
    if (!view_->Create(spec)) return;
    font_.Reset(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"Comic Sans MS"));
    SendMessageW(Command1(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);

    // Picture2's image and Picture1, the bar: a blue gradient, light at the top.
    tqk::WindowDc screen(nullptr, GetDC(nullptr));
    stripDC_.Reset(CreateCompatibleDC(screen.Get()));
    barDC_.Reset(CreateCompatibleDC(screen.Get()));
    stripBmp_.Reset(CreateCompatibleBitmap(screen.Get(), kStripWidth, kStripHeight));
    barBmp_.Reset(CreateCompatibleBitmap(screen.Get(), kStripWidth, kStripHeight));
    stripSel_.emplace(stripDC_.Get(), stripBmp_.Get());
    barSel_.emplace(barDC_.Get(), barBmp_.Get());
    stripFontSel_.emplace(stripDC_.Get(), font_.Get());
    SetBkMode(stripDC_.Get(), TRANSPARENT);
    for (int y = 0; y < kStripHeight; ++y) {
        const int t = y * 255 / (kStripHeight - 1);
        tqk::GdiObject b(
            CreateSolidBrush(RGB(80 - t * 60 / 255, 140 - t * 80 / 255, 255 - t * 90 / 255)));
        RECT line{0, y, kStripWidth, y + 1};
        FillRect(barDC_.Get(), &line, static_cast<HBRUSH>(b.Get()));
    }
    RECT all{0, 0, kStripWidth, kStripHeight};
    FillRect(stripDC_.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void Form5::Begin() {
    DA = makeConversion_();
    DA->Decoding = [this](int32_t now, int32_t total, int32_t ms) { DA_Decoding(now, total, ms); };
    Open();
}

void Form5::Open() {
    Create();
    DeleteMenu(GetSystemMenu(Hwnd(), FALSE), SC_CLOSE, MF_BYCOMMAND);
    MoveMe();
    ShowWindow(Hwnd(), SW_SHOW);
    UpdateWindow(Hwnd());
    times_.Clear();
    cancelled_ = false;
    EnableWindow(Command1(), TRUE);
}

void Form5::End() {
    SaveMe();
    ShowWindow(Hwnd(), SW_HIDE);
    DA.reset();
}

void Form5::U_Show(const std::wstring& TQKFile, const std::wstring& AVIFile,
                   const std::wstring& WaveFile, const COMPVARS* ptr_cv, bool ModifyAVI24bit) {
    Begin();
    SetWindowTextW(Hwnd(), L"Writing AVI");
    DA->TQKtoAVI(TQKFile, AVIFile, ptr_cv, ModifyAVI24bit);
    const std::wstring failure = DA->FailureText();
    if (!failure.empty()) {
        // The export ended early (a full disk, say): say why; the file keeps what was written.
        MessageBoxW(Hwnd(), failure.c_str(), L"Writing AVI", MB_OK | MB_ICONSTOP);
        End();
        return;
    }
    if (!WaveFile.empty()) {
        soundStart_ = PerfMillis();
        DA->WAVaddAVI(WaveFile, AVIFile, 0);
    }
    if (cancelled_ && MessageBoxW(Hwnd(), L"キャンセルしました。AVIファイルは残しておきますか？",
                                  L"Writing AVI", MB_YESNO | MB_ICONQUESTION) == IDNO)
        tqk::DeleteFileClearingReadOnly(AVIFile);
    End();
}

int32_t Form5::U_ShowTQKtoTQK(const std::wstring& srcFnm, const std::wstring& dstFnm,
                              int32_t dstBit, int32_t dstType) {
    Begin();
    movieMode_ = true;
    SetWindowTextW(Hwnd(), L"Writing TQK");
    const int32_t result = DA->TQKtoTQK(srcFnm, dstFnm, dstBit, dstType);
    if (cancelled_) tqk::DeleteFileClearingReadOnly(dstFnm);
    End();
    movieMode_ = false;
    return result;
}

void Form5::U_ShowJob(const std::wstring& caption, const std::string& doneText,
                      const std::function<void(const JobProgress&)>& job) {
    Open();
    SetWindowTextW(Hwnd(), caption.c_str());
    jobDoneText_ = doneText;
    const double start = PerfMillis();
    double shown = -1e9;
    job([&](int32_t now, int32_t total) {
        const double t = PerfMillis();
        // Every frame's time counts towards "Rest"; the strip is drawn (and the messages let
        // through) every 30 ms, since a GIF frame takes far less than a drawing.
        form5::ComputeProgress(now, total, int32_t(t - start), kStripWidth, false, &times_);
        if (t - shown >= 30 || now >= total) {
            shown = t;
            DA_Decoding(now, total, int32_t(t - start));
        }
        return !cancelled_;
    });
    jobDoneText_.clear();
    End();
}

void Form5::Command1_Click() {
    if (DA) DA->AVIRecCancel();
    cancelled_ = true;
}

void Form5::DA_Decoding(int32_t NowFrame, int32_t TotalFrame, int32_t Totalmsec) {
    last_ =
        form5::ComputeProgress(NowFrame, TotalFrame, Totalmsec, kStripWidth, movieMode_, &times_);
    if (!jobDoneText_.empty())
        last_.caption = last_.caption.substr(0, last_.caption.find('%') + 1) + " " + jobDoneText_;
    SetTextColor(stripDC_.Get(), RGB(0, 0, 0));
    Rectangle(stripDC_.Get(), 0, 0, kStripWidth, kStripHeight);
    BitBlt(stripDC_.Get(), 0, 0, last_.barLength, kStripHeight, barDC_.Get(), 0, 0, SRCCOPY);
    const struct {
        form5::TextPlace at;
        const std::string* text;
    } texts[] = {{form5::kPercentAt, &last_.percent},
                 {form5::kFrameAt, &last_.frame},
                 {form5::kTotalAt, &last_.total},
                 {form5::kRestAt, &last_.rest}};
    for (const auto& t : texts)
        TextOutA(stripDC_.Get(), t.at.x, t.at.y, t.text->c_str(), int(t.text->size()));
    SetTextColor(stripDC_.Get(), RGB(255, 255, 255));
    for (const auto& t : texts)
        TextOutA(stripDC_.Get(), t.at.x - form5::kShadowOffset, t.at.y - form5::kShadowOffset,
                 t.text->c_str(), int(t.text->size()));
    InvalidateRect(Picture2(), nullptr, FALSE);
    UpdateWindow(Picture2());
    SetWindowTextA(Hwnd(), last_.caption.c_str());
    tqk::PumpMessages();
    Sleep(1);
}

void Form5::MoveMe() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    int left = g_Form5Left, top = g_Form5Top;
    form5::KeepInside({int(work.left), int(work.top), int(work.right), int(work.bottom)},
                      r.right - r.left, r.bottom - r.top, &left, &top);
    SetWindowPos(Hwnd(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form5::SaveMe() {
    RECT r{};
    if (!GetWindowRect(Hwnd(), &r)) return;
    g_Form5Left = r.left;
    g_Form5Top = r.top;
}

}  // namespace tqk
