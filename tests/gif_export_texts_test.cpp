// The player's GIF export: the GIF's default name and the messages of failed exports.
#include <gtest/gtest.h>

#include "gif_export_texts.h"

namespace tqk::test {
namespace {

using gif::ExportResult;
using gif::ExportStatus;

TEST(GifExportTexts, DefaultNameAndMessages) {
    EXPECT_EQ(player::GifFileOf(L"C:\\録画\\会議.TQK"), L"C:\\録画\\会議.gif");
    EXPECT_EQ(player::GifFileOf(L"C:\\a.b\\movie"), L"C:\\a.b\\movie.gif");
    const auto system = [](uint32_t n) { return "system " + std::to_string(n); };
    ExportResult r;
    EXPECT_EQ(player::GifExportMessage(r, system), "");
    r.status = ExportStatus::kCancelled;
    EXPECT_EQ(player::GifExportMessage(r, system), "");
    r.status = ExportStatus::kMovie;
    r.code = kErrNoFile;
    EXPECT_EQ(player::GifExportMessage(r, system), ResultMessageUtf8(kErrNoFile, system));
    r.status = ExportStatus::kTooLarge;
    r.width = 70000;
    r.height = 2;
    EXPECT_EQ(player::GifExportMessage(r, system),
              "GIFにできるのは縦横65535ピクセルまでです。（この動画は70000x2）");
    r.status = ExportStatus::kWrite;
    r.systemError = 112;
    EXPECT_EQ(player::GifExportMessage(r, system),
              "GIFファイルを書き込めませんでした。\r\nsystem 112");
    r.status = ExportStatus::kNoFrames;
    EXPECT_EQ(player::GifExportMessage(r, system),
              "このTQKファイルには1秒分のフレームもありません。");
}

}  // namespace
}  // namespace tqk::test
