// Listing one folder of the knowledge base the way the project tree shows
// it: categories and pages in name order (platform::compareNames, the order
// the tree was designed to show), companion folders and other files left
// out, stray build files deleted on sight where that is safe (build_files.h).
#pragma once

#include <string>
#include <vector>

#include "kb/layout.h"
#include "kb/page_filter.h"

namespace velkin::kb {

struct ListedEntry {
  std::string fileName;  // the entry's own name on disk
  std::string text;      // what the tree shows: folder name, or page name without extension
  ItemKind kind = ItemKind::Category;
  bool hasChildren = false;  // categories: holds a category, or a page passing the filter
  // Set when the entry's full path is longer than the system allows
  // (PATH_MAX): it is listed all the same, unchecked (no children, no page
  // filter), and this is the message to show; it cannot be opened by path.
  std::string problem{};
};

enum class ChildCheck { Compute, Skip };

// Lists folder one level deep. A missing or unreadable folder lists nothing.
// Build files met there are deleted when folder is a real folder of
// bookDirectory and no running build holds them; with an empty
// bookDirectory they are only left out. With ChildCheck::Skip the
// has-children flags are left false, for callers that list every category
// anyway.
std::vector<ListedEntry> listFolder(const std::string& folder, const PageFilter& filter,
                                    const std::string& bookDirectory,
                                    ChildCheck childCheck = ChildCheck::Compute);

// True when folder holds a non-companion folder or a page passing filter.
// Stops at the first hit.
bool folderHasChildren(const std::string& folder, const PageFilter& filter);

}  // namespace velkin::kb
