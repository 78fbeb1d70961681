// Where the system keeps things. One function decides the program's data
// folder (default book directory "Project", "filetype.ini", the Flash folder)
// for every deliverable: $XDG_DATA_HOME/velkin, or, for a portable install
// (a file named "portable" beside the executable), the executable's folder.
#pragma once

#include <string>

namespace velkin::platform {

// Folder of the running executable (resolved through /proc/self/exe).
std::string executableFolder();

// The program's data folder, as described above. Never the build tree unless
// the build tree is made portable on purpose. No trailing "/".
std::string programDataFolder();

// The settings store folder: $VELKIN_CONFIG_DIR, else $XDG_CONFIG_HOME/velkin,
// else ~/.config/velkin.
std::string configFolder();

// The user's home folder ($HOME, else the password database).
std::string homeFolder();

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path (a relative one is ignored, as the desktop's rule says), else
// ~/.config. The settings store and Chromium's profiles live below it.
std::string userConfigHome();

// The local socket name a running main program listens on, one per user
// ("velkin-kestrova-<uid>"); the capture library sends kRaiseRequest on it
// to bring the main window to the front.
std::string mainProgramSocketName();
inline constexpr char kRaiseRequest[] = "raise";

}  // namespace velkin::platform
