#include "uikit/project_tree_view.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyledItemDelegate>
#include <array>

#include "capture/drop_adapter.h"
#include "capture/file_types.h"
#include "platform/text.h"
#include "uikit/download_progress_dialog.h"
#include "uikit/save_file_dialog.h"

namespace velkin::uikit {

using velkin::kb::ItemKind;
using velkin::kb::TreeItem;

namespace {

constexpr int kItemRole = Qt::UserRole + 1;

QString qs(const std::string& text) { return QString::fromStdString(text); }

// Root, category (an open folder while selected) and page images, made once
// per tree and shared by every item of their kind: an icon of its own would
// decode the images again for each of thousands of pages.
std::array<QIcon, 4> makeKindIcons(const QStyle& style) {
  QIcon category;
  category.addPixmap(style.standardIcon(QStyle::SP_DirClosedIcon).pixmap(16, 16), QIcon::Normal);
  category.addPixmap(style.standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16), QIcon::Selected);
  QIcon page;
  page.addPixmap(style.standardIcon(QStyle::SP_FileIcon).pixmap(16, 16));
  QIcon root;
  root.addPixmap(style.standardIcon(QStyle::SP_DriveHDIcon).pixmap(16, 16));
  std::array<QIcon, 4> icons;
  icons[static_cast<size_t>(ItemKind::Root)] = root;
  icons[static_cast<size_t>(ItemKind::Category)] = category;
  icons[static_cast<size_t>(ItemKind::Page)] = page;
  icons[static_cast<size_t>(ItemKind::HtmlPage)] = page;
  return icons;
}

}  // namespace

// Hands the text of a finished label edit to the tree instead of writing it
// into the item (the model decides what the item is called), and draws the
// drop highlight.
class ProjectTreeView::LabelDelegate : public QStyledItemDelegate {
 public:
  explicit LabelDelegate(ProjectTreeView* tree) : QStyledItemDelegate(tree), tree_(tree) {}

  void setModelData(QWidget* editor, QAbstractItemModel* /*model*/, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) tree_->labelCommitted(index, line->text());
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (tree_->dropTarget_ != nullptr && tree_->itemFromIndex(index) == tree_->dropTarget_) {
      option->state |= QStyle::State_Selected;
    }
  }

 private:
  ProjectTreeView* tree_;
};

ProjectTreeView::ProjectTreeView(velkin::platform::Registry& registry, Options options, QWidget* parent)
    : QTreeWidget(parent), registry_(registry), options_(std::move(options)) {
  setObjectName(QStringLiteral("projectTree"));
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  setDragDropMode(QAbstractItemView::DragDrop);
  // Every row is one icon and one line of text: the view need not measure
  // thousands of rows to lay out or scroll a large category.
  setUniformRowHeights(true);
  kindIcons_ = makeKindIcons(*style());
  delegate_ = new LabelDelegate(this);
  setItemDelegate(delegate_);
  // After the view's own handling, so the editor is released when this runs.
  connect(delegate_, &QAbstractItemDelegate::closeEditor, this, [this] { labelEditClosed(); });

  hoverTimer_.setInterval(kHoverExpandMs);
  connect(&hoverTimer_, &QTimer::timeout, this, &ProjectTreeView::hoverTimedOut);
  setDefaultSeams();

  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* widget) {
    if (!syncing_) model_->expand(modelItem(widget));
  });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    if (!syncing_ && current != nullptr) model_->select(modelItem(current));
  });
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* widget) {
    const TreeItem* item = modelItem(widget);
    if (item != nullptr && item->isPage() && item == model_->selected()) emit openPage(qs(model_->pathOf(item)));
  });

  velkin::kb::ProjectTree::Options modelOptions;
  modelOptions.post = [this](Task task) {
    postToUi([this, task = std::move(task)] { runWatcherTask(task); });
  };
  modelOptions.remembersSelection = options_.remembersSelection;
  model_ = std::make_unique<velkin::kb::ProjectTree>(registry_, std::move(modelOptions));
  model_->setObserver(this);
  model_->fill();
}

ProjectTreeView::~ProjectTreeView() {
  // Nothing may reach the model while the widget items go.
  blockSignals(true);
  delegate_->blockSignals(true);
  syncing_ = true;
  hoverTimer_.stop();
  model_->setObserver(nullptr);
  model_.reset();
}

void ProjectTreeView::setDefaultSeams() {
  seams_.askSaveAs = [this](const std::string& proposedName) -> std::optional<velkin::capture::SaveAsChoice> {
    velkin::uikit::SaveFileDialog dialog(proposedName, velkin::capture::fileTypesPath(), seams_.prompts, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return velkin::capture::SaveAsChoice{dialog.fileName(), dialog.selectedTypes()};
  };
  seams_.download = [this](velkin::capture::DownloadRun& run) {
    velkin::uikit::DownloadProgressDialog dialog(run, this);
    dialog.run();
  };
}

void ProjectTreeView::setViewSeams(Seams seams) {
  if (seams.prompts.inform) seams_.prompts.inform = std::move(seams.prompts.inform);
  if (seams.prompts.ask) seams_.prompts.ask = std::move(seams.prompts.ask);
  if (seams.askSaveAs) seams_.askSaveAs = std::move(seams.askSaveAs);
  if (seams.download) seams_.download = std::move(seams.download);
}

void ProjectTreeView::postToUi(Task task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// The watcher's Refresh waits while a label is being edited (it would end
// the edit), and runs when the edit is over.
void ProjectTreeView::runWatcherTask(const Task& task) {
  if (labelEditing_ || holdRefresh_ > 0) {
    deferredRefresh_ = task;
    return;
  }
  task();
}

void ProjectTreeView::runDeferredRefresh() {
  if (labelEditing_ || holdRefresh_ > 0 || !deferredRefresh_) return;
  Task task = std::move(deferredRefresh_);
  deferredRefresh_ = nullptr;
  task();
}

void ProjectTreeView::listingProblem(const std::string& message) {
  // Told once, after the listing: a refresh lists the same entries again.
  if (!problemsShown_.insert(message).second) return;
  QTimer::singleShot(0, this, [this, message] { inform(message); });
}

void ProjectTreeView::inform(const std::string& text, const char* caption) {
  seams_.prompts.information(this, caption != nullptr ? caption : options_.caption, text);
}

// ---------------------------------------------------------------------------
// Mirroring the model

QTreeWidgetItem* ProjectTreeView::widgetItem(const TreeItem* item) const {
  const auto found = widgets_.find(item);
  return found == widgets_.end() ? nullptr : found->second;
}

TreeItem* ProjectTreeView::modelItem(const QTreeWidgetItem* widget) const {
  if (widget == nullptr) return nullptr;
  return reinterpret_cast<TreeItem*>(widget->data(0, kItemRole).value<quintptr>());
}

TreeItem* ProjectTreeView::selectedItem() const { return model_->selected(); }

TreeItem* ProjectTreeView::selectedPage() const {
  TreeItem* item = model_->selected();
  return item != nullptr && item->isPage() ? item : nullptr;
}

std::string ProjectTreeView::selectedPath() const {
  const TreeItem* item = model_->selected();
  return item != nullptr ? model_->pathOf(item) : std::string();
}

// The item with exactly this path (letters compared as they are), listing
// the folders on the way; nullptr when there is none.
TreeItem* ProjectTreeView::itemAtPath(const std::string& path) {
  TreeItem* at = model_->root();
  if (at == nullptr) return nullptr;
  const std::string& book = model_->bookDirectory();
  if (path == book) return at;
  if (path.size() <= book.size() + 1 || path.compare(0, book.size(), book) != 0 || path[book.size()] != '/') {
    return nullptr;
  }
  std::string_view rest = std::string_view(path).substr(book.size() + 1);
  while (at != nullptr && !rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    model_->expand(at);
    TreeItem* next = nullptr;
    for (const auto& child : at->children) {
      if (child->text + child->extension == component && (rest.empty() || child->isFolder())) {
        next = child.get();
        break;
      }
    }
    at = next;
  }
  return at;
}

// Sets only what differs, so showing an item again costs a few comparisons
// and tells the view of no change that is not one.
void ProjectTreeView::showItem(QTreeWidgetItem* widget, const TreeItem& item) {
  if (widget == nullptr) return;
  const QString text = qs(item.kind == ItemKind::Root ? options_.rootText : item.text);
  if (widget->text(0) != text) widget->setText(0, text);
  const QIcon& icon = kindIcons_[static_cast<size_t>(item.kind)];
  if (widget->icon(0).cacheKey() != icon.cacheKey()) widget->setIcon(0, icon);
  showChildIndicator(widget, item);
}

// A folder not listed yet shows the expand sign whenever it has children.
void ProjectTreeView::showChildIndicator(QTreeWidgetItem* widget, const TreeItem& item) {
  const bool unlistedChildren = item.isFolder() && item.hasChildren && !item.listed;
  const auto policy =
      unlistedChildren ? QTreeWidgetItem::ShowIndicator : QTreeWidgetItem::DontShowIndicatorWhenChildless;
  if (widget->childIndicatorPolicy() != policy) widget->setChildIndicatorPolicy(policy);
}

void ProjectTreeView::treeCleared() {
  {
    const QScopedValueRollback<bool> syncing(syncing_, true);
    clear();
  }
  widgets_.clear();
  // The rebuild has closed any label editor, and covers a waiting Refresh.
  endLabelEditState();
  deferredRefresh_ = nullptr;
  pendingEdit_ = nullptr;
  dragged_ = nullptr;
  setDropTarget(nullptr);
}

// Forgets a label edit whose editor the view has closed on its own (its
// item went away), so that nothing waits for the edit any more.
void ProjectTreeView::endLabelEditState() {
  editingItem_ = nullptr;
  labelEditing_ = false;
  committedText_.reset();
}

// Where item stands among its siblings. A listing appends and a capture puts
// its page first: both are found at once, so listing n items stays linear.
int ProjectTreeView::childIndex(const TreeItem& item) {
  const auto& siblings = item.parent->children;
  if (!siblings.empty() && siblings.back().get() == &item) return static_cast<int>(siblings.size()) - 1;
  if (!siblings.empty() && siblings.front().get() == &item) return 0;
  return item.indexInParent();
}

void ProjectTreeView::itemInserted(TreeItem* item) {
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
void ProjectTreeView::forgetItems(const TreeItem* removed) {
  const auto inside = [removed](const TreeItem* item) {
    return item != nullptr && velkin::kb::ProjectTree::isAncestor(removed, item);
  };
  if (inside(editingItem_)) {
    endLabelEditState();
    postToUi([this] { runDeferredRefresh(); });
  }
  if (inside(pendingEdit_)) pendingEdit_ = nullptr;
  if (inside(dragged_)) dragged_ = nullptr;
  if (inside(modelItem(dropTarget_))) setDropTarget(nullptr);
  std::function<void(const TreeItem*)> unmap = [&](const TreeItem* item) {
    widgets_.erase(item);
    for (const auto& child : item->children) unmap(child.get());
  };
  unmap(removed);
}

void ProjectTreeView::itemRemoving(TreeItem* item) {
  QTreeWidgetItem* widget = widgetItem(item);
  forgetItems(item);
  const QScopedValueRollback<bool> syncing(syncing_, true);
  delete widget;
}

void ProjectTreeView::itemChanged(TreeItem* item) { showItem(widgetItem(item), *item); }

void ProjectTreeView::itemExpanded(TreeItem* item) {
  QTreeWidgetItem* widget = widgetItem(item);
  if (widget == nullptr) return;
  showItem(widget, *item);
  const QScopedValueRollback<bool> syncing(syncing_, true);
  widget->setExpanded(true);
}

void ProjectTreeView::selectionChanged(TreeItem* item) {
  const QScopedValueRollback<bool> syncing(syncing_, true);
  QTreeWidgetItem* widget = widgetItem(item);
  setCurrentItem(widget);
  if (widget != nullptr) scrollToItem(widget);
}

void ProjectTreeView::editLabel(TreeItem* item) {
  pendingEdit_ = item;
  // Commands start the edit themselves once their messages are shown; this
  // covers a request made outside of them.
  postToUi([this] { startPendingEdit(); });
}

// ---------------------------------------------------------------------------
// Label editing (New Category and Rename only)

void ProjectTreeView::startLabelEdit(TreeItem* item) {
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

void ProjectTreeView::startPendingEdit() {
  TreeItem* item = pendingEdit_;
  pendingEdit_ = nullptr;
  if (item != nullptr) startLabelEdit(item);
}

void ProjectTreeView::labelCommitted(const QModelIndex& index, const QString& text) {
  if (labelEditing_ && editingItem_ != nullptr && modelItem(itemFromIndex(index)) == editingItem_) {
    committedText_ = text.toStdString();
  }
}

void ProjectTreeView::labelEditClosed() {
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

void ProjectTreeView::applyLabel(TreeItem* item, const std::string& text) {
  velkin::kb::TreeOutcome outcome;
  ++holdRefresh_;
  const auto status = model_->rename(item, text, &outcome);
  if (status == velkin::kb::RenameStatus::InvalidName) inform(outcome.message);
  --holdRefresh_;
}

// ---------------------------------------------------------------------------
// Drag and drop

TreeItem* ProjectTreeView::folderAt(const QPoint& point) const {
  TreeItem* item = modelItem(itemAt(point));
  return item != nullptr && item->isFolder() ? item : nullptr;
}

// Moves the drop highlight; each new target starts the hover time afresh.
void ProjectTreeView::setDropTarget(QTreeWidgetItem* target) {
  if (target == dropTarget_) return;
  dropTarget_ = target;
  viewport()->update();
  if (target != nullptr) {
    hoverTimer_.start();
  } else {
    hoverTimer_.stop();
  }
}

void ProjectTreeView::hoverTimedOut() {
  const TreeItem* item = modelItem(dropTarget_);
  if (item == nullptr || dropTarget_->isExpanded()) return;
  if (item->hasChildren || !item->children.empty()) dropTarget_->setExpanded(true);
}

void ProjectTreeView::endDrag() {
  setDropTarget(nullptr);
  drop_ = velkin::uikit::DropData{};
  moveDrag_ = false;
}

QByteArray ProjectTreeView::moveToken() const {
  return QByteArray::number(reinterpret_cast<quintptr>(this), 16);
}

bool ProjectTreeView::isMoveDrag(const QMimeData* data) const {
  return dragged_ != nullptr && data != nullptr && data->hasFormat(QString::fromLatin1(kMoveFormat)) &&
         data->data(QString::fromLatin1(kMoveFormat)) == moveToken();
}

std::unique_ptr<QMimeData> ProjectTreeView::createMoveData(TreeItem* item) {
  auto data = std::make_unique<QMimeData>();
  if (item == nullptr || item->kind == ItemKind::Root) return data;
  dragged_ = item;
  data->setData(QString::fromLatin1(kMoveFormat), moveToken());
  return data;
}

void ProjectTreeView::startDrag(Qt::DropActions /*supportedActions*/) {
  QTreeWidgetItem* widget = currentItem();
  TreeItem* item = modelItem(widget);
  if (item == nullptr || item->kind == ItemKind::Root || labelEditing_) return;
  // The drag image: the item's icon and text, held by its middle.
  const QFontMetrics metrics(font());
  QPixmap image(20 + metrics.horizontalAdvance(widget->text(0)) + 4, qMax(18, metrics.height() + 2));
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    widget->icon(0).paint(&painter, QRect(1, (image.height() - 16) / 2, 16, 16));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRect(20, 0, image.width() - 20, image.height()), Qt::AlignVCenter, widget->text(0));
  }
  auto* drag = new QDrag(this);
  drag->setMimeData(createMoveData(item).release());
  drag->setPixmap(image);
  drag->setHotSpot(QPoint(image.width() / 2, image.height() / 2));
  drag->exec(Qt::MoveAction);
  dragged_ = nullptr;
  endDrag();
}

void ProjectTreeView::dragEnterEvent(QDragEnterEvent* event) {
  endDrag();
  if (isMoveDrag(event->mimeData())) {
    moveDrag_ = true;
    event->setDropAction(Qt::MoveAction);
    event->accept();
    return;
  }
  // HTML dragged out of this program's own browser names no address itself.
  const QString fallback = event->source() != nullptr && dropSourceAddress_ ? dropSourceAddress_() : QString();
  drop_ = velkin::uikit::classifyDrop(*event->mimeData(), fallback);
  if (!drop_.acceptable()) {
    drop_ = velkin::uikit::DropData{};
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void ProjectTreeView::dragMoveEvent(QDragMoveEvent* event) {
  if (!moveDrag_ && !drop_.acceptable()) {
    event->ignore();
    return;
  }
  setDropTarget(widgetItem(folderAt(event->position().toPoint())));
  event->setDropAction(moveDrag_ ? Qt::MoveAction : Qt::CopyAction);
  event->accept();
}

void ProjectTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
  endDrag();
  event->accept();
}

void ProjectTreeView::dropEvent(QDropEvent* event) {
  TreeItem* target = modelItem(dropTarget_);
  const bool move = moveDrag_;
  const velkin::uikit::DropData drop = drop_;
  TreeItem* dragged = dragged_;
  endDrag();
  if (move) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
    dragged_ = nullptr;
    if (dragged == nullptr) return;
    if (target == nullptr) {
      model_->select(dragged);
    } else {
      model_->move(dragged, target);
    }
    return;
  }
  if (target == nullptr || !drop.acceptable()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  window()->raise();
  window()->activateWindow();
  // The drop is answered first; the dialogs of a capture run afterwards, so
  // the program the drag came from is not kept waiting.
  const std::string targetPath = model_->pathOf(target);
  postToUi([this, targetPath, drop] { dropOnto(targetPath, drop); });
}

void ProjectTreeView::dropOnto(const std::string& targetPath, const velkin::uikit::DropData& drop) {
  if (drop.kind == velkin::capture::DropKind::FileList) {
    TreeItem* target = itemAtPath(targetPath);
    if (target != nullptr && target->isFolder()) model_->copyIn(drop.paths, target);
    return;
  }
  captureDrop(targetPath, drop);
}

// Saves dropped HTML or text as a page in the category at targetPath: the
// save dialog, the page item (first in the category, selected), the
// download behind its progress dialog, then the page itself.
void ProjectTreeView::captureDrop(const std::string& targetPath, const velkin::uikit::DropData& drop) {
  using velkin::capture::DropKind;
  if (!drop.kind || (*drop.kind != DropKind::ClipboardHtml && *drop.kind != DropKind::PlainText)) return;
  std::string text = *drop.kind == DropKind::ClipboardHtml
                         ? velkin::capture::buildClipboardHtml(drop.text, drop.sourceAddress)
                         : drop.text;
  velkin::capture::DropHooks hooks;
  hooks.askSaveAs = seams_.askSaveAs;
  hooks.askOverwrite = [this](const std::string& /*pagePath*/) {
    return seams_.prompts.question(this, velkin::capture::kCaptionVelkinWeb, velkin::capture::kOverwriteQuestion);
  };
  hooks.pageAdded = [this, targetPath](const std::string& pagePath) {
    // The dialogs let events run: the category is found again by its path.
    TreeItem* category = itemAtPath(targetPath);
    if (category != nullptr) model_->addCapturedPage(category, std::string(velkin::platform::baseName(pagePath)));
  };
  hooks.download = seams_.download;
  hooks.maxFileSize = velkin::capture::maxFileSizeSetting(registry_);
  hooks.complete = velkin::capture::completeCaptureSetting(registry_);
  const velkin::capture::CaptureResult result =
      velkin::capture::captureDrop(*drop.kind, std::move(text), targetPath, hooks);
  if (!result.error.empty()) inform(result.error, velkin::capture::kCaptionVelkinWeb);
}

}  // namespace velkin::uikit
