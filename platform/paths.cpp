#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/file_util.h"
#include "platform/text.h"

namespace velkin::platform {
namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/";
}

std::string executableFolder() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  return std::string(parentPath(std::string_view(buffer, static_cast<size_t>(length))));
}

std::string programDataFolder() {
  const std::string besideExecutable = executableFolder();
  if (pathExists(joinPath(besideExecutable, "portable"))) return besideExecutable;
  const std::string dataHome = envOr("XDG_DATA_HOME", joinPath(homeFolder(), ".local/share"));
  return joinPath(withoutTrailingSlash(dataHome), "velkin");
}

std::string configFolder() {
  if (const char* dir = std::getenv("VELKIN_CONFIG_DIR"); dir != nullptr && *dir != '\0') {
    return withoutTrailingSlash(dir);
  }
  return joinPath(userConfigHome(), "velkin");
}

std::string userConfigHome() {
  if (const char* dir = std::getenv("XDG_CONFIG_HOME"); dir != nullptr && dir[0] == '/') {
    return withoutTrailingSlash(dir);
  }
  return joinPath(homeFolder(), ".config");
}

std::string mainProgramSocketName() { return "velkin-kestrova-" + std::to_string(getuid()); }

}  // namespace velkin::platform
