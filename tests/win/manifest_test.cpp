// Every windowed program of the suite carries the application manifest as its resource 1 of
// type 24: common controls 6 and DPI awareness, per-monitor v2 with its fallbacks.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

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

std::vector<std::string> Programs(const char* list) {
    std::vector<std::string> paths;
    std::stringstream in(list);
    for (std::string p; std::getline(in, p, '|');) paths.push_back(p);
    return paths;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Every windowed program carries it; only the programs that must not be virtualised ask to
// run as the invoker: the setup programs keep no execution level, so the platform still
// elevates them to write under Program Files.
TEST(Manifest, EveryWindowedProgramCarriesIt) {
    const auto programs = Programs(WINDOWED_PROGRAMS);
    const auto asInvoker = Programs(AS_INVOKER_PROGRAMS);
    int checked = 0;
    for (const auto& unixPath : programs) {
        SCOPED_TRACE(unixPath);
        const std::string m = Manifest(WindowsPathOf(unixPath));
        ASSERT_FALSE(m.empty()) << "no manifest resource";
        EXPECT_NE(m.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
                  std::string::npos);
        EXPECT_NE(m.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
        EXPECT_NE(m.find(">true/pm</dpiAware>"), std::string::npos);
        EXPECT_EQ(m.find("@"), std::string::npos) << "a placeholder left in the manifest";
        const bool invoker = m.find("level=\"asInvoker\"") != std::string::npos;
        EXPECT_EQ(invoker, Contains(asInvoker, unixPath));
        if (unixPath.find("TaviroSetup") != std::string::npos ||
            unixPath.find("UnInstallTVR") != std::string::npos) {
            EXPECT_EQ(m.find("requestedExecutionLevel"), std::string::npos);
        }
        ++checked;
    }
    EXPECT_EQ(checked, 6);
    EXPECT_FALSE(asInvoker.empty());
}

}  // namespace
}  // namespace tqk::test
