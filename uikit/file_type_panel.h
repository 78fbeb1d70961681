// FileTypePanel: the user's file types as a list with check boxes and the
// buttons that change it (check all, uncheck all, Add, Delete), over a
// capture::SaveDialogModel that holds the rules and writes "filetype.ini".
// The main program's save dialog and the capture library's dialogs show it
// in their own form: the label, the column widths, and push or radio
// buttons for checking all.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "capture/file_types.h"
#include "uikit/prompts.h"

class QAbstractButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkin::uikit {

struct FileTypePanelForm {
  QString label = QStringLiteral("Select file type");
  int nameWidth = 50;
  int descriptionWidth = 150;
  // Radio buttons "Select All" and "Deselect All" in place of the push
  // buttons "Select All" and "Unselect".
  bool radioSelection = false;
};

class FileTypePanel : public QWidget {
  Q_OBJECT

 public:
  // Opens the define-type dialog on the model; true when a type was added.
  using DefineType = std::function<bool(capture::SaveDialogModel& model)>;

  FileTypePanel(capture::SaveDialogModel& model, Prompts prompts, FileTypePanelForm form, QWidget* parent);

  // Replaces the define-type dialog "Add" opens (tests answer it directly).
  void setDefineType(DefineType defineType) { defineType_ = std::move(defineType); }
  QTreeWidget* typeList() const { return typeList_; }
  // Reads the list from the file and shows it. A file that could not be
  // read (too large) is left alone and said so once the window shows.
  void openList();
  // Shows the model's list again.
  void fillList();

 public slots:
  void selectAll();
  void unselectAll();
  void addType();
  void deleteType();

 private:
  void takeCheckMark(QTreeWidgetItem* row, int column);
  QAbstractButton* addButton(const QString& text, const QString& objectName, bool radio);

  capture::SaveDialogModel& model_;
  Prompts prompts_;
  DefineType defineType_;
  QTreeWidget* typeList_ = nullptr;
  bool filling_ = false;
};

}  // namespace velkin::uikit
