// TaviroWave: the sound helper. Started by the recorder with the recorder's process id, it
// records WAV files on the recorder's commands in the shared block and ends when the recorder
// has ended. Holding the "0" key at start shows a small diagnostic window.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "message_pump.h"
#include "sound_block.h"
#include "wave_in2.h"
#include "wave_math.h"
#include "win_handles.h"
#include "win_window.h"

namespace {

using namespace tqk::snd;

using tqk::FileHandle;
using tqk::MappedView;
using tqk::ObjectHandle;
using tqk::PumpMessages;

constexpr wchar_t kCaption[] = L"TaviroWave";
constexpr wchar_t kWindowClass[] = L"TaviroWaveForm";
constexpr int kVersionMajor = 1, kVersionMinor = 0, kVersionRevision = 0;
constexpr int kWindowWidth = 240, kWindowHeight = 110;

// The diagnostic window's labels; null when the window is not shown.
HWND g_status = nullptr;
HWND g_bufferBytes = nullptr;
HWND g_position = nullptr;

void SetLabel(HWND label, const std::string& text) {
    if (label) SetWindowTextA(label, text.c_str());
}

void __stdcall ShowProgress(int32_t& position, int32_t& buffersWritten) {
    SetLabel(g_position, FormatBytePosition(static_cast<uint32_t>(position)) + "Byte Flip " +
                             std::to_string(buffersWritten));
}

std::wstring Ascii(const char* s) { return std::wstring(s, s + std::strlen(s)); }
std::wstring BlockName() { return Ascii(kBlockNameUtf8); }

bool ReadBlock(HANDLE mapping, SoundHelperBlock* ret) {
    MappedView view(mapping, FILE_MAP_READ, 0, kBlockBytes);
    if (!view) return false;
    uint8_t copy[kBlockBytes];
    std::memcpy(copy, view.Get(), kBlockBytes);
    *ret = DecodeBlock(copy);
    return true;
}

void WriteBlock(HANDLE mapping, SoundHelperBlock b) {
    uint8_t copy[kBlockBytes];
    if (!EncodeBlock(b, copy)) {
        // A path that came without its terminating zero cannot go back: the reply is written
        // without the paths rather than lost (the recorder would wait for it in vain).
        b.WavePath.clear();
        b.ScratchPath.clear();
        if (!EncodeBlock(b, copy)) return;
    }
    MappedView view(mapping, FILE_MAP_WRITE, 0, kBlockBytes);
    if (view) std::memcpy(view.Get(), copy, kBlockBytes);
}

bool StillRunning(HANDLE process) {
    DWORD code = 0;
    return GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

// The command line as plain ASCII; anything else cannot be a process id.
std::string AsciiOnly(const wchar_t* s) {
    std::string out;
    for (; s && *s; ++s) out += (*s < 0x80) ? static_cast<char>(*s) : '?';
    return out;
}

// The helper's window: hidden, or with diagnostic labels (version, last code, buffer bytes,
// position) in the screen's lower right corner. Figures are device pixels of the whole window.
class WaveForm : public tqk::Window {
public:
    static constexpr int kVersionLabel = 101, kStatusLabel = 102, kBufferLabel = 103,
                         kPositionLabel = 104;
    explicit WaveForm(bool diagnostic) : diagnostic_(diagnostic) {}

protected:
    bool OnCreate() override {
        if (!diagnostic_) return true;
        static const tqk::ControlSpec labels[] = {
            {L"STATIC", kVersionLabel, L"", 0, 4, 4, kWindowWidth - 16, 18},
            {L"STATIC", kStatusLabel, L"", 0, 4, 24, kWindowWidth - 16, 18},
            {L"STATIC", kBufferLabel, L"", 0, 4, 44, kWindowWidth - 16, 18},
            {L"STATIC", kPositionLabel, L"", 0, 4, 64, kWindowWidth - 16, 18},
        };
        return AddControls(labels);
    }

private:
    bool diagnostic_;
};
static_assert(tqk::IdsValid({WaveForm::kVersionLabel, WaveForm::kStatusLabel,
                             WaveForm::kBufferLabel, WaveForm::kPositionLabel}));

bool CreateForm(WaveForm* form, bool diagnostic) {
    const DWORD style = WS_POPUP | WS_CAPTION;
    const DWORD exStyle = WS_EX_TOOLWINDOW | (diagnostic ? WS_EX_TOPMOST : 0);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    tqk::WindowSpec spec{kWindowClass, kCaption, style, kWindowWidth - (frame.right - frame.left),
                         kWindowHeight - (frame.bottom - frame.top)};
    spec.exStyle = exStyle;
    spec.x = GetSystemMetrics(SM_CXSCREEN) - kWindowWidth;
    spec.y = GetSystemMetrics(SM_CYFULLSCREEN) - 50 - kWindowHeight;
    spec.dpiScaled = false;
    if (!form->Create(spec)) return false;
    if (!diagnostic) return true;
    SetLabel(form->Item(WaveForm::kVersionLabel), std::to_string(kVersionMajor) + "." +
                                                      std::to_string(kVersionMinor) + "." +
                                                      std::to_string(kVersionRevision));
    g_status = form->Item(WaveForm::kStatusLabel);
    g_bufferBytes = form->Item(WaveForm::kBufferLabel);
    g_position = form->Item(WaveForm::kPositionLabel);
    SetWindowPos(form->Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    return true;
}

int Refuse(const wchar_t* text) {
    MessageBoxW(nullptr, text, kCaption, MB_OK);
    return 0;
}

// A number from the environment; 0 when it is not set or not a number.
double EnvironmentNumber(const wchar_t* name) {
    wchar_t text[64] = L"";
    const DWORD n = GetEnvironmentVariableW(name, text, 64);
    return n > 0 && n < 64 ? std::wcstod(text, nullptr) : 0;
}

// Status 8 with the progress, while the WAV is finished: the recorder waits for it as long as
// the recording's length needs instead of giving up after its usual time.
struct Finishing {
    HANDLE block;
    HANDLE recorder;
    SoundHelperBlock reply;
};
// Owned from the moment the recorder is found gone during a recording until the helper ends.
ObjectHandle g_orphan;

void ReportFinishing(void* context, int32_t permille) {
    auto* f = static_cast<Finishing*>(context);
    if (!g_orphan && !StillRunning(f->recorder))
        g_orphan.Reset(CreateMutexW(nullptr, TRUE, Ascii(kHelperOrphanNameUtf8).c_str()));
    f->reply.Code = kCodeWriting;
    f->reply.Progress = permille;
    WriteBlock(f->block, f->reply);
}

// Records one WAV file as the block asks; the status for the recorder.
int32_t Record(HANDLE block, HANDLE recorder, SoundHelperBlock* b) {
    WaveIn2Params p;
    p.WavePath = b->WavePath;
    p.LengthSec = b->LengthSec;
    p.Bits = b->Bits;
    p.SamplesPerSec = b->SamplesPerSec;
    p.Channels = b->Channels;
    p.BufferKb = b->BufferKb;
    p.Progress = g_position ? &ShowProgress : nullptr;
    p.ScratchPath = b->ScratchPath;
    p.StartTime = b->StartTime;
    p.Block = block;
    p.Recorder = recorder;
    // Benchmarks: a long recording's stop without recording for so long (wave_in2.h).
    p.PreloadSec = EnvironmentNumber(L"TAVIRO_WAVE_PRELOAD_SEC");
    p.ForcedClockRatio = EnvironmentNumber(L"TAVIRO_WAVE_CLOCK_RATIO");
    Finishing finishing{block, recorder, *b};
    p.Finishing = &ReportFinishing;
    p.FinishingContext = &finishing;
    int32_t actual = 0;
    const int32_t r = WaveIn2Record(p, &actual);
    b->ActualStartTime = actual;
    b->Progress = 0;
    return r == kWaveOk ? kCodeDone : kCodeFailed;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const bool diagnostic = (GetAsyncKeyState('0') & 0x8000) != 0;

    ObjectHandle instanceMutex(
        CreateMutexW(nullptr, FALSE, Ascii(kHelperInstanceNameUtf8).c_str()));
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    uint32_t parentPid = 0;
    if (!ParseProcessId(AsciiOnly(commandLine), &parentPid)) {
        return Refuse(L"不正なコマンドラインです。");
    }
    ObjectHandle recorder(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, parentPid));
    if (!recorder) return Refuse(L"不正なコマンドラインです。");
    ObjectHandle block(
        OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, BlockName().c_str()));
    if (!block) return Refuse(L"単体では起動できません。");
    if (!StillRunning(recorder.Get())) return Refuse(L"親プロセスが終了しています。");

    WaveForm form(diagnostic);
    (void)CreateForm(&form, diagnostic);  // the helper records without its window too

    // Opening the device once up front makes the first recording start on time; the probe
    // also clears a scratch file left behind by an earlier run.
    WaveIn2Params probe;
    probe.Bits = 16;
    probe.SamplesPerSec = 44100;
    probe.Channels = 2;
    probe.BufferKb = 1000;
    probe.ProbeOnly = true;
    (void)WaveIn2Record(probe, nullptr);

    do {
        PumpMessages();
        Sleep(15);
        SoundHelperBlock b;
        if (!ReadBlock(block.Get(), &b)) continue;
        SetLabel(g_status, "Status:" + std::to_string(b.Code));
        SetLabel(g_bufferBytes, std::to_string(int64_t{b.BufferKb} * 1024));
        if (b.Code == kCodeHandshake) {
            b.Bits = static_cast<int32_t>(GetCurrentProcessId());
            b.Code = kCodeIdle;
            WriteBlock(block.Get(), b);
        } else if (b.Code == kCodeStart) {
            b.Code = Record(block.Get(), recorder.Get(), &b);
            WriteBlock(block.Get(), b);
        } else if (b.Code == kCodeStop) {
            b.Code = kCodeIdle;
            WriteBlock(block.Get(), b);
        } else if (b.Code == kCodeExit) {
            break;
        }
    } while (StillRunning(recorder.Get()));

    g_status = g_bufferBytes = g_position = nullptr;
    return 0;
}
