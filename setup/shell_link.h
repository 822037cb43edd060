// ShellLink: creates and reads ".lnk" files through the shell's link object (IShellLinkA for
// the properties, IPersistFile for the file). The caller's thread must have COM initialised.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "link_rules.h"

namespace tqk {

class ShellLink {
public:
    // A shortcut linkSetFnm -> sourceFnm with nothing else set; 0 or the failing HRESULT.
    static int32_t CreateLink(const std::wstring& linkSetFnm, const std::wstring& sourceFnm);
    // A shortcut from a full description (UTF-8 fields); 0 or the failing HRESULT.
    static int32_t CreateLinkFull(const LinkDescription& description);
    // The target of an existing shortcut; empty when it cannot be read.
    static std::wstring GetLink(const std::wstring& linkFnm);
    // Reads every field; -1 for a link name of 4 characters or less, else 0 or an HRESULT.
    static int32_t ReadLink(const std::wstring& linkFnm, LinkDescription* out);
};

}  // namespace tqk
