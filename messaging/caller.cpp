#include "messaging/caller.h"

namespace velkin::messaging {

bool callerAllowed(const std::vector<std::string>& arguments, const platform::BrowserExtension& extension) {
  if (arguments.empty()) return false;
  if (arguments[0] == std::string("chrome-extension://") + extension.chromiumId + "/") return true;
  return arguments.size() >= 2 && arguments[1] == extension.geckoId;
}

}  // namespace velkin::messaging
