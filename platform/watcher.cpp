#include "platform/watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/file_util.h"
#include "platform/trace.h"

namespace velkin::platform {

namespace {

// Entries of the folder only: inotify never reports what happens inside a
// sub-folder to the watch of its parent, which is what we want.
constexpr std::uint32_t kWatchMask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE |
                                     IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                     IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kLastWriteMask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB;
constexpr std::uint32_t kNameMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kFolderGoneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

// Bits of the per-batch set of kinds; reported in ascending kind order.
constexpr unsigned kBitLastWrite = 1U << 0;
constexpr unsigned kBitFileName = 1U << 1;
constexpr unsigned kBitFolderName = 1U << 2;

std::string errnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

void drainEvent(int fd) {
  std::uint64_t count = 0;
  while (::read(fd, &count, sizeof count) > 0) {
  }
}

// The watch of one folder: set up by start(), then owned by the watcher thread.
class Watch {
 public:
  explicit Watch(int inotifyFd) : fd_(inotifyFd) {}

  void watch(const std::string& folder) {
    drop();
    folder_ = folder;
    wd_ = ::inotify_add_watch(fd_, folder.c_str(), kWatchMask);
    if (wd_ < 0) trace("watcher", errnoText(("cannot watch " + folder).c_str()));
  }

  // Forget the watch; events still queued for it are ignored from now on.
  void drop() {
    // A watch the kernel already removed fails with EINVAL; that is fine.
    if (wd_ >= 0) ::inotify_rm_watch(fd_, wd_);
    wd_ = -1;
  }

  // Reads what is queued and returns the set of kinds it contains. A folder
  // that never stops changing is reported in slices, so stop() is still seen.
  unsigned readBatch() {
    unsigned kinds = 0;
    alignas(struct inotify_event) char buffer[16 * 1024];
    for (int reads = 0; reads < 64; ++reads) {
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN) trace("watcher", errnoText("inotify read"));
        return kinds;
      }
      if (got == 0) return kinds;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
        kinds |= classify(*event);
        at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
      }
    }
    return kinds;
  }

  const std::string& folder() const { return folder_; }
  bool active() const { return wd_ >= 0; }

 private:
  unsigned classify(const struct inotify_event& event) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
      // Events were lost: anything may have changed.
      trace("watcher", "event queue overflow");
      return wd_ >= 0 ? (kBitLastWrite | kBitFileName | kBitFolderName) : 0;
    }
    // Events of a watch we replaced or lost (including its IN_IGNORED).
    if (event.wd != wd_ || wd_ < 0) return 0;
    if ((event.mask & kFolderGoneMask) != 0) {
      // The folder itself went away: stay alive without a watch until the
      // owner names another folder or stops us.
      drop();
      return kBitFolderName;
    }
    // Changes of the folder itself (no name) are not changes of its entries.
    if (event.len == 0) return 0;
    unsigned kinds = 0;
    if ((event.mask & kLastWriteMask) != 0) kinds |= kBitLastWrite;
    if ((event.mask & kNameMask) != 0) {
      kinds |= (event.mask & IN_ISDIR) != 0 ? kBitFolderName : kBitFileName;
    }
    return kinds;
  }

  int fd_;
  int wd_ = -1;
  std::string folder_;
};

}  // namespace

struct FolderWatcher::Impl {
  explicit Impl(Timing gathering) : timing(gathering) {}

  const Timing timing;
  // Serialises start() and stop() against each other; held while joining.
  // Never taken on the watcher thread, so the callback cannot deadlock on it.
  std::mutex lifecycle;
  // Guards the descriptors and the requested folder; never held while the
  // callback runs or while joining.
  std::mutex state;
  std::thread thread;
  Callback callback;
  int inotifyFd = -1;
  int stopFd = -1;
  int listFd = -1;
  std::string requestedFolder;
  // Set up by start() so that changes right after start() returns are seen;
  // used only by the watcher thread afterwards.
  std::unique_ptr<Watch> watch;
  std::atomic<bool> running{false};
  std::atomic<bool> stopRequested{false};

  // The watcher whose thread is the calling thread, if any; lets stop() see
  // that it was called from inside the callback.
  static thread_local const Impl* currentThreadOwner;

  // Set by takeFolderRequest() when the watch must move; watcher thread only.
  std::optional<std::string> pendingFolder;

  void run();
  void takeFolderRequest(int listEvent);
  unsigned gatherUntilQuiet(struct pollfd (&fds)[3], unsigned kinds);
  void report(unsigned kinds);
  void joinAndRelease();
};

thread_local const FolderWatcher::Impl* FolderWatcher::Impl::currentThreadOwner = nullptr;

void FolderWatcher::Impl::run() {
  currentThreadOwner = this;
  int inotify = -1;
  int stopEvent = -1;
  int listEvent = -1;
  {
    const std::lock_guard<std::mutex> guard(state);
    inotify = inotifyFd;
    stopEvent = stopFd;
    listEvent = listFd;
  }

  struct pollfd fds[3] = {
      {stopEvent, POLLIN, 0},
      {listEvent, POLLIN, 0},
      {inotify, POLLIN, 0},
  };
  while (!stopRequested.load()) {
    for (auto& entry : fds) entry.revents = 0;
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      trace("watcher", errnoText("poll"));
      break;
    }
    if (fds[0].revents != 0 || stopRequested.load()) break;

    if (fds[1].revents != 0) takeFolderRequest(listEvent);
    // Report what happened to the current folder before switching folders;
    // a switch waits for no quiet interval.
    if (fds[2].revents != 0) {
      unsigned kinds = watch->readBatch();
      if (kinds != 0 && !pendingFolder) kinds = gatherUntilQuiet(fds, kinds);
      report(kinds);
    }
    if (pendingFolder && !stopRequested.load()) {
      watch->watch(*pendingFolder);
      pendingFolder.reset();
    }
  }
  watch->drop();
  currentThreadOwner = nullptr;
}

// Keeps reading changes into kinds until the folder has been quiet for the
// quiet interval or the longest wait is over. The stop event and a request
// to watch another folder end the wait at once.
unsigned FolderWatcher::Impl::gatherUntilQuiet(struct pollfd (&fds)[3], unsigned kinds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timing.longest;
  auto quietAt = Clock::now() + timing.quiet;
  while (!stopRequested.load()) {
    const auto now = Clock::now();
    const auto wakeAt = std::min(quietAt, deadline);
    if (wakeAt <= now) break;
    // Rounded up, so the wait never ends a little before its time.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now);
    for (auto& entry : fds) entry.revents = 0;
    const int ready = ::poll(fds, 3, static_cast<int>(wait.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      trace("watcher", errnoText("poll"));
      break;
    }
    if (ready == 0 || fds[0].revents != 0) break;
    if (fds[1].revents != 0) {
      takeFolderRequest(fds[1].fd);
      if (pendingFolder) break;
    }
    if (fds[2].revents == 0) continue;
    const unsigned more = watch->readBatch();
    if (more != 0) {
      kinds |= more;
      quietAt = Clock::now() + timing.quiet;
    }
  }
  return kinds;
}

// The list-changed event. The owner names its folder again whenever it
// lists it anew; that moves nothing unless the folder is another one or its
// watch was lost (the folder went away and may be back), so it neither cuts
// a gathering short nor loses queued changes.
void FolderWatcher::Impl::takeFolderRequest(int listEvent) {
  drainEvent(listEvent);
  std::string folder;
  {
    const std::lock_guard<std::mutex> guard(state);
    folder = requestedFolder;
  }
  if (folder != watch->folder() || !watch->active()) pendingFolder = std::move(folder);
}

// Calls back once for each kind in kinds, in ascending kind order.
void FolderWatcher::Impl::report(unsigned kinds) {
  const std::string reported = watch->folder();
  const std::pair<unsigned, FolderChange> order[] = {
      {kBitLastWrite, FolderChange::LastWrite},
      {kBitFileName, FolderChange::FileName},
      {kBitFolderName, FolderChange::FolderName},
  };
  for (const auto& [bit, kind] : order) {
    if ((kinds & bit) == 0 || stopRequested.load()) continue;
    try {
      callback(reported, kind);
    } catch (const std::exception& error) {
      trace("watcher", std::string("callback failed: ") + error.what());
    } catch (...) {
      trace("watcher", "callback failed");
    }
  }
}

void FolderWatcher::Impl::joinAndRelease() {
  if (thread.joinable()) thread.join();
  const std::lock_guard<std::mutex> guard(state);
  closeFd(inotifyFd);
  closeFd(stopFd);
  closeFd(listFd);
  watch.reset();
  callback = nullptr;
}

FolderWatcher::FolderWatcher() : FolderWatcher(Timing{}) {}

FolderWatcher::FolderWatcher(Timing timing) : impl_(std::make_unique<Impl>(timing)) {}

FolderWatcher::~FolderWatcher() { stop(); }

bool FolderWatcher::start(const std::string& folder, Callback callback) {
  if (Impl::currentThreadOwner == impl_.get()) return false;
  const std::lock_guard<std::mutex> lifecycle(impl_->lifecycle);
  if (impl_->running.load()) return false;
  // A thread stopped from inside its own callback still needs joining.
  impl_->joinAndRelease();

  const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  const int stopEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  const int listEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  {
    const std::lock_guard<std::mutex> guard(impl_->state);
    impl_->inotifyFd = inotify;
    impl_->stopFd = stopEvent;
    impl_->listFd = listEvent;
    impl_->requestedFolder = folder;
    impl_->callback = std::move(callback);
  }
  if (inotify < 0 || stopEvent < 0 || listEvent < 0) {
    trace("watcher", errnoText("cannot create the watch descriptors"));
    impl_->joinAndRelease();
    return false;
  }
  impl_->watch = std::make_unique<Watch>(inotify);
  impl_->watch->watch(folder);
  impl_->stopRequested.store(false);
  try {
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
  } catch (const std::system_error& error) {
    trace("watcher", std::string("cannot start the thread: ") + error.what());
    impl_->joinAndRelease();
    return false;
  }
  impl_->running.store(true);
  return true;
}

bool FolderWatcher::isRunning() const { return impl_->running.load(); }

void FolderWatcher::changeFolder(const std::string& folder) {
  const std::lock_guard<std::mutex> guard(impl_->state);
  impl_->requestedFolder = folder;
  signalEvent(impl_->listFd, "watcher");
}

void FolderWatcher::stop() {
  if (!impl_) return;
  if (Impl::currentThreadOwner == impl_.get()) {
    // Called from the callback: the thread cannot join itself. Ask it to end;
    // it does so when the callback returns, and the next stop(), start() or
    // the destructor joins it.
    impl_->stopRequested.store(true);
    impl_->running.store(false);
    const std::lock_guard<std::mutex> guard(impl_->state);
    signalEvent(impl_->stopFd, "watcher");
    return;
  }
  const std::lock_guard<std::mutex> lifecycle(impl_->lifecycle);
  impl_->stopRequested.store(true);
  {
    const std::lock_guard<std::mutex> guard(impl_->state);
    signalEvent(impl_->stopFd, "watcher");
  }
  impl_->joinAndRelease();
  impl_->running.store(false);
}

FolderWatcher::Callback postOnceUntilRun(WatchPost post, WatchTask task) {
  auto posted = std::make_shared<std::atomic<bool>>(false);
  return [post = std::move(post), task = std::move(task), posted](const std::string&, FolderChange) {
    if (posted->exchange(true)) return;
    post([task, posted] {
      posted->store(false);
      task();
    });
  };
}

}  // namespace velkin::platform
