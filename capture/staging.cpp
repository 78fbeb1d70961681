#include "capture/staging.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "kb/layout.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::capture {
namespace {

constexpr char kWhere[] = "staging";
constexpr int kCreateAttempts = 20;
constexpr char kStagingSuffix[] = ".files";
// Inside the staging folder: where an old companion folder goes when the
// page it belonged to is replaced by one without.
constexpr char kReplacedFolderName[] = "replaced.files";

std::string systemReason() { return std::strerror(errno); }

bool isStagingName(std::string_view name) {
  return name.rfind(kStagingPrefix, 0) == 0 && platform::endsWith(name, kStagingSuffix);
}

std::string randomSuffix() {
  static thread_local std::mt19937_64 generator{std::random_device{}() ^ static_cast<unsigned>(getpid())};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string suffix;
  for (std::uint64_t bits = generator(); suffix.size() < 12; bits >>= 4) suffix += kHex[bits & 0xF];
  return suffix;
}

enum class Existing { None, Folder, Other };

// What stands at path, links not followed: a link is never a folder here.
Existing existingAt(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return Existing::None;
  return S_ISDIR(info.st_mode) ? Existing::Folder : Existing::Other;
}

// An exclusive advisory lock on a folder, waited for.
platform::FileLock lockFolder(const std::string& folder) {
  return platform::FileLock(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), platform::FileLock::Kind::Exclusive,
                            platform::FileLock::Wait::Yes);
}

// One move of publishing, which can be taken back if a later one fails.
struct Move {
  enum class Kind { None, Renamed, Exchanged } kind = Kind::None;
  std::string from;
  std::string to;

  int perform(Kind how, std::string source, std::string target) {
    from = std::move(source);
    to = std::move(target);
    const int status = how == Kind::Exchanged ? platform::exchangePaths(from, to)
                                              : platform::renameNoReplace(from, to);
    if (status == 0) kind = how;
    return status;
  }

  void undo() {
    const int status = kind == Kind::Exchanged ? platform::exchangePaths(from, to)
                       : kind == Kind::Renamed ? platform::renameNoReplace(to, from)
                                               : 0;
    if (status != 0) platform::trace(kWhere, "cannot take back the move of " + from + " to " + to);
    kind = Kind::None;
  }
};

}  // namespace

void removeDeadStaging(const std::string& category) {
  DIR* dir = opendir(category.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (isStagingName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  const int folderFd = dirfd(dir);
  for (const std::string& name : names) {
    // A free lock means its capture has ended without cleaning up.
    const platform::FileLock lock(openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                                  platform::FileLock::Kind::Exclusive, platform::FileLock::Wait::No);
    if (!lock.held()) continue;
    const std::string path = platform::joinPath(category, name);
    platform::trace(kWhere, "removing the leftovers of a capture that died: " + path);
    platform::removeTree(path);
  }
  closedir(dir);
}

std::unique_ptr<CaptureStaging> CaptureStaging::create(const std::string& category, std::string& error) {
  removeDeadStaging(category);
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string path = platform::joinPath(category, kStagingPrefix + randomSuffix() + kStagingSuffix);
    if (mkdir(path.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      error = "Cannot save a page in " + category + ": " + systemReason();
      return nullptr;
    }
    // Another capture's clean-up may take the folder between mkdir and the
    // lock (it is unlocked then): when it is gone, a new one is made.
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) continue;
    platform::FileLock lock(fd, platform::FileLock::Kind::Exclusive, platform::FileLock::Wait::Yes);
    struct stat info {};
    if (!lock.held() || fstat(lock.fd(), &info) != 0) {
      error = "Cannot save a page in " + category + ": " + systemReason();
      rmdir(path.c_str());
      return nullptr;
    }
    if (info.st_nlink == 0) continue;
    return std::unique_ptr<CaptureStaging>(new CaptureStaging(category, path, std::move(lock)));
  }
  error = "Cannot save a page in " + category + ": no free staging folder name";
  return nullptr;
}

CaptureStaging::~CaptureStaging() {
  if (!platform::removeTree(path_)) platform::trace(kWhere, "cannot remove " + path_);
}

std::string CaptureStaging::stagedPage(const std::string& pageName) const {
  return platform::joinPath(path_, pageName);
}

std::string CaptureStaging::publish(const std::string& pageName, bool replace) {
  const std::string companionName = kb::companionFolderFor(pageName);
  const std::string page = platform::joinPath(category_, pageName);
  const std::string companion = platform::joinPath(category_, companionName);
  const std::string stagedCompanion = platform::joinPath(path_, companionName);

  const platform::FileLock lock = lockFolder(category_);
  if (!lock.held()) return "Cannot save " + page + ": " + systemReason();
  const Existing pageThere = existingAt(page);
  const Existing companionThere = existingAt(companion);
  const bool haveCompanion = existingAt(stagedCompanion) == Existing::Folder;
  if (pageThere == Existing::Folder) return "A folder named " + page + " is in the way.";
  if (pageThere != Existing::None && !replace) return page + " exists; it was not replaced.";
  if (companionThere == Existing::Other) return companion + " is in the way (it is not a folder).";
  if (haveCompanion && companionThere == Existing::Folder && !replace) {
    return "The folder " + companion + " exists without its page; move or delete it first.";
  }

  // The companion folder first, so the page never appears without it.
  Move folderMove;
  int status = 0;
  if (haveCompanion) {
    status = folderMove.perform(companionThere == Existing::Folder ? Move::Kind::Exchanged : Move::Kind::Renamed,
                                stagedCompanion, companion);
  } else if (replace && pageThere != Existing::None && companionThere == Existing::Folder) {
    // The replaced page's pictures go with it.
    status = folderMove.perform(Move::Kind::Renamed, companion, platform::joinPath(path_, kReplacedFolderName));
  }
  if (status != 0) return "Cannot save " + companion + ": " + systemReason();

  Move pageMove;
  if (pageMove.perform(pageThere != Existing::None ? Move::Kind::Exchanged : Move::Kind::Renamed,
                       stagedPage(pageName), page) != 0) {
    const std::string reason = errno == EEXIST ? page + " exists; it was not replaced."
                                               : "Cannot save " + page + ": " + systemReason();
    folderMove.undo();
    return reason;
  }
  return {};
}

}  // namespace velkin::capture
