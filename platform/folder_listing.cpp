#include "platform/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>

#include "platform/text.h"

namespace velkin::platform {
namespace {

// The kernel's interface file systems: never a place for pages, and /proc
// alone holds a link to the root of every process' file system.
bool isKernelFileSystem(int fd) {
  struct statfs info {};
  if (fstatfs(fd, &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case BPF_FS_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

// Opens folder for reading its entries and tells its identity; nullptr when
// it cannot be read. A kernel file system's folder opens with no entries.
DIR* openFolder(const std::string& folder, FolderIdentity* identity, bool* empty) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return nullptr;
  struct stat self {};
  if (fstat(dirfd(dir), &self) != 0) {
    closedir(dir);
    return nullptr;
  }
  struct stat name {};
  identity->device = self.st_dev;
  identity->inode = self.st_ino;
  identity->isLink = lstat(folder.c_str(), &name) == 0 && S_ISLNK(name.st_mode);
  *empty = isKernelFileSystem(dirfd(dir));
  return dir;
}

// Visits the folders and files of an open folder in the file system's order.
void visitEntries(DIR* dir, const std::function<bool(const FolderEntry&)>& visit) {
  const int fd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry found{std::string(name), entryTypeAt(fd, entry->d_name, entry->d_type), false};
    if (found.type == EntryType::Other) continue;
    if (entry->d_type == DT_LNK) {
      found.isLink = true;
    } else if (entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      found.isLink = fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
    }
    if (!visit(found)) break;
  }
}

}  // namespace

FolderListing readFolder(const std::string& folder) {
  FolderListing listing;
  bool empty = false;
  DIR* dir = openFolder(folder, &listing.identity, &empty);
  if (dir == nullptr) return listing;
  listing.readable = true;
  if (!empty) {
    visitEntries(dir, [&](const FolderEntry& entry) {
      listing.entries.push_back(entry);
      return true;
    });
  }
  closedir(dir);
  std::sort(listing.entries.begin(), listing.entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return nameLess(a.name, b.name); });
  return listing;
}

void scanFolder(const std::string& folder, const std::function<bool(const FolderEntry&)>& visit) {
  FolderIdentity identity;
  bool empty = false;
  DIR* dir = openFolder(folder, &identity, &empty);
  if (dir == nullptr) return;
  if (!empty) visitEntries(dir, visit);
  closedir(dir);
}

bool identifyFolder(const std::string& path, FolderIdentity* identity) {
  struct stat target {};
  struct stat name {};
  if (stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return false;
  identity->device = target.st_dev;
  identity->inode = target.st_ino;
  identity->isLink = lstat(path.c_str(), &name) == 0 && S_ISLNK(name.st_mode);
  return true;
}

bool WalkPath::enter(const FolderIdentity& folder) {
  const std::pair<dev_t, ino_t> id{folder.device, folder.inode};
  const bool onTheWay =
      std::any_of(inside_.begin(), inside_.end(), [&](const Step& step) { return step.id == id; });
  if (onTheWay) return false;
  const bool belowLink = folder.isLink || (!inside_.empty() && inside_.back().belowLink);
  if (belowLink && !enteredThroughLinks_.insert(id).second) return false;
  inside_.push_back({id, belowLink});
  return true;
}

}  // namespace velkin::platform
