// CProjectTreeCtrl: the project tree as a Qt tree widget over the toolkit-free
// model kb::ProjectTree. It mirrors the model's items, offers the "TreeMenu"
// context menu, label editing for New Category and Rename, drag-moves, drops
// from outside (files, web content, text) and the book builds. It asks the
// main frame to show pages through openPage (WM_OPENPAGE) and forwards the
// compiler's output through buildOutput (WM_BUILDOUTPUT). UI thread only.
//
// Every widget item carries the model item it shows. Book directory changes
// seen by the model's watcher arrive as queued Refresh calls on this thread;
// a Refresh that arrives while a label is being edited waits until the edit
// ends. Commands that open a modal dialog remember the path of the item they
// act on and find the item again afterwards, so a Refresh meanwhile cannot
// leave them with an item that is gone.
//
// What the control asks of its surroundings (message boxes, the save, book
// and download dialogs, starting outside programs) goes through Seams, which
// default to the program's dialogs; tests replace them.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/tree_drop.h"
#include "book/book_settings.h"
#include "capture/document_capture.h"
#include "kb/project_tree.h"
#include "platform/registry.h"
#include "uikit/prompts.h"

class QMenu;
class QMimeData;

namespace velkin::book {
class ChmBuildSession;
struct BuildResult;
}  // namespace velkin::book

class CProjectTreeCtrl : public QTreeWidget, private velkin::kb::TreeObserver {
  Q_OBJECT

 public:
  struct Seams {
    velkin::uikit::Prompts prompts;
    // The save dialog, with the proposed file name; nullopt for Cancel.
    std::function<std::optional<velkin::capture::SaveAsChoice>(const std::string& proposedName)> askSaveAs;
    // Runs a capture's download (the progress dialog) and returns when it is over.
    velkin::capture::DownloadHook download;
    // The book dialog, with the book title and the category's folder;
    // nullopt for Cancel.
    std::function<std::optional<velkin::book::BookSettings>(const std::string& title, const std::string& folder)>
        askBookSettings;
    // Starts a program without waiting for it; false when it cannot start.
    std::function<bool(const QString& program, const QStringList& arguments)> startDetached;
  };

  // The commands of the context menu, in menu order.
  enum class Command { Open, Edit, OpenUrl, NewCategory, Delete, Rename, BuildChm, BuildHtml, Refresh };
  static constexpr int kCommandCount = 9;
  static constexpr int kHoverExpandMs = 2000;
  // The mime type of a drag of an item inside the tree.
  static constexpr char kMoveFormat[] = "application/x-velkin-tree-item";

  explicit CProjectTreeCtrl(velkin::platform::Registry& registry, QWidget* parent = nullptr);
  // Stops a running build, then the model writes SelectedFolder and stops
  // its watcher.
  ~CProjectTreeCtrl() override;

  velkin::kb::ProjectTree& model() { return *model_; }

  // Replaces the seams that are set in seams; unset ones keep their defaults.
  void setSeams(Seams seams);
  // The address of the page shown in this program's browser, for HTML
  // dragged out of it (such drags carry no address of their own).
  void setDropSourceAddress(std::function<QString()> provider) { dropSourceAddress_ = std::move(provider); }

  QTreeWidgetItem* widgetItem(const velkin::kb::TreeItem* item) const;
  velkin::kb::TreeItem* modelItem(const QTreeWidgetItem* widgetItem) const;

  // Whether each command is enabled when the menu is opened on item
  // (nullptr: on empty space).
  static bool commandEnabled(Command command, const velkin::kb::TreeItem* item);
  // The context menu "TreeMenu" as a right-click on item opens it; its
  // actions run the commands on the selected item.
  std::unique_ptr<QMenu> createTreeMenu(const velkin::kb::TreeItem* item, QWidget* parent = nullptr);
  // The data of a drag of item inside this tree.
  std::unique_ptr<QMimeData> createMoveData(velkin::kb::TreeItem* item);

  QTreeWidgetItem* dropHighlight() const { return dropTarget_; }
  bool isEditingLabel() const { return labelEditing_; }
  bool isBuilding() const;
  // Posts a command to the build's console runner (WMSTDIOCOMMAND): start
  // a script, its end, or input for it (platform::StdioCommand codes).
  void postStdioCommand(int code, const QString& text);

 public slots:
  // The commands of the context menu; the main frame forwards some of them.
  void onOpen();
  void onEditWithDefaultEditor();
  void onOpenUrl();
  void onNewCategory();
  void onDelete();
  void onRename();
  void onBuildChm();
  void onBuildHtml();
  void onRefresh();

 signals:
  void openPage(const QString& pathOrUrl);          // WM_OPENPAGE
  void buildOutput(int kind, const QString& text);  // WM_BUILDOUTPUT: 1 title, 2 output, 3 error
  void buildFinished(bool bookWritten, const QString& outputPath);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class LabelDelegate;
  using Task = std::function<void()>;

  // TreeObserver
  void treeCleared() override;
  void itemInserted(velkin::kb::TreeItem* item) override;
  void itemRemoving(velkin::kb::TreeItem* item) override;
  void itemChanged(velkin::kb::TreeItem* item) override;
  void itemExpanded(velkin::kb::TreeItem* item) override;
  void selectionChanged(velkin::kb::TreeItem* item) override;
  void editLabel(velkin::kb::TreeItem* item) override;
  void listingProblem(const std::string& message) override;

  void setDefaultSeams();
  void postToUi(Task task);
  void runWatcherTask(const Task& task);
  void runDeferredRefresh();
  void showItem(QTreeWidgetItem* widget, const velkin::kb::TreeItem& item);
  static void showChildIndicator(QTreeWidgetItem* widget, const velkin::kb::TreeItem& item);
  static int childIndex(const velkin::kb::TreeItem& item);
  void forgetItems(const velkin::kb::TreeItem* removed);
  velkin::kb::TreeItem* selectedItem() const;
  velkin::kb::TreeItem* selectedPage() const;
  velkin::kb::TreeItem* itemAtPath(const std::string& path);
  void inform(const std::string& text, const char* caption = nullptr);

  // Label editing
  void startLabelEdit(velkin::kb::TreeItem* item);
  void startPendingEdit();
  void labelCommitted(const QModelIndex& index, const QString& text);
  void applyLabel(velkin::kb::TreeItem* item, const std::string& text);
  void labelEditClosed();
  void endLabelEditState();

  // Drag and drop
  velkin::kb::TreeItem* folderAt(const QPoint& point) const;
  void setDropTarget(QTreeWidgetItem* target);
  void hoverTimedOut();
  void endDrag();
  QByteArray moveToken() const;
  bool isMoveDrag(const QMimeData* data) const;
  void dropOnto(const std::string& targetPath, const velkin::app::DropData& drop);
  void captureDrop(const std::string& targetPath, const velkin::app::DropData& drop);

  // Builds
  void ensureBuildSession();
  void buildEnded(const velkin::book::BuildResult& result);
  bool openExternally(const QString& path);

  velkin::platform::Registry& registry_;
  std::set<std::string> problemsShown_;  // each listing problem is told once
  std::unique_ptr<velkin::kb::ProjectTree> model_;
  std::unique_ptr<velkin::book::ChmBuildSession> buildSession_;
  Seams seams_;
  std::function<QString()> dropSourceAddress_;
  LabelDelegate* delegate_ = nullptr;
  std::unordered_map<const velkin::kb::TreeItem*, QTreeWidgetItem*> widgets_;
  std::array<QIcon, 4> kindIcons_;  // by ItemKind, shared by every item of the kind

  bool syncing_ = false;  // the widget is being changed from the model
  bool labelEditing_ = false;
  velkin::kb::TreeItem* editingItem_ = nullptr;
  std::optional<std::string> committedText_;
  velkin::kb::TreeItem* pendingEdit_ = nullptr;
  int holdRefresh_ = 0;  // > 0: a watcher Refresh waits
  Task deferredRefresh_;

  velkin::app::DropData drop_;       // a drag from outside, kept from enter to drop
  bool moveDrag_ = false;            // the drag is a move inside the tree
  velkin::kb::TreeItem* dragged_ = nullptr;
  QTreeWidgetItem* dropTarget_ = nullptr;
  QTimer hoverTimer_;
};
