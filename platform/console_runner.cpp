#include "platform/console_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/text.h"
#include "platform/file_util.h"
#include "platform/trace.h"

extern char** environ;

namespace velkin::platform {

namespace {

constexpr char kWhere[] = "console runner";
constexpr std::size_t kChunkSize = 256;
// close(): how long a child may take to end by itself once its input is
// closed, then after SIGTERM, and at most after SIGKILL before a background
// thread takes over reaping it.
constexpr int kSelfExitGraceMs = 100;
constexpr int kTerminateGraceMs = 500;
constexpr int kKillWaitMs = 5000;
// Without a pidfd (kernels before 5.3) the child is checked at this interval.
constexpr int kFallbackPollMs = 20;

std::string errnoText(std::string_view what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

// Moves a descriptor to a number above 2 (close-on-exec), so that putting
// the child's ends onto 0, 1 and 2 can never overwrite one of them.
bool moveAboveStdio(int& fd) {
  if (fd > 2) return true;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (moved < 0) return false;
  ::close(fd);
  fd = moved;
  return true;
}

// One redirected standard handle: the child's end and the parent's end.
struct Pipe {
  int parent = -1;
  int child = -1;

  // Both ends close-on-exec, so a child inherits only what is put onto its
  // standard handles. The parent's end is non-blocking: the threads wait
  // with poll() and must never sit in a read or write that close() cannot
  // interrupt. Returns 0 or the errno of the failure.
  int create(bool childReads) {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
    child = childReads ? fds[0] : fds[1];
    parent = childReads ? fds[1] : fds[0];
    if (!moveAboveStdio(child) || ::fcntl(parent, F_SETFL, O_NONBLOCK) != 0) {
      const int error = errno;
      closeBoth();
      return error;
    }
    return 0;
  }

  void closeBoth() {
    closeFd(parent);
    closeFd(child);
  }
};

struct ChildPipes {
  Pipe input;
  Pipe output;
  Pipe error;

  int create() {
    int failure = input.create(true);
    if (failure == 0) failure = output.create(false);
    if (failure == 0) failure = error.create(false);
    if (failure != 0) closeAll();
    return failure;
  }

  void closeChildEnds() {
    closeFd(input.child);
    closeFd(output.child);
    closeFd(error.child);
  }

  void closeAll() {
    input.closeBoth();
    output.closeBoth();
    error.closeBoth();
  }
};

// Starts words[0] (looked up on PATH) with the child ends of the pipes as
// its standard handles, in a process group of its own, with no signals
// blocked and SIGPIPE at its default. Returns 0 or the errno of the failure.
int spawnChild(const std::vector<std::string>& words, const ChildPipes& pipes, pid_t& pid) {
  if (words.empty()) return ENOENT;
  std::vector<char*> argv;
  for (const auto& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (int failure = posix_spawn_file_actions_init(&actions); failure != 0) return failure;
  if (int failure = posix_spawnattr_init(&attributes); failure != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return failure;
  }
  sigset_t noSignals;
  sigset_t defaultSignals;
  sigemptyset(&noSignals);
  sigemptyset(&defaultSignals);
  sigaddset(&defaultSignals, SIGPIPE);
  const short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;

  int failure = posix_spawn_file_actions_adddup2(&actions, pipes.input.child, STDIN_FILENO);
  if (failure == 0) failure = posix_spawn_file_actions_adddup2(&actions, pipes.output.child, STDOUT_FILENO);
  if (failure == 0) failure = posix_spawn_file_actions_adddup2(&actions, pipes.error.child, STDERR_FILENO);
  if (failure == 0) failure = posix_spawnattr_setflags(&attributes, flags);
  if (failure == 0) failure = posix_spawnattr_setpgroup(&attributes, 0);
  if (failure == 0) failure = posix_spawnattr_setsigmask(&attributes, &noSignals);
  if (failure == 0) failure = posix_spawnattr_setsigdefault(&attributes, &defaultSignals);
  if (failure == 0) failure = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);

  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failure;
}

// A descriptor that becomes readable when the process ends, or -1 where the
// kernel has none (the callers then check the process at short intervals).
int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  const long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) return static_cast<int>(fd);
  trace(kWhere, errnoText("pidfd_open", errno));
#else
  (void)pid;
#endif
  return -1;
}

// Reaps the child if it has ended. True once it is gone: reaped now, or
// already reaped elsewhere (as with SIGCHLD ignored).
bool reapIfEnded(pid_t pid) {
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) return true;
    if (got == 0) return false;
    if (errno == EINTR) continue;
    if (errno != ECHILD) trace(kWhere, errnoText("waitpid", errno));
    return true;
  }
}

enum class ChildWait { kEnded, kStopped, kTimedOut };

// Waits until the child has ended (and reaps it), the stop event is signalled
// (stopFd may be -1) or timeoutMs passes (-1: no limit).
ChildWait waitForChild(pid_t pid, int pidFd, int stopFd, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (reapIfEnded(pid)) return ChildWait::kEnded;
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return ChildWait::kTimedOut;
      wait = static_cast<int>(left.count());
    }
    if (pidFd < 0) wait = wait < 0 ? kFallbackPollMs : std::min(wait, kFallbackPollMs);

    struct pollfd fds[2] = {{stopFd, POLLIN, 0}, {pidFd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, wait);  // negative descriptors are skipped
    if (ready < 0 && errno != EINTR) {
      trace(kWhere, errnoText("poll", errno));
      std::this_thread::sleep_for(std::chrono::milliseconds(kFallbackPollMs));
    }
    if (ready > 0 && fds[0].revents != 0) return ChildWait::kStopped;
  }
}

// Sends a signal to the child's process group, or to the child alone should
// it have left its group.
void signalChild(pid_t pid, int signal) {
  if (::kill(-pid, signal) == 0) return;
  if (::kill(pid, signal) != 0 && errno != ESRCH) trace(kWhere, errnoText("kill", errno));
}

// Holds SIGPIPE off the calling thread while it writes to a pipe, without
// touching the process-wide signal dispositions; a SIGPIPE raised by a
// failed write is taken back before the old signal mask returns.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipeSet_);
    sigaddset(&pipeSet_, SIGPIPE);
    sigemptyset(&previous_);
    sigset_t pending;
    sigemptyset(&pending);
    // One already pending stays pending: a second one merges with it.
    const bool wasPending = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    blocked_ = !wasPending && ::pthread_sigmask(SIG_BLOCK, &pipeSet_, &previous_) == 0;
  }
  ~SigpipeGuard() {
    if (blocked_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  // After EPIPE: takes the SIGPIPE that write raised.
  void consumeRaised() const {
    if (!blocked_) return;
    const struct timespec now = {0, 0};
    while (::sigtimedwait(&pipeSet_, nullptr, &now) < 0 && errno == EINTR) {
    }
  }

 private:
  sigset_t pipeSet_;
  sigset_t previous_;
  bool blocked_ = false;
};

// Waits until fd can take more data (true) or wakeFd is signalled (false).
bool waitWritable(int fd, int wakeFd) {
  for (;;) {
    struct pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      trace(kWhere, errnoText("poll", errno));
      return false;
    }
    if (fds[1].revents != 0) return false;
    return true;  // writable, or an error the next write reports
  }
}

// Writes all of text to the child's input. Returns 0, ECANCELED when woken
// (the child ended or the runner is closing) or the errno of a failed write.
int writeToChild(int fd, int wakeFd, std::string_view text) {
  const SigpipeGuard guard;
  while (!text.empty()) {
    const ssize_t put = ::write(fd, text.data(), text.size());
    if (put > 0) {
      text.remove_prefix(static_cast<std::size_t>(put));
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno == EAGAIN) {
      if (!waitWritable(fd, wakeFd)) return ECANCELED;
      continue;
    }
    const int failure = put < 0 ? errno : EIO;
    if (failure == EPIPE) guard.consumeRaised();
    return failure;
  }
  return 0;
}

// Runs a thread's body; an exception thrown by a callback is traced instead
// of ending the program.
template <typename Body>
void runGuarded(const char* thread, Body body) {
  try {
    body();
  } catch (const std::exception& error) {
    trace(kWhere, std::string(thread) + ": callback failed: " + error.what());
  } catch (...) {
    trace(kWhere, std::string(thread) + ": callback failed");
  }
}

// Splits a command line into words by the POSIX shell's quoting rules,
// without expansions.
class WordSplitter {
 public:
  explicit WordSplitter(std::string_view line) : line_(line) {}

  std::vector<std::string> split() {
    while (!atEnd()) {
      const char c = line_[at_++];
      if (c == ' ' || c == '\t' || c == '\n') {
        endWord();
      } else if (c == '\'') {
        singleQuoted();
      } else if (c == '"') {
        doubleQuoted();
      } else if (c == '\\') {
        escaped();
      } else {
        append(c);
      }
    }
    endWord();
    return std::move(words_);
  }

 private:
  bool atEnd() const { return at_ >= line_.size(); }

  void append(char c) {
    word_ += c;
    inWord_ = true;
  }

  void endWord() {
    if (inWord_) words_.push_back(std::move(word_));
    word_.clear();
    inWord_ = false;
  }

  // '...': everything up to the closing quote, as it is.
  void singleQuoted() {
    inWord_ = true;
    while (!atEnd() && line_[at_] != '\'') word_ += line_[at_++];
    if (!atEnd()) ++at_;
  }

  // "...": a backslash escapes only \ " $ ` and a line break (which it
  // removes); before anything else it stays.
  void doubleQuoted() {
    inWord_ = true;
    while (!atEnd() && line_[at_] != '"') {
      char c = line_[at_++];
      if (c == '\\' && !atEnd() && std::strchr("\\\"$`\n", line_[at_]) != nullptr) {
        c = line_[at_++];
        if (c == '\n') continue;
      }
      word_ += c;
    }
    if (!atEnd()) ++at_;
  }

  // Outside quotes a backslash takes the next character as it is; before a
  // line break it joins the lines. A backslash at the very end stays.
  void escaped() {
    if (atEnd()) {
      append('\\');
      return;
    }
    const char c = line_[at_++];
    if (c != '\n') append(c);
  }

  std::string_view line_;
  std::size_t at_ = 0;
  std::string word_;
  bool inWord_ = false;
  std::vector<std::string> words_;
};

}  // namespace

struct ConsoleRunner::Impl {
  explicit Impl(ConsoleRunner& owner) : self(owner) {}

  ConsoleRunner& self;
  // Serialises open() and close(); held while joining. Never taken on the
  // runner's threads, so a callback cannot deadlock on it.
  std::mutex lifecycle;
  // Guards stdinFd (and its use) for write(); never held while joining.
  std::mutex input;
  int stdinFd = -1;
  int stdoutFd = -1;
  int stderrFd = -1;
  // Signalled (and left signalled) to wake the threads: by close() to stop
  // at once, by the waiter when the child has ended to drain and stop.
  int wakeFd = -1;
  int pidFd = -1;
  std::atomic<pid_t> pid{-1};
  // Cleared by close(): the threads stop without draining, and ended is not
  // reported.
  std::atomic<bool> running{false};
  std::atomic<bool> childExited{false};
  std::thread outputReader;
  std::thread errorReader;
  std::thread waiter;

  // The runner whose thread is the calling thread, if any.
  static thread_local const Impl* currentThreadOwner;

  bool onRunnerThread() const { return currentThreadOwner == this; }
  int start(const std::vector<std::string>& words);
  bool startThreads();
  void requestStop();
  void stop();

 private:
  void readStream(int fd, bool isError);
  void drain(int fd, bool isError);
  void deliver(bool isError, const char* data, std::size_t size);
  void watchChild();
  void endChild();
};

thread_local const ConsoleRunner::Impl* ConsoleRunner::Impl::currentThreadOwner = nullptr;

// Creates the pipes and the child; on success the parent keeps only its own
// ends. Returns 0 or the errno of the failure, with nothing left open.
int ConsoleRunner::Impl::start(const std::vector<std::string>& words) {
  ChildPipes pipes;
  if (int failure = pipes.create(); failure != 0) return failure;
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    const int failure = errno;
    pipes.closeAll();
    return failure;
  }
  pid_t child = -1;
  if (int failure = spawnChild(words, pipes, child); failure != 0) {
    pipes.closeAll();
    ::close(wake);
    return failure;
  }
  // Without our copies of the child's ends, the readers see the end of the
  // streams once the child (and whatever it started) has closed them.
  pipes.closeChildEnds();

  const std::lock_guard<std::mutex> guard(input);
  stdinFd = pipes.input.parent;
  stdoutFd = pipes.output.parent;
  stderrFd = pipes.error.parent;
  wakeFd = wake;
  pidFd = openPidFd(child);
  childExited = false;
  running = true;
  pid = child;
  return 0;
}

bool ConsoleRunner::Impl::startThreads() {
  try {
    outputReader = std::thread([this] { readStream(stdoutFd, false); });
    errorReader = std::thread([this] { readStream(stderrFd, true); });
    waiter = std::thread([this] { watchChild(); });
  } catch (const std::system_error& error) {
    trace(kWhere, std::string("cannot start a thread: ") + error.what());
    return false;
  }
  return true;
}

void ConsoleRunner::Impl::deliver(bool isError, const char* data, std::size_t size) {
  const std::string_view chunk(data, size);
  if (isError) {
    self.errorText(chunk);
  } else {
    self.outputText(chunk);
  }
}

// Hands each piece that arrives to the callback until the stream ends or the
// runner is woken.
void ConsoleRunner::Impl::readStream(int fd, bool isError) {
  currentThreadOwner = this;
  runGuarded(isError ? "error reader" : "output reader", [&] {
    char buffer[kChunkSize];
    for (;;) {
      struct pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        trace(kWhere, errnoText("poll", errno));
        return;
      }
      if (fds[1].revents != 0) {
        if (running) drain(fd, isError);
        return;
      }
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got > 0) {
        deliver(isError, buffer, static_cast<std::size_t>(got));
      } else if (got == 0) {
        return;  // every writer has closed the stream
      } else if (errno != EINTR && errno != EAGAIN) {
        trace(kWhere, errnoText("read", errno));
        return;
      }
    }
  });
  currentThreadOwner = nullptr;
}

// The child has ended, so everything it wrote is in the pipe: deliver what
// the pipe holds now. Only that much, so that a background process the child
// left behind, still writing, cannot hold the runner up.
void ConsoleRunner::Impl::drain(int fd, bool isError) {
  int held = 0;
  if (::ioctl(fd, FIONREAD, &held) != 0) {
    trace(kWhere, errnoText("FIONREAD", errno));
    return;
  }
  char buffer[kChunkSize];
  auto left = static_cast<std::size_t>(std::max(held, 0));
  while (left > 0 && running) {
    const ssize_t got = ::read(fd, buffer, std::min(left, sizeof buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    deliver(isError, buffer, static_cast<std::size_t>(got));
    left -= static_cast<std::size_t>(got);
  }
}

// Waits for the child to end or for close(). When the child has ended, the
// readers drain the pipes and finish before ended is reported, so no output
// ever follows ended.
void ConsoleRunner::Impl::watchChild() {
  currentThreadOwner = this;
  runGuarded("waiter", [&] {
    const bool ended = waitForChild(pid, pidFd, wakeFd, -1) == ChildWait::kEnded;
    if (ended) childExited = true;
    signalEvent(wakeFd, kWhere);
    outputReader.join();
    errorReader.join();
    if (ended && running) self.ended();
  });
  currentThreadOwner = nullptr;
}

// Called on a runner thread: the thread cannot wait for itself, so only ask
// all of them to stop.
void ConsoleRunner::Impl::requestStop() {
  running = false;
  signalEvent(wakeFd, kWhere);
}

// Stops the threads, then closes the pipes (a descriptor is never closed
// under a thread still using it) and ends the child if it still runs.
void ConsoleRunner::Impl::stop() {
  if (pid < 0) return;
  requestStop();
  for (std::thread* thread : {&waiter, &outputReader, &errorReader}) {
    if (thread->joinable()) thread->join();
  }
  {
    const std::lock_guard<std::mutex> guard(input);
    closeFd(stdinFd);
  }
  closeFd(stdoutFd);
  closeFd(stderrFd);
  if (!childExited) endChild();
  closeFd(pidFd);
  closeFd(wakeFd);
  pid = -1;
}

// Gives the child a moment to end by itself (its input is closed), then
// terminates its process group, and kills it if it still runs. The child is
// always reaped: by us, or, should it not die even then, by a background
// thread, so close() never hangs and no zombie is left.
void ConsoleRunner::Impl::endChild() {
  const pid_t child = pid;
  if (waitForChild(child, pidFd, -1, kSelfExitGraceMs) == ChildWait::kEnded) return;
  signalChild(child, SIGTERM);
  if (waitForChild(child, pidFd, -1, kTerminateGraceMs) == ChildWait::kEnded) return;
  signalChild(child, SIGKILL);
  if (waitForChild(child, pidFd, -1, kKillWaitMs) == ChildWait::kEnded) return;
  trace(kWhere, "the child does not end after SIGKILL; reaping it in the background");
  try {
    std::thread([child] {
      int status = 0;
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error& error) {
    trace(kWhere, std::string("cannot start the reaping thread: ") + error.what());
  }
}

ConsoleRunner::ConsoleRunner() : impl_(std::make_unique<Impl>(*this)) {}

ConsoleRunner::~ConsoleRunner() { close(); }

bool ConsoleRunner::open(const std::string& commandLine, bool /*showWindow*/) {
  Impl& d = *impl_;
  if (d.onRunnerThread()) {
    trace(kWhere, "open() called from a callback; refused");
    return false;
  }
  const std::lock_guard<std::mutex> guard(d.lifecycle);
  d.stop();
  if (int failure = d.start(splitCommandLine(commandLine)); failure != 0) {
    trace(kWhere, errnoText("cannot start " + commandLine, failure));
    errorText(formatMessage("Unable to start %s\n", commandLine));
    return false;
  }
  started(commandLine);
  if (!d.startThreads()) {
    d.stop();
    errorText(formatMessage("Unable to start %s\n", commandLine));
    return false;
  }
  return true;
}

void ConsoleRunner::write(std::string_view text) {
  Impl& d = *impl_;
  if (text.empty() || !isRunning()) return;
  const std::lock_guard<std::mutex> guard(d.input);
  if (d.stdinFd < 0) return;
  const int failure = writeToChild(d.stdinFd, d.wakeFd, text);
  if (failure != 0) trace(kWhere, errnoText("writing to the child's input", failure));
}

bool ConsoleRunner::isRunning() const { return impl_->pid > 0 && !impl_->childExited; }

void ConsoleRunner::close() {
  Impl& d = *impl_;
  if (d.onRunnerThread()) {
    d.requestStop();
    return;
  }
  const std::lock_guard<std::mutex> guard(d.lifecycle);
  d.stop();
}

std::vector<std::string> ConsoleRunner::splitCommandLine(const std::string& commandLine) {
  return WordSplitter(commandLine).split();
}

std::string shellQuote(std::string_view word) {
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

}  // namespace velkin::platform
