#include "platform/watcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace velkin::platform {
namespace {

using namespace std::chrono_literals;
using velkin::testing::makeDirs;
using velkin::testing::TempFolder;
using velkin::testing::writeTextFile;

using Report = std::pair<std::string, FolderChange>;

std::vector<Report> reportsOf(const std::string& folder, std::initializer_list<FolderChange> kinds) {
  std::vector<Report> reports;
  for (const FolderChange kind : kinds) reports.emplace_back(folder, kind);
  return reports;
}

// Collects the callbacks of a watcher and lets the test wait for them.
class Recorder {
 public:
  FolderWatcher::Callback callback() {
    return [this](const std::string& folder, FolderChange kind) { add(folder, kind); };
  }

  void add(const std::string& folder, FolderChange kind) {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      reports_.emplace_back(folder, kind);
    }
    changed_.notify_all();
  }

  // True once a report of this kind for this folder has arrived.
  bool waitFor(const std::string& folder, FolderChange kind,
               std::chrono::milliseconds timeout = 5s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      for (const auto& report : reports_) {
        if (report.first == folder && report.second == kind) return true;
      }
      return false;
    });
  }

  // True once at least count reports have arrived.
  bool waitForCount(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return reports_.size() >= count; });
  }

  std::vector<Report> reports() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return reports_;
  }

  bool has(FolderChange kind) const {
    for (const auto& report : reports()) {
      if (report.second == kind) return true;
    }
    return false;
  }

  void clear() {
    const std::lock_guard<std::mutex> guard(mutex_);
    reports_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Report> reports_;
};

void appendTo(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << text;
}

// changeFolder() only signals the watcher thread, which sets the new watch up
// a moment later; keeps creating files in folder until one is reported.
bool createUntilReported(Recorder& recorder, const std::string& folder) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
    writeTextFile(folder + "/probe" + std::to_string(i) + ".htm", "x");
    if (recorder.waitFor(folder, FolderChange::FileName, 50ms)) return true;
  }
  return false;
}

// Long enough for a wrongly reported event to arrive.
void waitToProveSilence() { std::this_thread::sleep_for(300ms); }

class FolderWatcherTest : public ::testing::Test {
 protected:
  TempFolder temp_;
  Recorder recorder_;
  FolderWatcher watcher_;
};

TEST_F(FolderWatcherTest, EntriesOfTheFolderAreReportedByKind) {
  writeTextFile(temp_ / "existing.htm", "old");
  makeDirs(temp_ / "old-folder");
  ASSERT_TRUE(watcher_.start(temp_.path(), recorder_.callback()));

  appendTo(temp_ / "existing.htm", " more");
  EXPECT_TRUE(recorder_.waitFor(temp_.path(), FolderChange::LastWrite));
  waitToProveSilence();
  EXPECT_FALSE(recorder_.has(FolderChange::FileName)) << "a write is not a name change";
  EXPECT_FALSE(recorder_.has(FolderChange::FolderName));

  recorder_.clear();
  writeTextFile(temp_ / "new.htm", "page");
  EXPECT_TRUE(recorder_.waitFor(temp_.path(), FolderChange::FileName));
  EXPECT_FALSE(recorder_.has(FolderChange::FolderName));

  recorder_.clear();
  std::filesystem::rename(temp_ / "new.htm", temp_ / "renamed.htm");
  EXPECT_TRUE(recorder_.waitFor(temp_.path(), FolderChange::FileName));
  waitToProveSilence();  // Let late halves of the rename arrive first.

  recorder_.clear();
  makeDirs(temp_ / "sub");
  EXPECT_TRUE(recorder_.waitFor(temp_.path(), FolderChange::FolderName));
  EXPECT_FALSE(recorder_.has(FolderChange::FileName)) << "a folder is not a file";

  recorder_.clear();
  std::filesystem::remove(temp_ / "old-folder");
  EXPECT_TRUE(recorder_.waitFor(temp_.path(), FolderChange::FolderName));
}

TEST_F(FolderWatcherTest, ChangesInsideSubFoldersAreNotReported) {
  makeDirs(temp_ / "sub/deeper");
  writeTextFile(temp_ / "sub/page.htm", "page");
  ASSERT_TRUE(watcher_.start(temp_.path(), recorder_.callback()));

  writeTextFile(temp_ / "sub/new.htm", "page");
  appendTo(temp_ / "sub/page.htm", " more");
  makeDirs(temp_ / "sub/deeper/again");
  std::filesystem::remove(temp_ / "sub/new.htm");
  waitToProveSilence();
  EXPECT_TRUE(recorder_.reports().empty());
}

TEST_F(FolderWatcherTest, EventsOfOneBatchAreReportedOncePerKindInOrder) {
  // The first callback holds the watcher thread while the test makes many
  // changes, so they are all queued and read as one batch afterwards.
  std::mutex gateMutex;
  std::condition_variable gateChanged;
  bool blocked = false;
  bool released = false;
  ASSERT_TRUE(watcher_.start(temp_.path(), [&](const std::string& folder, FolderChange kind) {
    std::unique_lock<std::mutex> lock(gateMutex);
    if (!blocked) {
      blocked = true;
      gateChanged.notify_all();
      gateChanged.wait_for(lock, 5s, [&] { return released; });
    }
    lock.unlock();
    recorder_.add(folder, kind);
  }));

  makeDirs(temp_ / "first");  // A single event: kind 3 alone.
  {
    std::unique_lock<std::mutex> lock(gateMutex);
    ASSERT_TRUE(gateChanged.wait_for(lock, 5s, [&] { return blocked; }));
  }
  for (int i = 0; i < 10; ++i) writeTextFile(temp_ / ("page" + std::to_string(i) + ".htm"), "x");
  makeDirs(temp_ / "second");
  {
    const std::lock_guard<std::mutex> guard(gateMutex);
    released = true;
  }
  gateChanged.notify_all();

  ASSERT_TRUE(recorder_.waitForCount(4));
  waitToProveSilence();
  EXPECT_EQ(recorder_.reports(), reportsOf(temp_.path(), {FolderChange::FolderName, FolderChange::LastWrite,
                                                           FolderChange::FileName, FolderChange::FolderName}));
}

TEST(FolderWatcherGathering, ABurstOfChangesIsReportedOncePerKindWhenTheFolderIsQuiet) {
  TempFolder temp;
  Recorder recorder;
  // A quiet interval far longer than the burst takes, so a slow machine
  // cannot split it.
  FolderWatcher watcher(FolderWatcher::Timing{std::chrono::milliseconds(1500), std::chrono::seconds(30)});
  ASSERT_TRUE(watcher.start(temp.path(), recorder.callback()));

  for (int i = 0; i < 50; ++i) {
    const std::string name = "saved " + std::to_string(i);
    writeTextFile(temp / (name + ".htm"), "page");
    appendTo(temp / (name + ".htm"), " more");
    if (i % 10 == 0) {
      makeDirs(temp / (name + ".files"));
      // An owner that lists the folder anew names it again: that is no move
      // and must not cut the burst into pieces.
      watcher.changeFolder(temp.path());
    }
  }
  ASSERT_TRUE(recorder.waitForCount(3));
  waitToProveSilence();
  EXPECT_EQ(recorder.reports(),
            reportsOf(temp.path(), {FolderChange::LastWrite, FolderChange::FileName, FolderChange::FolderName}));
}

TEST(FolderWatcherGathering, AFolderThatNeverStopsChangingIsStillReported) {
  TempFolder temp;
  Recorder recorder;
  // Never quiet for a second, but reported 200 ms after the first change.
  FolderWatcher watcher(FolderWatcher::Timing{std::chrono::seconds(1), std::chrono::milliseconds(200)});
  ASSERT_TRUE(watcher.start(temp.path(), recorder.callback()));
  bool reportedWhileChanging = false;
  for (int i = 0; i < 60 && !reportedWhileChanging; ++i) {
    writeTextFile(temp / ("page" + std::to_string(i) + ".htm"), "x");
    reportedWhileChanging = recorder.waitFor(temp.path(), FolderChange::FileName, 50ms);
  }
  EXPECT_TRUE(reportedWhileChanging);
}

TEST(FolderWatcherGathering, StopDoesNotWaitForTheFolderToBeQuiet) {
  TempFolder temp;
  Recorder recorder;
  FolderWatcher watcher(FolderWatcher::Timing{std::chrono::seconds(30), std::chrono::seconds(60)});
  ASSERT_TRUE(watcher.start(temp.path(), recorder.callback()));
  writeTextFile(temp / "page.htm", "x");
  std::this_thread::sleep_for(100ms);  // the watcher is gathering now

  const auto began = std::chrono::steady_clock::now();
  watcher.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
  EXPECT_TRUE(recorder.reports().empty()) << "nothing is reported after stop";
}

TEST_F(FolderWatcherTest, ChangeFolderMovesTheWatch) {
  makeDirs(temp_ / "a");
  makeDirs(temp_ / "b");
  ASSERT_TRUE(watcher_.start(temp_ / "a", recorder_.callback()));
  writeTextFile(temp_ / "a/one.htm", "x");
  ASSERT_TRUE(recorder_.waitFor(temp_ / "a", FolderChange::FileName));

  watcher_.changeFolder(temp_ / "b");
  ASSERT_TRUE(createUntilReported(recorder_, temp_ / "b"));

  // The report from b proves the switch is done: a is silent from now on.
  // (Late write reports of the probe in b may still come; names may not.)
  recorder_.clear();
  writeTextFile(temp_ / "a/three.htm", "x");
  makeDirs(temp_ / "a/sub");
  waitToProveSilence();
  EXPECT_FALSE(recorder_.has(FolderChange::FileName));
  EXPECT_FALSE(recorder_.has(FolderChange::FolderName));
}

TEST_F(FolderWatcherTest, MissingOrRemovedFolderKeepsTheThreadAlive) {
  ASSERT_TRUE(watcher_.start(temp_ / "missing", recorder_.callback()));
  EXPECT_TRUE(watcher_.isRunning());

  makeDirs(temp_ / "watched");
  watcher_.changeFolder(temp_ / "watched");
  ASSERT_TRUE(createUntilReported(recorder_, temp_ / "watched"));

  recorder_.clear();
  std::filesystem::remove_all(temp_ / "watched");
  ASSERT_TRUE(recorder_.waitFor(temp_ / "watched", FolderChange::FolderName));
  waitToProveSilence();
  int folderReports = 0;
  for (const auto& report : recorder_.reports()) {
    folderReports += report.second == FolderChange::FolderName ? 1 : 0;
  }
  EXPECT_EQ(folderReports, 1) << "the loss of the folder is reported once";
  EXPECT_TRUE(watcher_.isRunning());

  makeDirs(temp_ / "next");
  watcher_.changeFolder(temp_ / "next");
  EXPECT_TRUE(createUntilReported(recorder_, temp_ / "next"));
}

TEST_F(FolderWatcherTest, StopIsPromptFinalAndIdempotent) {
  ASSERT_TRUE(watcher_.start(temp_.path(), recorder_.callback()));
  EXPECT_FALSE(watcher_.start(temp_.path(), recorder_.callback())) << "already running";
  writeTextFile(temp_ / "before.htm", "x");
  ASSERT_TRUE(recorder_.waitFor(temp_.path(), FolderChange::FileName));

  const auto began = std::chrono::steady_clock::now();
  watcher_.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
  EXPECT_FALSE(watcher_.isRunning());
  watcher_.stop();

  recorder_.clear();
  writeTextFile(temp_ / "after.htm", "x");
  makeDirs(temp_ / "after");
  waitToProveSilence();
  EXPECT_TRUE(recorder_.reports().empty());

  // A stopped watcher can be started again.
  ASSERT_TRUE(watcher_.start(temp_.path(), recorder_.callback()));
  writeTextFile(temp_ / "again.htm", "x");
  EXPECT_TRUE(recorder_.waitFor(temp_.path(), FolderChange::FileName));
}

TEST_F(FolderWatcherTest, CallbackMayChangeFolderAndStopWithoutDeadlock) {
  makeDirs(temp_ / "a");
  makeDirs(temp_ / "b");
  const std::string a = temp_ / "a";
  const std::string b = temp_ / "b";
  ASSERT_TRUE(watcher_.start(a, [&](const std::string& folder, FolderChange kind) {
    if (folder == a) watcher_.changeFolder(b);
    if (folder == b && kind == FolderChange::FileName) watcher_.stop();
    recorder_.add(folder, kind);
  }));

  writeTextFile(temp_ / "a/page.htm", "x");
  ASSERT_TRUE(recorder_.waitFor(a, FolderChange::FileName));
  ASSERT_TRUE(createUntilReported(recorder_, b));
  EXPECT_FALSE(watcher_.isRunning());

  // Stopped from its own callback: nothing more is reported.
  const std::size_t seen = recorder_.reports().size();
  writeTextFile(temp_ / "b/more.htm", "x");
  waitToProveSilence();
  EXPECT_EQ(recorder_.reports().size(), seen);

  // The thread is joined by the next start.
  EXPECT_TRUE(watcher_.start(a, recorder_.callback()));
}

}  // namespace
}  // namespace velkin::platform
