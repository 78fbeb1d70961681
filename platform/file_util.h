// Small file-system helpers shared by the core. Failures are returned, never
// thrown; callers decide what the user sees.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace velkin::platform {

bool pathExists(const std::string& path);

// What a folder entry is, as a listing shows it: links count as what they
// point to. dType is the entry's d_type from readdir (DT_UNKNOWN: look).
enum class EntryType { Folder, File, Other };
EntryType entryTypeAt(int folderFd, const char* name, unsigned char dType);
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);

// The file's creation (birth) time in seconds since the epoch where the file
// system records one, else its last modification time. nullopt if missing.
std::optional<std::time_t> fileCreationTime(const std::string& path);

// Reads a whole file. nullopt when it cannot be opened or read.
std::optional<std::string> readFile(const std::string& path);

// Reads a whole file of at most maxBytes bytes. A larger file is refused
// without being read into memory (TooLarge, no data). Missing: nothing is
// there (no such file, or a file where a folder on the way should be).
struct FileRead {
  enum class Status { Read, Missing, TooLarge, Failed };
  Status status = Status::Failed;
  std::string data;  // the contents, when Read
  int error = 0;     // errno, when Missing or Failed
};
FileRead readFileUpTo(const std::string& path, size_t maxBytes);

// Writes all of data to an open descriptor, resuming after interruptions and
// short writes. False on a write error (errno tells which).
bool writeAll(int fd, std::string_view data);

// A file being written for a target. Where the file system can, it is an
// unnamed file in the target's folder (O_TMPFILE) that gets a name only on
// commit(), so even a killed process leaves nothing; elsewhere it is a
// hidden temporary name beside the target, removed when the object goes.
// Either way a failed or interrupted write leaves no file under the
// target's name and an existing target stays as it was.
class PendingFile {
 public:
  explicit PendingFile(const std::string& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // "" while the temporary file is open and written, else the reason.
  const std::string& error() const { return error_; }
  bool write(std::string_view data);
  // Renames the file over the target, after flushing it to disk unless the
  // caller can afford to lose it in a crash (a resource that can be fetched
  // again). Returns "" or the reason of the failure.
  enum class Sync { ToDisk, Skip };
  std::string commit(Sync sync = Sync::ToDisk);

 private:
  bool openUnnamed(const std::string& folder);
  void openNamed(const std::string& folder);
  std::string linkUnnamed();

  std::string target_;
  std::string temporary_;
  std::string error_;
  int fd_ = -1;
  bool unnamed_ = false;  // O_TMPFILE: no name until commit
  bool created_ = false;
  bool committed_ = false;
};

// Creates a new, empty file in folder named prefix, a number and suffix,
// trying numbers until one is free; its path goes to *path. The open
// descriptor, or -1 with errno set.
int createUniqueFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                     std::string* path);

// An advisory lock (flock) on an open file or folder, held while the object
// lives: shared (many holders) or exclusive (one, and no shared ones). Locks
// belong to open files, so two opens of one file exclude each other even
// within one process, and the system drops a lock when its process ends: a
// lock nobody holds belongs to no running program.
class FileLock {
 public:
  enum class Kind { Shared, Exclusive };
  enum class Wait { Yes, No };
  FileLock() = default;
  // Takes fd (closed when the lock goes, also when it was not got) and
  // locks it, waiting for the holders or not.
  FileLock(int fd, Kind kind, Wait wait);
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return fd_ >= 0; }
  // Not got because someone else holds it (Wait::No only).
  bool busy() const { return busy_; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
};

// Writes data to a temporary file in the same folder, flushes it and renames
// it over path, so path holds either its old or its new contents, never half
// of them. Returns an empty string on success, else the reason.
std::string writeFileAtomic(const std::string& path, std::string_view data);

// Closes fd if open and marks it closed (-1).
void closeFd(int& fd);
// Signals an eventfd (adds one); a failure is traced under where.
void signalEvent(int fd, const char* where);

// rename(2) that never replaces an existing entry (EEXIST in errno then).
// Returns 0 or -1 with errno set.
int renameNoReplace(const std::string& from, const std::string& to);

// Swaps two existing entries in one step where the file system can, else
// by two renames through a free name beside b. Returns 0 or -1 with errno.
int exchangePaths(const std::string& a, const std::string& b);

// Creates one folder (not its parents). Succeeds if the folder exists.
// Returns 0 or the errno of the failure.
int makeFolder(const std::string& path);

// Creates a folder and any missing parents. Returns true on success.
bool makeFolders(const std::string& path);

// Removes a file or a whole folder tree permanently. Returns true on success.
bool removeTree(const std::string& path);

}  // namespace velkin::platform
