// Shared helpers of the engine's Wine tests: a unique folder, whole-file reads, a window that
// paints a known pattern on the real display, and a screen grab to compare frames with.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "capture.h"
#include "temp_dir.h"
#include "tqk_format.h"

namespace tqk::test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

using TempDir = tqk::test::TempDir;

inline Bytes ReadAll(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void WriteAll(const std::wstring& path, const Bytes& b) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// Walks a movie's records: their sizes, and whether the file ends right behind the last one.
struct Layout {
    MovieHeader header;
    std::vector<uint32_t> packedSizes;
    bool endsBehindLast = false;
};
inline Layout ParseLayout(const Bytes& file) {
    Layout l;
    if (file.size() < kHeaderBytes || DecodeHeader(file.data(), &l.header) != kOk) return l;
    size_t at = kHeaderBytes;
    while (at + 8 <= file.size() && std::equal(file.begin() + at, file.begin() + at + 4, "FRAM")) {
        const uint32_t n = LoadLE32(&file[at + 4]);
        if (at + 8 + n > file.size()) break;
        l.packedSizes.push_back(n);
        at += 8 + n;
    }
    l.endsBehindLast = at == file.size();
    return l;
}

// Decodes every frame of a movie through Capture::Play (decode-only).
class Collector : public CaptureEvents {
public:
    std::vector<Bytes> frames;
    std::vector<int32_t> totals;
    std::string order;
    void OnDecode(const uint8_t* data, size_t size, int32_t, int32_t total) override {
        frames.emplace_back(data, data + size);
        totals.push_back(total);
        order += 'C';
    }
    void OnDrawBefore() override { order += 'B'; }
    void OnDrawing(int32_t, int32_t, double&, bool&) override { order += 'D'; }
};

// A topmost popup window without borders whose client shows pattern(phase).
class PatternWindow {
public:
    PatternWindow(int32_t x, int32_t y, int32_t w, int32_t h);
    ~PatternWindow();
    // Paints phase and waits until the screen shows it (the window system may draw late).
    bool Show(int32_t phase);
    int32_t X() const { return x_; }
    int32_t Y() const { return y_; }
    HWND Handle() const { return wnd_; }
    // The colour of pixel (i, j) in phase.
    static COLORREF Colour(int32_t i, int32_t j, int32_t phase);

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    int32_t x_, y_, w_, h_;
    int32_t phase_ = 0;
    HWND wnd_ = nullptr;
};

// Device-independent bits (bottom-up, bits per pixel) of a screen rectangle, as GDI gives them.
Bytes GrabScreen(int32_t x, int32_t y, int32_t w, int32_t h, int32_t bits);
// Depth of the display.
int32_t ScreenDepth();
void PumpFor(DWORD ms);

}  // namespace tqk::test
