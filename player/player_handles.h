// Owners of the player's own acquire/release pairs that common/win_handles.h does not carry
// yet: OLE for the thread (OleInitialize / OleUninitialize) and a storage medium handed out by
// a data object (ReleaseStgMedium).
#pragma once

#include <windows.h>

#include <ole2.h>

namespace tqk::player {

// OLE for the current thread for the lifetime of the object.
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

}  // namespace tqk::player
