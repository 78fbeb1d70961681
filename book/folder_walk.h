// What the book builders share: reading a folder in the file system's
// enumeration order, guarding a recursive walk against links that lead back
// into a folder it is already inside, and the small text rules for putting
// names and paths into the HTML they write.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkin::book {

struct FolderEntry {
  std::string name;
  bool isFolder = false;  // links count as what they point to
};

struct FolderListing {
  bool readable = false;  // false: missing, not a folder, or not readable
  dev_t device = 0;       // identity of the folder itself
  ino_t inode = 0;
  // Folders and regular files in enumeration order, "." and ".." left out;
  // anything else (sockets, broken links, ...) is left out too.
  std::vector<FolderEntry> entries;
};

FolderListing readFolder(const std::string& folder);

// The folders a walk is inside, from its start down to where it is now.
// enter() refuses a folder that is already on the way (a link cycle), so a
// walk through links always ends.
class WalkPath {
 public:
  bool enter(const FolderListing& listing);
  void leave() { inside_.pop_back(); }

 private:
  std::vector<std::pair<dev_t, ino_t>> inside_;
};

// The text with &, <, > and " written as character references, so that a
// name or path cannot end an attribute value or start a tag.
std::string escapeHtml(std::string_view text);

// path relative to folder when it lies below it ("folder/x/y" gives "x/y"),
// else path unchanged.
std::string pathBelow(std::string_view path, std::string_view folder);

// The file name up to its last dot; empty when it has none.
std::string_view nameBeforeLastDot(std::string_view fileName);

bool hasLineBreak(std::string_view text);

// "/a/b/" gives "/a/b"; "/" stays "/".
std::string withoutTrailingSlash(std::string path);

}  // namespace velkin::book
