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
#include "uikit/prompts.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkin::uikit {

class SaveFileDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens the define-type dialog on the model; true when a type was added.
  using DefineType = std::function<bool(capture::SaveDialogModel& model)>;

  explicit SaveFileDialog(const std::string& proposedName, std::string iniPath = capture::fileTypesPath(),
                          Prompts prompts = {}, QWidget* parent = nullptr);

  // Replaces the define-type dialog "Add" opens (tests answer it directly).
  void setDefineType(DefineType defineType) { defineType_ = std::move(defineType); }

  // After Save: the page's file name and the checked types.
  const std::string& fileName() const { return fileName_; }
  const std::vector<std::string>& selectedTypes() const { return selectedTypes_; }

  const capture::SaveDialogModel& model() const { return model_; }
  QLineEdit* fileNameEdit() const { return fileNameEdit_; }
  QTreeWidget* typeList() const { return typeList_; }
  QPushButton* button(const QString& objectName) const;

 public slots:
  void accept() override;  // "Save"
  void selectAll();
  void unselectAll();
  void addType();
  void deleteType();

 private:
  void fillList();
  void takeCheckMark(QTreeWidgetItem* row, int column);
  QPushButton* addButton(const QString& text, const QString& objectName);

  capture::SaveDialogModel model_;
  Prompts prompts_;
  DefineType defineType_;
  QLineEdit* fileNameEdit_ = nullptr;
  QTreeWidget* typeList_ = nullptr;
  bool filling_ = false;
  std::string fileName_;
  std::vector<std::string> selectedTypes_;
};

}  // namespace velkin::uikit
