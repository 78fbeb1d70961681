#include "platform/embedded_resource.h"

#include <cstring>

#include "platform/text.h"

namespace velkin::platform {

std::optional<std::string_view> findEmbeddedResource(std::string_view type, std::string_view name) {
  for (size_t i = 0; i < kEmbeddedResourceCount; ++i) {
    const EmbeddedResource& resource = kEmbeddedResources[i];
    if (equalsIgnoreCase(resource.type, type) && equalsIgnoreCase(resource.name, name)) {
      return std::string_view(resource.text, std::strlen(resource.text));
    }
  }
  return std::nullopt;
}

}  // namespace velkin::platform
