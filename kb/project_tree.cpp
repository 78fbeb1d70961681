#include "kb/project_tree.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "kb/book_dir.h"
#include "kb/listing.h"
#include "kb/messages.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/folder_listing.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::kb {

using platform::baseName;
using platform::joinPath;

int TreeItem::indexInParent() const {
  if (parent == nullptr) return 0;
  const auto& siblings = parent->children;
  for (size_t i = 0; i < siblings.size(); ++i) {
    if (siblings[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

TreeItem* TreeItem::childWithText(std::string_view wanted) const {
  for (const auto& child : children) {
    if (child->text == wanted) return child.get();
  }
  return nullptr;
}

ProjectTree::ProjectTree(platform::Registry& registry, Options options)
    : registry_(registry), options_(std::move(options)), alive_(std::make_shared<ProjectTree*>(this)) {}

ProjectTree::~ProjectTree() {
  alive_.reset();
  watcher_.stop();
  if (selected_ != nullptr && options_.remembersSelection) {
    registry_.writeString(platform::RegistryRoot::User, kSelectedKey, kSelectedFolderValue,
                          pathOf(selected_));
  }
}

bool ProjectTree::isWatching() const { return watcher_.isRunning(); }

std::unique_ptr<TreeItem> ProjectTree::makeItem(const std::string& fileName, ItemKind kind, bool hasChildren) {
  auto item = std::make_unique<TreeItem>();
  item->kind = kind;
  item->hasChildren = hasChildren;
  if (isPageKind(kind)) {
    const size_t cut = pageExtensionLength(kind);
    item->text = pageDisplayName(fileName, kind);
    item->extension = fileName.substr(fileName.size() - cut);
  } else {
    item->text = fileName;
  }
  return item;
}

TreeItem* ProjectTree::insertItem(TreeItem* parent, std::unique_ptr<TreeItem> item, bool atFront) {
  item->parent = parent;
  TreeItem* inserted = item.get();
  if (atFront) {
    parent->children.insert(parent->children.begin(), std::move(item));
  } else {
    parent->children.push_back(std::move(item));
  }
  if (observer_ != nullptr) observer_->itemInserted(inserted);
  return inserted;
}

TreeItem* ProjectTree::insertEntry(TreeItem* parent, const std::string& folder, const std::string& fileName,
                                   ItemKind kind, bool hasChildren) {
  TreeItem* item = insertItem(parent, makeItem(fileName, kind, hasChildren));
  if (!rememberedSelection_.empty() &&
      platform::equalsIgnoreCase(joinPath(folder, fileName), rememberedSelection_)) {
    select(item);
  }
  return item;
}

void ProjectTree::reportProblem(const ListedEntry& entry) {
  if (!entry.problem.empty() && observer_ != nullptr) observer_->listingProblem(entry.problem);
}

void ProjectTree::listInto(TreeItem* item, const std::string& folder) {
  item->listed = true;
  for (const auto& entry : listFolder(folder, filter_, bookDirectory_)) {
    reportProblem(entry);
    insertEntry(item, folder, entry.fileName, entry.kind, entry.hasChildren);
  }
}

void ProjectTree::listRecursively(TreeItem* item, const std::string& folder, bool useFilter) {
  // Links are followed, but never back into a folder on the way down from
  // the root and never twice into one folder through links, so no web of
  // links can make the listing endless or explode.
  platform::WalkPath way;
  std::vector<const TreeItem*> above;
  for (const TreeItem* at = item->parent; at != nullptr; at = at->parent) above.push_back(at);
  for (auto it = above.rbegin(); it != above.rend(); ++it) {
    platform::FolderIdentity identity;
    if (platform::identifyFolder(pathOf(*it), &identity)) way.enter(identity);
  }
  std::function<void(TreeItem*, const std::string&)> descend = [&](TreeItem* at, const std::string& path) {
    platform::FolderIdentity identity;
    if (!platform::identifyFolder(path, &identity) || !way.enter(identity)) return;
    at->listed = true;
    const auto entries =
        listFolder(path, useFilter ? filter_ : PageFilter::none(), bookDirectory_, ChildCheck::Skip);
    for (const auto& entry : entries) {
      reportProblem(entry);
      TreeItem* child = insertEntry(at, path, entry.fileName, entry.kind, false);
      if (child->kind == ItemKind::Category) descend(child, joinPath(path, entry.fileName));
    }
    way.leave();
    const bool hasChildren = !at->children.empty();
    if (at->hasChildren != hasChildren) {
      at->hasChildren = hasChildren;
      if (observer_ != nullptr) observer_->itemChanged(at);
    }
  };
  descend(item, folder);
}

void ProjectTree::clear() {
  selected_ = nullptr;
  root_.reset();
  if (observer_ != nullptr) observer_->treeCleared();
}

void ProjectTree::fill() {
  if (!selectionRead_ && options_.remembersSelection) {
    rememberedSelection_ =
        registry_.readString(platform::RegistryRoot::User, kSelectedKey, kSelectedFolderValue).value_or("");
    selectionRead_ = true;
  }
  bookDirectory_ = options_.bookDirectory ? *options_.bookDirectory : kb::bookDirectory(registry_);
  while (bookDirectory_.size() > 1 && bookDirectory_.back() == '/') bookDirectory_.pop_back();
  root_ = std::make_unique<TreeItem>();
  root_->text = kRootText;
  root_->kind = ItemKind::Root;
  if (observer_ != nullptr) observer_->itemInserted(root_.get());
  listInto(root_.get(), bookDirectory_);
  root_->hasChildren = !root_->children.empty();
  if (observer_ != nullptr) observer_->itemExpanded(root_.get());
  restoreSelection();
  startWatching();
}

void ProjectTree::restoreSelection() {
  // The remembered item may lie below folders not listed yet: open the way.
  const std::string& wanted = rememberedSelection_;
  if (wanted.empty() || selected_ != nullptr) return;
  if (platform::equalsIgnoreCase(wanted, bookDirectory_)) {
    select(root_.get());
    return;
  }
  const std::string prefix = bookDirectory_ + "/";
  if (wanted.size() <= prefix.size() || !platform::equalsIgnoreCase(wanted.substr(0, prefix.size()), prefix)) {
    return;
  }
  findPath(wanted);
}

void ProjectTree::refresh() {
  if (selected_ != nullptr) rememberedSelection_ = pathOf(selected_);
  clear();
  fill();
}

void ProjectTree::startWatching() {
  if (!options_.post) return;
  if (watcher_.isRunning()) {
    watcher_.changeFolder(bookDirectory_);
    return;
  }
  std::weak_ptr<ProjectTree*> alive = alive_;
  // A Refresh posted but not yet run covers every change reported before it
  // runs, so a burst of changes posts one Refresh, not one per report.
  watcher_.start(bookDirectory_, platform::postOnceUntilRun(options_.post, [alive] {
                   if (auto tree = alive.lock()) (*tree)->refresh();
                 }));
}

void ProjectTree::expand(TreeItem* item) {
  if (item == nullptr || item->isPage() || item->listed) return;
  listInto(item, pathOf(item));
  if (item->hasChildren != !item->children.empty()) {
    item->hasChildren = !item->children.empty();
    if (observer_ != nullptr) observer_->itemChanged(item);
  }
  if (observer_ != nullptr) observer_->itemExpanded(item);
}

void ProjectTree::expandAll(TreeItem* item) {
  if (item == nullptr || item->isPage()) return;
  if (item->listed) {
    for (auto& child : item->children) expandAll(child.get());
    return;
  }
  listRecursively(item, pathOf(item), true);
}

void ProjectTree::select(TreeItem* item) {
  if (selected_ == item) return;
  selected_ = item;
  if (item != nullptr) rememberedSelection_.clear();
  if (observer_ != nullptr) observer_->selectionChanged(item);
}

std::string itemPath(std::string_view rootFolder, const TreeItem* item) {
  if (item == nullptr) return {};
  std::vector<const TreeItem*> chain;
  for (const TreeItem* at = item; at != nullptr && at->kind != ItemKind::Root; at = at->parent) {
    chain.push_back(at);
  }
  std::string path(rootFolder);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += '/';
    path += (*it)->text;
  }
  if (item->isPage()) path += item->extension;
  return path;
}

void eraseFromParent(TreeItem* item) {
  auto& siblings = item->parent->children;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [item](const std::unique_ptr<TreeItem>& child) { return child.get() == item; }),
                 siblings.end());
}

std::string ProjectTree::pathOf(const TreeItem* item) const { return itemPath(bookDirectory_, item); }

TreeItem* ProjectTree::findPath(const std::string& path) {
  if (!root_) return nullptr;
  if (platform::equalsIgnoreCase(path, bookDirectory_)) return root_.get();
  const std::string prefix = bookDirectory_ + "/";
  if (path.size() <= prefix.size() || !platform::equalsIgnoreCase(path.substr(0, prefix.size()), prefix)) {
    return nullptr;
  }
  TreeItem* at = root_.get();
  std::string_view rest = std::string_view(path).substr(prefix.size());
  while (!rest.empty() && at != nullptr) {
    const auto slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (component.empty()) continue;
    expand(at);
    TreeItem* next = nullptr;
    for (auto& child : at->children) {
      const std::string name = child->text + child->extension;
      if (platform::equalsIgnoreCase(name, component) && (rest.empty() || child->isFolder())) {
        next = child.get();
        break;
      }
    }
    at = next;
  }
  return at;
}

bool ProjectTree::isAncestor(const TreeItem* ancestor, const TreeItem* item) {
  for (const TreeItem* at = item; at != nullptr; at = at->parent) {
    if (at == ancestor) return true;
  }
  return false;
}

void ProjectTree::removeItem(TreeItem* item) {
  if (observer_ != nullptr) observer_->itemRemoving(item);
  if (isAncestor(item, selected_)) select(nullptr);
  eraseFromParent(item);
}

TreeOutcome ProjectTree::newCategory(TreeItem* parent) {
  TreeOutcome outcome;
  if (parent == nullptr || parent->isPage()) {
    outcome.ok = false;
    return outcome;
  }
  expand(parent);
  const std::string parentPath = pathOf(parent);
  // A second "New Category" gets the next free name instead of two items
  // sharing one folder.
  const std::string name = platform::nextFreeName(parentPath, kNewCategoryText, true);
  TreeItem* item = insertItem(parent, makeItem(name, ItemKind::Category, false));
  if (!parent->hasChildren) {
    parent->hasChildren = true;
    if (observer_ != nullptr) observer_->itemChanged(parent);
  }
  if (observer_ != nullptr) observer_->itemExpanded(parent);
  outcome.item = item;
  const std::string folder = joinPath(parentPath, name);
  if (platform::makeFolder(folder) != 0) {
    outcome.ok = false;
    outcome.message = platform::formatMessage(kFailedToCreateDirectory, folder);
  }
  if (observer_ != nullptr) observer_->editLabel(item);
  return outcome;
}

TreeOutcome ProjectTree::newPage(TreeItem* category) {
  static constexpr char kEmptyPage[] =
      "<HTML>\n<HEAD>\n<TITLE>New Page</TITLE>\n</HEAD>\n<BODY>\n</BODY>\n</HTML>\n";
  TreeOutcome outcome;
  if (category != nullptr && category->isPage()) category = category->parent;
  if (category == nullptr) category = root_.get();
  if (category == nullptr) {
    outcome.ok = false;
    return outcome;
  }
  const std::string folder = pathOf(category);
  const platform::ShellResult created = platform::shellCreateFile(folder, kNewPageFileName, kEmptyPage);
  if (!created.ok) {
    outcome.ok = false;
    outcome.message = platform::formatMessage(kFailedToCreatePage, folder);
    outcome.error = created.error;
    return outcome;
  }
  outcome.item = addCapturedPage(category, std::string(platform::baseName(created.path)));
  return outcome;
}

RenameStatus ProjectTree::rename(TreeItem* item, const std::string& newText, TreeOutcome* outcome) {
  TreeOutcome local;
  TreeOutcome& result = outcome != nullptr ? *outcome : local;
  result = TreeOutcome{};
  result.item = item;
  if (item == nullptr || item->kind != ItemKind::Category || newText.empty() || newText == item->text) {
    return RenameStatus::Unchanged;
  }
  // "." and ".." name no folder of their own; they are refused like the
  // letters a name may not hold.
  if (hasInvalidLetter(newText) || newText == "." || newText == "..") {
    result.ok = false;
    result.message = kInvalidLetterMessage;
    if (observer_ != nullptr) observer_->editLabel(item);
    return RenameStatus::InvalidName;
  }
  const std::string from = pathOf(item);
  const auto moved = platform::shellMoveTo(from, joinPath(platform::parentPath(from), newText));
  if (!moved.ok) {
    result.ok = false;
    result.error = moved.error;
    platform::trace("rename", moved.error);
    return RenameStatus::Failed;
  }
  item->text = std::string(baseName(moved.path));
  if (observer_ != nullptr) observer_->itemChanged(item);
  select(item);
  return RenameStatus::Renamed;
}

TreeOutcome ProjectTree::remove(TreeItem* item) {
  TreeOutcome outcome;
  if (item == nullptr || item->kind == ItemKind::Root) {
    outcome.ok = false;
    return outcome;
  }
  const auto trashed = platform::shellTrash(pathOf(item));
  if (!trashed.ok) {
    outcome.ok = false;
    outcome.error = trashed.error;
    platform::trace("delete", trashed.error);
    return outcome;
  }
  TreeItem* parent = item->parent;
  removeItem(item);
  if (selected_ == nullptr) select(parent);
  return outcome;
}

TreeOutcome ProjectTree::move(TreeItem* dragged, TreeItem* target) {
  TreeOutcome outcome;
  outcome.ok = false;
  if (dragged == nullptr || target == nullptr || dragged->kind == ItemKind::Root || target->isPage()) {
    return outcome;
  }
  if (dragged == target || isAncestor(dragged, target)) {
    select(dragged);
    return outcome;
  }
  expand(target);
  const auto moved = platform::shellMove(pathOf(dragged), pathOf(target));
  if (!moved.ok) {
    outcome.error = moved.error;
    platform::trace("move", moved.error);
    return outcome;
  }
  auto item = makeItem(std::string(baseName(moved.path)), dragged->kind,
                       dragged->hasChildren || !dragged->children.empty());
  // The target was listed before the move, so the moved item is not in it.
  removeItem(dragged);
  TreeItem* added = insertItem(target, std::move(item));
  select(added);
  outcome.ok = true;
  outcome.item = added;
  return outcome;
}

TreeOutcome ProjectTree::copyIn(const std::vector<std::string>& paths, TreeItem* target) {
  TreeOutcome outcome;
  if (target == nullptr || target->isPage()) {
    outcome.ok = false;
    return outcome;
  }
  expand(target);
  const std::string targetPath = pathOf(target);
  for (const auto& path : paths) {
    const auto copied = platform::shellCopy(path, targetPath);
    if (!copied.ok) {
      outcome.ok = false;
      if (!outcome.error.empty()) outcome.error += '\n';
      outcome.error += copied.error;
      platform::trace("copy", copied.error);
      continue;
    }
    const std::string name(baseName(copied.path));
    if (const auto kind = pageKindOf(name)) {
      outcome.item = insertItem(target, makeItem(name, *kind, false));
    } else if (platform::isDirectory(copied.path) && !isCompanionFolderName(name)) {
      TreeItem* category = insertItem(target, makeItem(name, ItemKind::Category, false));
      listRecursively(category, copied.path, false);
      outcome.item = category;
    }
    // Other files are copied but, as in every listing, not shown.
  }
  if (!target->children.empty() && !target->hasChildren) {
    target->hasChildren = true;
    if (observer_ != nullptr) observer_->itemChanged(target);
  }
  return outcome;
}

TreeItem* ProjectTree::addCapturedPage(TreeItem* category, const std::string& pageFileName) {
  if (category == nullptr || category->isPage()) return nullptr;
  const auto kind = pageKindOf(pageFileName);
  if (!kind) return nullptr;
  expand(category);
  // A capture over an existing page replaces the file, not the item.
  for (auto& child : category->children) {
    if (child->isPage() && child->text + child->extension == pageFileName) {
      select(child.get());
      return child.get();
    }
  }
  TreeItem* item = insertItem(category, makeItem(pageFileName, *kind, false), true);
  select(item);
  return item;
}

std::string ProjectTree::pageAddress(const TreeItem* page) const {
  if (page == nullptr || !page->isPage()) return {};
  return readMetaValue(pathOf(page), kPageUrlName);
}

}  // namespace velkin::kb
