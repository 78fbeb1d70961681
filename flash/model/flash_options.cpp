#include "flash/model/flash_options.h"

#include "flash/model/flash_folder.h"
#include "platform/trace.h"

namespace velkin::flash {
namespace {

using platform::RegistryRoot;

bool optionSetting(platform::Registry& registry, const char* name) {
  const auto value = registry.readDword(RegistryRoot::Machine, kPlugInKey, name);
  return !value || *value != 0;
}

std::string writeFailure(platform::Registry& registry, const std::string& what) {
  std::string reason = registry.lastWriteError(RegistryRoot::Machine);
  std::string message = "The setting " + what + " could not be stored";
  message += reason.empty() ? std::string(".") : ": " + reason;
  platform::trace("flash options", message);
  return message;
}

}  // namespace

bool showToolbarSetting(platform::Registry& registry) { return optionSetting(registry, kShowToolbarValue); }

bool showMenuSetting(platform::Registry& registry) { return optionSetting(registry, kShowMenuValue); }

FlashOptions readFlashOptions(platform::Registry& registry) {
  return FlashOptions{showToolbarSetting(registry), showMenuSetting(registry), flashFolder(registry)};
}

bool keepOneOptionOn(FlashOptions& options, OptionBox clicked) {
  if (options.showToolbar || options.showMenu) return false;
  (clicked == OptionBox::Toolbar ? options.showToolbar : options.showMenu) = true;
  return true;
}

std::string writeFlashOptions(platform::Registry& registry, const FlashOptions& options) {
  if (auto folderKey = registry.openKey(RegistryRoot::Machine, kSaveFolderKey)) {
    if (!folderKey->writeString(kSavePathValue, options.saveFolder)) {
      return writeFailure(registry, kSavePathValue);
    }
  }
  auto key = registry.createKey(RegistryRoot::Machine, kPlugInKey);
  if (!key) return writeFailure(registry, kPlugInKey);
  if (!key->writeDword(kShowToolbarValue, options.showToolbar ? 1 : 0)) {
    return writeFailure(registry, kShowToolbarValue);
  }
  if (!key->writeDword(kShowMenuValue, options.showMenu ? 1 : 0)) return writeFailure(registry, kShowMenuValue);
  return {};
}

}  // namespace velkin::flash
