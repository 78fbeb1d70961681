#include "flash/model/flash_folder.h"

#include <cstdlib>
#include <memory>

#include "platform/paths.h"
#include "platform/text.h"

namespace velkin::flash {
namespace {

std::string readSavePath(platform::Registry& registry, const char* key) {
  return registry.readFolder(platform::RegistryRoot::Machine, key, kSavePathValue, defaultFlashFolder());
}

// The path with every link resolved, or "" when it does not exist.
std::string resolvedPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

std::string defaultFlashFolder() { return platform::joinPath(platform::programDataFolder(), kFlashFolderName); }

std::string flashFolder(platform::Registry& registry) { return readSavePath(registry, kSaveFolderKey); }

std::string folderTreeRoot(platform::Registry& registry) { return readSavePath(registry, kPlugInKey); }

bool isChangeableInside(const std::string& root, const std::string& path) {
  if (!isPlainName(platform::baseName(path))) return false;
  const std::string realRoot = resolvedPath(root);
  const std::string realFolder = resolvedPath(std::string(platform::parentPath(path)));
  if (realRoot.empty() || realFolder.empty()) return false;
  if (realFolder == realRoot) return true;
  const std::string prefix = realRoot == "/" ? realRoot : realRoot + "/";
  return realFolder.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace velkin::flash
