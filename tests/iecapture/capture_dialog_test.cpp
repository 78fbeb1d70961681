// The capture dialog on a real knowledge base: the Save rules in their
// order, the file-type list kept in "filetype.ini", and Run Kestrova
// reaching a running main program or starting one. Message boxes are
// answered through the prompts seam.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/file_types.h"
#include "iecapture/capture_dialog.h"
#include "kb/book_dir.h"
#include "kb/project_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "support/test_support.h"
#include "uikit/define_type_dialog.h"
#include "uikit/project_tree_view.h"

namespace {

using velkin::iecapture::CCaptureDialog;
using velkin::testing::readTextFile;
using velkin::testing::writeTextFile;

constexpr char kTypes[] = "zip\r\nZip archive\r\n1\r\npdf\r\nDocument\r\n0\r\n";

class CaptureDialog : public velkin::testing::IsolatedTest {
 protected:
  void SetUp() override {
    writeTextFile(book_ + "/Cat/page.html", "<HTML>page</HTML>");
    writeTextFile(book_ + "/Cat/Old.htm", "<HTML>old</HTML>");
    registry_.writeString(velkin::platform::RegistryRoot::Machine, velkin::kb::kKestrovaKey,
                          velkin::kb::kBookPathValue, book_);
    writeTextFile(ini_, kTypes);
    dialog_ = std::make_unique<CCaptureDialog>(registry_);
    CCaptureDialog::Seams seams;
    seams.prompts.inform = [this](QWidget*, const char*, const std::string& text) { messages_.push_back(text); };
    seams.prompts.ask = [this](QWidget*, const char*, const std::string& text) {
      questions_.push_back(text);
      return answer_;
    };
    seams.startDetached = [this](const QString& program) {
      started_.push_back(program);
      return true;
    };
    seams.serverName = QStringLiteral("velkin-test-%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
    serverName_ = seams.serverName;
    dialog_->setSeams(std::move(seams));
  }

  void select(const std::optional<std::string>& relative) {
    if (!relative) return;
    auto& model = dialog_->tree()->model();
    model.select(model.findPath(relative->empty() ? book_ : book_ + "/" + *relative));
  }
  void click(const char* name) { dialog_->button(QString::fromLatin1(name))->click(); }
  std::vector<Qt::CheckState> marks() const {
    std::vector<Qt::CheckState> states;
    QTreeWidget* list = dialog_->typeList();
    for (int i = 0; i < list->topLevelItemCount(); ++i) states.push_back(list->topLevelItem(i)->checkState(0));
    return states;
  }

  const std::string book_ = path("book");
  const std::string ini_ = velkin::capture::fileTypesPath();
  velkin::platform::Registry registry_{configDir()};
  std::unique_ptr<CCaptureDialog> dialog_;
  QString serverName_;
  std::vector<std::string> messages_;
  std::vector<std::string> questions_;
  std::vector<QString> started_;
  bool answer_ = true;
};

struct SaveCase {
  const char* what;
  const char* fileName;
  std::optional<std::string> selected;  // relative to the book; "" the root
  const char* message;                  // refused with this, or nullptr
  const char* page;                     // accepted: the page, relative to the book
};

TEST_F(CaptureDialog, SaveFollowsItsRulesInOrder) {
  const SaveCase cases[] = {
      {"slash", "a/b", std::string("Cat"), velkin::capture::kInvalidCharacterMessage, nullptr},
      {"invalid before selection", "a?b", std::nullopt, velkin::capture::kInvalidCharacterMessage, nullptr},
      {"name ending .htm", "News.htm", std::string("Cat"), nullptr, "Cat/News.htm.htm"},
      {"empty name", "", std::string("Cat"), nullptr, "Cat/.htm"},
      {"selected .html page", "Doc", std::string("Cat/page.html"), nullptr, "Cat/Doc.htm"},
      {"root selected", "Doc", std::string(""), nullptr, "Doc.htm"},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    select(c.selected);
    dialog_->setProposal(c.fileName, "http://example.test/a");
    dialog_->fileNameEdit()->setText(QString::fromUtf8(c.fileName));
    click("save");
    if (c.message != nullptr) {
      EXPECT_EQ(dialog_->result(), QDialog::Rejected);
      EXPECT_EQ(messages_, std::vector<std::string>{c.message});
      EXPECT_EQ(readTextFile(ini_), kTypes);
    } else {
      EXPECT_EQ(dialog_->result(), QDialog::Accepted);
      std::string page, name, address;
      std::vector<std::string> types{"kept"};
      dialog_->results(page, name, address, types);
      EXPECT_EQ(page, book_ + "/" + c.page);
      EXPECT_EQ(name, c.fileName);
      EXPECT_EQ(address, "http://example.test/a");
      EXPECT_EQ(types, (std::vector<std::string>{"kept", "zip"}));
    }
    // The tree writes its selection when the dialog goes.
    dialog_.reset();
    if (c.selected) {
      const std::string selected = c.selected->empty() ? book_ : book_ + "/" + *c.selected;
      EXPECT_EQ(registry_.readString(velkin::platform::RegistryRoot::User, velkin::kb::kSelectedKey,
                                     velkin::kb::kSelectedFolderValue),
                selected);
    }
    messages_.clear();
  }
}

TEST_F(CaptureDialog, NoToOverwriteKeepsEverythingAndWritesNothing) {
  select(std::string("Cat"));
  dialog_->setProposal("Old", "http://example.test/old");
  click("unselect");  // marks changed in the dialog only
  answer_ = false;
  click("save");
  EXPECT_EQ(questions_, std::vector<std::string>{velkin::capture::kOverwriteQuestion});
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
  EXPECT_EQ(dialog_->fileNameEdit()->text(), QStringLiteral("Old"));
  EXPECT_EQ(dialog_->addressEdit()->text(), QStringLiteral("http://example.test/old"));
  EXPECT_EQ(marks(), (std::vector<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked}));
  EXPECT_EQ(readTextFile(ini_), kTypes);
  EXPECT_EQ(readTextFile(book_ + "/Cat/Old.htm"), "<HTML>old</HTML>");
}

TEST_F(CaptureDialog, FileTypeListIsWrittenOnlyByItsCommandsAndSave) {
  // Seven lines: the third type has no description and is unchecked.
  writeTextFile(ini_, "zip\nZip\n1\npdf\nDocument\n1\ndoc\n");
  dialog_ = std::make_unique<CCaptureDialog>(registry_);
  ASSERT_EQ(dialog_->typeList()->topLevelItemCount(), 3);
  EXPECT_EQ(dialog_->typeList()->topLevelItem(2)->text(1), QString());
  EXPECT_EQ(marks(), (std::vector<Qt::CheckState>{Qt::Checked, Qt::Checked, Qt::Unchecked}));

  // Select All, then Cancel: the file stays as it was.
  const std::string before = readTextFile(ini_);
  click("selectAll");
  EXPECT_EQ(marks(), (std::vector<Qt::CheckState>{Qt::Checked, Qt::Checked, Qt::Checked}));
  click("cancel");
  EXPECT_EQ(readTextFile(ini_), before);

  // A name differing only in letter case is refused; the dialog stays open.
  dialog_ = std::make_unique<CCaptureDialog>(registry_);
  CCaptureDialog::Seams seams;
  seams.prompts.inform = [this](QWidget*, const char*, const std::string& text) { messages_.push_back(text); };
  seams.defineType = [&](velkin::capture::SaveDialogModel& model) {
    velkin::uikit::DefineTypeDialog define(model, seams.prompts);
    define.typeEdit()->setText(QStringLiteral("PDF"));
    define.accept();
    return define.result() == QDialog::Accepted;
  };
  dialog_->setSeams(seams);
  click("add");
  EXPECT_EQ(messages_, std::vector<std::string>{velkin::capture::kFileTypeExistsMessage});
  EXPECT_EQ(dialog_->typeList()->topLevelItemCount(), 3);
  EXPECT_EQ(readTextFile(ini_), before);
}

TEST_F(CaptureDialog, RunKestrovaRaisesARunningProgramElseStartsIt) {
  // Nothing listens: the program is started, from beside the library or PATH.
  click("runKestrova");
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0], CCaptureDialog::mainProgramPath());
  EXPECT_TRUE(started_[0].endsWith(QStringLiteral("kestrova")));

  // A listening main program is asked to come to the front instead.
  QLocalServer server;
  ASSERT_TRUE(server.listen(serverName_));
  click("runKestrova");
  ASSERT_TRUE(server.waitForNewConnection(5000));
  QLocalSocket* peer = server.nextPendingConnection();
  ASSERT_NE(peer, nullptr);
  QByteArray request = peer->readAll();
  while (!request.contains('\n') && peer->waitForReadyRead(5000)) request += peer->readAll();
  EXPECT_EQ(request.trimmed(), QByteArray(velkin::platform::kRaiseRequest));
  EXPECT_EQ(started_.size(), 1u);
}

}  // namespace
