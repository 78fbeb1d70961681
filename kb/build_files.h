// Who may delete build files. A book build writes its project files into a
// category and holds a shared advisory lock (flock) on each of them while it
// runs, in whatever process it runs (shared, because the compiler takes a
// shared lock on each file it reads); the system drops the locks with the
// process, so a build file nobody holds is a leftover of a build that has
// ended or died. Listings delete leftovers only, and only in real folders of
// the book directory. Build files are created and deleted only while their
// folder is locked too (briefly), so nobody ever meets a build's file before
// the build holds it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_util.h"

namespace velkin::kb {

// Opens folder for deleting build files in it: only a real folder of the
// book, reached from bookDirectory (which may itself be a link) without
// passing through a link. The descriptor, or -1 for any other folder.
int openRealBookFolder(const std::string& bookDirectory, const std::string& folder);

// Deletes those of names (build file names) in the folder open as folderFd
// that no build holds (an exclusive lock can be got on them). path names
// that folder in traces.
void deleteUnheldBuildFiles(int folderFd, const std::string& path, const std::vector<std::string>& names);

// For a listing that met the build files names in folder: deletes those
// nobody holds, when folder is a real folder of bookDirectory.
void deleteLeftoverBuildFiles(const std::string& bookDirectory, const std::string& folder,
                              const std::vector<std::string>& names);

// One build's files, held from the moment they appear until remove() or the
// object goes (which leaves the files as leftovers).
class HeldBuildFiles {
 public:
  using Files = std::vector<std::pair<std::string, std::string>>;  // name, text

  // Writes each file into folder and holds it. Nothing is written, and error
  // says why, when a running build holds one of these names there already
  // or a file cannot be written.
  static std::unique_ptr<HeldBuildFiles> write(const std::string& folder, const Files& files, std::string* error);
  ~HeldBuildFiles() = default;
  HeldBuildFiles(const HeldBuildFiles&) = delete;
  HeldBuildFiles& operator=(const HeldBuildFiles&) = delete;

  // True while every file is in place as written: nobody has deleted or
  // replaced one.
  bool intact() const;
  // Deletes the files still in place and lets them go.
  void remove();

 private:
  struct Held {
    std::string path;
    platform::FileLock lock;
  };
  HeldBuildFiles() = default;
  static bool inPlace(const Held& file);

  std::vector<Held> files_;
};

}  // namespace velkin::kb
