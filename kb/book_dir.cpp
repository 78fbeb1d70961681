#include "kb/book_dir.h"

#include "platform/paths.h"
#include "platform/text.h"

namespace velkin::kb {

std::string defaultBookDirectory() { return platform::joinPath(platform::programDataFolder(), "Project"); }

std::string bookDirectory(platform::Registry& registry) {
  auto value = registry.readString(platform::RegistryRoot::Machine, kKestrovaKey, kBookPathValue);
  if (!value || value->empty()) return defaultBookDirectory();
  while (value->size() > 1 && value->back() == '/') value->pop_back();
  return *value;
}

}  // namespace velkin::kb
