// Folder watcher: a thread that waits for changes of one folder (not its
// sub-folders) and calls back with the folder and the kind of change:
// 1 last write, 2 file name, 3 folder name.
//
// The callback runs on the watcher thread; a user-interface owner must hand
// the work over to its own thread. Changes are gathered until the folder has
// been quiet for a while (Timing) and then reported once per kind, in
// ascending kind order, so a burst of changes (a program saving hundreds of
// pages) costs its owner one round of callbacks, not one per file. stop()
// (or the destructor) ends the thread and waits for it, also in the middle of
// a burst; the callback is never called after stop() returns.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace velkin::platform {

enum class FolderChange : int { LastWrite = 1, FileName = 2, FolderName = 3 };

class FolderWatcher {
 public:
  using Callback = std::function<void(const std::string& folder, FolderChange kind)>;

  // How changes are gathered: a report follows once no change has arrived
  // for `quiet`, and at the latest `longest` after the first change of the
  // report, so a folder that never stops changing is still reported.
  struct Timing {
    std::chrono::milliseconds quiet{200};
    std::chrono::milliseconds longest{1000};
  };

  FolderWatcher();
  explicit FolderWatcher(Timing timing);
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  // Starts watching folder. False if already running or the thread cannot be
  // started. A folder that cannot be watched (missing) is not an error: the
  // thread runs and starts watching when the list is changed.
  bool start(const std::string& folder, Callback callback);
  bool isRunning() const;
  // The list-changed event: watch another folder from now on.
  void changeFolder(const std::string& folder);
  // The stop event.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A callback for FolderWatcher::start that hands task to the owner's thread
// through post. While one posted task waits to run, further changes post
// nothing more: the waiting task covers them, so a burst of reports costs
// the owner one run. task must itself check that its owner still lives.
using WatchTask = std::function<void()>;
using WatchPost = std::function<void(WatchTask)>;
FolderWatcher::Callback postOnceUntilRun(WatchPost post, WatchTask task);

}  // namespace velkin::platform
