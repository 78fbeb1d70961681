// The save dialog: its list and the folder choice feed the download list
// Save hands on, and the preview's page keeps any movie address inert.
#include "flash/ui/save_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include "capture/support/loopback_server.h"
#include "flash/ui/movie_preview.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::flash::ui {
namespace {

class SaveDialogTest : public testing::IsolatedTest {};

TEST_F(SaveDialogTest, TickedRowsGoToTheFolderChosenForThem) {
  const std::string flash = path("Flash");
  testing::makeDirs(flash + "/games");
  testing::writeTextFile(flash + "/kept.swf", "FWS");
  const std::vector<SaveRecord> records = {
      {"http://host/dir/movie.swf", 0, "http://host/page.htm"},
      {"http://host/play.php?id=intro", 77, "http://host/page.htm"},
      {"http://host/dir/movie.swf", 0, "http://host/page.htm"},
  };
  platform::Registry registry(path("config"));
  FolderTreeOptions tree;
  tree.rootFolder = flash;
  FlashSaveDialog dialog(records, flash, registry, tree);
  QTreeWidget* folders = dialog.folderTree();
  QTreeWidgetItem* root = folders->topLevelItem(0);
  ASSERT_NE(root, nullptr);
  folders->expandItem(root);
  ASSERT_EQ(root->childCount(), 1) << "folders only: no movie, one folder";
  QTreeWidgetItem* games = root->child(0);
  const auto choose = [folders](QTreeWidgetItem* item) { folders->setCurrentItem(item); };
  QTreeWidget* list = dialog.movieList();
  ASSERT_EQ(list->topLevelItemCount(), 3);
  const QStringList titles = {"File Name", "URL", "Save Path", "Size"};
  for (int column = 0; column < titles.size(); ++column) {
    EXPECT_EQ(list->headerItem()->text(column), titles[column]);
  }
  EXPECT_EQ(list->topLevelItem(1)->text(kFileNameColumn), "intro");
  EXPECT_EQ(list->topLevelItem(1)->text(kSizeColumn), "77");
  EXPECT_EQ(list->topLevelItem(0)->text(kSizeColumn), "");
  EXPECT_EQ(list->topLevelItem(0)->checkState(kFileNameColumn), Qt::Checked);
  EXPECT_TRUE(dialog.previewSwitch()->isChecked());

  list->topLevelItem(1)->setCheckState(kFileNameColumn, Qt::Unchecked);
  // A folder chosen with no row selected changes nothing.
  choose(games);
  EXPECT_EQ(list->topLevelItem(2)->text(kSavePathColumn).toStdString(), flash);
  // The preview is off: selecting a row must not play its (unreachable) address.
  dialog.previewSwitch()->setChecked(false);
  list->topLevelItem(2)->setSelected(true);
  choose(root);
  choose(games);
  EXPECT_EQ(dialog.savePathLabel()->text().toStdString(), "Save Path:" + flash + "/games");
  EXPECT_EQ(list->topLevelItem(2)->text(kSavePathColumn).toStdString(), flash + "/games");

  const std::vector<DownloadRecord> saved = dialog.downloadList();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].target, flash + "/movie.swf");
  EXPECT_EQ(saved[1].source, "http://host/dir/movie.swf");
  EXPECT_EQ(saved[1].target, flash + "/games/movie.swf");
}

TEST_F(SaveDialogTest, ThePreviewSaysWhenThePlayerIsMissingAndQuotesTheMovieAddress) {
  MoviePreview missing(path("no-player"));
  EXPECT_FALSE(missing.playerAvailable());
  EXPECT_EQ(missing.messageLabel()->text(), kPlayerMissingText);
  missing.play("http://host/a.swf", false);  // nothing to play it with: no crash

  const QString page = previewPage("http://h/a.swf?x=\"</script><script>alert(1)</script>");
  EXPECT_FALSE(page.contains("</script><script>alert"));
  EXPECT_TRUE(page.contains("velkin-flash://player/ruffle.js"));
  EXPECT_TRUE(page.contains(R"(\"<\/script>)"));
}

TEST_F(SaveDialogTest, ThePreviewLoadsThePlayerFromTheShareFolderAndFetchesTheWebMovie) {
  const std::string folder = playerFolder();
  if (folder.empty()) GTEST_SKIP() << "the Flash player is not installed";
  testing::DirectLoopback direct;
  testing::LoopbackServer server;
  ASSERT_TRUE(server.start());
  // A minimal uncompressed movie header: the player only has to ask for it.
  server.serve("/clip.swf", std::string("FWS\x0a\x1c\0\0\0\x78\0\x05\x5f\0\0\x0f\xa0\0\0\x18\x01\0\0\0\0\0", 28),
               "application/x-shockwave-flash");
  MoviePreview preview(folder);
  ASSERT_TRUE(preview.playerAvailable());
  preview.resize(320, 240);
  preview.show();
  QSignalSpy loaded(preview.view(), &QWebEngineView::loadFinished);
  preview.play(server.url("/clip.swf"), false);
  ASSERT_TRUE(loaded.wait(60000));
  EXPECT_TRUE(loaded.first().first().toBool());
  EXPECT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/clip.swf") > 0; }, 60000))
      << "the player never asked for the movie";
}

}  // namespace
}  // namespace velkin::flash::ui
