#include "platform/console_runner.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace velkin::platform {
namespace {

using namespace std::chrono_literals;
using velkin::testing::IsolatedTest;

// One callback as it arrived: 's' started, 'o' output, 'e' error, 'x' ended.
struct Event {
  char kind;
  std::string text;
};

// A runner that records its callbacks and lets the test wait for them.
class RecordingRunner : public ConsoleRunner {
 public:
  ~RecordingRunner() override { close(); }

  bool waitForEnded(std::size_t times = 1) {
    return waitFor([&] { return countLocked('x') >= times; });
  }
  bool waitForOutput(const std::string& text) {
    return waitFor([&] { return joinedLocked('o').find(text) != std::string::npos; });
  }

  std::vector<Event> events() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return events_;
  }
  std::string joined(char kind) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return joinedLocked(kind);
  }
  std::size_t count(char kind) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return countLocked(kind);
  }

 protected:
  void started(const std::string& commandLine) override { add('s', commandLine); }
  void outputText(std::string_view chunk) override { add('o', std::string(chunk)); }
  void errorText(std::string_view chunk) override { add('e', std::string(chunk)); }
  void ended() override { add('x', ""); }

 private:
  // ready runs with the lock held.
  bool waitFor(const std::function<bool()>& ready) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 20s, ready);
  }
  void add(char kind, std::string text) {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      events_.push_back({kind, std::move(text)});
    }
    changed_.notify_all();
  }
  std::string joinedLocked(char kind) const {
    std::string all;
    for (const auto& event : events_) {
      if (event.kind == kind) all += event.text;
    }
    return all;
  }
  std::size_t countLocked(char kind) const {
    std::size_t n = 0;
    for (const auto& event : events_) n += event.kind == kind ? 1 : 0;
    return n;
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

std::string shCommand(const std::string& script) { return "/bin/sh -c " + shellQuote(script); }

// The first line of the output, once it has arrived, as a process id.
pid_t firstLinePid(RecordingRunner& runner) {
  if (!runner.waitForOutput("\n")) return -1;
  const std::string out = runner.joined('o');
  return static_cast<pid_t>(std::stol(out.substr(0, out.find('\n'))));
}

// Kills a process the test started indirectly, whatever the test's outcome.
struct KillOnExit {
  pid_t pid;
  ~KillOnExit() { ::kill(pid, SIGKILL); }
};

// A process that is not ours is gone once it no longer exists or is a zombie
// waiting for whoever adopted it.
bool goneOrZombie(pid_t pid) {
  if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  std::getline(stat, field, ')');
  stat >> field;
  return field == "Z";
}

// The test name of a table row.
template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& row) {
  return row.param.name;
}

bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// --- What a child writes reaches the callbacks, in order and complete.

struct StreamCase {
  std::string name;
  std::string commandLine;
  std::string out;
  std::string err;
};

void PrintTo(const StreamCase& row, std::ostream* out) { *out << row.commandLine; }

std::vector<StreamCase> streamCases() {
  std::string numbered;
  for (int i = 0; i < 200; ++i) {
    const std::string number = std::to_string(i);
    numbered += std::string(49 - number.size(), '0') + number + "\n";
  }
  std::string counted;
  for (int i = 1; i <= 40000; ++i) counted += std::to_string(i) + "\n";
  return {
      {"NothingAtAll", "true", "", ""},
      {"BothStreams", shCommand("printf 'to out'; printf 'to err' >&2; printf ' again'"), "to out again",
       "to err"},
      {"TenKilobytes",
       shCommand("i=0; while [ $i -lt 200 ]; do printf '%049d\\n' $i; i=$((i+1)); done; printf oops >&2"),
       numbered, "oops"},
      {"MoreThanAPipeHolds", "seq 1 40000", counted, ""},
  };
}

class RunnerStreams : public IsolatedTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(RunnerStreams, StartedThenEveryChunkThenEndedOnce) {
  RecordingRunner runner;
  ASSERT_TRUE(runner.open(GetParam().commandLine));
  ASSERT_TRUE(runner.waitForEnded());
  EXPECT_FALSE(runner.isRunning());

  const auto events = runner.events();
  ASSERT_GE(events.size(), 2U);
  EXPECT_EQ(events.front().kind, 's');
  EXPECT_EQ(events.front().text, GetParam().commandLine);
  EXPECT_EQ(events.back().kind, 'x');
  EXPECT_EQ(runner.count('s'), 1U);
  EXPECT_EQ(runner.count('x'), 1U);
  for (const auto& event : events) {
    if (event.kind == 'o' || event.kind == 'e') {
      EXPECT_FALSE(event.text.empty());
      EXPECT_LE(event.text.size(), 256U);
    }
  }
  EXPECT_EQ(runner.joined('o'), GetParam().out);
  EXPECT_EQ(runner.joined('e'), GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(Children, RunnerStreams, ::testing::ValuesIn(streamCases()),
                         caseName<StreamCase>);

class ConsoleRunnerTest : public IsolatedTest {};

TEST_F(ConsoleRunnerTest, EndedComesWhenABackgroundProcessKeepsThePipesOpen) {
  RecordingRunner runner;
  ASSERT_TRUE(runner.open(shCommand("sleep 60 & echo $!; printf done")));
  const pid_t background = firstLinePid(runner);
  ASSERT_GT(background, 0);
  const KillOnExit cleanup{background};
  ASSERT_TRUE(runner.waitForEnded());
  const std::string out = runner.joined('o');
  EXPECT_EQ(out.substr(out.find('\n') + 1), "done");
}

// --- A child that cannot be started.

struct StartFailure {
  std::string name;
  std::string commandLine;  // empty: a text file without execute permission
};

void PrintTo(const StartFailure& row, std::ostream* out) { *out << row.name; }

class StartFailures : public IsolatedTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailures, ReportUnableToStartAndNothingElse) {
  std::string commandLine = GetParam().commandLine;
  if (commandLine.empty()) {
    commandLine = path("notes.txt");
    velkin::testing::writeTextFile(commandLine, "echo not a program\n");
    ::chmod(commandLine.c_str(), 0644);
  }
  RecordingRunner runner;
  EXPECT_FALSE(runner.open(commandLine));
  EXPECT_FALSE(runner.isRunning());
  runner.write("ignored");
  runner.close();
  const auto events = runner.events();
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].kind, 'e');
  EXPECT_EQ(events[0].text, "Unable to start " + commandLine + "\n");
}

INSTANTIATE_TEST_SUITE_P(Commands, StartFailures,
                         ::testing::Values(StartFailure{"MissingPath", "/nonexistent/velkin-nothing arg"},
                                           StartFailure{"MissingOnPath", "velkin-no-such-program-4711"},
                                           StartFailure{"OnlyBlanks", "   "},
                                           StartFailure{"NotExecutable", ""}),
                         caseName<StartFailure>);

// --- The child's standard input.

TEST_F(ConsoleRunnerTest, WrittenTextReachesTheChild) {
  RecordingRunner runner;
  ASSERT_TRUE(runner.open("cat"));
  runner.write("hello\n");
  ASSERT_TRUE(runner.waitForOutput("hello\n"));
  runner.write("");
  runner.write("second line\n");
  ASSERT_TRUE(runner.waitForOutput("second line\n"));
  EXPECT_EQ(runner.joined('o'), "hello\nsecond line\n");
  EXPECT_TRUE(runner.isRunning());

  runner.close();
  EXPECT_FALSE(runner.isRunning());
  EXPECT_EQ(runner.count('x'), 0U) << "a run stopped by close() is not reported as ended";
  runner.write("after close");
}

TEST_F(ConsoleRunnerTest, WritingToAChildThatClosedItsInputNeitherKillsUsNorLeavesSigpipeBlocked) {
  RecordingRunner runner;
  ASSERT_TRUE(runner.open(shCommand("exec 0<&-; echo ready; exec sleep 60")));
  ASSERT_TRUE(runner.waitForOutput("ready\n"));
  runner.write(std::string(200000, 'x'));

  sigset_t mask;
  sigset_t pending;
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, nullptr, &mask), 0);
  ASSERT_EQ(::sigpending(&pending), 0);
  EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
  EXPECT_TRUE(runner.isRunning());
}

TEST_F(ConsoleRunnerTest, CloseReleasesAWriteBlockedOnAFullPipe) {
  RecordingRunner runner;
  ASSERT_TRUE(runner.open(shCommand("echo ready; exec sleep 60")));
  ASSERT_TRUE(runner.waitForOutput("ready\n"));
  auto writing = std::async(std::launch::async, [&] { runner.write(std::string(4 << 20, 'x')); });
  std::this_thread::sleep_for(100ms);
  runner.close();
  EXPECT_EQ(writing.wait_for(20s), std::future_status::ready);
}

// --- Ending a child that still runs.

struct RunningChild {
  std::string name;
  std::string script;  // prints the id of the process to watch first
  bool directChild;    // the watched process is the runner's own child
  bool byDestructor;
};

void PrintTo(const RunningChild& row, std::ostream* out) { *out << row.script; }

class ClosingRunningChildren : public IsolatedTest, public ::testing::WithParamInterface<RunningChild> {};

TEST_P(ClosingRunningChildren, EndTheChildAndReapIt) {
  auto runner = std::make_unique<RecordingRunner>();
  ASSERT_TRUE(runner->open(shCommand(GetParam().script)));
  const pid_t pid = firstLinePid(*runner);
  ASSERT_GT(pid, 0);
  std::unique_ptr<KillOnExit> cleanup;
  if (!GetParam().directChild) cleanup = std::make_unique<KillOnExit>(KillOnExit{pid});
  EXPECT_TRUE(runner->isRunning());

  const auto before = std::chrono::steady_clock::now();
  if (GetParam().byDestructor) {
    runner.reset();
  } else {
    runner->close();
    EXPECT_FALSE(runner->isRunning());
    runner->close();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - before, 15s);

  if (GetParam().directChild) {
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), -1) << "the child is still ours: running or a zombie";
    EXPECT_EQ(errno, ECHILD);
  } else {
    EXPECT_TRUE(eventually([pid] { return goneOrZombie(pid); }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Children, ClosingRunningChildren,
    ::testing::Values(RunningChild{"SleepingByClose", "echo $$; exec sleep 60", true, false},
                      RunningChild{"SleepingByDestructor", "echo $$; exec sleep 60", true, true},
                      RunningChild{"IgnoringSigterm", "trap '' TERM; echo $$; exec sleep 60", true, false},
                      RunningChild{"StartedByTheChild", "sleep 60 & echo $!; wait", false, true}),
    caseName<RunningChild>);

TEST_F(ConsoleRunnerTest, OpenAgainEndsThePreviousChildAndRunsTheNext) {
  RecordingRunner runner;
  ASSERT_TRUE(runner.open(shCommand("echo $$; exec sleep 60")));
  const pid_t first = firstLinePid(runner);
  ASSERT_GT(first, 0);

  ASSERT_TRUE(runner.open("printf next"));
  int status = 0;
  EXPECT_EQ(::waitpid(first, &status, WNOHANG), -1);
  ASSERT_TRUE(runner.waitForEnded());
  EXPECT_EQ(runner.joined('o'), std::to_string(first) + "\nnext");
  EXPECT_EQ(runner.count('s'), 2U);
  EXPECT_EQ(runner.count('x'), 1U);
}

// A runner whose ended callback closes it, as an owner might.
class SelfClosingRunner : public RecordingRunner {
 protected:
  void ended() override {
    RecordingRunner::ended();
    close();
  }
};

TEST_F(ConsoleRunnerTest, CloseFromTheEndedCallbackNeitherHangsNorBlocksTheNextRun) {
  SelfClosingRunner runner;
  ASSERT_TRUE(runner.open("true"));
  ASSERT_TRUE(runner.waitForEnded());
  ASSERT_TRUE(runner.open("printf again"));
  EXPECT_TRUE(runner.waitForEnded(2));
  EXPECT_EQ(runner.joined('o'), "again");
}

// --- Command line words.

struct SplitCase {
  std::string line;
  std::vector<std::string> words;
};

void PrintTo(const SplitCase& row, std::ostream* out) { *out << ::testing::PrintToString(row.line); }

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, GivesTheWordsAShellWould) {
  EXPECT_EQ(ConsoleRunner::splitCommandLine(GetParam().line), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandLine,
    ::testing::Values(SplitCase{"", {}}, SplitCase{" \t\n ", {}}, SplitCase{"a b  c", {"a", "b", "c"}},
                      SplitCase{"  lead\ttab\nline  ", {"lead", "tab", "line"}},
                      SplitCase{"'it is $HOME \\ \"q\"'", {"it is $HOME \\ \"q\""}},
                      SplitCase{"\"a \\\"b\\\" \\$x \\` \\\\ \\n\"", {"a \"b\" $x ` \\ \\n"}},
                      SplitCase{"a\\ b c\\'d", {"a b", "c'd"}},
                      SplitCase{"'' x \"\"", {"", "x", ""}},
                      SplitCase{"con'cat'\"en\"ated", {"concatenated"}},
                      SplitCase{"one\\\ntwo \"th\\\nree\"", {"onetwo", "three"}},
                      SplitCase{"$HOME *.txt ~ a;b|c", {"$HOME", "*.txt", "~", "a;b|c"}},
                      SplitCase{"open 'no end", {"open", "no end"}},
                      SplitCase{"trailing\\", {"trailing\\"}}));

class ShellQuoteRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(ShellQuoteRoundTrip, ThroughTheSplitterAndThroughTheShell) {
  const std::string& word = GetParam();
  EXPECT_EQ(ConsoleRunner::splitCommandLine(shellQuote(word)), std::vector<std::string>{word});
  EXPECT_EQ(ConsoleRunner::splitCommandLine("x " + shellQuote(word) + " y"),
            (std::vector<std::string>{"x", word, "y"}));
  EXPECT_EQ(velkin::testing::runProgram({"/bin/sh", "-c", "printf %s " + shellQuote(word)}).out, word);
}

INSTANTIATE_TEST_SUITE_P(Words, ShellQuoteRoundTrip,
                         ::testing::Values("plain", "", "with blank", "it's", "''", "$HOME `id`",
                                           "back\\slash", "\"double\"", "new\nline", "*", "a;b&c"));

}  // namespace
}  // namespace velkin::platform
