// FolderTreeView: the Flash folder tree (flash/model/folder_tree.h) as a Qt
// tree widget. It mirrors the model's items (root "Flash", folders, movies),
// lists a folder when it is first expanded, refreshes on the root folder's
// watcher, and offers New Folder, Rename (label editing, with the model's
// messages for a refused name), Delete (to the Trash) and Refresh, with the
// folder bar's Save, Options, Help and About, in its context menu. In
// folders-only mode (the save dialog's folder chooser) it lists no movies
// and offers no menu. UI thread only.
//
// Selecting a movie asks the owner to play it (playMovie); Save asks the
// owner to save the movies of its page (saveRequested). Options, Help and
// About run through Seams, which default to the Flash dialogs.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "flash/model/folder_tree.h"
#include "platform/registry.h"
#include "uikit/prompts.h"
#include "uikit/tree_mirror_view.h"

class QMenu;

namespace velkin::flash::ui {

struct FolderTreeOptions {
  std::optional<std::string> rootFolder;  // this folder instead of SavePath
  bool showFiles = true;                  // off: folders only, no menu
  bool watch = true;                      // refresh on changes of the root folder
};

class FolderTreeView : public uikit::TreeMirrorView {
  Q_OBJECT

 public:
  using Options = FolderTreeOptions;
  struct Seams {
    uikit::Prompts prompts;
    std::function<bool(QWidget* parent)> runOptions;  // true for OK
    std::function<void(QWidget* parent)> openHelp;
    std::function<void(QWidget* parent)> showAbout;
  };

  // The commands' names, which are also the menu actions' object names.
  static constexpr char kNewFolder[] = "newFolder";
  static constexpr char kSave[] = "save";
  static constexpr char kOptions[] = "options";
  static constexpr char kRename[] = "rename";
  static constexpr char kDelete[] = "delete";
  static constexpr char kRefresh[] = "refresh";
  static constexpr char kHelp[] = "help";
  static constexpr char kAbout[] = "about";

  explicit FolderTreeView(platform::Registry& registry, Options options = {}, QWidget* parent = nullptr);
  ~FolderTreeView() override;  // stops the watcher

  FolderTree& model() { return *model_; }
  // Replaces the seams that are set in seams; unset ones keep their defaults.
  void setViewSeams(Seams seams);

  // The selected item's full path and folder ("" when none is selected).
  QString selectedPath() const;
  QString selectedFolder() const;

  void newFolder();
  void renameSelected();
  void deleteSelected();
  void refresh();
  void options();

  // The context menu for a click on hit (nullptr: on no item), with the
  // commands that apply enabled; nullptr in folders-only mode.
  std::unique_ptr<QMenu> createContextMenu(kb::TreeItem* hit);

 signals:
  void playMovie(const QString& path);
  void selectedFolderChanged(const QString& folder);
  void saveRequested();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // TreeMirrorView
  void expandInModel(kb::TreeItem* item) override { model_->expand(item); }
  void selectInModel(kb::TreeItem* item) override { model_->select(item); }
  kb::RenameStatus renameInModel(kb::TreeItem* item, const std::string& text, kb::TreeOutcome* outcome) override {
    return model_->rename(item, text, outcome);
  }
  void showRefusal(const std::string& message) override { inform(message); }
  void selectionChanged(kb::TreeItem* item) override;

  void setDefaultSeams();
  void inform(const std::string& text);
  void tellFailure(const kb::TreeOutcome& outcome);

  platform::Registry& registry_;
  Seams seams_;
  std::unique_ptr<FolderTree> model_;
};

}  // namespace velkin::flash::ui
