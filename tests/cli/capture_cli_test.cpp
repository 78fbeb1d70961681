// velkin capture, run as a user runs it, against pages served on 127.0.0.1:
// what lands on disk (page, header lines, companion files, rewritten
// references, absolute hyperlinks), and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/support/capture_fixture.h"
#include "capture/clipboard_html.h"
#include "capture/document_capture.h"
#include "capture/html_serializer.h"
#include "capture/page_capture.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace velkin {
namespace {

using testing::LoopbackServer;
using testing::ProgramRun;
using testing::readTextFile;
using testing::runProgram;

using testing::CaptureCli;
using testing::kMainPage;

// How a captured copy of the main page starts: its document type declaration
// stays first, so the page keeps its standards mode, then the header.
std::string doctypeAndHeader(const std::string& address) {
  return "<!DOCTYPE html>\r\n" + kb::captureHeader(address);
}

TEST_F(CaptureCli, WebPageWithItsResources) {
  const ProgramRun run = velkin({url("/site/main.html"), "--into", "News", "--types", "zip"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = news() + "/Main Page.htm";
  EXPECT_EQ(run.out, page + "\n");
  EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no progress bar when standard error is not a terminal";

  const std::string companion = news() + "/Main Page.files";
  EXPECT_EQ(filesIn(companion),
            (std::vector<std::string>{"a.png", "b.png", "bg.gif", "movie.swf", "report.zip", "site.css"}));
  EXPECT_EQ(readTextFile(companion + "/site.css"), "body { color: red }");
  EXPECT_EQ(readTextFile(companion + "/b.png"), "png B");
  EXPECT_EQ(readTextFile(companion + "/report.zip"), "PK zip");

  const std::string text = readTextFile(page);
  EXPECT_EQ(text.rfind(doctypeAndHeader(url("/site/main.html")) + capture::kUtf8MetaLine + "<HTML><HEAD><TITLE>Main Page", 0),
            0u)
      << text;
  const ProgramRun meta = runProgram({VELKIN_CLI_PATH, "--book", book(), "meta", page});
  EXPECT_EQ(meta.out, platform::toAsciiUpper(url("/site/main.html")) + "\n") << meta.err;
  for (const std::string& expected :
       {std::string("<LINK rel=stylesheet href=\"Main Page.files/site.css\">"),
        std::string("<BODY background=\"Main Page.files/bg.gif\">"),
        std::string("<IMG src=\"Main Page.files/a.png\" alt=A>"),
        std::string("<IMG alt=B src=\"Main Page.files/b.png\">"),
        std::string("<PARAM NAME=\"Src\" VALUE=\"Main Page.files/movie.swf\">"),
        std::string("<A href=\"Main Page.files/report.zip\">report</A>"),
        "<A href=\"" + url("/site/files/paper.pdf") + "\">paper</A>",
        "<A href=\"" + url("/site/other.html") + "\">next</A>"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  // Hyperlinks are made absolute, never fetched.
  EXPECT_EQ(server_.requestCount("/site/files/paper.pdf"), 0u);
  EXPECT_EQ(server_.requestCount("/site/other.html"), 0u);
}

TEST_F(CaptureCli, AnyNumberOfJobsCapturesTheSameFiles) {
  const std::string companion = news() + "/one.files";
  ASSERT_EQ(velkin({url("/site/main.html"), "--into", "News", "--types", "zip", "--name", "one", "--jobs", "1"}).status,
            0);
  const std::vector<std::string> files = filesIn(companion);
  EXPECT_EQ(files.size(), 6u);
  for (const char* jobs : {"2", "64"}) {
    const std::string name = std::string("jobs") + jobs;
    const ProgramRun run = velkin({url("/site/main.html"), "--into", "News", "--types", "zip", "--name", name, "--jobs", jobs});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(filesIn(news() + "/" + name + ".files"), files) << jobs;
    for (const std::string& file : files) {
      EXPECT_EQ(readTextFile(news() + "/" + name + ".files/" + file), readTextFile(companion + "/" + file)) << file;
    }
  }
}

TEST_F(CaptureCli, FramesAreFetchedAndTheTitleMadeAFileName) {
  const ProgramRun run = velkin({url("/site/frames.html"), "--into", "/", "--quiet"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = book() + "/Left - Right frames.htm";
  EXPECT_EQ(run.out, page + "\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(filesIn(book() + "/Left - Right frames.files"), (std::vector<std::string>{"left.html", "right.html"}));
  EXPECT_NE(readTextFile(page).find("<FRAMESET cols=50%,*><FRAME src=\"Left - Right frames.files/left.html\">"
                                    "<FRAME src=\"Left - Right frames.files/right.html\"></FRAMESET>"),
            std::string::npos)
      << readTextFile(page);
}

TEST_F(CaptureCli, BaseAddressIsTheAddressAfterRedirects) {
  server_.redirect("/latest", url("/site/main.html"));
  const ProgramRun run = velkin({url("/latest"), "--into", "News", "--name", "latest", "--quiet"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readTextFile(news() + "/latest.htm").rfind(doctypeAndHeader(url("/site/main.html")), 0), 0u);
  EXPECT_EQ(readTextFile(news() + "/latest.files/a.png"), "png A");
}

TEST_F(CaptureCli, PagesOfOtherCharacterSetsAreSavedAsUtf8) {
  // "Caf\xE9" in Latin-1, declared by the server; the page's own META says so too.
  server_.serve("/site/latin.html",
                "<html><head><meta charset=iso-8859-1><title>Caf\xE9</title></head><body>na\xEFve</body></html>",
                "text/html; charset=ISO-8859-1");
  const ProgramRun run = velkin({url("/site/latin.html"), "--into", "News", "--quiet"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = readTextFile(book() + "/News/Caf\xC3\xA9.htm");
  EXPECT_NE(page.find("na\xC3\xAFve"), std::string::npos) << page;
  // The UTF-8 declaration comes before the one the page brought along.
  EXPECT_LT(page.find(capture::kUtf8MetaLine), page.find("iso-8859-1"));
}

TEST_F(CaptureCli, MissingPageFailsAndWritesNothing) {
  server_.serveStatus("/site/gone.html", 404);
  const ProgramRun run = velkin({url("/site/gone.html"), "--into", "News"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("velkin: cannot fetch " + url("/site/gone.html")), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(filesIn(news()).empty());
}

TEST_F(CaptureCli, ExistingPageIsReplacedOnlyWithOverwrite) {
  testing::writeTextFile(news() + "/kept.htm", "my own notes");
  const ProgramRun refused = velkin({url("/site/main.html"), "--into", "News", "--name", "kept"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("--overwrite"), std::string::npos) << refused.err;
  EXPECT_EQ(readTextFile(news() + "/kept.htm"), "my own notes");
  EXPECT_EQ(filesIn(news()), std::vector<std::string>{"kept.htm"});
  EXPECT_EQ(server_.requestCount("/site/img/a.png"), 0u);

  const ProgramRun replaced = velkin({url("/site/main.html"), "--into", "News", "--name", "kept", "--overwrite"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_NE(readTextFile(news() + "/kept.htm").find("kept.files/a.png"), std::string::npos);
}

TEST_F(CaptureCli, LocalFileIsCapturedFromItsOwnFolder) {
  testing::writeTextFile(path("src/page.html"), "<p><img src=\"pics/x.png\" alt=x> <a href=\"more.html\">m</a></p>");
  testing::writeTextFile(path("src/pics/x.png"), "png X");
  const ProgramRun run = velkin({path("src/page.html"), "--into", "News"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = news() + "/New File.htm";
  EXPECT_EQ(run.out, page + "\n");
  const std::string text = readTextFile(page);
  EXPECT_EQ(text.rfind(kb::captureHeader(path("src/page.html")), 0), 0u) << text;
  EXPECT_NE(text.find("<IMG src=\"New File.files/x.png\" alt=x>"), std::string::npos) << text;
  EXPECT_NE(text.find("<A href=\"" + path("src/more.html") + "\">m</A>"), std::string::npos) << text;
  EXPECT_EQ(readTextFile(news() + "/New File.files/x.png"), "png X");
}

TEST_F(CaptureCli, StandardInputTakesItsAddressFromUrl) {
  testing::writeTextFile(path("input.html"), kMainPage);
  const ProgramRun run =
      velkinReading(path("input.html"), {"-", "--into", "News", "--url", url("/site/main.html"), "--name", "piped"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readTextFile(news() + "/piped.htm").rfind(doctypeAndHeader(url("/site/main.html")), 0), 0u);
  EXPECT_EQ(readTextFile(news() + "/piped.files/a.png"), "png A");
  EXPECT_EQ(server_.requestCount("/site/main.html"), 0u);
}

TEST_F(CaptureCli, TextIsKeptAsPlainText) {
  const ProgramRun run = velkin({url("/site/main.html"), "--into", "News", "--text", "--name", "raw.txt"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readTextFile(news() + "/raw.txt.htm"),
            kb::captureHeader(url("/site/main.html")) + "<HTML>" + kMainPage + "</HTML>");
  EXPECT_EQ(server_.requestCount("/site/img/a.png"), 0u);
}

// What completion would add, on a page the first pass also reads.
constexpr char kRichPage[] = R"~(<!DOCTYPE html><html><head><title>Rich</title>
<link rel="stylesheet" href="css/site.css"><style>.s { background: url(img/style.png) }</style></head>
<body><img src="img/a.png" srcset="img/set2.png 2x"><iframe src="left.html"></iframe>
<script src="js/app.js"></script><div style="background: url('img/div.png')">x</div></body></html>)~";

TEST_F(CaptureCli, PlainAndTheSettingKeepToTheFirstPassByteForByte) {
  server_.serve("/site/rich.html", kRichPage, "text/html");
  for (const char* where : {"/site/img/set2.png", "/site/img/style.png", "/site/img/div.png", "/site/js/app.js"}) {
    server_.serve(where, "completion only");
  }
  const std::string address = url("/site/rich.html");
  // The first pass alone, done the literal way, as the saved page must be.
  const auto firstPass = [&](const std::string& name, std::set<std::string>& files) {
    capture::CPageCapture job;
    job.setRewriteStrategy(capture::RewriteStrategy::kLiteral);
    job.setUp(capture::withUtf8Declaration(capture::serializeHtml(kRichPage)), capture::kCaptureHtml,
              news() + "/" + name + ".htm", address, {});
    EXPECT_EQ(job.scanAndRewrite(), 1);
    for (const capture::Resource& resource : job.resources()) files.insert(std::string(platform::baseName(resource.localPath)));
    return kb::withCaptureHeader(kb::captureHeader(address), job.pageHtml());
  };

  ASSERT_EQ(velkin({address, "--into", "News", "--name", "plain", "--plain"}).status, 0);
  ASSERT_EQ(runProgram({VELKIN_CLI_PATH, "registry", "set", "HKLM\\SOFTWARE\\Kestrova", "CompleteCapture", "0",
                        "--dword"})
                .status,
            0);
  ASSERT_EQ(velkin({address, "--into", "News", "--name", "setting"}).status, 0);
  for (const std::string name : {"plain", "setting"}) {
    std::set<std::string> files;
    EXPECT_EQ(readTextFile(news() + "/" + name + ".htm"), firstPass(name, files)) << name;
    const std::vector<std::string> saved = filesIn(news() + "/" + name + ".files");
    EXPECT_EQ(std::set<std::string>(saved.begin(), saved.end()), files) << name;
  }
  for (const char* where : {"/site/img/set2.png", "/site/img/style.png", "/site/img/div.png", "/site/js/app.js"}) {
    EXPECT_EQ(server_.requestCount(where), 0u) << where;
  }
}

class CaptureCliBadArguments : public CaptureCli, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(CaptureCliBadArguments, AreAUsageError) {
  std::vector<std::string> args = GetParam();
  for (std::string& arg : args) {
    if (arg == "URL") arg = url("/site/main.html");
  }
  const ProgramRun run = velkin(args);
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("velkin: capture: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("usage:"), std::string::npos);
  EXPECT_TRUE(filesIn(news()).empty());
  EXPECT_EQ(server_.requestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    CaptureCli, CaptureCliBadArguments,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"URL"},
                      std::vector<std::string>{"URL", "--into"},
                      std::vector<std::string>{"URL", "other", "--into", "News"},
                      std::vector<std::string>{"URL", "--into", "News", "--bogus"},
                      std::vector<std::string>{"URL", "--into", "News", "--name", "a/b"},
                      std::vector<std::string>{"URL", "--into", "News", "--name", ".."},
                      std::vector<std::string>{"URL", "--into", "News", "--name", ""},
                      std::vector<std::string>{"URL", "--into", "News", "--max-file-size", "12X"},
                      std::vector<std::string>{"URL", "--into", "News", "--max-file-size", "0"},
                      std::vector<std::string>{"URL", "--into", "News", "--jobs", "0"},
                      std::vector<std::string>{"URL", "--into", "News", "--jobs", "65"},
                      std::vector<std::string>{"URL", "--into", "News", "--jobs", "-1"},
                      std::vector<std::string>{"URL", "--into", "News", "--jobs", "4x"},
                      std::vector<std::string>{"URL", "--into", "News", "--jobs", ""},
                      std::vector<std::string>{"URL", "--into", "News", "--jobs"}));

class CaptureCliBadCategory : public CaptureCli, public ::testing::WithParamInterface<const char*> {};

TEST_P(CaptureCliBadCategory, IsRefusedBeforeFetching) {
  testing::makeDirs(news() + "/old.files");
  testing::makeDirs(path("elsewhere"));
  std::string category = GetParam();
  if (category == "ELSEWHERE") category = path("elsewhere");
  const ProgramRun run = velkin({url("/site/main.html"), "--into", category});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("velkin: "), std::string::npos);
  EXPECT_EQ(filesIn(news()), std::vector<std::string>{"old.files"});
  EXPECT_TRUE(filesIn(path("elsewhere")).empty());
  EXPECT_EQ(server_.requestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(CaptureCli, CaptureCliBadCategory,
                         ::testing::Values("Missing", "News/old.files", "../elsewhere", "ELSEWHERE"));

}  // namespace
}  // namespace velkin
