// The project tree model: the knowledge base as the project tree shows it,
// and every file operation the tree offers on it.
//
// The model owns the items; a view (Qt tree widget, command line) mirrors it
// through a TreeObserver. All calls happen on the owner's thread. When the
// owner gives a Post function, the book directory is watched and changes are
// turned into a Refresh posted to the owner's thread, never run on the
// watcher's. Texts meant for the user come back in the results; the model
// shows nothing itself.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kb/layout.h"
#include "kb/listing.h"
#include "kb/page_filter.h"
#include "platform/registry.h"
#include "platform/watcher.h"

namespace velkin::kb {

struct TreeItem {
  std::string text;       // category name, or page name without its extension
  ItemKind kind = ItemKind::Category;
  std::string extension;  // pages: their own extension letters, e.g. ".HTM"
  bool hasChildren = false;
  bool listed = false;    // children were listed (first expansion done)
  TreeItem* parent = nullptr;
  std::vector<std::unique_ptr<TreeItem>> children;

  int indexInParent() const;
  // The first child showing exactly text; nullptr when there is none.
  TreeItem* childWithText(std::string_view text) const;
  bool isPage() const { return isPageKind(kind); }
  bool isFolder() const { return !isPage(); }  // root or category
};

// The full path of an item below a root item standing for rootFolder: each
// text below the root joined by "/", and a page's own extension.
std::string itemPath(std::string_view rootFolder, const TreeItem* item);
// Removes item (with its subtree) from its parent's children.
void eraseFromParent(TreeItem* item);

// Notifications for a view; each is sent after the model has changed.
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  virtual void treeCleared() {}                   // every item is gone (Refresh)
  virtual void itemInserted(TreeItem* /*item*/) {}    // at item->indexInParent()
  virtual void itemRemoving(TreeItem* /*item*/) {}    // before item and its subtree go
  virtual void itemChanged(TreeItem* /*item*/) {}     // text or has-children changed
  virtual void itemExpanded(TreeItem* /*item*/) {}
  virtual void selectionChanged(TreeItem* /*item*/) {}
  virtual void editLabel(TreeItem* /*item*/) {}       // start label editing on item
  // A listed entry the user should hear about (a path too long to open).
  virtual void listingProblem(const std::string& /*message*/) {}
};

// Result of an operation: ok, plus a text for the user (with its caption)
// where the operation has one, or the reason of an internal failure.
struct TreeOutcome {
  bool ok = true;
  std::string message;  // shown to the user when not empty (caption "Kestrova")
  std::string error;    // internal failure, for traces
  TreeItem* item = nullptr;
};

enum class RenameStatus { Unchanged, Renamed, InvalidName, Failed };

class ProjectTree {
 public:
  using Task = std::function<void()>;
  using Post = std::function<void(Task)>;  // runs a task on the owner's thread

  struct Options {
    std::optional<std::string> bookDirectory;  // this folder instead of BookPath
    Post post;                                 // set: watch the book directory
    // Whether the tree starts on the item SelectedFolder names and writes its
    // selection back there when it goes. Off for a second tree (the search
    // results), so that it never moves the main tree's remembered place.
    bool remembersSelection = true;
  };

  ProjectTree(platform::Registry& registry, Options options);
  explicit ProjectTree(platform::Registry& registry) : ProjectTree(registry, Options{}) {}
  // Writes the selected item's path to SelectedFolder and stops the watcher.
  ~ProjectTree();
  ProjectTree(const ProjectTree&) = delete;
  ProjectTree& operator=(const ProjectTree&) = delete;

  void setObserver(TreeObserver* observer) { observer_ = observer; }
  // Takes effect with the next listing (Refresh).
  void setFilter(PageFilter filter) { filter_ = std::move(filter); }
  const PageFilter& filter() const { return filter_; }

  // Resolves the book directory, inserts the root, lists it one level deep,
  // expands it, selects the remembered item and starts the watcher.
  void fill();
  // Deletes every item and fills again; the selection is kept by its path.
  void refresh();
  // Lists a category's children the first time it is expanded.
  void expand(TreeItem* item);
  // Lists everything below item at once (with the filter), each folder once.
  void expandAll(TreeItem* item);

  TreeItem* root() const { return root_.get(); }
  TreeItem* selected() const { return selected_; }
  void select(TreeItem* item);
  const std::string& bookDirectory() const { return bookDirectory_; }
  bool isWatching() const;

  // Full path of an item: the book directory, each text below the root, and
  // a page's own extension.
  std::string pathOf(const TreeItem* item) const;
  // The item with this full path (compared without regard to case), listing
  // the folders on the way; nullptr when there is none.
  TreeItem* findPath(const std::string& path);
  static bool isAncestor(const TreeItem* ancestor, const TreeItem* item);

  // Adds a "New Category" folder under parent (root or category) and asks the
  // view to edit its label. message carries the creation failure text.
  TreeOutcome newCategory(TreeItem* parent);
  // Writes a new empty page "New Page.htm" (or the next free name) into
  // category (a page stands for its category, nullptr for the root) and
  // adds it there, selected. message carries the creation failure text.
  TreeOutcome newPage(TreeItem* category);
  // Renames a category. InvalidName carries the message; the view restarts
  // the label editing on the same item.
  RenameStatus rename(TreeItem* item, const std::string& newText, TreeOutcome* outcome = nullptr);
  // Moves a category or page (with its companion folder) to the Trash, after
  // the caller asked kDeleteQuestion.
  TreeOutcome remove(TreeItem* item);
  // Moves dragged into target (root or category). Refused when dragged is
  // target or one of its ancestors.
  TreeOutcome move(TreeItem* dragged, TreeItem* target);
  // Copies files and folders from outside into target (root or category).
  TreeOutcome copyIn(const std::vector<std::string>& paths, TreeItem* target);
  // Adds a page just written into category (a capture) as its first child,
  // and selects it.
  TreeItem* addCapturedPage(TreeItem* category, const std::string& pageFileName);
  // The page's recorded address ("PAGEURL"), as the META reader returns it.
  std::string pageAddress(const TreeItem* page) const;

 private:
  TreeItem* insertItem(TreeItem* parent, std::unique_ptr<TreeItem> item, bool atFront = false);
  TreeItem* insertEntry(TreeItem* parent, const std::string& folder, const std::string& fileName,
                        ItemKind kind, bool hasChildren);
  void listInto(TreeItem* item, const std::string& folder);
  void reportProblem(const ListedEntry& entry);
  void listRecursively(TreeItem* item, const std::string& folder, bool useFilter);
  void removeItem(TreeItem* item);
  void clear();
  void restoreSelection();
  void startWatching();
  static std::unique_ptr<TreeItem> makeItem(const std::string& fileName, ItemKind kind, bool hasChildren);

  platform::Registry& registry_;
  Options options_;
  TreeObserver* observer_ = nullptr;
  PageFilter filter_;
  std::string bookDirectory_;
  std::unique_ptr<TreeItem> root_;
  TreeItem* selected_ = nullptr;
  std::string rememberedSelection_;  // path to select when its item appears
  bool selectionRead_ = false;
  platform::FolderWatcher watcher_;
  std::shared_ptr<ProjectTree*> alive_;  // posted refreshes check it
};

}  // namespace velkin::kb
