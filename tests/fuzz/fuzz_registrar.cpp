// Fuzz target for the registrar's script reader. Any bytes are read without
// a crash; a script that reads has no key nested deeper than the limit, no
// empty name and no name holding a "\", and reading it again gives the
// same outcome.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/com/registrar.h"

namespace {

bool keysAreSound(const std::vector<velkin::com::ScriptKey>& keys, int depth) {
  for (const velkin::com::ScriptKey& key : keys) {
    if (depth > velkin::com::kMaxScriptDepth || key.name.empty() ||
        key.name.find('\\') != std::string::npos || !keysAreSound(key.subkeys, depth + 1)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const velkin::com::Placeholders placeholders{{"MODULE", "/opt/o'brien {x}/lib%thing.so"},
                                               {"MODULEPATH", "/opt/o'brien {x}"}};
  const auto parsed = velkin::com::parseRegistryScript(text, placeholders);
  if (parsed.script.has_value() != parsed.error.empty()) std::abort();
  if (parsed.script) {
    for (const velkin::com::ScriptRoot& root : parsed.script->roots) {
      if (!keysAreSound(root.keys, 1)) std::abort();
    }
  }
  if (velkin::com::parseRegistryScript(text, placeholders).error != parsed.error) std::abort();
  return 0;
}
