#include "uikit/tree_mirror_view.h"

#include <QLineEdit>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyledItemDelegate>

namespace velkin::uikit {

using velkin::kb::ItemKind;
using velkin::kb::TreeItem;

namespace {

constexpr int kItemRole = Qt::UserRole + 1;

// Root, folder (an open folder while selected) and file images, made once
// per tree and shared by every item of their kind: an icon of its own would
// decode the images again for each of thousands of items.
std::array<QIcon, 4> makeKindIcons(const QStyle& style) {
  QIcon folder;
  folder.addPixmap(style.standardIcon(QStyle::SP_DirClosedIcon).pixmap(16, 16), QIcon::Normal);
  folder.addPixmap(style.standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16), QIcon::Selected);
  QIcon file;
  file.addPixmap(style.standardIcon(QStyle::SP_FileIcon).pixmap(16, 16));
  QIcon root;
  root.addPixmap(style.standardIcon(QStyle::SP_DriveHDIcon).pixmap(16, 16));
  std::array<QIcon, 4> icons;
  icons[static_cast<size_t>(ItemKind::Root)] = root;
  icons[static_cast<size_t>(ItemKind::Category)] = folder;
  icons[static_cast<size_t>(ItemKind::Page)] = file;
  icons[static_cast<size_t>(ItemKind::HtmlPage)] = file;
  return icons;
}

}  // namespace

// Hands the text of a finished label edit to the tree instead of writing it
// into the item (the model decides what the item is called), and draws the
// view's highlight.
class TreeMirrorView::LabelDelegate : public QStyledItemDelegate {
 public:
  explicit LabelDelegate(TreeMirrorView* tree) : QStyledItemDelegate(tree), tree_(tree) {}

  void setModelData(QWidget* editor, QAbstractItemModel* /*model*/, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) tree_->labelCommitted(index, line->text());
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (tree_->isHighlighted(tree_->itemFromIndex(index))) option->state |= QStyle::State_Selected;
  }

 private:
  TreeMirrorView* tree_;
};

TreeMirrorView::TreeMirrorView(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Every row is one icon and one line of text: the view need not measure
  // thousands of rows to lay out or scroll a large folder.
  setUniformRowHeights(true);
  kindIcons_ = makeKindIcons(*style());
  delegate_ = new LabelDelegate(this);
  setItemDelegate(delegate_);
  // After the view's own handling, so the editor is released when this runs.
  connect(delegate_, &QAbstractItemDelegate::closeEditor, this, [this] { labelEditClosed(); });
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* widget) {
    if (!syncing_) expandInModel(modelItem(widget));
  });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    if (!syncing_ && current != nullptr) selectInModel(modelItem(current));
  });
}

void TreeMirrorView::detachFromModel() {
  blockSignals(true);
  delegate_->blockSignals(true);
  syncing_ = true;
}

void TreeMirrorView::postToUi(Task task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// A watcher's Refresh waits while a label is being edited (it would end the
// edit), and runs when the edit is over.
void TreeMirrorView::runWatcherTask(const Task& task) {
  if (labelEditing_ || holdRefresh_ > 0) {
    deferredRefresh_ = task;
    return;
  }
  task();
}

void TreeMirrorView::runDeferredRefresh() {
  if (labelEditing_ || holdRefresh_ > 0 || !deferredRefresh_) return;
  Task task = std::move(deferredRefresh_);
  deferredRefresh_ = nullptr;
  task();
}

// ---------------------------------------------------------------------------
// Mirroring the model

QTreeWidgetItem* TreeMirrorView::widgetItem(const TreeItem* item) const {
  const auto found = widgets_.find(item);
  return found == widgets_.end() ? nullptr : found->second;
}

TreeItem* TreeMirrorView::modelItem(const QTreeWidgetItem* widget) const {
  if (widget == nullptr) return nullptr;
  return reinterpret_cast<TreeItem*>(widget->data(0, kItemRole).value<quintptr>());
}

// Sets only what differs, so showing an item again costs a few comparisons
// and tells the view of no change that is not one.
void TreeMirrorView::showItem(QTreeWidgetItem* widget, const TreeItem& item) {
  if (widget == nullptr) return;
  const QString text = displayText(item);
  if (widget->text(0) != text) widget->setText(0, text);
  const QIcon& icon = kindIcons_[static_cast<size_t>(item.kind)];
  if (widget->icon(0).cacheKey() != icon.cacheKey()) widget->setIcon(0, icon);
  showChildIndicator(widget, item);
}

// A folder not listed yet shows the expand sign whenever it has children.
void TreeMirrorView::showChildIndicator(QTreeWidgetItem* widget, const TreeItem& item) {
  const bool unlistedChildren = item.isFolder() && item.hasChildren && !item.listed;
  const auto policy =
      unlistedChildren ? QTreeWidgetItem::ShowIndicator : QTreeWidgetItem::DontShowIndicatorWhenChildless;
  if (widget->childIndicatorPolicy() != policy) widget->setChildIndicatorPolicy(policy);
}

void TreeMirrorView::treeCleared() {
  {
    const QScopedValueRollback<bool> syncing(syncing_, true);
    clear();
  }
  widgets_.clear();
  // The rebuild has closed any label editor, and covers a waiting Refresh.
  endLabelEditState();
  deferredRefresh_ = nullptr;
  pendingEdit_ = nullptr;
  forgetting(nullptr);
}

// Forgets a label edit whose editor the view has closed on its own (its
// item went away), so that nothing waits for the edit any more.
void TreeMirrorView::endLabelEditState() {
  editingItem_ = nullptr;
  labelEditing_ = false;
  committedText_.reset();
}

// Where item stands among its siblings. A listing appends and a capture puts
// its item first: both are found at once, so listing n items stays linear.
int TreeMirrorView::childIndex(const TreeItem& item) {
  const auto& siblings = item.parent->children;
  if (!siblings.empty() && siblings.back().get() == &item) return static_cast<int>(siblings.size()) - 1;
  if (!siblings.empty() && siblings.front().get() == &item) return 0;
  return item.indexInParent();
}

void TreeMirrorView::itemInserted(TreeItem* item) {
  auto* widget = new QTreeWidgetItem;
  widget->setData(0, kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
  showItem(widget, *item);
  const QScopedValueRollback<bool> syncing(syncing_, true);
  if (item->parent == nullptr) {
    addTopLevelItem(widget);
  } else if (QTreeWidgetItem* parentWidget = widgetItem(item->parent)) {
    parentWidget->insertChild(childIndex(*item), widget);
    // The parent is listed now; its text and icon stay as they are.
    showChildIndicator(parentWidget, *item->parent);
  } else {
    delete widget;
    return;
  }
  widgets_[item] = widget;
}

// Forgets every remembered item inside the subtree about to go.
void TreeMirrorView::forgetItems(const TreeItem* removed) {
  const auto inside = [removed](const TreeItem* item) {
    return item != nullptr && velkin::kb::ProjectTree::isAncestor(removed, item);
  };
  if (inside(editingItem_)) {
    endLabelEditState();
    postToUi([this] { runDeferredRefresh(); });
  }
  if (inside(pendingEdit_)) pendingEdit_ = nullptr;
  forgetting(removed);
  std::function<void(const TreeItem*)> unmap = [&](const TreeItem* item) {
    widgets_.erase(item);
    for (const auto& child : item->children) unmap(child.get());
  };
  unmap(removed);
}

void TreeMirrorView::itemRemoving(TreeItem* item) {
  QTreeWidgetItem* widget = widgetItem(item);
  forgetItems(item);
  const QScopedValueRollback<bool> syncing(syncing_, true);
  delete widget;
}

void TreeMirrorView::itemChanged(TreeItem* item) { showItem(widgetItem(item), *item); }

void TreeMirrorView::itemExpanded(TreeItem* item) {
  QTreeWidgetItem* widget = widgetItem(item);
  if (widget == nullptr) return;
  showItem(widget, *item);
  const QScopedValueRollback<bool> syncing(syncing_, true);
  widget->setExpanded(true);
}

void TreeMirrorView::selectionChanged(TreeItem* item) {
  const QScopedValueRollback<bool> syncing(syncing_, true);
  QTreeWidgetItem* widget = widgetItem(item);
  setCurrentItem(widget);
  if (widget != nullptr) scrollToItem(widget);
}

void TreeMirrorView::editLabel(TreeItem* item) {
  pendingEdit_ = item;
  // Commands start the edit themselves once their messages are shown; this
  // covers a request made outside of them.
  postToUi([this] { startPendingEdit(); });
}

// ---------------------------------------------------------------------------
// Label editing

void TreeMirrorView::startLabelEdit(TreeItem* item) {
  QTreeWidgetItem* widget = widgetItem(item);
  if (widget == nullptr || labelEditing_) return;
  widget->setFlags(widget->flags() | Qt::ItemIsEditable);
  editingItem_ = item;
  labelEditing_ = true;
  committedText_.reset();
  scrollToItem(widget);
  editItem(widget, 0);
  if (state() != QAbstractItemView::EditingState) labelEditClosed();
}

void TreeMirrorView::startPendingEdit() {
  TreeItem* item = pendingEdit_;
  pendingEdit_ = nullptr;
  if (item != nullptr) startLabelEdit(item);
}

void TreeMirrorView::labelCommitted(const QModelIndex& index, const QString& text) {
  if (labelEditing_ && editingItem_ != nullptr && modelItem(itemFromIndex(index)) == editingItem_) {
    committedText_ = text.toStdString();
  }
}

void TreeMirrorView::labelEditClosed() {
  TreeItem* item = editingItem_;
  std::optional<std::string> text = std::move(committedText_);
  committedText_.reset();
  editingItem_ = nullptr;
  labelEditing_ = false;
  if (QTreeWidgetItem* widget = widgetItem(item)) widget->setFlags(widget->flags() & ~Qt::ItemIsEditable);
  if (item != nullptr && text) applyLabel(item, *text);
  startPendingEdit();
  runDeferredRefresh();
}

void TreeMirrorView::applyLabel(TreeItem* item, const std::string& text) {
  velkin::kb::TreeOutcome outcome;
  ++holdRefresh_;
  const auto status = renameInModel(item, text, &outcome);
  if (status == velkin::kb::RenameStatus::InvalidName) showRefusal(outcome.message);
  --holdRefresh_;
}

}  // namespace velkin::uikit
