// Form5: the conversion progress window. Runs a movie-to-AVI or movie-to-movie conversion
// inside U_Show / U_ShowTQKtoTQK while showing a progress strip and a Cancel button.
#pragma once

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "progress_text.h"
#include "win_handles.h"

namespace tqk {

// What the window needs of the conversion it runs: the operations and the Decoding event of
// the movie-to-AVI conversion class.
class ConversionSource {
public:
    virtual ~ConversionSource() = default;
    virtual int32_t TQKtoAVI(const std::wstring& TQKFile, const std::wstring& AVIFile,
                             const COMPVARS* ptr_cv, bool ModifyAVI24bit) = 0;
    virtual void AVIRecCancel() = 0;
    virtual int32_t WAVaddAVI(const std::wstring& WaveFile, const std::wstring& AVIFile,
                              intptr_t CallBack) = 0;
    virtual int32_t TQKtoTQK(const std::wstring& srcFnm, const std::wstring& dstFnm, int32_t dstBit,
                             int32_t dstType) = 0;
    // The platform's message of the failure that ended the last conversion to AVI early (the
    // file then holds the frames written before it); empty when there was none.
    virtual std::wstring FailureText() const { return {}; }
    // Raised once per frame written: now frame, total frames, elapsed milliseconds.
    std::function<void(int32_t, int32_t, int32_t)> Decoding;
};

// The window's last position in pixels, program-wide (0, 0 until set).
extern int g_Form5Left;
extern int g_Form5Top;

class Form5 {
public:
    // makeConversion creates the conversion object (DA) of each run.
    explicit Form5(std::function<std::unique_ptr<ConversionSource>()> makeConversion);
    ~Form5();
    Form5(const Form5&) = delete;
    Form5& operator=(const Form5&) = delete;

    void U_Show(const std::wstring& TQKFile, const std::wstring& AVIFile,
                const std::wstring& WaveFile = L"", const COMPVARS* ptr_cv = nullptr,
                bool ModifyAVI24bit = false);
    int32_t U_ShowTQKtoTQK(const std::wstring& srcFnm, const std::wstring& dstFnm, int32_t dstBit,
                           int32_t dstType);
    // Called by a job after each frame with (frames done, total); false once Cancel was pressed.
    using JobProgress = std::function<bool(int32_t, int32_t)>;
    // Runs a conversion of the caller's (the GIF export) with the strip and Cancel: the window
    // is titled `caption`, and "NN% " + doneText while the job reports its frames.
    void U_ShowJob(const std::wstring& caption, const std::string& doneText,
                   const std::function<void(const JobProgress&)>& job);
    void MoveMe();
    void SaveMe();

    HWND Hwnd() const;
    HWND Command1() const;
    HWND Picture2() const;
    // The strip's image as last drawn (for checks); and its texts.
    HDC StripDC() const { return stripDC_.Get(); }
    const form5::ProgressTexts& LastTexts() const { return last_; }

    static constexpr int kStripWidth = 340;
    static constexpr int kStripHeight = 20;

private:
    class View;
    void Create();
    void Begin();  // steps shared by both conversions
    void Open();   // shows the window ready for a run
    void End();
    void Command1_Click();
    void DA_Decoding(int32_t NowFrame, int32_t TotalFrame, int32_t Totalmsec);

    std::function<std::unique_ptr<ConversionSource>()> makeConversion_;
    std::unique_ptr<ConversionSource> DA;
    form5::RecentTimes times_;
    form5::ProgressTexts last_;
    bool cancelled_ = false;
    bool movieMode_ = false;
    std::string jobDoneText_;  // the caption's words of a job's progress
    double soundStart_ = 0;
    std::unique_ptr<View> view_;
    tqk::GdiObject font_;
    tqk::MemoryDc stripDC_, barDC_;  // Picture2's image and Picture1 (the bar)
    tqk::GdiObject stripBmp_, barBmp_;
    std::optional<tqk::SelectGuard> stripSel_, barSel_, stripFontSel_;
};

}  // namespace tqk
