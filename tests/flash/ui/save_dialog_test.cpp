// The save dialog: its list and the folder choice feed the download list
// Save hands on, and the preview's page keeps any movie address inert.
#include "flash/ui/save_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

#include "flash/ui/movie_preview.h"
#include "support/test_support.h"

namespace velkin::flash::ui {
namespace {

class SaveDialogTest : public testing::IsolatedTest {};

TEST_F(SaveDialogTest, TickedRowsGoToTheFolderChosenForThem) {
  const std::string flash = path("Flash");
  testing::makeDirs(flash + "/games");
  const std::vector<SaveRecord> records = {
      {"http://host/dir/movie.swf", 0, "http://host/page.htm"},
      {"http://host/play.php?id=intro", 77, "http://host/page.htm"},
      {"http://host/dir/movie.swf", 0, "http://host/page.htm"},
  };
  auto* chooser = new FolderListChooser(flash);
  FlashSaveDialog dialog(records, flash, flash, chooser);
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
  chooser->choose(flash + "/games");
  EXPECT_EQ(list->topLevelItem(2)->text(kSavePathColumn).toStdString(), flash);
  list->topLevelItem(2)->setSelected(true);
  chooser->choose(flash);
  chooser->choose(flash + "/games");
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

}  // namespace
}  // namespace velkin::flash::ui
