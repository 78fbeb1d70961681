// Listing one folder of the knowledge base the way the project tree shows
// it: categories and pages in the file system's enumeration order (the tree
// is not sorted), companion folders and other files left out, stray build
// files deleted on sight.
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
// With ChildCheck::Skip the has-children flags are left false, for callers
// that list every category anyway.
std::vector<ListedEntry> listFolder(const std::string& folder, const PageFilter& filter,
                                    ChildCheck childCheck = ChildCheck::Compute);

// True when folder holds a non-companion folder or a page passing filter.
// Stops at the first hit.
bool folderHasChildren(const std::string& folder, const PageFilter& filter);

}  // namespace velkin::kb
