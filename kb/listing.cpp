#include "kb/listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <optional>

#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::kb {
namespace {

using platform::EntryType;

// Calls visit(name, type) for each entry but "." and ".." until it returns
// false. The folder's descriptor is passed for deletions relative to it.
void forEachEntry(const std::string& folder,
                  const std::function<bool(int folderFd, const char* name, EntryType type)>& visit) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const int fd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!visit(fd, entry->d_name, platform::entryTypeAt(fd, entry->d_name, entry->d_type))) break;
  }
  closedir(dir);
}

bool pagePasses(const std::string& folder, std::string_view fileName, const PageFilter& filter) {
  if (filter.mode == 0) return true;
  return filter.passes(platform::joinPath(folder, fileName), fileName);
}

// An entry whose full path reaches PATH_MAX (which counts the closing NUL)
// cannot be opened by its path, so nothing can be read below or from it.
// A category or page is listed all the same, with the problem for the
// caller to show and a trace, never silently left out. nullopt for an
// entry whose path fits, and for entries the listing never shows.
std::optional<ListedEntry> entryBeyondPathLimit(const std::string& folder, const char* name, EntryType type) {
  const std::string path = platform::joinPath(folder, name);
  if (path.size() < PATH_MAX) return std::nullopt;
  ListedEntry entry{name, name, ItemKind::Category, false};
  if (type == EntryType::Folder) {
    if (isCompanionFolderName(name)) return std::nullopt;
  } else {
    const auto kind = type == EntryType::File ? pageKindOf(name) : std::nullopt;
    if (!kind || isBuildFileName(name)) return std::nullopt;
    entry.text = pageDisplayName(name, *kind);
    entry.kind = *kind;
  }
  entry.problem = "The path of \"" + std::string(name) + "\" in " + folder + " is longer than the system allows (" +
                  std::to_string(PATH_MAX - 1) + " bytes): it cannot be opened.";
  platform::trace("listing", entry.problem);
  return entry;
}

}  // namespace

bool folderHasChildren(const std::string& folder, const PageFilter& filter) {
  bool found = false;
  forEachEntry(folder, [&](int, const char* name, EntryType type) {
    if (type == EntryType::Folder) {
      found = !isCompanionFolderName(name);
    } else if (type == EntryType::File && pageKindOf(name) && !isBuildFileName(name)) {
      found = pagePasses(folder, name, filter);
    }
    return !found;
  });
  return found;
}

std::vector<ListedEntry> listFolder(const std::string& folder, const PageFilter& filter,
                                    ChildCheck childCheck) {
  std::vector<ListedEntry> entries;
  forEachEntry(folder, [&](int folderFd, const char* name, EntryType type) {
    if (auto beyondLimit = entryBeyondPathLimit(folder, name, type)) {
      entries.push_back(std::move(*beyondLimit));
      return true;
    }
    if (type == EntryType::Folder) {
      if (isCompanionFolderName(name)) return true;
      ListedEntry entry{name, name, ItemKind::Category, false};
      if (childCheck == ChildCheck::Compute) {
        entry.hasChildren = folderHasChildren(platform::joinPath(folder, name), filter);
      }
      entries.push_back(std::move(entry));
    } else if (type == EntryType::File) {
      if (isBuildFileName(name)) {
        // Left over from an interrupted book build: removed on sight.
        if (unlinkat(folderFd, name, 0) != 0) {
          platform::trace("listing", std::string("cannot delete build file ") +
                                         platform::joinPath(folder, name));
        }
        return true;
      }
      const auto kind = pageKindOf(name);
      if (kind && pagePasses(folder, name, filter)) {
        entries.push_back({name, pageDisplayName(name, *kind), *kind, false});
      }
    }
    return true;
  });
  return entries;
}

}  // namespace velkin::kb
