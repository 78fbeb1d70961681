#include "platform/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr size_t kMaxNameBytes = 255;

// ---------------------------------------------------------------------------
// Results

ShellResult failure(std::string error) {
  trace("shell", error);
  ShellResult result;
  result.error = std::move(error);
  return result;
}

ShellResult success(std::string path) {
  ShellResult result;
  result.ok = true;
  result.path = std::move(path);
  return result;
}

std::string systemError(int error) { return std::strerror(error); }

// ---------------------------------------------------------------------------
// Names

bool isPageName(std::string_view name) {
  return (name.size() > 4 && endsWithIgnoreCase(name, ".htm")) ||
         (name.size() > 5 && endsWithIgnoreCase(name, ".html"));
}

// What kind of entry a free name is wanted for: the counter goes at the end
// of a folder name, before the last extension of a file name, and a page
// also needs its companion folder names free.
enum class Kind { Folder, File, Page };

// A file name without its last extension ("x.tar.gz" -> "x.tar"). A leading
// dot (".profile") and a trailing one ("x.") are no extension.
std::string stemOf(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return name;
  return name.substr(0, dot);
}

// The two companion folder names of a page stem, with the suffix each adds.
constexpr std::string_view kCompanionSuffixes[] = {".files", "_files"};

// Splits a stem that already carries a counter: "a (2)" gives "a" and 3, the
// next number to try; any other stem gives itself and 2.
std::pair<std::string, unsigned long> counterBase(const std::string& stem) {
  if (stem.size() > 4 && stem.back() == ')') {
    const auto open = stem.rfind(" (");
    if (open != std::string::npos && open > 0) {
      const std::string digits = stem.substr(open + 2, stem.size() - open - 3);
      const bool numeric = !digits.empty() && digits.size() <= 9 && digits[0] != '0' &&
                           std::all_of(digits.begin(), digits.end(),
                                       [](char c) { return c >= '0' && c <= '9'; });
      if (numeric) return {stem.substr(0, open), std::stoul(digits) + 1};
    }
  }
  return {stem, 2};
}

// The first free name for an entry of the given kind in folder. Paths listed
// in "own" count as free: they are the entry being renamed and its own
// companions, which move out of the way.
std::string freeName(const std::string& folder, const std::string& name, Kind kind,
                     const std::vector<std::string>& own) {
  const auto taken = [&](const std::string& candidate) {
    const std::string full = joinPath(folder, candidate);
    return pathExists(full) && std::find(own.begin(), own.end(), full) == own.end();
  };
  const auto isFree = [&](const std::string& candidate) {
    if (taken(candidate)) return false;
    if (kind == Kind::Page) {
      const std::string stem = stemOf(candidate);
      for (const auto suffix : kCompanionSuffixes) {
        if (taken(stem + std::string(suffix))) return false;
      }
    }
    return true;
  };
  if (isFree(name)) return name;
  std::string stem = name;
  std::string extension;
  if (kind != Kind::Folder) {
    stem = stemOf(name);
    extension = name.substr(stem.size());
  }
  const auto [base, first] = counterBase(stem);
  for (unsigned long number = first;; ++number) {
    const std::string candidate = base + " (" + std::to_string(number) + ")" + extension;
    if (isFree(candidate)) return candidate;
  }
}

// ---------------------------------------------------------------------------
// Paths

// An absolute, lexically normal path without a trailing "/".
std::string absolutePath(const std::string& path) {
  std::string out = fs::absolute(fs::path(path)).lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

// A folder path with symbolic links and "..": resolved as far as it exists.
std::string resolvedFolder(const std::string& folder) {
  std::string out = fs::weakly_canonical(fs::path(absolutePath(folder))).string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

// True when path is folder itself or lies somewhere below it.
bool isInside(const std::string& path, const std::string& folder) {
  if (path == folder) return true;
  if (folder == "/") return true;
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

bool isRealFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// An existing file or folder an operation starts from.
struct Item {
  std::string path;  // absolute; its folder has symbolic links resolved
  std::string folder;
  std::string name;
  bool isFolder = false;  // a real folder, not a link to one
  bool isPage = false;
  // Existing companion folders with the suffix each adds to the page stem.
  std::vector<std::pair<std::string, std::string>> companions;
};

std::vector<std::pair<std::string, std::string>> companionsOf(const std::string& folder,
                                                              const std::string& name) {
  std::vector<std::pair<std::string, std::string>> out;
  const std::string stem = stemOf(name);
  for (const auto suffix : kCompanionSuffixes) {
    const std::string path = joinPath(folder, stem + std::string(suffix));
    if (isRealFolder(path)) out.emplace_back(path, std::string(suffix));
  }
  return out;
}

// Finds the item at path. On failure returns false with the reason in error,
// phrased after "verb" ("cannot move /x: ...").
bool locate(const std::string& path, std::string_view verb, Item& item, std::string& error) {
  const std::string prefix = "cannot " + std::string(verb) + " " + path + ": ";
  if (path.empty()) {
    error = prefix + "no path given";
    return false;
  }
  const std::string absolute = absolutePath(path);
  item.name = std::string(baseName(absolute));
  if (item.name.empty() || item.name == "/" || item.name == "." || item.name == "..") {
    error = prefix + "not a file or folder name";
    return false;
  }
  std::error_code failed;
  item.folder = fs::canonical(fs::path(std::string(parentPath(absolute))), failed).string();
  if (failed) {
    error = prefix + failed.message();
    return false;
  }
  item.path = joinPath(item.folder, item.name);
  struct stat info {};
  if (lstat(item.path.c_str(), &info) != 0) {
    error = prefix + systemError(errno);
    return false;
  }
  item.isFolder = S_ISDIR(info.st_mode);
  item.isPage = !item.isFolder && isPageName(item.name);
  if (item.isPage) item.companions = companionsOf(item.folder, item.name);
  return true;
}

// ---------------------------------------------------------------------------
// Copying and renaming

// Copies one file's contents into a new file; the new file gets the mode and
// times of the old one (and its owner when keepOwner).
bool copyFile(const std::string& from, const std::string& to, const struct stat& info,
              bool keepOwner, std::string& error, bool* created) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) {
    error = "cannot read " + from + ": " + systemError(errno);
    return false;
  }
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    error = "cannot create " + to + ": " + systemError(errno);
    close(in);
    return false;
  }
  if (created != nullptr) *created = true;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = "cannot read " + from + ": " + systemError(errno);
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!writeAll(out, std::string_view(buffer, static_cast<size_t>(got)))) {
      error = "cannot write " + to + ": " + systemError(errno);
      ok = false;
      break;
    }
  }
  close(in);
  if (ok) {
    if (keepOwner && fchown(out, info.st_uid, info.st_gid) != 0) {
      trace("shell", "cannot keep the owner of " + to + ": " + systemError(errno));
    }
    if (fchmod(out, info.st_mode & 07777) != 0) {
      trace("shell", "cannot set the mode of " + to + ": " + systemError(errno));
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (futimens(out, times) != 0) {
      trace("shell", "cannot set the times of " + to + ": " + systemError(errno));
    }
  }
  if (close(out) != 0 && ok) {
    error = "cannot write " + to + ": " + systemError(errno);
    ok = false;
  }
  return ok;
}

bool readLink(const std::string& path, size_t sizeHint, std::string& target) {
  std::string buffer(std::max<size_t>(sizeHint, 64) + 1, '\0');
  for (;;) {
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) < buffer.size()) {
      target.assign(buffer.data(), static_cast<size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

void keepTimes(const std::string& path, const struct stat& info) {
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    trace("shell", "cannot set the times of " + path + ": " + systemError(errno));
  }
}

// Copies a file, symbolic link or folder tree to "to", which must not exist.
// Links are copied as links, never followed. "created" is set once "to" has
// been made, so the caller knows whether there is a partial copy to remove.
bool copyTree(const std::string& from, const std::string& to, bool keepOwner, std::string& error,
              bool* created) {
  struct stat info {};
  if (lstat(from.c_str(), &info) != 0) {
    error = "cannot copy " + from + ": " + systemError(errno);
    return false;
  }
  if (S_ISREG(info.st_mode)) return copyFile(from, to, info, keepOwner, error, created);
  if (S_ISLNK(info.st_mode)) {
    std::string target;
    if (!readLink(from, static_cast<size_t>(info.st_size), target)) {
      error = "cannot read link " + from + ": " + systemError(errno);
      return false;
    }
    if (symlink(target.c_str(), to.c_str()) != 0) {
      error = "cannot create link " + to + ": " + systemError(errno);
      return false;
    }
    if (created != nullptr) *created = true;
    if (keepOwner && lchown(to.c_str(), info.st_uid, info.st_gid) != 0) {
      trace("shell", "cannot keep the owner of " + to + ": " + systemError(errno));
    }
    keepTimes(to, info);
    return true;
  }
  if (S_ISFIFO(info.st_mode)) {
    if (mkfifo(to.c_str(), info.st_mode & 07777) != 0) {
      error = "cannot create " + to + ": " + systemError(errno);
      return false;
    }
    if (created != nullptr) *created = true;
    keepTimes(to, info);
    return true;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = "cannot copy " + from + ": not a file, folder or link";
    return false;
  }
  // Made private first so a half-done copy is never open to others, and
  // writable for ourselves even when the original is read-only.
  if (mkdir(to.c_str(), 0700) != 0) {
    error = "cannot create folder " + to + ": " + systemError(errno);
    return false;
  }
  if (created != nullptr) *created = true;
  std::vector<std::string> names;
  DIR* dir = opendir(from.c_str());
  if (dir == nullptr) {
    error = "cannot read folder " + from + ": " + systemError(errno);
    return false;
  }
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int readError = errno;
  closedir(dir);
  if (readError != 0) {
    error = "cannot read folder " + from + ": " + systemError(readError);
    return false;
  }
  for (const auto& name : names) {
    if (!copyTree(joinPath(from, name), joinPath(to, name), keepOwner, error, nullptr)) {
      return false;
    }
  }
  if (keepOwner && lchown(to.c_str(), info.st_uid, info.st_gid) != 0) {
    trace("shell", "cannot keep the owner of " + to + ": " + systemError(errno));
  }
  if (chmod(to.c_str(), info.st_mode & 07777) != 0) {
    trace("shell", "cannot set the mode of " + to + ": " + systemError(errno));
  }
  keepTimes(to, info);
  return true;
}

// Copies "from" to the free path "to"; a failed copy leaves nothing behind.
// Returns an empty string or the reason.
std::string copyEntry(const std::string& from, const std::string& to, bool keepOwner) {
  std::string error;
  bool created = false;
  if (copyTree(from, to, keepOwner, error, &created)) return {};
  if (created && !removeTree(to)) trace("shell", "cannot remove the partial copy " + to);
  return error;
}

// Moves "from" to the free path "to": a rename, or across file systems a copy
// followed by removing the original. Returns an empty string or the reason.
std::string moveEntry(const std::string& from, const std::string& to) {
  if (from == to) return {};
  if (renameNoReplace(from, to) == 0) return {};
  const int error = errno;
  if (error != EXDEV) return "cannot move " + from + " to " + to + ": " + systemError(error);
  if (std::string copyError = copyEntry(from, to, true); !copyError.empty()) {
    return "cannot move " + from + " to " + to + ": " + copyError;
  }
  if (!removeTree(from)) {
    return "moved " + from + " to " + to + " but cannot remove the original";
  }
  return {};
}

// Checks that neither the item nor a companion of it would end up inside
// itself in folder. Returns an empty string or the reason.
std::string intoItselfError(const Item& item, const std::string& folder, std::string_view verb) {
  if (item.isFolder && isInside(folder, item.path)) {
    return "cannot " + std::string(verb) + " folder " + item.path + " into itself (" + folder + ")";
  }
  for (const auto& companion : item.companions) {
    if (isInside(folder, companion.first)) {
      return "cannot " + std::string(verb) + " " + item.path + " into its own companion folder " +
             companion.first;
    }
  }
  return {};
}

// Creates the missing folders of path, each with the given mode.
int makeFoldersWithMode(const std::string& path, mode_t mode) {
  if (isDirectory(path)) return 0;
  std::string parent(parentPath(path));
  if (!parent.empty() && parent != path) {
    if (const int error = makeFoldersWithMode(parent, mode); error != 0) return error;
  }
  if (mkdir(path.c_str(), mode) == 0) return 0;
  const int error = errno;
  return (error == EEXIST && isDirectory(path)) ? 0 : error;
}

std::string ensureFolder(const std::string& folder, std::string_view verb,
                         const std::string& what) {
  const int error = makeFoldersWithMode(folder, 0777);
  if (error == 0) return {};
  return "cannot " + std::string(verb) + " " + what + ": cannot create folder " + folder + ": " +
         systemError(error);
}

Kind kindOf(const Item& item, const std::string& newName) {
  if (item.isFolder) return Kind::Folder;
  return item.isPage || isPageName(newName) ? Kind::Page : Kind::File;
}

ShellResult moveItem(const std::string& from, const std::string& to) {
  Item item;
  std::string error;
  if (!locate(from, "move", item, error)) return failure(error);
  if (to.empty()) return failure("cannot move " + from + ": no destination given");
  const std::string newName(baseName(absolutePath(to)));
  if (newName.empty() || newName == "/" || newName == "." || newName == "..") {
    return failure("cannot move " + from + " to " + to + ": not a file or folder name");
  }
  std::string folder = resolvedFolder(std::string(parentPath(absolutePath(to))));
  if (joinPath(folder, newName) == item.path) return success(item.path);
  if (error = intoItselfError(item, folder, "move"); !error.empty()) return failure(error);
  if (error = ensureFolder(folder, "move", item.path); !error.empty()) return failure(error);
  folder = resolvedFolder(folder);

  std::vector<std::string> own{item.path};
  for (const auto& companion : item.companions) own.push_back(companion.first);
  const std::string finalName = freeName(folder, newName, kindOf(item, newName), own);
  const std::string target = joinPath(folder, finalName);
  if (error = moveEntry(item.path, target); !error.empty()) return failure(error);

  const std::string newStem = stemOf(finalName);
  std::vector<std::pair<std::string, std::string>> moved;  // (from, to), to undo on failure
  for (const auto& [companion, suffix] : item.companions) {
    const std::string companionTarget = joinPath(folder, newStem + suffix);
    error = moveEntry(companion, companionTarget);
    if (error.empty()) {
      moved.emplace_back(companion, companionTarget);
      continue;
    }
    // Put everything back so the page and its companions stay together.
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      if (const auto undo = moveEntry(it->second, it->first); !undo.empty()) trace("shell", undo);
    }
    if (const auto undo = moveEntry(target, item.path); !undo.empty()) trace("shell", undo);
    return failure(error);
  }
  return success(target);
}

ShellResult copyItem(const std::string& from, const std::string& toFolder) {
  Item item;
  std::string error;
  if (!locate(from, "copy", item, error)) return failure(error);
  if (toFolder.empty()) return failure("cannot copy " + from + ": no destination folder given");
  std::string folder = resolvedFolder(toFolder);
  if (error = intoItselfError(item, folder, "copy"); !error.empty()) return failure(error);
  if (error = ensureFolder(folder, "copy", item.path); !error.empty()) return failure(error);
  folder = resolvedFolder(folder);

  const std::string finalName = freeName(folder, item.name, kindOf(item, item.name), {});
  const std::string target = joinPath(folder, finalName);
  if (error = copyEntry(item.path, target, false); !error.empty()) return failure(error);

  const std::string newStem = stemOf(finalName);
  std::vector<std::string> copied{target};
  for (const auto& [companion, suffix] : item.companions) {
    const std::string companionTarget = joinPath(folder, newStem + suffix);
    error = copyEntry(companion, companionTarget, false);
    if (error.empty()) {
      copied.push_back(companionTarget);
      continue;
    }
    for (const auto& path : copied) removeTree(path);
    return failure(error);
  }
  return success(target);
}

// ---------------------------------------------------------------------------
// Trash

uid_t userId() { return getuid(); }

std::string homeTrash() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  // The base directory rules ignore a relative value.
  const std::string base = (dataHome != nullptr && dataHome[0] == '/')
                               ? std::string(dataHome)
                               : joinPath(homeFolder(), ".local/share");
  return joinPath(absolutePath(base), "Trash");
}

// The device of path, or of its nearest existing ancestor; path becomes
// that existing folder.
bool deviceOf(std::string& path, dev_t& device) {
  for (;;) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
      device = info.st_dev;
      return true;
    }
    if (path.empty() || path == "/") return false;
    path = std::string(parentPath(path));
    if (path.empty()) path = "/";
  }
}

// The top folder of the mount that holds folder (an existing, resolved path).
std::string topFolderOf(const std::string& folder, dev_t device) {
  std::string top = folder;
  while (top != "/") {
    std::string parent(parentPath(top));
    if (parent.empty()) parent = "/";
    struct stat info {};
    if (stat(parent.c_str(), &info) != 0 || info.st_dev != device) break;
    top = parent;
  }
  return top;
}

struct TrashPlace {
  std::string folder;  // holds files/ and info/
  std::string top;     // the mount's top folder; empty for the home trash
};

// The trashes that may take an item in folder, in the order to try them.
std::vector<TrashPlace> trashPlacesFor(const std::string& folder) {
  const std::string home = homeTrash();
  std::string existing = folder;
  std::string homeExisting = home;
  dev_t itemDevice{};
  dev_t homeDevice{};
  if (!deviceOf(existing, itemDevice) || !deviceOf(homeExisting, homeDevice) ||
      itemDevice == homeDevice) {
    return {{home, {}}};
  }
  const std::string top = topFolderOf(resolvedFolder(existing), itemDevice);
  const std::string uid = std::to_string(userId());
  std::vector<TrashPlace> places;
  // $topdir/.Trash is shared by all users only when it is a real folder with
  // the sticky bit; anything else there could be a trap and is not used.
  const std::string shared = joinPath(top, ".Trash");
  struct stat info {};
  if (lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0) {
    places.push_back({joinPath(shared, uid), top});
  }
  places.push_back({joinPath(top, ".Trash-" + uid), top});
  return places;
}

// Makes sure a trash folder with files/ and info/ exists. A trash under a
// mount's top folder must be a real folder of ours. Returns an empty string
// or the reason.
std::string prepareTrash(const TrashPlace& place) {
  int error = 0;
  if (place.top.empty()) {
    error = makeFoldersWithMode(place.folder, 0700);
  } else if (mkdir(place.folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = errno;
  }
  if (error != 0) return "cannot create trash folder " + place.folder + ": " + systemError(error);
  if (!place.top.empty()) {
    struct stat info {};
    if (lstat(place.folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != userId()) {
      return "trash folder " + place.folder + " is not a folder of this user";
    }
  }
  for (const char* sub : {"files", "info"}) {
    const std::string path = joinPath(place.folder, sub);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
      return "cannot create trash folder " + path + ": " + systemError(errno);
    }
    if (!isRealFolder(path)) return "trash folder " + path + " is not a folder";
  }
  return {};
}

// Percent-encodes everything but the unreserved characters and "/".
std::string encodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                       c == '~' || c == '/';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::string localTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  return text;
}

// The name a trash entry gets: the item's name, with ".2", ".3", ... after it
// on collisions, shortened (on a character boundary) so that NAME.trashinfo
// still fits in a file name.
std::string trashEntryName(const std::string& name, unsigned long number) {
  const std::string suffix = number > 1 ? "." + std::to_string(number) : std::string();
  const size_t room = kMaxNameBytes - kInfoSuffix.size() - suffix.size();
  std::string base = name;
  if (base.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base.resize(cut);
  }
  return base + suffix;
}

// Moves one entry (at a resolved absolute path) into the trash. On success
// sets trashed to its files/ entry and returns an empty string.
std::string trashEntry(const std::string& path, const std::string& folder, std::string& trashed) {
  const std::string prefix = "cannot move " + path + " to the Trash: ";
  std::string error;
  TrashPlace place;
  bool prepared = false;
  for (const auto& candidate : trashPlacesFor(folder)) {
    if (isInside(resolvedFolder(candidate.folder), path)) {
      return prefix + "it holds the Trash itself";
    }
    error = prepareTrash(candidate);
    if (error.empty()) {
      place = candidate;
      prepared = true;
      break;
    }
    trace("shell", error);
  }
  if (!prepared) return prefix + error;

  std::string recorded = path;
  if (!place.top.empty()) {
    recorded = place.top == "/" ? path.substr(1) : path.substr(place.top.size() + 1);
  }
  const std::string info =
      "[Trash Info]\nPath=" + encodePath(recorded) + "\nDeletionDate=" + localTimeNow() + "\n";

  // The .trashinfo is made first, exclusively: it reserves the entry name
  // against other programs trashing a file of the same name at once.
  const std::string name(baseName(path));
  std::string infoPath;
  std::string entry;
  for (unsigned long number = 1;; ++number) {
    const std::string candidate = trashEntryName(name, number);
    infoPath = joinPath(joinPath(place.folder, "info"), candidate + std::string(kInfoSuffix));
    const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return prefix + "cannot create " + infoPath + ": " + systemError(errno);
    }
    entry = joinPath(joinPath(place.folder, "files"), candidate);
    if (pathExists(entry)) {  // a files/ entry left without its .trashinfo
      close(fd);
      unlink(infoPath.c_str());
      continue;
    }
    const bool written = writeAll(fd, info);
    const int writeError = errno;
    if (close(fd) != 0 || !written) {
      const int reported = written ? errno : writeError;
      unlink(infoPath.c_str());
      return prefix + "cannot write " + infoPath + ": " + systemError(reported);
    }
    break;
  }
  if (error = moveEntry(path, entry); !error.empty()) {
    unlink(infoPath.c_str());
    return prefix + error;
  }
  trashed = entry;
  return {};
}

ShellResult trashItem(const std::string& path) {
  Item item;
  std::string error;
  if (!locate(path, "move to the Trash", item, error)) return failure(error);
  std::string trashed;
  if (error = trashEntry(item.path, item.folder, trashed); !error.empty()) return failure(error);
  // Each companion gets a trash entry of its own, so each can be restored.
  std::vector<std::string> done{trashed};
  for (const auto& companion : item.companions) {
    std::string companionTrashed;
    error = trashEntry(companion.first, item.folder, companionTrashed);
    if (error.empty()) {
      done.push_back(companionTrashed);
      continue;
    }
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (const auto undo = restoreFromTrash(*it); !undo.ok) trace("shell", undo.error);
    }
    return failure(error);
  }
  return success(trashed);
}

// The Path value of a .trashinfo's [Trash Info] group, decoded.
bool trashInfoPath(const std::string& text, std::string& path) {
  bool inGroup = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '[') {
      inGroup = line == "[Trash Info]";
    } else if (inGroup && line.substr(0, 5) == "Path=") {
      path = percentDecoded(line.substr(5));
      return !path.empty();
    }
    start = end + 1;
  }
  return false;
}

ShellResult restoreItem(const std::string& trashedFile) {
  const std::string prefix = "cannot restore " + trashedFile + ": ";
  if (trashedFile.empty()) return failure(prefix + "no path given");
  const std::string entry = absolutePath(trashedFile);
  const std::string filesFolder(parentPath(entry));
  if (baseName(filesFolder) != "files") return failure(prefix + "not an entry of a Trash");
  const std::string trashFolder(parentPath(filesFolder));
  const std::string name(baseName(entry));
  const std::string infoPath =
      joinPath(joinPath(trashFolder, "info"), name + std::string(kInfoSuffix));
  const auto info = readFile(infoPath);
  if (!info) return failure(prefix + "cannot read " + infoPath + ": " + systemError(errno));
  std::string original;
  if (!trashInfoPath(*info, original)) return failure(prefix + infoPath + " holds no Path");
  if (original.front() != '/') {
    // A trash under a mount's top folder records paths relative to it.
    std::string top;
    const std::string trashName(baseName(trashFolder));
    const std::string parent(parentPath(trashFolder));
    if (trashName.rfind(".Trash-", 0) == 0) {
      top = parent;
    } else if (baseName(parent) == ".Trash") {
      top = std::string(parentPath(parent));
    } else {
      return failure(prefix + infoPath + " holds a relative Path outside a top-folder trash");
    }
    const std::string relative = fs::path(original).lexically_normal().string();
    if (relative.empty() || relative == ".." || relative.rfind("../", 0) == 0) {
      return failure(prefix + infoPath + " holds a Path outside its volume");
    }
    original = joinPath(top, relative);
  }
  original = absolutePath(original);
  if (!pathExists(entry)) return failure(prefix + systemError(ENOENT));
  if (pathExists(original)) return failure(prefix + original + " already exists");
  const std::string folder(parentPath(original));
  if (const int error = folder.empty() ? 0 : makeFoldersWithMode(folder, 0777); error != 0) {
    return failure(prefix + "cannot create folder " + folder + ": " + systemError(error));
  }
  if (const auto error = moveEntry(entry, original); !error.empty()) {
    return failure(prefix + error);
  }
  if (unlink(infoPath.c_str()) != 0) {
    trace("shell", "cannot remove " + infoPath + ": " + systemError(errno));
  }
  return success(original);
}

template <typename Operation>
ShellResult guarded(const std::string& what, Operation operation) {
  try {
    return operation();
  } catch (const std::exception& error) {
    return failure("cannot " + what + ": " + error.what());
  } catch (...) {
    return failure("cannot " + what + ": unexpected failure");
  }
}

}  // namespace

ShellResult shellMoveTo(const std::string& from, const std::string& to) {
  return guarded("move " + from + " to " + to, [&] { return moveItem(from, to); });
}

ShellResult shellMove(const std::string& from, const std::string& toFolder) {
  return guarded("move " + from + " to " + toFolder, [&] {
    if (toFolder.empty()) return failure("cannot move " + from + ": no destination folder given");
    return moveItem(from, joinPath(toFolder, baseName(from)));
  });
}

ShellResult shellCopy(const std::string& from, const std::string& toFolder) {
  return guarded("copy " + from + " to " + toFolder, [&] { return copyItem(from, toFolder); });
}

ShellResult shellTrash(const std::string& path) {
  return guarded("move " + path + " to the Trash", [&] { return trashItem(path); });
}

ShellResult restoreFromTrash(const std::string& trashedFile) {
  return guarded("restore " + trashedFile, [&] { return restoreItem(trashedFile); });
}

std::vector<std::string> companionFoldersOf(const std::string& pagePath) {
  try {
    std::vector<std::string> out;
    if (pagePath.empty()) return out;
    const std::string path = absolutePath(pagePath);
    const std::string name(baseName(path));
    if (!isPageName(name) || isRealFolder(path)) return out;
    for (auto& companion : companionsOf(std::string(parentPath(path)), name)) {
      out.push_back(std::move(companion.first));
    }
    return out;
  } catch (const std::exception& error) {
    trace("shell", "cannot look for the companions of " + pagePath + ": " + error.what());
    return {};
  }
}

std::string nextFreeName(const std::string& folder, const std::string& name, bool isFolder) {
  try {
    const Kind kind = isFolder ? Kind::Folder : isPageName(name) ? Kind::Page : Kind::File;
    return freeName(folder, name, kind, {});
  } catch (const std::exception& error) {
    trace("shell", "cannot find a free name for " + name + " in " + folder + ": " + error.what());
    return name;
  }
}

std::string nextFreeName(const std::string& folder, const std::string& name) {
  return nextFreeName(folder, name, isRealFolder(joinPath(folder, name)));
}

std::string trashFolderFor(const std::string& path) {
  try {
    if (path.empty()) return homeTrash();
    const std::string absolute = absolutePath(path);
    std::string folder(parentPath(absolute));
    if (folder.empty()) folder = "/";
    return trashPlacesFor(folder).front().folder;
  } catch (const std::exception& error) {
    trace("shell", "cannot find the Trash for " + path + ": " + error.what());
    return homeTrash();
  }
}

ShellResult shellCreateFile(const std::string& folder, const std::string& name, std::string_view data) {
  ShellResult result;
  if (!makeFolders(folder)) {
    result.error = "cannot create " + folder + ": " + std::strerror(errno);
    return result;
  }
  // A few rounds cover names taken between the look and the creation.
  constexpr int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string path = joinPath(folder, nextFreeName(folder, name, false));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      result.error = "cannot create " + path + ": " + std::strerror(errno);
      return result;
    }
    const bool written = writeAll(fd, data);
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
      ::unlink(path.c_str());
      result.error = "cannot write " + path + ": " + std::strerror(written ? errno : writeError);
      return result;
    }
    result.ok = true;
    result.path = path;
    return result;
  }
  result.error = "no free name for " + name + " in " + folder;
  return result;
}

}  // namespace velkin::platform
