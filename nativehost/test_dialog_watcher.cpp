#include "nativehost/test_dialog_watcher.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "platform/trace.h"

namespace velkin::nativehost {
namespace {

constexpr char kWhere[] = "test-dialog";

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

class DialogWatcher : public QObject {
 public:
  explicit DialogWatcher(DialogAnswer answer) : QObject(qApp), answer_(std::move(answer)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || answered_.contains(watched)) return false;
    auto* shown = qobject_cast<QDialog*>(watched);
    if (shown == nullptr || !answer_.matches(*shown)) return false;
    logTime(answer_.timesLog, "shown");
    // A later dialog may take a closed one's address: forget it once gone.
    answered_.insert(watched);
    connect(watched, &QObject::destroyed, this, [this](QObject* gone) { answered_.remove(gone); });
    QPointer<QDialog> dialog(shown);
    const bool screenshot = !answer_.screenshot.empty();
    QTimer::singleShot(screenshot ? answer_.screenshotDelayMs : 0, this, [this, dialog, screenshot] {
      if (dialog.isNull()) return;
      if (screenshot) saveScreen(answer_.screenshot);
      logTime(answer_.timesLog, "answered");
      answer_.answer(*dialog);
    });
    return false;
  }

 private:
  DialogAnswer answer_;
  QSet<QObject*> answered_;
};

}  // namespace

std::optional<nlohmann::json> answerFromEnvironment(const char* variable) {
  const char* text = std::getenv(variable);
  if (text == nullptr) return std::nullopt;
  try {
    nlohmann::json json = nlohmann::json::parse(text);
    if (json.is_object()) return json;
    platform::trace(kWhere, std::string(variable) + " is not a JSON object");
  } catch (const nlohmann::json::exception& error) {
    platform::trace(kWhere, std::string("unreadable answer: ") + error.what());
  }
  return std::nullopt;
}

void readScreenshotFields(const nlohmann::json& json, DialogAnswer& answer) {
  answer.screenshot = json.value("screenshot", std::string());
  answer.timesLog = json.value("timesLog", std::string());
  answer.screenshotDelayMs = json.value("screenshotDelayMs", answer.screenshotDelayMs);
}

void answerDialogs(DialogAnswer answer) { qApp->installEventFilter(new DialogWatcher(std::move(answer))); }

bool selectItemByPath(QTreeWidget& tree, const std::string& path) {
  QTreeWidgetItem* item = tree.topLevelItem(0);
  const QStringList parts = QString::fromStdString(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (const QString& text : parts) {
    if (item == nullptr) break;
    tree.expandItem(item);
    QTreeWidgetItem* found = nullptr;
    for (int child = 0; child < item->childCount() && found == nullptr; ++child) {
      if (item->child(child)->text(0) == text) found = item->child(child);
    }
    item = found;
  }
  if (item == nullptr) {
    platform::trace(kWhere, "no item " + path);
    return false;
  }
  tree.setCurrentItem(item);
  return true;
}

}  // namespace velkin::nativehost
