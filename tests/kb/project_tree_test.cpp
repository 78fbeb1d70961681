// The project tree model on a real folder: filling, paths, selection memory,
// and every file operation with what it does on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "kb/book_dir.h"
#include "kb/messages.h"
#include "kb/project_tree.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "support/test_support.h"

namespace velkin::kb {
namespace {

using platform::pathExists;
using testing::makeDirs;
using testing::writeTextFile;

class ProjectTreeTest : public testing::IsolatedTest {
 protected:
  ProjectTreeTest() : registry_(configDir()) {}

  std::string book() const { return path("book"); }
  std::unique_ptr<ProjectTree> makeTree(ProjectTree::Post post = {}) {
    ProjectTree::Options options;
    options.bookDirectory = book();
    options.post = std::move(post);
    auto tree = std::make_unique<ProjectTree>(registry_, options);
    tree->fill();
    return tree;
  }
  static TreeItem* child(const TreeItem* parent, const std::string& text) { return parent->childWithText(text); }
  static std::vector<std::string> texts(const TreeItem* parent) {
    std::vector<std::string> out;
    for (const auto& item : parent->children) out.push_back(item->text);
    std::sort(out.begin(), out.end());
    return out;
  }

  platform::Registry registry_;
};

TEST_F(ProjectTreeTest, BookDirectoryComesFromBookPathOrTheProjectFolderOfTheDataFolder) {
  EXPECT_EQ(bookDirectory(registry_), dataHome() + "/velkin/Project");
  registry_.writeString(platform::RegistryRoot::Machine, kKestrovaKey, kBookPathValue, "/srv/kb/");
  EXPECT_EQ(bookDirectory(registry_), "/srv/kb");
}

TEST_F(ProjectTreeTest, MissingBookDirectoryGivesTheRootAlone) {
  auto tree = makeTree();
  EXPECT_EQ(tree->root()->text, kRootText);
  EXPECT_EQ(tree->root()->kind, ItemKind::Root);
  EXPECT_TRUE(tree->root()->children.empty());
  EXPECT_EQ(tree->pathOf(tree->root()), book());
}

TEST_F(ProjectTreeTest, PathsKeepThePagesOwnExtensionLetters) {
  writeTextFile(book() + "/Cat/Sub/Page.HTML", "x");
  writeTextFile(book() + "/Cat/Sub/other.htm", "x");
  writeTextFile(book() + "/Cat/Sub/Upper.HTM", "x");
  auto tree = makeTree();
  TreeItem* cat = child(tree->root(), "Cat");
  ASSERT_NE(cat, nullptr);
  EXPECT_TRUE(cat->hasChildren);
  EXPECT_TRUE(cat->children.empty()) << "listed only when expanded";
  tree->expand(cat);
  TreeItem* sub = child(cat, "Sub");
  tree->expand(sub);
  EXPECT_EQ(tree->pathOf(sub), book() + "/Cat/Sub");
  EXPECT_EQ(tree->pathOf(child(sub, "Page")), book() + "/Cat/Sub/Page.HTML");
  EXPECT_EQ(child(sub, "Page")->kind, ItemKind::HtmlPage);
  EXPECT_EQ(tree->pathOf(child(sub, "other")), book() + "/Cat/Sub/other.htm");
  EXPECT_EQ(tree->pathOf(child(sub, "Upper")), book() + "/Cat/Sub/Upper.HTM");
  EXPECT_EQ(tree->findPath(book() + "/cat/sub/page.html"), child(sub, "Page"));
}

TEST_F(ProjectTreeTest, ExpandListsOnceAndHtmlOnlyCategoriesAreExpandable) {
  writeTextFile(book() + "/Html/only.html", "x");
  auto tree = makeTree();
  TreeItem* html = child(tree->root(), "Html");
  EXPECT_TRUE(html->hasChildren);
  tree->expand(html);
  writeTextFile(book() + "/Html/later.htm", "x");
  tree->expand(html);
  EXPECT_EQ(texts(html), std::vector<std::string>{"only"});
}

TEST_F(ProjectTreeTest, SelectedFolderIsRestoredWithoutCaseAndWrittenOnDestruction) {
  writeTextFile(book() + "/A/B/deep.htm", "x");
  registry_.writeString(platform::RegistryRoot::User, kSelectedKey, kSelectedFolderValue,
                        book() + "/a/b/DEEP.htm");
  {
    auto tree = makeTree();
    ASSERT_NE(tree->selected(), nullptr);
    EXPECT_EQ(tree->pathOf(tree->selected()), book() + "/A/B/deep.htm");
    tree->select(child(tree->root(), "A"));
  }
  EXPECT_EQ(registry_.readString(platform::RegistryRoot::User, kSelectedKey, kSelectedFolderValue),
            book() + "/A");
}

TEST_F(ProjectTreeTest, RefreshKeepsTheCurrentSelection) {
  makeDirs(book() + "/One");
  makeDirs(book() + "/Two");
  registry_.writeString(platform::RegistryRoot::User, kSelectedKey, kSelectedFolderValue, book() + "/One");
  auto tree = makeTree();
  tree->select(child(tree->root(), "Two"));
  tree->refresh();
  ASSERT_NE(tree->selected(), nullptr);
  EXPECT_EQ(tree->selected()->text, "Two");
}

TEST_F(ProjectTreeTest, RenameRefusesInvalidLettersAndKeepsTheOldName) {
  makeDirs(book() + "/Old");
  auto tree = makeTree();
  TreeItem* old = child(tree->root(), "Old");
  for (const std::string bad : {"a/b", "a\\b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "..", "."}) {
    TreeOutcome outcome;
    EXPECT_EQ(tree->rename(old, bad, &outcome), RenameStatus::InvalidName) << bad;
    EXPECT_EQ(outcome.message, kInvalidLetterMessage);
  }
  EXPECT_EQ(old->text, "Old");
  EXPECT_TRUE(pathExists(book() + "/Old"));
  EXPECT_EQ(tree->rename(old, ""), RenameStatus::Unchanged);
  EXPECT_EQ(tree->rename(old, "Old"), RenameStatus::Unchanged);
}

TEST_F(ProjectTreeTest, RenameMovesTheFolderAndNeverOntoAnExistingOne) {
  writeTextFile(book() + "/Old/p.htm", "x");
  writeTextFile(book() + "/Taken/q.htm", "y");
  auto tree = makeTree();
  TreeItem* old = child(tree->root(), "Old");
  EXPECT_EQ(tree->rename(old, "Taken"), RenameStatus::Renamed);
  EXPECT_EQ(old->text, "Taken (2)");
  EXPECT_EQ(tree->selected(), old);
  EXPECT_TRUE(pathExists(book() + "/Taken (2)/p.htm"));
  EXPECT_TRUE(pathExists(book() + "/Taken/q.htm"));
  EXPECT_FALSE(pathExists(book() + "/Taken/p.htm"));
  EXPECT_FALSE(pathExists(book() + "/Old"));
  // Pages and the root have no rename.
  EXPECT_EQ(tree->rename(tree->root(), "X"), RenameStatus::Unchanged);
}

TEST_F(ProjectTreeTest, NewCategoryCreatesTheFolderAndAsksForItsName) {
  struct Recorder : TreeObserver {
    TreeItem* edited = nullptr;
    void editLabel(TreeItem* item) override { edited = item; }
  } recorder;
  makeDirs(book());
  auto tree = makeTree();
  tree->setObserver(&recorder);
  const auto first = tree->newCategory(tree->root());
  const auto second = tree->newCategory(tree->root());
  EXPECT_TRUE(first.ok && second.ok);
  EXPECT_EQ(first.item->text, "New Category");
  EXPECT_EQ(second.item->text, "New Category (2)");
  EXPECT_EQ(recorder.edited, second.item);
  EXPECT_TRUE(platform::isDirectory(book() + "/New Category"));
  EXPECT_TRUE(platform::isDirectory(book() + "/New Category (2)"));
  EXPECT_EQ(tree->rename(first.item, "Recipes"), RenameStatus::Renamed);
  EXPECT_TRUE(platform::isDirectory(book() + "/Recipes"));
}

TEST_F(ProjectTreeTest, NewCategoryFailureReportsTheFullPath) {
  auto tree = makeTree();  // the book directory does not exist
  const auto outcome = tree->newCategory(tree->root());
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.message, "Failed to Create Directory: " + book() + "/New Category!");
  EXPECT_NE(outcome.item, nullptr) << "the item stays";
}

TEST_F(ProjectTreeTest, MoveIntoOwnDescendantIsRefusedAndChangesNothing) {
  makeDirs(book() + "/A/B/C");
  auto tree = makeTree();
  TreeItem* a = child(tree->root(), "A");
  tree->expand(a);
  TreeItem* b = child(a, "B");
  tree->expand(b);
  TreeItem* c = child(b, "C");
  EXPECT_FALSE(tree->move(a, c).ok);
  EXPECT_FALSE(tree->move(a, a).ok);
  EXPECT_EQ(tree->selected(), a);
  EXPECT_TRUE(platform::isDirectory(book() + "/A/B/C"));
  EXPECT_EQ(child(tree->root(), "A"), a);
}

TEST_F(ProjectTreeTest, MoveCarriesThePagesCompanionFolderAndNeverOverwrites) {
  writeTextFile(book() + "/From/page.htm", "moving");
  writeTextFile(book() + "/From/page.files/pic.png", "png");
  writeTextFile(book() + "/To/page.htm", "already there");
  auto tree = makeTree();
  TreeItem* from = child(tree->root(), "From");
  tree->expand(from);
  TreeItem* to = child(tree->root(), "To");
  const auto outcome = tree->move(child(from, "page"), to);
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.item->text, "page (2)");
  EXPECT_EQ(tree->selected(), outcome.item);
  EXPECT_EQ(testing::readTextFile(book() + "/To/page.htm"), "already there");
  EXPECT_EQ(testing::readTextFile(book() + "/To/page (2).htm"), "moving");
  EXPECT_EQ(testing::readTextFile(book() + "/To/page (2).files/pic.png"), "png");
  EXPECT_FALSE(pathExists(book() + "/From/page.files"));
  EXPECT_EQ(texts(to), (std::vector<std::string>{"page", "page (2)"}));
  EXPECT_TRUE(from->children.empty());
}

TEST_F(ProjectTreeTest, DeleteSendsPageAndCompanionToTheTrashWhereTheyCanBeRestored) {
  writeTextFile(book() + "/Cat/page.htm", "keep me");
  writeTextFile(book() + "/Cat/page_files/a.css", "css");
  auto tree = makeTree();
  TreeItem* cat = child(tree->root(), "Cat");
  tree->expand(cat);
  const auto outcome = tree->remove(child(cat, "page"));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_TRUE(cat->children.empty());
  EXPECT_FALSE(pathExists(book() + "/Cat/page.htm"));
  EXPECT_FALSE(pathExists(book() + "/Cat/page_files"));
  const std::string trash = dataHome() + "/Trash";
  for (const auto& entry : std::filesystem::directory_iterator(trash + "/files")) {
    EXPECT_TRUE(platform::restoreFromTrash(entry.path().string()).ok) << entry.path();
  }
  EXPECT_EQ(testing::readTextFile(book() + "/Cat/page.htm"), "keep me");
  EXPECT_EQ(testing::readTextFile(book() + "/Cat/page_files/a.css"), "css");
  EXPECT_FALSE(tree->remove(tree->root()).ok);
}

TEST_F(ProjectTreeTest, CopyInAddsPagesAndFoldersButNoOtherFiles) {
  makeDirs(book() + "/Target");
  writeTextFile(path("outside/Dropped/inner/x.html"), "x");
  writeTextFile(path("outside/Dropped/inner/x.files/p.png"), "p");
  writeTextFile(path("outside/single.htm"), "s");
  writeTextFile(path("outside/archive.zip"), "z");
  auto tree = makeTree();
  TreeItem* target = child(tree->root(), "Target");
  const auto outcome = tree->copyIn(
      {path("outside/Dropped"), path("outside/single.htm"), path("outside/archive.zip")}, target);
  EXPECT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(texts(target), (std::vector<std::string>{"Dropped", "single"}));
  TreeItem* inner = child(child(target, "Dropped"), "inner");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(texts(inner), std::vector<std::string>{"x"});
  EXPECT_TRUE(pathExists(book() + "/Target/archive.zip"));
  EXPECT_TRUE(pathExists(book() + "/Target/Dropped/inner/x.files/p.png"));
  EXPECT_TRUE(pathExists(path("outside/single.htm"))) << "copy leaves the source";
}

using testing::TaskQueue;

TEST_F(ProjectTreeTest, WatcherRefreshesOnTheOwnersThreadForBookDirectoryChangesOnly) {
  makeDirs(book() + "/Cat");
  TaskQueue queue;
  auto tree = makeTree(queue.poster());
  EXPECT_TRUE(tree->isWatching());

  writeTextFile(book() + "/Cat/inside.htm", "x");
  EXPECT_FALSE(queue.waitForTask(std::chrono::milliseconds(300))) << "sub-folder changes are not watched";

  writeTextFile(book() + "/arrived.htm", "x");
  ASSERT_TRUE(queue.waitForTask(std::chrono::seconds(5)));
  EXPECT_EQ(child(tree->root(), "arrived"), nullptr) << "nothing changes before the owner runs the task";
  queue.runAll();
  EXPECT_NE(child(tree->root(), "arrived"), nullptr);
}

TEST_F(ProjectTreeTest, ARefreshWaitingToRunCoversEveryLaterChange) {
  makeDirs(book());
  TaskQueue queue;
  auto tree = makeTree(queue.poster());
  writeTextFile(book() + "/first.htm", "x");
  ASSERT_TRUE(queue.waitForTask(std::chrono::seconds(5)));

  // A program saves many pages while the owner is busy: the Refresh already
  // waiting will list them all, so no second one is posted.
  for (int i = 0; i < 40; ++i) writeTextFile(book() + "/saved " + std::to_string(i) + ".htm", "x");
  makeDirs(book() + "/saved.files");
  makeDirs(book() + "/New Folder");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(queue.size(), 1u);
  queue.runAll();
  EXPECT_EQ(tree->root()->children.size(), 42u) << "first, 40 saved pages and New Folder";

  // Once it has run, the next change posts a Refresh again.
  writeTextFile(book() + "/later.htm", "x");
  ASSERT_TRUE(queue.waitForTask(std::chrono::seconds(5)));
  queue.runAll();
  EXPECT_NE(child(tree->root(), "later"), nullptr);
}

TEST_F(ProjectTreeTest, RefreshPostedAfterTheTreeIsGoneDoesNothing) {
  makeDirs(book());
  TaskQueue queue;
  auto tree = makeTree(queue.poster());
  writeTextFile(book() + "/new.htm", "x");
  ASSERT_TRUE(queue.waitForTask(std::chrono::seconds(5)));
  tree.reset();
  queue.runAll();  // must not touch the destroyed tree
}

}  // namespace
}  // namespace velkin::kb
