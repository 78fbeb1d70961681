// The Flash Options dialog on its own settings store: one option always
// stays on, what OK stores (the folder only where its key exists) and what
// Cancel and the folder browser do; the About box's texts and links.
#include "flash/ui/options_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "flash/model/flash_folder.h"
#include "flash/model/messages.h"
#include "flash/ui/about_dialog.h"
#include "support/test_support.h"

namespace velkin::flash::ui {
namespace {

using platform::RegistryRoot;

class FlashOptionsTest : public testing::IsolatedTest {
 protected:
  FlashOptionsTest() : registry_(configDir()) {}

  std::unique_ptr<OptionsDialog> makeDialog(OptionsDialog::Seams::ChooseFolder choose = {},
                                            platform::Registry* registry = nullptr) {
    OptionsDialog::Seams seams;
    seams.prompts.inform = [this](QWidget*, const char* caption, const std::string& text) {
      messages_.push_back(std::string(caption) + "|" + text);
    };
    seams.chooseFolder = std::move(choose);
    return std::make_unique<OptionsDialog>(registry != nullptr ? *registry : registry_, seams);
  }
  std::optional<std::uint32_t> option(const char* name) {
    return registry_.readDword(RegistryRoot::Machine, kPlugInKey, name);
  }

  platform::Registry registry_;
  std::vector<std::string> messages_;
};

TEST_F(FlashOptionsTest, OptionsAreOnUnlessStoredAsZeroAndTheDialogShowsThem) {
  struct Case {
    std::optional<std::uint32_t> toolbar, menu;
    bool toolbarShown, menuShown;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, true, true},
      {0, 1, false, true},
      {7, 0, true, false},
  };
  for (const Case& c : cases) {
    registry_.deleteKey(RegistryRoot::Machine, kPlugInKey);
    if (c.toolbar) registry_.writeDword(RegistryRoot::Machine, kPlugInKey, kShowToolbarValue, *c.toolbar);
    if (c.menu) registry_.writeDword(RegistryRoot::Machine, kPlugInKey, kShowMenuValue, *c.menu);
    auto dialog = makeDialog();
    EXPECT_EQ(dialog->toolbarBox()->isChecked(), c.toolbarShown);
    EXPECT_EQ(dialog->menuBox()->isChecked(), c.menuShown);
    EXPECT_EQ(dialog->toolbarBox()->text().toStdString(), kToolbarBoxText);
    EXPECT_EQ(dialog->menuBox()->text().toStdString(), kMenuBoxText);
    EXPECT_EQ(dialog->folderEdit()->text().toStdString(), defaultFlashFolder());
  }
}

TEST_F(FlashOptionsTest, ClearingTheLastCheckedBoxIsRefusedWithTheMessage) {
  for (const bool clearToolbarLast : {true, false}) {
    messages_.clear();
    auto dialog = makeDialog();
    QCheckBox* first = clearToolbarLast ? dialog->menuBox() : dialog->toolbarBox();
    QCheckBox* last = clearToolbarLast ? dialog->toolbarBox() : dialog->menuBox();
    first->click();
    EXPECT_TRUE(messages_.empty()) << "one box may be cleared";
    EXPECT_FALSE(first->isChecked());
    last->click();
    EXPECT_EQ(messages_, std::vector<std::string>{std::string("|") + kChooseOneOptionMessage});
    EXPECT_TRUE(last->isChecked()) << "the clicked box is checked again";
    EXPECT_FALSE(first->isChecked());
  }
}

TEST_F(FlashOptionsTest, OkStoresTheOptionsAndTheFolderOnlyWhereItsKeyExists) {
  for (const bool folderKeyExists : {false, true}) {
    registry_.deleteKey(RegistryRoot::Machine, kSaveFolderKey);
    registry_.deleteKey(RegistryRoot::Machine, kPlugInKey);
    if (folderKeyExists) registry_.createKey(RegistryRoot::Machine, kSaveFolderKey);
    auto dialog = makeDialog();
    dialog->menuBox()->click();
    dialog->folderEdit()->setText(QString::fromStdString(path("Movies")));
    dialog->accept();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(option(kShowToolbarValue), 1u);
    EXPECT_EQ(option(kShowMenuValue), 0u);
    EXPECT_EQ(registry_.openKey(RegistryRoot::Machine, kSaveFolderKey).has_value(), folderKeyExists)
        << "the folder's key is never made";
    EXPECT_EQ(flashFolder(registry_), folderKeyExists ? path("Movies") : defaultFlashFolder());
    EXPECT_TRUE(messages_.empty());
  }
}

TEST_F(FlashOptionsTest, OkOnAStoreThatCannotBeWrittenSaysSoAndStaysOpen) {
  const std::string brokenConfig = path("broken");
  testing::makeDirs(brokenConfig + "/machine.db");  // a folder where the store's file belongs
  platform::Registry broken(brokenConfig);
  auto dialog = makeDialog({}, &broken);
  dialog->accept();
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].rfind(std::string(kCaptionFlash) + "|The setting ", 0), 0u) << messages_[0];
}

TEST_F(FlashOptionsTest, CancelStoresNothingAndTheBrowserReplacesTheFolderOnlyWhenOneIsPicked) {
  std::vector<QString> titles;
  std::optional<QString> pick;
  auto dialog = makeDialog([&](QWidget*, const QString& current) {
    titles.push_back(current);
    return pick;
  });
  const QString shown = dialog->folderEdit()->text();
  dialog->browseButton()->click();
  EXPECT_EQ(dialog->folderEdit()->text(), shown) << "no folder picked";
  pick = QString::fromStdString(path("Picked"));
  dialog->browseButton()->click();
  EXPECT_EQ(dialog->folderEdit()->text(), *pick);
  EXPECT_EQ(titles, (std::vector<QString>{shown, shown})) << "the browser is titled with the current folder";

  dialog->toolbarBox()->click();
  dialog->reject();
  EXPECT_FALSE(registry_.openKey(RegistryRoot::Machine, kPlugInKey).has_value());
}

TEST_F(FlashOptionsTest, AboutShowsItsTextsAndOpensItsLinksThroughTheOpener) {
  std::vector<QUrl> opened;
  AboutDialog dialog(nullptr, [&](const QUrl& address) { opened.push_back(address); });
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("versionLine"))->text().toStdString(), kAboutVersionLine);
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("aboutText"))->text().toStdString(), kAboutText);
  emit dialog.siteLink()->linkActivated(uikit::CAboutDialog::supportAddress().toString());
  emit dialog.mailLink()->linkActivated(uikit::CAboutDialog::mailAddress().toString());
  EXPECT_EQ(opened, (std::vector<QUrl>{uikit::CAboutDialog::supportAddress(), uikit::CAboutDialog::mailAddress()}));
}

}  // namespace
}  // namespace velkin::flash::ui
