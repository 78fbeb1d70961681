// The compiled-help project written into a category: script, project file,
// contents and index, the default topic, and the clean-up after a build.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "book/book_settings.h"
#include "book/chm_project.h"
#include "platform/console_runner.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::book {
namespace {

using testing::makeDirs;
using testing::readTextFile;
using testing::writeTextFile;

constexpr char kSitemapHead[] =
    R"(<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN"><!Welcome to use Velkin Web 1.0 >)"
    R"(<HTML><HEAD><META name="GENERATOR" content="Velkin Web1.0"><META name="Author" content="Velkin">)"
    R"(<META name="site" content="https://www.velkinweb.example"><!-- Sitemap 1.0 --></HEAD><BODY>)"
    R"(<OBJECT type="text/site properties"><param name="ImageType" value="Folder"></OBJECT><UL>)";
constexpr char kSitemapTail[] = "</UL></BODY></HTML>";

std::string folderEntry(const std::string& name) {
  return R"(<LI><OBJECT type="text/sitemap"><param name="Name" value=")" + name + R"("></OBJECT>)";
}
std::string linkEntry(const std::string& name, const std::string& local) {
  return R"(<LI><OBJECT type="text/sitemap"><param name="Name" value=")" + name +
         R"("><param name="Local" value=")" + local + R"("></OBJECT>)";
}

class ChmProjectTest : public testing::IsolatedTest {
 protected:
  std::string cat() const { return path("book/Cat"); }
  BookSettings settings(bool open = false) const {
    BookSettings s;
    s.title = "Cat";
    s.language = std::string(kDefaultLanguage);
    s.openBook = open;
    s.outputPath = path("out/Book.chm");
    return s;
  }
  std::string sitemapOf(const std::string& topic = "") const { return bookContents(cat(), topic, {}).sitemap; }
};

TEST_F(ChmProjectTest, ScriptIsTheCompilerLineAlone) {
  EXPECT_EQ(exportScriptText("/opt/my tools/chmcmd", cat()),
            "'/opt/my tools/chmcmd'   " + platform::shellQuote(cat() + "/Project.hhp"));
}

TEST_F(ChmProjectTest, ScriptQuotingSurvivesTheShell) {
  // What /bin/sh makes of the compiler line is exactly the two paths.
  const std::string folder = path("book/Bob's \"odd\" $HOME `x` Cat");
  makeDirs(folder);
  const std::string line = exportScriptText("/bin/echo", folder);
  const auto run = testing::runProgram({"/bin/sh", "-c", line});
  EXPECT_EQ(run.out, folder + "/Project.hhp\n");
}

TEST_F(ChmProjectTest, ProjectFileHasTheOptionLinesThenTheFiles) {
  BookSettings s = settings();
  s.title = "Two\r\nlines";
  s.showProgress = true;
  const std::string text = projectFileText(s, "A/a.htm", {"A/a.htm", "A/a.files/pic.png"});
  EXPECT_EQ(text,
            "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + s.outputPath +
                "\r\nContents file=Contents.hhc\r\nDefault topic=A/a.htm\r\nTitle=Two  lines\r\n"
                "Full-text search=Yes\r\nIndex file=Index.hhk\r\n"
                "Language=0x804    Chinese(People's Replubic of China)\r\n"
                "Display compile progress=YES\r\n[INFOTYPES]\r\n[FILES]\r\nA/a.htm\r\nA/a.files/pic.png");
  s.showProgress = false;
  EXPECT_NE(projectFileText(s, "", {}).find("\r\nDisplay compile progress=NO\r\n"), std::string::npos);
}

TEST_F(ChmProjectTest, FirstFolderMetCarriesTheDefaultTopicOthersHaveNoLocal) {
  writeTextFile(cat() + "/b/b.htm", "b");
  writeTextFile(cat() + "/A/a.htm", "a");
  EXPECT_EQ(defaultTopic(cat(), ""), "A/a.htm");
  EXPECT_EQ(sitemapOf("A/a.htm"), kSitemapHead + linkEntry("A", "A/a.htm") + "<UL>" + linkEntry("a", "A/a.htm") +
                                      "</UL>" + folderEntry("b") + "<UL>" + linkEntry("b", "b/b.htm") + "</UL>" +
                                      kSitemapTail);
}

TEST_F(ChmProjectTest, OnlyTheFirstFolderAnywhereCarriesTheTopicEvenWhenNested) {
  writeTextFile(cat() + "/Only/Inner/x.htm", "x");
  const std::string sitemap = sitemapOf("Only/Inner/x.htm");
  EXPECT_NE(sitemap.find(linkEntry("Only", "Only/Inner/x.htm") + "<UL>" + folderEntry("Inner")), std::string::npos);
  EXPECT_EQ(sitemap.find(linkEntry("Inner", "Only/Inner/x.htm")), std::string::npos);
}

TEST_F(ChmProjectTest, PagesAreListedByNameBeforeTheirLastDotAndOtherFilesAreNot) {
  writeTextFile(cat() + "/x.html", "x");
  writeTextFile(cat() + "/v1.2.HTM", "v");
  writeTextFile(cat() + "/notes.txt", "not a page");
  writeTextFile(cat() + "/k==estrova.htm", "a build file");
  writeTextFile(cat() + "/x.files/inner.htm", "inside a companion folder");
  const std::string sitemap = sitemapOf();
  EXPECT_NE(sitemap.find(linkEntry("x", "x.html")), std::string::npos);
  EXPECT_NE(sitemap.find(linkEntry("v1.2", "v1.2.HTM")), std::string::npos);
  for (const char* absent : {"notes", "k==estrova", "inner", "x.files"}) {
    EXPECT_EQ(sitemap.find(absent), std::string::npos) << absent;
  }
}

TEST_F(ChmProjectTest, NamesAndPathsAreEscapedInTheSitemap) {
  writeTextFile(cat() + "/R&D <new>/Tom & \"Jerry\".htm", "x");
  const std::string sitemap = sitemapOf("R&D <new>/Tom & \"Jerry\".htm");
  const std::string local = "R&amp;D &lt;new&gt;/Tom &amp; &quot;Jerry&quot;.htm";
  EXPECT_NE(sitemap.find(linkEntry("R&amp;D &lt;new&gt;", local)), std::string::npos) << sitemap;
  EXPECT_NE(sitemap.find(linkEntry("Tom &amp; &quot;Jerry&quot;", local)), std::string::npos) << sitemap;
}

TEST_F(ChmProjectTest, FilesNameEveryListedPageAndItsCompanionFilesOnly) {
  writeTextFile(cat() + "/top.htm", "t");
  writeTextFile(cat() + "/top.files/pic.png", "png");
  writeTextFile(cat() + "/top_files/css/site.css", "css");
  writeTextFile(cat() + "/A/x.html", "x");
  writeTextFile(cat() + "/A/x.files/movie.swf", "swf");
  writeTextFile(cat() + "/A/lone.files/orphan.png", "no page");
  writeTextFile(cat() + "/A/readme.txt", "not in the book");
  auto files = bookContents(cat(), "top.htm", {}).files;
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"A/x.files/movie.swf", "A/x.html", "top.files/pic.png", "top.htm",
                                             "top_files/css/site.css"}));
}

TEST_F(ChmProjectTest, DefaultTopicIsRelativeOnlyBelowTheProjectFolder) {
  writeTextFile(cat() + "/page.htm", "p");
  EXPECT_EQ(defaultTopic(cat(), cat() + "/page.htm"), "page.htm");
  EXPECT_EQ(defaultTopic(cat(), path("elsewhere/x.htm")), path("elsewhere/x.htm"));
  // A sibling whose name starts with the category's is not below it.
  EXPECT_EQ(defaultTopic(cat(), cat() + "2/y.htm"), cat() + "2/y.htm");
}

TEST_F(ChmProjectTest, FirstPageSearchSkipsHtmlAndBuildFilesAndLooksIntoCompanionFolders) {
  writeTextFile(cat() + "/only.html", "x");
  writeTextFile(cat() + "/k==estrova.htm", "x");
  EXPECT_EQ(firstPage(cat()), "");
  writeTextFile(cat() + "/frame.files/inner.htm", "x");
  EXPECT_EQ(firstPage(cat()), cat() + "/frame.files/inner.htm");
}

TEST_F(ChmProjectTest, LinkCyclesEndTheWalks) {
  writeTextFile(cat() + "/Sub/page.htm", "x");
  std::filesystem::create_directory_symlink(cat(), cat() + "/Sub/Loop");
  std::filesystem::create_directory_symlink(cat() + "/Sub", cat() + "/Sub/page.files");
  const BookContents contents = bookContents(cat(), "", {});
  EXPECT_NE(contents.sitemap.find(linkEntry("page", "Sub/page.htm")), std::string::npos);
  EXPECT_EQ(firstPage(cat()), cat() + "/Sub/page.htm");
}

TEST_F(ChmProjectTest, WritesFourFilesWithIdenticalContentsAndIndex) {
  writeTextFile(cat() + "/A/a.htm", "a");
  const ProjectOutcome outcome = writeChmProject(cat() + "/", settings(), "/usr/bin/chmcmd");
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  EXPECT_EQ(outcome.scriptPath, cat() + "/ExportASCHM.bat");
  const std::string contents = readTextFile(cat() + "/Contents.hhc");
  EXPECT_EQ(contents, readTextFile(cat() + "/Index.hhk"));
  EXPECT_EQ(contents, sitemapOf("A/a.htm"));
  EXPECT_NE(readTextFile(cat() + "/Project.hhp").find("\r\nDefault topic=A/a.htm\r\n"), std::string::npos);
  EXPECT_EQ(readTextFile(cat() + "/ExportASCHM.bat"), exportScriptText("/usr/bin/chmcmd", cat()));
}

TEST_F(ChmProjectTest, RefusedProjectsLeaveNothingBehind) {
  EXPECT_FALSE(writeChmProject(path("book/Missing"), settings(), "/usr/bin/chmcmd").ok());
  makeDirs(cat());
  BookSettings s = settings();
  s.outputPath = path("out/two\nlines.chm");
  EXPECT_FALSE(writeChmProject(cat(), s, "/usr/bin/chmcmd").ok());
  s.outputPath.clear();
  EXPECT_FALSE(writeChmProject(cat(), s, "/usr/bin/chmcmd").ok());
  EXPECT_TRUE(std::filesystem::is_empty(cat()));
}

TEST_F(ChmProjectTest, RemovingTheProjectDeletesTheBuildFilesAndTrashesTheLeftoverPage) {
  for (const char* name : {"ExportASCHM.bat", "Project.hhp", "Contents.hhc", "Index.hhk"}) {
    writeTextFile(cat() + "/" + name, "x");
  }
  writeTextFile(cat() + "/k==estrova.htm", "left by the build");
  writeTextFile(cat() + "/keep.htm", "kept");
  removeChmProject(cat());
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(cat())) left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"keep.htm"});
  EXPECT_EQ(readTextFile(dataHome() + "/Trash/files/k==estrova.htm"), "left by the build");
}

// Book settings

TEST(LanguageEntriesTest, NumbersAreFollowedByFourBlanksOrTwoAndEntriesAreFoundByTextOrNumber) {
  EXPECT_EQ(std::size(kLanguageEntries), 17u);
  const std::regex shape("0x[0-9a-f]{3}    [A-Z].*|0x[0-9a-f]{4}  [A-Z].*");
  for (const auto entry : kLanguageEntries) {
    EXPECT_TRUE(std::regex_match(std::string(entry), shape)) << entry;
    EXPECT_EQ(findLanguageEntry(entry), entry);
  }
  // By number, the first of two entries sharing it.
  EXPECT_EQ(findLanguageEntry("0x409"), "0x409    English(United States)");
  EXPECT_EQ(findLanguageEntry("Klingon"), "");
}

class BookOptionsTest : public testing::IsolatedTest {};

TEST_F(BookOptionsTest, MissingValuesAreOffAndWrittenValuesAreUserNumbers) {
  platform::Registry registry(configDir());
  const BookOptions none = readBookOptions(registry);
  EXPECT_FALSE(none.showProgress);
  EXPECT_FALSE(none.openBook);
  ASSERT_TRUE(writeBookOptions(registry, {true, false}));
  EXPECT_EQ(registry.readDword(platform::RegistryRoot::User, "Software\\Kestrova", "ShowProgress"), 1u);
  EXPECT_EQ(registry.readDword(platform::RegistryRoot::User, "Software\\Kestrova", "OpenBook"), 0u);
  const BookOptions read = readBookOptions(registry);
  EXPECT_TRUE(read.showProgress);
  EXPECT_FALSE(read.openBook);
}

}  // namespace
}  // namespace velkin::book
