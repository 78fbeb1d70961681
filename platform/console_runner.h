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
  void write(std::string_view text);
  bool isRunning() const;
  // Stops the threads, closes the pipes and ends the child if it still runs.
  void close();

  // The words open() would run for a command line.
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
