#include "uikit/download_progress_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace velkin::uikit {

DownloadProgressDialog::DownloadProgressDialog(capture::DownloadRun& download, QWidget* parent,
                                               const QString& caption)
    : QDialog(parent), download_(download) {
  setWindowTitle(caption.isEmpty() ? tr("Download Progress") : caption);
  fromTo_ = new QLabel(this);
  fromTo_->setObjectName(QStringLiteral("fromTo"));
  fromTo_->setTextFormat(Qt::PlainText);
  fromTo_->setWordWrap(true);
  fromTo_->setMinimumWidth(360);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, download_.range());
  progress_->setValue(0);
  cancel_ = new QPushButton(tr("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  connect(cancel_, &QPushButton::clicked, this, &DownloadProgressDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Downloading..."), this));
  layout->addWidget(fromTo_);
  layout->addWidget(progress_);
  layout->addLayout(buttons);
}

DownloadProgressDialog::~DownloadProgressDialog() {
  download_.cancel();
  if (worker_.joinable()) worker_.join();
}

size_t DownloadProgressDialog::run() {
  exec();
  return filesWritten_;
}

void DownloadProgressDialog::reject() { download_.cancel(); }

void DownloadProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  QTimer::singleShot(kStartDelayMs, this, &DownloadProgressDialog::startWorker);
}

void DownloadProgressDialog::startWorker() {
  worker_ = std::thread([this] {
    const size_t files = download_.run([this](const capture::DownloadProgress& progress) {
      QMetaObject::invokeMethod(this, [this, progress] { showProgress(progress); }, Qt::QueuedConnection);
    });
    QMetaObject::invokeMethod(
        this,
        [this, files] {
          filesWritten_ = files;
          workerEnded();
        },
        Qt::QueuedConnection);
  });
}

void DownloadProgressDialog::showProgress(const capture::DownloadProgress& progress) {
  fromTo_->setText(QString::fromStdString(progress.text));
  progress_->setValue(progress.position);
}

void DownloadProgressDialog::workerEnded() {
  if (worker_.joinable()) worker_.join();
  QDialog::done(QDialog::Rejected);
}

}  // namespace velkin::uikit
