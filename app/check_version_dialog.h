// CCheckVersionDialog: "Check new version". It shows the installed version
// and, on Check, fetches the update server's notice (version_check.h) and
// appends it unchanged, or a failure line, below what is shown already:
// every check adds its own status line and answer.
//
// Check appends "Checking lastest version...", waits half a second, shows
// the wait cursor and fetches on a worker thread, so the window keeps
// answering; Check is disabled until the answer is in. Closing or deleting
// the dialog during a fetch ends the fetch (the worker is told to stop and
// joined, which takes at most about a second) and shows nothing more.
// UI thread only.
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/registry.h"
#include "uikit/busy_cursor.h"

class QPlainTextEdit;
class QPushButton;

class CCheckVersionDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kCheckDelayMs = 500;

  explicit CCheckVersionDialog(velkin::platform::Registry& registry, QWidget* parent = nullptr);
  ~CCheckVersionDialog() override;

  QPlainTextEdit* textEdit() const { return edit_; }
  QPushButton* checkButton() const { return check_; }
  QPushButton* closeButton() const { return close_; }
  // The bytes shown, CR LF line ends as written; the edit shows each line
  // end as a line break.
  const std::string& text() const { return text_; }
  bool isChecking() const { return checking_; }

 public slots:
  void onCheck();

 signals:
  void checkFinished();

 private:
  void append(std::string_view bytes);
  void startFetch();
  void fetchDone(const std::optional<std::string>& notice);
  void stopWorker();

  velkin::platform::Registry& registry_;
  QPlainTextEdit* edit_ = nullptr;
  QPushButton* check_ = nullptr;
  QPushButton* close_ = nullptr;
  std::string text_;
  bool checking_ = false;
  std::optional<velkin::uikit::BusyCursor> busy_;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};
