// TreeMirrorView: a Qt tree widget that mirrors a toolkit-free tree model's
// items (kb::TreeItem, told through kb::TreeObserver): one widget item per
// model item, the kinds' icons, the expand sign of folders not listed yet,
// selection and expansion both ways, and label editing whose text goes to
// the model instead of into the item. The project tree and the Flash folder
// tree are views of this kind over their own models. UI thread only.
//
// Every widget item carries the model item it shows. Changes seen by a
// model's watcher arrive as tasks posted to this thread (runWatcherTask); a
// task that arrives while a label is being edited waits until the edit ends.
#pragma once

#include <QIcon>
#include <QString>
#include <QTreeWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "kb/project_tree.h"

namespace velkin::uikit {

class TreeMirrorView : public QTreeWidget, protected kb::TreeObserver {
  Q_OBJECT

 public:
  QTreeWidgetItem* widgetItem(const kb::TreeItem* item) const;
  kb::TreeItem* modelItem(const QTreeWidgetItem* widgetItem) const;
  bool isEditingLabel() const { return labelEditing_; }

 protected:
  using Task = std::function<void()>;

  explicit TreeMirrorView(QWidget* parent = nullptr);
  // Nothing reaches the model afterwards; a view calls it before its model
  // goes, so the widget items can go quietly.
  void detachFromModel();

  // What the view asks of its model.
  virtual void expandInModel(kb::TreeItem* item) = 0;
  virtual void selectInModel(kb::TreeItem* item) = 0;
  virtual kb::RenameStatus renameInModel(kb::TreeItem* item, const std::string& text, kb::TreeOutcome* outcome) = 0;
  // Shows a refused name's message (label editing starts again afterwards).
  virtual void showRefusal(const std::string& message) = 0;
  // The text an item shows (the root's may differ from the model's).
  virtual QString displayText(const kb::TreeItem& item) const { return QString::fromStdString(item.text); }
  // Whether an item is drawn selected without being so (a drop target).
  virtual bool isHighlighted(const QTreeWidgetItem* /*widget*/) const { return false; }
  // The subtree of removed is about to go, or every item has gone (removed
  // nullptr): a view forgets what it remembers of them.
  virtual void forgetting(const kb::TreeItem* /*removed*/) {}

  void postToUi(Task task);
  // Runs a watcher's task now, or once a label edit is over.
  void runWatcherTask(const Task& task);
  // Label editing (New Folder, New Category and Rename).
  void startLabelEdit(kb::TreeItem* item);
  void startPendingEdit();
  bool labelEditing() const { return labelEditing_; }
  // Renames through the model, holding back watcher tasks meanwhile.
  void applyLabel(kb::TreeItem* item, const std::string& text);

  // TreeObserver
  void treeCleared() override;
  void itemInserted(kb::TreeItem* item) override;
  void itemRemoving(kb::TreeItem* item) override;
  void itemChanged(kb::TreeItem* item) override;
  void itemExpanded(kb::TreeItem* item) override;
  void selectionChanged(kb::TreeItem* item) override;
  void editLabel(kb::TreeItem* item) override;

 private:
  class LabelDelegate;

  void runDeferredRefresh();
  void showItem(QTreeWidgetItem* widget, const kb::TreeItem& item);
  static void showChildIndicator(QTreeWidgetItem* widget, const kb::TreeItem& item);
  static int childIndex(const kb::TreeItem& item);
  void forgetItems(const kb::TreeItem* removed);
  void labelCommitted(const QModelIndex& index, const QString& text);
  void labelEditClosed();
  void endLabelEditState();

  LabelDelegate* delegate_ = nullptr;
  std::unordered_map<const kb::TreeItem*, QTreeWidgetItem*> widgets_;
  std::array<QIcon, 4> kindIcons_;  // by ItemKind, shared by every item of the kind

  bool syncing_ = false;  // the widget is being changed from the model
  bool labelEditing_ = false;
  kb::TreeItem* editingItem_ = nullptr;
  std::optional<std::string> committedText_;
  kb::TreeItem* pendingEdit_ = nullptr;
  int holdRefresh_ = 0;  // > 0: a watcher task waits
  Task deferredRefresh_;
};

}  // namespace velkin::uikit
