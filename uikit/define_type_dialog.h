// DefineTypeDialog: asks for a new file type ("File type" and a multi-line
// "Description") for the save dialog's list. OK hands both to the list's
// rules (SaveDialogModel::addType); a refused type shows the rule's message
// and the dialog stays open with the focus back in the type box. Accepted
// means the type was appended and the list saved.
#pragma once

#include <QDialog>

#include "capture/file_types.h"
#include "uikit/prompts.h"

class QLineEdit;
class QPlainTextEdit;

namespace velkin::uikit {

class DefineTypeDialog : public QDialog {
  Q_OBJECT

 public:
  DefineTypeDialog(capture::SaveDialogModel& model, Prompts prompts, QWidget* parent = nullptr);

  QLineEdit* typeEdit() const { return typeEdit_; }
  QPlainTextEdit* descriptionEdit() const { return descriptionEdit_; }

 public slots:
  void accept() override;

 private:
  capture::SaveDialogModel& model_;
  Prompts prompts_;
  QLineEdit* typeEdit_ = nullptr;
  QPlainTextEdit* descriptionEdit_ = nullptr;
};

}  // namespace velkin::uikit
