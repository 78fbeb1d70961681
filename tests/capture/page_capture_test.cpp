// The capture job: setting up, resolving addresses, naming local files,
// scanning and rewriting a page, and saving it. Disk checks use real
// temporary folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture/address.h"
#include "capture/clipboard_html.h"
#include "capture/page_capture.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::capture {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Addresses

TEST(WebAddress, HttpAndHttpsAnywhereInTheText) {
  EXPECT_TRUE(isWebAddress("http://ex.com/"));
  EXPECT_TRUE(isWebAddress("https://ex.com/"));
  EXPECT_TRUE(isWebAddress("view-source:https://ex.com/"));
  EXPECT_FALSE(isWebAddress("HTTP://EX.COM/"));
  EXPECT_FALSE(isWebAddress("ftp://ex.com/"));
  EXPECT_FALSE(isWebAddress("/home/a/p.htm"));
  EXPECT_FALSE(isWebAddress(""));
}

struct ResolveCase {
  const char* base;
  const char* value;
  const char* expected;  // nullptr: resolution fails
};

void PrintTo(const ResolveCase& c, std::ostream* out) {
  *out << "[" << c.base << "] + [" << c.value << "]";
}

class Resolving : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(Resolving, GivesTheExpectedAddress) {
  const ResolveCase& c = GetParam();
  const auto resolved = resolveAddress(c.base, c.value);
  if (c.expected == nullptr) {
    EXPECT_FALSE(resolved.has_value()) << *resolved;
  } else {
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(*resolved, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Resolving,
    ::testing::Values(
        // Empty input fails.
        ResolveCase{"", "a.gif", nullptr}, ResolveCase{"http://ex.com/", "", nullptr},
        // Absolute values are kept as they are, https as well as http.
        ResolveCase{"http://ex.com/d/p.htm", "http://other.org/x.gif", "http://other.org/x.gif"},
        ResolveCase{"http://ex.com/d/p.htm", "https://other.org/x.gif", "https://other.org/x.gif"},
        ResolveCase{"/pages/p.htm", "see http://x.org/a b", "see http://x.org/a b"},
        ResolveCase{"http://ex.com/d/p.htm", "C:\\pics\\a.gif", "C:\\pics\\a.gif"},
        // Web bases: RFC 3986 resolution, http and https alike.
        ResolveCase{"http://ex.com/F/page.htm", "images/a.gif", "http://ex.com/F/images/a.gif"},
        ResolveCase{"https://ex.com/F/page.htm", "images/a.gif", "https://ex.com/F/images/a.gif"},
        ResolveCase{"http://ex.com/a/b/p.htm", "../../../x.gif", "http://ex.com/x.gif"},
        ResolveCase{"http://ex.com/a/b/p.htm", "/abs/x.gif", "http://ex.com/abs/x.gif"},
        ResolveCase{"http://ex.com/a/b/p.htm", "//cdn.ex.org/x.gif", "http://cdn.ex.org/x.gif"},
        ResolveCase{"http://ex.com/a/b/p.htm?x=1#f", "?q=2", "http://ex.com/a/b/p.htm?q=2"},
        ResolveCase{"http://ex.com/a/b/p.htm?x=1#f", "#top", "http://ex.com/a/b/p.htm?x=1#top"},
        ResolveCase{"http://ex.com", "a.gif", "http://ex.com/a.gif"},
        ResolveCase{"https://ex.com:8443/a/", "ftp://files.ex.com/x.zip", "ftp://files.ex.com/x.zip"},
        // Nothing is percent-encoded or otherwise altered: blanks, "%",
        // non-ASCII letters and the scheme's letters stay as written.
        ResolveCase{"http://ex.com/d/p.htm", "my pic.gif", "http://ex.com/d/my pic.gif"},
        ResolveCase{"http://ex.com/d/p.htm", "a%20b.gif?q=a b#c d", "http://ex.com/d/a%20b.gif?q=a b#c d"},
        ResolveCase{"http://ex.com/d/p.htm", "\xc3\xa9t\xc3\xa9.gif", "http://ex.com/d/\xc3\xa9t\xc3\xa9.gif"},
        ResolveCase{"http://ex.com/d e/p.htm", "x.gif", "http://ex.com/d e/x.gif"},
        ResolveCase{"http://ex.com/d/p.htm", "%2e%2e/x.gif", "http://ex.com/d/%2e%2e/x.gif"},
        ResolveCase{"http://ex.com/d/p.htm", "a%~41.gif", "http://ex.com/d/a%~41.gif"},
        ResolveCase{"http://ex.com/d/p.htm", "HTTPS://Ex.Org/X.gif", "HTTPS://Ex.Org/X.gif"},
        // A combination the URL parser refuses is a resolution failure.
        ResolveCase{"http://ex.com/d/p.htm", "mailto:someone@ex.com", nullptr},
        ResolveCase{"http://ex.com/d/p.htm", "javascript:go()", nullptr},
        ResolveCase{"http://ex.com/d/p.htm", "//", nullptr},
        ResolveCase{"http://ex.com/d/p.htm", "a\tb.gif", nullptr},
        ResolveCase{"http://bad host/d/p.htm", "x.gif", nullptr},
        // data: references are never resolved (nor fetched).
        ResolveCase{"http://ex.com/d/p.htm", "data:image/png;base64,AAAA", nullptr},
        ResolveCase{"/pages/p.htm", "DATA:text/plain,http://ex.com/x", nullptr},
        // Path bases: folder arithmetic.
        ResolveCase{"/pages/sub/p.htm", "../img/a.gif", "/pages/img/a.gif"},
        ResolveCase{"C:\\pages\\sub\\p.htm", "../img/a.gif", "C:\\pages\\img/a.gif"},
        ResolveCase{"C:\\pages\\sub\\p.htm", "a.gif", "C:\\pages\\sub\\a.gif"},
        ResolveCase{"/pages/sub/p.htm", "/x.gif", "/pages/sub/x.gif"},
        ResolveCase{"/pages/sub/p.htm", "../../../../x.gif", "/x.gif"},
        ResolveCase{"C:\\pages\\p.htm", "../../../x.gif", "C:\\x.gif"},
        // ".." anywhere counts, and takes one letter more with it.
        ResolveCase{"/pages/sub/p.htm", "a..b.gif", "/pages/.gif"},
        ResolveCase{"HTTP://EX.COM/A/p.htm", "x.gif", "HTTP://EX.COM/A/x.gif"},
        ResolveCase{"relative", "x.gif", nullptr}));

TEST(Resolving, ResultsLongerThanTheLimitFail) {
  const std::string base = "http://ex.com/d/p.htm";
  const std::string fits(kMaxResolvedAddress - std::string("http://ex.com/d/").size(), 'a');
  const auto resolved = resolveAddress(base, fits);
  ASSERT_TRUE(resolved.has_value());
  EXPECT_EQ(resolved->size(), kMaxResolvedAddress);
  EXPECT_FALSE(resolveAddress(base, fits + "b").has_value());
  EXPECT_FALSE(resolveAddress("/pages/p.htm", std::string(kMaxResolvedAddress, 'x')).has_value());
}

struct NameCase {
  const char* address;
  const char* expected;  // nullptr: no name
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << "[" << c.address << "]"; }

class Naming : public ::testing::TestWithParam<NameCase> {};

TEST_P(Naming, GivesTheExpectedFileName) {
  const NameCase& c = GetParam();
  const auto name = localFileName(c.address);
  if (c.expected == nullptr) {
    EXPECT_FALSE(name.has_value()) << *name;
  } else {
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(*name, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Naming,
    ::testing::Values(NameCase{"http://ex.com/F/images/a.gif", "a.gif"},
                      NameCase{"http://ex.com/F/my%20pic%20.gif", "my pic .gif"},
                      NameCase{"http://ex.com/show.asp?id=3", "show.htm"},
                      NameCase{"http://ex.com/list?x=1", "list.htm"},
                      NameCase{"http://ex.com/a.b.c?x", "a.htm"},
                      NameCase{"http://ex.com/my%20list?x", "my list.htm"},
                      NameCase{"http://ex.com/?x=1", ".htm"},
                      NameCase{"http://ex.com/x.gif#top", "x.gif#top"},
                      NameCase{"/pages/img/a.gif", "a.gif"},
                      // No name at all.
                      NameCase{"", nullptr}, NameCase{"a.gif", nullptr}, NameCase{"C:\\pages\\a.gif", nullptr},
                      NameCase{"?x=1", nullptr}, NameCase{"list?x=/a/b", nullptr},
                      NameCase{"http://ex.com/F/", nullptr},
                      // Never ".", "..", a separator or NUL.
                      NameCase{"http://ex.com/F/..", nullptr}, NameCase{"http://ex.com/F/.", nullptr},
                      NameCase{"http://ex.com/a\\..\\..\\x.gif", nullptr},
                      NameCase{"http://ex.com/F/..?x=1", ".htm"}, NameCase{"http://ex.com/F/.?x", ".htm"},
                      // Percent tricks stay literal names (only %20 is decoded).
                      NameCase{"http://ex.com/F/%2e%2e", "%2e%2e"},
                      NameCase{"http://ex.com/F/..%2F..%2Fetc", "..%2F..%2Fetc"},
                      NameCase{"http://ex.com/F/%20..", " .."}));

TEST(Naming, NulInTheNameGivesNoName) {
  EXPECT_FALSE(localFileName(std::string("http://ex.com/a\0b.gif", 21)).has_value());
}

// ---------------------------------------------------------------------------
// Setting up

TEST(PageCaptureSetUp, DerivesPageFolderAndCompanionFolderName) {
  CPageCapture job;
  job.setUp("x", kCaptureHtml, "/kb/Cat/page.name.htm", "http://ex.com/", {"zip"});
  EXPECT_EQ(job.pageFolder(), "/kb/Cat");
  EXPECT_EQ(job.companionFolderName(), "page.name.files");
  EXPECT_EQ(job.baseAddress(), "http://ex.com/");
  EXPECT_EQ(job.fileTypes(), std::vector<std::string>{"zip"});

  job.setUp("x", kCaptureHtml, "/kb/Cat.d/page", "", {});
  EXPECT_EQ(job.pageFolder(), "/kb/Cat.d");
  EXPECT_EQ(job.companionFolderName(), "page.files");

  job.setUp("x", kCaptureHtml, "/p.htm", "", {});
  EXPECT_EQ(job.pageFolder(), "");
  EXPECT_EQ(job.companionFolderName(), "p.files");

  // A bare file name lives in the current folder, never in the root.
  job.setUp("x", kCaptureHtml, "p.htm", "", {});
  EXPECT_EQ(job.pageFolder(), ".");
}

// ---------------------------------------------------------------------------
// Scanning and rewriting

class PageCaptureTest : public ::testing::Test {
 protected:
  std::string pagePath() const { return folder_ / "p.htm"; }
  std::string companion() const { return folder_ / "p.files"; }

  // Scans html (mode 3) and returns the status.
  int scan(const std::string& html, const std::string& base = "http://ex.com/F/page.htm",
           std::vector<std::string> types = {}) {
    job_.setUp(html, kCaptureHtml, pagePath(), base, std::move(types));
    return job_.scanAndRewrite();
  }

  testing::TempFolder folder_;
  CPageCapture job_;
};

TEST_F(PageCaptureTest, UpperCaseImgWithDoubleQuotedSrcAmongOtherAttributes) {
  ASSERT_EQ(scan("<P>x</P><IMG alt=\"pic\" src=\"images/a.gif\" width=10 border=0>"), 1);
  EXPECT_EQ(job_.pageHtml(), "<P>x</P><IMG alt=\"pic\" src=\"p.files/a.gif\" width=10 border=0>");
  ASSERT_EQ(job_.resourceCount(), 1u);
  EXPECT_EQ(job_.address(0), "http://ex.com/F/images/a.gif");
  EXPECT_EQ(job_.localPath(0), companion() + "/a.gif");
  EXPECT_TRUE(fs::is_directory(companion()));
}

TEST_F(PageCaptureTest, UnquotedSrcAsLastAttributeIsLeftAlone) {
  const std::string html = "<IMG alt=x src=images/a.gif>";
  ASSERT_EQ(scan(html), 1);
  EXPECT_EQ(job_.pageHtml(), html);
  EXPECT_EQ(job_.resourceCount(), 0u);
  EXPECT_FALSE(fs::exists(companion()));
}

TEST_F(PageCaptureTest, UnquotedBackgroundFollowedByAnotherAttributeIsQuoted) {
  ASSERT_EQ(scan("<BODY background=img/bg.gif text=black>"), 1);
  EXPECT_EQ(job_.pageHtml(), "<BODY background=\"p.files/bg.gif\" text=black>");
  ASSERT_EQ(job_.resourceCount(), 1u);
  EXPECT_EQ(job_.address(0), "http://ex.com/F/img/bg.gif");
}

TEST_F(PageCaptureTest, UnquotedSrcFollowedByAnotherAttributeStaysUnquoted) {
  ASSERT_EQ(scan("<IMG src=a.gif width=1>"), 1);
  EXPECT_EQ(job_.pageHtml(), "<IMG src=p.files/a.gif width=1>");
}

TEST_F(PageCaptureTest, RelativeHyperlinkBecomesAbsoluteWithoutDownloadButTheFolderExists) {
  ASSERT_EQ(scan("<A href=\"sub/next.htm\">next</A> <AREA shape=rect href='map.htm' >"), 1);
  EXPECT_EQ(job_.pageHtml(),
            "<A href=\"http://ex.com/F/sub/next.htm\">next</A> <AREA shape=rect href='http://ex.com/F/map.htm' >");
  EXPECT_EQ(job_.resourceCount(), 0u);
  EXPECT_TRUE(fs::is_directory(companion()));
  EXPECT_TRUE(fs::is_empty(companion()));
}

TEST_F(PageCaptureTest, HyperlinkWithoutAFileNameIsRewrittenButMakesNoFolder) {
  ASSERT_EQ(scan("<A href=\"/\">home</A>"), 1);
  EXPECT_EQ(job_.pageHtml(), "<A href=\"http://ex.com/\">home</A>");
  EXPECT_FALSE(fs::exists(companion()));
}

TEST_F(PageCaptureTest, HyperlinkToAChosenFileTypeIsDownloaded) {
  ASSERT_EQ(scan("<A href=\"files/x.ZIP\">zip</A><A href=\"doc.pdf\">pdf</A>", "http://ex.com/F/page.htm", {"zip"}),
            1);
  EXPECT_EQ(job_.pageHtml(), "<A href=\"p.files/x.ZIP\">zip</A><A href=\"http://ex.com/F/doc.pdf\">pdf</A>");
  ASSERT_EQ(job_.resourceCount(), 1u);
  EXPECT_EQ(job_.address(0), "http://ex.com/F/files/x.ZIP");
  EXPECT_EQ(job_.localPath(0), companion() + "/x.ZIP");
}

TEST_F(PageCaptureTest, FileTypesCompareWithoutCase) {
  ASSERT_EQ(scan("<A href=\"a.zip\">", "http://ex.com/", {"ZIP"}), 1);
  EXPECT_EQ(job_.pageHtml(), "<A href=\"p.files/a.zip\">");
  // A value without a dot has no extension, whatever the types.
  ASSERT_EQ(scan("<A href=\"zip\">", "http://ex.com/", {"zip", ""}), 1);
  EXPECT_EQ(job_.pageHtml(), "<A href=\"http://ex.com/zip\">");
  EXPECT_EQ(job_.resourceCount(), 0u);
}

TEST_F(PageCaptureTest, SecondScanLeavesRewrittenReferencesAlone) {
  const std::string html =
      "<IMG src=\"a.gif\"><A href=\"x.htm\">x</A><A href=\"f.zip\">z</A><BODY background=bg.gif x>"
      "<PARAM NAME=\"Src\" VALUE=\"m.swf\">";
  ASSERT_EQ(scan(html, "http://ex.com/F/page.htm", {"zip"}), 1);
  EXPECT_EQ(job_.resourceCount(), 4u);
  const std::string once = job_.pageHtml();
  ASSERT_EQ(scan(once, "http://ex.com/F/page.htm", {"zip"}), 1);
  EXPECT_EQ(job_.pageHtml(), once);
  EXPECT_EQ(job_.resourceCount(), 0u);
}

TEST_F(PageCaptureTest, WindowsPathBaseWithABareFileNameIsLeftAlone) {
  const std::string html = "<IMG src=\"a.gif\">";
  ASSERT_EQ(scan(html, "C:\\pages\\sub\\p.htm"), 1);
  EXPECT_EQ(job_.pageHtml(), html);
  EXPECT_EQ(job_.resourceCount(), 0u);
  EXPECT_FALSE(fs::exists(companion()));
}

TEST_F(PageCaptureTest, SlashPathBaseNamesABareFileName) {
  // On this platform a path base joins with "/", so the result has a name.
  ASSERT_EQ(scan("<IMG src=\"a.gif\">", "/pages/sub/p.htm"), 1);
  EXPECT_EQ(job_.pageHtml(), "<IMG src=\"p.files/a.gif\">");
  ASSERT_EQ(job_.resourceCount(), 1u);
  EXPECT_EQ(job_.address(0), "/pages/sub/a.gif");
}

TEST_F(PageCaptureTest, PathBaseWithParentFolderReference) {
  ASSERT_EQ(scan("<IMG src=\"../img/a.gif\">", "/pages/sub/p.htm"), 1);
  ASSERT_EQ(job_.resourceCount(), 1u);
  EXPECT_EQ(job_.address(0), "/pages/img/a.gif");
  EXPECT_EQ(job_.localPath(0), companion() + "/a.gif");
}

TEST_F(PageCaptureTest, TwoIdenticalTagsGiveOneEntry) {
  ASSERT_EQ(scan("<IMG src=\"a.gif\"> and <IMG src=\"a.gif\">"), 1);
  EXPECT_EQ(job_.pageHtml(), "<IMG src=\"p.files/a.gif\"> and <IMG src=\"p.files/a.gif\">");
  EXPECT_EQ(job_.resourceCount(), 1u);
}

TEST_F(PageCaptureTest, TwoDifferentTagsForOnePictureGiveTwoEntriesForOneFile) {
  ASSERT_EQ(scan("<IMG src=\"a.gif\"> and <IMG alt=\"\" src=\"a.gif\">"), 1);
  EXPECT_EQ(job_.pageHtml(), "<IMG src=\"p.files/a.gif\"> and <IMG alt=\"\" src=\"p.files/a.gif\">");
  ASSERT_EQ(job_.resourceCount(), 2u);
  EXPECT_EQ(job_.address(0), job_.address(1));
  EXPECT_EQ(job_.localPath(0), job_.localPath(1));
}

TEST_F(PageCaptureTest, EveryPatternIsRewritten) {
  ASSERT_EQ(scan("<FRAME src=\"f.htm\"><IMG src='i.gif'><LINK rel=stylesheet href=\"s.css\">"
                 "<INPUT type=image src=\"b.gif\"><TD background='t.gif'><BGSOUND backsound=s.wav loop=1>"
                 "<PARAM NAME=\"Src\" VALUE=\"m.swf\"><PARAM NAME=\"src\" VALUE=\"n.swf\">"),
            1);
  EXPECT_EQ(job_.pageHtml(),
            "<FRAME src=\"p.files/f.htm\"><IMG src='p.files/i.gif'><LINK rel=stylesheet href=\"p.files/s.css\">"
            "<INPUT type=image src=\"p.files/b.gif\"><TD background='p.files/t.gif'>"
            "<BGSOUND backsound=\"p.files/s.wav\" loop=1>"
            "<PARAM NAME=\"Src\" VALUE=\"p.files/m.swf\"><PARAM NAME=\"src\" VALUE=\"n.swf\">");
  ASSERT_EQ(job_.resourceCount(), 7u);
  // In pattern order, not page order.
  EXPECT_EQ(job_.address(0), "http://ex.com/F/f.htm");
  EXPECT_EQ(job_.address(6), "http://ex.com/F/m.swf");
}

TEST_F(PageCaptureTest, SearchesAreCaseSensitive) {
  const std::string html = "<img src=\"a.gif\"><IMG SRC=\"b.gif\"><a href=\"x.htm\">";
  ASSERT_EQ(scan(html), 1);
  EXPECT_EQ(job_.pageHtml(), html);
}

TEST_F(PageCaptureTest, TagWithoutClosingBracketIsLeftAlone) {
  const std::string html = "<IMG src=\"a.gif\"";
  ASSERT_EQ(scan(html), 1);
  EXPECT_EQ(job_.pageHtml(), html);
}

TEST_F(PageCaptureTest, HttpsBaseAndHttpsValuesAreWebAddresses) {
  ASSERT_EQ(scan("<IMG src=\"img/x.gif\"><IMG src=\"https://cdn.ex.org/y.gif\">", "https://ex.com/a/p.htm"), 1);
  ASSERT_EQ(job_.resourceCount(), 2u);
  EXPECT_EQ(job_.address(0), "https://ex.com/a/img/x.gif");
  EXPECT_EQ(job_.address(1), "https://cdn.ex.org/y.gif");
  EXPECT_EQ(job_.pageHtml(), "<IMG src=\"p.files/x.gif\"><IMG src=\"p.files/y.gif\">");
}

TEST_F(PageCaptureTest, DataUrisAreLeftAsTheyAre) {
  const std::string html =
      "<IMG src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\"><A href=\"DATA:text/html,<b>http://x/</b>\">"
      "<BODY background='data:image/png;base64,AA' x>";
  ASSERT_EQ(scan(html, "http://ex.com/F/page.htm", {"gif", "png"}), 1);
  EXPECT_EQ(job_.pageHtml(), html);
  EXPECT_EQ(job_.resourceCount(), 0u);
  EXPECT_FALSE(fs::exists(companion()));
}

TEST_F(PageCaptureTest, UnresolvableReferencesAreLeftAlone) {
  const std::string longValue(kMaxResolvedAddress, 'a');
  const std::string html = "<A href=\"mailto:a@ex.com\"><IMG src=\"//\"><IMG src=\"" + longValue + ".gif\">";
  ASSERT_EQ(scan(html), 1);
  EXPECT_EQ(job_.pageHtml(), html);
  EXPECT_EQ(job_.resourceCount(), 0u);
}

TEST_F(PageCaptureTest, AddressWithoutAFileNameIsSkipped) {
  const std::string html = "<IMG src=\"dir/\"><FRAME src=\"http://ex.com/\">";
  ASSERT_EQ(scan(html), 1);
  EXPECT_EQ(job_.pageHtml(), html);
  EXPECT_EQ(job_.resourceCount(), 0u);
}

TEST_F(PageCaptureTest, QueryAddressesGiveHtmFiles) {
  ASSERT_EQ(scan("<FRAME src=\"show.asp?id=3\"><FRAME src=\"list?x=1\">"), 1);
  EXPECT_EQ(job_.pageHtml(), "<FRAME src=\"p.files/show.htm\"><FRAME src=\"p.files/list.htm\">");
  ASSERT_EQ(job_.resourceCount(), 2u);
  EXPECT_EQ(job_.address(0), "http://ex.com/F/show.asp?id=3");
  EXPECT_EQ(job_.localPath(1), companion() + "/list.htm");
}

// Hostile references, made up on the fly: whatever comes of them, every
// local path is one plain name inside the companion folder.
TEST_F(PageCaptureTest, HostileNamesNeverLeaveTheCompanionFolder) {
  const std::vector<std::string> values = {
      "../",        "..",          "../../../../etc/passwd", "%2e%2e",      "%2e%2e/",     "%2e%2e%2f%2e%2e",
      "a/..",       "..?x=1",      ".?x=1",                  "?x",          "..%2F..%2Fx", "%20..",
      "/",          "//evil.org/", "\\..\\..\\x",            "a\\..\\b",    "./",          ".",
      "http://ex.com/a/..",        "http://ex.com/a/..?x=1", "http://ex.com/a/.", "http://ex.com/a\\..\\..\\x",
      "http://ex.com/%2F..",       "..\\..\\x.gif",          "..%00.gif",   "file:///etc/passwd",
  };
  const std::vector<std::string> bases = {"http://ex.com/F/page.htm", "https://ex.com/", "/pages/sub/p.htm",
                                          "C:\\pages\\p.htm", "/"};
  const std::string folder = companion();
  for (const std::string& base : bases) {
    for (const std::string& value : values) {
      for (const char* form : {"<IMG src=\"%\">", "<IMG src='%'>", "<IMG src=% x>", "<A href=\"%\">",
                               "<BODY background=% x>"}) {
        std::string html = form;
        html.replace(html.find('%'), 1, value);
        scan(html, base, {"gif", "htm", ""});
        for (const Resource& resource : job_.resources()) {
          SCOPED_TRACE(base + " + " + value + " in " + html);
          ASSERT_EQ(resource.localPath.compare(0, folder.size() + 1, folder + "/"), 0) << resource.localPath;
          const std::string name = resource.localPath.substr(folder.size() + 1);
          EXPECT_FALSE(name.empty());
          EXPECT_NE(name, ".");
          EXPECT_NE(name, "..");
          EXPECT_EQ(name.find('/'), std::string::npos) << name;
          EXPECT_EQ(name.find('\\'), std::string::npos) << name;
          EXPECT_EQ(fs::path(resource.localPath).lexically_normal().parent_path(), fs::path(folder));
        }
      }
    }
  }
  // Nothing was made beside the page but its companion folder.
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    EXPECT_EQ(entry.path().filename(), "p.files");
  }
}

TEST_F(PageCaptureTest, CompanionFolderThatCannotBeMadeFailsTheScan) {
  testing::writeTextFile(companion(), "a file in the way");
  const std::string html = "<IMG src=\"a.gif\"><A href=\"x.htm\">";
  EXPECT_EQ(scan(html), kCaptureFailed);
  EXPECT_EQ(job_.pageHtml(), html);
  EXPECT_EQ(job_.resourceCount(), 0u);
  EXPECT_TRUE(fs::is_regular_file(companion()));
}

TEST_F(PageCaptureTest, CompanionFolderInAMissingFolderFailsTheScan) {
  job_.setUp("<A href=\"x.htm\">", kCaptureHtml, folder_ / "missing/p.htm", "http://ex.com/", {});
  EXPECT_EQ(job_.scanAndRewrite(), kCaptureFailed);
  EXPECT_EQ(job_.pageHtml(), "<A href=\"x.htm\">");
}

TEST_F(PageCaptureTest, AnExistingCompanionFolderIsFine) {
  testing::makeDirs(companion());
  testing::writeTextFile(companion() + "/old.gif", "old");
  ASSERT_EQ(scan("<IMG src=\"a.gif\">"), 1);
  EXPECT_EQ(job_.resourceCount(), 1u);
  EXPECT_TRUE(fs::exists(companion() + "/old.gif"));
}

TEST_F(PageCaptureTest, PlainTextModeWrapsTheTextAndMakesNoFolder) {
  job_.setUp("see <IMG src=\"a.gif\">", kCapturePlainText, pagePath(), "http://ex.com/F/page.htm", {});
  ASSERT_EQ(job_.scanAndRewrite(), 1);
  EXPECT_EQ(job_.pageHtml(), "<HTML>see <IMG src=\"a.gif\"></HTML>");
  EXPECT_EQ(job_.resourceCount(), 0u);
  EXPECT_FALSE(fs::exists(companion()));
  ASSERT_EQ(job_.savePage(), 1);
  EXPECT_EQ(testing::readTextFile(pagePath()),
            kb::captureHeader("http://ex.com/F/page.htm") + "<HTML>see <IMG src=\"a.gif\"></HTML>");
  EXPECT_FALSE(fs::exists(companion()));
}

TEST_F(PageCaptureTest, ClipboardModeTakesAddressTitleAndHtmlFromTheText) {
  const std::string clip =
      "Version:1.0\r\nStartHTML:0\r\nSourceURL:http://clip.ex.com/d/page.htm\r\n"
      "<HTML><HEAD><TITLE>Clip</TITLE></HEAD><BODY><IMG src=\"a.gif\"></BODY></HTML>";
  job_.setUp(clip, kCaptureClipboardHtml, pagePath(), "http://ignored/", {});
  ASSERT_EQ(job_.scanAndRewrite(), 1);
  EXPECT_EQ(job_.baseAddress(), "http://clip.ex.com/d/page.htm");
  EXPECT_EQ(job_.title(), "Clip");
  EXPECT_EQ(job_.pageHtml(), std::string(kUtf8MetaLine) +
                                 "<HTML><HEAD><TITLE>Clip</TITLE></HEAD><BODY><IMG src=\"p.files/a.gif\"></BODY></HTML>");
  ASSERT_EQ(job_.resourceCount(), 1u);
  EXPECT_EQ(job_.address(0), "http://clip.ex.com/d/a.gif");
}

TEST_F(PageCaptureTest, ClipboardModeWithUnreadableTextLeavesAnEmptyPage) {
  job_.setUp("not clipboard html", kCaptureClipboardHtml, pagePath(), "http://ex.com/", {});
  ASSERT_EQ(job_.scanAndRewrite(), 1);
  EXPECT_EQ(job_.pageHtml(), "");
  EXPECT_EQ(job_.resourceCount(), 0u);
}

TEST_F(PageCaptureTest, OtherModesScanTheHtmlSetBeforehand) {
  job_.setPageHtml("<IMG src=\"a.gif\">");
  job_.setUp("ignored", 0, pagePath(), "http://ex.com/", {});
  ASSERT_EQ(job_.scanAndRewrite(), 1);
  EXPECT_EQ(job_.pageHtml(), "<IMG src=\"p.files/a.gif\">");
}

TEST_F(PageCaptureTest, LiteralStrategyGivesTheSameResult) {
  const std::string html =
      "<IMG src=\"a.gif\"><IMG src=\"a.gif\" width=1><A href=\"x.htm\"><A href=\"x.htm\" t>"
      "<BODY background=bg.gif x>background=bg.gif x>";
  ASSERT_EQ(scan(html), 1);
  const std::string indexed = job_.pageHtml();
  const std::vector<Resource> resources = job_.resources();
  EXPECT_EQ(job_.literalPassCount(), 0u);
  job_.setUp(html, kCaptureHtml, pagePath(), "http://ex.com/F/page.htm", {});
  job_.setRewriteStrategy(RewriteStrategy::kLiteral);
  ASSERT_EQ(job_.scanAndRewrite(), 1);
  EXPECT_EQ(job_.literalPassCount(), 8u);
  EXPECT_EQ(job_.pageHtml(), indexed);
  ASSERT_EQ(job_.resourceCount(), resources.size());
  for (size_t i = 0; i < resources.size(); ++i) EXPECT_EQ(job_.localPath(i), resources[i].localPath);
}

TEST_F(PageCaptureTest, BracketInANewTagFallsBackToTheLiteralWay) {
  ASSERT_EQ(scan("<A href=\"x.htm\"><A href=\"x.htm\" q><IMG src=a.gif >", "/tmp/a>b/p.htm"), 1);
  EXPECT_EQ(job_.pageHtml(), "<A href=\"/tmp/a>b/x.htm\"><A href=\"/tmp/a>b/x.htm\" q><IMG src=p.files/a.gif >");
  EXPECT_EQ(job_.literalPassCount(), 1u);
}

// ---------------------------------------------------------------------------
// Saving

TEST_F(PageCaptureTest, SavePageWritesHeaderAndHtml) {
  ASSERT_EQ(scan("<IMG src=\"a.gif\">"), 1);
  ASSERT_EQ(job_.savePage(), 1);
  const std::string expected = kb::captureHeader("http://ex.com/F/page.htm") + "<IMG src=\"p.files/a.gif\">";
  EXPECT_EQ(testing::readTextFile(pagePath()), expected);
  EXPECT_EQ(job_.pageHtml(), expected);
  EXPECT_EQ(kb::readMetaValue(pagePath(), kb::kPageUrlName), "HTTP://EX.COM/F/PAGE.HTM");
  // Only the page and its companion folder: no temporary file is left.
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    ++entries;
    EXPECT_TRUE(entry.path().filename() == "p.htm" || entry.path().filename() == "p.files") << entry.path();
  }
  EXPECT_EQ(entries, 2u);
}

TEST_F(PageCaptureTest, SavePageReplacesAnExistingPage) {
  testing::writeTextFile(pagePath(), std::string(10000, 'o'));
  ASSERT_EQ(scan("<P>new</P>"), 1);
  ASSERT_EQ(job_.savePage(), 1);
  EXPECT_EQ(testing::readTextFile(pagePath()), kb::captureHeader("http://ex.com/F/page.htm") + "<P>new</P>");
}

TEST_F(PageCaptureTest, SavePageIntoAMissingFolderFails) {
  job_.setUp("<P>x</P>", kCaptureHtml, folder_ / "missing/p.htm", "http://ex.com/", {});
  ASSERT_EQ(job_.scanAndRewrite(), 1);
  EXPECT_EQ(job_.savePage(), 0);
  EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

// A write that fails half way (here: the file size limit) leaves the page
// that stood there whole, and no temporary file behind.
TEST_F(PageCaptureTest, FailedSaveLeavesTheExistingPageWhole) {
  const std::string old = "<P>the old page</P>";
  testing::writeTextFile(pagePath(), old);
  ASSERT_EQ(scan("<P>" + std::string(64 * 1024, 'n') + "</P>"), 1);

  struct sigaction ignore {};
  struct sigaction previousAction {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previousAction), 0);
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit small = previous;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int saved = job_.savePage();
  setrlimit(RLIMIT_FSIZE, &previous);
  sigaction(SIGXFSZ, &previousAction, nullptr);

  EXPECT_EQ(saved, 0);
  EXPECT_EQ(testing::readTextFile(pagePath()), old);
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    EXPECT_EQ(entry.path().filename(), "p.htm") << "left behind: " << entry.path();
  }
}

}  // namespace
}  // namespace velkin::capture
