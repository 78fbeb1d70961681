// Reading folders as every listing of the system shows them: entries in
// name order (compareNames), links counted as what they point to, and
// folders of the kernel's own file systems (proc, sysfs and the like, which
// hold no user files but endless views of the machine) read as empty. And
// the guard that keeps a walk through linked folders finite.
#pragma once

#include <sys/types.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_util.h"

namespace velkin::platform {

struct FolderEntry {
  std::string name;
  EntryType type = EntryType::Other;  // Folder or File; links as what they point to
  bool isLink = false;                // the entry itself is a symbolic link
  bool isFolder() const { return type == EntryType::Folder; }
};

// Which folder a path names, and whether its last name is a link to it.
struct FolderIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool isLink = false;
};

struct FolderListing {
  bool readable = false;  // false: missing, not a folder, or not readable
  FolderIdentity identity;
  // Folders and files in name order, "." and ".." left out; anything else
  // (sockets, broken links, ...) is left out too.
  std::vector<FolderEntry> entries;
};

FolderListing readFolder(const std::string& folder);

// Calls visit for each folder and file in the order the file system gives
// them, until it returns false: for questions answered by the first hit.
void scanFolder(const std::string& folder, const std::function<bool(const FolderEntry&)>& visit);

// The identity of the folder at path; false when no folder is there.
bool identifyFolder(const std::string& path, FolderIdentity* identity);

// The folders a walk is inside, from its start down to where it is now, and
// the folders it has entered through links. enter() refuses a folder that is
// already on the way (a link back up), and a folder reached through a link,
// or below one, that the walk has already entered that way. So every folder
// is read at most twice (where it is, and once through links), and a walk
// through any web of links ends after work in proportion to the folders it
// can reach.
class WalkPath {
 public:
  bool enter(const FolderIdentity& folder);
  void leave() { inside_.pop_back(); }

 private:
  struct Step {
    std::pair<dev_t, ino_t> id;
    bool belowLink = false;
  };
  std::vector<Step> inside_;
  std::set<std::pair<dev_t, ino_t>> enteredThroughLinks_;
};

}  // namespace velkin::platform
