#include "iecapture/host/test_dialog_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/trace.h"

namespace velkin::iecapture::host {
namespace {

constexpr char kWhere[] = "test-dialog";
constexpr int kScreenshotDelayMs = 1000;

struct Answer {
  std::string fileName;
  std::string category;
  std::vector<std::string> types;
  bool cancel = false;
  std::string screenshot;  // a PNG of the whole screen, taken before answering
  std::string timesLog;    // "shown MS" and "answered MS" lines, wall-clock milliseconds
};

// Milliseconds since the epoch, comparable with other processes' clocks.
long long wallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void logTime(const std::string& logPath, const char* event) {
  if (logPath.empty()) return;
  std::ofstream log(logPath, std::ios::app);
  log << event << ' ' << wallClockMs() << '\n';
}

void saveScreen(const std::string& path) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr || !screen->grabWindow(0).save(QString::fromStdString(path), "PNG")) {
    platform::trace(kWhere, "cannot save a screenshot to " + path);
  }
}

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
    answer.screenshot = json.value("screenshot", std::string());
    answer.timesLog = json.value("timesLog", std::string());
    return true;
  } catch (const nlohmann::json::exception& error) {
    platform::trace(kWhere, std::string("unreadable answer: ") + error.what());
    return false;
  }
}

bool isCaptureDialog(QObject* object) {
  auto* dialog = qobject_cast<QDialog*>(object);
  return dialog != nullptr && dialog->findChild<QLineEdit*>(QStringLiteral("fileName")) != nullptr;
}

// Answers each capture dialog once, as soon as it is shown (after the
// screenshot, which waits for the dialog and the screen to be painted).
class DialogWatcher : public QObject {
 public:
  explicit DialogWatcher(Answer answer) : QObject(qApp), answer_(std::move(answer)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || !isCaptureDialog(watched) || answered_.contains(watched)) return false;
    logTime(answer_.timesLog, "shown");
    answered_.insert(watched);
    QPointer<QDialog> dialog(static_cast<QDialog*>(watched));
    QTimer::singleShot(answer_.screenshot.empty() ? 0 : kScreenshotDelayMs, this, [this, dialog] {
      if (dialog.isNull()) return;
      if (!answer_.screenshot.empty()) saveScreen(answer_.screenshot);
      logTime(answer_.timesLog, "answered");
      answerDialog(*dialog, answer_);
    });
    return false;
  }

 private:
  Answer answer_;
  QSet<QObject*> answered_;
};

}  // namespace

void startTestDialogDriver() {
  const char* text = std::getenv(kTestDialogAnswerVariable);
  Answer answer;
  if (text == nullptr || !readAnswer(text, answer)) return;
  qApp->installEventFilter(new DialogWatcher(std::move(answer)));
}

}  // namespace velkin::iecapture::host
