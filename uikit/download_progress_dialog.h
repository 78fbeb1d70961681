// DownloadProgressDialog: fetches a capture's resources behind a modal
// progress dialog. 100 ms after it is shown, a worker thread runs the
// caller's download (capture::DownloadRun, which must outlive the dialog): one entry after another, each announced
// as "from <address> to <local path>", the bar moving 50 per entry. Cancel
// (and Escape, or closing the window) only asks the run to stop before its
// next entry; the dialog closes itself when the worker has finished, so
// run() returns once every entry is done or the run was cancelled. Progress
// reaches the dialog through queued calls on the user interface thread.
#pragma once

#include <QDialog>
#include <thread>

#include "capture/download_run.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velkin::uikit {

class DownloadProgressDialog : public QDialog {
  Q_OBJECT

 public:
  // The worker starts on the first turn of the dialog's event loop, once
  // the dialog is up: a fixed pause would only make small pages slow.
  static constexpr int kStartDelayMs = 0;

  // caption: the window title; empty for the main program's "Download Progress".
  explicit DownloadProgressDialog(capture::DownloadRun& download, QWidget* parent = nullptr,
                                  const QString& caption = QString());
  // Asks a running worker to stop and waits for it.
  ~DownloadProgressDialog() override;

  // Shows the dialog modally until the worker ends; the number of entries
  // that ended with their local file.
  size_t run();

  capture::DownloadRun& download() { return download_; }
  // The files written by the run (after run()).
  size_t filesWritten() const { return filesWritten_; }
  QLabel* fromToLabel() const { return fromTo_; }
  QProgressBar* progressBar() const { return progress_; }
  QPushButton* cancelButton() const { return cancel_; }

 public slots:
  void reject() override;  // Cancel: the worker stops before its next entry

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void startWorker();
  void showProgress(const capture::DownloadProgress& progress);
  void workerEnded();

  capture::DownloadRun& download_;
  std::thread worker_;
  bool started_ = false;
  size_t filesWritten_ = 0;
  QLabel* fromTo_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace velkin::uikit
