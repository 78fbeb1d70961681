#include "flash/model/folder_tree.h"

#include <cstring>
#include <utility>

#include "flash/model/flash_folder.h"
#include "flash/model/messages.h"
#include "flash/model/movie_url.h"
#include "kb/layout.h"
#include "platform/file_util.h"
#include "platform/folder_listing.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::flash {
namespace {

constexpr size_t kExtensionLength = sizeof(kMovieExtension) - 1;

bool countsAsChild(const platform::FolderEntry& entry, bool showFiles) {
  return entry.isFolder() ||
         (showFiles && entry.type == platform::EntryType::File && isListedMovieName(entry.name));
}

bool folderHasChildren(const std::string& folder, bool showFiles) {
  bool found = false;
  platform::scanFolder(folder, [&](const platform::FolderEntry& entry) {
    found = countsAsChild(entry, showFiles);
    return !found;
  });
  return found;
}

// The sibling of item that shows text (any case) and is of item's kind.
bool siblingShows(const TreeItem* item, const std::string& text) {
  for (const auto& sibling : item->parent->children) {
    if (sibling.get() != item && sibling->kind == item->kind && platform::equalsIgnoreCase(sibling->text, text)) {
      return true;
    }
  }
  return false;
}

TreeItem* childFolderShowing(TreeItem* parent, std::string_view text) {
  for (const auto& child : parent->children) {
    if (child->kind == kFolderKind && platform::equalsIgnoreCase(child->text, text)) return child.get();
  }
  return nullptr;
}

kb::RenameStatus refuseName(kb::TreeOutcome& outcome, const char* message) {
  outcome.ok = false;
  outcome.message = message;
  return kb::RenameStatus::InvalidName;
}

}  // namespace

bool isListedMovieName(std::string_view fileName) {
  return fileName.size() > kExtensionLength &&
         (platform::endsWith(fileName, ".swf") || platform::endsWith(fileName, ".SWF"));
}

std::vector<kb::ListedEntry> listMovieFolder(const std::string& folder, bool showFiles) {
  std::vector<kb::ListedEntry> entries;
  for (const auto& entry : platform::readFolder(folder).entries) {
    if (!countsAsChild(entry, showFiles)) continue;
    if (entry.isFolder()) {
      const bool hasChildren = folderHasChildren(platform::joinPath(folder, entry.name), showFiles);
      entries.push_back({entry.name, entry.name, kFolderKind, hasChildren});
    } else {
      entries.push_back({entry.name, entry.name.substr(0, entry.name.size() - kExtensionLength), kMovieKind, false});
    }
  }
  return entries;
}

FolderTree::FolderTree(platform::Registry& registry, Options options)
    : registry_(registry), options_(std::move(options)), alive_(std::make_shared<FolderTree*>(this)) {}

FolderTree::~FolderTree() {
  alive_.reset();
  watcher_.stop();
}

std::unique_ptr<TreeItem> FolderTree::makeItem(const kb::ListedEntry& entry) {
  auto item = std::make_unique<TreeItem>();
  item->kind = entry.kind;
  item->text = entry.text;
  item->hasChildren = entry.hasChildren;
  if (entry.kind == kMovieKind) item->extension = entry.fileName.substr(entry.text.size());
  return item;
}

TreeItem* FolderTree::insertItem(TreeItem* parent, std::unique_ptr<TreeItem> item, bool atFront) {
  item->parent = parent;
  TreeItem* inserted = item.get();
  auto& children = parent->children;
  children.insert(atFront ? children.begin() : children.end(), std::move(item));
  if (observer_ != nullptr) observer_->itemInserted(inserted);
  return inserted;
}

void FolderTree::setHasChildren(TreeItem* item, bool hasChildren) {
  if (item->hasChildren == hasChildren) return;
  item->hasChildren = hasChildren;
  if (observer_ != nullptr) observer_->itemChanged(item);
}

void FolderTree::listInto(TreeItem* item) {
  item->listed = true;
  for (const auto& entry : listMovieFolder(pathOf(item), options_.showFiles)) insertItem(item, makeItem(entry));
  setHasChildren(item, !item->children.empty());
}

void FolderTree::fill() {
  rootFolder_ = options_.rootFolder ? *options_.rootFolder : folderTreeRoot(registry_);
  selected_ = nullptr;
  root_.reset();
  if (observer_ != nullptr) observer_->treeCleared();
  root_ = std::make_unique<TreeItem>();
  root_->kind = kb::ItemKind::Root;
  root_->text = kRootItemText;
  if (observer_ != nullptr) observer_->itemInserted(root_.get());
  listInto(root_.get());
  if (observer_ != nullptr) observer_->itemExpanded(root_.get());
  if (options_.post && !watcher_.isRunning()) {
    std::weak_ptr<FolderTree*> alive = alive_;
    watcher_.start(rootFolder_, platform::postOnceUntilRun(options_.post, [alive] {
                     if (auto tree = alive.lock()) (*tree)->refresh();
                   }));
  }
}

void FolderTree::refresh() { fill(); }

void FolderTree::expand(TreeItem* item) {
  if (item == nullptr || item->kind != kFolderKind || item->listed) return;
  listInto(item);
  if (observer_ != nullptr) observer_->itemExpanded(item);
}

void FolderTree::select(TreeItem* item) {
  if (selected_ == item) return;
  selected_ = item;
  if (observer_ != nullptr) observer_->selectionChanged(item);
}

std::string FolderTree::folderOf(const TreeItem* item) const {
  if (item != nullptr && item->kind == kMovieKind) item = item->parent;
  return pathOf(item);
}

std::optional<std::string> FolderTree::movieToPlay(const TreeItem* item) const {
  std::string path = pathOf(item);
  if (item == nullptr || !platform::endsWithIgnoreCase(path, kMovieExtension)) return std::nullopt;
  return path;
}

MenuState FolderTree::menuFor(const TreeItem* hit) const {
  MenuState menu;
  menu.offered = options_.showFiles;
  if (!menu.offered || hit == nullptr) return menu;
  menu.newFolder = hit->kind != kMovieKind;
  menu.rename = menu.remove = hit->kind != kb::ItemKind::Root;
  return menu;
}

bool FolderTree::refuseOutside(const std::string& path, kb::TreeOutcome& outcome) const {
  if (isChangeableInside(rootFolder_, path)) return false;
  outcome.ok = false;
  outcome.message = platform::formatMessage(kOutsideFolderMessage, path);
  platform::trace("flash folder", outcome.message);
  return true;
}

kb::TreeOutcome FolderTree::newFolder() {
  kb::TreeOutcome outcome;
  TreeItem* parent = selected_;
  if (parent != nullptr && parent->kind == kMovieKind) parent = parent->parent;
  if (parent == nullptr) {
    outcome.ok = false;
    return outcome;
  }
  expand(parent);
  if (TreeItem* existing = childFolderShowing(parent, kNewFolderText)) {
    select(existing);
    if (observer_ != nullptr) observer_->editLabel(existing);
    outcome.item = existing;
    return outcome;
  }
  const std::string folder = pathOf(parent);
  // The root folder is made on first use; any other folder shown exists.
  if (parent->kind == kb::ItemKind::Root) platform::makeFolders(folder);
  const std::string name = platform::nextFreeName(folder, kNewFolderText, true);
  const std::string path = platform::joinPath(folder, name);
  if (refuseOutside(path, outcome)) return outcome;
  if (const int error = platform::makeFolder(path); error != 0) {
    outcome.ok = false;
    outcome.message = platform::formatMessage(kFailedToCreateFolderMessage, path);
    outcome.error = std::string(std::strerror(error));
    platform::trace("flash folder", outcome.message + " " + outcome.error);
    return outcome;
  }
  TreeItem* item = insertItem(parent, makeItem({name, name, kFolderKind, false}), true);
  setHasChildren(parent, true);
  select(item);
  if (observer_ != nullptr) observer_->editLabel(item);
  outcome.item = item;
  return outcome;
}

kb::RenameStatus FolderTree::rename(TreeItem* item, const std::string& newText, kb::TreeOutcome* outcome) {
  kb::TreeOutcome local;
  kb::TreeOutcome& result = outcome != nullptr ? *outcome : local;
  result = kb::TreeOutcome{};
  result.item = item;
  if (item == nullptr || item->kind == kb::ItemKind::Root || newText.empty() || newText == item->text) {
    return kb::RenameStatus::Unchanged;
  }
  kb::RenameStatus status = kb::RenameStatus::Renamed;
  if (kb::hasInvalidLetter(newText) || newText == "." || newText == "..") {
    status = refuseName(result, kInvalidLetterMessage);
  } else if (siblingShows(item, newText)) {
    status = refuseName(result, item->kind == kMovieKind ? kFileNameTakenMessage : kFolderNameTakenMessage);
  }
  if (status == kb::RenameStatus::InvalidName) {
    if (observer_ != nullptr) observer_->editLabel(item);
    return status;
  }
  const std::string from = pathOf(item);
  const std::string to = platform::joinPath(platform::parentPath(from), newText + item->extension);
  if (refuseOutside(from, result) || refuseOutside(to, result)) return kb::RenameStatus::Failed;
  const auto moved = platform::shellMoveTo(from, to);
  if (!moved.ok) {
    result.ok = false;
    result.error = moved.error;
    platform::trace("flash folder", moved.error);
    return kb::RenameStatus::Failed;
  }
  const std::string name(platform::baseName(moved.path));
  item->text = name.substr(0, name.size() - item->extension.size());
  if (observer_ != nullptr) observer_->itemChanged(item);
  select(item);
  return kb::RenameStatus::Renamed;
}

kb::TreeOutcome FolderTree::remove(TreeItem* item) {
  kb::TreeOutcome outcome;
  if (item == nullptr || item->kind == kb::ItemKind::Root) {
    outcome.ok = false;
    return outcome;
  }
  const std::string path = pathOf(item);
  if (refuseOutside(path, outcome)) return outcome;
  const auto trashed = platform::shellTrash(path);
  if (!trashed.ok) {
    outcome.ok = false;
    outcome.error = trashed.error;
    platform::trace("flash folder", trashed.error);
    return outcome;
  }
  if (observer_ != nullptr) observer_->itemRemoving(item);
  TreeItem* parent = item->parent;
  const bool wasSelected = kb::ProjectTree::isAncestor(item, selected_);
  kb::eraseFromParent(item);
  if (wasSelected) selected_ = nullptr;
  setHasChildren(parent, !parent->children.empty());
  if (wasSelected) select(parent);
  return outcome;
}

}  // namespace velkin::flash
