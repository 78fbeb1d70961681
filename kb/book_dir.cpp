#include "kb/book_dir.h"

#include "platform/paths.h"
#include "platform/text.h"

namespace velkin::kb {

std::string defaultBookDirectory() { return platform::joinPath(platform::programDataFolder(), "Project"); }

std::string bookDirectory(platform::Registry& registry) {
  return registry.readFolder(platform::RegistryRoot::Machine, kKestrovaKey, kBookPathValue, defaultBookDirectory());
}

}  // namespace velkin::kb
