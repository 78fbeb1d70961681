#include "app/search_dialog.h"

#include <QButtonGroup>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using velkin::kb::FilterMode;
using velkin::kb::PageFilter;

namespace velkin::app {

std::optional<PageFilter> searchFilter(FilterMode mode, const std::string& text, std::time_t from, std::time_t to) {
  if (mode == FilterMode::Created) return PageFilter::byCreation(from, to);
  if (mode == FilterMode::None || text.empty()) return std::nullopt;
  return PageFilter::byMode(mode, text);
}

}  // namespace velkin::app

namespace {

constexpr FilterMode kModes[] = {FilterMode::FileName, FilterMode::Created, FilterMode::PageUrl,
                                 FilterMode::Keyword};
constexpr char kDateFormat[] = "yyyy-MM-dd HH:mm:ss";

QDateTimeEdit* datePicker(QWidget* parent) {
  auto* picker = new QDateTimeEdit(QDateTime::currentDateTime(), parent);
  picker->setCalendarPopup(true);
  picker->setDisplayFormat(QString::fromLatin1(kDateFormat));
  return picker;
}

}  // namespace

std::size_t CSearchDialog::indexOf(FilterMode mode) {
  for (std::size_t i = 0; i < kModeCount; ++i) {
    if (kModes[i] == mode) return i;
  }
  return 0;
}

CSearchDialog::CSearchDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Search Options"));
  auto* box = new QGroupBox(tr("Search Options"), this);
  const QString texts[kModeCount] = {tr("File name"), tr("Created (Saved) date"), tr("URL"), tr("Keyword")};
  auto* group = new QButtonGroup(this);
  for (std::size_t i = 0; i < kModeCount; ++i) {
    modeButtons_[i] = new QRadioButton(texts[i], box);
    group->addButton(modeButtons_[i]);
    connect(modeButtons_[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) setMode(kModes[i]);
    });
  }
  fileName_ = new QLineEdit(box);
  url_ = new QLineEdit(box);
  keyword_ = new QLineEdit(box);
  from_ = datePicker(box);
  to_ = datePicker(box);

  auto* dates = new QHBoxLayout;
  dates->addWidget(new QLabel(tr("From"), box));
  dates->addWidget(from_, 1);
  dates->addWidget(new QLabel(tr("to"), box));
  dates->addWidget(to_, 1);
  auto* grid = new QGridLayout(box);
  grid->addWidget(modeButtons_[0], 0, 0);
  grid->addWidget(fileName_, 0, 1);
  grid->addWidget(modeButtons_[1], 1, 0);
  grid->addLayout(dates, 1, 1);
  grid->addWidget(modeButtons_[2], 2, 0);
  grid->addWidget(url_, 2, 1);
  grid->addWidget(modeButtons_[3], 3, 0);
  grid->addWidget(keyword_, 3, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSearchDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addWidget(buttons);

  setMode(FilterMode::FileName);
}

QRadioButton* CSearchDialog::modeButton(FilterMode mode) const { return modeButtons_[indexOf(mode)]; }

void CSearchDialog::setMode(FilterMode mode) {
  mode_ = kModes[indexOf(mode)];
  modeButton(mode_)->setChecked(true);
  enableInputs();
}

void CSearchDialog::enableInputs() {
  fileName_->setEnabled(mode_ == FilterMode::FileName);
  from_->setEnabled(mode_ == FilterMode::Created);
  to_->setEnabled(mode_ == FilterMode::Created);
  url_->setEnabled(mode_ == FilterMode::PageUrl);
  keyword_->setEnabled(mode_ == FilterMode::Keyword);
}

void CSearchDialog::accept() {
  const QLineEdit* texts[kModeCount] = {fileName_, nullptr, url_, keyword_};
  const QLineEdit* edit = texts[indexOf(mode_)];
  const std::string text = edit != nullptr ? edit->text().toStdString() : std::string();
  const auto filter = velkin::app::searchFilter(mode_, text, static_cast<std::time_t>(from_->dateTime().toSecsSinceEpoch()),
                                                static_cast<std::time_t>(to_->dateTime().toSecsSinceEpoch()));
  if (!filter) return;  // an empty text: the dialog stays open, no message
  filter_ = *filter;
  QDialog::accept();
}
