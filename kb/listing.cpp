#include "kb/listing.h"

#include "kb/build_files.h"
#include "platform/folder_listing.h"
#include "platform/text.h"

namespace velkin::kb {
namespace {

bool pagePasses(const std::string& folder, std::string_view fileName, const PageFilter& filter) {
  if (filter.mode == 0) return true;
  return filter.passes(platform::joinPath(folder, fileName), fileName);
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
