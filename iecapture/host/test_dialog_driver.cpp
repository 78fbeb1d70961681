#include "iecapture/host/test_dialog_driver.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "nativehost/test_dialog_watcher.h"
#include "platform/trace.h"

namespace velkin::iecapture::host {
namespace {

constexpr char kWhere[] = "test-dialog";

struct Answer {
  std::string fileName;
  std::string category;
  std::vector<std::string> types;
  bool cancel = false;
};

void checkTypes(QTreeWidget& list, const std::vector<std::string>& types) {
  for (int row = 0; row < list.topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list.topLevelItem(row);
    const bool wanted = std::find(types.begin(), types.end(), item->text(0).toStdString()) != types.end();
    item->setCheckState(0, wanted ? Qt::Checked : Qt::Unchecked);
  }
}

void answerDialog(QDialog& dialog, const Answer& answer) {
  if (answer.cancel) {
    if (auto* cancel = dialog.findChild<QAbstractButton*>(QStringLiteral("cancel"))) cancel->click();
    return;
  }
  if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileName"))) {
    name->setText(QString::fromStdString(answer.fileName));
  }
  if (auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("projectTree"))) {
    // The tree is the library's widget: it is found by Qt's class and name.
    nativehost::selectItemByPath(*tree, answer.category);
  }
  if (auto* types = dialog.findChild<QTreeWidget*>(QStringLiteral("fileTypes"))) checkTypes(*types, answer.types);
  if (auto* save = dialog.findChild<QAbstractButton*>(QStringLiteral("save"))) save->click();
}

Answer readAnswer(const nlohmann::json& json) {
  Answer answer;
  answer.fileName = json.value("fileName", std::string());
  answer.category = json.value("category", std::string());
  answer.types = json.value("types", std::vector<std::string>());
  answer.cancel = json.value("cancel", false);
  return answer;
}

bool isCaptureDialog(QDialog& dialog) { return dialog.findChild<QLineEdit*>(QStringLiteral("fileName")) != nullptr; }

}  // namespace

void startTestDialogDriver() {
  const std::optional<nlohmann::json> json = nativehost::answerFromEnvironment(kTestDialogAnswerVariable);
  if (!json) return;
  nativehost::DialogAnswer watch;
  try {
    nativehost::readScreenshotFields(*json, watch);
    watch.answer = [answer = readAnswer(*json)](QDialog& dialog) { answerDialog(dialog, answer); };
  } catch (const nlohmann::json::exception& error) {
    platform::trace(kWhere, std::string("unreadable answer: ") + error.what());
    return;
  }
  watch.matches = isCaptureDialog;
  nativehost::answerDialogs(std::move(watch));
}

}  // namespace velkin::iecapture::host
