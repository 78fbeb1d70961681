// The main program's settings rules and the main frame's commands that need
// no page loaded: toggles in the settings store, typed addresses, window
// placement, the build progress bar, command enabling and routing, the tip
// of the day and the About box.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QWebEngineSettings>

#include "app/app_settings.h"
#include "app/internet_options_dialog.h"
#include "app/kestrova_app.h"
#include "app/main_frame.h"
#include "app/project_tree_ctrl.h"
#include "app/search_bar.h"
#include "app/tk_tree_view.h"
#include "app/tk_web_view.h"
#include "kb/book_dir.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"
#include "uikit/about_dialog.h"
#include "uikit/build_progress_bar.h"
#include "uikit/tip_dialog.h"

namespace velkin::app {
namespace {

using platform::Registry;
using platform::RegistryRoot;
using Command = CMainFrame::Command;

class SettingsTest : public testing::IsolatedTest {
 protected:
  SettingsTest() : registry_(configDir()) {}
  Registry registry_;
};

// ---------------------------------------------------------------- rules

TEST_F(SettingsTest, WithoutTheKestrovaKeyTagsAndPromptAreOffAndErrorsHidden) {
  const FrameSettings settings = readFrameSettings(registry_);
  EXPECT_FALSE(settings.showAllTags);
  EXPECT_FALSE(settings.promptSave);
  EXPECT_TRUE(settings.hideError);
  EXPECT_FALSE(registry_.openKey(RegistryRoot::Machine, kb::kKestrovaKey)) << "reading creates nothing";
}

TEST_F(SettingsTest, StoredTogglesAreReadAndUnreadableOnesKeepTheirDefault) {
  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kShowAllTagsValue, 1);
  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kHideErrorValue, 0);
  registry_.writeString(RegistryRoot::Machine, kb::kKestrovaKey, kPromptSaveValue, "1");  // not a number
  const FrameSettings settings = readFrameSettings(registry_);
  EXPECT_TRUE(settings.showAllTags);
  EXPECT_FALSE(settings.hideError);
  EXPECT_FALSE(settings.promptSave);
}

TEST_F(SettingsTest, TypedAddressesAreKeptMostRecentFirstWithoutDuplicatesAndAtMost25) {
  EXPECT_TRUE(readTypedUrls(registry_).empty());
  for (int i = 1; i <= 30; ++i) rememberTypedUrl(registry_, "https://site" + std::to_string(i) + ".example/");
  rememberTypedUrl(registry_, "https://site20.example/");
  const auto urls = readTypedUrls(registry_);
  ASSERT_EQ(urls.size(), kMaxTypedUrls);
  EXPECT_EQ(urls[0], "https://site20.example/");
  EXPECT_EQ(urls[1], "https://site30.example/");
  EXPECT_EQ(std::count(urls.begin(), urls.end(), "https://site20.example/"), 1);
  EXPECT_EQ(urls.back(), "https://site6.example/");
  const auto key = registry_.openKey(RegistryRoot::User, kTypedUrlsKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->readString("url1"), "https://site20.example/");
  EXPECT_FALSE(key->readString("url26")) << "entries beyond the limit are removed";
  EXPECT_FALSE(rememberTypedUrl(registry_, ""));
}

TEST_F(SettingsTest, TypedAddressesAreReadInNumberOrderSkippingOtherValues) {
  auto key = registry_.createKey(RegistryRoot::User, kTypedUrlsKey);
  ASSERT_TRUE(key);
  key->writeString("url10", "ten");
  key->writeString("url2", "two");
  key->writeString("url1", "one");
  key->writeString("other", "not an address");
  key->writeDword("url3", 3);
  EXPECT_EQ(readTypedUrls(registry_), (std::vector<std::string>{"one", "two", "ten"}));
}

struct AddressCase {
  const char* location;
  const char* shown;
};

void PrintTo(const AddressCase& value, std::ostream* out) { *out << '"' << value.location << '"'; }

class AddressTextTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressTextTest, DropsOnlyALeadingFileScheme) {
  EXPECT_EQ(addressText(GetParam().location), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Locations, AddressTextTest,
                         ::testing::Values(AddressCase{"file:///home/me/Project/a.htm", "/home/me/Project/a.htm"},
                                           AddressCase{"FILE:///srv/b.html", "/srv/b.html"},
                                           AddressCase{"https://x.example/?u=file://y", "https://x.example/?u=file://y"},
                                           AddressCase{"about:blank", "about:blank"},
                                           AddressCase{"/plain/path.htm", "/plain/path.htm"},
                                           AddressCase{"", ""}));

TEST(PlacementRecord, IsFortyFourBytesAndReadsBackTheSame) {
  WindowPlacement placement;
  placement.showCommand = kShowMaximized;
  placement.normal = {-120, 35, 900, 700};
  const std::string bytes = encodePlacement(placement);
  ASSERT_EQ(bytes.size(), kPlacementSize);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 44);
  const auto back = decodePlacement(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->showCommand, kShowMaximized);
  EXPECT_EQ(back->normal.left, -120);
  EXPECT_EQ(back->normal.bottom, 700);
}

TEST(PlacementRecord, RecordsOfAnotherShapeAreRefused) {
  WindowPlacement placement;
  placement.normal = {0, 0, 100, 100};
  const std::string good = encodePlacement(placement);
  EXPECT_FALSE(decodePlacement(good.substr(0, 40)));
  EXPECT_FALSE(decodePlacement(good + "x"));
  std::string wrongLength = good;
  wrongLength[0] = 40;
  EXPECT_FALSE(decodePlacement(wrongLength));
  placement.normal = {100, 100, 100, 300};
  EXPECT_FALSE(decodePlacement(encodePlacement(placement))) << "an empty rectangle";
}

struct ScreenCase {
  ScreenRect window;
  bool onScreen;
};

void PrintTo(const ScreenCase& value, std::ostream* out) {
  *out << value.window.left << ',' << value.window.top << ',' << value.window.right << ',' << value.window.bottom;
}

class PlacementOnScreenTest : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(PlacementOnScreenTest, CountsWhenTheNormalRectangleMeetsAScreen) {
  const std::vector<ScreenRect> screens{{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}};
  WindowPlacement placement;
  placement.normal = GetParam().window;
  EXPECT_EQ(placementOnScreen(placement, screens), GetParam().onScreen);
}

INSTANTIATE_TEST_SUITE_P(WindowRects, PlacementOnScreenTest,
                         ::testing::Values(ScreenCase{{100, 100, 900, 700}, true},
                                           ScreenCase{{3000, 500, 3800, 1100}, true},     // second screen
                                           ScreenCase{{-790, -590, 10, 10}, true},        // a corner on screen
                                           ScreenCase{{-800, 0, 0, 600}, false},          // touching the edge
                                           ScreenCase{{5000, 5000, 5800, 5600}, false},
                                           ScreenCase{{1920, 1024, 2600, 1080}, false}));  // below the second

struct OptionsCase {
  std::vector<std::string> arguments;
  std::string page;
  bool noTip;
  bool exitWhenShown;
  std::string screenshots;
  bool error;
};

void PrintTo(const OptionsCase& value, std::ostream* out) {
  for (const auto& argument : value.arguments) *out << argument << ' ';
}

class StartOptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(StartOptionsTest, ParsesTheCommandLine) {
  const OptionsCase& expected = GetParam();
  const StartOptions options = parseStartOptions(expected.arguments, false);
  EXPECT_EQ(options.page, expected.page);
  EXPECT_EQ(options.noTip, expected.noTip);
  EXPECT_EQ(options.exitWhenShown, expected.exitWhenShown);
  EXPECT_EQ(options.screenshotFolder, expected.screenshots);
  EXPECT_EQ(!options.error.empty(), expected.error);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, StartOptionsTest,
    ::testing::Values(OptionsCase{{}, "", false, false, "", false},
                      OptionsCase{{"/kb/Cat/page.htm"}, "/kb/Cat/page.htm", false, false, "", false},
                      OptionsCase{{"/nosplash", "https://x.example/"}, "https://x.example/", true, false, "", false},
                      OptionsCase{{"--no-tip"}, "", true, false, "", false},
                      OptionsCase{{"--exit-when-shown"}, "", true, true, "", false},
                      OptionsCase{{"--screenshot=/tmp/shots"}, "", true, false, "/tmp/shots", false},
                      OptionsCase{{"--bogus"}, "", false, false, "", true},
                      OptionsCase{{"a.htm", "b.htm"}, "a.htm", false, false, "", true}));

TEST(StartOptions, TheEnvironmentCanTurnTheTipOff) {
  EXPECT_TRUE(parseStartOptions({}, true).noTip);
}

// ---------------------------------------------------------------- tip of the day

class TipTest : public SettingsTest {
 protected:
  std::string section() const { return profileSectionKey(kTipSection); }
  std::string tips() const { return path("tips.txt"); }
};

TEST_F(TipTest, TipsFollowEachOtherSkippingCommentsAndStartAgainAfterTheLast) {
  testing::writeTextFile(tips(), "; comment\nfirst tip\r\n\nsecond tip\n;another\nthird tip");
  uikit::TipStore store(registry_, section(), tips());
  EXPECT_EQ(store.nextTip(), "first tip");
  EXPECT_EQ(store.nextTip(), "second tip");
  uikit::TipStore later(registry_, section(), tips());
  EXPECT_EQ(later.nextTip(), "third tip") << "the position is kept in the profile";
  EXPECT_EQ(later.nextTip(), "first tip");
}

TEST_F(TipTest, AChangedTipsFileStartsFromItsFirstTip) {
  testing::writeTextFile(tips(), "one\ntwo\n");
  uikit::TipStore store(registry_, section(), tips());
  EXPECT_EQ(store.nextTip(), "one");
  registry_.writeDword(RegistryRoot::User, section(), "TimeStamp", 12345);  // the file as it was before
  EXPECT_EQ(store.nextTip(), "one");
}

TEST_F(TipTest, AMissingOrEmptyFileGivesAMessageInsteadOfATip) {
  uikit::TipStore store(registry_, section(), tips());
  EXPECT_FALSE(store.nextTip());
  EXPECT_NE(store.error().find("tips.txt"), std::string::npos);
  testing::writeTextFile(tips(), "; only a comment\n\n");
  EXPECT_FALSE(store.nextTip());
  EXPECT_FALSE(store.error().empty());
}

TEST_F(TipTest, TipsAreShownAtStartUpUntilTheBoxIsCleared) {
  testing::writeTextFile(tips(), "one\n");
  uikit::CTipDialog dialog(registry_, section(), tips());
  EXPECT_TRUE(dialog.showAtStartUp());
  EXPECT_EQ(dialog.tipText(), "one");
  dialog.startUpBox()->setChecked(false);
  dialog.accept();
  EXPECT_EQ(registry_.readDword(RegistryRoot::User, section(), "StartUp"), 0u);
  EXPECT_FALSE(uikit::TipStore(registry_, section(), tips()).showAtStartUp());
}

// ---------------------------------------------------------------- the frame

// An icon drawn at toolbar size.
QImage rendered(const QIcon& icon) {
  return icon.pixmap(QSize(20, 20)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Pixels an image does not leave fully transparent.
int opaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
  }
  return count;
}

class MainFrameTest : public SettingsTest {
 protected:
  MainFrameTest() {
    frame_ = std::make_unique<CMainFrame>(registry_);
    CMainFrame::Seams seams;
    seams.openExternally = [this](const QUrl& address) { opened_.push_back(address); };
    seams.inform = [this](const char*, const QString& text) { messages_.push_back(text); };
    seams.ask = [](const char*, const QString&) { return true; };
    frame_->setSeams(std::move(seams));
    // The routing is observed on the frame's signals; the tree's own
    // commands (dialogs, builds) stay out of these tests.
    CProjectTreeCtrl* tree = frame_->treeView()->treeCtrl();
    QObject::disconnect(frame_.get(), &CMainFrame::treeRename, tree, nullptr);
    QObject::disconnect(frame_.get(), &CMainFrame::treeRefresh, tree, nullptr);
    QObject::disconnect(frame_.get(), &CMainFrame::treeBuildChm, tree, nullptr);
    QObject::disconnect(frame_.get(), &CMainFrame::treeBuildHtml, tree, nullptr);
  }
  ~MainFrameTest() override { frame_.reset(); }

  QAction* action(Command command) const { return frame_->action(command); }
  void showActive() {
    frame_->show();
    frame_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get(), 10000));
  }

  std::unique_ptr<CMainFrame> frame_;
  std::vector<QUrl> opened_;
  std::vector<QString> messages_;
};

TEST_F(MainFrameTest, EveryToolbarIconDrawsSomething) {
  int buttons = 0;
  for (QAction* command : frame_->toolBar()->actions()) {
    if (command->isSeparator()) continue;
    ++buttons;
    EXPECT_GT(opaquePixels(rendered(command->icon())), 0)
        << command->text().toStdString() << ": blank (is Qt's SVG image plugin installed?)";
  }
  EXPECT_GE(buttons, 10);
  EXPECT_GT(opaquePixels(rendered(frame_->windowIcon())), 0);
}

TEST_F(MainFrameTest, StartsInBrowseModeWithTheTreeShownAndMediumText) {
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Browse);
  EXPECT_TRUE(action(Command::Browse)->isChecked());
  EXPECT_TRUE(action(Command::MyProjects)->isChecked());
  EXPECT_EQ(frame_->zoomStateCode(), 21);
  EXPECT_TRUE(action(Command::FontMedium)->isChecked());
  EXPECT_EQ(frame_->currentLocation(), "about:blank");
  EXPECT_FALSE(frame_->searchBar()->isVisible());
  EXPECT_EQ(frame_->searchBar()->windowTitle(), "Search");
  EXPECT_EQ(frame_->buildProgressBar()->windowTitle(), "Build Progress...");
}

struct ToggleCase {
  Command command;
  const char* valueName;
  bool initially;
};

void PrintTo(const ToggleCase& value, std::ostream* out) { *out << value.valueName; }

class ToggleTest : public MainFrameTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(ToggleTest, TogglingWritesTheNewValueCreatingTheKeyWhenMissing) {
  const ToggleCase& toggle = GetParam();
  ASSERT_FALSE(registry_.openKey(RegistryRoot::Machine, kb::kKestrovaKey));
  EXPECT_EQ(action(toggle.command)->isChecked(), toggle.initially);
  action(toggle.command)->trigger();
  EXPECT_EQ(registry_.readDword(RegistryRoot::Machine, kb::kKestrovaKey, toggle.valueName),
            toggle.initially ? 0u : 1u);
  EXPECT_EQ(action(toggle.command)->isChecked(), !toggle.initially);
  action(toggle.command)->trigger();
  EXPECT_EQ(registry_.readDword(RegistryRoot::Machine, kb::kKestrovaKey, toggle.valueName),
            toggle.initially ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Toggles, ToggleTest,
                         ::testing::Values(ToggleCase{Command::ShowTag, kShowAllTagsValue, false},
                                           ToggleCase{Command::PromptSaveSource, kPromptSaveValue, false},
                                           ToggleCase{Command::HideScriptError, kHideErrorValue, true}));

TEST_F(MainFrameTest, HideScriptErrorSetsTheBrowsersSilentProperty) {
  frame_->webView()->setSilent(true);
  action(Command::HideScriptError)->trigger();
  EXPECT_FALSE(frame_->webView()->isSilent());
  action(Command::HideScriptError)->trigger();
  EXPECT_TRUE(frame_->webView()->isSilent());
}

TEST_F(MainFrameTest, WithTheTreePaneHiddenTheBuildCommandsAreDisabledAndReachNothing) {
  QSignalSpy chm(frame_.get(), &CMainFrame::treeBuildChm);
  QSignalSpy html(frame_.get(), &CMainFrame::treeBuildHtml);
  action(Command::BuildChm)->trigger();
  EXPECT_EQ(chm.count(), 1);
  action(Command::MyProjects)->trigger();
  EXPECT_FALSE(frame_->treePaneShown());
  EXPECT_FALSE(frame_->treeView()->isVisibleTo(frame_.get()));
  EXPECT_FALSE(action(Command::MyProjects)->isChecked());
  EXPECT_FALSE(action(Command::BuildChm)->isEnabled());
  EXPECT_FALSE(action(Command::BuildHtml)->isEnabled());
  QMetaObject::invokeMethod(action(Command::BuildHtml), "triggered");
  EXPECT_EQ(html.count(), 0);
  action(Command::MyProjects)->trigger();
  EXPECT_TRUE(action(Command::BuildChm)->isEnabled());
  EXPECT_TRUE(action(Command::BuildHtml)->isEnabled());
}

TEST_F(MainFrameTest, TheTreesCloseButtonHidesThePaneLikeMyProjects) {
  emit frame_->treeView()->closeClicked();
  EXPECT_FALSE(frame_->treePaneShown());
  EXPECT_FALSE(action(Command::MyProjects)->isChecked());
  EXPECT_FALSE(action(Command::BuildChm)->isEnabled());
}

TEST_F(MainFrameTest, TheSmallestFontCommandMarksOnlySmallest) {
  action(Command::FontSmallest)->trigger();
  EXPECT_EQ(frame_->zoomStateCode(), 1);
  EXPECT_DOUBLE_EQ(frame_->webView()->zoomFactor(), zoomFactorForLevel(0));
  for (const ZoomCommand zoom : kZoomCommands) {
    EXPECT_EQ(action(static_cast<Command>(zoom.commandId))->isChecked(), zoom.commandId == 32829) << zoom.commandId;
  }
}

TEST_F(MainFrameTest, LargestIsTheBiggestTextAndLargerTheNextOne) {
  action(Command::FontLargest)->trigger();
  EXPECT_EQ(frame_->zoomStateCode(), 41);
  const double largest = frame_->webView()->zoomFactor();
  action(Command::FontLarger)->trigger();
  EXPECT_EQ(frame_->zoomStateCode(), 31);
  EXPECT_GT(largest, frame_->webView()->zoomFactor());
  EXPECT_GT(frame_->webView()->zoomFactor(), zoomFactorForLevel(2));
}

TEST_F(MainFrameTest, UndoAndRedoAreEnabledInEditStateOnly) {
  EXPECT_FALSE(action(Command::Undo)->isEnabled());
  EXPECT_FALSE(action(Command::Redo)->isEnabled());
  action(Command::Edit)->trigger();
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Edit);
  EXPECT_TRUE(frame_->webView()->isEditing());
  EXPECT_TRUE(action(Command::Undo)->isEnabled());
  EXPECT_TRUE(action(Command::Redo)->isEnabled());
  action(Command::Browse)->trigger();
  EXPECT_FALSE(frame_->webView()->isEditing());
  EXPECT_FALSE(action(Command::Undo)->isEnabled());
  EXPECT_TRUE(action(Command::Browse)->isChecked());
}

TEST_F(MainFrameTest, BuildOutputAppendsEachChunkAfterACarriageReturnAndShowsTheBar) {
  frame_->show();
  frame_->onBuildOutput(2, "Compiling first");
  frame_->onBuildOutput(3, " half\nnext line\n");
  frame_->onBuildOutput(2, "done");
  uikit::CBuildProgressBar* bar = frame_->buildProgressBar();
  EXPECT_EQ(bar->text(), "\rCompiling first\r half\nnext line\n\rdone");
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->textBox()->toPlainText(), "\nCompiling first\n half\nnext line\n\ndone");
  EXPECT_TRUE(bar->textBox()->isReadOnly());
}

TEST_F(MainFrameTest, BuildOutputKindOneSetsTheTitleAndOtherKindsAreIgnored) {
  frame_->onBuildOutput(1, "Velkin - /kb/Cat/ExportASCHM.bat");
  EXPECT_EQ(frame_->windowTitle(), "Velkin - /kb/Cat/ExportASCHM.bat");
  frame_->onBuildOutput(7, "ignored");
  frame_->onBuildOutput(0, "ignored");
  EXPECT_TRUE(frame_->buildProgressBar()->text().isEmpty());
  EXPECT_FALSE(frame_->buildProgressBar()->isVisible());
}

TEST_F(MainFrameTest, TheTreesSignalsReachTheFrame) {
  CProjectTreeCtrl* tree = frame_->treeView()->treeCtrl();
  emit tree->buildOutput(1, "Velkin - build");
  EXPECT_EQ(frame_->windowTitle(), "Velkin - build");
}

TEST_F(MainFrameTest, RenameAndRefreshKeysReachTheTreeOnlyWhenItIsTheActivePane) {
  showActive();
  QSignalSpy rename(frame_.get(), &CMainFrame::treeRename);
  QSignalSpy refresh(frame_.get(), &CMainFrame::treeRefresh);
  CProjectTreeCtrl* tree = frame_->treeView()->treeCtrl();
  tree->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame_->activePane() == CMainFrame::Pane::Tree; }, 5000));
  QTest::keyClick(tree, Qt::Key_F2);
  QTest::keyClick(tree, Qt::Key_F5);
  EXPECT_EQ(rename.count(), 1);
  EXPECT_EQ(refresh.count(), 1);

  frame_->activatePane(CMainFrame::Pane::Content);
  QTest::keyClick(frame_.get(), Qt::Key_F2);
  QTest::keyClick(frame_.get(), Qt::Key_F5);
  EXPECT_EQ(rename.count(), 1) << "Rename does nothing with the browser active";
  EXPECT_EQ(refresh.count(), 1) << "Refresh reloads the page instead";
}

TEST_F(MainFrameTest, SearchFiltersTheSearchTreeOnOkAndSearchResultTogglesTheBarWithItsCheckMark) {
  showActive();
  std::optional<kb::PageFilter> answer;
  CMainFrame::Seams seams;
  seams.askSearch = [&] { return answer; };
  frame_->setSeams(std::move(seams));
  const auto barShown = [this] { return !frame_->searchBar()->isHidden(); };
  EXPECT_EQ(action(Command::Search)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  action(Command::Search)->trigger();
  EXPECT_FALSE(barShown()) << "Cancel shows nothing";
  EXPECT_FALSE(action(Command::SearchResult)->isChecked());

  answer = kb::PageFilter::byMode(kb::FilterMode::Keyword, "baking");
  action(Command::Search)->trigger();
  EXPECT_TRUE(barShown());
  EXPECT_TRUE(action(Command::SearchResult)->isChecked());
  const kb::PageFilter& filter = frame_->searchBar()->treeCtrl()->model().filter();
  EXPECT_EQ(filter.mode, static_cast<int>(kb::FilterMode::Keyword));
  EXPECT_EQ(filter.text, "baking");
  EXPECT_EQ(frame_->treeView()->treeCtrl()->model().filter().mode, 0) << "the main tree is never filtered";

  action(Command::SearchResult)->trigger();
  EXPECT_FALSE(barShown());
  EXPECT_FALSE(action(Command::SearchResult)->isChecked());
  action(Command::SearchResult)->trigger();
  EXPECT_TRUE(barShown());
  EXPECT_TRUE(action(Command::SearchResult)->isChecked());
  EXPECT_EQ(frame_->searchBar()->treeCtrl()->model().filter().text, "baking") << "the filter stays";
  frame_->searchBar()->close();  // the bar's own close button
  EXPECT_FALSE(action(Command::SearchResult)->isChecked());
}

TEST_F(MainFrameTest, RenameAndRefreshKeysInTheSearchTreeStayThere) {
  showActive();
  action(Command::SearchResult)->trigger();
  frame_->activatePane(CMainFrame::Pane::Tree);
  QSignalSpy rename(frame_.get(), &CMainFrame::treeRename);
  QSignalSpy refresh(frame_.get(), &CMainFrame::treeRefresh);
  CProjectTreeCtrl* search = frame_->searchBar()->treeCtrl();
  search->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return search->hasFocus(); }, 5000));
  QTest::keyClick(search, Qt::Key_F2);
  QTest::keyClick(search, Qt::Key_F5);
  EXPECT_EQ(rename.count(), 0) << "F2 in the search tree renames nothing in the main tree";
  EXPECT_EQ(refresh.count(), 0);
}

TEST_F(MainFrameTest, WithTheTreeHiddenItIsNeverTheActivePane) {
  frame_->activatePane(CMainFrame::Pane::Tree);
  action(Command::MyProjects)->trigger();
  EXPECT_EQ(frame_->activePane(), CMainFrame::Pane::Content);
  QSignalSpy rename(frame_.get(), &CMainFrame::treeRename);
  action(Command::Rename)->trigger();
  EXPECT_EQ(rename.count(), 0);
}

TEST_F(MainFrameTest, TheAddressBarListsTheTypedAddressesMarkingThoseOnDisk) {
  testing::writeTextFile(path("kb/page.htm"), "<p>x</p>");
  rememberTypedUrl(registry_, "https://web.example/");
  rememberTypedUrl(registry_, path("kb/page.htm"));
  frame_->fillAddressBar();
  QComboBox* bar = frame_->addressBar();
  ASSERT_EQ(bar->count(), 2);
  EXPECT_EQ(bar->itemText(0).toStdString(), path("kb/page.htm"));
  EXPECT_EQ(bar->itemText(1), "https://web.example/");
  const QImage page = rendered(bar->itemIcon(0));
  const QImage web = rendered(bar->itemIcon(1));
  EXPECT_GT(opaquePixels(page), 0);
  EXPECT_GT(opaquePixels(web), 0);
  EXPECT_FALSE(page == web) << "file and web entries look different";
  ASSERT_NE(bar->completer(), nullptr);
  EXPECT_EQ(bar->completer()->caseSensitivity(), Qt::CaseInsensitive);
}

TEST_F(MainFrameTest, EnterInTheAddressBarRemembersTheAddressAndMakesItCurrent) {
  showActive();
  QComboBox* bar = frame_->addressBar();
  bar->setEditText("about:blank#typed");
  QTest::keyClick(bar->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(frame_->currentLocation(), "about:blank#typed");
  EXPECT_EQ(readTypedUrls(registry_), std::vector<std::string>{"about:blank#typed"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->count() == 1; }, 5000));
  EXPECT_EQ(bar->currentText(), "about:blank#typed") << "the text stays while the list is refilled";
}

TEST_F(MainFrameTest, SetAddressTextDropsTheFileScheme) {
  frame_->setAddressText("file:///home/me/kb/page.htm");
  EXPECT_EQ(frame_->addressBar()->currentText(), "/home/me/kb/page.htm");
}

TEST_F(MainFrameTest, SetBookDirectoryCreatesTheMissingKeyWithTheDefaultAndStoresTheChoice) {
  QString offered;
  CMainFrame::Seams seams;
  seams.chooseFolder = [&](const QString& title, const QString& folder) {
    offered = folder;
    EXPECT_EQ(title, folder);
    return QString::fromStdString(path("books/"));
  };
  frame_->setSeams(std::move(seams));
  QSignalSpy refresh(frame_.get(), &CMainFrame::treeRefresh);
  action(Command::SetBookDirectory)->trigger();
  EXPECT_EQ(offered.toStdString(), kb::defaultBookDirectory());
  EXPECT_EQ(registry_.readString(RegistryRoot::Machine, kb::kKestrovaKey, kb::kBookPathValue), path("books"));
  EXPECT_EQ(refresh.count(), 1);
}

TEST_F(MainFrameTest, SetBookDirectoryOffersTheDefaultWhenTheKeyHasNoBookPathAndCancelStoresNothing) {
  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kShowAllTagsValue, 0);
  QString offered;
  CMainFrame::Seams seams;
  seams.chooseFolder = [&](const QString&, const QString& folder) {
    offered = folder;
    return QString();
  };
  frame_->setSeams(std::move(seams));
  QSignalSpy refresh(frame_.get(), &CMainFrame::treeRefresh);
  action(Command::SetBookDirectory)->trigger();
  EXPECT_EQ(offered.toStdString(), kb::defaultBookDirectory());
  EXPECT_FALSE(registry_.readString(RegistryRoot::Machine, kb::kKestrovaKey, kb::kBookPathValue));
  EXPECT_EQ(refresh.count(), 0);
}

TEST_F(MainFrameTest, ClosingWritesThePlacementAndTheBarStates) {
  frame_->setGeometry(40, 50, 700, 500);
  frame_->show();
  frame_->toolBar()->hide();
  ASSERT_TRUE(frame_->close());
  const auto placement = readPlacement(registry_);
  ASSERT_TRUE(placement);
  EXPECT_EQ(placement->showCommand, kShowNormal);
  EXPECT_EQ(placement->normal.right - placement->normal.left, 700);
  EXPECT_TRUE(readProfileBinary(registry_, kRebarSection, kStateValue));
  EXPECT_TRUE(readProfileBinary(registry_, kBuildProgressSection, kStateValue));
  EXPECT_TRUE(readProfileNumber(registry_, kToolbarSection, kTextOptionsValue));

  CMainFrame again(registry_);
  again.show();
  EXPECT_FALSE(again.toolBar()->isVisible()) << "bar states come back";
  EXPECT_TRUE(again.addressToolBar()->isVisible());
  EXPECT_FALSE(again.buildProgressBar()->isVisible()) << "the build bar always starts hidden";
}

TEST_F(MainFrameTest, AStoredPlacementOffTheScreensIsIgnored) {
  WindowPlacement placement;
  placement.showCommand = kShowMaximized;
  placement.normal = {5000, 5000, 5700, 5500};
  writePlacement(registry_, placement);
  const QRect before = frame_->geometry();
  EXPECT_FALSE(CKestrovaApp::showWithPlacement(*frame_, registry_, {{0, 0, 1024, 768}}));
  EXPECT_TRUE(frame_->isVisible());
  EXPECT_FALSE(frame_->isMaximized());
  EXPECT_NE(frame_->geometry().topLeft(), QPoint(5000, 5000));
  EXPECT_EQ(frame_->geometry().size(), before.size());
}

TEST_F(MainFrameTest, AStoredPlacementOnAScreenIsApplied) {
  WindowPlacement placement;
  placement.normal = {40, 30, 740, 530};
  writePlacement(registry_, placement);
  EXPECT_TRUE(CKestrovaApp::showWithPlacement(*frame_, registry_, {{0, 0, 1024, 768}}));
  EXPECT_TRUE(frame_->isVisible());
  EXPECT_EQ(frame_->geometry(), QRect(40, 30, 700, 500));
}

TEST_F(MainFrameTest, SupportInTheAboutBoxOpensTheMakersSite) {
  std::vector<QUrl> opened;
  uikit::CAboutDialog dialog(frame_.get(), [&](const QUrl& address) { opened.push_back(address); });
  dialog.supportButton()->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl("https://www.velkinweb.example"));
}

TEST_F(MainFrameTest, ContentsOpensNothingWhenTheHelpFileIsMissing) {
  for (const std::string& missing : {std::string(), path("share/Contents.chm")}) {
    CMainFrame::Seams seams;
    seams.helpBook = [missing] { return missing; };
    frame_->setSeams(std::move(seams));
    action(Command::Contents)->trigger();
    EXPECT_TRUE(opened_.empty()) << missing;
    EXPECT_TRUE(messages_.empty()) << "no message box for a missing help file";
  }
}

// F1 opens the help book compiled by this build (Contents.chm in the build
// tree's share folder), a real compiled book rather than a leftover name.
TEST_F(MainFrameTest, F1OpensTheHelpBookBuiltInTheBuildTree) {
#ifndef VELKIN_HELP_BOOK
  GTEST_SKIP() << "chmcmd was not found when this build was configured: no help book";
#else
  const std::string built = VELKIN_HELP_BOOK;
  ASSERT_TRUE(platform::isRegularFile(built)) << built;
  EXPECT_EQ(action(Command::Contents)->shortcut(), QKeySequence(Qt::Key_F1));
  action(Command::Contents)->trigger();
  ASSERT_EQ(opened_.size(), 1u);
  ASSERT_TRUE(opened_[0].isLocalFile()) << opened_[0].toString().toStdString();
  const QString opened = opened_[0].toLocalFile();
  EXPECT_EQ(QFileInfo(opened).canonicalFilePath(), QFileInfo(QString::fromStdString(built)).canonicalFilePath());
  QFile book(opened);
  ASSERT_TRUE(book.open(QIODevice::ReadOnly));
  EXPECT_EQ(book.read(4), QByteArray("ITSF")) << "not a compiled book";
  EXPECT_TRUE(messages_.empty());
#endif
}

// ---------------------------------------------------------------- files and tools

TEST_F(MainFrameTest, DefaultBrowserFollowsWhatXdgSettingsSaysAndIsDisabledWithoutIt) {
  std::vector<QStringList> calls;
  std::optional<QString> answer;
  CMainFrame::Seams seams;
  seams.xdgSettings = [&](const QStringList& arguments) -> std::optional<QString> {
    calls.push_back(arguments);
    if (arguments.value(0) == "set" && answer) answer = arguments.value(2);
    return answer;
  };
  frame_->setSeams(std::move(seams));
  QMenu* tools = frame_->menuBar()->findChild<QMenu*>("toolsMenu");
  ASSERT_NE(tools, nullptr);

  emit tools->aboutToShow();  // no xdg-settings
  EXPECT_FALSE(action(Command::DefaultBrowser)->isEnabled());
  EXPECT_FALSE(action(Command::DefaultBrowser)->isChecked());

  answer = "firefox-esr.desktop";
  emit tools->aboutToShow();
  EXPECT_TRUE(action(Command::DefaultBrowser)->isEnabled());
  EXPECT_FALSE(action(Command::DefaultBrowser)->isChecked());
  calls.clear();
  action(Command::DefaultBrowser)->trigger();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], (QStringList{"set", "default-web-browser", "velkin-kestrova.desktop"}));
  EXPECT_EQ(calls[1], (QStringList{"get", "default-web-browser"}));
  EXPECT_TRUE(action(Command::DefaultBrowser)->isChecked());
  EXPECT_TRUE(messages_.empty());
}

class RecentFilesTest : public MainFrameTest {
 protected:
  // The visible recent-file entries of the File menu, their tool tips.
  QStringList recentFiles() const {
    QStringList shown;
    for (const Command command : {Command::RecentFile1, Command::RecentFile2, Command::RecentFile3,
                                  Command::RecentFile4}) {
      if (action(command)->isVisible()) shown << action(command)->toolTip();
    }
    return shown;
  }
  void open(const std::string& name) {
    const QString file = QString::fromStdString(path(name));
    testing::writeTextFile(path(name), "<html><body>" + name + "</body></html>");
    CMainFrame::Seams seams;
    seams.chooseOpenPath = [file] { return file; };
    frame_->setSeams(std::move(seams));
    action(Command::Open)->trigger();
  }
  QString q(const std::string& name) const { return QString::fromStdString(path(name)); }
};

TEST_F(RecentFilesTest, OpenKeepsTheFourMostRecentFirstWithoutDuplicatesAcrossRestarts) {
  EXPECT_TRUE(recentFiles().isEmpty());
  for (const char* name : {"a.htm", "b.htm", "c.htm", "d.htm", "e.htm", "c.htm"}) open(name);
  EXPECT_EQ(frame_->currentLocation(), q("c.htm"));
  const QStringList expected{q("c.htm"), q("e.htm"), q("d.htm"), q("b.htm")};
  EXPECT_EQ(recentFiles(), expected);
  EXPECT_TRUE(action(Command::RecentFile1)->text().endsWith("c.htm"));

  CMainFrame again(registry_);
  QStringList shown;
  for (const Command command : {Command::RecentFile1, Command::RecentFile2, Command::RecentFile3,
                                Command::RecentFile4}) {
    shown << again.action(command)->toolTip();
  }
  EXPECT_EQ(shown, expected);
}

TEST_F(RecentFilesTest, ARecentFileOpensAndAMissingOneIsTakenOutWithAMessage) {
  open("a.htm");
  open("b.htm");
  action(Command::RecentFile2)->trigger();
  EXPECT_EQ(frame_->currentLocation(), q("a.htm"));
  EXPECT_EQ(recentFiles(), (QStringList{q("a.htm"), q("b.htm")}));

  ASSERT_TRUE(platform::removeTree(path("b.htm")));
  action(Command::RecentFile2)->trigger();
  EXPECT_EQ(frame_->currentLocation(), q("a.htm"));
  EXPECT_EQ(recentFiles(), (QStringList{q("a.htm")}));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].contains(q("b.htm"))) << messages_[0].toStdString();
}

TEST_F(RecentFilesTest, NewWritesAFreshPageInTheSelectedCategoryAndEditsIt) {
  const std::string books = kb::defaultBookDirectory();
  testing::makeDirs(books + "/Cat");
  testing::writeTextFile(books + "/Cat/New Page.htm", "taken");
  auto& tree = frame_->treeView()->treeCtrl()->model();
  tree.refresh();
  kb::TreeItem* category = tree.findPath(books + "/Cat");
  ASSERT_NE(category, nullptr);
  tree.select(category);

  action(Command::New)->trigger();
  const QString fresh = QString::fromStdString(books + "/Cat/New Page (2).htm");
  EXPECT_EQ(testing::readTextFile(books + "/Cat/New Page.htm"), "taken") << "never overwritten";
  EXPECT_TRUE(platform::isRegularFile(fresh.toStdString()));
  EXPECT_EQ(frame_->currentLocation(), fresh);
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Edit);
  EXPECT_EQ(recentFiles().value(0), fresh);
  ASSERT_NE(tree.selected(), nullptr);
  EXPECT_EQ(tree.pathOf(tree.selected()), fresh.toStdString());
}

TEST_F(MainFrameTest, InternetOptionsAreStoredAndReachTheWebViewOfTheNextFrame) {
  const InternetOptions defaults = readInternetOptions(registry_);
  EXPECT_TRUE(defaults.javaScript);
  EXPECT_TRUE(defaults.images);
  EXPECT_FALSE(defaults.plugins);
  QWebEngineSettings* shown = frame_->webView()->settings();
  EXPECT_TRUE(shown->testAttribute(QWebEngineSettings::JavascriptEnabled));

  InternetOptions changed;
  changed.javaScript = false;
  changed.images = false;
  changed.plugins = true;
  ASSERT_TRUE(storeInternetOptions(registry_, changed));
  EXPECT_EQ(readProfileNumber(registry_, kInternetOptionsSection, kJavaScriptValue), 0u);
  CMainFrame again(registry_);
  QWebEngineSettings* settings = again.webView()->settings();
  EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::JavascriptEnabled));
  EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::AutoLoadImages));
  EXPECT_TRUE(settings->testAttribute(QWebEngineSettings::PluginsEnabled));
  EXPECT_FALSE(proxyDescription().isEmpty());
}

}  // namespace
}  // namespace velkin::app
