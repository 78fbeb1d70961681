// FlashSaveDialog: lists the movies found, lets the user untick some,
// preview the selected one and pick a folder per movie, and on Save hands
// the ticked ones on as a download list. The rules behind it (rows, targets,
// the preview's address) live in flash/model/flash_download.h.
//
//
// The folder tree is the Flash folder tree widget in folders-only mode:
// choosing a folder there sets the selected row's save path.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "flash/model/flash_download.h"
#include "flash/ui/folder_tree_view.h"
#include "platform/registry.h"

class QCheckBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkin::flash::ui {

class MoviePreview;

enum SaveColumn { kFileNameColumn, kUrlColumn, kSavePathColumn, kSizeColumn, kSaveColumnCount };

class FlashSaveDialog : public QDialog {
  Q_OBJECT

 public:
  // flashFolder: every row's first save path. The folder tree reads its
  // root from registry unless treeOptions names one; it never shows files.
  FlashSaveDialog(const std::vector<SaveRecord>& records, const std::string& flashFolder,
                  platform::Registry& registry, FolderTreeOptions treeOptions = {}, QWidget* parent = nullptr);

  // The ticked rows as download records (what Save hands on).
  std::vector<DownloadRecord> downloadList() const { return flash::downloadList(rows_); }
  const std::vector<SaveRow>& rows() const { return rows_; }

  QTreeWidget* movieList() const { return list_; }
  QCheckBox* previewSwitch() const { return previewSwitch_; }
  QLabel* savePathLabel() const { return savePathLabel_; }
  FolderTreeView* folderTree() const { return folderTree_; }
  MoviePreview* preview() const { return preview_; }

 protected:
  // Selects the first movie once shown, so that the preview plays it.
  void showEvent(QShowEvent* event) override;

 private:
  void fillList();
  void rowChanged(QTreeWidgetItem* item, int column);
  void selectionChanged();
  void folderChosen(const QString& folder);
  int selectedRow() const;

  std::vector<SaveRow> rows_;
  QTreeWidget* list_ = nullptr;
  QCheckBox* previewSwitch_ = nullptr;
  QLabel* savePathLabel_ = nullptr;
  FolderTreeView* folderTree_ = nullptr;
  MoviePreview* preview_ = nullptr;
};

// The whole save: the save dialog, then (on Save) the download dialog with
// its list, both modal on owner and raised over the browser; the Flash
// folder and the tree's root come from registry. True when the download ran.
bool runSaveFlow(const std::vector<SaveRecord>& records, platform::Registry& registry, QWidget* owner);

}  // namespace velkin::flash::ui
