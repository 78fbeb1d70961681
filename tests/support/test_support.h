// Shared test fixtures: every test runs in its own temporary folder with its
// own settings store, data folder and Trash, and leaves nothing behind.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace velkin::testing {

// A fresh folder under $TMPDIR, removed with everything in it on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Base fixture: a temporary folder with VELKIN_CONFIG_DIR, XDG_DATA_HOME,
// XDG_CONFIG_HOME and HOME pointing into it for the duration of the test, so
// nothing a test runs writes into the real home folder.
class IsolatedTest : public ::testing::Test {
 protected:
  IsolatedTest();
  ~IsolatedTest() override;
  std::string configDir() const { return temp_ / "config"; }
  std::string dataHome() const { return temp_ / "data"; }
  std::string home() const { return temp_ / "home"; }
  std::string path(const std::string& relative) const { return temp_ / relative; }
  const std::string& root() const { return temp_.path(); }

  TempFolder temp_;

 private:
  std::vector<std::pair<std::string, std::string>> savedEnvironment_;
};

// Writes a file (creating parent folders), failing the test on error.
void writeTextFile(const std::string& path, const std::string& text);
std::string readTextFile(const std::string& path);
void makeDirs(const std::string& path);
// The names in a folder, sorted (empty when it is missing).
std::vector<std::string> sortedNamesIn(const std::string& folder);

// Runs a program with arguments, returning its exit status, and its standard
// output and standard error as text.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};
ProgramRun runProgram(const std::vector<std::string>& argv);

// A program started in the background; killed and reaped if still running
// when the object goes.
class StartedProgram {
 public:
  explicit StartedProgram(const std::vector<std::string>& argv);
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;
  void kill();        // SIGKILL: no chance to clean up
  ProgramRun wait();  // its status (128 + signal when killed) and output

 private:
  TempFolder output_;
  pid_t pid_ = -1;
};

// Tasks posted by a folder watcher wait here until the test runs them on its
// own thread, as a user-interface loop would.
class TaskQueue {
 public:
  using Task = std::function<void()>;
  std::function<void(Task)> poster();
  bool waitForTask(std::chrono::milliseconds timeout);
  size_t size();
  void runAll();

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> tasks_;
};

}  // namespace velkin::testing
