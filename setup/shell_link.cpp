#include "shell_link.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "win_handles.h"
#include "win_text.h"
#include "win_window.h"

namespace tqk {
namespace {

std::string Ansi(const std::string& utf8) { return AnsiFromWide(WideFromUtf8(utf8)); }
std::string Utf8(const char* ansi) { return Utf8FromWide(WideFromAnsi(ansi)); }

int32_t Create(const LinkDescription& raw, DWORD resolveFlags) {
    const LinkDescription d = NormaliseLinkDescription(raw);
    ComPtr<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  link.PutVoid());
    if (FAILED(hr)) return int32_t(hr);
    ComPtr<IPersistFile> file;
    hr = link->QueryInterface(IID_IPersistFile, file.PutVoid());
    if (FAILED(hr)) return int32_t(hr);

    if (FAILED(hr = link->SetPath(Ansi(d.target).c_str()))) return int32_t(hr);
    if (!d.iconFile.empty() &&
        FAILED(hr = link->SetIconLocation(Ansi(d.iconFile).c_str(), d.iconIndex)))
        return int32_t(hr);
    if (FAILED(hr = link->SetShowCmd(d.showCommand))) return int32_t(hr);
    if (!d.workingFolder.empty() &&
        FAILED(hr = link->SetWorkingDirectory(Ansi(d.workingFolder).c_str())))
        return int32_t(hr);
    if (!d.arguments.empty() && FAILED(hr = link->SetArguments(Ansi(d.arguments).c_str())))
        return int32_t(hr);
    if (d.hotKey != 0 && FAILED(hr = link->SetHotkey(WORD(d.hotKey)))) return int32_t(hr);
    if (!d.description.empty() && FAILED(hr = link->SetDescription(Ansi(d.description).c_str())))
        return int32_t(hr);
    if (FAILED(hr = link->Resolve(nullptr, resolveFlags))) return int32_t(hr);
    if (FAILED(hr = file->Save(WideFromUtf8(d.linkFile).c_str(), FALSE))) return int32_t(hr);
    // Let the shell's change notifications run before the caller goes on.
    PumpMessages();
    Sleep(10);
    PumpMessages();
    return 0;
}

}  // namespace

int32_t ShellLink::CreateLink(const std::wstring& linkSetFnm, const std::wstring& sourceFnm) {
    LinkDescription d;
    d.linkFile = Utf8FromWide(linkSetFnm);
    d.target = Utf8FromWide(sourceFnm);
    d.showCommand = kShowNormal;
    return Create(d, SLR_UPDATE);
}

int32_t ShellLink::CreateLinkFull(const LinkDescription& description) {
    return Create(description, SLR_NO_UI);
}

std::wstring ShellLink::GetLink(const std::wstring& linkFnm) {
    LinkDescription d;
    if (ReadLink(linkFnm, &d) != 0) return {};
    return WideFromUtf8(d.target);
}

int32_t ShellLink::ReadLink(const std::wstring& linkFnm, LinkDescription* out) {
    *out = LinkDescription{};
    if (linkFnm.size() <= 4) return -1;
    ComPtr<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  link.PutVoid());
    if (FAILED(hr)) return int32_t(hr);
    ComPtr<IPersistFile> file;
    if (FAILED(hr = link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return int32_t(hr);
    if (FAILED(hr = file->Load(linkFnm.c_str(), STGM_READ))) return int32_t(hr);

    out->linkFile = Utf8FromWide(linkFnm);
    char path[512] = {};
    if (SUCCEEDED(link->GetPath(path, sizeof(path), nullptr, SLGP_UNCPRIORITY)))
        out->target = Utf8(path);
    char text[1024] = {};
    if (SUCCEEDED(link->GetDescription(text, sizeof(text)))) out->description = Utf8(text);
    text[0] = 0;
    if (SUCCEEDED(link->GetArguments(text, sizeof(text)))) out->arguments = Utf8(text);
    WORD hotKey = 0;
    if (SUCCEEDED(link->GetHotkey(&hotKey)) && hotKey > 0) out->hotKey = hotKey;
    int iconIndex = 0;
    text[0] = 0;
    if (SUCCEEDED(link->GetIconLocation(text, sizeof(text), &iconIndex))) {
        out->iconFile = Utf8(text);
        out->iconIndex = iconIndex;
    }
    int show = 0;
    if (SUCCEEDED(link->GetShowCmd(&show))) out->showCommand = ShowCommandAsRead(show);
    text[0] = 0;
    if (SUCCEEDED(link->GetWorkingDirectory(text, sizeof(text)))) out->workingFolder = Utf8(text);
    return 0;
}

}  // namespace tqk
