#include "iecapture/host/test_dialog_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/trace.h"

namespace velkin::iecapture::host {
namespace {

constexpr char kWhere[] = "test-dialog";
constexpr int kPollMs = 50;

struct Answer {
  std::string fileName;
  std::string category;
  std::vector<std::string> types;
  bool cancel = false;
};

// The tree is the library's widget: only Qt's own classes are shared with
// it, so the category is found by the items' texts, one folder at a time
// (expanding a folder lists it).
void selectCategory(QTreeWidget& tree, const std::string& category) {
  QTreeWidgetItem* item = tree.topLevelItem(0);
  const QStringList parts = QString::fromStdString(category).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (const QString& folder : parts) {
    if (item == nullptr) break;
    tree.expandItem(item);
    QTreeWidgetItem* found = nullptr;
    for (int child = 0; child < item->childCount() && found == nullptr; ++child) {
      if (item->child(child)->text(0) == folder) found = item->child(child);
    }
    if (found == nullptr) platform::trace(kWhere, "no category " + category);
    item = found;
  }
  if (item != nullptr) tree.setCurrentItem(item);
}

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
    selectCategory(*tree, answer.category);
  }
  if (auto* types = dialog.findChild<QTreeWidget*>(QStringLiteral("fileTypes"))) checkTypes(*types, answer.types);
  if (auto* save = dialog.findChild<QAbstractButton*>(QStringLiteral("save"))) save->click();
}

bool readAnswer(const char* text, Answer& answer) {
  try {
    const nlohmann::json json = nlohmann::json::parse(text);
    answer.fileName = json.value("fileName", std::string());
    answer.category = json.value("category", std::string());
    answer.types = json.value("types", std::vector<std::string>());
    answer.cancel = json.value("cancel", false);
    return true;
  } catch (const nlohmann::json::exception& error) {
    platform::trace(kWhere, std::string("unreadable answer: ") + error.what());
    return false;
  }
}

}  // namespace

void startTestDialogDriver() {
  const char* text = std::getenv(kTestDialogAnswerVariable);
  Answer answer;
  if (text == nullptr || !readAnswer(text, answer)) return;
  auto* timer = new QTimer(qApp);
  auto answered = std::make_shared<QPointer<QWidget>>();
  QObject::connect(timer, &QTimer::timeout, [answer, answered] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    // Only the capture dialog (it has a file name box), each one once.
    if (dialog == nullptr || dialog == answered->data() ||
        dialog->findChild<QLineEdit*>(QStringLiteral("fileName")) == nullptr) {
      return;
    }
    *answered = dialog;
    answerDialog(*dialog, answer);
  });
  timer->start(kPollMs);
}

}  // namespace velkin::iecapture::host
