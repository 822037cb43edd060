// Move-only owners for the Win32 handles the programs hold: one type per acquire/release pair.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <ole2.h>

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
// GDI objects of one kind (HBITMAP, HFONT, HBRUSH, HPEN): handed to GDI calls without a cast.
template <class T>
struct TypedGdiTraits {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DeleteObject(h); }
};
struct MenuTraits {  // a menu not (or no longer) attached to a window
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DestroyMenu(h); }
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
using Bitmap = UniqueHandle<TypedGdiTraits<HBITMAP>>;
using Font = UniqueHandle<TypedGdiTraits<HFONT>>;
using Brush = UniqueHandle<TypedGdiTraits<HBRUSH>>;
using Pen = UniqueHandle<TypedGdiTraits<HPEN>>;
using Menu = UniqueHandle<MenuTraits>;

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

// A DC from GetDC or GetWindowDC: released to its window, never deleted.
class WindowDc {
public:
    WindowDc() = default;
    WindowDc(HWND wnd, HDC dc) : wnd_(wnd), dc_(dc) {}
    // GetDC(wnd); nullptr gives the screen.
    static WindowDc Of(HWND wnd) { return WindowDc(wnd, GetDC(wnd)); }
    WindowDc(WindowDc&& o) noexcept
        : wnd_(std::exchange(o.wnd_, nullptr)), dc_(std::exchange(o.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&& o) noexcept {
        if (this != &o) {
            Reset();
            wnd_ = std::exchange(o.wnd_, nullptr);
            dc_ = std::exchange(o.dc_, nullptr);
        }
        return *this;
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() { Reset(); }
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
    void Reset() {
        if (dc_) ReleaseDC(wnd_, dc_);
        wnd_ = nullptr;
        dc_ = nullptr;
    }

private:
    HWND wnd_ = nullptr;
    HDC dc_ = nullptr;
};

// Selects an object into a DC and puts the previous one back. A member guard starts empty and
// is given its selection with Select; it must be declared after the objects it selects, so
// that it puts the old one back before they are deleted.
class SelectGuard {
public:
    SelectGuard() = default;
    SelectGuard(HDC dc, HGDIOBJ obj) { Select(dc, obj); }
    SelectGuard(SelectGuard&& o) noexcept
        : dc_(std::exchange(o.dc_, nullptr)), old_(std::exchange(o.old_, nullptr)) {}
    SelectGuard& operator=(SelectGuard&& o) noexcept {
        if (this != &o) {
            Restore();
            dc_ = std::exchange(o.dc_, nullptr);
            old_ = std::exchange(o.old_, nullptr);
        }
        return *this;
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    ~SelectGuard() { Restore(); }
    // Puts back what this guard replaced, then selects obj into dc. False when nothing was
    // selected (no DC, no object, or GDI refused).
    bool Select(HDC dc, HGDIOBJ obj) {
        Restore();
        dc_ = dc;
        old_ = dc && obj ? SelectObject(dc, obj) : nullptr;
        if (old_ == HGDI_ERROR) old_ = nullptr;
        return old_ != nullptr;
    }
    explicit operator bool() const { return old_ != nullptr; }
    void Restore() {
        if (dc_ && old_) SelectObject(dc_, old_);
        dc_ = nullptr;
        old_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// A window timer (SetTimer/KillTimer with a window and an id), killed by the owner.
class WindowTimer {
public:
    WindowTimer() = default;
    WindowTimer(HWND wnd, UINT_PTR id) : wnd_(wnd), id_(id) {}
    WindowTimer(WindowTimer&& o) noexcept
        : wnd_(std::exchange(o.wnd_, nullptr)), id_(o.id_), on_(std::exchange(o.on_, false)) {}
    WindowTimer& operator=(WindowTimer&& o) noexcept {
        if (this != &o) {
            Stop();
            wnd_ = std::exchange(o.wnd_, nullptr);
            id_ = o.id_;
            on_ = std::exchange(o.on_, false);
        }
        return *this;
    }
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;
    ~WindowTimer() { Stop(); }
    // (Re)starts the timer with a period in milliseconds; false when SetTimer failed.
    bool Start(UINT ms) {
        on_ = wnd_ && SetTimer(wnd_, id_, ms, nullptr) != 0;
        return on_;
    }
    void Stop() {
        if (on_) KillTimer(wnd_, id_);
        on_ = false;
    }
    bool Running() const { return on_; }

private:
    HWND wnd_ = nullptr;
    UINT_PTR id_ = 0;
    bool on_ = false;
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

// OLE for the current thread (drag and drop, the clipboard) for the lifetime of the object.
class OleInit {
public:
    OleInit() : hr_(OleInitialize(nullptr)) {}
    ~OleInit() {
        if (SUCCEEDED(hr_)) OleUninitialize();
    }
    OleInit(const OleInit&) = delete;
    OleInit& operator=(const OleInit&) = delete;
    bool Ok() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

// A STGMEDIUM filled by IDataObject::GetData, released once.
class StgMedium {
public:
    StgMedium() = default;
    ~StgMedium() { ReleaseStgMedium(&medium_); }
    StgMedium(const StgMedium&) = delete;
    StgMedium& operator=(const StgMedium&) = delete;
    // For GetData: the medium must be empty.
    STGMEDIUM* Put() { return &medium_; }
    const STGMEDIUM& Get() const { return medium_; }

private:
    STGMEDIUM medium_{};  // TYMED_NULL: releasing it does nothing
};

// A process's priority class, put back when the owner goes.
class PriorityClassChange {
public:
    PriorityClassChange() = default;
    PriorityClassChange(const PriorityClassChange&) = delete;
    PriorityClassChange& operator=(const PriorityClassChange&) = delete;
    ~PriorityClassChange() { Restore(); }
    // Sets the class and remembers the old one; a process whose class cannot be read is left
    // alone.
    void Set(HANDLE process, DWORD cls) {
        Restore();
        const DWORD old = GetPriorityClass(process);
        if (old == 0) return;
        process_ = process;
        old_ = old;
        SetPriorityClass(process, cls);
    }
    void Restore() {
        if (process_) SetPriorityClass(process_, old_);
        process_ = nullptr;
    }

private:
    HANDLE process_ = nullptr;
    DWORD old_ = 0;
};

}  // namespace tqk
