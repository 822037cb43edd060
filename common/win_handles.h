// Move-only owners for the Win32 handles the programs hold: one type per acquire/release pair.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <cstdint>
#include <utility>

namespace tqk {

// Owner of a handle released by Traits::Close; Traits::Invalid() is the empty value.
template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;
    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    Type Get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    Type Release() { return std::exchange(h_, Traits::Invalid()); }
    void Reset(Type h = Traits::Invalid()) {
        if (h_ != Traits::Invalid()) Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters of creation calls: releases what is held first.
    Type* Put() {
        Reset();
        return &h_;
    }

private:
    Type h_ = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE is the empty value
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
struct ObjectHandleTraits {  // processes, threads, events: nullptr is the empty value
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { RegCloseKey(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DeleteObject(h); }
};
struct MemoryDcTraits {  // CreateCompatibleDC: deleted, never released
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DeleteDC(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};

using FileHandle = UniqueHandle<KernelHandleTraits>;
using ObjectHandle = UniqueHandle<ObjectHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;
using Module = UniqueHandle<ModuleTraits>;

// A view of a file mapping, unmapped with UnmapViewOfFile.
class MappedView {
public:
    MappedView() = default;
    explicit MappedView(void* p) : p_(p) {}
    MappedView(HANDLE mapping, DWORD access, uint64_t offset, size_t bytes)
        : p_(MapViewOfFile(mapping, access, static_cast<DWORD>(offset >> 32),
                           static_cast<DWORD>(offset), bytes)) {}
    MappedView(MappedView&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    MappedView& operator=(MappedView&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    ~MappedView() { Reset(); }

    void* Get() const { return p_; }
    uint8_t* Bytes() const { return static_cast<uint8_t*>(p_); }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset(void* p = nullptr) {
        if (p_) UnmapViewOfFile(p_);
        p_ = p;
    }

private:
    void* p_ = nullptr;
};

// A DC from GetDC: released to its window, never deleted.
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

// Owner of one COM interface reference.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

private:
    T* p_ = nullptr;
};

// COM for the current thread for the lifetime of the object.
class ComInit {
public:
    ComInit() : hr_(CoInitialize(nullptr)) {}
    ~ComInit() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    bool Ok() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

}  // namespace tqk
