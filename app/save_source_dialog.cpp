#include "app/save_source_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "kb/messages.h"

CKestrovaView::SaveAnswer askSaveSource(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("saveSourceDialog"));
  dialog.setWindowTitle(QString::fromLatin1(velkin::kb::kCaptionKestrova));
  auto* question = new QLabel(QStringLiteral("The document don't be saved, Do you save or no?"), &dialog);
  auto* explanation =
      new QLabel(QStringLiteral("If you press Yes and will save the modified document,  otherwise press No."), &dialog);
  auto* doNotAsk = new QCheckBox(QStringLiteral("Do not prompt again"), &dialog);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(question);
  layout->addWidget(explanation);
  layout->addWidget(doNotAsk);
  layout->addWidget(buttons);
  CKestrovaView::SaveAnswer answer;
  answer.save = dialog.exec() == QDialog::Accepted;
  answer.doNotAskAgain = doNotAsk->isChecked();
  return answer;
}
