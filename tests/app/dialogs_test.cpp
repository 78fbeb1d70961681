// The capture and book dialogs through their widgets: the save dialog's file
// name and file-type list rules, the define-type dialog, the download
// progress dialog against a slow loopback server, and the book dialog's
// remembered options.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "book/book_settings.h"
#include "capture/support/loopback_server.h"
#include "platform/registry.h"
#include "support/test_support.h"
#include "app/book_dialog.h"
#include "uikit/define_type_dialog.h"
#include "uikit/download_progress_dialog.h"
#include "uikit/save_file_dialog.h"

namespace {

namespace fs = std::filesystem;
using velkin::capture::FileType;
using velkin::uikit::SaveFileDialog;

class Dialogs : public velkin::testing::IsolatedTest {
 protected:
  velkin::uikit::Prompts recordingPrompts() {
    velkin::uikit::Prompts prompts;
    prompts.inform = [this](QWidget*, const char* caption, const std::string& text) {
      messages_.push_back(std::string(caption) + ": " + text);
    };
    prompts.ask = [this](QWidget*, const char*, const std::string& text) {
      questions_.push_back(text);
      return answer_;
    };
    return prompts;
  }

  void writeTypes(const std::vector<FileType>& types) {
    ASSERT_EQ(velkin::capture::saveFileTypes(ini_, types), "");
  }

  std::string ini_ = path("data/velkin/filetype.ini");
  std::vector<std::string> messages_;
  std::vector<std::string> questions_;
  bool answer_ = false;
};

// --- Save dialog -----------------------------------------------------------

struct NameCase {
  const char* typed;
  const char* saved;
};

class SaveName : public Dialogs, public ::testing::WithParamInterface<NameCase> {};

TEST_P(SaveName, SaveGivesAPageFileName) {
  SaveFileDialog dialog("New File", ini_, recordingPrompts());
  EXPECT_EQ(dialog.fileNameEdit()->text(), QStringLiteral("New File"));
  dialog.fileNameEdit()->setText(QString::fromUtf8(GetParam().typed));
  QTest::mouseClick(dialog.button(QStringLiteral("save")), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.fileName(), GetParam().saved);
  EXPECT_TRUE(messages_.empty());
  // Without a list file the list is empty, and saving creates the file.
  EXPECT_EQ(dialog.typeList()->topLevelItemCount(), 0);
  EXPECT_TRUE(fs::is_regular_file(ini_));
  EXPECT_EQ(velkin::testing::readTextFile(ini_), "");
}

INSTANTIATE_TEST_SUITE_P(Names, SaveName,
                         ::testing::Values(NameCase{"page", "page.htm"}, NameCase{"page.html", "page.html"},
                                           NameCase{"Page.HTM", "Page.HTM"}, NameCase{"page.Htm", "page.Htm.htm"}));

TEST_F(Dialogs, SaveRefusesAnEmptyFileNameAndStaysOpen) {
  SaveFileDialog dialog("New File", ini_, recordingPrompts());
  dialog.fileNameEdit()->clear();
  QTest::mouseClick(dialog.button(QStringLiteral("save")), Qt::LeftButton);
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(messages_, std::vector<std::string>{"Velkin Web: The file name can not empty!"});
  EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(Dialogs, CheckMarksGiveTheSelectedTypesAndAreRemembered) {
  writeTypes({{"zip", "archives", true}, {"pdf", "documents", false}, {"mp3", "music", false}});
  SaveFileDialog dialog("New File", ini_, recordingPrompts());
  QTreeWidget* list = dialog.typeList();
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("documents"));

  QTest::mouseClick(dialog.button(QStringLiteral("unselect")), Qt::LeftButton);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(list->topLevelItem(row)->checkState(0), Qt::Unchecked);
  QTest::mouseClick(dialog.button(QStringLiteral("selectAll")), Qt::LeftButton);
  list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);  // as a click on the box does
  QTest::mouseClick(dialog.button(QStringLiteral("save")), Qt::LeftButton);

  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.selectedTypes(), (std::vector<std::string>{"zip", "mp3"}));
  const auto stored = velkin::capture::loadFileTypes(ini_);
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_TRUE(stored[0].selected);
  EXPECT_FALSE(stored[1].selected);
  EXPECT_TRUE(stored[2].selected);
}

class DeleteType : public Dialogs, public ::testing::WithParamInterface<bool> {};

TEST_P(DeleteType, DeletesTheSelectedRowOnlyOnYes) {
  answer_ = GetParam();
  writeTypes({{"zip", "archives", false}, {"pdf", "documents", false}});
  SaveFileDialog dialog("New File", ini_, recordingPrompts());
  dialog.typeList()->setCurrentItem(dialog.typeList()->topLevelItem(1));
  QTest::mouseClick(dialog.button(QStringLiteral("delete")), Qt::LeftButton);
  EXPECT_EQ(questions_, std::vector<std::string>{"Delete the select file type: pdf ?"});
  const size_t left = answer_ ? 1 : 2;
  EXPECT_EQ(dialog.typeList()->topLevelItemCount(), static_cast<int>(left));
  EXPECT_EQ(velkin::capture::loadFileTypes(ini_).size(), left);
}

INSTANTIATE_TEST_SUITE_P(Answers, DeleteType, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Yes" : "No"; });

TEST_F(Dialogs, AddOpensTheDefineTypeDialogAndListsTheNewType) {
  writeTypes({{"zip", "archives", true}});
  SaveFileDialog dialog("New File", ini_, recordingPrompts());
  // Fills the define-type dialog once it is shown, and confirms it.
  QTimer filler;
  filler.setInterval(20);
  QObject::connect(&filler, &QTimer::timeout, [&] {
    auto* define = qobject_cast<velkin::uikit::DefineTypeDialog*>(QApplication::activeModalWidget());
    if (define == nullptr) return;
    filler.stop();
    define->typeEdit()->setText(QStringLiteral("rar"));
    define->descriptionEdit()->setPlainText(QStringLiteral("more\narchives"));
    define->accept();
  });
  filler.start();
  QTest::mouseClick(dialog.button(QStringLiteral("add")), Qt::LeftButton);
  ASSERT_EQ(dialog.typeList()->topLevelItemCount(), 2);
  EXPECT_EQ(dialog.typeList()->topLevelItem(1)->text(0), QStringLiteral("rar"));
  EXPECT_EQ(dialog.typeList()->topLevelItem(1)->checkState(0), Qt::Unchecked);
  const auto stored = velkin::capture::loadFileTypes(ini_);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[1].description, "more archives");
}

struct DefineCase {
  const char* name;
  const char* type;
  const char* message;  // nullptr: accepted
};

class DefineType : public Dialogs, public ::testing::WithParamInterface<DefineCase> {};

TEST_P(DefineType, RefusesEmptyAndExistingTypes) {
  writeTypes({{"zip", "archives", false}});
  velkin::capture::SaveDialogModel model(ini_);
  model.open();
  velkin::uikit::DefineTypeDialog dialog(model, recordingPrompts());
  dialog.show();
  dialog.typeEdit()->setText(QString::fromUtf8(GetParam().type));
  dialog.accept();
  if (GetParam().message == nullptr) {
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(velkin::capture::loadFileTypes(ini_).size(), 2u);
  } else {
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messages_, std::vector<std::string>{std::string("Velkin Web: ") + GetParam().message});
    EXPECT_EQ(velkin::capture::loadFileTypes(ini_).size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, DefineType,
    ::testing::Values(DefineCase{"Empty", "", "Please input file type!"},
                      DefineCase{"ExistingInOtherCase", "ZIP", "The file type has existed, please input again."},
                      DefineCase{"New", "7z", nullptr}),
    [](const ::testing::TestParamInfo<DefineCase>& p) { return std::string(p.param.name); });

// --- Download progress dialog ----------------------------------------------

class DownloadDialog : public Dialogs {
 protected:
  void SetUp() override {
    velkin::testing::makeDirs(companion_);
    for (int i = 1; i <= 5; ++i) server_.serve("/r" + std::to_string(i) + ".png", "resource " + std::to_string(i));
    ASSERT_TRUE(server_.start());
  }

  std::vector<velkin::capture::Resource> entries(int count) const {
    std::vector<velkin::capture::Resource> list;
    for (int i = 1; i <= count; ++i) {
      const std::string name = "r" + std::to_string(i) + ".png";
      list.push_back({server_.url("/" + name), companion_ + "/" + name});
    }
    return list;
  }

  velkin::testing::DirectLoopback direct_;
  velkin::testing::LoopbackServer server_;
  std::string companion_ = path("page.files");
};

TEST_F(DownloadDialog, FetchesEveryEntryAndClosesItself) {
  velkin::capture::DownloadRun run(entries(2));
  velkin::uikit::DownloadProgressDialog dialog(run);
  EXPECT_EQ(dialog.run(), 2u);
  EXPECT_EQ(dialog.progressBar()->maximum(), 100);
  EXPECT_EQ(dialog.progressBar()->value(), 100);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(velkin::testing::readTextFile(companion_ + "/r2.png"), "resource 2");
}

TEST_F(DownloadDialog, CancelDuringTheThirdOfFiveFinishesItAndSkipsTheRest) {
  // The third resource is held back until the test has pressed Cancel.
  std::mutex lock;
  std::condition_variable released;
  bool release = false;
  server_.onRequest([&](const httplib::Request& request) {
    if (request.path != "/r3.png") return;
    std::unique_lock<std::mutex> guard(lock);
    released.wait_for(guard, std::chrono::seconds(20), [&] { return release; });
  });
  const auto list = entries(5);
  velkin::capture::DownloadRun run(list);
  velkin::uikit::DownloadProgressDialog dialog(run);
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    const QString text = dialog.fromToLabel()->text();
    if (!text.contains(QString::fromStdString(list[2].address))) return;
    watcher.stop();
    EXPECT_EQ(text.toStdString(), "from " + list[2].address + " to " + list[2].localPath);
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible()) << "Cancel only asks the worker to stop";
    const std::lock_guard<std::mutex> guard(lock);
    release = true;
    released.notify_all();
  });
  watcher.start();

  EXPECT_EQ(dialog.run(), 3u);
  EXPECT_EQ(dialog.progressBar()->value(), 150);
  EXPECT_EQ(dialog.progressBar()->maximum(), 250);
  EXPECT_TRUE(fs::is_regular_file(companion_ + "/r3.png"));
  EXPECT_FALSE(fs::exists(companion_ + "/r4.png"));
  EXPECT_EQ(server_.requestCount("/r4.png"), 0u);
  EXPECT_EQ(server_.requestCount("/r5.png"), 0u);
}

// --- Book dialog -----------------------------------------------------------

TEST_F(Dialogs, BookDialogRemembersItsOptionsAndNamesTheBook) {
  velkin::platform::Registry registry(configDir());
  ASSERT_TRUE(velkin::book::writeBookOptions(registry, {true, false}));
  const std::string folder = path("book/Cat");
  velkin::testing::makeDirs(folder);

  velkin::app::BookDialog dialog(registry, "Cat", folder);
  EXPECT_TRUE(dialog.showProgressBox()->isChecked());
  EXPECT_FALSE(dialog.openBookBox()->isChecked());
  EXPECT_EQ(dialog.titleEdit()->text(), QStringLiteral("Cat"));
  EXPECT_EQ(dialog.languageBox()->currentText().toStdString(), velkin::book::kDefaultLanguage);
  ASSERT_EQ(dialog.languageBox()->count(), static_cast<int>(std::size(velkin::book::kLanguageEntries)));
  for (int i = 1; i < dialog.languageBox()->count(); ++i) {
    EXPECT_LE(dialog.languageBox()->itemText(i - 1).toLower(), dialog.languageBox()->itemText(i).toLower());
  }

  dialog.openBookBox()->setChecked(true);
  dialog.showProgressBox()->setChecked(false);
  dialog.titleEdit()->setText(QStringLiteral("My Book"));
  dialog.languageBox()->setCurrentText(QStringLiteral("0x411    Japanese"));
  dialog.fileDialog()->selectFile(QString::fromStdString(folder + "/mybook"));
  static_cast<QDialog*>(dialog.fileDialog())->accept();  // its Save button

  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  const velkin::book::BookSettings& settings = dialog.settings();
  EXPECT_EQ(settings.outputPath, folder + "/mybook.chm");
  EXPECT_EQ(settings.title, "My Book");
  EXPECT_EQ(settings.language, "0x411    Japanese");
  EXPECT_TRUE(settings.openBook);
  EXPECT_FALSE(settings.showProgress);
  const velkin::book::BookOptions stored = velkin::book::readBookOptions(registry);
  EXPECT_TRUE(stored.openBook);
  EXPECT_FALSE(stored.showProgress);
}

}  // namespace
