#include "book/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/file_util.h"

namespace velkin::book {

using platform::EntryType;

FolderListing readFolder(const std::string& folder) {
  FolderListing listing;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return listing;
  const int fd = dirfd(dir);
  struct stat self {};
  if (fstat(fd, &self) != 0) {
    closedir(dir);
    return listing;
  }
  listing.readable = true;
  listing.device = self.st_dev;
  listing.inode = self.st_ino;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const EntryType type = platform::entryTypeAt(fd, entry->d_name, entry->d_type);
    if (type != EntryType::Other) listing.entries.push_back({std::string(name), type == EntryType::Folder});
  }
  closedir(dir);
  return listing;
}

bool WalkPath::enter(const FolderListing& listing) {
  const std::pair<dev_t, ino_t> identity{listing.device, listing.inode};
  if (std::find(inside_.begin(), inside_.end(), identity) != inside_.end()) return false;
  inside_.push_back(identity);
  return true;
}

std::string escapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string pathBelow(std::string_view path, std::string_view folder) {
  if (!folder.empty() && path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder &&
      path[folder.size()] == '/') {
    return std::string(path.substr(folder.size() + 1));
  }
  return std::string(path);
}

std::string_view nameBeforeLastDot(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : fileName.substr(0, dot);
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace velkin::book
