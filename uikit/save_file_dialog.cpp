#include "uikit/save_file_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "uikit/site_link.h"

namespace velkin::uikit {

SaveFileForm SaveFileForm::captureForm() {
  SaveFileForm form;
  form.fileNameLabel = QStringLiteral("File Name");
  form.instruction = QStringLiteral(
      "Please input file name, and select the file's type that you want to download, then click on \"Save\" "
      "button ...");
  form.list.label = QStringLiteral("List of file's type");
  form.list.radioSelection = true;
  return form;
}

SaveFileDialog::SaveFileDialog(const std::string& proposedName, std::string iniPath, Prompts prompts,
                               QWidget* parent, SaveFileForm form)
    : QDialog(parent), model_(std::move(iniPath)), prompts_(std::move(prompts)) {
  setWindowTitle(QString::fromUtf8(capture::kCaptionVelkinWeb));

  fileNameEdit_ = new QLineEdit(QString::fromStdString(proposedName), this);
  fileNameEdit_->setObjectName(QStringLiteral("fileName"));
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel(form.fileNameLabel, this));
  nameRow->addWidget(fileNameEdit_, 1);

  types_ = new FileTypePanel(model_, prompts_, form.list, this);

  QPushButton* save = addButton(tr("Save"), QStringLiteral("save"));
  save->setDefault(true);
  connect(save, &QPushButton::clicked, this, &SaveFileDialog::accept);
  QPushButton* cancel = addButton(tr("Cancel"), QStringLiteral("cancel"));
  connect(cancel, &QPushButton::clicked, this, &SaveFileDialog::reject);
  auto* footer = new QHBoxLayout;
  footer->addWidget(makeSiteLink(this));
  footer->addStretch(1);
  footer->addWidget(save);
  footer->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(nameRow);
  if (!form.instruction.isEmpty()) {
    auto* instruction = new QLabel(form.instruction, this);
    instruction->setWordWrap(true);
    layout->addWidget(instruction);
  }
  layout->addWidget(types_, 1);
  layout->addLayout(footer);

  types_->openList();
  fileNameEdit_->setFocus();
  fileNameEdit_->selectAll();
}

QPushButton* SaveFileDialog::addButton(const QString& text, const QString& objectName) {
  auto* pushButton = new QPushButton(text, this);
  pushButton->setObjectName(objectName);
  pushButton->setAutoDefault(false);
  return pushButton;
}

QAbstractButton* SaveFileDialog::button(const QString& objectName) const {
  return findChild<QAbstractButton*>(objectName);
}

void SaveFileDialog::accept() {
  const auto outcome = model_.save(fileNameEdit_->text().toStdString());
  if (!outcome.accepted) {
    prompts_.information(this, capture::kCaptionVelkinWeb, outcome.message);
    fileNameEdit_->setFocus();
    return;
  }
  fileName_ = outcome.fileName;
  selectedTypes_ = outcome.selectedTypes;
  QDialog::accept();
}

}  // namespace velkin::uikit
