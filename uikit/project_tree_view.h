// ProjectTreeView: the project tree as a Qt tree widget over the toolkit-free
// model kb::ProjectTree, shared by the main program and the capture dialog.
// It mirrors the model's items (kinds and icons), restores the selection the
// model read from SelectedFolder (the model writes it back when the view
// goes), refreshes on the book directory watcher, moves items dragged inside
// it, copies files dropped from outside and captures dropped HTML or text
// into the category under the drop point. A click on the selected page asks
// the owner to show it through openPage; an owner without a page viewer
// leaves the signal unconnected. UI thread only.
//
// It is a TreeMirrorView: the mirroring, label editing and the wait of a
// watcher Refresh during an edit live there. Commands that open a modal dialog remember the path of the item they
// act on and find the item again afterwards, so a Refresh meanwhile cannot
// leave them with an item that is gone.
//
// The view shows no context menu; an owner that offers commands derives from
// it. What it asks of its surroundings (message boxes, the save and download
// dialogs of a drop capture) goes through Seams, which default to uikit's
// dialogs; owners and tests replace them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "capture/document_capture.h"
#include "kb/messages.h"
#include "kb/project_tree.h"
#include "platform/registry.h"
#include "uikit/prompts.h"
#include "uikit/tree_drop.h"
#include "uikit/tree_mirror_view.h"

class QMimeData;

namespace velkin::uikit {

// How an owner dresses the view.
struct ProjectTreeOptions {
  std::string rootText = kb::kRootText;        // the root item's text
  const char* caption = kb::kCaptionKestrova;  // the caption of the view's messages
  bool remembersSelection = true;              // kb::ProjectTree::Options::remembersSelection
};

class ProjectTreeView : public TreeMirrorView {
  Q_OBJECT

 public:
  struct Seams {
    Prompts prompts;
    // The save dialog, with the proposed file name; nullopt for Cancel.
    std::function<std::optional<capture::SaveAsChoice>(const std::string& proposedName)> askSaveAs;
    // Runs a capture's download (the progress dialog) and returns when it is over.
    capture::DownloadHook download;
  };

  using Options = ProjectTreeOptions;

  static constexpr int kHoverExpandMs = 2000;
  // The mime type of a drag of an item inside the tree.
  static constexpr char kMoveFormat[] = "application/x-velkin-tree-item";

  explicit ProjectTreeView(platform::Registry& registry, Options options = {}, QWidget* parent = nullptr);
  // The model writes SelectedFolder and stops its watcher.
  ~ProjectTreeView() override;

  kb::ProjectTree& model() { return *model_; }

  // Replaces the seams that are set in seams; unset ones keep their defaults.
  void setViewSeams(Seams seams);
  // The address of the page shown in the owner's browser, for HTML dragged
  // out of it (such drags carry no address of their own).
  void setDropSourceAddress(std::function<QString()> provider) { dropSourceAddress_ = std::move(provider); }

  // The path of the selected item ("" when none is selected).
  std::string selectedPath() const;

  // The data of a drag of item inside this tree.
  std::unique_ptr<QMimeData> createMoveData(kb::TreeItem* item);

  QTreeWidgetItem* dropHighlight() const { return dropTarget_; }

 signals:
  void openPage(const QString& pathOrUrl);  // WM_OPENPAGE

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

  platform::Registry& registry() const { return registry_; }
  const Seams& viewSeams() const { return seams_; }
  kb::TreeItem* selectedItem() const;
  kb::TreeItem* selectedPage() const;
  kb::TreeItem* itemAtPath(const std::string& path);
  void inform(const std::string& text, const char* caption = nullptr);

 private:
  // TreeMirrorView
  void expandInModel(kb::TreeItem* item) override;
  void selectInModel(kb::TreeItem* item) override;
  kb::RenameStatus renameInModel(kb::TreeItem* item, const std::string& text, kb::TreeOutcome* outcome) override;
  void showRefusal(const std::string& message) override { inform(message); }
  QString displayText(const kb::TreeItem& item) const override;
  bool isHighlighted(const QTreeWidgetItem* widget) const override;
  void forgetting(const kb::TreeItem* removed) override;
  // TreeObserver
  void listingProblem(const std::string& message) override;

  void setDefaultSeams();

  // Drag and drop
  kb::TreeItem* folderAt(const QPoint& point) const;
  void setDropTarget(QTreeWidgetItem* target);
  void hoverTimedOut();
  void endDrag();
  QByteArray moveToken() const;
  bool isMoveDrag(const QMimeData* data) const;
  void dropOnto(const std::string& targetPath, const DropData& drop);
  void captureDrop(const std::string& targetPath, const DropData& drop);

  platform::Registry& registry_;
  Options options_;
  std::set<std::string> problemsShown_;  // each listing problem is told once
  std::unique_ptr<kb::ProjectTree> model_;
  Seams seams_;
  std::function<QString()> dropSourceAddress_;
  DropData drop_;  // a drag from outside, kept from enter to drop
  bool moveDrag_ = false;  // the drag is a move inside the tree
  kb::TreeItem* dragged_ = nullptr;
  QTreeWidgetItem* dropTarget_ = nullptr;
  QTimer hoverTimer_;
};

}  // namespace velkin::uikit
