#include "flash/host/test_save_driver.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QTreeWidget>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "nativehost/test_dialog_watcher.h"
#include "platform/trace.h"

namespace velkin::flash::host {
namespace {

constexpr char kWhere[] = "test-flash-dialog";
constexpr char kOverwriteStart[] = "The file has existed";

struct Answer {
  std::string folder;
  std::vector<int> untick;
  bool cancel = false;
  bool overwrite = true;
  std::string dialogs;  // "ok", "cancel" or "" (left to the user)
};

Answer readAnswer(const nlohmann::json& json) {
  Answer answer;
  answer.folder = json.value("folder", std::string());
  answer.untick = json.value("untick", std::vector<int>());
  answer.cancel = json.value("cancel", false);
  answer.overwrite = json.value("overwrite", true);
  answer.dialogs = json.value("dialogs", std::string());
  return answer;
}

void click(QDialog& dialog, const char* button) {
  if (auto* found = dialog.findChild<QAbstractButton*>(QString::fromLatin1(button))) found->click();
}

// The dialog is the library's: it is found by Qt's classes and names only.
// A folder applies to the selected row, so each ticked row is selected in
// turn and the folder chosen for it (the root first, so that the choice is
// a change even when the folder was the last one chosen).
void answerSaveDialog(QDialog& dialog, const Answer& answer) {
  if (answer.cancel) return click(dialog, "cancel");
  auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("movieList"));
  auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("flashFolderTree"));
  if (list == nullptr || tree == nullptr) {
    platform::trace(kWhere, "the save dialog has no movie list or folder tree");
    return click(dialog, "cancel");
  }
  for (int row : answer.untick) {
    if (QTreeWidgetItem* item = list->topLevelItem(row)) item->setCheckState(0, Qt::Unchecked);
  }
  for (int row = 0; row < list->topLevelItemCount() && !answer.folder.empty(); ++row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    if (item->checkState(0) == Qt::Unchecked) continue;
    list->setCurrentItem(item);
    nativehost::selectItemByPath(*tree, "");
    nativehost::selectItemByPath(*tree, answer.folder);
  }
  click(dialog, "save");
}

bool isSaveDialog(QDialog& dialog) { return dialog.objectName() == QLatin1String("flashSaveDialog"); }

bool isOverwriteQuestion(QDialog& dialog) {
  auto* box = qobject_cast<QMessageBox*>(&dialog);
  return box != nullptr && box->text().startsWith(QLatin1String(kOverwriteStart));
}

bool isOptionsOrAbout(QDialog& dialog) {
  return dialog.objectName() == QLatin1String("flashOptionsDialog") ||
         dialog.objectName() == QLatin1String("flashAboutDialog");
}

void answerQuestion(QDialog& dialog, bool yes) {
  auto& box = static_cast<QMessageBox&>(dialog);
  if (QAbstractButton* button = box.button(yes ? QMessageBox::Yes : QMessageBox::No)) button->click();
}

}  // namespace

void startTestSaveDriver() {
  const std::optional<nlohmann::json> json = nativehost::answerFromEnvironment(kTestFlashAnswerVariable);
  if (!json) return;
  nativehost::DialogAnswer save;
  nativehost::DialogAnswer question;
  nativehost::DialogAnswer others;
  try {
    nativehost::readScreenshotFields(*json, save);
    const Answer answer = readAnswer(*json);
    save.answer = [answer](QDialog& dialog) { answerSaveDialog(dialog, answer); };
    question.answer = [yes = answer.overwrite](QDialog& dialog) { answerQuestion(dialog, yes); };
    // The dialogs' own accept (Options stores its values) and reject.
    others.answer = [ok = answer.dialogs == "ok"](QDialog& dialog) { ok ? dialog.accept() : dialog.reject(); };
    if (!answer.dialogs.empty()) others.matches = isOptionsOrAbout;
  } catch (const nlohmann::json::exception& error) {
    platform::trace(kWhere, std::string("unreadable answer: ") + error.what());
    return;
  }
  save.matches = isSaveDialog;
  question.matches = isOverwriteQuestion;
  nativehost::answerDialogs(std::move(save));
  nativehost::answerDialogs(std::move(question));
  if (others.matches) nativehost::answerDialogs(std::move(others));
}

}  // namespace velkin::flash::host
