// The "HTML Format" clipboard parser: which header items it reads and what
// it makes of the HTML.
#include <gtest/gtest.h>

#include "capture/clipboard_html.h"

namespace velkin::capture {
namespace {

const std::string kHeader10 =
    "Version:1.0\r\nStartHTML:0000000105\r\nEndHTML:0000000200\r\n"
    "StartFragment:0000000141\r\nEndFragment:0000000164\r\nSourceURL:https://news.example/a/b.html\r\n";

TEST(ClipboardHtml, VersionOneReadsSourceTitleAndTheHtmlFromItsStart) {
  const auto parsed = parseClipboardHtml(kHeader10 + "<HTML><HEAD><TITLE>Hello</TITLE></HEAD><BODY>x</BODY></HTML>");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->baseAddress, "https://news.example/a/b.html");
  EXPECT_EQ(parsed->title, "Hello");
  EXPECT_EQ(parsed->pageHtml,
            std::string(kUtf8MetaLine) + "<HTML><HEAD><TITLE>Hello</TITLE></HEAD><BODY>x</BODY></HTML>");
}

TEST(ClipboardHtml, VersionNinePointNineTakesTheBaseElement) {
  const auto withBase = parseClipboardHtml("Version:0.9\r\n<HTML><BASE HREF=\"http://old.example/dir/\"><P>x</HTML>");
  ASSERT_TRUE(withBase.has_value());
  EXPECT_EQ(withBase->baseAddress, "http://old.example/dir/");
  const auto withoutBase = parseClipboardHtml("Version:0.9\r\n<HTML><P>x</HTML>");
  ASSERT_TRUE(withoutBase.has_value());
  EXPECT_EQ(withoutBase->baseAddress, "");
}

TEST(ClipboardHtml, UnknownVersionMissingHtmlOrEmptyTextFail) {
  EXPECT_FALSE(parseClipboardHtml(""));
  EXPECT_FALSE(parseClipboardHtml("<HTML>no header</HTML>"));
  EXPECT_FALSE(parseClipboardHtml("Version:2.0\r\n<HTML></HTML>"));
  EXPECT_FALSE(parseClipboardHtml("Version:1.0\r\nSourceURL:x\r\n<html>lower case only</html>"));
}

TEST(ClipboardHtml, SourceUrlInThePageTextIsNotTheBaseAddress) {
  const auto parsed = parseClipboardHtml("Version:1.0\r\n<HTML><P>SourceURL:http://evil.example/\r\n</P></HTML>");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->baseAddress, "");
}

}  // namespace
}  // namespace velkin::capture
