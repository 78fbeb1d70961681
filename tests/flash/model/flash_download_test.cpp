// Saving movies: the save list's rows and the download list Save builds, and
// the download run against a loopback web server (overwrite question,
// failures leaving no file, cancel between files, local sources and targets
// outside the Flash folder refused).
#include "flash/model/flash_download.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "capture/fetcher.h"
#include "capture/support/loopback_server.h"
#include "support/test_support.h"

namespace velkin::flash {
namespace {

using Outcomes = std::vector<DownloadOutcome>;

Outcomes outcomesOf(const std::vector<DownloadResult>& results) {
  Outcomes outcomes;
  for (const DownloadResult& one : results) outcomes.push_back(one.outcome);
  return outcomes;
}

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

TEST(FlashSaveRowsTest, RowsStartTickedInTheFlashFolderAndSaveTakesTheTickedOnesInOrder) {
  const std::vector<SaveRecord> records = {
      {"http://host/dir/movie.SWF", 0, "http://host/page.htm"},
      {"http://host/play.php?id=intro", 1234, "http://host/page.htm"},
      {"http://host/nothing", 0, "file:///home/u/page.htm"},
      {"http://host/dir/movie.SWF", 0, "http://host/page.htm"},  // duplicates stay
  };
  std::vector<SaveRow> rows = saveRows(records, "/f/Flash");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].fileName, "movie");
  EXPECT_EQ(rows[1].fileName, "intro");
  EXPECT_EQ(rows[2].fileName, "Flash");
  EXPECT_EQ(rows[0].sizeText, "");
  EXPECT_EQ(rows[1].sizeText, "1234");
  for (const SaveRow& row : rows) {
    EXPECT_TRUE(row.ticked);
    EXPECT_EQ(row.savePath, "/f/Flash");
  }
  // Only a movie of a local page may be read from this computer.
  EXPECT_FALSE(rows[0].localAllowed);
  EXPECT_TRUE(rows[2].localAllowed);

  rows[1].ticked = false;
  rows[3].savePath = "/f/Flash/games";
  const std::vector<DownloadRecord> list = downloadList(rows);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].target, "/f/Flash/movie.swf");
  EXPECT_EQ(list[1].target, "/f/Flash/Flash.swf");
  EXPECT_TRUE(list[1].localAllowed);
  EXPECT_EQ(list[2].source, "http://host/dir/movie.SWF");
  EXPECT_EQ(list[2].target, "/f/Flash/games/movie.swf");

  EXPECT_EQ(savePathLabel("/f/Flash/games"), "Save Path:/f/Flash/games");
  EXPECT_EQ(previewAddress(rows, 1, true), "http://host/play.php?id=intro");
  EXPECT_EQ(previewAddress(rows, 1, false), "");
  EXPECT_EQ(previewAddress(rows, -1, true), "");
  EXPECT_EQ(previewAddress(rows, 4, true), "");
  EXPECT_TRUE(downloadList({}).empty());
}

class FlashDownloadTest : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    testing::makeDirs(flash_);
  }
  DownloadRecord web(const std::string& path, const std::string& name) const {
    return {server_.url(path), flash_ + "/" + name, false};
  }
  std::vector<DownloadResult> run(FlashDownload& download, FlashDownload::Hooks hooks = {}) {
    capture::Fetcher fetcher;
    return download.run(hooks, &fetcher);
  }

  testing::DirectLoopback direct_;
  testing::LoopbackServer server_;
  std::string flash_ = path("Flash");
};

TEST_F(FlashDownloadTest, WebMoviesAreSavedAndAnExistingFileIsOnlyReplacedWhenTheUserSaysSo) {
  server_.serve("/a.swf", "FWS-a");
  server_.serve("/b.swf", "FWS-b");
  server_.serve("/c.swf", "FWS-c");
  testing::writeTextFile(flash_ + "/b.swf", "mine");
  testing::writeTextFile(flash_ + "/c.swf", "old");
  // The same movie twice: the second asks about the file the first wrote.
  FlashDownload download(
      {web("/a.swf", "a.swf"), web("/b.swf", "b.swf"), web("/c.swf", "c.swf"), web("/a.swf", "a.swf")}, flash_);
  std::vector<std::string> asked;
  std::vector<size_t> started;
  FlashDownload::Hooks hooks;
  hooks.started = [&](size_t index, const DownloadRecord&) { started.push_back(index); };
  hooks.overwrite = [&](const std::string& target) {
    asked.push_back(target);
    return target == flash_ + "/c.swf";
  };
  const auto results = run(download, hooks);
  EXPECT_EQ(outcomesOf(results), (Outcomes{DownloadOutcome::Saved, DownloadOutcome::Kept, DownloadOutcome::Saved,
                                           DownloadOutcome::Kept}));
  EXPECT_EQ(started, (std::vector<size_t>{0, 1, 2, 3}));
  EXPECT_EQ(asked, (std::vector<std::string>{flash_ + "/b.swf", flash_ + "/c.swf", flash_ + "/a.swf"}));
  EXPECT_EQ(server_.requestCount("/a.swf"), 1u);
  EXPECT_EQ(testing::readTextFile(flash_ + "/a.swf"), "FWS-a");
  EXPECT_EQ(testing::readTextFile(flash_ + "/b.swf"), "mine");
  EXPECT_EQ(testing::readTextFile(flash_ + "/c.swf"), "FWS-c");
  EXPECT_EQ(server_.requestCount("/b.swf"), 0u);  // a kept file is not even fetched
  EXPECT_EQ(notSavedText(download.records(), results), "");
}

TEST_F(FlashDownloadTest, FailedFetchesLeaveNoFileAndAreReported) {
  server_.serveStatus("/gone.swf", 404);
  server_.serveCutOff("/cut.swf", std::string(100000, 'x'), 500);
  server_.serve("/big.swf", std::string(5000, 'x'));
  server_.redirect("/local.swf", "file:///etc/hostname");
  server_.serve("/ok.swf", "FWS");
  FlashDownload download({web("/gone.swf", "gone.swf"), web("/cut.swf", "cut.swf"), web("/big.swf", "big.swf"),
                          web("/local.swf", "local.swf"), web("/ok.swf", "ok.swf")},
                         flash_);
  download.setMaxFileSize(1000);
  const auto results = run(download);
  EXPECT_EQ(outcomesOf(results), (Outcomes{DownloadOutcome::Failed, DownloadOutcome::Failed, DownloadOutcome::Failed,
                                           DownloadOutcome::Failed, DownloadOutcome::Saved}));
  EXPECT_EQ(testing::sortedNamesIn(flash_), (std::vector<std::string>{"ok.swf"}));
  const std::string text = notSavedText(download.records(), results);
  EXPECT_NE(text.find(server_.url("/gone.swf")), std::string::npos);
  EXPECT_EQ(text.find(server_.url("/ok.swf")), std::string::npos);
}

TEST_F(FlashDownloadTest, CancelStopsBetweenFilesAfterTheCurrentOneIsComplete) {
  server_.serve("/a.swf", "FWS-a");
  server_.serve("/b.swf", "FWS-b");
  server_.serve("/c.swf", "FWS-c");
  FlashDownload download({web("/a.swf", "a.swf"), web("/b.swf", "b.swf"), web("/c.swf", "c.swf")}, flash_);
  FlashDownload::Hooks hooks;
  hooks.started = [&](size_t index, const DownloadRecord&) {
    if (index == 1) download.cancel();  // pressed as the second file starts
  };
  const auto results = run(download, hooks);
  EXPECT_EQ(outcomesOf(results),
            (Outcomes{DownloadOutcome::Saved, DownloadOutcome::Cancelled, DownloadOutcome::Cancelled}));
  EXPECT_EQ(testing::sortedNamesIn(flash_), (std::vector<std::string>{"a.swf"}));
  EXPECT_EQ(server_.requestCount("/c.swf"), 0u);

  // Cancelled while the overwrite question is open: the answer does not start a fetch.
  testing::writeTextFile(flash_ + "/b.swf", "mine");
  FlashDownload asking({web("/b.swf", "b.swf")}, flash_);
  hooks.started = {};
  hooks.overwrite = [&](const std::string&) {
    asking.cancel();
    return true;
  };
  EXPECT_EQ(outcomesOf(run(asking, hooks)), (Outcomes{DownloadOutcome::Cancelled}));
  EXPECT_EQ(testing::readTextFile(flash_ + "/b.swf"), "mine");
}

TEST_F(FlashDownloadTest, LocalSourcesAreReadOnlyForLocalPagesAndTargetsStayInTheFlashFolder) {
  const std::string local = path("movie.swf");
  testing::writeTextFile(local, "FWS-local");
  testing::makeDirs(path("elsewhere"));
  testing::makeDirs(flash_ + "/games");
  std::string linked = flash_ + "/out";
  ASSERT_EQ(symlink(path("elsewhere").c_str(), linked.c_str()), 0);
  server_.serve("/a.swf", "FWS-a");
  FlashDownload download(
      {
          {"file://" + local, flash_ + "/from-web.swf", false},   // file:// movie of a web page
          {local, flash_ + "/plain-path.swf", false},             // a plain path of a web page
          {"file://" + local, flash_ + "/games/copy.swf", true},  // a local page's movie is copied
          {server_.url("/a.swf"), path("elsewhere/a.swf"), false},
          {server_.url("/a.swf"), flash_ + "/out/a.swf", false},  // a link leading out
          {server_.url("/a.swf"), flash_ + "/missing/a.swf", false},
      },
      flash_);
  const auto results = run(download);
  EXPECT_EQ(outcomesOf(results), (Outcomes{DownloadOutcome::Refused, DownloadOutcome::Refused, DownloadOutcome::Saved,
                                           DownloadOutcome::Refused, DownloadOutcome::Refused,
                                           DownloadOutcome::Refused}));
  EXPECT_EQ(testing::readTextFile(flash_ + "/games/copy.swf"), "FWS-local");
  EXPECT_FALSE(exists(flash_ + "/from-web.swf"));
  EXPECT_FALSE(exists(flash_ + "/plain-path.swf"));
  EXPECT_TRUE(testing::sortedNamesIn(path("elsewhere")).empty());
  EXPECT_EQ(server_.requestCount("/a.swf"), 0u);
  EXPECT_NE(notSavedText(download.records(), results).find("never read from this computer"), std::string::npos);
}

}  // namespace
}  // namespace velkin::flash
