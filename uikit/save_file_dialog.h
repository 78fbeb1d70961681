// SaveFileDialog: asks for the file name of a page being saved and which of
// the user's file types to download with it. The list, its check marks and
// every message come from capture::SaveDialogModel: the list is read from
// "filetype.ini" when the dialog opens and written back after each Add and
// Delete and on Save. Save refuses an unusable name with the model's
// message and stays open; accepted, fileName() ends in a page extension
// and selectedTypes() holds the checked names in list order.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "capture/file_types.h"
#include "uikit/file_type_panel.h"
#include "uikit/prompts.h"

class QAbstractButton;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace velkin::uikit {

// The dialog's form: the main program's by default; captureForm() is the
// capture library's (the same behaviour, other labels and radio buttons).
struct SaveFileForm {
  QString fileNameLabel = QStringLiteral("File name");
  QString instruction;  // shown below the file name when not empty
  FileTypePanelForm list;

  static SaveFileForm captureForm();
};

class SaveFileDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens the define-type dialog on the model; true when a type was added.
  using DefineType = FileTypePanel::DefineType;

  explicit SaveFileDialog(const std::string& proposedName, std::string iniPath = capture::fileTypesPath(),
                          Prompts prompts = {}, QWidget* parent = nullptr, SaveFileForm form = {});

  // Replaces the define-type dialog "Add" opens (tests answer it directly).
  void setDefineType(DefineType defineType) { types_->setDefineType(std::move(defineType)); }

  // After Save: the page's file name and the checked types.
  const std::string& fileName() const { return fileName_; }
  const std::vector<std::string>& selectedTypes() const { return selectedTypes_; }

  const capture::SaveDialogModel& model() const { return model_; }
  QLineEdit* fileNameEdit() const { return fileNameEdit_; }
  QTreeWidget* typeList() const { return types_->typeList(); }
  QAbstractButton* button(const QString& objectName) const;

 public slots:
  void accept() override;  // "Save"

 private:
  QPushButton* addButton(const QString& text, const QString& objectName);

  capture::SaveDialogModel model_;
  Prompts prompts_;
  QLineEdit* fileNameEdit_ = nullptr;
  FileTypePanel* types_ = nullptr;
  std::string fileName_;
  std::vector<std::string> selectedTypes_;
};

}  // namespace velkin::uikit
