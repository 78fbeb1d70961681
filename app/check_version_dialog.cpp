#include "app/check_version_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/version_check.h"

namespace {

// The text as the edit shows it: CR LF (and a lone CR) as a line break.
QString shownText(const std::string& bytes) {
  QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

CCheckVersionDialog::CCheckVersionDialog(velkin::platform::Registry& registry, QWidget* parent)
    : QDialog(parent), registry_(registry) {
  setWindowTitle(tr("Check new version"));
  auto* label = new QLabel(tr("Version Information"), this);
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName(QStringLiteral("versionText"));
  edit_->setReadOnly(true);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  label->setBuddy(edit_);
  check_ = new QPushButton(tr("Check"), this);
  close_ = new QPushButton(tr("Close"), this);
  check_->setDefault(true);
  connect(check_, &QPushButton::clicked, this, &CCheckVersionDialog::onCheck);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(check_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(edit_, 1);
  layout->addLayout(buttons);
  resize(420, 260);

  append(velkin::app::currentVersionText() + "\r\n");
}

CCheckVersionDialog::~CCheckVersionDialog() { stopWorker(); }

void CCheckVersionDialog::stopWorker() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void CCheckVersionDialog::append(std::string_view bytes) {
  text_.append(bytes);
  edit_->setPlainText(shownText(text_));
  edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum());
}

void CCheckVersionDialog::onCheck() {
  if (checking_) return;
  checking_ = true;
  check_->setEnabled(false);
  append(velkin::app::kCheckingText);
  QTimer::singleShot(kCheckDelayMs, this, &CCheckVersionDialog::startFetch);
}

void CCheckVersionDialog::startFetch() {
  busy_.emplace();
  cancel_ = false;
  const std::string address = velkin::app::noticeAddress(velkin::app::updateServer(registry_));
  worker_ = std::thread([this, address] {
    auto notice = std::make_shared<std::optional<std::string>>(velkin::app::fetchNotice(address, &cancel_));
    // The dialog joins this thread before it goes, so it is alive here; an
    // answer still queued when it goes is dropped with it.
    QMetaObject::invokeMethod(this, [this, notice] { fetchDone(*notice); }, Qt::QueuedConnection);
  });
}

void CCheckVersionDialog::fetchDone(const std::optional<std::string>& notice) {
  // The worker's last step was to send this answer: it is at its end.
  worker_.join();
  append(notice ? *notice : std::string(velkin::app::kCheckFailedText));
  busy_.reset();
  checking_ = false;
  check_->setEnabled(true);
  emit checkFinished();
}
