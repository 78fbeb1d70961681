// The project tree control on a real knowledge base: the context menu's
// enabling, label editing, Delete, drags inside the tree, drops from outside
// (files, text, web content captured from a loopback server) and the builds.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>

#include "app/project_tree_ctrl.h"
#include "uikit/tree_drop.h"
#include "book/chm_project.h"
#include "capture/support/loopback_server.h"
#include "kb/book_dir.h"
#include "kb/messages.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using velkin::kb::TreeItem;
using Command = CProjectTreeCtrl::Command;

bool exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

class ProjectTree : public velkin::testing::IsolatedTest {
 protected:
  void SetUp() override {
    velkin::testing::writeTextFile(book_ + "/Cat/page.htm", "<HTML>page</HTML>");
    velkin::testing::writeTextFile(book_ + "/Cat/page.files/a.png", "png");
    velkin::testing::makeDirs(book_ + "/Cat/Sub");
    velkin::testing::makeDirs(book_ + "/Other");
    registry_.writeString(velkin::platform::RegistryRoot::Machine, velkin::kb::kKestrovaKey,
                          velkin::kb::kBookPathValue, book_);
    tree_ = std::make_unique<CProjectTreeCtrl>(registry_);
    CProjectTreeCtrl::Seams seams;
    seams.prompts.inform = [this](QWidget*, const char* caption, const std::string& text) {
      messages_.push_back(std::string(caption) + ": " + text);
    };
    seams.prompts.ask = [this](QWidget*, const char*, const std::string& text) {
      questions_.push_back(text);
      return answer_;
    };
    seams.startDetached = [this](const QString& program, const QStringList& arguments) {
      started_.push_back(program + " " + arguments.join(QLatin1Char(' ')));
      return startWorks_;
    };
    tree_->setSeams(std::move(seams));
    tree_->resize(400, 600);
    tree_->show();
  }

  void TearDown() override { tree_.reset(); }

  // Looked up afresh each time: a Refresh from the watcher replaces every item.
  TreeItem* item(const std::string& relative) {
    return tree_->model().findPath(relative.empty() ? book_ : book_ + "/" + relative);
  }
  void select(const std::string& relative) { tree_->model().select(item(relative)); }
  QPoint pointOf(const std::string& relative) {
    QTreeWidgetItem* widget = tree_->widgetItem(item(relative));
    EXPECT_NE(widget, nullptr) << relative;
    tree_->scrollToItem(widget);
    return tree_->visualItemRect(widget).center();
  }

  QLineEdit* labelEditor() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return tree_->viewport()->findChild<QLineEdit*>();
  }

  // Drags data onto the tree at point and drops it; false when the drag
  // was refused at its entry.
  bool dragAndDrop(QMimeData& data, QPoint point) {
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree_->viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(point, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree_->viewport(), &move);
    QDropEvent drop(QPointF(point), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree_->viewport(), &drop);
    return true;
  }

  std::string book_ = path("book");
  velkin::platform::Registry registry_{configDir()};
  std::unique_ptr<CProjectTreeCtrl> tree_;
  std::vector<std::string> messages_;
  std::vector<std::string> questions_;
  std::vector<QString> started_;
  bool answer_ = false;
  bool startWorks_ = true;
};

// --- Context menu enabling -------------------------------------------------

struct MenuCase {
  const char* name;
  const char* item;  // nullptr: empty space
  std::set<std::string> disabled;
};

class TreeMenu : public ProjectTree, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(TreeMenu, EnablesCommandsByItemKind) {
  const MenuCase& param = GetParam();
  const TreeItem* at = param.item != nullptr ? item(param.item) : nullptr;
  if (param.item != nullptr) {
    ASSERT_NE(at, nullptr);
  }
  const auto menu = tree_->createTreeMenu(at);
  EXPECT_EQ(menu->objectName(), QStringLiteral("TreeMenu"));
  std::set<std::string> disabled;
  int commands = 0;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    ++commands;
    if (!action->isEnabled()) disabled.insert(action->objectName().toStdString());
  }
  EXPECT_EQ(commands, CProjectTreeCtrl::kCommandCount);
  EXPECT_EQ(disabled, param.disabled);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TreeMenu,
    ::testing::Values(
        MenuCase{"EmptySpace", nullptr,
                 {"open", "edit", "openUrl", "newCategory", "delete", "rename", "buildChm", "buildHtml"}},
        MenuCase{"Root", "", {"open", "edit", "openUrl", "delete", "rename"}},
        MenuCase{"Category", "Cat", {"open", "edit", "openUrl"}},
        MenuCase{"Page", "Cat/page.htm", {"newCategory", "rename"}}),
    [](const ::testing::TestParamInfo<MenuCase>& p) { return std::string(p.param.name); });

// --- Label editing ---------------------------------------------------------

TEST_F(ProjectTree, RenameWithAnInvalidLetterShowsTheMessageAndEditsAgain) {
  select("Other");
  tree_->onRename();
  ASSERT_TRUE(tree_->isEditingLabel());
  QLineEdit* editor = labelEditor();
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("a/b"));
  QTest::keyClick(editor, Qt::Key_Return);  // the editor commits on its next turn
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages_.empty(); }, 5000));

  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], std::string("Kestrova: ") + velkin::kb::kInvalidLetterMessage);
  EXPECT_TRUE(tree_->isEditingLabel()) << "editing restarts on the same item";
  EXPECT_TRUE(fs::is_directory(book_ + "/Other"));

  // A good name then renames the folder.
  editor = labelEditor();
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("Renamed"));
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tree_->isEditingLabel(); }, 5000));
  EXPECT_TRUE(fs::is_directory(book_ + "/Renamed"));
  EXPECT_FALSE(exists(book_ + "/Other"));
  ASSERT_NE(tree_->model().selected(), nullptr);
  EXPECT_EQ(tree_->model().selected()->text, "Renamed");
  EXPECT_EQ(messages_.size(), 1u);
}

TEST_F(ProjectTree, NewCategoryIsEditedAndAWatcherRefreshWaitsForTheEdit) {
  select("");
  tree_->onNewCategory();
  ASSERT_TRUE(tree_->isEditingLabel());
  EXPECT_TRUE(fs::is_directory(book_ + "/New Category"));
  // The folder appeared in the watched book directory: the Refresh it
  // causes must not end the edit.
  QTest::qWait(500);
  ASSERT_TRUE(tree_->isEditingLabel());
  QLineEdit* editor = labelEditor();
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("Notes"));
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tree_->isEditingLabel(); }, 5000));
  EXPECT_TRUE(fs::is_directory(book_ + "/Notes"));
  EXPECT_FALSE(exists(book_ + "/New Category"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return item("Notes") != nullptr; }, 5000));
}

// --- Delete ----------------------------------------------------------------

class DeleteAnswer : public ProjectTree, public ::testing::WithParamInterface<bool> {};

TEST_P(DeleteAnswer, DeletesThePageAndItsCompanionFolderOnlyOnYes) {
  answer_ = GetParam();
  select("Cat/page.htm");
  tree_->onDelete();
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(questions_[0], velkin::kb::kDeleteQuestion);
  const std::string trash = dataHome() + "/Trash/files";
  if (answer_) {
    EXPECT_FALSE(exists(book_ + "/Cat/page.htm"));
    EXPECT_FALSE(exists(book_ + "/Cat/page.files"));
    EXPECT_TRUE(fs::is_regular_file(trash + "/page.htm"));
    EXPECT_TRUE(fs::is_regular_file(trash + "/page.files/a.png"));
    EXPECT_EQ(item("Cat/page.htm"), nullptr);
  } else {
    EXPECT_TRUE(fs::is_regular_file(book_ + "/Cat/page.htm"));
    EXPECT_TRUE(fs::is_regular_file(book_ + "/Cat/page.files/a.png"));
    EXPECT_FALSE(exists(trash + "/page.htm"));
    EXPECT_NE(item("Cat/page.htm"), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, DeleteAnswer, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Yes" : "No"; });

// --- Mirroring the model ---------------------------------------------------

// Differences between the model's items below item and the widget's, in
// order; empty when the widget shows exactly the model.
std::string mirrorDifferences(const CProjectTreeCtrl& tree, const TreeItem* item) {
  const QTreeWidgetItem* widget = tree.widgetItem(item);
  if (widget == nullptr) return "no widget for " + item->text + "\n";
  std::string differences;
  if (widget->text(0).toStdString() != item->text) differences += "text of " + item->text + "\n";
  if (widget->childCount() != static_cast<int>(item->children.size())) {
    return differences + "child count of " + item->text + "\n";
  }
  for (int i = 0; i < widget->childCount(); ++i) {
    const TreeItem* child = item->children[static_cast<size_t>(i)].get();
    if (tree.modelItem(widget->child(i)) != child) differences += "order below " + item->text + "\n";
    differences += mirrorDifferences(tree, child);
  }
  return differences;
}

TEST_F(ProjectTree, WidgetTreeKeepsTheModelsOrderThroughEveryChange) {
  velkin::testing::writeTextFile(path("outside/dropped.htm"), "<HTML>dropped</HTML>");
  velkin::testing::writeTextFile(book_ + "/Cat/captured.htm", "<HTML>captured</HTML>");
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"listing", [&] { tree_->model().expandAll(item("")); }},
      {"capture, put first", [&] { tree_->model().addCapturedPage(item("Cat"), "captured.htm"); }},
      {"copy in, put last", [&] { tree_->model().copyIn({path("outside/dropped.htm")}, item("Cat")); }},
      {"move", [&] { tree_->model().move(item("Cat/page.htm"), item("Other")); }},
      {"new category", [&] { tree_->model().newCategory(item("Cat")); }},
      {"refresh", [&] { tree_->onRefresh(); }},
  };
  for (const auto& [name, change] : changes) {
    change();
    EXPECT_EQ(mirrorDifferences(*tree_, tree_->model().root()), "") << "after " << name;
  }
}

TEST_F(ProjectTree, ItemsOfOneKindShareOneIconAcrossRefreshes) {
  velkin::testing::writeTextFile(book_ + "/Cat/second.htm", "x");
  velkin::testing::writeTextFile(book_ + "/Other/third.HTML", "x");
  velkin::testing::makeDirs(book_ + "/Other/More");
  // Both page kinds show the page icon.
  std::map<velkin::kb::ItemKind, std::set<qint64>> keys;
  for (int round = 0; round < 2; ++round) {
    tree_->onRefresh();
    tree_->model().expandAll(tree_->model().root());
    for (QTreeWidgetItemIterator it(tree_.get()); *it != nullptr; ++it) {
      const TreeItem* at = tree_->modelItem(*it);
      ASSERT_NE(at, nullptr);
      keys[at->isPage() ? velkin::kb::ItemKind::Page : at->kind].insert((*it)->icon(0).cacheKey());
    }
  }
  ASSERT_EQ(keys.size(), 3u) << "root, categories and pages";
  std::set<qint64> distinct;
  for (const auto& [kind, icons] : keys) {
    EXPECT_EQ(icons.size(), 1u) << "kind " << static_cast<int>(kind);
    distinct.insert(icons.begin(), icons.end());
  }
  EXPECT_EQ(distinct.size(), 3u) << "each kind has an icon of its own";
}

// --- Drags inside the tree -------------------------------------------------

struct MoveCase {
  const char* name;
  const char* dragged;
  const char* target;
  std::vector<const char*> afterwards;  // paths that exist after the drop
};

class TreeMove : public ProjectTree, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(TreeMove, MovesIntoCategoriesButNeverIntoItself) {
  const MoveCase& param = GetParam();
  tree_->model().expand(item("Cat"));
  auto data = tree_->createMoveData(item(param.dragged));
  ASSERT_TRUE(dragAndDrop(*data, pointOf(param.target)));
  for (const char* relative : param.afterwards) EXPECT_TRUE(exists(book_ + "/" + relative)) << relative;
  EXPECT_EQ(tree_->dropHighlight(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Drops, TreeMove,
    ::testing::Values(MoveCase{"PageWithCompanion", "Cat/page.htm", "Other",
                               {"Other/page.htm", "Other/page.files/a.png"}},
                      MoveCase{"CategoryOntoItsOwnChild", "Cat", "Cat/Sub", {"Cat/Sub", "Cat/page.htm"}}),
    [](const ::testing::TestParamInfo<MoveCase>& p) { return std::string(p.param.name); });

// --- Drops from outside ----------------------------------------------------

struct ClassifyCase {
  const char* name;
  std::function<void(QMimeData&)> fill;
  std::optional<velkin::capture::DropKind> kind;
  std::string text;
  std::string sourceAddress;
};

class DropClassification : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(DropClassification, TriesFilesThenHtmlThenText) {
  QMimeData data;
  GetParam().fill(data);
  const velkin::uikit::DropData drop = velkin::uikit::classifyDrop(data, QStringLiteral("http://viewer.test/shown"));
  EXPECT_EQ(drop.kind, GetParam().kind);
  EXPECT_EQ(drop.acceptable(), GetParam().kind.has_value());
  EXPECT_EQ(drop.text, GetParam().text);
  EXPECT_EQ(drop.sourceAddress, GetParam().sourceAddress);
}

QByteArray utf16(const QString& text) {
  return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

using velkin::capture::DropKind;
INSTANTIATE_TEST_SUITE_P(
    Formats, DropClassification,
    ::testing::Values(
        ClassifyCase{"FileListWins",
                     [](QMimeData& d) {
                       d.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.htm"))});
                       d.setHtml(QStringLiteral("<b>x</b>"));
                     },
                     DropKind::FileList, "", ""},
        ClassifyCase{"WebLinksAreNoFileList",
                     [](QMimeData& d) {
                       d.setUrls({QUrl(QStringLiteral("http://example.test/x"))});
                       d.setText(QStringLiteral("http://example.test/x"));
                     },
                     DropKind::PlainText, "http://example.test/x", ""},
        ClassifyCase{"HtmlWithUtf16Source",
                     [](QMimeData& d) {
                       d.setHtml(QStringLiteral("<b>x</b>"));
                       d.setText(QStringLiteral("x"));
                       d.setData(QStringLiteral("text/x-moz-url-priv"),
                                 utf16(QStringLiteral("http://site.test/p\nTitle")));
                     },
                     DropKind::ClipboardHtml, "<b>x</b>", "http://site.test/p"},
        ClassifyCase{"HtmlWithUtf8Source",
                     [](QMimeData& d) {
                       d.setHtml(QStringLiteral("<i>y</i>"));
                       d.setData(QStringLiteral("text/x-moz-url-priv"), QByteArray("http://site.test/q"));
                     },
                     DropKind::ClipboardHtml, "<i>y</i>", "http://site.test/q"},
        ClassifyCase{"HtmlWithoutSourceTakesTheFallback",
                     [](QMimeData& d) { d.setHtml(QStringLiteral("<i>y</i>")); }, DropKind::ClipboardHtml,
                     "<i>y</i>", "http://viewer.test/shown"},
        ClassifyCase{"EmptyHtmlFallsBackToText",
                     [](QMimeData& d) {
                       d.setHtml(QString());
                       d.setText(QStringLiteral("plain"));
                     },
                     DropKind::PlainText, "plain", ""},
        ClassifyCase{"NothingUsable", [](QMimeData& d) { d.setText(QString()); }, std::nullopt, "", ""}),
    [](const ::testing::TestParamInfo<ClassifyCase>& p) { return std::string(p.param.name); });

TEST_F(ProjectTree, HoveringOverACollapsedCategoryExpandsIt) {
  QMimeData data;
  data.setText(QStringLiteral("some text"));
  const QPoint point = pointOf("Cat");
  QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tree_->viewport(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tree_->viewport(), &move);
  ASSERT_EQ(tree_->dropHighlight(), tree_->widgetItem(item("Cat")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return tree_->widgetItem(item("Cat"))->isExpanded(); }, 10000));
  QDragLeaveEvent leave;
  QApplication::sendEvent(tree_->viewport(), &leave);
  EXPECT_EQ(tree_->dropHighlight(), nullptr);
}

TEST_F(ProjectTree, DropOfFilesCopiesThemIn) {
  velkin::testing::writeTextFile(path("outside/note.htm"), "<HTML>note</HTML>");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path("outside/note.htm")))});
  data.setText(QStringLiteral("ignored: a file list wins"));
  ASSERT_TRUE(dragAndDrop(data, pointOf("Other")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return exists(book_ + "/Other/note.htm"); }, 5000));
  EXPECT_TRUE(exists(path("outside/note.htm")));
}

TEST_F(ProjectTree, DropOnAPageDoesNothing) {
  int asked = 0;
  CProjectTreeCtrl::Seams seams;
  seams.askSaveAs = [&](const std::string&) -> std::optional<velkin::capture::SaveAsChoice> {
    ++asked;
    return velkin::capture::SaveAsChoice{"dropped.htm", {}};
  };
  tree_->setSeams(std::move(seams));
  tree_->model().expand(item("Cat"));
  QMimeData data;
  data.setHtml(QStringLiteral("<html><body>hello</body></html>"));
  ASSERT_TRUE(dragAndDrop(data, pointOf("Cat/page.htm")));
  QTest::qWait(200);
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(exists(book_ + "/Cat/dropped.htm"));
  EXPECT_EQ(tree_->dropHighlight(), nullptr);
}

TEST_F(ProjectTree, DropOfWebContentCapturesThePageWithItsPictures) {
  velkin::testing::DirectLoopback direct;
  velkin::testing::LoopbackServer server;
  server.serve("/news/pic.png", "picture bytes", "image/png");
  ASSERT_TRUE(server.start());
  std::vector<std::string> presets;
  CProjectTreeCtrl::Seams seams;
  seams.askSaveAs = [&](const std::string& preset) -> std::optional<velkin::capture::SaveAsChoice> {
    presets.push_back(preset);
    return velkin::capture::SaveAsChoice{"news.htm", {}};
  };
  tree_->setSeams(std::move(seams));

  const std::string source = server.url("/news/index.html");
  QMimeData data;
  data.setHtml(QStringLiteral("<html><body><p>Hello</p><img src=\"pic.png\"></body></html>"));
  data.setData(QStringLiteral("text/x-moz-url-priv"), QByteArray::fromStdString(source));
  ASSERT_TRUE(dragAndDrop(data, pointOf("Cat")));

  const std::string page = book_ + "/Cat/news.htm";
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::is_regular_file(page); }, 30000));
  EXPECT_EQ(presets, std::vector<std::string>{"New File"});
  EXPECT_EQ(velkin::testing::readTextFile(book_ + "/Cat/news.files/pic.png"), "picture bytes");
  const std::string html = velkin::testing::readTextFile(page);
  EXPECT_NE(html.find(source), std::string::npos) << html;
  EXPECT_NE(html.find("Hello"), std::string::npos);
  EXPECT_NE(html.find("news.files/pic.png"), std::string::npos) << html;
  const TreeItem* selected = tree_->model().selected();
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(selected->text, "news");
  EXPECT_EQ(selected->parent->text, "Cat");
  EXPECT_EQ(selected->parent->children.front().get(), selected);
  EXPECT_TRUE(messages_.empty());
}

// --- Commands on pages -----------------------------------------------------

TEST_F(ProjectTree, EditStartsTheUsersEditorWithItsArgumentsElseTheDesktopHandler) {
  const QString page = QString::fromStdString(book_ + "/Cat/page.htm");
  select("Cat/page.htm");
  {
    velkin::testing::ScopedEnvironment visual("VISUAL", "my-editor --new-window");
    tree_->onEditWithDefaultEditor();
  }
  {
    velkin::testing::ScopedEnvironment visual("VISUAL", nullptr);
    tree_->onEditWithDefaultEditor();
  }
  EXPECT_EQ(started_, (std::vector<QString>{QStringLiteral("my-editor --new-window ") + page,
                                            QStringLiteral("xdg-open ") + page}));
}

// --- Builds ----------------------------------------------------------------

class BuildHtml : public ProjectTree, public ::testing::WithParamInterface<bool> {};

TEST_P(BuildHtml, OpensTheIndexInTheDesktopBrowserElseInOurs) {
  startWorks_ = GetParam();
  QSignalSpy opened(tree_.get(), &CProjectTreeCtrl::openPage);
  select("Cat");
  tree_->onBuildHtml();
  const QString index = QString::fromStdString(book_ + "/Cat/MyKnowledge.htm");
  ASSERT_TRUE(fs::is_regular_file(index.toStdString()));
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0], QStringLiteral("xdg-open ") + index);
  if (startWorks_) {
    EXPECT_EQ(opened.count(), 0);
  } else {
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened[0][0].toString(), index);
  }
}

INSTANTIATE_TEST_SUITE_P(Browsers, BuildHtml, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Desktop" : "NoDesktopBrowser";
                         });

TEST_F(ProjectTree, BuildChmOnAPageAsksForAFolder) {
  bool asked = false;
  CProjectTreeCtrl::Seams seams;
  seams.askBookSettings = [&](const std::string&, const std::string&) -> std::optional<velkin::book::BookSettings> {
    asked = true;
    return std::nullopt;
  };
  tree_->setSeams(std::move(seams));
  select("Cat/page.htm");
  tree_->onBuildChm();
  EXPECT_FALSE(asked);
  EXPECT_EQ(messages_, std::vector<std::string>{"Kestrova: Please select a folder !"});
}

TEST_F(ProjectTree, BuildChmForwardsEveryOutputRecordAndCleansUp) {
  // A stand-in compiler that prints a line on each stream.
  const std::string bin = path("bin");
  velkin::testing::writeTextFile(bin + "/chmcmd", "#!/bin/sh\necho \"compiling $1\"\necho warning >&2\n");
  ::chmod((bin + "/chmcmd").c_str(), 0755);
  const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  velkin::testing::ScopedEnvironment pathVariable("PATH", (bin + ":" + oldPath).c_str());

  std::string presetTitle;
  CProjectTreeCtrl::Seams seams;
  seams.askBookSettings = [&](const std::string& title,
                              const std::string& folder) -> std::optional<velkin::book::BookSettings> {
    presetTitle = title;
    velkin::book::BookSettings settings;
    settings.title = title;
    settings.language = std::string(velkin::book::kDefaultLanguage);
    settings.outputPath = folder + ".chm";
    return settings;
  };
  tree_->setSeams(std::move(seams));
  QSignalSpy output(tree_.get(), &CProjectTreeCtrl::buildOutput);
  QSignalSpy finished(tree_.get(), &CProjectTreeCtrl::buildFinished);
  select("Cat");
  tree_->onBuildChm();
  ASSERT_TRUE(messages_.empty()) << messages_.front();
  EXPECT_EQ(presetTitle, "Cat");
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 30000));

  std::map<int, QString> byKind;
  for (const auto& record : output) byKind[record[0].toInt()] += record[1].toString();
  EXPECT_TRUE(byKind[1].startsWith(QStringLiteral("Velkin - "))) << byKind[1].toStdString();
  EXPECT_TRUE(byKind[2].contains(QStringLiteral("compiling"))) << byKind[2].toStdString();
  EXPECT_TRUE(byKind[3].contains(QStringLiteral("warning"))) << byKind[3].toStdString();
  EXPECT_FALSE(finished[0][0].toBool()) << "the stand-in writes no book";
  for (const char* name : {velkin::book::kScriptFileName, velkin::book::kProjectFileName,
                           velkin::book::kContentsFileName, velkin::book::kIndexFileName}) {
    EXPECT_FALSE(exists(book_ + "/Cat/" + name)) << name;
  }
}

}  // namespace
