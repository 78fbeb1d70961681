#include "kb/listing.h"

#include <climits>
#include <optional>

#include "kb/build_files.h"
#include "platform/folder_listing.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::kb {
namespace {

bool pagePasses(const std::string& folder, std::string_view fileName, const PageFilter& filter) {
  if (filter.mode == 0) return true;
  return filter.passes(platform::joinPath(folder, fileName), fileName);
}

// An entry whose full path reaches PATH_MAX (which counts the closing NUL)
// cannot be opened by its path, so nothing can be read below or from it.
// A category or page is listed all the same, with the problem for the
// caller to show and a trace, never silently left out. nullopt for an
// entry whose path fits, and for entries the listing never shows.
std::optional<ListedEntry> entryBeyondPathLimit(const std::string& folder, const platform::FolderEntry& found) {
  const std::string& name = found.name;
  const std::string path = platform::joinPath(folder, name);
  if (path.size() < PATH_MAX) return std::nullopt;
  ListedEntry entry{name, name, ItemKind::Category, false};
  if (found.isFolder()) {
    if (isCompanionFolderName(name)) return std::nullopt;
  } else {
    const auto kind = found.type == platform::EntryType::File ? pageKindOf(name) : std::nullopt;
    if (!kind || isBuildFileName(name)) return std::nullopt;
    entry.text = pageDisplayName(name, *kind);
    entry.kind = *kind;
  }
  entry.problem = "The path of \"" + name + "\" in " + folder + " is longer than the system allows (" +
                  std::to_string(PATH_MAX - 1) + " bytes): it cannot be opened.";
  platform::trace("listing", entry.problem);
  return entry;
}

}  // namespace

bool folderHasChildren(const std::string& folder, const PageFilter& filter) {
  bool found = false;
  platform::scanFolder(folder, [&](const platform::FolderEntry& entry) {
    if (entry.isFolder()) {
      found = !isCompanionFolderName(entry.name);
    } else if (pageKindOf(entry.name) && !isBuildFileName(entry.name)) {
      found = pagePasses(folder, entry.name, filter);
    }
    return !found;
  });
  return found;
}

std::vector<ListedEntry> listFolder(const std::string& folder, const PageFilter& filter,
                                    const std::string& bookDirectory, ChildCheck childCheck) {
  std::vector<ListedEntry> entries;
  std::vector<std::string> buildFiles;
  for (const auto& entry : platform::readFolder(folder).entries) {
    const std::string& name = entry.name;
    if (auto beyondLimit = entryBeyondPathLimit(folder, entry)) {
      entries.push_back(std::move(*beyondLimit));
      continue;
    }
    if (entry.isFolder()) {
      if (isCompanionFolderName(name)) continue;
      ListedEntry category{name, name, ItemKind::Category, false};
      if (childCheck == ChildCheck::Compute) {
        category.hasChildren = folderHasChildren(platform::joinPath(folder, name), filter);
      }
      entries.push_back(std::move(category));
    } else if (isBuildFileName(name)) {
      buildFiles.push_back(name);
    } else if (const auto kind = pageKindOf(name); kind && pagePasses(folder, name, filter)) {
      entries.push_back({name, pageDisplayName(name, *kind), *kind, false});
    }
  }
  // Left over from an interrupted book build: removed on sight.
  if (!buildFiles.empty()) deleteLeftoverBuildFiles(bookDirectory, folder, buildFiles);
  return entries;
}

}  // namespace velkin::kb
