// Shell file operations: move, copy and delete to the Trash.
//
// Each carries a page's companion folder along: for a file whose name ends in
// ".htm" or ".html" (any case), the folders "stem.files" and "stem_files"
// beside it go wherever the page goes. None of them ever replaces an existing
// file or folder: a destination name that is taken becomes the next free name
// ("name (2)", "name (3)", ... with a page's extension kept after the number,
// and the companion folder renamed to match). Deleting moves the items to the
// freedesktop Trash with a .trashinfo each, so the desktop can restore them.
//
// Failures come back in the result; nothing is shown to the user here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkin::platform {

struct ShellResult {
  bool ok = false;
  std::string path;   // where the item now is (move/copy) or its trash entry
  std::string error;  // why it failed, for the caller to show or trace
};

// Moves "from" to exactly "to" (a full path including the new name); a taken
// name gets the next free one. Works across file systems (copy, then remove).
// A missing destination folder is created. Moving onto itself succeeds and
// changes nothing; moving a folder into itself or below itself fails.
ShellResult shellMoveTo(const std::string& from, const std::string& to);
// Moves "from" into folder "toFolder", keeping its name when free.
ShellResult shellMove(const std::string& from, const std::string& toFolder);
// Copies "from" (file or whole folder, links copied as links) into
// "toFolder", created when missing; a taken name gets the next free one.
ShellResult shellCopy(const std::string& from, const std::string& toFolder);
// Moves "path" (and a page's companion folders) to the Trash.
ShellResult shellTrash(const std::string& path);

// The companion folders of a page that exist on disk (empty for non-pages).
std::vector<std::string> companionFoldersOf(const std::string& pagePath);

// The first of "name", "name (2)", "name (3)", ... that is free in folder.
// For a page, the number goes before the extension and the matching
// companion folder name must be free too. For other files the number goes
// before the last extension ("x (2).zip"), for folders at the end; a name
// that already ends in " (N)" counts on from N. This form takes the entry
// for a folder when the name is taken by a folder.
std::string nextFreeName(const std::string& folder, const std::string& name);
std::string nextFreeName(const std::string& folder, const std::string& name, bool isFolder);

// Writes a new file named name (or the next free name) in folder, created
// when missing, with data. Never replaces a file: a name taken meanwhile
// moves on to the next free one. path is the file written.
ShellResult shellCreateFile(const std::string& folder, const std::string& name, std::string_view data);

// The Trash that takes "path": the home trash ($XDG_DATA_HOME/Trash) for
// files on the home volume, else $topdir/.Trash/$uid or $topdir/.Trash-$uid.
std::string trashFolderFor(const std::string& path);

// Restores a trashed item from its files/ entry to the Path of its
// .trashinfo (what a desktop's "Restore" does). Fails when the original place
// is taken.
ShellResult restoreFromTrash(const std::string& trashedFile);

}  // namespace velkin::platform
