// The download run and the fetcher against a real HTTP(S) server on
// 127.0.0.1: one connection for a whole run, no file for a failed fetch,
// cancelling, local copies, https and the parallel run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "capture/download_run.h"
#include "capture/fetcher.h"
#include "capture/support/loopback_server.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::capture {
namespace {

using testing::LoopbackServer;

// A body of size bytes that differs at every position modulo 251.
std::string patterned(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i % 251);
  return body;
}

class Download : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    testing::makeDirs(companion_);
  }

  std::string local(const std::string& name) const { return companion_ + "/" + name; }
  Resource web(const std::string& path, const std::string& name) const { return {server_.url(path), local(name)}; }

  // The names in the companion folder, hidden temporary files included.
  std::vector<std::string> companionFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(companion_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::DirectLoopback direct_;
  LoopbackServer server_;
  std::string companion_ = path("page.files");
};

TEST_F(Download, WholeRunUsesOneConnectionAndReportsProgress) {
  const std::string big = patterned(3u << 20);
  const std::string css(20000, 'a');
  server_.serve("/a.png", "png bytes", "image/png");
  server_.serve("/big.bin", big);
  server_.serve("/style.css", css, "text/css");
  server_.serve("/empty.gif", "", "image/gif");
  const std::string longName = std::string(250, 'n') + ".png";  // the longest a file system allows
  DownloadRun run({web("/a.png", "a.png"), web("/big.bin", "big.bin"), web("/style.css", "style.css"),
                   web("/empty.gif", "empty.gif"), web("/a.png", longName)});
  std::vector<DownloadProgress> reports;
  EXPECT_EQ(run.run([&](const DownloadProgress& report) { reports.push_back(report); }), 5u);

  EXPECT_EQ(testing::readTextFile(local("a.png")), "png bytes");
  EXPECT_EQ(testing::readTextFile(local("big.bin")), big);
  EXPECT_EQ(testing::readTextFile(local("style.css")), css);
  EXPECT_TRUE(platform::isRegularFile(local("empty.gif")));
  EXPECT_EQ(testing::readTextFile(local(longName)), "png bytes");
  EXPECT_EQ(server_.connectionCount(), 1u);
  EXPECT_EQ(server_.requestCount(), 5u);
  EXPECT_NE(server_.lastRequestHeader("/a.png", "User-Agent").find("Velkin Web"), std::string::npos);
  EXPECT_NE(server_.lastRequestHeader("/style.css", "Accept-Encoding").find("gzip"), std::string::npos);

  ASSERT_EQ(reports.size(), 10u);
  EXPECT_EQ(reports[0].text, "from " + server_.url("/a.png") + " to " + local("a.png"));
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].index, i / 2);
    EXPECT_EQ(reports[i].range, 250);
    EXPECT_EQ(reports[i].position, 50 * static_cast<int>((i + 1) / 2)) << i;
  }
}

TEST_F(Download, FailedFetchesLeaveNoFileAndKeepAnOlderOneIntact) {
  server_.serveStatus("/missing.png", 404);
  server_.serveStatus("/huge-error.png", 500, std::string(1u << 20, 'e'));
  server_.serveCutOff("/cut.bin", patterned(200000), 70000);
  server_.serve("/after.png", "after");
  testing::writeTextFile(local("cut.bin"), "older copy");
  DownloadRun run({web("/missing.png", "missing.png"), web("/huge-error.png", "huge-error.png"),
                   web("/cut.bin", "cut.bin"), web("/after.png", "after.png")});
  EXPECT_EQ(run.run(), 1u);
  EXPECT_EQ(testing::readTextFile(local("cut.bin")), "older copy");
  EXPECT_EQ(testing::readTextFile(local("after.png")), "after");
  EXPECT_EQ(companionFiles(), (std::vector<std::string>{"after.png", "cut.bin"}));
}

TEST_F(Download, CancelDuringTheThirdOfFiveLetsItFinishAndSkipsTheRest) {
  std::vector<Resource> entries;
  for (int i = 1; i <= 5; ++i) {
    const std::string name = std::to_string(i) + ".png";
    server_.serve("/" + name, "body " + name, "image/png", LoopbackServer::Milliseconds(i == 3 ? 300 : 0));
    entries.push_back(web("/" + name, name));
  }
  DownloadRun run(std::move(entries));
  // The server's thread cancels while the third request is in flight.
  server_.onRequest([&](const httplib::Request& request) {
    if (request.path == "/3.png") run.cancel();
  });
  DownloadProgress last;
  EXPECT_EQ(run.run([&](const DownloadProgress& report) { last = report; }), 3u);
  EXPECT_EQ(testing::readTextFile(local("3.png")), "body 3.png");
  EXPECT_FALSE(platform::pathExists(local("4.png")));
  EXPECT_FALSE(platform::pathExists(local("5.png")));
  EXPECT_EQ(server_.requestCount("/4.png"), 0u);
  EXPECT_EQ(last.position, 150);
  EXPECT_EQ(last.range, 250);
}

TEST_F(Download, EntriesOutsideTheirCompanionFolderAreNeverWritten) {
  server_.serve("/x.png", "x");
  testing::makeDirs(path("page.files/sub.files"));
  const std::vector<Resource> entries{
      {server_.url("/x.png"), path("x.png")},
      {server_.url("/x.png"), companion_ + "/../x.png"},
      {server_.url("/x.png"), companion_ + "/./x.png"},
      {server_.url("/x.png"), companion_ + "//x.png"},
      {server_.url("/x.png"), companion_ + "/"},
      {server_.url("/x.png"), "page.files/x.png"},
      {server_.url("/x.png"), companion_ + "/x.png" + std::string("\0.sh", 4)},
  };
  DownloadRun run(entries);
  EXPECT_EQ(run.run(), 0u);
  EXPECT_EQ(server_.requestCount(), 0u);
  EXPECT_FALSE(platform::pathExists(path("x.png")));
  EXPECT_FALSE(platform::pathExists(local("x.png")));
}

TEST_F(Download, AddressesWithBlanksAndLettersBeyondAsciiAreRequestedEncoded) {
  // Rewritten pages keep the bytes the page wrote; the request encodes them.
  // The server matches routes on the decoded path.
  server_.serve("/a b.png", "blank");
  server_.serve("/\xC3\xBC.png", "umlaut");
  DownloadRun run({web("/a b.png", "a b.png"), web("/\xC3\xBC.png", "u.png")});
  EXPECT_EQ(run.run(), 2u);
  EXPECT_EQ(testing::readTextFile(local("a b.png")), "blank");
  EXPECT_EQ(testing::readTextFile(local("u.png")), "umlaut");
}

TEST_F(Download, FetchFollowsRedirectsWithinTheLimitsAndBoundsText) {
  server_.serve("/page.htm", std::string(5000, 'p'), "text/html");
  server_.redirect("/old.png", "/new.png");
  server_.serve("/new.png", "new", "image/png");
  server_.redirect("/loop.png", "/loop.png");
  Fetcher fetcher;
  const FetchResult moved = fetcher.fetchText(server_.url("/old.png"));
  ASSERT_TRUE(moved.ok) << moved.error;
  EXPECT_EQ(moved.body, "new");
  EXPECT_EQ(moved.finalAddress, server_.url("/new.png"));
  EXPECT_EQ(moved.contentType, "image/png");
  EXPECT_FALSE(fetcher.fetchToFile(server_.url("/loop.png"), local("loop.png")).ok);
  EXPECT_FALSE(platform::pathExists(local("loop.png")));
  EXPECT_LE(server_.requestCount("/loop.png"), 12u);
  EXPECT_FALSE(fetcher.fetchText(server_.url("/page.htm"), 4999).ok);
  EXPECT_EQ(fetcher.fetchText(server_.url("/page.htm"), 5000).body.size(), 5000u);
}

TEST_F(Download, ParallelRunFetchesSideBySideWithinTheLimits) {
  // Every response waits a little, counting the requests in progress meanwhile.
  std::atomic<int> active{0};
  std::atomic<int> most{0};
  server_.onRequest([&](const httplib::Request&) {
    const int now = ++active;
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    --active;
  });
  std::vector<Resource> entries;
  std::vector<std::string> bodies;
  for (int i = 0; i < 14; ++i) {
    const std::string name = std::to_string(i) + ".png";
    bodies.push_back(patterned(i == 5 ? (2u << 20) : 1000u + 7u * static_cast<unsigned>(i)));
    server_.serve("/" + name, bodies.back(), "image/png");
    entries.push_back(web("/" + name, name));
  }
  server_.serveStatus("/missing.png", 404);
  server_.serve("/large.bin", patterned(3u << 20));
  server_.serveEndless("/endless.bin", std::string(65536, 'e'));
  entries.push_back(web("/missing.png", "missing.png"));
  entries.push_back(web("/large.bin", "large.bin"));
  entries.push_back(web("/endless.bin", "endless.bin"));
  DownloadRun run(entries);
  run.setParallelJobs(6);
  run.setMaxFileSize(2u << 20);
  std::vector<DownloadProgress> reports;
  EXPECT_EQ(run.run([&](const DownloadProgress& report) { reports.push_back(report); }), 14u);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(testing::readTextFile(local(std::to_string(i) + ".png")), bodies[i]) << i;
  EXPECT_FALSE(platform::pathExists(local("missing.png")));
  EXPECT_FALSE(platform::pathExists(local("large.bin")));
  EXPECT_FALSE(platform::pathExists(local("endless.bin")));
  EXPECT_EQ(companionFiles().size(), 14u);  // no temporary file left either
  EXPECT_TRUE(run.localFailure().empty());
  EXPECT_GT(most.load(), 1);
  EXPECT_LE(most.load(), 6);
  EXPECT_LE(server_.connectionCount(), 6u);
  ASSERT_EQ(reports.size(), 2 * entries.size());
  EXPECT_EQ(reports.back().position, run.range());

  // A cancel starts nothing more; what was started is finished.
  DownloadRun cancelled(std::vector<Resource>(entries.begin(), entries.begin() + 10));
  cancelled.setParallelJobs(6);
  const size_t before = server_.requestCount();
  EXPECT_EQ(cancelled.run([&](const DownloadProgress& report) {
    if (report.index == 2) cancelled.cancel();
  }), 3u);
  EXPECT_EQ(server_.requestCount(), before + 3);

  // A file that cannot be made here stops the run and is its failure.
  std::vector<Resource> stopping{web("/0.png", "first.png"), {server_.url("/1.png"), path("gone.files/1.png")}};
  for (int i = 2; i < 10; ++i) stopping.push_back(web("/" + std::to_string(i) + ".png", "late" + std::to_string(i)));
  DownloadRun failing(stopping);
  failing.setParallelJobs(6);
  const size_t beforeFailure = server_.requestCount();
  failing.run();
  EXPECT_FALSE(failing.localFailure().empty());
  EXPECT_LE(server_.requestCount(), beforeFailure + 1);
  for (int i = 2; i < 10; ++i) EXPECT_FALSE(platform::pathExists(local("late" + std::to_string(i)))) << i;
}

struct LocalCase {
  const char* what;
  std::string address;  // "$" stands for the temporary folder
  bool copied;
};

class LocalCopy : public testing::IsolatedTest, public ::testing::WithParamInterface<LocalCase> {};

TEST_P(LocalCopy, CopiesOnlyARegularLocalFile) {
  const LocalCase& c = GetParam();
  testing::writeTextFile(path("source/pic.png"), "picture");
  testing::makeDirs(path("source/folder"));
  ASSERT_EQ(mkfifo(path("source/fifo").c_str(), 0600), 0);
  testing::writeTextFile(path("page.files/pic.png"), "older");
  std::string address = c.address;
  if (const size_t at = address.find('$'); at != std::string::npos) address.replace(at, 1, root());

  DownloadRun run({{address, path("page.files/pic.png")}});
  EXPECT_EQ(run.run(), c.copied ? 1u : 0u) << c.what;
  EXPECT_EQ(testing::readTextFile(path("page.files/pic.png")), c.copied ? "picture" : "older") << c.what;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path("page.files")), {}), 1) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, LocalCopy,
    ::testing::Values(LocalCase{"file address", "file://$/source/pic.png", true},
                      LocalCase{"capital scheme", "FILE://$/source/pic.png", true},
                      LocalCase{"plain path", "$/source/pic.png", true},
                      LocalCase{"no percent-decoding", "file://$/source/pic%2Epng", false},
                      LocalCase{"host part is not a path", "file://localhost$/source/pic.png", false},
                      LocalCase{"other scheme is not cut to a path", "ftp://x$/source/pic.png", false},
                      LocalCase{"missing file", "file://$/source/none.png", false},
                      LocalCase{"folder", "file://$/source/folder", false},
                      LocalCase{"FIFO does not block", "file://$/source/fifo", false}));

class SecureDownload : public testing::IsolatedTest {
 protected:
  testing::DirectLoopback direct_;
};

TEST_F(SecureDownload, HttpsIsFetchedFromTheWebWithTheExtraAuthority) {
  const std::string certificate = path("loopback.crt");
  const std::string key = path("loopback.key");
  if (!testing::makeLoopbackCertificate(certificate, key)) GTEST_SKIP() << "the openssl tool is missing";
  LoopbackServer server(certificate, key);
  ASSERT_TRUE(server.start());
  server.serve("/secure.png", "secret picture", "image/png");
  testing::makeDirs(path("page.files"));
  {
    testing::ScopedEnvironment noExtra(kExtraCaFileVariable, nullptr);
    DownloadRun untrusted({{server.url("/secure.png"), path("page.files/secure.png")}});
    EXPECT_EQ(untrusted.run(), 0u);
  }
  testing::ScopedEnvironment extra(kExtraCaFileVariable, certificate.c_str());
  DownloadRun run({{server.url("/secure.png"), path("page.files/secure.png")}});
  EXPECT_EQ(run.run(), 1u);
  EXPECT_EQ(testing::readTextFile(path("page.files/secure.png")), "secret picture");
  EXPECT_EQ(server.requestCount("/secure.png"), 1u);
}

}  // namespace
}  // namespace velkin::capture
