// Loads TVR.dll by name, as the recorder does, and checks Compress against the unpacker.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tqk_format.h"

namespace tqk::test {
namespace {

using CompressFn = int32_t(__stdcall*)(uint8_t*, const uint8_t*, const uint8_t*, int32_t);

struct Library {
    HMODULE h;
    explicit Library(const wchar_t* path) : h(LoadLibraryW(path)) {}
    ~Library() {
        if (h) FreeLibrary(h);
    }
};

TEST(TvrDll, CompressByNameRoundTrips) {
    wchar_t dir[MAX_PATH];
    MultiByteToWideChar(CP_UTF8, 0, TVR_DLL_DIR, -1, dir, MAX_PATH);
    SetDllDirectoryW(dir);
    Library lib(L"TVR.dll");
    ASSERT_NE(lib.h, nullptr) << GetLastError();
    auto compress =
        reinterpret_cast<CompressFn>(reinterpret_cast<void*>(GetProcAddress(lib.h, "Compress")));
    ASSERT_NE(compress, nullptr);

    const size_t F = 320 * 240 * 4;
    std::vector<uint8_t> prev(F, 0), cur(F), out(tqk::PackedCapacity(F));
    std::mt19937 rng(3);
    std::vector<uint8_t> frame(F, 0);  // the reader's frame, unpacked in place
    for (int i = 0; i < 20; ++i) {
        cur = prev;
        for (int k = 0; k < 50; ++k) {
            const size_t at = rng() % (F - 256);
            const size_t len = rng() % 256;
            for (size_t b = 0; b < len; ++b) cur[at + b] = uint8_t(rng());
        }
        const int32_t c = compress(out.data(), cur.data(), prev.data(), int32_t(F / 4));
        ASSERT_GE(c, 1);
        ASSERT_LE(size_t(c) * 4, F * 3 / 2);
        ASSERT_EQ(tqk::UnpackFrameInPlace(out.data(), size_t(c) * 4, frame.data(), F), tqk::kOk);
        ASSERT_EQ(frame, cur) << "frame " << i;
        prev.swap(cur);
    }
}

}  // namespace
}  // namespace tqk::test
