// Listing rules: which entries become categories and pages, and what a
// listing does to stray build files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "kb/layout.h"
#include "kb/listing.h"
#include "kb/project_tree.h"
#include "platform/registry.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::kb {
namespace {

using testing::makeDirs;
using testing::writeTextFile;

class ListingTest : public testing::IsolatedTest {
 protected:
  std::string book() const { return path("book"); }
  std::vector<ListedEntry> list(const std::string& relative = "", const PageFilter& filter = {}) {
    return listFolder(relative.empty() ? book() : book() + "/" + relative, filter, book());
  }
  static const ListedEntry* find(const std::vector<ListedEntry>& entries, const std::string& text) {
    auto it = std::find_if(entries.begin(), entries.end(), [&](const ListedEntry& e) { return e.text == text; });
    return it == entries.end() ? nullptr : &*it;
  }
  static std::vector<std::string> fileNames(const std::vector<ListedEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.fileName);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(ListingTest, CompanionFoldersAreHiddenAtEveryDepthButUpperCaseFilesIsACategory) {
  writeTextFile(book() + "/page.htm", "x");
  makeDirs(book() + "/page.files");
  makeDirs(book() + "/other_files");
  makeDirs(book() + "/Shown.FILES");
  makeDirs(book() + "/A/B/deep.files/inner");
  makeDirs(book() + "/A/B/deep_files");
  makeDirs(book() + "/A/B/C");
  EXPECT_EQ(fileNames(list()), (std::vector<std::string>{"A", "Shown.FILES", "page.htm"}));
  EXPECT_EQ(fileNames(list("A/B")), (std::vector<std::string>{"C"}));
  EXPECT_EQ(find(list(), "Shown.FILES")->kind, ItemKind::Category);
}

TEST_F(ListingTest, PageKindsComeFromTheExactEndingAndTheTextDropsIt) {
  for (const char* name : {"a.html", "b.HTM", "c.htm", "d.HTML", "e.Htm", "f.htm.bak", "g.txt", "h.hTML"}) {
    writeTextFile(book() + "/" + name, "x");
  }
  const auto entries = list();
  EXPECT_EQ(fileNames(entries), (std::vector<std::string>{"a.html", "b.HTM", "c.htm", "d.HTML"}));
  EXPECT_EQ(find(entries, "a")->kind, ItemKind::HtmlPage);
  EXPECT_EQ(find(entries, "b")->kind, ItemKind::Page);
  EXPECT_EQ(find(entries, "c")->kind, ItemKind::Page);
  EXPECT_EQ(find(entries, "d")->kind, ItemKind::HtmlPage);
}

TEST_F(ListingTest, BuildFilesAreDeletedWhenTheirFolderIsListed) {
  const char* buildFiles[] = {"k==estrova.htm", "Contents.hhc", "ExportASCHM.bat", "Index.hhk", "Project.hhp"};
  for (const char* name : buildFiles) writeTextFile(book() + "/Cat/" + name, "x");
  writeTextFile(book() + "/Cat/index.hhk", "kept: names compare case-sensitively");
  writeTextFile(book() + "/Cat/keep.htm", "x");
  makeDirs(book() + "/Cat/Index.hhk.d");

  EXPECT_TRUE(platform::pathExists(book() + "/Cat/Index.hhk")) << "not listed yet";
  EXPECT_EQ(fileNames(list("Cat")), (std::vector<std::string>{"Index.hhk.d", "keep.htm"}));
  for (const char* name : buildFiles) EXPECT_FALSE(platform::pathExists(book() + "/Cat/" + name)) << name;
  EXPECT_TRUE(platform::pathExists(book() + "/Cat/index.hhk"));
}

TEST_F(ListingTest, HasChildrenCountsCategoriesAndFilteredPagesOnly) {
  writeTextFile(book() + "/OnlyHtml/x.html", "x");
  writeTextFile(book() + "/OnlyOther/x.txt", "x");
  makeDirs(book() + "/OnlyCompanion/x.files");
  makeDirs(book() + "/Nested/Sub");
  writeTextFile(book() + "/Named/apple.htm", "x");
  makeDirs(book() + "/Empty");
  const auto entries = list();
  EXPECT_TRUE(find(entries, "OnlyHtml")->hasChildren);
  EXPECT_FALSE(find(entries, "OnlyOther")->hasChildren);
  EXPECT_FALSE(find(entries, "OnlyCompanion")->hasChildren);
  EXPECT_TRUE(find(entries, "Nested")->hasChildren);
  EXPECT_FALSE(find(entries, "Empty")->hasChildren);

  const auto filtered = list("", PageFilter::byMode(FilterMode::FileName, "pear"));
  EXPECT_FALSE(find(filtered, "Named")->hasChildren);
  EXPECT_FALSE(find(filtered, "OnlyHtml")->hasChildren);
  EXPECT_TRUE(find(filtered, "Nested")->hasChildren) << "categories always count";
}

TEST_F(ListingTest, MissingFolderListsNothing) {
  EXPECT_TRUE(list("no/such/folder").empty());
  EXPECT_FALSE(folderHasChildren(book() + "/missing", {}));
}

TEST_F(ListingTest, EntriesWhosePathIsTooLongAreListedWithAMessageNotLeftOut) {
  // A folder that can still be opened, holding a category, a page and a
  // companion folder whose full paths pass the system's limit, and two
  // short names that fit.
  std::string deep = book();
  while (deep.size() < PATH_MAX - 150) deep += "/" + std::string(100, 'd');
  makeDirs(deep + "/s");
  writeTextFile(deep + "/short.htm", "x");
  const std::string category(200, 'c');
  const std::string page = std::string(200, 'p') + ".html";
  const int fd = open(deep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(mkdirat(fd, category.c_str(), 0755), 0);
  ASSERT_EQ(mkdirat(fd, (std::string(200, 'p') + ".files").c_str(), 0755), 0);
  const int pageFd = openat(fd, page.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(pageFd, 0);
  close(pageFd);
  close(fd);

  const auto entries = list(deep.substr(book().size() + 1));
  EXPECT_EQ(fileNames(entries), (std::vector<std::string>{category, page, "s", "short.htm"}));
  for (const auto& [text, kind] : {std::pair{category, ItemKind::Category},
                                   std::pair{std::string(200, 'p'), ItemKind::HtmlPage}}) {
    const ListedEntry* entry = find(entries, text);
    ASSERT_NE(entry, nullptr) << text;
    EXPECT_EQ(entry->kind, kind);
    EXPECT_EQ(entry->problem.rfind("The path of \"" + entry->fileName + "\" in " + deep + " is longer", 0), 0u)
        << entry->problem;
  }
  EXPECT_EQ(find(entries, "s")->problem, "");
  EXPECT_EQ(find(entries, "short")->problem, "");

  // The tree hands both problems to its owner to show.
  struct Recorder : TreeObserver {
    std::vector<std::string> problems;
    void listingProblem(const std::string& message) override { problems.push_back(message); }
  } recorder;
  platform::Registry registry(configDir());
  ProjectTree tree(registry, ProjectTree::Options{book(), {}});
  tree.setObserver(&recorder);
  tree.fill();
  tree.expandAll(tree.root());
  EXPECT_EQ(recorder.problems.size(), 2u);
  tree.setObserver(nullptr);
}

TEST(LayoutNames, CompanionAndBuildNamesCompareCaseSensitively) {
  EXPECT_TRUE(isCompanionFolderName("x.files"));
  EXPECT_TRUE(isCompanionFolderName("x_files"));
  EXPECT_TRUE(isCompanionFolderName(".files"));
  EXPECT_FALSE(isCompanionFolderName("x.Files"));
  EXPECT_FALSE(isCompanionFolderName("files"));
  EXPECT_TRUE(isBuildFileName("Project.hhp"));
  EXPECT_FALSE(isBuildFileName("project.hhp"));
  EXPECT_FALSE(isBuildFileName("my Project.hhp"));
  EXPECT_EQ(companionFolderFor("/b/Cat/page.htm"), "/b/Cat/page.files");
  EXPECT_EQ(companionFolderFor("/b/v1.2/page"), "/b/v1.2/page.files");
}

}  // namespace
}  // namespace velkin::kb
