#include "flash/host/flash_options.h"

#include "flash/model/flash_folder.h"

namespace velkin::flash::host {
namespace {

bool optionOn(platform::Registry& registry, const char* value) {
  return registry.readDword(platform::RegistryRoot::Machine, kPlugInKey, value).value_or(1) != 0;
}

}  // namespace

FlashOptions readFlashOptions(platform::Registry& registry) {
  return {optionOn(registry, kShowToolbarValue), optionOn(registry, kShowMenuValue)};
}

}  // namespace velkin::flash::host
