// The screenshot mode's tour over a real main window: every picture of the
// table is written as a PNG, the search it shows keeps only the pages of the
// shown page's site with that page selected, the check reaches the update
// server, and the window is left browsing its page. A page that is no local
// file (nothing to find or search for) still gives every picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/main_frame.h"
#include "app/project_tree_ctrl.h"
#include "app/screenshot_tour.h"
#include "app/search_bar.h"
#include "app/version_check.h"
#include "capture/support/loopback_server.h"
#include "kb/book_dir.h"
#include "kb/meta.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace {

using velkin::platform::RegistryRoot;

constexpr int kLoadTimeoutMs = 20000;
constexpr int kTourTimeoutMs = 90000;
constexpr const char* kPictures[] = {"main_window",  "tree_context_menu", "tree_context_menu_only",
                                     "save_dialog",  "edit_source",       "find_dialog",
                                     "search_options", "search_result",   "check_version"};

class ScreenshotTourTest : public velkin::testing::IsolatedTest {
 protected:
  void SetUp() override {
    const std::pair<const char*, const char*> pages[] = {{"Breads/Starter", "https://bread.example/starter"},
                                                         {"Breads/Rye loaf", "https://bread.example/rye"},
                                                         {"Soups/Onion soup", "https://soup.example/onion"}};
    for (const auto& [stem, address] : pages) page(stem, address);
    registry_.writeString(RegistryRoot::Machine, velkin::kb::kKestrovaKey, velkin::kb::kBookPathValue, book_);
    ASSERT_TRUE(server_.start());
    server_.serve(std::string("/") + velkin::app::kNoticePath, "Latest Version: 9.9\r\n", "text/plain");
    registry_.writeString(RegistryRoot::Machine, velkin::kb::kKestrovaKey, velkin::app::kUpdateServerValue,
                          server_.url("/"));
    frame_ = std::make_unique<CMainFrame>(registry_);
    frame_->show();
  }
  void TearDown() override { frame_.reset(); }

  // A page titled with its file's name.
  void page(const std::string& stem, const std::string& address) {
    const std::string title = stem.substr(stem.rfind('/') + 1);
    velkin::testing::writeTextFile(book_ + "/" + stem + ".htm",
                                   velkin::kb::captureHeader(address) + "<html><head><title>" + title +
                                       "</title></head><body><h1>" + title + "</h1></body></html>");
  }

  // Opens location, runs the tour and waits for its end.
  bool tour(const QString& location) {
    QSignalSpy loaded(frame_->webView(), &QWebEngineView::loadFinished);
    frame_->initialUpdate(location);
    if (loaded.isEmpty() && !loaded.wait(kLoadTimeoutMs)) return false;
    CScreenshotTour tour(*frame_, registry_, QString::fromStdString(shots_));
    QSignalSpy finished(&tour, &CScreenshotTour::finished);
    tour.start();
    return !finished.isEmpty() || finished.wait(kTourTimeoutMs);
  }

  void expectEveryPicture() {
    for (const char* name : kPictures) {
      const QImage picture(QString::fromStdString(shots_ + "/" + name + ".png"));
      EXPECT_FALSE(picture.isNull()) << name << " is missing or no PNG";
    }
  }

  const std::string book_ = path("Knowledge");
  const std::string shots_ = path("shots");
  velkin::testing::DirectLoopback direct_;
  velkin::testing::LoopbackServer server_;
  velkin::platform::Registry registry_{configDir()};
  std::unique_ptr<CMainFrame> frame_;
};

TEST_F(ScreenshotTourTest, TakesEveryPictureAndShowsTheShownPagesSiteAsTheSearchResult) {
  ASSERT_TRUE(tour(QString::fromStdString(book_ + "/Breads/Starter.htm")));
  expectEveryPicture();

  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Browse) << "Edit Source is left again";
  EXPECT_EQ(frame_->sourceView(), nullptr);
  CProjectTreeCtrl* results = frame_->searchBar()->treeCtrl();
  EXPECT_FALSE(frame_->searchBar()->isHidden());
  ASSERT_NE(results->currentItem(), nullptr);
  EXPECT_EQ(results->currentItem()->text(0), "Starter") << "the shown page is the selected result";
  const velkin::kb::TreeItem* root = results->model().root();
  ASSERT_NE(root, nullptr);
  std::vector<std::string> pages;
  std::function<void(const velkin::kb::TreeItem&)> collect = [&](const velkin::kb::TreeItem& item) {
    if (item.isPage()) pages.push_back(item.text);
    for (const auto& child : item.children) collect(*child);
  };
  collect(*root);
  EXPECT_EQ(pages, (std::vector<std::string>{"Rye loaf", "Starter"})) << "only bread.example's pages pass";
  EXPECT_EQ(server_.requestCount(std::string("/") + velkin::app::kNoticePath), 1U) << "one check of the update server";
}

TEST_F(ScreenshotTourTest, APageWithoutAFileStillGivesEveryPicture) {
  ASSERT_TRUE(tour(QStringLiteral("about:blank")));
  expectEveryPicture();
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Browse);
}

}  // namespace
