// The player's OLE drop target: what a shell window or another program drops on the player
// window or its picture. The dropped data is read on the drop and handed to the window later,
// through a posted message, so that a message shown for it never holds the dropping program.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <string>
#include <vector>

namespace tqk::player {

// Posted to the window after a drop; the files are taken with DropTarget::TakeFiles.
inline constexpr UINT kDroppedMessage = WM_APP + 12;

// The files of a data object (CF_HDROP), in their order; none when it carries no files.
std::vector<std::wstring> FilesOf(IDataObject* data);

class DropTarget final : public IDropTarget {
public:
    explicit DropTarget(HWND window) : window_(window) {}
    DropTarget(const DropTarget&) = delete;
    DropTarget& operator=(const DropTarget&) = delete;
    ~DropTarget() { Revoke(); }

    // Registers the target for each window; Revoke (or the destructor) undoes it, before the
    // windows go.
    [[nodiscard]] bool Register(const std::vector<HWND>& windows);
    void Revoke();
    // The files of the drops since the last call (one list per drop, oldest first).
    std::vector<std::vector<std::wstring>> TakeFiles();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    // The window owns the object: the count never deletes it.
    ULONG STDMETHODCALLTYPE Release() override { return refs_ > 1 ? --refs_ : 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override;

private:
    HWND window_;
    ULONG refs_ = 1;
    std::vector<HWND> registered_;
    std::vector<std::vector<std::wstring>> drops_;
};

}  // namespace tqk::player
