#include "gif_export_texts.h"

#include "path_parts.h"
#include "result_code.h"

namespace tqk::player {

std::wstring GifFileOf(const std::wstring& moviePath) {
    return PathWithoutExtension(moviePath) + L".gif";
}

std::string GifExportMessage(const gif::ExportResult& r,
                             const std::function<std::string(uint32_t)>& systemText) {
    switch (r.status) {
    case gif::ExportStatus::kOk:
    case gif::ExportStatus::kCancelled: return {};
    case gif::ExportStatus::kMovie: return ResultMessageUtf8(r.code, systemText);
    case gif::ExportStatus::kNoFrames: return "このTQKファイルには1秒分のフレームもありません。";
    case gif::ExportStatus::kBadSpan: return "変換する範囲が動画の外にあります。";
    case gif::ExportStatus::kTooLarge:
        return "GIFにできるのは縦横65535ピクセルまでです。（この動画は" + std::to_string(r.width) +
               "x" + std::to_string(r.height) + "）";
    case gif::ExportStatus::kTooManyPixels:
        return "画面が大きすぎてGIFにできません。（" + std::to_string(r.width) + "x" +
               std::to_string(r.height) + "）";
    case gif::ExportStatus::kWrite: {
        std::string text = "GIFファイルを書き込めませんでした。";
        const std::string why = systemText ? systemText(r.systemError) : std::string();
        if (!why.empty()) text += "\r\n" + why;
        return text;
    }
    }
    return {};
}

}  // namespace tqk::player
