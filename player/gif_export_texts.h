// The player's GIF export ("TQK→GIF"): the GIF's default name and the messages of an export
// that did not end well. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "gif_export.h"

namespace tqk::player {

// The GIF's default path beside a movie: its path with ".gif" for the extension.
std::wstring GifFileOf(const std::wstring& moviePath);

// The message (UTF-8) for an export that failed; empty when it ended well or was cancelled.
// systemText(n) gives the platform's message for error number n.
std::string GifExportMessage(const gif::ExportResult& r,
                             const std::function<std::string(uint32_t)>& systemText);

}  // namespace tqk::player
