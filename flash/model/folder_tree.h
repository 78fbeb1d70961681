// The Flash folder tree model: the user's collection of saved movies as a
// tree of folders and ".swf" files below the Flash folder, and the changes
// the tree offers on it (new folder, rename, delete to the Trash, refresh).
//
// Items are the project tree's items (kb/project_tree.h) with the kinds
// 0 root ("Flash"), 1 folder and 2 movie (kb::ItemKind Root, Category and
// Page), so a view mirrors it through the same kb::TreeObserver. A movie
// item's text is its file name without the ".swf"/".SWF" it keeps in
// extension. Folders are listed one level at a time, each when first
// expanded; a refresh rebuilds the whole tree.
//
// All calls happen on the owner's thread. When the owner gives a Post
// function, the root folder is watched (not its subfolders) and every change
// becomes a refresh posted to the owner's thread. Nothing is ever created,
// renamed or deleted outside the root folder, links resolved: such requests
// are refused with a message. Texts for the user come back in the results
// (caption kCaptionFlash, information icon); the model shows nothing itself.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kb/listing.h"
#include "kb/project_tree.h"
#include "platform/registry.h"
#include "platform/watcher.h"

namespace velkin::flash {

using kb::TreeItem;

inline constexpr kb::ItemKind kFolderKind = kb::ItemKind::Category;
inline constexpr kb::ItemKind kMovieKind = kb::ItemKind::Page;

// Whether a file name is listed as a movie: it ends in exactly ".swf" or
// ".SWF" (other letter cases are not listed).
bool isListedMovieName(std::string_view fileName);

// A folder of the Flash tree, one level deep, in name order: every folder,
// and with showFiles its movies. hasChildren says whether a folder holds a
// folder or (with showFiles) a movie. A missing folder lists nothing.
std::vector<kb::ListedEntry> listMovieFolder(const std::string& folder, bool showFiles);

// Which context-menu commands apply to the item the menu was opened on
// (nullptr: none). The menu is offered only when the tree shows files.
struct MenuState {
  bool offered = false;
  bool newFolder = false;
  bool rename = false;
  bool remove = false;
};

class FolderTree {
 public:
  using Task = platform::WatchTask;
  using Post = platform::WatchPost;

  struct Options {
    std::optional<std::string> rootFolder;  // this folder instead of SavePath
    // List movie files and offer the context menu; off for a folder chooser.
    bool showFiles = true;
    Post post;  // set: watch the root folder
  };

  FolderTree(platform::Registry& registry, Options options);
  explicit FolderTree(platform::Registry& registry) : FolderTree(registry, Options{}) {}
  ~FolderTree();  // stops the watcher
  FolderTree(const FolderTree&) = delete;
  FolderTree& operator=(const FolderTree&) = delete;

  void setObserver(kb::TreeObserver* observer) { observer_ = observer; }

  // Reads the root folder, deletes every item, inserts the root item with
  // the root folder's children (one level) and expands it; starts the
  // watcher on the first fill.
  void fill();
  // Deletes every item and fills again.
  void refresh();
  // Lists a folder's children the first time it is expanded (the root is
  // listed by fill).
  void expand(TreeItem* item);

  TreeItem* root() const { return root_.get(); }
  TreeItem* selected() const { return selected_; }
  void select(TreeItem* item);
  const std::string& rootFolder() const { return rootFolder_; }
  bool showsFiles() const { return options_.showFiles; }
  bool isWatching() const { return watcher_.isRunning(); }

  // Full path: the root folder, each text below the root, and a movie's
  // ".swf". Folder: a movie's parent folder, else the item's own path.
  std::string pathOf(const TreeItem* item) const { return kb::itemPath(rootFolder_, item); }
  std::string folderOf(const TreeItem* item) const;
  // The same for the selected item; "" when nothing is selected.
  std::string selectedPath() const { return pathOf(selected_); }
  std::string selectedFolder() const { return folderOf(selected_); }
  // The file to play when item is selected: its full path when that ends in
  // ".swf" in any case; nullopt for folders.
  std::optional<std::string> movieToPlay(const TreeItem* item) const;

  MenuState menuFor(const TreeItem* hit) const;

  // New folder under the selected item (a movie stands for its parent).
  // When that folder already shows a "New Folder" (any case), that item is
  // selected for editing and nothing is made; otherwise the folder
  // "New Folder" (or the next free name) is made on disk and its item put
  // first, selected, with its label to edit. Nothing selected: nothing.
  kb::TreeOutcome newFolder();
  // The end of label editing of a folder or movie: Unchanged for an empty
  // text or the current one; InvalidName (message set, label editing asked
  // again) for a name with one of \ / : * ? " < > |, "." or "..", or one a
  // sibling of the same kind shows (any case); Renamed when the entry was
  // renamed on disk (a movie keeps its extension letters); Failed (error
  // set, the item unchanged) when the rename failed.
  kb::RenameStatus rename(TreeItem* item, const std::string& newText, kb::TreeOutcome* outcome = nullptr);
  // Moves a folder or movie to the Trash and removes its item; the root and
  // nullptr are refused. A failed move leaves the item (error set).
  kb::TreeOutcome remove(TreeItem* item);

 private:
  TreeItem* insertItem(TreeItem* parent, std::unique_ptr<TreeItem> item, bool atFront = false);
  void listInto(TreeItem* item);
  void setHasChildren(TreeItem* item, bool hasChildren);
  bool refuseOutside(const std::string& path, kb::TreeOutcome& outcome) const;
  static std::unique_ptr<TreeItem> makeItem(const kb::ListedEntry& entry);

  platform::Registry& registry_;
  Options options_;
  kb::TreeObserver* observer_ = nullptr;
  std::string rootFolder_;
  std::unique_ptr<TreeItem> root_;
  TreeItem* selected_ = nullptr;
  platform::FolderWatcher watcher_;
  std::shared_ptr<FolderTree*> alive_;  // posted refreshes check it
};

}  // namespace velkin::flash
