#include "flash/ui/download_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "flash/model/messages.h"
#include "platform/text.h"
#include "uikit/dialog_header.h"
#include "uikit/message_box.h"
#include "uikit/site_link.h"

namespace velkin::flash::ui {

namespace {

QLabel* textLine(QWidget* parent) {
  auto* line = new QLabel(parent);
  line->setTextFormat(Qt::PlainText);
  line->setMinimumWidth(420);
  return line;
}

}  // namespace

FlashDownloadDialog::FlashDownloadDialog(std::vector<DownloadRecord> records, const std::string& flashFolder,
                                         QWidget* parent)
    : QDialog(parent), download_(std::move(records), flashFolder) {
  setWindowTitle(kDownloadTitle);
  question_ = [](QWidget* owner, const std::string& text) { return uikit::askYesNo(owner, kCaptionFlash, text); };
  notice_ = [](QWidget* owner, const std::string& text) { uikit::showInformation(owner, kCaptionFlash, text); };
  targetLine_ = textLine(this);
  sourceLine_ = textLine(this);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, kRange);
  progress_->setTextVisible(false);
  cancel_ = new QPushButton(tr("Cancel"), this);
  connect(cancel_, &QPushButton::clicked, this, &FlashDownloadDialog::reject);
  timer_ = new QTimer(this);
  timer_->setInterval(kTickMs);
  connect(timer_, &QTimer::timeout, this, &FlashDownloadDialog::tick);

  auto* body = new QVBoxLayout;
  body->addWidget(targetLine_);
  body->addWidget(sourceLine_);
  body->addWidget(progress_);
  uikit::layOutWithHeader(this, QString::fromLatin1(kCaptionFlash), tr("Download"), body,
                          uikit::makeLinkAndButtons(cancel_, this));
}

FlashDownloadDialog::~FlashDownloadDialog() {
  download_.cancel();
  if (worker_.joinable()) worker_.join();
}

int FlashDownloadDialog::run() { return exec(); }

void FlashDownloadDialog::reject() {
  timer_->stop();
  download_.cancel();
}

void FlashDownloadDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  QTimer::singleShot(0, this, &FlashDownloadDialog::startWorker);
}

void FlashDownloadDialog::startWorker() {
  animating_ = true;
  timer_->start();
  worker_ = std::thread([this] {
    FlashDownload::Hooks hooks;
    hooks.started = [this](size_t, const DownloadRecord& record) {
      QMetaObject::invokeMethod(this, [this, record] { showRecord(record); }, Qt::QueuedConnection);
    };
    // The worker waits for the answer: the dialog's thread shows the question.
    hooks.overwrite = [this](const std::string& target) {
      bool yes = false;
      QMetaObject::invokeMethod(this, [this, &target, &yes] { yes = askOverwrite(target); },
                                Qt::BlockingQueuedConnection);
      return yes;
    };
    std::vector<DownloadResult> results = download_.run(hooks);
    QMetaObject::invokeMethod(
        this, [this, results = std::move(results)]() mutable { workerEnded(std::move(results)); },
        Qt::QueuedConnection);
  });
}

void FlashDownloadDialog::showRecord(const DownloadRecord& record) {
  targetLine_->setText(QString::fromStdString(platform::formatMessage(kDownloadingText, record.target)));
  sourceLine_->setText(QString::fromStdString(platform::formatMessage(kFromText, record.source)));
}

bool FlashDownloadDialog::askOverwrite(const std::string& target) {
  animating_ = false;
  const bool yes = question_(this, platform::formatMessage(kOverwriteQuestion, target));
  animating_ = true;
  return yes;
}

void FlashDownloadDialog::tick() {
  for (int step = 0; step < kStepsPerTick && animating_ && !download_.cancelled(); ++step) {
    const int next = progress_->value() + kStep;
    progress_->setValue(next > kRange ? 0 : next);
  }
}

void FlashDownloadDialog::workerEnded(std::vector<DownloadResult> results) {
  if (worker_.joinable()) worker_.join();
  animating_ = false;
  timer_->stop();
  results_ = std::move(results);
  const std::string notSaved = notSavedText(download_.records(), results_);
  if (!notSaved.empty()) notice_(this, notSaved);
  QDialog::done(download_.cancelled() ? QDialog::Rejected : QDialog::Accepted);
}

}  // namespace velkin::flash::ui
