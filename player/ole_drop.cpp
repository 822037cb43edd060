#include "ole_drop.h"

#include <shellapi.h>

#include "win_handles.h"

namespace tqk::player {

std::vector<std::wstring> FilesOf(IDataObject* data) {
    std::vector<std::wstring> files;
    if (!data) return files;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    tqk::StgMedium medium;
    if (FAILED(data->GetData(&format, medium.Put()))) return files;
    if (medium.Get().tymed == TYMED_HGLOBAL && medium.Get().hGlobal) {
        HDROP drop = static_cast<HDROP>(medium.Get().hGlobal);
        const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
            const UINT len = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(size_t(len) + 1, L'\0');
            DragQueryFileW(drop, i, path.data(), len + 1);
            path.resize(len);
            if (!path.empty()) files.push_back(std::move(path));
        }
    }
    return files;
}

bool DropTarget::Register(const std::vector<HWND>& windows) {
    for (HWND w : windows) {
        if (FAILED(RegisterDragDrop(w, this))) return false;
        registered_.push_back(w);
    }
    return true;
}

void DropTarget::Revoke() {
    for (HWND w : registered_) RevokeDragDrop(w);
    registered_.clear();
}

std::vector<std::vector<std::wstring>> DropTarget::TakeFiles() {
    std::vector<std::vector<std::wstring>> out;
    out.swap(drops_);
    return out;
}

HRESULT DropTarget::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// Every drop is taken, with or without files: one without files is answered with a message.
HRESULT DropTarget::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) {
    if (effect) *effect &= DROPEFFECT_COPY;
    return S_OK;
}

HRESULT DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (effect) *effect &= DROPEFFECT_COPY;
    return S_OK;
}

HRESULT DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    try {
        drops_.push_back(FilesOf(data));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (effect) *effect &= DROPEFFECT_COPY;
    PostMessageW(window_, kDroppedMessage, 0, 0);
    return S_OK;
}

}  // namespace tqk::player
