// The velkin list, search, meta and book-dir commands, run as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "kb/meta.h"
#include "kb/project_tree.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin {
namespace {

using std::filesystem::create_directory_symlink;
using testing::ProgramRun;
using testing::readTextFile;
using testing::runProgram;
using testing::writeTextFile;

class VelkinListTest : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    writeTextFile(book() + "/Recipes/Cakes/cheese.html", kb::captureHeader("https://Food.example/cheese"));
    writeTextFile(book() + "/Recipes/bread.htm", kb::captureHeader("https://bakery.example/bread") + "<p>");
    writeTextFile(book() + "/Recipes/bread.files/pic.png", "png");
    writeTextFile(book() + "/Recipes/Index.hhk", "left over");
    writeTextFile(book() + "/Notes/todo.txt", "not a page");
  }
  std::string book() const { return path("kb"); }
  ProgramRun velkin(std::vector<std::string> args) const {
    args.insert(args.begin(), VELKIN_CLI_PATH);
    return runProgram(args);
  }
  ProgramRun inBook(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--book", book()});
    return velkin(args);
  }
  static std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end == std::string::npos ? text.size() : end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }
};

TEST_F(VelkinListTest, TsvListsTheWholeTreeWithDepthKindTextAndPath) {
  const auto run = inBook({"list", "--tsv"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(sortedLines(run.out), (std::vector<std::string>{
                                      "0\t0\tMy Projects\t" + book(),
                                      "1\t1\tNotes\t" + book() + "/Notes",
                                      "1\t1\tRecipes\t" + book() + "/Recipes",
                                      "2\t1\tCakes\t" + book() + "/Recipes/Cakes",
                                      "2\t2\tbread\t" + book() + "/Recipes/bread.htm",
                                      "3\t3\tcheese\t" + book() + "/Recipes/Cakes/cheese.html",
                                  }));
  EXPECT_FALSE(platform::pathExists(book() + "/Recipes/Index.hhk"));
}

TEST_F(VelkinListTest, PlainListIndentsByDepthAndCategoryArgumentListsItsSubtree) {
  const auto run = inBook({"list", "Recipes/Cakes"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Cakes\n  cheese\n");
  EXPECT_EQ(inBook({"list", "Recipes/bread.files"}).status, 1);
  EXPECT_EQ(inBook({"list", "Nowhere"}).status, 1);
}

TEST_F(VelkinListTest, MissingBookDirectoryPrintsTheRootAlone) {
  const auto run = velkin({"--book", path("missing"), "list"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "My Projects\n");
}

TEST_F(VelkinListTest, SearchModesShowEveryCategoryAndOnlyMatchingPages) {
  const auto byUrl = inBook({"search", "--url", "FOOD.example", "--tsv"});
  ASSERT_EQ(byUrl.status, 0) << byUrl.err;
  EXPECT_NE(byUrl.out.find("\tcheese\t"), std::string::npos);
  EXPECT_EQ(byUrl.out.find("\tbread\t"), std::string::npos);
  EXPECT_NE(byUrl.out.find("\tNotes\t"), std::string::npos);

  const auto byName = inBook({"search", "--name", "HTM"});
  EXPECT_NE(byName.out.find("cheese"), std::string::npos);
  EXPECT_NE(byName.out.find("bread"), std::string::npos);

  const auto byDate = inBook({"search", "--created", "2000-01-01", "2999-12-31T23:59:59"});
  EXPECT_NE(byDate.out.find("bread"), std::string::npos);
  const auto none = inBook({"search", "--created", "2000-01-01", "2000-01-02"});
  EXPECT_EQ(none.out.find("bread"), std::string::npos);
  EXPECT_NE(none.out.find("Recipes"), std::string::npos);
}

// A category may be a link to a folder anywhere: its pages are listed, but
// the build files there are not the book's, and no listing deletes anything
// through a link, not even in the book's own folders. Links into the
// kernel's folders and webs of links do not keep a listing busy.
TEST_F(VelkinListTest, LinkedCategoriesAreListedButNothingIsDeletedThroughThem) {
  const char* buildFiles[] = {"k==estrova.htm", "Contents.hhc", "ExportASCHM.bat", "Index.hhk", "Project.hhp"};
  const std::string elsewhere = path("elsewhere");
  writeTextFile(elsewhere + "/there.htm", "x");
  for (const char* name : buildFiles) {
    writeTextFile(elsewhere + "/" + name, "not the book's");
    writeTextFile(book() + "/Inner/Sub/" + name, "left over");
  }
  create_directory_symlink(elsewhere, book() + "/Linked");
  create_directory_symlink(book() + "/Inner/Sub", book() + "/ToSub");
  create_directory_symlink("/proc", book() + "/Proc");
  // Six folders, each linking to the five others and up to the book.
  constexpr int kWebSize = 6;
  for (int from = 0; from < kWebSize; ++from) {
    const std::string folder = book() + "/Web/F" + std::to_string(from);
    testing::makeDirs(folder);
    create_directory_symlink(book(), folder + "/up");
    for (int to = 0; to < kWebSize; ++to) {
      if (to != from) create_directory_symlink(book() + "/Web/F" + std::to_string(to), folder + "/to" + std::to_string(to));
    }
  }

  // The book's own folder, listed through a link, keeps its files.
  ASSERT_EQ(inBook({"list", "ToSub"}).status, 0);
  for (const char* name : buildFiles) EXPECT_TRUE(platform::pathExists(book() + "/Inner/Sub/" + name)) << name;
  {
    platform::Registry registry(configDir());
    kb::ProjectTree::Options options;
    options.bookDirectory = book();
    kb::ProjectTree tree(registry, options);
    tree.fill();
    kb::TreeItem* linked = tree.findPath(book() + "/Linked");
    ASSERT_NE(linked, nullptr);
    tree.expand(linked);
    ASSERT_EQ(linked->children.size(), 1u);
    EXPECT_EQ(linked->children[0]->text, "there");
    EXPECT_FALSE(tree.findPath(book() + "/Proc")->hasChildren);
    tree.select(nullptr);
  }

  const auto all = inBook({"list", "--tsv"});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_NE(all.out.find("2\t2\tthere\t" + book() + "/Linked/there.htm\n"), std::string::npos) << all.out;
  for (const char* name : buildFiles) {
    EXPECT_EQ(readTextFile(elsewhere + "/" + name), "not the book's") << name;
    EXPECT_FALSE(platform::pathExists(book() + "/Inner/Sub/" + name)) << name << ": a real folder is cleaned";
  }
  EXPECT_NE(all.out.find("1\t1\tProc\t" + book() + "/Proc\n"), std::string::npos);
  EXPECT_EQ(all.out.find(book() + "/Proc/"), std::string::npos) << "nothing below /proc";
  // Each folder of the web is read where it is and once through links: a
  // few dozen lines, where following every path through it gives thousands.
  size_t webLines = 0;
  for (size_t at = all.out.find("/Web/"); at != std::string::npos; at = all.out.find("/Web/", at + 1)) ++webLines;
  EXPECT_LT(webLines, 120u) << all.out;
}

TEST_F(VelkinListTest, BadArgumentsGiveUsageAndStatusTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"list", "--nope"},
      {"list", "a", "b"},
      {"search"},
      {"search", "--url"},
      {"search", "--url", "x", "--name", "y"},
      {"search", "--created", "2020-13-01", "2020-12-01"},
      {"search", "--created", "yesterday", "today"},
      {"meta"},
      {"--book"},
  };
  for (const auto& args : bad) {
    const auto run = velkin(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage: velkin"), std::string::npos) << ::testing::PrintToString(args);
  }
}

TEST_F(VelkinListTest, MetaPrintsTheValueAsTheReaderReturnsIt) {
  EXPECT_EQ(velkin({"meta", book() + "/Recipes/bread.htm"}).out, "HTTPS://BAKERY.EXAMPLE/BREAD\n");
  EXPECT_EQ(velkin({"meta", book() + "/Recipes/bread.htm", "keyword"}).out, "\n");
  const auto missing = velkin({"meta", book() + "/nope.htm"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no such page"), std::string::npos);
}

TEST_F(VelkinListTest, BookDirectoryDefaultsToTheDataFolderAndFollowsBookPath) {
  EXPECT_EQ(velkin({"book-dir"}).out, dataHome() + "/velkin/Project\n");
  ASSERT_EQ(velkin({"registry", "set", "HKLM\\SOFTWARE\\Kestrova", "BookPath", book()}).status, 0);
  EXPECT_EQ(velkin({"book-dir"}).out, book() + "\n");
  EXPECT_NE(velkin({"list"}).out.find("Recipes"), std::string::npos);
}

}  // namespace
}  // namespace velkin
