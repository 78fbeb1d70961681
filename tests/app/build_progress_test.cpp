// A real Build CHM from the main window: the project tree runs the compiler
// through its console runner, and the build progress bar receives what the
// compiler writes. The bar keeps and shows what it is given, chunk by chunk.
#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <vector>

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

// What the compiler writes, as the runner's reads cut it.
struct AppendCase {
  const char* name;
  std::vector<QString> chunks;
};

class BuildOutputAppend : public ::testing::TestWithParam<AppendCase> {};

TEST_P(BuildOutputAppend, KeepsTheWholeTextAndShowsItAsOneConversion) {
  uikit::CBuildProgressBar bar;
  bar.show();
  QString expected;
  for (int round = 0; round < 2; ++round) {
    for (const QString& chunk : GetParam().chunks) {
      bar.appendChunk(chunk);
      expected += QLatin1Char('\r') + chunk;
      ASSERT_EQ(bar.text(), expected);
      ASSERT_EQ(bar.textBox()->toPlainText(), uikit::CBuildProgressBar::displayText(expected));
    }
    // A new build starts from an empty bar.
    bar.clearText();
    expected.clear();
    EXPECT_TRUE(bar.textBox()->toPlainText().isEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, BuildOutputAppend,
    ::testing::Values(
        AppendCase{"LinesSplitAnywhere",
                   {QStringLiteral("Compiling a"), QStringLiteral(".htm\r\nCompiling b.htm\r"),
                    QStringLiteral("\nDone\r\n")}},
        AppendCase{"LoneCarriageReturns", {QStringLiteral("50%\r60%\r"), QStringLiteral("\r70%")}},
        AppendCase{"LineFeedsAlone", {QStringLiteral("one\ntwo\n"), QStringLiteral("\nthree")}},
        AppendCase{"EmptyChunks", {QString(), QString(), QStringLiteral("a")}},
        AppendCase{"NonAscii", {QStringLiteral("\u00dcbersetze "), QStringLiteral("\u9875\u9762\r\n")}}),
    [](const ::testing::TestParamInfo<AppendCase>& p) { return std::string(p.param.name); });

TEST(BuildOutputShown, ABurstReachesTheBoxWhenTheEventLoopRunsWithTheLastLineInView) {
  uikit::CBuildProgressBar bar;
  bar.resize(400, 150);
  bar.show();
  for (int line = 0; line < 100; ++line) {
    bar.appendChunk(QStringLiteral("line %1").arg(line));
    QScrollBar* scroll = bar.textBox()->verticalScrollBar();
    ASSERT_EQ(scroll->value(), scroll->maximum()) << "after line " << line;
  }

  // Held on to, the box is not asked again: the event loop fills it.
  QPlainTextEdit* box = bar.textBox();
  for (int line = 100; line < 300; ++line) bar.appendChunk(QStringLiteral("line %1\r\n").arg(line));
  QCoreApplication::processEvents();
  EXPECT_EQ(box->toPlainText(), uikit::CBuildProgressBar::displayText(bar.text()));
  EXPECT_GT(box->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());
}

}  // namespace
}  // namespace velkin::app
