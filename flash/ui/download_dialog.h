// FlashDownloadDialog: writes a download list's movies one after another on
// a worker thread (flash/model's FlashDownload) behind a small modal dialog:
// "Downloading <target>", "from <source>", a bar that moves while a file is
// being worked on (activity, not the real progress) and Cancel. Cancel stops
// the run after the current file; the dialog closes itself when the worker
// ends. When a target exists the worker asks, on the dialog's thread, whether
// to overwrite it, and waits for the answer. Movies refused or failed are
// listed once the run is over.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "flash/model/flash_download.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace velkin::flash::ui {

class FlashDownloadDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kRange = 3000;
  static constexpr int kTickMs = 200;
  static constexpr int kStepsPerTick = 30;
  static constexpr int kStep = 10;

  // A Yes/No question with the Flash caption; true for Yes.
  using Question = std::function<bool(QWidget* owner, const std::string& text)>;
  // A message shown when the run is over.
  using Notice = std::function<void(QWidget* owner, const std::string& text)>;

  FlashDownloadDialog(std::vector<DownloadRecord> records, const std::string& flashFolder, QWidget* parent = nullptr);
  // Asks a running worker to stop and waits for it.
  ~FlashDownloadDialog() override;

  // Replace the message boxes (tests answer without a window).
  void setQuestion(Question question) { question_ = std::move(question); }
  void setNotice(Notice notice) { notice_ = std::move(notice); }

  // Shows the dialog modally until the worker ends; QDialog::Accepted when
  // the list was worked through, Rejected when it was cancelled.
  int run();

  FlashDownload& download() { return download_; }
  const std::vector<DownloadResult>& results() const { return results_; }
  QLabel* targetLine() const { return targetLine_; }
  QLabel* sourceLine() const { return sourceLine_; }
  QProgressBar* progressBar() const { return progress_; }
  QPushButton* cancelButton() const { return cancel_; }

 public slots:
  void reject() override;  // Cancel: the worker stops after the current file

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void startWorker();
  void showRecord(const DownloadRecord& record);
  bool askOverwrite(const std::string& target);
  void tick();
  void workerEnded(std::vector<DownloadResult> results);

  FlashDownload download_;
  Question question_;
  Notice notice_;
  std::thread worker_;
  bool started_ = false;
  std::atomic<bool> animating_{false};
  std::vector<DownloadResult> results_;
  QLabel* targetLine_ = nullptr;
  QLabel* sourceLine_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace velkin::flash::ui
