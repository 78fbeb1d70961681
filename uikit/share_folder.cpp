#include "uikit/share_folder.h"

#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::uikit {
namespace {

bool hasWelcomePage(const std::string& folder) {
  return !folder.empty() && platform::isRegularFile(platform::joinPath(folder, "welcome.html"));
}

}  // namespace

std::string shareFolder() {
  const std::string candidates[] = {
      platform::joinPath(platform::parentPath(platform::executableFolder()), "share/velkin"),
#ifdef VELKIN_BUILD_SHARE_DIR
      VELKIN_BUILD_SHARE_DIR,
#endif
#ifdef VELKIN_INSTALL_SHARE_DIR
      VELKIN_INSTALL_SHARE_DIR,
#endif
#ifdef VELKIN_SOURCE_SHARE_DIR
      VELKIN_SOURCE_SHARE_DIR,
#endif
  };
  for (const std::string& folder : candidates) {
    if (hasWelcomePage(folder)) return folder;
  }
  platform::trace("share folder", "no folder holds welcome.html");
  return {};
}

std::string shareFile(std::string_view name) {
  const std::string folder = shareFolder();
  return folder.empty() ? std::string() : platform::joinPath(folder, name);
}

}  // namespace velkin::uikit
