#include "uikit/project_tree_view.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>

#include "capture/drop_adapter.h"
#include "capture/file_types.h"
#include "platform/text.h"
#include "uikit/download_progress_dialog.h"
#include "uikit/save_file_dialog.h"

namespace velkin::uikit {

using velkin::kb::ItemKind;
using velkin::kb::TreeItem;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

ProjectTreeView::ProjectTreeView(velkin::platform::Registry& registry, Options options, QWidget* parent)
    : TreeMirrorView(parent), registry_(registry), options_(std::move(options)) {
  setObjectName(QStringLiteral("projectTree"));
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  setDragDropMode(QAbstractItemView::DragDrop);

  hoverTimer_.setInterval(kHoverExpandMs);
  connect(&hoverTimer_, &QTimer::timeout, this, &ProjectTreeView::hoverTimedOut);
  setDefaultSeams();

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
  detachFromModel();
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
  seams_.prompts.replaceWith(std::move(seams.prompts));
  if (seams.askSaveAs) seams_.askSaveAs = std::move(seams.askSaveAs);
  if (seams.download) seams_.download = std::move(seams.download);
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
// The model

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

void ProjectTreeView::expandInModel(TreeItem* item) { model_->expand(item); }

void ProjectTreeView::selectInModel(TreeItem* item) { model_->select(item); }

velkin::kb::RenameStatus ProjectTreeView::renameInModel(TreeItem* item, const std::string& text,
                                                       velkin::kb::TreeOutcome* outcome) {
  return model_->rename(item, text, outcome);
}

QString ProjectTreeView::displayText(const TreeItem& item) const {
  return qs(item.kind == ItemKind::Root ? options_.rootText : item.text);
}

bool ProjectTreeView::isHighlighted(const QTreeWidgetItem* widget) const {
  return dropTarget_ != nullptr && widget == dropTarget_;
}

// Forgets the drag state inside the subtree about to go (everything when
// removed is nullptr).
void ProjectTreeView::forgetting(const TreeItem* removed) {
  const auto inside = [removed](const TreeItem* item) {
    return item != nullptr && (removed == nullptr || velkin::kb::ProjectTree::isAncestor(removed, item));
  };
  if (inside(dragged_)) dragged_ = nullptr;
  if (removed == nullptr || inside(modelItem(dropTarget_))) setDropTarget(nullptr);
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
  if (item == nullptr || item->kind == ItemKind::Root || labelEditing()) return;
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
