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
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);

// The file's creation (birth) time in seconds since the epoch where the file
// system records one, else its last modification time. nullopt if missing.
std::optional<std::time_t> fileCreationTime(const std::string& path);

// Reads a whole file. nullopt when it cannot be opened or read.
std::optional<std::string> readFile(const std::string& path);

// Writes all of data to an open descriptor, resuming after interruptions and
// short writes. False on a write error (errno tells which).
bool writeAll(int fd, std::string_view data);

// Writes data to a temporary file in the same folder, flushes it and renames
// it over path, so path holds either its old or its new contents, never half
// of them. Returns an empty string on success, else the reason.
std::string writeFileAtomic(const std::string& path, std::string_view data);

// Creates one folder (not its parents). Succeeds if the folder exists.
// Returns 0 or the errno of the failure.
int makeFolder(const std::string& path);

// Creates a folder and any missing parents. Returns true on success.
bool makeFolders(const std::string& path);

// Removes a file or a whole folder tree permanently. Returns true on success.
bool removeTree(const std::string& path);

}  // namespace velkin::platform
