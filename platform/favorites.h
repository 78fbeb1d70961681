// The user's favourites: a folder of Internet Shortcut files (".url", an
// INI text whose "[InternetShortcut]" section holds the address under
// "URL="), with sub-folders for groups. The favourites folder is the
// "Favorites" value of the user's shell folders key when it names a folder,
// else "Favorites" in the program's data folder.
//
// The files are untrusted: each is read up to kMaxShortcutBytes, the address
// is cut to kMaxFavoriteAddressBytes, only names ending exactly in ".url"
// count, hidden entries (a leading ".") are left out, and a linked folder is
// followed only when it stays inside the favourites folder and was not
// entered before, so a walk always ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/shell.h"

namespace velkin::platform {

inline constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline constexpr char kFavoritesValue[] = "Favorites";
inline constexpr char kFavoritesFolderName[] = "Favorites";
inline constexpr char kShortcutExtension[] = ".url";

inline constexpr std::size_t kMaxShortcutBytes = 64 * 1024;
inline constexpr std::size_t kMaxFavoriteAddressBytes = 2048;
// Favourites are numbered from 1; a menu can offer numbers up to this one.
inline constexpr int kMaxFavoriteNumber = 511;
// Folders deeper than this below the favourites folder are not read.
inline constexpr int kMaxFavoriteDepth = 16;

struct Favorite {
  std::string title;    // the file name without ".url"
  std::string address;  // "" when the file holds none
  int number = 0;       // 1, 2, ... in menu order
};

struct FavoriteFolder {
  std::string title;                    // the folder's name ("" for the top)
  std::vector<FavoriteFolder> folders;  // only those that hold a favourite somewhere
  std::vector<Favorite> favorites;      // titles sorted without regard to case
};

// The address an Internet Shortcut's text holds: the first "URL" key of the
// "InternetShortcut" section (names compared without regard to case, blanks
// around them dropped), cut to kMaxFavoriteAddressBytes at a character
// boundary. "" when there is none or it holds control characters.
std::string internetShortcutAddress(std::string_view text);

// The text of an Internet Shortcut file for address.
std::string internetShortcutText(std::string_view address);

// Expands environment variables written as %NAME%, $NAME or ${NAME} and
// turns "\" into "/". %USERPROFILE% and %HOMEPATH% are the home folder when
// unset; an unknown variable stays as written.
std::string expandEnvironment(std::string_view text);

// The favourites folder, as described above (the folder may not exist).
std::string favoritesFolder(Registry& registry);

// Reads folder into a tree: each folder's favourites sorted by title without
// regard to case and numbered before its sub-folders', the sub-folders in
// name order. Favourites past kMaxFavoriteNumber are left out.
FavoriteFolder readFavorites(const std::string& folder);

// Writes an Internet Shortcut for address into folder (created when
// missing), named after title made a single visible file name; a name taken
// gets the next free one ("name (2).url"). Refuses an address with control
// characters or longer than kMaxFavoriteAddressBytes.
ShellResult addFavorite(const std::string& folder, std::string_view title, std::string_view address);

}  // namespace velkin::platform
