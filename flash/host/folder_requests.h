// The folder-tree and open-movie requests of glintcatch-host, answered on
// the Flash folder tree model (flash/model/folder_tree.h) that the host
// keeps for the session. Items are named by their file names from below the
// root ("Sub", "intro.swf"), found only among the items the model listed,
// so a request cannot name anything outside the Flash folder; every change
// goes through the model, which refuses names and places outside it.
// The root folder is watched from the first folder-tree request on: each
// change on disk refreshes the tree and is told to the extension as the
// event {"event":"folder-changed"}.
//
// Replies:
//   {"ok":true,"done":true,"message":"...","item":[...],"tree":{...}}   folder-tree
//   {"ok":true,"fileUrl":"file:///...","path":"/..."}                   open-movie
//   {"ok":true,"data":"<base64>","offset":N,"size":S,"done":false}      read-movie
// (a movie's bytes from offset on, at most kMovieChunkBytes, so that the
// reply stays well under the browser's 1 MiB; extension pages cannot read
// local files themselves).
// where a tree item is {"name","text","kind":"root"|"folder"|"movie",
// "hasChildren","children":[...]} (children only once listed), "done" says
// whether the operation did its work, "message" is the model's text for the
// user, and "item" the path of the item made or renamed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "flash/model/folder_tree.h"
#include "messaging/flash_request.h"
#include "platform/registry.h"

namespace velkin::flash::host {

inline constexpr size_t kMovieChunkBytes = 512 * 1024;
inline constexpr char kFolderChangedEvent[] = R"({"event":"folder-changed"})";

class FolderRequests {
 public:
  // post runs a task on the UI thread; changed is called there after each
  // refresh that a change on disk caused.
  FolderRequests(platform::Registry& registry, FolderTree::Post post, std::function<void()> changed);
  ~FolderRequests();

  std::string folderTree(const messaging::FlashRequest& request);
  std::string openMovie(const messaging::FlashRequest& request);
  std::string readMovie(const messaging::FlashRequest& request);

 private:
  FolderTree& tree();
  // The file of the movie a request's path names, inside the Flash folder
  // with links resolved; nullopt with the user's text in error.
  std::optional<std::string> movieFile(const messaging::FlashRequest& request, std::string& error);
  // The item a path names, listing folders on the way; nullptr when none.
  TreeItem* find(const std::vector<std::string>& path);
  std::string treeReply(const messaging::FlashRequest& request, bool done, const kb::TreeOutcome& outcome);

  platform::Registry& registry_;
  FolderTree::Post post_;
  std::function<void()> changed_;
  std::unique_ptr<FolderTree> tree_;
};

}  // namespace velkin::flash::host
