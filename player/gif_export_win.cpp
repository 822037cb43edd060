#include "gif_export_win.h"

#include <memory>

#include "comd6.h"
#include "form5.h"
#include "gif_export.h"
#include "gif_export_texts.h"
#include "path_parts.h"
#include "win_files.h"
#include "win_text.h"

namespace tqk::player {

namespace {

const wchar_t kBoxCaption[] = L"TQK Player";

}  // namespace

void ExportGifFromMenu(HWND owner, const std::wstring& openMovie, double from, double to) {
    std::wstring movie = openMovie;
    if (movie.empty() || ExtensionOf(movie) != L"tqk" || !FileExists(movie)) {
        ComD6 open;
        open.Filter(L"変換元のTQKファイル|*.TQK");
        movie = open.ShowOpenSingle(owner);
        if (movie.empty()) return;
        if (!FileExists(movie)) {
            MessageBoxW(owner, L"ファイルが見つかりません。", kBoxCaption, MB_OK | MB_ICONERROR);
            return;
        }
    }
    ComD6 save;
    save.Filter(L"GIFアニメーション(*.gif)|*.gif");
    save.DefaultDirectory(FolderOf(movie));
    const std::wstring gifPath = save.ShowSave(owner, FileNameOf(GifFileOf(movie)));
    if (gifPath.empty()) return;
    if (FileExists(gifPath) &&
        MessageBoxW(owner,
                    (FileNameOf(gifPath) + L"が存在しています。上書きしてよろしいですか？").c_str(),
                    kBoxCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;

    gif::ExportOptions options;
    options.movie = Utf8FromWide(movie);
    options.out = Utf8FromWide(gifPath);
    if (movie == openMovie && to >= 0) {
        options.from = from;
        options.to = to;
    }
    gif::ExportResult result;
    Form5 progress([] { return std::unique_ptr<ConversionSource>(); });
    ShowWindow(owner, SW_HIDE);
    progress.U_ShowJob(L"Writing GIF", "GIF Written", [&](const Form5::JobProgress& step) {
        result = gif::ExportGif(options, [&](uint64_t now, uint64_t total) {
            return step(int32_t(now), int32_t(total));
        });
    });
    ShowWindow(owner, SW_SHOW);
    const std::string text = GifExportMessage(
        result, [](uint32_t error) { return Utf8FromWide(SystemErrorText(error)); });
    if (!text.empty())
        MessageBoxW(owner, WideFromUtf8(text).c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
}

}  // namespace tqk::player
