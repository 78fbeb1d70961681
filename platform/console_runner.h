// ConsoleRunner: runs a child process with its standard input, output and
// error redirected through pipes, and reports what happens through four
// callbacks, always in this order: started, then output and error chunks
// (at most 256 bytes each, in the order each stream delivered them), then
// ended, once, after the child has exited and both streams are drained.
//
// Output and error callbacks run on the runner's reader threads, started on
// the caller's thread inside open() and ended on the waiter thread; an owner
// with a user interface hands them over to its own thread (see
// CommandQueue). close() (also run by the destructor) stops the threads and,
// if the child is still running, terminates it.
//
// More of the contract:
// - The child runs in a process group of its own; terminating it ends the
//   whole group (a script and the programs it started), first with SIGTERM,
//   then, after a grace period, with SIGKILL. It is always reaped.
// - ended is not called for a run that close() stopped: the owner asked for
//   the stop and knows of it.
// - Output the child wrote before it exited is always delivered before ended,
//   even when a background process it left behind keeps the pipes open.
// - open() while a previous child is still attached closes that one first.
// - Callbacks must not call open(); close() called from a callback only asks
//   the threads to stop (a thread cannot wait for itself), and the next
//   open(), close() or the destructor completes the stop. Callbacks must not
//   destroy the runner.
// - A derived class whose callbacks use its own members calls close() in its
//   own destructor, so that no callback runs while it is being destroyed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velkin::platform {

class ConsoleRunner {
 public:
  ConsoleRunner();
  virtual ~ConsoleRunner();
  ConsoleRunner(const ConsoleRunner&) = delete;
  ConsoleRunner& operator=(const ConsoleRunner&) = delete;

  // Starts the command line: split into words as a POSIX shell does (blanks,
  // single and double quotes, backslash), without expansions; the first word
  // is looked up on PATH. On failure the error callback receives
  // "Unable to start <command line>\n" and false is returned. showWindow has
  // no effect on this platform (there is no console window to show).
  bool open(const std::string& commandLine, bool showWindow = false);
  // Writes text to the child's standard input; nothing when no child runs.
  // Thread-safe. Waits while the pipe is full, but gives up when the child
  // ends or close() is called; a failed write (the child no longer reads its
  // input) is ignored and never raises SIGPIPE.
  void write(std::string_view text);
  // Thread-safe: a child was started and has not exited yet.
  bool isRunning() const;
  // Stops the threads, closes the pipes and ends the child if it still runs.
  // Safe to call at any time, any number of times.
  void close();

  // The words open() would run for a command line. Shell operators (; | & <
  // > and the like) have no special meaning; an unterminated quote runs to
  // the end of the line.
  static std::vector<std::string> splitCommandLine(const std::string& commandLine);

 protected:
  virtual void started(const std::string& /*commandLine*/) {}
  virtual void outputText(std::string_view /*chunk*/) {}
  virtual void errorText(std::string_view /*chunk*/) {}
  virtual void ended() {}

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Quotes a path or word for a POSIX shell command line: 'like this', with
// any apostrophe written as '\''.
std::string shellQuote(std::string_view word);

}  // namespace velkin::platform
