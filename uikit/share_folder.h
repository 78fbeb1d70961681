// The folder of the files shipped with the programs (welcome page, tips, the
// help book Contents.chm), shared by the main program and the Flash dialogs.
#pragma once

#include <string>
#include <string_view>

namespace velkin::uikit {

// The share folder beside the executable's folder (installed, or the build
// tree's for a program run from there), the build tree's share folder (for
// the tests, which run from folders of their own), the configured install
// folder, or the source tree's share folder, the first that holds the
// welcome page. Empty when none does.
std::string shareFolder();
// A file of the share folder ("" when the share folder is unknown).
std::string shareFile(std::string_view name);

}  // namespace velkin::uikit
