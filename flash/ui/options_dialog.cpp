#include "flash/ui/options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "flash/model/messages.h"
#include "uikit/dialog_header.h"

namespace velkin::flash::ui {
namespace {

std::optional<QString> desktopFolderChooser(QWidget* parent, const QString& current) {
  const QString folder = QFileDialog::getExistingDirectory(parent, current, current);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

}  // namespace

OptionsDialog::OptionsDialog(platform::Registry& registry, Seams seams, QWidget* parent)
    : QDialog(parent), registry_(registry), seams_(std::move(seams)) {
  setWindowTitle(tr("Options"));
  setObjectName(QStringLiteral("flashOptionsDialog"));
  if (!seams_.chooseFolder) seams_.chooseFolder = desktopFolderChooser;
  const FlashOptions options = readFlashOptions(registry_);

  toolbar_ = new QCheckBox(QString::fromLatin1(kToolbarBoxText), this);
  toolbar_->setChecked(options.showToolbar);
  menu_ = new QCheckBox(QString::fromLatin1(kMenuBoxText), this);
  menu_->setChecked(options.showMenu);
  connect(toolbar_, &QCheckBox::clicked, this, [this] { boxClicked(OptionBox::Toolbar); });
  connect(menu_, &QCheckBox::clicked, this, [this] { boxClicked(OptionBox::Menu); });

  auto* folderLabel = new QLabel(QString::fromLatin1(kFolderLabelText), this);
  folder_ = new QLineEdit(QString::fromStdString(options.saveFolder), this);
  folderLabel->setBuddy(folder_);
  browse_ = new QPushButton(tr("Browse..."), this);
  connect(browse_, &QPushButton::clicked, this, &OptionsDialog::browse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(browse_);
  auto* body = new QVBoxLayout;
  body->addWidget(toolbar_);
  body->addWidget(menu_);
  body->addSpacing(8);
  body->addWidget(folderLabel);
  body->addLayout(folderRow);
  uikit::layOutWithHeader(this, QString::fromLatin1(kCaptionFlash), tr("Options"), body, buttons);
}

FlashOptions OptionsDialog::shownOptions() const {
  return FlashOptions{toolbar_->isChecked(), menu_->isChecked(), folder_->text().toStdString()};
}

void OptionsDialog::boxClicked(OptionBox clicked) {
  FlashOptions options = shownOptions();
  if (!keepOneOptionOn(options, clicked)) return;
  seams_.prompts.information(this, "", kChooseOneOptionMessage);
  toolbar_->setChecked(options.showToolbar);
  menu_->setChecked(options.showMenu);
}

void OptionsDialog::browse() {
  if (const auto folder = seams_.chooseFolder(this, folder_->text())) folder_->setText(*folder);
}

void OptionsDialog::accept() {
  const std::string error = writeFlashOptions(registry_, shownOptions());
  if (!error.empty()) {
    seams_.prompts.information(this, kCaptionFlash, error);
    return;
  }
  QDialog::accept();
}

}  // namespace velkin::flash::ui
