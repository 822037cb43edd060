// The player as a user meets it: TaviroPlayer.exe started with and without a movie, driven
// through its buttons, menus, drops and close box from this process, its picture read back
// from the screen and its sound recorded from the audio daemon's monitor.
#include <windows.h>

#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "avi_test_util.h"
#include "capture.h"
#include "form1_ids.h"
#include "frame_seek.h"
#include "movie_cut.h"
#include "player_model.h"
#include "snapshot_file.h"
#include "test_files.h"
#include "tqk_format.h"
#include "win_file.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

using namespace player_ids;

constexpr DWORD kWait = 20000;  // generous: the machine is shared
const wchar_t kType0Refusal[] =
    L"このTQKファイルはType0で録画されています。\r\nType0は通常に再生できません。";

std::wstring FromUnix(const char* path) {
    std::wstring w = L"Z:" + WideFromUtf8(path);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return w;
}
const std::wstring& PlayerExe() {
    static const std::wstring exe = FromUnix(TAVIRO_PLAYER_EXE);
    return exe;
}

// Frame i of the test movies is one solid colour that names it: red = i mod 256, green =
// 32 + 64 x (i / 256), blue 200.
COLORREF FrameColour(int i) { return RGB(i & 0xFF, 32 + 64 * ((i >> 8) & 3), 200); }
int FrameOf(COLORREF c) {
    if (GetBValue(c) != 200 || (GetGValue(c) - 32) % 64 != 0) return -1;
    return GetRValue(c) + 256 * ((GetGValue(c) - 32) / 64);
}

// A 32-bit movie of solid frames, Type1 or Type0 (the display's layout: the same bytes on a
// 32-bit display).
void WriteMovie(const std::wstring& path, int32_t method, int32_t w, int32_t h, int32_t fps,
                int32_t sec) {
    MovieHeader hd;
    hd.Method = method, hd.BitCo = 32, hd.W = w, hd.H = h, hd.fps = fps, hd.sec = sec;
    MovieEncoder enc;
    ASSERT_EQ(enc.Start(hd), kOk);
    std::string bytes(reinterpret_cast<const char*>(enc.Header()), kHeaderBytes);
    std::vector<uint8_t> frame(enc.FrameSize());
    for (uint64_t i = 0; i < FrameCount(hd); ++i) {
        const COLORREF c = FrameColour(int(i));
        for (size_t p = 0; p + 4 <= frame.size(); p += 4) {
            frame[p] = GetBValue(c), frame[p + 1] = GetGValue(c), frame[p + 2] = GetRValue(c);
            frame[p + 3] = 0;
        }
        size_t n = 0;
        const uint8_t* rec = enc.EncodeFrame(frame.data(), &n);
        bytes.append(reinterpret_cast<const char*>(rec), n);
    }
    ASSERT_TRUE(WriteBytes(path, bytes));
}

// A 32-bit movie whose frame i shows FrameColour(i) in a block in the middle of a still grey
// picture: small records, so that the seeker keeps snapshots of it.
void WriteBlockMovie(const std::wstring& path, int32_t fps, int32_t sec) {
    MovieHeader hd;
    hd.Method = 1, hd.BitCo = 32, hd.W = 320, hd.H = 240, hd.fps = fps, hd.sec = sec;
    MovieEncoder enc;
    ASSERT_EQ(enc.Start(hd), kOk);
    std::string bytes(reinterpret_cast<const char*>(enc.Header()), kHeaderBytes);
    std::vector<uint8_t> frame(enc.FrameSize(), 0x80);
    for (uint64_t i = 0; i < FrameCount(hd); ++i) {
        const COLORREF c = FrameColour(int(i));
        for (int y = 100; y < 140; ++y) {
            for (int x = 140; x < 180; ++x) {
                uint8_t* p = &frame[(size_t(y) * 320 + size_t(x)) * 4];
                p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c), p[3] = 0;
            }
        }
        size_t n = 0;
        const uint8_t* rec = enc.EncodeFrame(frame.data(), &n);
        bytes.append(reinterpret_cast<const char*>(rec), n);
    }
    ASSERT_TRUE(WriteBytes(path, bytes));
}

// Whether snap is a snapshot file of movie as it is now that covers all of it, as the
// suite's own reader sees it; the number of its snapshots in *count.
bool SnapshotFileFits(const std::wstring& movie, const std::wstring& snap, size_t* count) {
    // Read as the player reads it.
    FileHandle m = OpenForRead(movie), f = OpenCacheForRead(snap);
    if (!m || !f) return false;
    Win32RandomSource ms(m.Get()), fs(f.Get());
    FrameSeeker s;
    if (s.Open(&ms) != kOk || s.UseSnapshotFile(&fs) != kOk) return false;
    if (count) *count = s.FileSnapshotCount();
    return s.Prepared();
}

void WriteSound(const std::wstring& path, double seconds) {
    const auto wav = avitest::PcmWav(uint32_t(44100 * seconds), 2, 44100);
    ASSERT_TRUE(WriteBytes(path, std::string(wav.begin(), wav.end())));
}

class Player {
public:
    bool Start(const std::wstring& args) { return Launch(args) && WaitShown(); }
    bool Launch(const std::wstring& args) { return proc_.Start(PlayerExe(), args); }
    bool WaitShown() {
        wnd_ = WaitForWindow(proc_.Id(), kClassName, nullptr, kWait);
        return wnd_ != nullptr;
    }
    DWORD Pid() const { return proc_.Id(); }
    HWND Wnd() const { return wnd_; }
    HWND Item(int id) const { return Child(wnd_, id); }
    std::wstring Status() const { return Text(Item(Label1)); }
    std::wstring Caption() const { return Text(wnd_); }
    SIZE PictureSize() const {
        RECT r{};
        GetClientRect(Item(Picture1), &r);
        return {r.right, r.bottom};
    }
    COLORREF PicturePixel() const {
        HWND p = Item(Picture1);
        RECT r{};
        GetClientRect(p, &r);
        POINT at{r.right / 2, r.bottom / 2};
        ClientToScreen(p, &at);
        HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, at.x, at.y);
        ReleaseDC(nullptr, screen);
        return c;
    }
    int Frame() const { return FrameOf(PicturePixel()); }
    // The bar's drawn area: how many pixels differ from the panel's face colour.
    int BarPixels() const {
        HWND b = Item(Picture2);
        RECT r{};
        GetClientRect(b, &r);
        POINT at{0, r.bottom / 2};
        ClientToScreen(b, &at);
        HDC screen = GetDC(nullptr);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        int n = 0;
        for (int x = 0; x < r.right; x += 2) n += GetPixel(screen, at.x + x, at.y) != face;
        ReleaseDC(nullptr, screen);
        return n;
    }
    void Press(int id) const { Click(Item(id)); }
    // Where the bar shows frame f of total: a point on the screen.
    POINT BarPoint(int32_t f, int32_t total) const {
        HWND b = Item(Picture2);
        RECT r{};
        GetClientRect(b, &r);
        const int length =
            int(std::lround(double(player::kBarMaxLength) * r.right / player::kBarAreaWidth));
        int x = 0;
        while (x + 1 < length && player::FrameAtBar(x, length, total) < f) ++x;
        POINT at{x, r.bottom / 2};
        ClientToScreen(b, &at);
        return at;
    }
    void Key(UINT vk) const { PressKey(Item(Picture1), vk); }
    void Menu(int id) const { PostMessageW(wnd_, WM_COMMAND, id, 0); }
    bool Playing() const { return IsChecked(Item(Check1(0))); }
    std::optional<DWORD> WaitExit(DWORD ms) { return proc_.WaitExit(ms); }
    void Close() const { PostMessageW(wnd_, WM_CLOSE, 0, 0); }
    HANDLE Process() const { return proc_.Handle(); }

private:
    ChildProcess proc_;
    HWND wnd_ = nullptr;
};

// Frames seen every 20 ms for ms milliseconds (-1: no movie frame).
std::vector<int> Watch(const Player& p, DWORD ms) {
    std::vector<int> seen;
    const DWORD until = GetTickCount() + ms;
    while (GetTickCount() < until) {
        seen.push_back(p.Frame());
        Sleep(20);
    }
    return seen;
}

// Real mouse input through the system's queue: the pointer moved to a point of the screen,
// the left button pressed or released there.
void MouseTo(POINT at) {
    // Placed to the pixel, then a move through the input queue so the window hears of it.
    SetCursorPos(at.x, at.y);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &in, sizeof in);
}
void MouseButton(bool down) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof in);
}

// The frame the picture stands still at once the pause button is down: read until two reads
// 150 ms apart (more than a frame at 10 fps) agree; -1 when it never does.
int StillFrame(const Player& p) {
    if (!WaitUntil([&] { return IsChecked(p.Item(Check1(1))); }, kWait)) return -1;
    int before = -2, still = -1;
    WaitUntil(
        [&] {
            const int f = p.Frame();
            const bool same = f == before && f >= 0;
            before = f;
            if (same) {
                still = f;
                return true;
            }
            Sleep(150);
            return false;
        },
        kWait);
    return still;
}

// A real drop as the shell makes one: a DROPFILES block in the target process's memory,
// handed over in WM_DROPFILES.
bool DropFiles(const Player& p, const std::vector<std::wstring>& files) {
    std::wstring list;
    for (const auto& f : files) list += f + L'\0';
    list += L'\0';
    std::vector<uint8_t> block(sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    DROPFILES df{};
    df.pFiles = sizeof(DROPFILES);
    df.pt = {20, 20};
    df.fWide = TRUE;
    std::memcpy(block.data(), &df, sizeof df);
    std::memcpy(block.data() + sizeof df, list.data(), list.size() * sizeof(wchar_t));
    void* remote = VirtualAllocEx(p.Process(), nullptr, block.size(), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (!remote) return false;
    SIZE_T written = 0;
    if (!WriteProcessMemory(p.Process(), remote, block.data(), block.size(), &written))
        return false;
    return PostMessageW(p.Wnd(), WM_DROPFILES, WPARAM(remote), 0) != FALSE;
}

// The data of an OLE drag from this process: files (CF_HDROP) or, without files, a text.
class DragData final : public IDataObject {
public:
    explicit DragData(std::vector<std::wstring> files) : files_(std::move(files)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // on the test's stack
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* f, STGMEDIUM* m) override {
        if (QueryGetData(f) != S_OK) return DV_E_FORMATETC;
        std::wstring list;
        if (files_.empty()) {
            list = L"no files here";
        } else {
            for (const auto& name : files_) list += name + L'\0';
        }
        list += L'\0';
        const size_t head = files_.empty() ? 0 : sizeof(DROPFILES);
        HGLOBAL g =
            GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, head + list.size() * sizeof(wchar_t));
        if (!g) return E_OUTOFMEMORY;
        auto* p = static_cast<uint8_t*>(GlobalLock(g));
        if (head) {
            DROPFILES df{};
            df.pFiles = sizeof(DROPFILES);
            df.fWide = TRUE;
            std::memcpy(p, &df, sizeof df);
        }
        std::memcpy(p + head, list.data(), list.size() * sizeof(wchar_t));
        GlobalUnlock(g);
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = g;
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
        const CLIPFORMAT want = files_.empty() ? CF_UNICODETEXT : CF_HDROP;
        return f && f->cfFormat == want && (f->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dir, IEnumFORMATETC** out) override {
        if (dir != DATADIR_GET) return E_NOTIMPL;
        FORMATETC f{CLIPFORMAT(files_.empty() ? CF_UNICODETEXT : CF_HDROP), nullptr,
                    DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SHCreateStdEnumFmtEtc(1, &f, out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

private:
    std::vector<std::wstring> files_;
    ULONG refs_ = 1;
};

// The source side: the drag is held over the target for a few rounds, then dropped.
class DragSource final : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
            *out = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return ++rounds_ < 4 ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    ULONG refs_ = 1;
    int rounds_ = 0;
};

// A real OLE drag and drop from this process onto the player's picture, through the
// platform's DoDragDrop: the files, or no files at all. True when the player took it.
bool DragAndDrop(const Player& p, const std::vector<std::wstring>& files) {
    if (FAILED(OleInitialize(nullptr))) return false;
    HWND picture = p.Item(Picture1);
    RECT r{};
    GetClientRect(picture, &r);
    POINT at{r.right / 2, r.bottom / 2};
    ClientToScreen(picture, &at);
    SetCursorPos(at.x, at.y);
    DragData data(files);
    DragSource source;
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT hr = DoDragDrop(&data, &source, DROPEFFECT_COPY, &effect);
    OleUninitialize();
    return hr == DRAGDROP_S_DROP && effect == DROPEFFECT_COPY;
}

// The sound on the audio daemon's monitor during the next ms milliseconds: its RMS level.
double RecordedLevel(DWORD ms, const std::wstring& folder) {
    const std::string raw =
        UnixPath(folder) + "/monitor_" + std::to_string(GetTickCount()) + ".raw";
    const std::string cmd = "timeout " + std::to_string(ms / 1000.0) +
                            " parec -d nullsink.monitor --format=s16le --rate=44100 "
                            "--channels=2 > '" +
                            raw +
                            "'; sox -t raw -r 44100 -e signed -b 16 "
                            "-c 2 '" +
                            raw + "' -n stat 2>&1 | grep 'RMS     amplitude'";
    const auto out = RunUnixCommand(cmd, ms + 10000);
    if (!out) return -1;
    const size_t colon = out->find(':');
    return colon == std::string::npos ? -1 : std::atof(out->c_str() + colon + 1);
}

// The open dialog of process pid: a dialog with the file-name box (id 1148, older 1152).
HWND WaitForOpenDialog(DWORD pid) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            HWND d = WaitForWindow(pid, L"#32770", nullptr, 50);
            if (d && (GetDlgItem(d, 1148) || GetDlgItem(d, 1152))) found = d;
            return found != nullptr;
        },
        kWait);
    return found;
}

BOOL CALLBACK FindEdit(HWND w, LPARAM lp) {
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    if (_wcsicmp(cls, L"Edit") != 0) return TRUE;
    *reinterpret_cast<HWND*>(lp) = w;
    return FALSE;
}

// Types path into the open dialog and presses its OK button.
bool ChooseFile(HWND dialog, const std::wstring& path) {
    HWND box = GetDlgItem(dialog, 1148);
    HWND edit = nullptr;
    if (box) EnumChildWindows(box, &FindEdit, LPARAM(&edit));
    if (!edit) edit = GetDlgItem(dialog, 1152);
    if (!edit) return false;
    SetText(edit, path);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, kWait);
}

// The compressor choice of process pid: a dialog with a list of compressors.
HWND WaitForPlainDialog(DWORD pid) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            HWND d = WaitForWindow(pid, L"#32770", nullptr, 50);
            if (d && FindWindowExW(d, nullptr, L"ComboBox", nullptr)) found = d;
            return found != nullptr;
        },
        kWait);
    return found;
}

class PlayerTest : public ::testing::Test {
protected:
    TempFolder dir_{L"player"};
    std::wstring Movie(const std::wstring& name, int32_t method = 1, int32_t sec = 3,
                       int32_t fps = 10) {
        const std::wstring path = dir_.Path() + name;
        WriteMovie(path, method, 320, 240, fps, sec);
        return path;
    }
    // A 12-second movie at 10 fps with a WAV beside it, silent for its first quietSeconds and
    // loud after: what is heard tells where the sound stands. Empty when the WAV was not made.
    std::wstring QuietThenLoud(const std::wstring& stem, int quietSeconds) {
        const std::wstring movie = Movie(stem + L".TQK", 1, 12, 10);
        auto wav = avitest::PcmWav(44100 * 12, 2, 44100);
        std::fill(wav.begin() + 44, wav.begin() + 44 + 44100 * 4 * quietSeconds, uint8_t(0));
        if (!WriteBytes(dir_.Path() + stem + L".wav", std::string(wav.begin(), wav.end())))
            return L"";
        return movie;
    }
};

TEST_F(PlayerTest, NoArgumentShowsNoFileAndTheButtonsDoNothing) {
    Player p;
    ASSERT_TRUE(p.Start(L""));
    EXPECT_EQ(p.Caption(), L"TQK Player");
    EXPECT_EQ(p.Status(), L"-- No File --");
    const SIZE s = p.PictureSize();
    EXPECT_EQ(s.cx, 160);
    EXPECT_EQ(s.cy, 120);
    for (int i = 0; i < 3; ++i) {
        p.Press(Check1(i));
        Sleep(150);
        EXPECT_FALSE(IsChecked(p.Item(Check1(i)))) << "button " << i;
    }
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, OpensPlainAndQuotedPathsAndRefusesBadOnes) {
    CreateDirectoryW((dir_.Path() + L"テスト フォルダ").c_str(), nullptr);
    const std::wstring japanese = Movie(L"テスト フォルダ\\動画 1.TQK");
    const std::wstring plain = Movie(L"plain.TQK", 1, 30);
    const std::wstring text = dir_.Path() + L"notes.TQK";
    ASSERT_TRUE(WriteBytes(text, std::string(200, 'x')));
    struct Case {
        std::wstring args, status, captionEnd, message;
    } cases[] = {
        {plain, L"320x240 32bit 10fps 30sec Type1", L"plain.TQK", L""},
        {L"\"" + japanese + L"\"", L"320x240 32bit 10fps 3sec Type1", L"動画 1.TQK", L""},
        {L"  \"" + japanese + L"\" ", L"320x240 32bit 10fps 3sec Type1", L"動画 1.TQK", L""},
        {L"\"" + dir_.Path() + L"missing.TQK\"", L"-- No File --", L"TQK Player", L""},
        {text, L"-- No File --", L"TQK Player", Capture().GetError(kErrBadFile)},
        {Movie(L"zero.TQK", 0), L"-- No File --", L"TQK Player", kType0Refusal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8FromWide(c.args));
        Player p;
        ASSERT_TRUE(p.Launch(c.args));
        if (!c.message.empty()) {
            // The message comes before the window is shown.
            const auto box = WaitForMessageBox(p.Pid(), kWait);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, c.message);
            EXPECT_TRUE(box->Has(IDOK));
            AnswerMessageBox(*box, IDOK);
        }
        ASSERT_TRUE(p.WaitShown());
        EXPECT_EQ(p.Status(), c.status);
        const std::wstring caption = p.Caption();
        EXPECT_GE(caption.size(), c.captionEnd.size());
        EXPECT_EQ(caption.substr(caption.size() - std::min(caption.size(), c.captionEnd.size())),
                  c.captionEnd);
        if (c.status != L"-- No File --") {
            EXPECT_EQ(p.PictureSize().cx, 320);
            EXPECT_EQ(p.PictureSize().cy, 240);
        }
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
    }
}

TEST_F(PlayerTest, PlaysInOrderPausesResumesAndEnds) {
    const std::wstring movie = Movie(L"play.TQK", 1, 4, 10);
    Player p;
    ASSERT_TRUE(p.Start(L"\"" + movie + L"\""));
    // The first frame is shown on open.
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    p.Press(Check1(0));
    const std::vector<int> first = Watch(p, 1000);
    std::vector<int> shown;
    for (int f : first)
        if (f >= 0 && (shown.empty() || shown.back() != f)) shown.push_back(f);
    ASSERT_GE(shown.size(), 5u) << "frames seen in one second";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    // About ten frames a second: after one second of watching, frame 6 to 13.
    EXPECT_GE(shown.back(), 6);
    EXPECT_LE(shown.back(), 13);
    EXPECT_GT(p.BarPixels(), 0);

    p.Press(Check1(1));  // pause
    const int paused = StillFrame(p);
    ASSERT_GE(paused, 0) << "the picture does not stand still";
    const std::vector<int> during = Watch(p, 700);
    for (int f : during) EXPECT_EQ(f, paused);
    p.Press(Check1(1));  // resume: the next frames, none skipped for the pause
    int next = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            next = p.Frame();
            return next != paused;
        },
        kWait));
    EXPECT_GT(next, paused);
    EXPECT_LE(next, paused + 2);

    // The end: rewound to the first frame, shown with its bar, the play button up.
    ASSERT_TRUE(WaitUntil([&] { return !p.Playing(); }, kWait));
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    EXPECT_GT(p.BarPixels(), 0);
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

// The offset of record i of a movie (the first one right behind the header); 0 past the end.
size_t RecordOffset(const std::string& movie, size_t i) {
    size_t at = kHeaderBytes;
    for (size_t k = 0; k < i; ++k) {
        if (at + 8 > movie.size() || movie.compare(at, 4, "FRAM") != 0) return 0;
        uint32_t n = 0;
        std::memcpy(&n, movie.data() + at + 4, 4);  // little-endian, as x86 reads it
        at += 8 + size_t(n);
    }
    return at + 8 <= movie.size() ? at : 0;
}

TEST_F(PlayerTest, MovieCutShortPlaysToItsLastWholeRecordWithoutAMessage) {
    const std::wstring movie = Movie(L"cut.TQK", 1, 3, 10);
    auto bytes = ReadBytes(movie);
    ASSERT_TRUE(bytes);
    // Record 20 cut in the middle, as a crash leaves it: frames 0 to 19 are whole.
    const size_t twentieth = RecordOffset(*bytes, 20);
    ASSERT_GT(twentieth, 0u);
    bytes->resize(twentieth + 8 + 5);
    ASSERT_TRUE(WriteBytes(movie, *bytes));
    Player p;
    ASSERT_TRUE(p.Start(movie));
    // The status tells the whole seconds the movie holds, not what its header promised.
    EXPECT_EQ(p.Status(), L"320x240 32bit 10fps 2sec Type1");
    p.Press(Check1(0));
    ASSERT_TRUE(WaitUntil([&] { return p.Playing(); }, kWait));
    // Every frame shown until the play ends (each stays 100 ms; read every few milliseconds).
    std::vector<int> shown;
    const DWORD until = GetTickCount() + kWait;
    while (p.Playing() && GetTickCount() < until) {
        const int f = p.Frame();
        if (f >= 0 && (shown.empty() || shown.back() != f)) shown.push_back(f);
        Sleep(2);
    }
    ASSERT_FALSE(p.Playing()) << "the play does not end";
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(shown.back(), 19) << "the last whole record is frame 19";
    EXPECT_GE(shown.size(), 10u) << "frames seen of 20";
    EXPECT_FALSE(WaitForMessageBox(p.Pid(), 500).has_value());
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, Type0PlaysOnlyWithTheZeroKeyHeld) {
    const std::wstring movie = Movie(L"type0.TQK", 0, 2, 10);
    // The key reaches the Wine desktop through a window of its own that has the focus.
    Player focus;
    ASSERT_TRUE(focus.Start(L""));
    SetForegroundWindow(focus.Wnd());
    Sleep(200);
    ASSERT_TRUE(RunUnixCommand("xdotool keydown 0", 5000));
    struct KeyUp {
        ~KeyUp() { RunUnixCommand("xdotool keyup 0", 5000); }
    } keyUp;  // also when a check below ends the test
    struct Case {
        int answer;
        const wchar_t* status;
    } cases[] = {{IDNO, L"-- No File --"}, {IDYES, L"320x240 32bit 10fps 2sec Type0"}};
    for (const auto& c : cases) {
        Player p;
        ASSERT_TRUE(p.Launch(L"\"" + movie + L"\""));
        const auto box = WaitForMessageBox(p.Pid(), kWait);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, std::wstring(kType0Refusal) + L"\r\n無理やり再生しますか？");
        EXPECT_TRUE(box->Has(IDYES) && box->Has(IDNO));
        AnswerMessageBox(*box, c.answer);
        ASSERT_TRUE(p.WaitShown());
        EXPECT_EQ(p.Status(), c.status);
        if (c.answer == IDYES) {
            // Drawn through the picture's display bitmap.
            p.Press(Check1(0));
            EXPECT_TRUE(WaitUntil([&] { return p.Frame() >= 2; }, kWait));
        }
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
    }
    focus.Close();
    EXPECT_TRUE(focus.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, FastForwardRunsWithoutWaitsAndStopRewinds) {
    const std::wstring movie = Movie(L"fast.TQK", 1, 30, 10);
    Player p;
    ASSERT_TRUE(p.Start(movie));
    p.Press(Check1(2));  // fast forward held before the play
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(p.Item(Check1(2))); }, kWait));
    p.Press(Check1(0));
    // The play has begun (the first frame is on show from the opening, so a later one): a stop
    // pressed before it would find nothing to stop.
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() > 0; }, kWait));
    // 300 frames at 10 fps take 30 s; without waits frame 100 comes long before 10 s.
    const DWORD start = GetTickCount();
    int f = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            f = p.Frame();
            return f >= 100 || !p.Playing();
        },
        kWait));
    EXPECT_LT(GetTickCount() - start, 8000u) << "frame " << f << " at normal speed";
    p.Press(Command1);
    ASSERT_TRUE(WaitUntil([&] { return !p.Playing(); }, kWait));
    // The buttons go up one after the other (a play that ended by itself, or the stop).
    EXPECT_TRUE(WaitUntil([&] { return !IsChecked(p.Item(Check1(2))); }, kWait));
    // Rewound: the first frame is shown.
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    // Played again from the start, not from where the fast run stopped.
    p.Press(Check1(0));
    int again = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            again = p.Frame();
            return again >= 0;
        },
        kWait));
    EXPECT_LE(again, 6);
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, SoundIsHeardWhilePlayingAndNotWhilePaused) {
    const std::wstring movie = Movie(L"sound.TQK", 1, 8, 10);
    WriteSound(dir_.Path() + L"sound.wav", 8);
    Player p;
    ASSERT_TRUE(p.Start(movie));
    p.Press(Check1(0));
    Sleep(800);  // the device starts
    const double playing = RecordedLevel(1500, dir_.Path());
    p.Press(Check1(1));
    // Paused once the picture stands still; the device's buffer may still play out.
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(p.Item(Check1(1))); }, kWait));
    int before = -2;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const int f = p.Frame();
            const bool same = f == before;
            before = f;
            Sleep(150);
            return same && f >= 0;
        },
        kWait));
    Sleep(700);
    const double paused = RecordedLevel(1000, dir_.Path());
    EXPECT_GT(playing, 0.05);
    EXPECT_GE(paused, 0);
    EXPECT_LT(paused, 0.01);
    // Fast forward from the pause: the pictures run on, the sound stays silent.
    p.Press(Check1(2));
    p.Press(Check1(1));
    Sleep(300);
    const double fast = RecordedLevel(1000, dir_.Path());
    EXPECT_GE(fast, 0);
    EXPECT_LT(fast, 0.01);
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

// A close while a paused play still has 27 s to go ends the program at once: a close that
// waited for the play, or hung in it, would take the rest of the movie. (How fast a program
// ends on a busy machine is no fault of the player: the bound only tells the two apart.)
TEST_F(PlayerTest, CloseDuringPlayEndsTheProgramWithoutWaitingForThePlay) {
    const std::wstring movie = Movie(L"close.TQK", 1, 30, 10);
    WriteSound(dir_.Path() + L"close.wav", 30);
    Player p;
    ASSERT_TRUE(p.Start(movie));
    p.Press(Check1(0));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 3; }, kWait));
    p.Press(Check1(1));  // paused too: the close must still end the play
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(p.Item(Check1(1))); }, kWait));
    const DWORD closedAt = GetTickCount();
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
    EXPECT_LT(GetTickCount() - closedAt, 10000u) << "the close waited for the play";
}

// A movie just dropped (320 x 240, 20 fps, 3 s) opens and plays at once from its start.
void ExpectPlayingFromItsStart(Player& p) {
    ASSERT_TRUE(WaitUntil([&] { return p.Status() == L"320x240 32bit 20fps 3sec Type1"; }, kWait));
    EXPECT_TRUE(WaitUntil(
        [&] {
            const int f = p.Frame();
            return f >= 0 && f < 20;
        },
        kWait));
    EXPECT_TRUE(p.Playing());
}

TEST_F(PlayerTest, DroppedMovieReplacesThePlayingOne) {
    const std::wstring first = Movie(L"first.TQK", 1, 30, 10);
    const std::wstring second = Movie(L"second.TQK", 1, 3, 20);
    Player p;
    ASSERT_TRUE(p.Start(first));
    p.Press(Check1(0));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 5; }, kWait));
    ASSERT_TRUE(DropFiles(p, {second}));
    // The second one opens and plays at once: from its start, at 20 fps.
    ASSERT_NO_FATAL_FAILURE(ExpectPlayingFromItsStart(p));
    EXPECT_NE(p.Caption().find(L"second.TQK"), std::wstring::npos);

    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, OleDropOfAMovieReplacesThePlayingOne) {
    const std::wstring first = Movie(L"ole first.TQK", 1, 30, 10);
    const std::wstring second = Movie(L"OLE 二本目.TQK", 1, 3, 20);
    Player p;
    ASSERT_TRUE(p.Start(L"\"" + first + L"\""));
    p.Press(Check1(0));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 3; }, kWait));
    ASSERT_TRUE(DragAndDrop(p, {second, first}));  // the first file of the drop counts
    ASSERT_NO_FATAL_FAILURE(ExpectPlayingFromItsStart(p));
    EXPECT_NE(p.Caption().find(L"二本目.TQK"), std::wstring::npos);
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, DropWithoutFilesShowsItsMessageAndChangesNothing) {
    const std::wstring movie = Movie(L"kept.TQK", 1, 3, 10);
    const wchar_t* routes[] = {L"WM_DROPFILES", L"OLE"};
    Player p;
    ASSERT_TRUE(p.Start(movie));
    const std::wstring status = p.Status(), caption = p.Caption();
    for (const wchar_t* route : routes) {
        SCOPED_TRACE(Utf8FromWide(route));
        if (route[0] == L'O')
            ASSERT_TRUE(DragAndDrop(p, {}));
        else
            ASSERT_TRUE(DropFiles(p, {}));
        const auto box = WaitForMessageBox(p.Pid(), kWait);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, L"ファイルが入っていません。");
        EXPECT_TRUE(box->Has(IDOK));
        AnswerMessageBox(*box, IDOK);
        Sleep(200);
        EXPECT_EQ(p.Status(), status);
        EXPECT_EQ(p.Caption(), caption);
        EXPECT_FALSE(p.Playing());
    }
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, NoHandleOrGdiObjectLeaksOverTenRounds) {
    const std::wstring movie = Movie(L"leak.TQK", 1, 1, 20);
    WriteSound(dir_.Path() + L"leak.wav", 1);
    Player p;
    ASSERT_TRUE(p.Start(movie));
    auto counts = [&] {
        DWORD handles = 0;
        GetProcessHandleCount(p.Process(), &handles);
        return std::make_pair(handles, GetGuiResources(p.Process(), GR_GDIOBJECTS));
    };
    std::vector<std::pair<DWORD, DWORD>> after;
    for (int round = 0; round < 10; ++round) {
        ASSERT_TRUE(DropFiles(p, {movie}));  // open and play
        ASSERT_TRUE(WaitUntil([&] { return p.Playing(); }, kWait));
        ASSERT_TRUE(WaitUntil([&] { return !p.Playing(); }, kWait));
        Sleep(50);
        after.push_back(counts());
    }
    // The first rounds may settle caches; the last rounds must not grow.
    EXPECT_LE(after[9].first, after[3].first) << "kernel handles";
    EXPECT_LE(after[9].second, after[3].second) << "GDI objects";
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, OpenDialogOpensAndPlays) {
    const std::wstring movie = Movie(L"dialog.TQK", 1, 3, 10);
    Player p;
    ASSERT_TRUE(p.Start(L""));
    p.Menu(MenuOpen);
    HWND open = WaitForOpenDialog(p.Pid());
    ASSERT_TRUE(open);
    ASSERT_TRUE(ChooseFile(open, movie));
    ASSERT_TRUE(WaitUntil([&] { return p.Status() == L"320x240 32bit 10fps 3sec Type1"; }, kWait));
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() >= 0; }, kWait));  // playing at once
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, ExportsFromTheMenuWithItsQuestions) {
    const std::wstring movie = Movie(L"export.TQK", 1, 2, 10);
    const std::wstring wav = dir_.Path() + L"export.wav";
    const std::wstring avi = dir_.Path() + L"export.avi";
    WriteSound(wav, 2);
    struct Case {
        int soundAnswer;
        bool written;
    } cases[] = {{IDNO, false}, {IDYES, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.soundAnswer == IDYES ? "sound yes" : "sound no");
        Player p;
        ASSERT_TRUE(p.Start(movie));
        p.Menu(MenuExport);
        HWND open = WaitForOpenDialog(p.Pid());
        ASSERT_TRUE(open);
        ASSERT_TRUE(ChooseFile(open, movie));
        auto box = WaitForMessageBox(p.Pid(), kWait);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, L"export.wavが存在しています。Waveも取りこみますか？");
        AnswerMessageBox(*box, c.soundAnswer);
        if (c.written) {
            HWND chooser = WaitForPlainDialog(p.Pid());
            ASSERT_TRUE(chooser);
            PostMessageW(chooser, WM_COMMAND, IDOK, 0);  // full frames
            // The progress window runs the export and goes; the player comes back.
            ASSERT_TRUE(WaitUntil([&] { return Exists(avi) && IsWindowVisible(p.Wnd()); }, kWait));
        } else {
            Sleep(500);
        }
        EXPECT_EQ(Exists(avi), c.written);
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
    }
    // The AVI holds the movie's 20 frames, in order, and its sound.
    const std::string a = UnixPath(avi);
    const auto streams = RunUnixCommand(
        "ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames "
        "-of csv=p=0 '" +
            a + "'",
        30000);
    ASSERT_TRUE(streams);
    EXPECT_NE(streams->find("video,20"), std::string::npos) << *streams;
    EXPECT_NE(streams->find("audio"), std::string::npos) << *streams;
    // The red channel of each frame's first pixel is its number.
    const auto reds =
        RunUnixCommand("ffmpeg -v error -i '" + a +
                           "' -map 0:v -pix_fmt rgb24 -s 1x1 -sws_flags neighbor "
                           "-f rawvideo - | od -An -v -tu1 -w3 | awk '{print $1}' | tr '\\n' ' '",
                       30000);
    ASSERT_TRUE(reds);
    std::string want;
    for (int i = 0; i < 20; ++i) want += std::to_string(i) + " ";
    EXPECT_EQ(*reds, want);
    // A name that names no file, and a Type0 movie answered No: nothing is written.
    const std::wstring zero = Movie(L"zero.TQK", 0, 1, 10);
    struct Refusal {
        std::wstring chosen, message;
    } refusals[] = {
        {dir_.Path() + L"nothing here.TQK", L"ファイルが見つかりません。"},
        {zero, L"Type0は正常に変換できない可能性があります。続行しますか？"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(Utf8FromWide(r.chosen));
        Player p;
        ASSERT_TRUE(p.Start(movie));
        p.Menu(MenuExport);
        HWND open = WaitForOpenDialog(p.Pid());
        ASSERT_TRUE(open);
        ASSERT_TRUE(ChooseFile(open, r.chosen));
        auto box = WaitForMessageBox(p.Pid(), kWait);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, r.message);
        AnswerMessageBox(*box, box->Has(IDNO) ? IDNO : IDOK);
        EXPECT_FALSE(WaitForMessageBox(p.Pid(), 500).has_value());
        EXPECT_FALSE(Exists(r.chosen.substr(0, r.chosen.size() - 4) + L".avi"));
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
    }
    // A second export asks before replacing the AVI; No leaves it alone.
    Player p;
    ASSERT_TRUE(p.Start(movie));
    p.Menu(MenuExport);
    HWND open = WaitForOpenDialog(p.Pid());
    ASSERT_TRUE(open);
    ASSERT_TRUE(ChooseFile(open, movie));
    auto box = WaitForMessageBox(p.Pid(), kWait);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"export.aviが存在しています。上書きしてよろしいですか？");
    AnswerMessageBox(*box, IDNO);
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, TheBarShowsTheFrameUnderAClickAndADragAndThePlayGoesOnFromThere) {
    const std::wstring movie = Movie(L"seek.TQK", 1, 6, 10);
    WriteSound(dir_.Path() + L"seek.wav", 6);
    const int32_t total = 60;
    Player p;
    ASSERT_TRUE(p.Start(movie));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    SetForegroundWindow(p.Wnd());
    // A click while stopped shows that frame, and the bar follows.
    const int before = p.BarPixels();
    MouseTo(p.BarPoint(40, total));
    MouseButton(true);
    MouseButton(false);
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 40; }, kWait)) << p.Frame();
    EXPECT_GT(p.BarPixels(), before);
    EXPECT_FALSE(p.Playing());
    // A drag: every place the pointer stops shows the frame under it.
    MouseTo(p.BarPoint(10, total));
    MouseButton(true);
    for (const int32_t f : {10, 22, 35, 51}) {
        MouseTo(p.BarPoint(f, total));
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == f; }, kWait)) << f << " " << p.Frame();
    }
    MouseButton(false);
    // A play starts where the picture stands.
    p.Press(Check1(0));
    std::vector<int> seen = Watch(p, 500);
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(*std::min_element(seen.begin(), seen.end()), 51);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    ASSERT_TRUE(WaitUntil([&] { return !p.Playing(); }, kWait));
    // A click while playing: the play goes on from the frame clicked.
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    p.Press(Check1(0));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 3; }, kWait));
    SetForegroundWindow(p.Wnd());
    MouseTo(p.BarPoint(45, total));
    MouseButton(true);
    MouseButton(false);
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() >= 45; }, kWait));
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() >= 50; }, kWait));  // and on
    EXPECT_TRUE(p.Playing());
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, APlayAfterASeekHasTheSoundOfThatMoment) {
    // Silent for the first 4 seconds, loud for the next 8: what is heard tells where the sound
    // stands.
    const std::wstring movie = QuietThenLoud(L"seeksound", 4);
    ASSERT_FALSE(movie.empty());
    Player p;
    ASSERT_TRUE(p.Start(movie));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    // Sought while stopped to 4.5 s, then played: the loud part is heard at once.
    SetForegroundWindow(p.Wnd());
    MouseTo(p.BarPoint(45, 120));
    MouseButton(true);
    MouseButton(false);
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 45; }, kWait)) << p.Frame();
    p.Press(Check1(0));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 47; }, kWait));
    // Heard within the first 3 s of the play (a play from the start would be silent for 4 s):
    // a stream joining the idle null sink may lose its first few hundred milliseconds.
    double loud = 0;
    for (int i = 0; i < 3 && loud <= 0.05; ++i) loud = RecordedLevel(700, dir_.Path());
    EXPECT_GT(loud, 0.05);
    // Sought back while playing: the pictures go on from there.
    SetForegroundWindow(p.Wnd());
    MouseTo(p.BarPoint(2, 120));
    MouseButton(true);
    MouseButton(false);
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 2 && p.Frame() < 30; }, kWait));
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() >= 12; }, kWait));
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, ASeekWhilePlayingHasTheSoundOfThatMoment) {
    // Silent for the first 6 seconds, loud for the next 6: a seek from the silent part into
    // the loud part during the play is heard at once, a seek back makes it silent again.
    const std::wstring movie = QuietThenLoud(L"seekplay", 6);
    ASSERT_FALSE(movie.empty());
    Player p;
    ASSERT_TRUE(p.Start(movie));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    p.Press(Check1(0));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 5; }, kWait));
    const double silent = RecordedLevel(700, dir_.Path());
    SetForegroundWindow(p.Wnd());
    MouseTo(p.BarPoint(70, 120));
    MouseButton(true);
    MouseButton(false);
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 70; }, kWait));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 75; }, kWait));
    double loud = 0;
    for (int i = 0; i < 3 && loud <= 0.05; ++i) loud = RecordedLevel(700, dir_.Path());
    EXPECT_LT(silent, 0.02);
    EXPECT_GT(loud, 0.05);
    // And back into the silent part: the sound already handed to the daemon plays out first.
    SetForegroundWindow(p.Wnd());
    MouseTo(p.BarPoint(5, 120));
    MouseButton(true);
    MouseButton(false);
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 5 && p.Frame() < 60; }, kWait));
    double quiet = 1;
    for (int i = 0; i < 5 && quiet >= 0.02; ++i) quiet = RecordedLevel(500, dir_.Path());
    EXPECT_LT(quiet, 0.02);
    EXPECT_LT(p.Frame(), 60);
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, TheSnapshotFileIsWrittenAfterTheWalkAndSparesTheNextOpeningItsWalk) {
    const std::wstring movie = dir_.Path() + L"snap.TQK";
    WriteBlockMovie(movie, 10, 60);  // 600 frames
    const std::wstring snap = movie + L".snap", scratch = snap + L".tmp~";
    {
        // The first opening walks and then writes the file beside the movie.
        Player p;
        ASSERT_TRUE(p.Start(movie));
        ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
        EXPECT_TRUE(WaitUntil([&] { return Exists(snap) && !Exists(scratch); }, kWait));
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
    }
    size_t snapshots = 0;
    ASSERT_TRUE(SnapshotFileFits(movie, snap, &snapshots));
    EXPECT_GT(snapshots, 20u);
    const auto written = ReadBytes(snap);
    ASSERT_TRUE(written.has_value());
    {
        // The next opening takes it: the last frame at once, and no new file.
        Player p;
        ASSERT_TRUE(p.Start(movie));
        ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
        p.Key(VK_END);
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 599; }, kWait)) << p.Frame();
        p.Key(VK_PRIOR);
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 499; }, kWait)) << p.Frame();
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
        EXPECT_EQ(ReadBytes(snap), written);
    }
    {
        // Deleted while the player reads it: the player goes on.
        Player p;
        ASSERT_TRUE(p.Start(movie));
        ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
        p.Key(VK_END);
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 599; }, kWait)) << p.Frame();
        EXPECT_TRUE(DeleteFileW(snap.c_str()));
        for (const auto& [key, frame] : std::vector<std::pair<UINT, int>>{
                 {VK_PRIOR, 499}, {VK_HOME, 0}, {VK_NEXT, 100}, {VK_END, 599}}) {
            p.Key(key);
            EXPECT_TRUE(WaitUntil([&] { return p.Frame() == frame; }, kWait)) << frame;
        }
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
        EXPECT_FALSE(Exists(snap));
    }
    {
        // Proof that the picture comes from the file: one whose snapshot of frame 500 (CRC
        // and all) holds another picture shows that picture there.
        FileHandle m = OpenForRead(movie);
        ASSERT_TRUE(m);
        Win32RandomSource ms(m.Get());
        FrameSeeker s;
        ASSERT_EQ(s.Open(&ms), kOk);
        ASSERT_EQ(s.Seek(1000 % 600), kOk);  // frame 400's grey picture
        std::vector<uint8_t> lie(s.Frame(), s.Frame() + s.FrameSize());
        for (int y = 100; y < 140; ++y)
            for (int x = 140; x < 180; ++x) {
                uint8_t* px = &lie[(size_t(y) * 320 + size_t(x)) * 4];
                const COLORREF c = FrameColour(1000);
                px[0] = GetBValue(c), px[1] = GetGValue(c), px[2] = GetRValue(c);
            }
        std::vector<uint8_t> packed(compressBound(uLong(lie.size())));
        uLongf got = uLongf(packed.size());
        ASSERT_EQ(compress2(packed.data(), &got, lie.data(), uLong(lie.size()), 1), Z_OK);
        std::vector<SnapshotPiece> pieces{{500, packed.data(), got}};
        MovieIdentity id;
        ASSERT_EQ(s.Identity(&id), kOk);
        SnapshotFileWriter w;
        ASSERT_EQ(w.Begin(Utf8FromWide(snap), id, 600, false, pieces), 0u);
        while (w.Continue(size_t{1} << 20) == SnapshotFileWriter::State::kWriting) {
        }
        ASSERT_EQ(w.Current(), SnapshotFileWriter::State::kDone);
    }
    {
        Player p;
        ASSERT_TRUE(p.Start(movie));
        ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
        p.Key(VK_END);
        p.Key(VK_PRIOR);
        p.Key(VK_PRIOR);  // 399: unpacked from the start, the file has nothing before 500
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 399; }, kWait)) << p.Frame();
        p.Key(VK_HOME);
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait)) << p.Frame();
        for (int k = 0; k < 5; ++k) p.Key(VK_NEXT);  // 500, from the file's snapshot
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 1000; }, kWait)) << p.Frame();
        p.Key(VK_RIGHT);  // the frame after it unpacked from there
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 501; }, kWait)) << p.Frame();
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
    }
    {
        // The movie recorded again under its name: the file no longer fits, the walk runs and
        // a new file replaces it.
        WriteMovie(movie, 1, 320, 240, 10, 30);
        const auto sizeOf = [](const std::wstring& path) {
            WIN32_FILE_ATTRIBUTE_DATA d;
            return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)
                       ? (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow
                       : uint64_t(0);
        };
        const uint64_t oldSize = sizeOf(snap);
        Player p;
        ASSERT_TRUE(p.Start(movie));
        ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
        p.Key(VK_END);
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == 299; }, kWait)) << p.Frame();
        // Watched without opening it: a file held open cannot be replaced, not even one shared
        // for deleting, and the player's rename over it would fail (no file this time).
        EXPECT_TRUE(WaitUntil([&] { return sizeOf(snap) != oldSize && !Exists(scratch); }, kWait));
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
        EXPECT_TRUE(SnapshotFileFits(movie, snap, nullptr));
    }
}

TEST_F(PlayerTest, NoSnapshotFileWhenItCannotBeWrittenAndThePlayerWorksOn) {
    // A disk full from the file's first write or from its third, and a rename refused (as a
    // folder that takes no new names would): the seam in the player's file layer says when it
    // failed.
    int round = 0;
    for (const wchar_t* fault : {L"write:1+", L"write:3+", L"rename:1"}) {
        SCOPED_TRACE(Utf8FromWide(fault));
        const std::wstring stem = dir_.Path() + L"nowrite" + std::to_wstring(++round);
        const std::wstring movie = stem + L".TQK", snap = movie + L".snap",
                           report = stem + L".fault";
        WriteBlockMovie(movie, 10, 30);
        SetEnvironmentVariableW(L"TAVIRO_FAULT", fault);
        SetEnvironmentVariableW(L"TAVIRO_FAULT_REPORT", report.c_str());
        Player p;
        const bool started = p.Start(movie);
        SetEnvironmentVariableW(L"TAVIRO_FAULT", nullptr);
        SetEnvironmentVariableW(L"TAVIRO_FAULT_REPORT", nullptr);
        ASSERT_TRUE(started);
        ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
        EXPECT_TRUE(WaitUntil([&] { return Exists(report); }, kWait));
        for (const auto& [key, frame] : std::vector<std::pair<UINT, int>>{
                 {VK_END, 299}, {VK_PRIOR, 199}, {VK_HOME, 0}, {VK_NEXT, 100}, {VK_RIGHT, 101}}) {
            p.Key(key);
            EXPECT_TRUE(WaitUntil([&] { return p.Frame() == frame; }, kWait)) << frame;
        }
        EXPECT_FALSE(Exists(snap));
        EXPECT_FALSE(Exists(snap + L".tmp~"));
        p.Close();
        EXPECT_TRUE(p.WaitExit(kWait).has_value());
        EXPECT_EQ(ListFilesRelative(dir_.Path()).size(), size_t(2 * round));  // movie, report
    }
}

TEST_F(PlayerTest, KeysStepJumpPlayAndPause) {
    const std::wstring movie = Movie(L"keys.TQK", 1, 12, 10);  // 120 frames
    Player p;
    ASSERT_TRUE(p.Start(movie));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    struct Step {
        UINT key;
        int frame;
    } steps[] = {{VK_RIGHT, 1}, {VK_RIGHT, 2},  {VK_LEFT, 1},   {VK_END, 119},  {VK_HOME, 0},
                 {VK_LEFT, 0},  {VK_NEXT, 100}, {VK_NEXT, 119}, {VK_PRIOR, 19}, {VK_PRIOR, 0}};
    for (const Step& st : steps) {
        p.Key(st.key);
        EXPECT_TRUE(WaitUntil([&] { return p.Frame() == st.frame; }, kWait))
            << st.key << " " << p.Frame();
    }
    p.Key(VK_SPACE);  // play
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() >= 5; }, kWait));
    EXPECT_TRUE(p.Playing());
    p.Key(VK_SPACE);  // pause
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(p.Item(Check1(1))); }, kWait));
    Sleep(200);
    const int paused = p.Frame();
    p.Key(VK_RIGHT);  // one frame on, still paused
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() == paused + 1; }, kWait)) << p.Frame();
    EXPECT_TRUE(IsChecked(p.Item(Check1(1))));
    const std::vector<int> held = Watch(p, 400);
    for (int f : held) EXPECT_EQ(f, paused + 1);
    p.Key(VK_SPACE);  // resume from there
    EXPECT_TRUE(WaitUntil([&] { return p.Frame() > paused + 2; }, kWait));
    // Right while playing pauses first.
    p.Key(VK_RIGHT);
    EXPECT_TRUE(WaitUntil([&] { return IsChecked(p.Item(Check1(1))); }, kWait));
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
}

TEST_F(PlayerTest, AMarkedSpanIsSavedWithItsSoundAndExportedAlone) {
    const std::wstring movie = Movie(L"span.TQK", 1, 4, 10);
    const std::wstring wav = dir_.Path() + L"span.wav";
    WriteSound(wav, 4);
    Player p;
    ASSERT_TRUE(p.Start(movie));
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 0; }, kWait));
    for (int i = 0; i < 12; ++i) p.Key(VK_RIGHT);
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 12; }, kWait));
    p.Key('I');
    p.Key(VK_NEXT);  // 10 s on: the last frame
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 39; }, kWait));
    for (int i = 0; i < 13; ++i) p.Key(VK_LEFT);
    ASSERT_TRUE(WaitUntil([&] { return p.Frame() == 26; }, kWait));
    p.Key('O');
    // Frames 12 to 26: from 1.2 s up to 2.7 s (shown rounded, as the bar does).
    EXPECT_TRUE(WaitUntil([&] { return Text(p.Item(Label2)) == L"範囲 00:01～00:03"; }, kWait))
        << Utf8FromWide(Text(p.Item(Label2)));

    // 範囲を保存: the span as a movie with its WAV beside it.
    const std::wstring kept = dir_.Path() + L"kept.TQK";
    p.Menu(MenuSaveSpan);
    HWND save = WaitForOpenDialog(p.Pid());
    ASSERT_TRUE(save);
    ASSERT_TRUE(ChooseFile(save, kept));
    auto done = WaitForMessageBox(p.Pid(), kWait);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->text, L"kept.TQKに保存しました。");
    AnswerMessageBox(*done, IDOK);
    const auto keptBytes = ReadBytes(kept);
    ASSERT_TRUE(keptBytes);
    MovieHeader h;
    ASSERT_EQ(DecodeHeader(reinterpret_cast<const uint8_t*>(keptBytes->data()), &h), kOk);
    EXPECT_EQ(h.fps, 10);
    EXPECT_EQ(h.sec, 2);  // 15 frames, filled up to whole seconds with the last one
    {
        MemorySource src(keptBytes->data() + kHeaderBytes, keptBytes->size() - kHeaderBytes);
        FrameReader reader;
        ASSERT_EQ(reader.Start(h), kOk);
        for (int i = 0; i < 20; ++i) {
            ASSERT_EQ(reader.ReadNext(src), kOk) << i;
            const uint8_t* px = reader.Frame();
            EXPECT_EQ(FrameOf(RGB(px[2], px[1], px[0])), std::min(12 + i, 26)) << i;
        }
    }
    // Exactly the samples of 1.2 s up to 2.7 s.
    const auto source = ReadBytes(wav);
    const auto keptWav = ReadBytes(dir_.Path() + L"kept.wav");
    ASSERT_TRUE(source && keptWav);
    const size_t first = size_t(SampleAtFrame(12, 44100, 10)) * 4,
                 end = size_t(SampleAtFrame(27, 44100, 10)) * 4;
    ASSERT_EQ(keptWav->size(), 44 + (end - first));
    EXPECT_EQ(keptWav->substr(44), source->substr(44 + first, end - first));

    // TQK→AVI with the span marked: just the span, with its sound.
    const std::wstring avi = dir_.Path() + L"span.avi";
    p.Menu(MenuExport);
    HWND open = WaitForOpenDialog(p.Pid());
    ASSERT_TRUE(open);
    ASSERT_TRUE(ChooseFile(open, movie));
    auto box = WaitForMessageBox(p.Pid(), kWait);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"span.wavが存在しています。Waveも取りこみますか？");
    AnswerMessageBox(*box, IDYES);
    HWND chooser = WaitForPlainDialog(p.Pid());
    ASSERT_TRUE(chooser);
    PostMessageW(chooser, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return Exists(avi) && IsWindowVisible(p.Wnd()); }, kWait));
    p.Close();
    EXPECT_TRUE(p.WaitExit(kWait).has_value());
    const std::string a = UnixPath(avi);
    const auto reds =
        RunUnixCommand("ffmpeg -v error -i '" + a +
                           "' -map 0:v -pix_fmt rgb24 -s 1x1 -sws_flags neighbor "
                           "-f rawvideo - | od -An -v -tu1 -w3 | awk '{print $1}' | tr '\\n' ' '",
                       30000);
    ASSERT_TRUE(reds);
    std::string want;
    for (int i = 12; i <= 26; ++i) want += std::to_string(i) + " ";
    EXPECT_EQ(*reds, want);
    const std::string raw = UnixPath(dir_.Path() + L"span_sound.raw");
    const auto sound = RunUnixCommand(
        "ffmpeg -v error -y -i '" + a + "' -map 0:a -f s16le '" + raw + "' && tail -c +" +
            std::to_string(45 + first) + " '" + UnixPath(wav) + "' | head -c " +
            std::to_string(end - first) + " | cmp - '" + raw + "' && echo same",
        30000);
    ASSERT_TRUE(sound);
    EXPECT_NE(sound->find("same"), std::string::npos) << *sound;
}

}  // namespace
}  // namespace tqk::test
