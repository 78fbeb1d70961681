// The Flash folder tree widget on a temporary Flash folder: label editing
// with the refusal messages and the edit reopened, New Folder, Delete and
// the context menu's wiring and enabling, the folders-only mode, playing a
// movie on selection, Options refreshing on OK, and the watcher's refresh.
#include "flash/ui/folder_tree_view.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "flash/model/messages.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::flash::ui {
namespace {

namespace fs = std::filesystem;
using testing::makeDirs;
using testing::writeTextFile;

class FolderTreeViewTest : public testing::IsolatedTest {
 protected:
  FolderTreeViewTest() : registry_(configDir()) {
    makeDirs(flash() + "/Cards/Inner");
    makeDirs(flash() + "/Games");
    writeTextFile(flash() + "/clip.swf", "a");
    writeTextFile(flash() + "/other.SWF", "b");
  }

  std::string flash() const { return path("Flash"); }
  std::unique_ptr<FolderTreeView> makeView(bool showFiles = true, bool watch = false) {
    FolderTreeView::Options options;
    options.rootFolder = flash();
    options.showFiles = showFiles;
    options.watch = watch;
    auto view = std::make_unique<FolderTreeView>(registry_, options);
    FolderTreeView::Seams seams;
    seams.prompts.inform = [this](QWidget*, const char* caption, const std::string& text) {
      messages_.push_back(std::string(caption) + "|" + text);
    };
    seams.runOptions = [this](QWidget*) { return optionsAnswer_; };
    seams.openHelp = [this](QWidget*) { commands_.push_back("help"); };
    seams.showAbout = [this](QWidget*) { commands_.push_back("about"); };
    view->setViewSeams(seams);
    return view;
  }
  static kb::TreeItem* item(FolderTreeView& view, const std::string& text) {
    return view.model().root()->childWithText(text);
  }
  static QLineEdit* labelEditor(FolderTreeView& view) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return view.viewport()->findChild<QLineEdit*>();
  }
  // Types text into the open label editor and commits it; returns once the
  // edit has ended or a message was shown.
  void commitLabel(FolderTreeView& view, const QString& text) {
    QLineEdit* editor = labelEditor(view);
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);  // the editor commits on its next turn
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages_.empty() || !view.isEditingLabel(); }, 5000));
  }

  platform::Registry registry_;
  std::vector<std::string> messages_;
  std::vector<std::string> commands_;
  bool optionsAnswer_ = false;
};

TEST_F(FolderTreeViewTest, RefusedNamesShowTheirMessageAndReopenTheEditAGoodNameRenames) {
  struct Case {
    const char* item;
    const char* text;
    const char* message;  // nullptr: renamed to expected
    const char* expected;
  };
  const Case cases[] = {
      {"clip", "a?b", kInvalidLetterMessage, nullptr},
      {"clip", "OTHER", kFileNameTakenMessage, nullptr},
      {"Cards", "games", kFolderNameTakenMessage, nullptr},
      {"clip", "renamed", nullptr, "renamed.swf"},
      {"Cards", "Letters", nullptr, "Letters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.item) + " -> " + c.text);
    messages_.clear();
    auto view = makeView();
    view->model().select(item(*view, c.item));
    view->renameSelected();
    ASSERT_TRUE(view->isEditingLabel());
    commitLabel(*view, QString::fromLatin1(c.text));
    if (c.message != nullptr) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return view->isEditingLabel(); }, 5000)) << "the edit is reopened";
      EXPECT_EQ(messages_, std::vector<std::string>{std::string(kCaptionFlash) + "|" + c.message});
      EXPECT_NE(item(*view, c.item), nullptr);
      QTest::keyClick(labelEditor(*view), Qt::Key_Escape);
    } else {
      EXPECT_TRUE(messages_.empty());
      EXPECT_TRUE(platform::pathExists(flash() + "/" + c.expected));
      ASSERT_NE(view->model().selected(), nullptr);
      EXPECT_EQ(view->widgetItem(view->model().selected())->text(0).toStdString(),
                std::string(c.expected).substr(0, std::string(c.expected).find('.')));
    }
  }
}

TEST_F(FolderTreeViewTest, NewFolderEditsTheNewItemAndTheSecondReopensItDeleteSendsToTheTrash) {
  auto view = makeView();
  view->model().select(item(*view, "Games"));
  view->newFolder();
  ASSERT_TRUE(view->isEditingLabel());
  EXPECT_TRUE(fs::is_directory(flash() + "/Games/New Folder"));
  QTest::keyClick(labelEditor(*view), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isEditingLabel(); }, 5000));

  view->model().select(item(*view, "Games"));
  view->newFolder();
  EXPECT_TRUE(view->isEditingLabel());
  EXPECT_EQ(item(*view, "Games")->children.size(), 1u) << "no second New Folder";
  EXPECT_FALSE(fs::exists(flash() + "/Games/New Folder (2)"));
  QTest::keyClick(labelEditor(*view), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isEditingLabel(); }, 5000));

  view->model().select(item(*view, "clip"));
  view->deleteSelected();
  EXPECT_EQ(item(*view, "clip"), nullptr);
  EXPECT_FALSE(fs::exists(flash() + "/clip.swf"));
  EXPECT_TRUE(fs::exists(dataHome() + "/Trash/files/clip.swf"));

  view->model().select(view->model().root());
  view->deleteSelected();
  EXPECT_TRUE(fs::is_directory(flash())) << "the root is never deleted";
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FolderTreeViewTest, ContextMenuEnablesWhatFitsAndRunsItsCommands) {
  auto view = makeView();
  struct Case {
    const char* hit;  // "" for no item, "/" for the root
    bool newFolder, rename, remove;
  };
  const Case cases[] = {{"", false, false, false}, {"/", true, false, false},
                        {"Cards", true, true, true}, {"clip", false, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hit);
    const std::string hit = c.hit;
    kb::TreeItem* at = hit.empty() ? nullptr : hit == "/" ? view->model().root() : item(*view, hit);
    const auto menu = view->createContextMenu(at);
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction* action : menu->actions()) names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    EXPECT_EQ(names.join(','), QStringLiteral("newFolder,save,options,-,rename,delete,refresh,-,help,about"));
    const auto enabled = [&](const char* name) { return menu->findChild<QAction*>(name)->isEnabled(); };
    EXPECT_EQ(enabled(FolderTreeView::kNewFolder), c.newFolder);
    EXPECT_EQ(enabled(FolderTreeView::kRename), c.rename);
    EXPECT_EQ(enabled(FolderTreeView::kDelete), c.remove);
  }

  const auto menu = view->createContextMenu(item(*view, "Cards"));
  QSignalSpy saves(view.get(), &FolderTreeView::saveRequested);
  menu->findChild<QAction*>(FolderTreeView::kSave)->trigger();
  menu->findChild<QAction*>(FolderTreeView::kHelp)->trigger();
  menu->findChild<QAction*>(FolderTreeView::kAbout)->trigger();
  EXPECT_EQ(saves.count(), 1);
  EXPECT_EQ(commands_, (std::vector<std::string>{"help", "about"}));

  // Options refreshes the tree only when it ends with OK.
  writeTextFile(flash() + "/added.swf", "c");
  menu->findChild<QAction*>(FolderTreeView::kOptions)->trigger();
  EXPECT_EQ(item(*view, "added"), nullptr);
  optionsAnswer_ = true;
  menu->findChild<QAction*>(FolderTreeView::kOptions)->trigger();
  EXPECT_NE(item(*view, "added"), nullptr);
}

TEST_F(FolderTreeViewTest, FoldersOnlyModeListsNoMoviesOffersNoMenuAndTellsTheFolder) {
  auto view = makeView(false);
  EXPECT_EQ(item(*view, "clip"), nullptr);
  EXPECT_EQ(view->topLevelItem(0)->childCount(), 2);
  EXPECT_EQ(view->createContextMenu(item(*view, "Cards")), nullptr);

  QSignalSpy folders(view.get(), &FolderTreeView::selectedFolderChanged);
  QSignalSpy plays(view.get(), &FolderTreeView::playMovie);
  view->setCurrentItem(view->widgetItem(item(*view, "Cards")));
  ASSERT_EQ(folders.count(), 1);
  EXPECT_EQ(folders.at(0).at(0).toString().toStdString(), flash() + "/Cards");
  EXPECT_EQ(view->selectedFolder().toStdString(), flash() + "/Cards");
  EXPECT_EQ(plays.count(), 0);

  // A folder is listed when first expanded.
  view->widgetItem(item(*view, "Cards"))->setExpanded(true);
  EXPECT_NE(item(*view, "Cards")->childWithText("Inner"), nullptr);
}

TEST_F(FolderTreeViewTest, SelectingAMoviePlaysItAndAChangeOnDiskRefreshesTheTree) {
  auto view = makeView(true, true);
  QSignalSpy plays(view.get(), &FolderTreeView::playMovie);
  view->setCurrentItem(view->widgetItem(item(*view, "other")));
  ASSERT_EQ(plays.count(), 1);
  EXPECT_EQ(plays.at(0).at(0).toString().toStdString(), flash() + "/other.SWF");
  view->setCurrentItem(view->widgetItem(item(*view, "Games")));
  EXPECT_EQ(plays.count(), 1) << "a folder plays nothing";

  writeTextFile(path("incoming.swf"), "x");
  fs::copy_file(path("incoming.swf"), flash() + "/incoming.swf");
  ASSERT_TRUE(QTest::qWaitFor([&] { return item(*view, "incoming") != nullptr; }, 5000));
  EXPECT_NE(view->widgetItem(item(*view, "incoming")), nullptr);
}

}  // namespace
}  // namespace velkin::flash::ui
