// The META reader's rules and their consequences, and the capture header.
#include <gtest/gtest.h>

#include <algorithm>

#include "kb/meta.h"
#include "support/test_support.h"

namespace velkin::kb {
namespace {

struct MetaCase {
  const char* what;
  const char* page;
  const char* name;
  const char* expected;
};

class MetaRules : public ::testing::TestWithParam<MetaCase> {};

TEST_P(MetaRules, ReaderGivesTheExpectedValue) {
  const MetaCase& c = GetParam();
  EXPECT_EQ(findMetaValue(c.page, c.name), c.expected) << c.what;
  // Reading the same text from a file gives the same answer.
  testing::TempFolder folder;
  testing::writeTextFile(folder / "page.htm", c.page);
  EXPECT_EQ(readMetaValue(folder / "page.htm", c.name), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Consequences, MetaRules,
    ::testing::Values(
        MetaCase{"no META at all", "<html><body>hi</body></html>", "PAGEURL", ""},
        MetaCase{"captured page, mixed case address comes back upper-cased",
                 "<META -----Welcome to Velkin web. >\r\n<META -----Velkin web 2.0    HomePage: x >\r\n"
                 "<META NAME=pageurl  Content=http://Example.com/A?b=C >\r\n<html></html>",
                 "PAGEURL", "HTTP://EXAMPLE.COM/A?B=C"},
        MetaCase{"CONTENT before NAME", "<meta content=k1,k2 name=keywords>", "KEYWORD", "K1,K2"},
        MetaCase{"value cut at its first blank", "<META NAME=PAGEURL CONTENT=http://a/b c>", "PAGEURL",
                 "HTTP://A/B"},
        MetaCase{"quotes kept", "<meta name=\"pageurl\" content=\"http://q/\">", "PAGEURL", "\"HTTP://Q/\""},
        MetaCase{"name matches inside a longer name", "<META NAME=PAGEURL2 CONTENT=two>", "pageurl", "TWO"},
        MetaCase{"first match wins",
                 "<META NAME=PAGEURL CONTENT=one><META NAME=PAGEURL CONTENT=two>", "PAGEURL", "ONE"},
        MetaCase{"'>' in a value ends the tag early; the next META is found",
                 "<META NAME=x CONTENT=\"a>b\" ><META NAME=PAGEURL CONTENT=later>", "PAGEURL", "LATER"},
        MetaCase{"'>' in a value cuts the wanted value", "<META NAME=PAGEURL CONTENT=a>b>", "PAGEURL", "A"},
        MetaCase{"name only in CONTENT does not match", "<META NAME=DESCRIPTION CONTENT=pageurl>", "PAGEURL",
                 ""},
        MetaCase{"matching element without CONTENT gives empty",
                 "<META NAME=PAGEURL><META NAME=PAGEURL CONTENT=x>", "PAGEURL", ""},
        MetaCase{"line ends are removed before searching", "<META\r\n NAME=PAGE\nURL CONTENT=ab\r\ncd>",
                 "PAGEURL", "ABCD"},
        MetaCase{"a lone carriage return stays", "<META NAME=PAGEURL CONTENT=ab\rcd>", "PAGEURL", "AB\rCD"},
        MetaCase{"unterminated META gives empty", "<META NAME=PAGEURL CONTENT=x", "PAGEURL", ""},
        MetaCase{"NAME needs its leading blank", "<META\tNAME=PAGEURL CONTENT=x>", "PAGEURL", ""}));

TEST(MetaReader, MissingOrUnreadablePageReadsAsEmpty) {
  testing::TempFolder folder;
  EXPECT_EQ(readMetaValue(folder / "missing.htm", "PAGEURL"), "");
  EXPECT_EQ(readMetaValue(folder.path(), "PAGEURL"), "") << "a folder is not a readable page";
}

TEST(MetaReader, AnyBytesAndAnySizeAreReadSafely) {
  testing::TempFolder folder;
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  std::string page;
  for (int i = 0; i < 4000; ++i) page += binary;  // 1 MB of every byte value, "<" and ">" included
  page += "<META NAME=PAGEURL CONTENT=found>";
  testing::writeTextFile(folder / "big.htm", page);
  EXPECT_EQ(readMetaValue(folder / "big.htm", "PAGEURL"), "FOUND");

  // A META split across the reader's pieces at every offset is still found.
  const std::string tail = "<META NAME=PAGEURL CONTENT=edge>";
  for (size_t pad : {4090u, 4091u, 4093u, 4095u, 4096u, 69630u, 69632u}) {
    testing::writeTextFile(folder / "edge.htm", std::string(pad, 'x') + tail);
    EXPECT_EQ(readMetaValue(folder / "edge.htm", "PAGEURL"), "EDGE") << pad;
  }
  // A carriage return and line feed split across pieces still join.
  testing::writeTextFile(folder / "crlf.htm", std::string(4095, 'x') + "\r\n<META NAME=PAGEURL CONTENT=a>");
  EXPECT_EQ(readMetaValue(folder / "crlf.htm", "PAGEURL"), "A");
}

TEST(CaptureHeader, HasTheThreeLinesAndIsReadBack) {
  const std::string header = captureHeader("http://Site.example/a b");
  EXPECT_EQ(header,
            "<META -----Welcome to Velkin web. >\r\n"
            "<META -----Velkin web 2.0    HomePage: " +
                std::string(kHomePageAddress) +
                " >\r\n"
                "<META NAME=pageurl  Content=http://Site.example/a b >\r\n");
  EXPECT_EQ(findMetaValue(header + "<html>", "PAGEURL"), "HTTP://SITE.EXAMPLE/A");
}

TEST(CaptureHeader, LineBreaksInTheAddressCannotAddLines) {
  const std::string header = captureHeader("http://x/\r\n<script>bad()</script>");
  EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 3);
}

TEST(CaptureHeader, WrittenPageReplacesTheOldOneWhole) {
  testing::TempFolder folder;
  const std::string page = folder / "p.htm";
  testing::writeTextFile(page, "old contents that are longer than the new ones");
  EXPECT_EQ(writeCapturedPage(page, "https://a.example/", "<HTML></HTML>"), "");
  EXPECT_EQ(testing::readTextFile(page), captureHeader("https://a.example/") + "<HTML></HTML>");
  EXPECT_NE(writeCapturedPage(folder / "no/such/folder/p.htm", "u", "x"), "");
}

struct PlacementCase {
  const char* what;
  std::string html;
  size_t doctypeEnd;  // where the header goes; 0 means on top
};

void PrintTo(const PlacementCase& value, std::ostream* out) { *out << value.what; }

class HeaderPlacement : public ::testing::TestWithParam<PlacementCase> {};

// A header written above the page's document type declaration would put
// every saved page in quirks mode; the declaration stays first, and the
// address is still read back from the written file.
TEST_P(HeaderPlacement, TheDeclarationStaysFirstAndTheAddressIsReadBack) {
  const PlacementCase& c = GetParam();
  EXPECT_EQ(leadingDoctypeEnd(c.html), c.doctypeEnd);
  const std::string header = captureHeader("https://a.example/p");
  const std::string expected = c.doctypeEnd == 0
                                   ? header + c.html
                                   : c.html.substr(0, c.doctypeEnd) + "\r\n" + header + c.html.substr(c.doctypeEnd);
  testing::TempFolder folder;
  EXPECT_EQ(writeCapturedPage(folder / "p.htm", "https://a.example/p", c.html), "");
  EXPECT_EQ(testing::readTextFile(folder / "p.htm"), expected);
  EXPECT_EQ(readMetaValue(folder / "p.htm", kPageUrlName), "HTTPS://A.EXAMPLE/P");
}

INSTANTIATE_TEST_SUITE_P(
    Pages, HeaderPlacement,
    ::testing::Values(
        PlacementCase{"doctype first", "<!DOCTYPE html><html></html>", 15},
        PlacementCase{"lower case with a public identifier",
                      "<!doctype HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<html>", 50},
        PlacementCase{"blanks before it", " \r\n\t<!DocType html><p>", 19},
        PlacementCase{"byte order mark before it", "\xEF\xBB\xBF<!DOCTYPE html><p>", 18},
        PlacementCase{"no doctype", "<html><body>x</body></html>", 0},
        PlacementCase{"doctype not at the start stays where it is", "<p>x</p><!DOCTYPE html>", 0},
        PlacementCase{"comment before the doctype", "<!-- c --><!DOCTYPE html>", 0},
        PlacementCase{"unterminated declaration", "<!DOCTYPE html", 0},
        PlacementCase{"empty page", "", 0}));

}  // namespace
}  // namespace velkin::kb
