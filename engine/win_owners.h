// Move-only owners for the platform objects of the engine: one type per acquire/release pair,
// so a window DC can never be deleted nor a memory DC released.
#pragma once

#include <windows.h>

#include <utility>

namespace tqk {

template <typename T, typename Traits>
class Owner {
public:
    Owner() = default;
    explicit Owner(T v) : v_(v) {}
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& o) noexcept : v_(std::exchange(o.v_, Traits::Invalid())) {}
    Owner& operator=(Owner&& o) noexcept {
        if (this != &o) {
            Reset();
            v_ = std::exchange(o.v_, Traits::Invalid());
        }
        return *this;
    }
    ~Owner() { Reset(); }
    void Reset(T v = Traits::Invalid()) {
        if (v_ != Traits::Invalid()) Traits::Close(v_);
        v_ = v;
    }
    T Get() const { return v_; }
    explicit operator bool() const { return v_ != Traits::Invalid(); }

private:
    T v_ = Traits::Invalid();
};

struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
// CreateFile's failure value is INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct MemoryDcTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC dc) { DeleteDC(dc); }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ o) { DeleteObject(o); }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE m) { FreeLibrary(m); }
};

using KernelHandle = Owner<HANDLE, KernelHandleTraits>;
using FileHandle = Owner<HANDLE, FileHandleTraits>;
using MemoryDc = Owner<HDC, MemoryDcTraits>;
using GdiObject = Owner<HGDIOBJ, GdiObjectTraits>;

// A view of a file mapping.
class MappedView {
public:
    MappedView() = default;
    explicit MappedView(void* p) : p_(p) {}
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    ~MappedView() { Reset(); }
    void Reset(void* p = nullptr) {
        if (p_) UnmapViewOfFile(p_);
        p_ = p;
    }
    uint8_t* Bytes() const { return static_cast<uint8_t*>(p_); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    void* p_ = nullptr;
};

// A DC obtained with GetDC / CreateDC("DISPLAY") style calls that is released, not deleted.
class WindowDc {
public:
    WindowDc() = default;
    WindowDc(HWND wnd, HDC dc) : wnd_(wnd), dc_(dc) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ReleaseDC(wnd_, dc_);
    }
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND wnd_ = nullptr;
    HDC dc_ = nullptr;
};

// Selects an object into a DC and puts the previous one back.
class SelectGuard {
public:
    SelectGuard() = default;
    SelectGuard(HDC dc, HGDIOBJ obj) : dc_(dc), old_(dc && obj ? SelectObject(dc, obj) : nullptr) {}
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    ~SelectGuard() { Restore(); }
    void Restore() {
        if (dc_ && old_) SelectObject(dc_, old_);
        old_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

}  // namespace tqk
