// The "MyKnowledge.htm" index page: its layout, what it lists, where it goes.
#include <gtest/gtest.h>

#include <filesystem>

#include "book/html_index.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::book {
namespace {

using testing::readTextFile;
using testing::writeTextFile;

constexpr char kBanner[] =
    "<META -----Welcome to use Velkin Web. ><META -----Velkin Web 1.0    Homepage: https://www.velkinweb.example >\r\n"
    "<TITLE>My Knowledge</TITLE><H1>My Knowledge</H1><DL><p>";

class HtmlIndexTest : public testing::IsolatedTest {
 protected:
  std::string cat() const { return path("book/Cat"); }
  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  static std::string link(const std::string& address, const std::string& name) {
    return "<DT><A HREF=\"" + address + "\">" + name + "</A>";
  }
};

TEST_F(HtmlIndexTest, FoldersBecomeHeadingsAndFilesLinksRelativeToTheSelectedFolder) {
  writeTextFile(cat() + "/one.htm", "1");
  writeTextFile(cat() + "/two.html", "2");
  writeTextFile(cat() + "/Sub/three.htm", "3");
  const std::string text = htmlIndexText(cat() + "/");
  EXPECT_EQ(text.rfind(std::string(kBanner) + "<DT><H3>Cat</H3><DL><p>", 0), 0u) << text;
  EXPECT_TRUE(contains(text, link("one.htm", "one")));
  EXPECT_TRUE(contains(text, link("two.html", "two")));
  EXPECT_TRUE(contains(text, "<DT><H3>Sub</H3><DL><p>" + link("Sub/three.htm", "three") + "</DL><p>"));
  EXPECT_EQ(text.substr(text.size() - 16), "</DL><p></DL><p>");
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "one line end only, after the banner";
  EXPECT_EQ(text.find('\n', text.find('\n') + 1), std::string::npos);
}

TEST_F(HtmlIndexTest, EveryFileButBuildFilesIsListedAndCompanionFoldersAreNot) {
  writeTextFile(cat() + "/pic.png", "png");
  writeTextFile(cat() + "/README", "no dot, no name");
  writeTextFile(cat() + "/Project.hhp", "a build file");
  writeTextFile(cat() + "/page.htm", "p");
  writeTextFile(cat() + "/page.files/inside.png", "png");
  writeTextFile(cat() + "/Deep/x_files/inside.htm", "p");
  const std::string text = htmlIndexText(cat());
  EXPECT_TRUE(contains(text, link("pic.png", "pic")));
  EXPECT_TRUE(contains(text, link("README", "")));
  EXPECT_TRUE(contains(text, "<DT><H3>Deep</H3><DL><p></DL><p>"));
  for (const char* absent : {"Project", "inside", "page.files", "x_files"}) {
    EXPECT_FALSE(contains(text, absent)) << absent;
  }
}

TEST_F(HtmlIndexTest, SecondRunListsTheFirstIndex) {
  writeTextFile(cat() + "/a.htm", "a");
  const IndexOutcome first = buildHtmlIndex(cat());
  ASSERT_TRUE(first.ok()) << first.error;
  EXPECT_EQ(first.path, cat() + "/MyKnowledge.htm");
  EXPECT_FALSE(contains(readTextFile(first.path), "MyKnowledge"));
  ASSERT_TRUE(buildHtmlIndex(cat()).ok());
  EXPECT_TRUE(contains(readTextFile(first.path), link("MyKnowledge.htm", "MyKnowledge")));
}

TEST_F(HtmlIndexTest, APageSelectedGivesItsFolderAHeadingAndAnEmptyList) {
  writeTextFile(cat() + "/page.htm", "p");
  writeTextFile(cat() + "/other.htm", "o");
  const IndexOutcome outcome = buildHtmlIndex(cat() + "/page.htm");
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  EXPECT_EQ(outcome.path, cat() + "/MyKnowledge.htm");
  EXPECT_EQ(readTextFile(outcome.path), std::string(kBanner) + "<DT><H3>page.htm</H3><DL><p></DL><p>");
}

TEST_F(HtmlIndexTest, AFolderNamedLikeAPageIsStillAFolder) {
  writeTextFile(cat() + "/notes.html/a.htm", "a");
  EXPECT_EQ(htmlIndexFolder(cat() + "/notes.html"), cat() + "/notes.html");
  EXPECT_EQ(buildHtmlIndex(cat() + "/notes.html").path, cat() + "/notes.html/MyKnowledge.htm");
  EXPECT_FALSE(platform::pathExists(cat() + "/MyKnowledge.htm"));
}

TEST_F(HtmlIndexTest, NamesAreEscapedAndLinkPathsKeepTheirQuestionMarksAndHashes) {
  writeTextFile(cat() + "/R&D/Tom & \"Jerry\" <#1?> 50%.htm", "x");
  const std::string text = htmlIndexText(cat());
  EXPECT_TRUE(contains(text, "<DT><H3>R&amp;D</H3>"));
  EXPECT_TRUE(contains(text, link("R&amp;D/Tom &amp; &quot;Jerry&quot; &lt;%231%3F&gt; 50%25.htm",
                                  "Tom &amp; &quot;Jerry&quot; &lt;#1?&gt; 50%")))
      << text;
}

TEST_F(HtmlIndexTest, LinkCycleIsListedOnce) {
  writeTextFile(cat() + "/Sub/a.htm", "a");
  std::filesystem::create_directory_symlink(cat(), cat() + "/Sub/Back");
  const std::string text = htmlIndexText(cat());
  EXPECT_TRUE(contains(text, "<DT><H3>Back</H3><DL><p></DL><p>"));
  EXPECT_EQ(text.find("Sub/a.htm"), text.rfind("Sub/a.htm"));
}

}  // namespace
}  // namespace velkin::book
