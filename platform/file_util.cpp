#include "platform/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::platform {

bool pathExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

EntryType entryTypeAt(int folderFd, const char* name, unsigned char dType) {
  switch (dType) {
    case DT_DIR:
      return EntryType::Folder;
    case DT_REG:
      return EntryType::File;
    case DT_LNK:
    case DT_UNKNOWN: {
      struct stat info {};
      if (fstatat(folderFd, name, &info, 0) != 0) return EntryType::Other;
      if (S_ISDIR(info.st_mode)) return EntryType::Folder;
      return S_ISREG(info.st_mode) ? EntryType::File : EntryType::Other;
    }
    default:
      return EntryType::Other;
  }
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::time_t> fileCreationTime(const std::string& path) {
#ifdef STATX_BTIME
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) == 0) {
    if ((info.stx_mask & STATX_BTIME) != 0) return static_cast<std::time_t>(info.stx_btime.tv_sec);
    return static_cast<std::time_t>(info.stx_mtime.tv_sec);
  }
  return std::nullopt;
#else
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return info.st_mtime;
#endif
}

FileRead readFileUpTo(const std::string& path, size_t maxBytes) {
  FileRead result;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.error = errno;
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    result.status = missing ? FileRead::Status::Missing : FileRead::Status::Failed;
    return result;
  }
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
    close(fd);
    result.status = FileRead::Status::TooLarge;
    return result;
  }
  // The size can change while reading, and some files report none: the
  // limit is checked against what was read as well.
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      result.error = errno;
      close(fd);
      result.data.clear();
      return result;
    }
    if (got == 0) break;
    if (static_cast<size_t>(got) > maxBytes - result.data.size()) {
      close(fd);
      result.data.clear();
      result.status = FileRead::Status::TooLarge;
      return result;
    }
    result.data.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  result.status = FileRead::Status::Read;
  return result;
}

std::optional<std::string> readFile(const std::string& path) {
  FileRead read = readFileUpTo(path, SIZE_MAX);
  if (read.status != FileRead::Status::Read) return std::nullopt;
  return std::move(read.data);
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = write(fd, data.data(), data.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr size_t kTemporaryNameKept = 100;

std::string errnoText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

PendingFile::PendingFile(const std::string& target) : target_(target) {
  std::string folder(parentPath(target));
  if (folder.empty()) folder = ".";
  if (!openUnnamed(folder)) openNamed(folder);
  created_ = fd_ >= 0;
}

// An unnamed file in folder; false when the file system has no such files
// (the caller then uses a temporary name).
bool PendingFile::openUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
  // The file is named later through /proc/self/fd, which must be there.
  static const bool canName = access("/proc/self/fd", X_OK) == 0;
  if (!canName) return false;
  fd_ = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  unnamed_ = fd_ >= 0;
  // On any failure the named attempt runs: it works where the file system
  // has no unnamed files, and otherwise reports the same reason.
  return unnamed_;
#else
  (void)folder;
  return false;
#endif
}

void PendingFile::openNamed(const std::string& folder) {
  // The target's name, shortened on a character boundary so that the
  // temporary name stays within one path component whatever its length.
  const std::string kept(cutAtCharacter(baseName(target_), kTemporaryNameKept));
  fd_ = createUniqueFile(folder, "." + kept + ".part-" + std::to_string(getpid()) + "-", "", &temporary_);
  if (fd_ < 0) error_ = errnoText("cannot create", target_);
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) close(fd_);
  if (created_ && !committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

bool PendingFile::write(std::string_view data) {
  if (fd_ < 0) return false;
  if (writeAll(fd_, data)) return true;
  error_ = errnoText("cannot write", target_);
  return false;
}

// Gives the unnamed file a hidden temporary name beside the target, from
// which commit renames it; the name exists only once the file is complete.
std::string PendingFile::linkUnnamed() {
  static std::atomic<unsigned> counter{0};
  const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
  const std::string folder(parentPath(target_).empty() ? std::string_view(".") : parentPath(target_));
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    temporary_ = joinPath(folder, ".pending-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)));
    if (linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, temporary_.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
    if (errno != EEXIST) break;
  }
  const std::string failure = errnoText("cannot write", target_);
  temporary_.clear();
  return failure;
}

std::string PendingFile::commit(Sync sync) {
  if (fd_ < 0) return error_.empty() ? "cannot write " + target_ : error_;
  std::string failure;
  if (sync == Sync::ToDisk && fsync(fd_) != 0) failure = errnoText("cannot write", target_);
  if (failure.empty() && unnamed_) failure = linkUnnamed();
  if (close(fd_) != 0 && failure.empty()) failure = errnoText("cannot write", target_);
  fd_ = -1;
  if (!failure.empty()) return failure;
  if (rename(temporary_.c_str(), target_.c_str()) != 0) return errnoText("cannot replace", target_);
  committed_ = true;
  return {};
}

int createUniqueFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                     std::string* path) {
  static std::atomic<unsigned> counter{0};
  int fd = -1;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && fd < 0; ++attempt) {
    *path = joinPath(folder, prefix + std::to_string(counter.fetch_add(1)) + suffix);
    fd = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  return fd;
}

FileLock::FileLock(int fd, Kind kind, Wait wait) : fd_(fd) {
  if (fd_ < 0) return;
  const int operation = (kind == Kind::Shared ? LOCK_SH : LOCK_EX) | (wait == Wait::No ? LOCK_NB : 0);
  int status = 0;
  do {
    status = flock(fd_, operation);
  } while (status != 0 && errno == EINTR);
  if (status == 0) return;
  busy_ = errno == EWOULDBLOCK;
  closeFd(fd_);
}

FileLock::~FileLock() { closeFd(fd_); }

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_), busy_(other.busy_) { other.fd_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    closeFd(fd_);
    fd_ = other.fd_;
    busy_ = other.busy_;
    other.fd_ = -1;
  }
  return *this;
}

std::string writeFileAtomic(const std::string& path, std::string_view data) {
  PendingFile file(path);
  if (!file.error().empty()) return file.error();
  if (!file.write(data)) return file.error();
  return file.commit();
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void signalEvent(int fd, const char* where) {
  if (fd < 0) return;
  const std::uint64_t one = 1;
  if (::write(fd, &one, sizeof one) < 0 && errno != EAGAIN) {
    trace(where, std::string("eventfd write: ") + std::strerror(errno));
  }
}

int renameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  // A file system without the flag; EINVAL may also mean a folder moving
  // into itself, which plain rename reports again.
  if (pathExists(to)) {
    errno = EEXIST;
    return -1;
  }
  return rename(from.c_str(), to.c_str());
}

int exchangePaths(const std::string& a, const std::string& b) {
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  const std::string aside = b + ".exchange-" + std::to_string(getpid());
  if (renameNoReplace(b, aside) != 0) return -1;
  if (rename(a.c_str(), b.c_str()) != 0) {
    const int error = errno;
    if (rename(aside.c_str(), b.c_str()) != 0) trace("exchange", "cannot put back " + b + ": " + std::strerror(errno));
    errno = error;
    return -1;
  }
  return rename(aside.c_str(), a.c_str());
}

int makeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0) return 0;
  const int error = errno;
  if (error == EEXIST && isDirectory(path)) return 0;
  return error;
}

bool makeFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return !error && isDirectory(path);
}

bool removeTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (error) trace("removeTree", path + ": " + error.message());
  return !error;
}

}  // namespace velkin::platform
