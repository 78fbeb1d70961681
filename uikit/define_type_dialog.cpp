#include "uikit/define_type_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace velkin::uikit {

DefineTypeDialog::DefineTypeDialog(capture::SaveDialogModel& model, Prompts prompts, QWidget* parent)
    : QDialog(parent), model_(model), prompts_(std::move(prompts)) {
  setWindowTitle(QString::fromUtf8(capture::kDefineFileTypeCaption));
  typeEdit_ = new QLineEdit(this);
  typeEdit_->setObjectName(QStringLiteral("fileType"));
  descriptionEdit_ = new QPlainTextEdit(this);
  descriptionEdit_->setObjectName(QStringLiteral("description"));
  descriptionEdit_->setTabChangesFocus(true);

  auto* form = new QFormLayout;
  form->addRow(tr("File type"), typeEdit_);
  form->addRow(tr("Description"), descriptionEdit_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &DefineTypeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &DefineTypeDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  typeEdit_->setFocus();
}

void DefineTypeDialog::accept() {
  const std::string message = model_.addType(typeEdit_->text().toStdString(),
                                             descriptionEdit_->toPlainText().toStdString());
  if (!message.empty()) {
    prompts_.information(this, capture::kCaptionVelkinWeb, message);
    typeEdit_->setFocus();
    typeEdit_->selectAll();
    return;
  }
  QDialog::accept();
}

}  // namespace velkin::uikit
