#include "uikit/tip_dialog.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::uikit {
namespace {

constexpr char kStartUpValue[] = "StartUp";
constexpr char kFilePosValue[] = "FilePos";
constexpr char kTimeStampValue[] = "TimeStamp";

std::optional<std::uint32_t> modificationTime(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return static_cast<std::uint32_t>(status.st_mtime);
}

bool isTipLine(std::string_view line) { return !line.empty() && line[0] != ';'; }

// The first tip line starting at or after offset: its text and the offset
// of the line after it. nullopt when no tip follows offset.
std::optional<std::pair<std::string, std::size_t>> tipFrom(const std::string& text, std::size_t offset) {
  while (offset < text.size()) {
    std::size_t end = text.find('\n', offset);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + offset, end - offset);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t next = end < text.size() ? end + 1 : end;
    if (isTipLine(line)) return std::make_pair(std::string(line), next);
    offset = next;
  }
  return std::nullopt;
}

}  // namespace

TipStore::TipStore(platform::Registry& registry, std::string sectionKey, std::string tipsFile)
    : registry_(registry), sectionKey_(std::move(sectionKey)), tipsFile_(std::move(tipsFile)) {}

bool TipStore::showAtStartUp() const {
  const auto value = registry_.readDword(platform::RegistryRoot::User, sectionKey_, kStartUpValue);
  return !value || *value != 0;
}

void TipStore::setShowAtStartUp(bool on) {
  if (!registry_.writeDword(platform::RegistryRoot::User, sectionKey_, kStartUpValue, on ? 1 : 0)) {
    platform::trace("tip of the day", "cannot store StartUp");
  }
}

std::optional<std::string> TipStore::nextTip() {
  error_.clear();
  const auto text = platform::readFile(tipsFile_);
  if (!text) {
    error_ = platform::formatMessage(kTipsFileMissing, tipsFile_);
    return std::nullopt;
  }
  const auto root = platform::RegistryRoot::User;
  const std::uint32_t stamp = modificationTime(tipsFile_).value_or(0);
  std::size_t offset = 0;
  if (registry_.readDword(root, sectionKey_, kTimeStampValue) == stamp) {
    offset = registry_.readDword(root, sectionKey_, kFilePosValue).value_or(0);
  }
  auto tip = tipFrom(*text, offset <= text->size() ? offset : 0);
  if (!tip && offset != 0) tip = tipFrom(*text, 0);
  if (!tip) {
    error_ = platform::formatMessage(kTipsFileEmpty, tipsFile_);
    return std::nullopt;
  }
  const bool stored = registry_.writeDword(root, sectionKey_, kTimeStampValue, stamp) &&
                      registry_.writeDword(root, sectionKey_, kFilePosValue, static_cast<std::uint32_t>(tip->second));
  if (!stored) platform::trace("tip of the day", "cannot store the file position");
  return tip->first;
}

CTipDialog::CTipDialog(platform::Registry& registry, const std::string& sectionKey, const std::string& tipsFile,
                       QWidget* parent)
    : QDialog(parent), store_(registry, sectionKey, tipsFile) {
  setWindowTitle(tr("Tip of the Day"));
  auto* bulb = new QLabel(this);
  bulb->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  bulb->setAlignment(Qt::AlignTop);
  auto* heading = new QLabel(tr("Did you know..."), this);
  QFont headingFont = heading->font();
  headingFont.setBold(true);
  headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
  heading->setFont(headingFont);
  tipLabel_ = new QLabel(this);
  tipLabel_->setObjectName(QStringLiteral("tipText"));
  tipLabel_->setTextFormat(Qt::PlainText);
  tipLabel_->setWordWrap(true);
  tipLabel_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  tipLabel_->setMinimumSize(320, 90);
  startUpBox_ = new QCheckBox(tr("Show tips on StartUp"), this);
  startUpBox_->setChecked(store_.showAtStartUp());

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* next = buttons->addButton(tr("Next Tip"), QDialogButtonBox::ActionRole);
  buttons->addButton(tr("Close"), QDialogButtonBox::AcceptRole);
  connect(next, &QPushButton::clicked, this, &CTipDialog::showNextTip);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(heading);
  text->addWidget(tipLabel_, 1);
  auto* top = new QHBoxLayout;
  top->addWidget(bulb);
  top->addLayout(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(startUpBox_);
  layout->addWidget(buttons);
  showNextTip();
}

QString CTipDialog::tipText() const { return tipLabel_->text(); }

void CTipDialog::showNextTip() {
  const auto tip = store_.nextTip();
  tipLabel_->setText(QString::fromStdString(tip ? *tip : store_.error()));
}

void CTipDialog::done(int result) {
  store_.setShowAtStartUp(startUpBox_->isChecked());
  QDialog::done(result);
}

}  // namespace velkin::uikit
