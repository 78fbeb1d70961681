// A real Build CHM from the main window: the project tree runs the compiler
// through its console runner, and the build progress bar receives what the
// compiler writes.
#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>

#include "app/main_frame.h"
#include "app/project_tree_ctrl.h"
#include "app/tk_tree_view.h"
#include "book/book_settings.h"
#include "kb/book_dir.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"
#include "uikit/build_progress_bar.h"

namespace velkin::app {
namespace {

class BuildProgressTest : public testing::IsolatedTest {
 protected:
  BuildProgressTest() : registry_(configDir()) {
    testing::writeTextFile(path("kb/Cat/page.htm"), "<HTML><HEAD><TITLE>P</TITLE></HEAD><BODY>hello</BODY></HTML>");
    registry_.writeString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kb::kBookPathValue, path("kb"));
  }
  platform::Registry registry_;
};

TEST_F(BuildProgressTest, BuildChmShowsTheCompilersOutputInTheBuildProgressBar) {
  if (!platform::isRegularFile("/usr/bin/chmcmd") && !platform::pathExists("/usr/local/bin/chmcmd")) {
    GTEST_SKIP() << "chmcmd is not installed";
  }
  CMainFrame frame(registry_);
  CMainFrame::Seams frameSeams;
  frameSeams.openExternally = [](const QUrl&) {};
  frameSeams.inform = [](const char*, const QString& text) { ADD_FAILURE() << text.toStdString(); };
  frame.setSeams(std::move(frameSeams));

  CProjectTreeCtrl* tree = frame.treeView()->treeCtrl();
  const std::string output = path("book.chm");
  CProjectTreeCtrl::Seams treeSeams;
  treeSeams.askBookSettings = [&](const std::string& title, const std::string&) {
    book::BookSettings settings;
    settings.title = title;
    settings.language = std::string(book::kLanguageEntries[13]);
    settings.outputPath = output;
    return std::optional<book::BookSettings>(settings);
  };
  treeSeams.prompts.inform = [](QWidget*, const char*, const std::string& text) { ADD_FAILURE() << text; };
  treeSeams.startDetached = [](const QString&, const QStringList&) { return true; };
  tree->setSeams(std::move(treeSeams));

  kb::TreeItem* category = tree->model().findPath(path("kb/Cat"));
  ASSERT_NE(category, nullptr);
  tree->model().select(category);
  QSignalSpy finished(tree, &CProjectTreeCtrl::buildFinished);
  frame.action(CMainFrame::Command::BuildChm)->trigger();
  ASSERT_TRUE(finished.count() > 0 || finished.wait(60000)) << "the build did not end";
  EXPECT_TRUE(finished.first().at(0).toBool()) << frame.buildProgressBar()->text().toStdString();

  const QString shown = frame.buildProgressBar()->text();
  EXPECT_TRUE(shown.contains(QStringLiteral("Writing CHM"))) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("\r"))) << "each chunk follows a carriage return";
  EXPECT_TRUE(frame.windowTitle().startsWith(QStringLiteral("Velkin - "))) << frame.windowTitle().toStdString();
  EXPECT_TRUE(platform::isRegularFile(output));
  for (const char* name : {"ExportASCHM.bat", "Project.hhp", "Contents.hhc", "Index.hhk"}) {
    EXPECT_FALSE(platform::pathExists(path(std::string("kb/Cat/") + name))) << name;
  }
}

}  // namespace
}  // namespace velkin::app
