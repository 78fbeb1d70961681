#include "kb/build_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::kb {
namespace {

constexpr char kWhere[] = "build files";

using Lock = platform::FileLock;

// A new open of the folder behind fd, so that its lock is this call's own.
Lock lockFolder(int folderFd) {
  return Lock(openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), Lock::Kind::Exclusive, Lock::Wait::Yes);
}

// Opens name in the folder without following a link and without waiting on
// a pipe; -1 when it cannot be opened so.
int openEntry(int folderFd, const std::string& name) {
  return openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// Tries to take the file name in the folder for deleting or replacing it:
// busy() when a running build holds it.
Lock takeOver(int folderFd, const std::string& name) {
  return Lock(openEntry(folderFd, name), Lock::Kind::Exclusive, Lock::Wait::No);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

int openRealBookFolder(const std::string& bookDirectory, const std::string& folder) {
  if (bookDirectory.empty()) return -1;
  std::string_view rest;
  if (folder != bookDirectory) {
    const std::string prefix = bookDirectory == "/" ? bookDirectory : bookDirectory + "/";
    if (folder.compare(0, prefix.size(), prefix) != 0) return -1;
    rest = std::string_view(folder).substr(prefix.size());
  }
  int fd = open(bookDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (fd >= 0 && !rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string name(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (name.empty()) continue;
    const int next = name == "." || name == ".."
                         ? -1
                         : openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  return fd;
}

void deleteUnheldBuildFiles(int folderFd, const std::string& path, const std::vector<std::string>& names) {
  const Lock folderLock = lockFolder(folderFd);
  if (!folderLock.held()) {
    platform::trace(kWhere, "cannot lock " + path + ": " + std::strerror(errno));
    return;
  }
  for (const std::string& name : names) {
    const Lock taken = takeOver(folderFd, name);
    if (taken.busy()) continue;  // a running build's own file
    // Not openable as a file (a link, say): the entry itself goes, never
    // what it points to.
    if (unlinkat(folderFd, name.c_str(), 0) != 0 && errno != ENOENT) {
      platform::trace(kWhere, "cannot delete " + platform::joinPath(path, name) + ": " + std::strerror(errno));
    }
  }
}

void deleteLeftoverBuildFiles(const std::string& bookDirectory, const std::string& folder,
                              const std::vector<std::string>& names) {
  int fd = openRealBookFolder(bookDirectory, folder);
  if (fd < 0) {
    platform::trace(kWhere, "left alone (not a real folder of the book): build files in " + folder);
    return;
  }
  deleteUnheldBuildFiles(fd, folder, names);
  platform::closeFd(fd);
}

std::unique_ptr<HeldBuildFiles> HeldBuildFiles::write(const std::string& folder, const Files& files,
                                                      std::string* error) {
  const Lock folderLock(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), Lock::Kind::Exclusive,
                        Lock::Wait::Yes);
  if (!folderLock.held()) {
    *error = "cannot write into " + folder + ": " + std::strerror(errno);
    return nullptr;
  }
  for (const auto& file : files) {
    if (takeOver(folderLock.fd(), file.first).busy()) {
      *error = "another book is being built in " + folder + "; try again when it is done";
      return nullptr;
    }
  }
  std::unique_ptr<HeldBuildFiles> held(new HeldBuildFiles);
  for (const auto& [name, text] : files) {
    const std::string path = platform::joinPath(folder, name);
    *error = platform::writeFileAtomic(path, text);
    // Shared, as the compiler takes its own lock on what it reads.
    Lock lock(openEntry(folderLock.fd(), name), Lock::Kind::Shared, Lock::Wait::No);
    if (error->empty() && !lock.held()) *error = "cannot hold " + path + ": " + std::strerror(errno);
    if (!error->empty()) {
      if (lock.held()) held->files_.push_back({path, std::move(lock)});
      held->remove();
      return nullptr;
    }
    held->files_.push_back({path, std::move(lock)});
  }
  return held;
}

bool HeldBuildFiles::inPlace(const Held& file) {
  struct stat mine {};
  struct stat named {};
  return fstat(file.lock.fd(), &mine) == 0 && mine.st_nlink > 0 && lstat(file.path.c_str(), &named) == 0 &&
         sameFile(mine, named);
}

bool HeldBuildFiles::intact() const {
  for (const Held& file : files_) {
    if (!inPlace(file)) return false;
  }
  return true;
}

void HeldBuildFiles::remove() {
  for (const Held& file : files_) {
    if (inPlace(file) && unlink(file.path.c_str()) != 0) {
      platform::trace(kWhere, "cannot delete " + file.path + ": " + std::strerror(errno));
    }
  }
  files_.clear();
}

}  // namespace velkin::kb
