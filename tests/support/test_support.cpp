#include "support/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace velkin::testing {

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/velkin-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder";
  }
  path_ = std::filesystem::canonical(pattern).string();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

IsolatedTest::IsolatedTest() {
  const std::pair<const char*, std::string> settings[] = {
      {"VELKIN_CONFIG_DIR", configDir()},
      {"XDG_DATA_HOME", dataHome()},
      {"XDG_CONFIG_HOME", temp_ / "xdg-config"},
      {"HOME", home()},
  };
  for (const auto& [name, value] : settings) {
    const char* old = std::getenv(name);
    savedEnvironment_.emplace_back(name, old != nullptr ? old : std::string("\x01unset"));
    setenv(name, value.c_str(), 1);
  }
  std::filesystem::create_directories(dataHome());
  std::filesystem::create_directories(home());
}

IsolatedTest::~IsolatedTest() {
  for (const auto& [name, value] : savedEnvironment_) {
    if (value == "\x01unset") {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
}

void makeDirs(const std::string& path) { std::filesystem::create_directories(path); }

std::vector<std::string> sortedNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void writeTextFile(const std::string& path, const std::string& text) {
  makeDirs(std::filesystem::path(path).parent_path().string());
  std::ofstream out(path, std::ios::binary);
  out << text;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string readTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}


StartedProgram::StartedProgram(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (output_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (output_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

StartedProgram::~StartedProgram() {
  if (pid_ > 0) {
    kill();
    wait();
  }
}

void StartedProgram::kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

ProgramRun StartedProgram::wait() {
  ProgramRun run;
  if (pid_ > 0) {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  run.out = readTextFile(output_ / "out");
  run.err = readTextFile(output_ / "err");
  return run;
}

ProgramRun runProgram(const std::vector<std::string>& argv) { return StartedProgram(argv).wait(); }

std::function<void(TaskQueue::Task)> TaskQueue::poster() {
  return [this](Task task) {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    ready_.notify_all();
  };
}

bool TaskQueue::waitForTask(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return ready_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
}

size_t TaskQueue::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

void TaskQueue::runAll() {
  std::deque<Task> tasks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) task();
}

}  // namespace velkin::testing
