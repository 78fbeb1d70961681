#include "platform/favorites.h"

#include <algorithm>
#include <cstdlib>

#include "platform/file_util.h"
#include "platform/folder_listing.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::platform {

namespace {

constexpr char kShortcutSection[] = "InternetShortcut";
constexpr char kAddressKey[] = "URL";
constexpr char kUntitled[] = "Favorite";
constexpr std::size_t kMaxNameBytes = 255;

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool hasControlCharacters(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return true;
  }
  return false;
}

bool isHidden(std::string_view name) { return !name.empty() && name.front() == '.'; }

// Whether path lies in folder or below it (both without a trailing "/").
bool isInside(const std::string& path, const std::string& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

std::string realPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result(resolved);
  std::free(resolved);
  return result;
}

std::string variable(std::string_view name) {
  const std::string key(name);
  if (const char* value = std::getenv(key.c_str()); value != nullptr) return value;
  if (equalsIgnoreCase(name, "USERPROFILE") || equalsIgnoreCase(name, "HOMEPATH")) return homeFolder();
  return {};
}

bool isNameLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

class FavoritesReader {
 public:
  explicit FavoritesReader(std::string root) : root_(std::move(root)) {}

  FavoriteFolder read() {
    FavoriteFolder top;
    FolderIdentity identity;
    if (identifyFolder(root_, &identity)) readInto(root_, identity, 0, &top);
    return top;
  }

 private:
  void readInto(const std::string& folder, const FolderIdentity& identity, int depth, FavoriteFolder* into) {
    if (depth > kMaxFavoriteDepth || !walk_.enter(identity)) return;
    const FolderListing listing = readFolder(folder);
    // Titles sort without the ".url" that follows them ("a" before "a b").
    std::vector<std::string> titles;
    for (const FolderEntry& entry : listing.entries) {
      if (entry.isFolder() || isHidden(entry.name) || !endsWith(entry.name, kShortcutExtension)) continue;
      titles.push_back(entry.name.substr(0, entry.name.size() - (sizeof(kShortcutExtension) - 1)));
    }
    std::sort(titles.begin(), titles.end(), nameLess);
    for (const std::string& title : titles) {
      if (next_ > kMaxFavoriteNumber) break;
      into->favorites.push_back(readShortcut(joinPath(folder, title + kShortcutExtension), title));
    }
    for (const FolderEntry& entry : listing.entries) {
      if (!entry.isFolder() || isHidden(entry.name)) continue;
      const std::string path = joinPath(folder, entry.name);
      if (entry.isLink && !isInside(realPath(path), realRoot())) {
        trace("favorites", "not following " + path + ": it leads out of the favourites folder");
        continue;
      }
      FolderIdentity child;
      if (!identifyFolder(path, &child)) continue;
      FavoriteFolder sub;
      sub.title = entry.name;
      readInto(path, child, depth + 1, &sub);
      if (!sub.favorites.empty() || !sub.folders.empty()) into->folders.push_back(std::move(sub));
    }
    walk_.leave();
  }

  Favorite readShortcut(const std::string& path, const std::string& title) {
    Favorite favorite;
    favorite.title = title;
    favorite.number = next_++;
    const FileRead file = readFileUpTo(path, kMaxShortcutBytes);
    if (file.status == FileRead::Status::Read) {
      favorite.address = internetShortcutAddress(file.data);
    } else {
      trace("favorites", "cannot read " + path);
    }
    return favorite;
  }

  const std::string& realRoot() {
    if (realRoot_.empty()) realRoot_ = realPath(root_);
    return realRoot_;
  }

  std::string root_;
  std::string realRoot_;
  WalkPath walk_;
  int next_ = 1;
};

}  // namespace

std::string internetShortcutAddress(std::string_view text) {
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.remove_prefix(3);
  bool inSection = false;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = trimBlanks(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      inSection = close != std::string_view::npos && equalsIgnoreCase(trimBlanks(line.substr(1, close - 1)), kShortcutSection);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos) continue;
    if (!equalsIgnoreCase(trimBlanks(line.substr(0, equals)), kAddressKey)) continue;
    const std::string_view address =
        trimBlanks(cutAtCharacter(trimBlanks(line.substr(equals + 1)), kMaxFavoriteAddressBytes));
    return hasControlCharacters(address) ? std::string() : std::string(address);
  }
  return {};
}

std::string internetShortcutText(std::string_view address) {
  return "[" + std::string(kShortcutSection) + "]\r\n" + kAddressKey + "=" + std::string(address) + "\r\n";
}

std::string expandEnvironment(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '%') {
      const std::size_t close = text.find('%', i + 1);
      if (close != std::string_view::npos && close > i + 1) {
        const std::string_view name = text.substr(i + 1, close - i - 1);
        const std::string value = variable(name);
        result += value.empty() ? std::string(text.substr(i, close - i + 1)) : value;
        i = close + 1;
        continue;
      }
    } else if (c == '$') {
      const bool braced = i + 1 < text.size() && text[i + 1] == '{';
      const std::size_t start = i + (braced ? 2 : 1);
      std::size_t end = start;
      while (end < text.size() && isNameLetter(text[end])) ++end;
      const bool closed = !braced || (end < text.size() && text[end] == '}');
      if (end > start && closed) {
        const std::string value = variable(text.substr(start, end - start));
        const std::size_t after = end + (braced ? 1 : 0);
        result += value.empty() ? std::string(text.substr(i, after - i)) : value;
        i = after;
        continue;
      }
    }
    result += c == '\\' ? '/' : c;
    ++i;
  }
  return result;
}

std::string favoritesFolder(Registry& registry) {
  if (const auto value = registry.readString(RegistryRoot::User, kShellFoldersKey, kFavoritesValue)) {
    std::string folder = expandEnvironment(*value);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!folder.empty() && folder.front() == '/') return folder;
    trace("favorites", "the Favorites shell folder \"" + *value + "\" is no absolute path; using the data folder");
  }
  return joinPath(programDataFolder(), kFavoritesFolderName);
}

FavoriteFolder readFavorites(const std::string& folder) { return FavoritesReader(folder).read(); }

ShellResult addFavorite(const std::string& folder, std::string_view title, std::string_view address) {
  ShellResult result;
  if (address.empty() || address.size() > kMaxFavoriteAddressBytes || hasControlCharacters(address)) {
    result.error = "the address cannot be kept as a favourite";
    return result;
  }
  std::string name(trimBlanks(title));
  for (char& c : name) {
    if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  // A leading "." would hide the favourite from every listing.
  while (!name.empty() && (name.front() == '.' || name.front() == ' ')) name.erase(0, 1);
  if (name.empty()) name = kUntitled;
  return shellCreateFile(folder, fitFileName(name + kShortcutExtension, kMaxNameBytes),
                         internetShortcutText(address));
}

}  // namespace velkin::platform
