// Every windowed program of the suite carries the application manifest as its resource 1 of
// type 24: common controls 6 and DPI awareness, per-monitor v2 with its fallbacks.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "window_driver.h"

namespace tqk::test {
namespace {

std::string Manifest(const std::wstring& program) {
    HMODULE m = LoadLibraryExW(program.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) return {};
    std::string text;
    if (HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (HGLOBAL g = LoadResource(m, r)) {
            const char* p = static_cast<const char*>(LockResource(g));
            if (p) text.assign(p, SizeofResource(m, r));
        }
    }
    FreeLibrary(m);
    return text;
}

TEST(Manifest, EveryWindowedProgramCarriesIt) {
    std::stringstream list(WINDOWED_PROGRAMS);
    std::string unixPath;
    int checked = 0;
    while (std::getline(list, unixPath, '|')) {
        SCOPED_TRACE(unixPath);
        const std::string m = Manifest(WindowsPathOf(unixPath));
        ASSERT_FALSE(m.empty()) << "no manifest resource";
        EXPECT_NE(m.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
                  std::string::npos);
        EXPECT_NE(m.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
        EXPECT_NE(m.find(">true/pm</dpiAware>"), std::string::npos);
        ++checked;
    }
    EXPECT_EQ(checked, 5);
}

}  // namespace
}  // namespace tqk::test
