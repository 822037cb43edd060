// Control ids of the installer's and the uninstaller's windows (the tests find controls by them).
#pragma once

namespace tqk::setup_ids {

// TaviroSetup, window "Taviro インストーラ"
inline constexpr int kLabel1 = 101;
inline constexpr int kText1 = 102;
inline constexpr int kCommand1 = 103;
inline constexpr int kCheck1 = 104;
inline constexpr int kCheck2 = 105;
inline constexpr int kCommand2 = 106;
inline constexpr int kLabel2 = 107;

// UnInstallTVR, window "Taviro Uninstall"
inline constexpr int kUninstallLabel1 = 201;
inline constexpr int kUninstallLabel2 = 202;

}  // namespace tqk::setup_ids
