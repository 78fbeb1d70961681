// FlashSaveDialog: lists the movies found, lets the user untick some,
// preview the selected one and pick a folder per movie, and on Save hands
// the ticked ones on as a download list. The rules behind it (rows, targets,
// the preview's address) live in flash/model/flash_download.h.
//
// The folder tree sits behind SaveFolderChooser: the dialog only needs the
// chosen folder and a signal when it changes. FolderListChooser is a plain
// folders-only view of the Flash folder used until the Flash folder tree
// widget takes its place.
#pragma once

#include <QDialog>
#include <QWidget>
#include <string>
#include <vector>

#include "flash/model/flash_download.h"

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkin::flash::ui {

class MoviePreview;

class SaveFolderChooser : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;
  // The folder now chosen; "" when none is.
  virtual std::string chosenFolder() const = 0;

 signals:
  void folderChosen();
};

// Folders only, no files, no context menu, rooted at the tree's folder.
class FolderListChooser : public SaveFolderChooser {
  Q_OBJECT

 public:
  explicit FolderListChooser(const std::string& root, QWidget* parent = nullptr);
  std::string chosenFolder() const override;
  // Chooses folder (below the root) as a user's click would.
  void choose(const std::string& folder);

 private:
  QFileSystemModel* model_ = nullptr;
  QTreeView* view_ = nullptr;
};

enum SaveColumn { kFileNameColumn, kUrlColumn, kSavePathColumn, kSizeColumn, kSaveColumnCount };

class FlashSaveDialog : public QDialog {
  Q_OBJECT

 public:
  // flashFolder: every row's first save path. chooser: the folder tree (the
  // dialog takes it); nullptr makes a FolderListChooser on treeRoot.
  FlashSaveDialog(const std::vector<SaveRecord>& records, const std::string& flashFolder,
                  const std::string& treeRoot, SaveFolderChooser* chooser = nullptr, QWidget* parent = nullptr);

  // The ticked rows as download records (what Save hands on).
  std::vector<DownloadRecord> downloadList() const { return flash::downloadList(rows_); }
  const std::vector<SaveRow>& rows() const { return rows_; }

  QTreeWidget* movieList() const { return list_; }
  QCheckBox* previewSwitch() const { return previewSwitch_; }
  QLabel* savePathLabel() const { return savePathLabel_; }
  SaveFolderChooser* folderChooser() const { return chooser_; }
  MoviePreview* preview() const { return preview_; }

 private:
  void fillList();
  void rowChanged(QTreeWidgetItem* item, int column);
  void selectionChanged();
  void folderChosen();
  int selectedRow() const;

  std::vector<SaveRow> rows_;
  QTreeWidget* list_ = nullptr;
  QCheckBox* previewSwitch_ = nullptr;
  QLabel* savePathLabel_ = nullptr;
  SaveFolderChooser* chooser_ = nullptr;
  MoviePreview* preview_ = nullptr;
};

// The whole save: the save dialog, then (on Save) the download dialog with
// its list. Both modal on owner. True when the download ran.
bool runSaveFlow(const std::vector<SaveRecord>& records, const std::string& flashFolder, const std::string& treeRoot,
                 QWidget* owner);

}  // namespace velkin::flash::ui
