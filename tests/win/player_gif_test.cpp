// The player's "TQK→GIF" as a user meets it: chosen from the 変換 menu of TaviroPlayer.exe, the
// GIF named in the save dialog, the export run in the progress window (which Cancel stops), the
// GIF read back by ffmpeg and ffprobe.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "form1_ids.h"
#include "form5_ids.h"
#include "test_files.h"
#include "tqk_format.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

using namespace player_ids;

constexpr DWORD kWait = 30000;  // generous: the machine is shared

std::wstring PlayerExe() {
    std::wstring w = L"Z:" + WideFromUtf8(TAVIRO_PLAYER_EXE);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

// A movie whose frame i is drawn by draw(i, frame).
template <class Draw>
void WriteMovie(const std::wstring& path, const MovieHeader& h, Draw draw) {
    MovieEncoder enc;
    ASSERT_EQ(enc.Start(h), kOk);
    std::string bytes(reinterpret_cast<const char*>(enc.Header()), kHeaderBytes);
    std::vector<uint8_t> frame(enc.FrameSize());
    for (uint64_t i = 0; i < FrameCount(h); ++i) {
        draw(int(i), frame.data());
        size_t n = 0;
        const uint8_t* rec = enc.EncodeFrame(frame.data(), &n);
        bytes.append(reinterpret_cast<const char*>(rec), n);
    }
    ASSERT_TRUE(WriteBytes(path, bytes));
}

MovieHeader Header(int bits, int w, int h, int fps, int sec) {
    MovieHeader m;
    m.Method = 1, m.BitCo = bits, m.W = w, m.H = h, m.fps = fps, m.sec = sec;
    return m;
}

// The save dialog of process pid: a dialog with the file-name box.
HWND WaitForFileDialog(DWORD pid) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            HWND d = WaitForWindow(pid, L"#32770", nullptr, 50);
            if (d && FileNameBox(d)) found = d;
            return found != nullptr;
        },
        kWait);
    return found;
}

// Solid frames whose red channel is the frame's number times 8, on a 10 fps movie.
void WriteNumberedMovie(const std::wstring& movie, int sec) {
    WriteMovie(movie, Header(32, 160, 120, 10, sec), [](int i, uint8_t* f) {
        for (size_t p = 0; p < 160u * 120 * 4; p += 4) {
            f[p] = 200, f[p + 1] = 40, f[p + 2] = uint8_t(i * 8), f[p + 3] = 0;
        }
    });
}

// What ffprobe reads of a GIF: size, frame count and duration, one "key=value" a line.
std::string Probe(const std::wstring& gif) {
    const auto probe = RunUnixCommand(
        "ffprobe -v error -count_frames -show_entries format=duration:stream=width,height,"
        "nb_read_frames -of default=nw=1 '" +
            UnixPath(gif) + "'",
        kWait);
    return probe ? *probe : "";
}

// The colour of every frame of a GIF shown at 10 fps, as " r g b r g b ...".
std::string Colours(const std::wstring& gif) {
    const auto colours = RunUnixCommand("ffmpeg -v error -i '" + UnixPath(gif) +
                                            "' -vf fps=10 -pix_fmt rgb24 -s 1x1 -sws_flags "
                                            "neighbor -f rawvideo - | od -An -v -tu1 -w3 | tr -s "
                                            "' \\n' ' '",
                                        kWait);
    return colours ? *colours : "";
}

// The colours Colours reads from the numbered movie's frames [first, end).
std::string NumberedColours(int first, int end) {
    std::string want = " ";
    for (int i = first; i < end; ++i) want += std::to_string(i * 8) + " 40 200 ";
    return want;
}

class PlayerGifTest : public ::testing::Test {
protected:
    TempFolder dir_{L"player_gif"};

    // Starts the player with a movie, presses `keys` on its picture (in order), chooses TQK→GIF
    // and names the GIF in the save dialog.
    bool StartExport(ChildProcess* player, HWND* window, const std::wstring& movie,
                     const std::wstring& gif, const std::vector<UINT>& keys = {}) {
        if (!player->Start(PlayerExe(), L"\"" + movie + L"\"")) return false;
        *window = WaitForWindow(player->Id(), kClassName, nullptr, kWait);
        if (!*window) return false;
        for (UINT k : keys) PressKey(GetDlgItem(*window, Picture1), k);
        if (!keys.empty() &&
            !WaitUntil([&] { return Text(GetDlgItem(*window, Label2)).rfind(L"範囲", 0) == 0; },
                       kWait))
            return false;
        PostMessageW(*window, WM_COMMAND, MenuExportGif, 0);
        HWND save = WaitForFileDialog(player->Id());
        if (!save) return false;
        // The dialog offers the movie's name with .gif.
        EXPECT_EQ(Text(FileNameBox(save)).substr(0, 5), L"movie");
        return SetFileDialogName(save, gif) && CloseFileDialog(save, true, kWait);
    }
};

TEST_F(PlayerGifTest, ExportsFromTheMenuThroughTheProgressWindow) {
    const std::wstring movie = dir_.Path() + L"movie.TQK";
    const std::wstring gif = dir_.Path() + L"ムービー.gif";
    WriteNumberedMovie(movie, 3);
    ASSERT_TRUE(WriteBytes(gif, "old"));
    ChildProcess player;
    HWND window = nullptr;
    ASSERT_TRUE(StartExport(&player, &window, movie, gif));
    // The GIF exists: the player asks before replacing it.
    auto box = WaitForMessageBox(player.Id(), kWait);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"ムービー.gifが存在しています。上書きしてよろしいですか？");
    ASSERT_TRUE(AnswerMessageBox(*box, IDYES));
    // The player hides while the progress window runs, and comes back with the GIF written.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto bytes = ReadBytes(gif);
            return bytes && bytes->size() > 100 && IsWindowVisible(window);
        },
        kWait));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(player.WaitExit(kWait).has_value());

    const std::string probe = Probe(gif);
    EXPECT_NE(probe.find("width=160\nheight=120\nnb_read_frames=30\nduration=3.000000"),
              std::string::npos)
        << probe;
    // Every frame comes back at 10 fps with its own colour, exactly.
    EXPECT_EQ(Colours(gif), NumberedColours(0, 30));
}

TEST_F(PlayerGifTest, AMarkedSpanIsExportedAlone) {
    const std::wstring movie = dir_.Path() + L"movie.TQK";
    const std::wstring gif = dir_.Path() + L"span.gif";
    WriteNumberedMovie(movie, 3);
    // Marks at frames 5 and 14: the span is frames 5 to 14, one second.
    std::vector<UINT> keys(5, VK_RIGHT);
    keys.push_back('I');
    keys.insert(keys.end(), 9, VK_RIGHT);
    keys.push_back('O');
    ChildProcess player;
    HWND window = nullptr;
    ASSERT_TRUE(StartExport(&player, &window, movie, gif, keys));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto bytes = ReadBytes(gif);
            return bytes && bytes->size() > 100 && IsWindowVisible(window);
        },
        kWait));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(player.WaitExit(kWait).has_value());
    const std::string probe = Probe(gif);
    EXPECT_NE(probe.find("nb_read_frames=10\nduration=1.000000"), std::string::npos) << probe;
    EXPECT_EQ(Colours(gif), NumberedColours(5, 15));
}

TEST_F(PlayerGifTest, CancelInTheProgressWindowWritesNothing) {
    // Noise of thousands of colours in every frame: each one quantised takes long enough for
    // Cancel to come during the export (several seconds in all).
    const std::wstring movie = dir_.Path() + L"movie.TQK";
    const std::wstring gif = dir_.Path() + L"movie.gif";
    const MovieHeader h = Header(24, 320, 240, 10, 10);
    std::mt19937 rng(1);
    WriteMovie(movie, h, [&](int, uint8_t* f) {
        for (size_t p = 0; p < 320u * 240 * 3; ++p) f[p] = uint8_t(rng());
    });
    ChildProcess player;
    HWND window = nullptr;
    ASSERT_TRUE(StartExport(&player, &window, movie, gif));
    HWND progress = WaitForWindow(player.Id(), L"TaviroForm5", nullptr, kWait);
    ASSERT_TRUE(progress);
    // Its caption counts the GIF's progress.
    ASSERT_TRUE(WaitUntil(
        [&] { return Text(progress).find(L"% GIF Written") != std::wstring::npos; }, kWait))
        << Utf8FromWide(Text(progress));
    Click(Child(progress, form5_ids::Command1));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, kWait));
    EXPECT_FALSE(Exists(gif));
    EXPECT_FALSE(Exists(gif + L".tmp~"));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(player.WaitExit(kWait).has_value());
}

}  // namespace
}  // namespace tqk::test
