// Text resources kept inside a library or program (the registry scripts and
// script pages a shared library carries), found by type and name as a
// module's resources are: names compare without regard to case. The table
// is generated at build time (cmake/EmbedTextResources.cmake) into the
// module that links it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace velkin {

struct EmbeddedResource {
  const char* type;  // "REGISTRY", "HTML", ...
  const char* name;  // in capitals
  const char* text;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const size_t kEmbeddedResourceCount;

namespace platform {

// The text of the module's resource of this type and name, or nullopt.
std::optional<std::string_view> findEmbeddedResource(std::string_view type, std::string_view name);

}  // namespace platform
}  // namespace velkin
