#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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

std::optional<std::string> readFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    data.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return data;
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

std::string temporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::string folder(parentPath(path));
  const std::string name(baseName(path));
  return joinPath(folder.empty() ? "." : folder,
                  "." + name + ".tmp" + std::to_string(getpid()) + "-" +
                      std::to_string(counter.fetch_add(1)));
}

}  // namespace

std::string writeFileAtomic(const std::string& path, std::string_view data) {
  const std::string temporary = temporaryNameFor(path);
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return std::string("cannot create ") + temporary + ": " + std::strerror(errno);
  const bool written = writeAll(fd, data) && fsync(fd) == 0;
  const int writeError = errno;
  if (close(fd) != 0 || !written) {
    unlink(temporary.c_str());
    return "cannot write " + path + ": " + std::strerror(written ? errno : writeError);
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    const int renameError = errno;
    unlink(temporary.c_str());
    return "cannot replace " + path + ": " + std::strerror(renameError);
  }
  return {};
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
