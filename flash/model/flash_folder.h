// Where the Flash part keeps movies, and the guard that keeps every change
// it makes inside that folder.
//
// Two settings name the folder, both the value "SavePath" of the machine
// root: under "SOFTWARE\Kestrova" the folder movies are saved to and played
// from, under "Software\Marrowind\Glintcatch" the folder the folder tree
// shows. With neither written both are the folder "Flash" of the program's
// data folder (platform/paths.h).
#pragma once

#include <string>

#include "kb/book_dir.h"
#include "platform/registry.h"

namespace velkin::flash {

inline constexpr const char* kSaveFolderKey = kb::kKestrovaKey;  // "SOFTWARE\\Kestrova"
inline constexpr char kPlugInKey[] = "Software\\Marrowind\\Glintcatch";
inline constexpr char kSavePathValue[] = "SavePath";
inline constexpr char kFlashFolderName[] = "Flash";

// "Flash" in the program's data folder.
std::string defaultFlashFolder();
// The folder movies are saved to (SavePath under kSaveFolderKey).
std::string flashFolder(platform::Registry& registry);
// The folder the folder tree shows (SavePath under kPlugInKey).
std::string folderTreeRoot(platform::Registry& registry);

// Whether an entry at path may be created, renamed, or moved to the Trash by
// the Flash part: its last name is a plain name (not empty, ".", ".." and
// without "/") and the folder holding it is the Flash folder root or lies
// below it once every link on the way is resolved. The entry itself may be a
// link: it is the link that is changed, never what it points to. False when
// either folder cannot be resolved (missing).
bool isChangeableInside(const std::string& root, const std::string& path);

}  // namespace velkin::flash
