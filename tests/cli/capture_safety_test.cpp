// velkin capture against hostile pages and a hostile machine: local files
// named by a web page, endless and oversized input, a full disk, a name in
// the way, a killed capture and two captures racing for one name. Each case
// checks what lands in the category: the whole page or nothing at all.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/staging.h"
#include "cli/support/capture_fixture.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/text.h"

namespace velkin {
namespace {

using testing::CaptureCli;
using testing::ProgramRun;
using testing::readTextFile;
using testing::runProgram;
using testing::StartedProgram;
using testing::writeTextFile;

using namespace std::chrono_literals;

// Every name in a folder, hidden ones too.
std::vector<std::string> allNamesIn(const std::string& folder) { return testing::sortedNamesIn(folder); }

bool hasStagingLeft(const std::string& folder) {
  for (const std::string& name : allNamesIn(folder)) {
    if (name.rfind(capture::kStagingPrefix, 0) == 0) return true;
  }
  return false;
}

// A page with one picture, pic.png, served from its own folder.
std::string pageWithPicture(const std::string& title) {
  return "<html><head><title>" + title + "</title></head><body><img src=\"pic.png\"></body></html>";
}

class CaptureSafety : public CaptureCli {
 protected:
  void servePageWithPicture(const std::string& folder, const std::string& picture) {
    server_.serve(folder + "/page.html", pageWithPicture(folder), "text/html");
    server_.serve(folder + "/pic.png", picture);
  }

  StartedProgram startVelkin(std::vector<std::string> args) const {
    args.insert(args.begin(), {VELKIN_CLI_PATH, "--book", book(), "capture"});
    return StartedProgram(args);
  }

  // Waits (up to ten seconds) until the server was asked for path.
  bool waitForRequest(const std::string& path) const {
    for (int i = 0; i < 1000 && server_.requestCount(path) == 0; ++i) std::this_thread::sleep_for(10ms);
    return server_.requestCount(path) > 0;
  }
};

TEST_F(CaptureSafety, AWebPageNeverGetsLocalFilesCopied) {
  const std::string secret = path("secret.txt");
  writeTextFile(secret, "my private words");
  const std::string references[] = {"file://" + secret, secret, "file:///proc/self/environ"};
  server_.serve("/site/hostile.html",
                "<html><body><img src=\"" + references[0] + "\"><img src=\"" + references[1] +
                    "\"><link rel=stylesheet href=\"" + references[2] + "\"><img src=\"img/a.png\"></body></html>",
                "text/html");
  const ProgramRun run = velkin({url("/site/hostile.html"), "--into", "News", "--name", "hostile"});
  ASSERT_EQ(run.status, 0) << run.err;
  // Only the web picture was fetched; the local names stand in the page as they were.
  EXPECT_EQ(filesIn(news() + "/hostile.files"), std::vector<std::string>{"a.png"});
  const std::string page = readTextFile(news() + "/hostile.htm");
  EXPECT_NE(page.find("src=\"file://" + secret + "\""), std::string::npos) << page;
  EXPECT_NE(page.find("href=\"file:///proc/self/environ\""), std::string::npos) << page;

  // A page that is itself a local file may name the user's own files.
  writeTextFile(path("local/page.html"), "<img src=\"../secret.txt\">");
  const ProgramRun local = velkin({path("local/page.html"), "--into", "News", "--name", "local"});
  ASSERT_EQ(local.status, 0) << local.err;
  EXPECT_EQ(readTextFile(news() + "/local.files/secret.txt"), "my private words");
}

TEST_F(CaptureSafety, EndlessAndOversizedInputIsBounded) {
  // A picture that never ends is cut at the size limit and counted as not fetched.
  server_.serveEndless("/site/endless.png", std::string(64 << 10, 'x'));
  server_.serve("/site/big.png", std::string(3 << 20, 'b'));
  server_.serve("/site/bounded.html",
                "<img src=\"endless.png\"><img src=\"big.png\"><img src=\"img/a.png\">", "text/html");
  const ProgramRun run =
      velkin({url("/site/bounded.html"), "--into", "News", "--name", "bounded", "--max-file-size", "2M"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("2 of 3 resources could not be fetched"), std::string::npos) << run.err;
  EXPECT_EQ(filesIn(news() + "/bounded.files"), std::vector<std::string>{"a.png"});

  // A page over 64 MiB from standard input or a file is refused, not read whole.
  const std::string huge = path("huge.html");
  {
    std::ofstream out(huge);
    out << "<html>";
  }
  ASSERT_EQ(truncate(huge.c_str(), (64 << 20) + 1), 0);
  for (const ProgramRun& refused : {velkinReading(huge, {"-", "--into", "News", "--name", "piped"}),
                                    velkin({huge, "--into", "News", "--name", "file"})}) {
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find("64 MiB"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(filesIn(news()), (std::vector<std::string>{"bounded.files", "bounded.htm"}));
}

TEST_F(CaptureSafety, AFullDiskFailsTheCaptureAndKeepsTheOldPage) {
  testing::makeDirs(path("small"));
  if (mount("tmpfs", path("small").c_str(), "tmpfs", 0, "size=512k") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  const std::string category = path("small/Notes");
  testing::makeDirs(category);
  servePageWithPicture("/old", "old picture");
  servePageWithPicture("/new", std::string(1 << 20, 'n'));
  const auto capture = [&](const std::string& from) {
    return runProgram({VELKIN_CLI_PATH, "--book", path("small"), "capture", url(from + "/page.html"), "--into",
                       "Notes", "--name", "kept", "--overwrite"});
  };
  ASSERT_EQ(capture("/old").status, 0);
  const std::string oldPage = readTextFile(category + "/kept.htm");

  const ProgramRun full = capture("/new");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  EXPECT_EQ(full.out, "");
  EXPECT_EQ(readTextFile(category + "/kept.htm"), oldPage);
  EXPECT_EQ(readTextFile(category + "/kept.files/pic.png"), "old picture");
  EXPECT_EQ(allNamesIn(category), (std::vector<std::string>{"kept.files", "kept.htm"}));
  umount2(path("small").c_str(), MNT_DETACH);
}

TEST_F(CaptureSafety, NamesInTheWayFailAndLongNamesAreCut) {
  servePageWithPicture("/a", "picture A");
  // A plain file where the companion folder must go.
  writeTextFile(news() + "/blocked.files", "not a folder");
  const ProgramRun blocked = velkin({url("/a/page.html"), "--into", "News", "--name", "blocked"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("in the way"), std::string::npos) << blocked.err;
  EXPECT_EQ(allNamesIn(news()), std::vector<std::string>{"blocked.files"});

  // A name that fits alone but not with ".files" after it is cut for both.
  const std::string longName(252, 'n');
  const ProgramRun cut = velkin({url("/a/page.html"), "--into", "News", "--name", longName});
  ASSERT_EQ(cut.status, 0) << cut.err;
  const std::string stem(249, 'n');
  EXPECT_EQ(cut.out, news() + "/" + stem + ".htm\n");
  EXPECT_EQ(readTextFile(news() + "/" + stem + ".files/pic.png"), "picture A");
}

TEST_F(CaptureSafety, AKilledCaptureLeavesNothingAndIsCleanedUpLater) {
  servePageWithPicture("/old", "old picture");
  ASSERT_EQ(velkin({url("/old/page.html"), "--into", "News", "--name", "kept"}).status, 0);
  // The new capture is killed while its second picture is on its way.
  server_.serve("/new/page.html", "<img src=\"pic.png\"><img src=\"slow.png\">", "text/html");
  server_.serve("/new/pic.png", "new picture");
  server_.serve("/new/slow.png", "slow", "image/png", 3s);
  {
    StartedProgram killed = startVelkin({url("/new/page.html"), "--into", "News", "--name", "kept", "--overwrite"});
    ASSERT_TRUE(waitForRequest("/new/slow.png"));
    killed.kill();
    EXPECT_EQ(killed.wait().status, 128 + SIGKILL);
  }
  EXPECT_EQ(filesIn(news() + "/kept.files"), std::vector<std::string>{"pic.png"});
  EXPECT_EQ(readTextFile(news() + "/kept.files/pic.png"), "old picture");
  EXPECT_NE(readTextFile(news() + "/kept.htm").find(url("/old/page.html")), std::string::npos);
  EXPECT_TRUE(hasStagingLeft(news())) << "the dead capture's work lies in its hidden staging folder";

  // The next capture into the category removes it.
  servePageWithPicture("/b", "picture B");
  ASSERT_EQ(velkin({url("/b/page.html"), "--into", "News", "--name", "other"}).status, 0);
  EXPECT_EQ(allNamesIn(news()), (std::vector<std::string>{"kept.files", "kept.htm", "other.files", "other.htm"}));
}

TEST_F(CaptureSafety, OfTwoCapturesOfOneNameOneWinsWhole) {
  servePageWithPicture("/a", "picture A");
  servePageWithPicture("/b", "picture B");
  // Both captures fetch their page before either may fetch its picture.
  std::mutex lock;
  std::condition_variable bothThere;
  int pagesAsked = 0;
  server_.onRequest([&](const httplib::Request& request) {
    std::unique_lock<std::mutex> guard(lock);
    if (request.path.find("page.html") != std::string::npos) {
      ++pagesAsked;
      bothThere.notify_all();
    } else {
      bothThere.wait_for(guard, 10s, [&] { return pagesAsked >= 2; });
    }
  });
  StartedProgram first = startVelkin({url("/a/page.html"), "--into", "News", "--name", "same"});
  StartedProgram second = startVelkin({url("/b/page.html"), "--into", "News", "--name", "same"});
  const ProgramRun runs[] = {first.wait(), second.wait()};
  server_.onRequest(nullptr);

  ASSERT_EQ((runs[0].status == 0) + (runs[1].status == 0), 1) << runs[0].err << runs[1].err;
  const ProgramRun& loser = runs[0].status == 0 ? runs[1] : runs[0];
  EXPECT_NE(loser.err.find("exists"), std::string::npos) << loser.err;
  const std::string winner = runs[0].status == 0 ? "/a" : "/b";
  EXPECT_EQ(kb::readMetaValue(news() + "/same.htm", "PAGEURL"), platform::toAsciiUpper(url(winner + "/page.html")));
  EXPECT_EQ(readTextFile(news() + "/same.files/pic.png"), winner == "/a" ? "picture A" : "picture B");
  EXPECT_EQ(allNamesIn(news()), (std::vector<std::string>{"same.files", "same.htm"}));
}

}  // namespace
}  // namespace velkin
