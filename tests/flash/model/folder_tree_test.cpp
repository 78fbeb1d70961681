// The Flash folder tree on a real folder: where it is, what it lists, the
// context-menu rules, and new folder / rename / delete with their messages,
// including every refusal to change anything outside the Flash folder.
#include "flash/model/folder_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "flash/model/flash_folder.h"
#include "flash/model/messages.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::flash {
namespace {

using platform::pathExists;
using testing::makeDirs;
using testing::writeTextFile;

// Records what the model asks its view to do.
class Recorder : public kb::TreeObserver {
 public:
  void editLabel(TreeItem* item) override { edited.push_back(item); }
  void itemRemoving(TreeItem* item) override { removed.push_back(item->text); }
  std::vector<TreeItem*> edited;
  std::vector<std::string> removed;
};

class FolderTreeTest : public testing::IsolatedTest {
 protected:
  FolderTreeTest() : registry_(configDir()) {}

  std::string flash() const { return path("Flash"); }
  std::unique_ptr<FolderTree> makeTree(bool showFiles = true, FolderTree::Post post = {}) {
    FolderTree::Options options;
    options.rootFolder = flash();
    options.showFiles = showFiles;
    options.post = std::move(post);
    auto tree = std::make_unique<FolderTree>(registry_, options);
    tree->setObserver(&recorder_);
    tree->fill();
    return tree;
  }
  static TreeItem* child(const TreeItem* parent, const std::string& text) { return parent->childWithText(text); }
  static std::vector<std::string> texts(const TreeItem* parent) {
    std::vector<std::string> out;
    for (const auto& item : parent->children) out.push_back(item->text + item->extension);
    return out;
  }

  platform::Registry registry_;
  Recorder recorder_;
};

TEST_F(FolderTreeTest, FoldersComeFromTheirSavePathsOrTheFlashFolderOfTheDataFolder) {
  const std::string fallback = dataHome() + "/velkin/Flash";
  EXPECT_EQ(flashFolder(registry_), fallback);
  EXPECT_EQ(folderTreeRoot(registry_), fallback);
  registry_.writeString(platform::RegistryRoot::Machine, "software\\kestrova", kSavePathValue, "/srv/saved/");
  registry_.writeString(platform::RegistryRoot::Machine, kPlugInKey, kSavePathValue, "/srv/tree");
  EXPECT_EQ(flashFolder(registry_), "/srv/saved");
  EXPECT_EQ(folderTreeRoot(registry_), "/srv/tree");
  registry_.writeString(platform::RegistryRoot::Machine, kPlugInKey, kSavePathValue, "");
  EXPECT_EQ(folderTreeRoot(registry_), fallback);
  FolderTree tree(registry_);
  tree.fill();
  EXPECT_EQ(tree.rootFolder(), fallback);
  EXPECT_EQ(tree.root()->text, "Flash");
  EXPECT_TRUE(tree.root()->children.empty()) << "a missing folder gives an empty root";
}

TEST_F(FolderTreeTest, ListingShowsFoldersAndExactlySwfMoviesWithKindsPathsAndChildren) {
  makeDirs(flash() + "/Games/Inner");
  makeDirs(flash() + "/Empty");
  makeDirs(flash() + "/OnlyMovies");
  for (const char* name : {"clip.swf", "loud.SWF", "odd.Swf", "notes.txt", "a.swf.bak", "Games/x.txt",
                           "OnlyMovies/m.swf"}) {
    writeTextFile(flash() + "/" + name, "x");
  }
  auto tree = makeTree();
  TreeItem* root = tree->root();
  EXPECT_EQ(static_cast<int>(root->kind), 0);
  EXPECT_EQ(tree->pathOf(root), flash());
  EXPECT_EQ(texts(root), (std::vector<std::string>{"clip.swf", "Empty", "Games", "loud.SWF", "OnlyMovies"}));
  TreeItem* games = child(root, "Games");
  TreeItem* loud = child(root, "loud");
  ASSERT_TRUE(games && loud);
  EXPECT_EQ(static_cast<int>(games->kind), 1);
  EXPECT_EQ(static_cast<int>(loud->kind), 2);
  EXPECT_TRUE(games->hasChildren);
  EXPECT_FALSE(child(root, "Empty")->hasChildren);
  EXPECT_TRUE(child(root, "OnlyMovies")->hasChildren);
  EXPECT_EQ(tree->pathOf(loud), flash() + "/loud.SWF");
  EXPECT_EQ(tree->folderOf(loud), flash());
  EXPECT_EQ(tree->movieToPlay(loud), flash() + "/loud.SWF");
  EXPECT_EQ(tree->movieToPlay(games), std::nullopt);

  EXPECT_TRUE(games->children.empty()) << "one level at a time";
  tree->expand(games);
  EXPECT_EQ(texts(games), std::vector<std::string>{"Inner"});
  EXPECT_EQ(tree->pathOf(child(games, "Inner")), flash() + "/Games/Inner");
  writeTextFile(flash() + "/Games/late.swf", "x");
  tree->expand(games);
  EXPECT_EQ(texts(games), std::vector<std::string>{"Inner"}) << "a folder is listed once; refresh relists";
  tree->refresh();
  TreeItem* again = child(tree->root(), "Games");
  tree->expand(again);
  EXPECT_EQ(texts(again), (std::vector<std::string>{"Inner", "late.swf"}));

  auto chooser = makeTree(false);
  EXPECT_EQ(texts(chooser->root()), (std::vector<std::string>{"Empty", "Games", "OnlyMovies"}));
  EXPECT_FALSE(child(chooser->root(), "OnlyMovies")->hasChildren) << "movies do not count without files";
}

TEST_F(FolderTreeTest, ContextMenuOffersWhatFitsTheItemAndNothingWithoutFiles) {
  makeDirs(flash() + "/Folder");
  writeTextFile(flash() + "/m.swf", "x");
  auto tree = makeTree();
  struct Case {
    const char* name;
    TreeItem* hit;
    MenuState expected;
  };
  const std::vector<Case> cases = {
      {"nothing hit", nullptr, {true, false, false, false}},
      {"root", tree->root(), {true, true, false, false}},
      {"folder", child(tree->root(), "Folder"), {true, true, true, true}},
      {"movie", child(tree->root(), "m"), {true, false, true, true}},
  };
  for (const Case& c : cases) {
    const MenuState menu = tree->menuFor(c.hit);
    EXPECT_EQ((std::vector<bool>{menu.offered, menu.newFolder, menu.rename, menu.remove}),
              (std::vector<bool>{c.expected.offered, c.expected.newFolder, c.expected.rename, c.expected.remove}))
        << c.name;
  }
  EXPECT_FALSE(makeTree(false)->menuFor(nullptr).offered);
}

TEST_F(FolderTreeTest, NewFolderMakesOneNewFolderFirstOrReopensTheOneThere) {
  auto tree = makeTree();
  EXPECT_FALSE(tree->newFolder().ok) << "nothing selected";

  tree->select(tree->root());
  auto made = tree->newFolder();
  ASSERT_TRUE(made.ok) << made.message;
  EXPECT_TRUE(platform::isDirectory(flash() + "/New Folder")) << "a missing Flash folder is made on first use";
  EXPECT_EQ(tree->root()->children.front().get(), made.item);
  EXPECT_EQ(tree->selected(), made.item);
  ASSERT_EQ(recorder_.edited.size(), 1u);
  EXPECT_EQ(recorder_.edited.back(), made.item);

  made.item->text = "new folder";  // as the disk may spell it
  tree->select(tree->root());
  auto again = tree->newFolder();
  EXPECT_TRUE(again.ok);
  EXPECT_EQ(again.item, made.item);
  EXPECT_EQ(recorder_.edited.back(), made.item);
  EXPECT_EQ(tree->root()->children.size(), 1u) << "no second item";

  // Under a movie's folder; a file already named "New Folder" is left alone.
  makeDirs(flash() + "/Games");
  writeTextFile(flash() + "/Games/m.swf", "x");
  writeTextFile(flash() + "/Games/New Folder", "not a folder");
  tree->refresh();
  TreeItem* games = child(tree->root(), "Games");
  tree->expand(games);
  tree->select(child(games, "m"));
  auto inGames = tree->newFolder();
  ASSERT_TRUE(inGames.ok) << inGames.message;
  EXPECT_EQ(inGames.item->parent, games);
  EXPECT_EQ(inGames.item->text, "New Folder (2)");
  EXPECT_TRUE(platform::isDirectory(flash() + "/Games/New Folder (2)"));
  EXPECT_EQ(testing::readTextFile(flash() + "/Games/New Folder"), "not a folder");
}

TEST_F(FolderTreeTest, RenameRefusesBadAndTakenNamesWithTheirMessagesAndRenamesOnDisk) {
  makeDirs(flash() + "/Folder");
  makeDirs(flash() + "/Other");
  writeTextFile(flash() + "/clip.SWF", "c");
  writeTextFile(flash() + "/taken.swf", "t");
  auto tree = makeTree();
  TreeItem* root = tree->root();
  struct Case {
    const char* item;
    std::string text;
    kb::RenameStatus status;
    const char* message;
  };
  std::vector<Case> cases;
  for (char letter : std::string("\\/:*?\"<>|")) {
    cases.push_back({"clip", std::string("a") + letter + "b", kb::RenameStatus::InvalidName, kInvalidLetterMessage});
  }
  const std::vector<Case> more = {
      {"Folder", "..", kb::RenameStatus::InvalidName, kInvalidLetterMessage},
      {"Folder", ".", kb::RenameStatus::InvalidName, kInvalidLetterMessage},
      {"Folder", "../escape", kb::RenameStatus::InvalidName, kInvalidLetterMessage},
      {"clip", "TAKEN", kb::RenameStatus::InvalidName, kFileNameTakenMessage},
      {"Folder", "other", kb::RenameStatus::InvalidName, kFolderNameTakenMessage},
      {"clip", "", kb::RenameStatus::Unchanged, ""},
      {"clip", "clip", kb::RenameStatus::Unchanged, ""},
      {"Folder", "Taken", kb::RenameStatus::Renamed, ""},  // a movie's name is no folder's
      {"clip", "Folder", kb::RenameStatus::Renamed, ""},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  for (const Case& c : cases) {
    TreeItem* item = child(root, c.item);
    ASSERT_NE(item, nullptr) << c.item;
    const size_t editsBefore = recorder_.edited.size();
    kb::TreeOutcome outcome;
    EXPECT_EQ(tree->rename(item, c.text, &outcome), c.status) << c.item << " -> " << c.text;
    EXPECT_EQ(outcome.message, c.message) << c.item << " -> " << c.text;
    const bool refused = c.status == kb::RenameStatus::InvalidName;
    EXPECT_EQ(recorder_.edited.size(), editsBefore + (refused ? 1 : 0)) << "editing reopens only after a refusal";
    if (c.status == kb::RenameStatus::Renamed) {
      EXPECT_EQ(item->text, c.text);
      // Restore the name so later cases find the item again.
      ASSERT_EQ(tree->rename(item, c.item), kb::RenameStatus::Renamed);
    }
  }
  EXPECT_EQ(texts(root), (std::vector<std::string>{"clip.SWF", "Folder", "Other", "taken.swf"}));
  ASSERT_EQ(tree->rename(child(root, "clip"), "renamed"), kb::RenameStatus::Renamed);
  EXPECT_EQ(testing::readTextFile(flash() + "/renamed.SWF"), "c") << "the movie keeps its extension letters";
  EXPECT_FALSE(pathExists(flash() + "/clip.SWF"));

  // A rename that fails on disk leaves the item as it was.
  std::filesystem::remove(flash() + "/taken.swf");
  TreeItem* gone = child(root, "taken");
  kb::TreeOutcome failed;
  EXPECT_EQ(tree->rename(gone, "new", &failed), kb::RenameStatus::Failed);
  EXPECT_FALSE(failed.error.empty());
  EXPECT_EQ(gone->text, "taken");
}

TEST_F(FolderTreeTest, DeleteMovesFolderOrMovieToTheTrashAndDropsTheItemOnlyWhenItWent) {
  makeDirs(flash() + "/Folder/Inner");
  writeTextFile(flash() + "/m.swf", "m");
  auto tree = makeTree();
  TreeItem* root = tree->root();
  EXPECT_FALSE(tree->remove(root).ok);
  EXPECT_FALSE(tree->remove(nullptr).ok);

  TreeItem* folder = child(root, "Folder");
  tree->select(folder);
  ASSERT_TRUE(tree->remove(folder).ok);
  EXPECT_FALSE(pathExists(flash() + "/Folder"));
  EXPECT_TRUE(platform::isDirectory(dataHome() + "/Trash/files/Folder/Inner"));
  EXPECT_EQ(recorder_.removed, std::vector<std::string>{"Folder"});
  EXPECT_EQ(tree->selected(), root);

  std::filesystem::remove(flash() + "/m.swf");
  const auto failed = tree->remove(child(root, "m"));
  EXPECT_FALSE(failed.ok);
  EXPECT_FALSE(failed.error.empty());
  EXPECT_NE(child(root, "m"), nullptr) << "an item whose deletion failed stays";
}

TEST_F(FolderTreeTest, NothingOutsideTheFlashFolderIsCreatedRenamedOrDeleted) {
  makeDirs(path("outside/Kept"));
  writeTextFile(path("outside/victim.swf"), "v");
  makeDirs(flash());
  ASSERT_EQ(symlink(path("outside").c_str(), (flash() + "/Link").c_str()), 0);
  auto tree = makeTree();
  TreeItem* link = child(tree->root(), "Link");
  ASSERT_NE(link, nullptr);
  tree->expand(link);
  TreeItem* victim = child(link, "victim");
  TreeItem* kept = child(link, "Kept");
  ASSERT_TRUE(victim && kept);

  tree->select(victim);
  const auto made = tree->newFolder();
  EXPECT_FALSE(made.ok);
  EXPECT_NE(made.message.find("lies outside the Flash folder"), std::string::npos) << made.message;
  kb::TreeOutcome renamed;
  EXPECT_EQ(tree->rename(victim, "moved", &renamed), kb::RenameStatus::Failed);
  EXPECT_NE(renamed.message.find("lies outside the Flash folder"), std::string::npos);
  EXPECT_FALSE(tree->remove(kept).ok);
  EXPECT_FALSE(tree->remove(victim).ok);
  EXPECT_EQ(testing::sortedNamesIn(path("outside")), (std::vector<std::string>{"Kept", "victim.swf"}));

  // The link itself lies inside: it goes to the Trash, what it names stays.
  ASSERT_TRUE(tree->remove(link).ok);
  EXPECT_FALSE(pathExists(flash() + "/Link"));
  EXPECT_EQ(testing::readTextFile(path("outside/victim.swf")), "v");

  struct Case {
    std::string path;
    bool changeable;
  };
  const std::vector<Case> cases = {
      {flash() + "/a", true},
      {flash() + "/a/", true},
      {flash() + "/../escape", false},
      {flash() + "/..", false},
      {flash() + "/.", false},
      {flash(), false},
      {flash() + "/missing/a", false},
      {path("outside/a"), false},
      {path("Flash2/a"), false},
  };
  makeDirs(path("Flash2"));
  for (const Case& c : cases) EXPECT_EQ(isChangeableInside(flash(), c.path), c.changeable) << c.path;
}

TEST_F(FolderTreeTest, ChangesInTheFlashFolderRefreshTheTreeOnTheOwnersThread) {
  makeDirs(flash());
  testing::TaskQueue queue;
  auto tree = makeTree(true, queue.poster());
  EXPECT_TRUE(tree->isWatching());
  writeTextFile(path("incoming.swf"), "x");
  std::filesystem::copy_file(path("incoming.swf"), flash() + "/incoming.swf");
  ASSERT_TRUE(queue.waitForTask(std::chrono::seconds(5)));
  EXPECT_EQ(child(tree->root(), "incoming"), nullptr) << "nothing changes before the owner runs the task";
  queue.runAll();
  EXPECT_NE(child(tree->root(), "incoming"), nullptr);
  tree.reset();
  writeTextFile(flash() + "/late.swf", "x");
  queue.runAll();  // a task left behind by a tree that is gone does nothing
}

}  // namespace
}  // namespace velkin::flash
