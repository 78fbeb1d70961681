// Where the knowledge base lives, and the registry names shared by every
// program that reads or writes it.
#pragma once

#include <string>

#include "platform/registry.h"

namespace velkin::kb {

// Machine root: the book directory and (for the Flash capture) its folder.
inline constexpr char kKestrovaKey[] = "SOFTWARE\\Kestrova";
inline constexpr char kBookPathValue[] = "BookPath";
// User root: the last selected project tree item, shared by all trees.
inline constexpr char kSelectedKey[] = "Software\\Yx";
inline constexpr char kSelectedFolderValue[] = "SelectedFolder";

// The "Project" folder in the program's data folder.
std::string defaultBookDirectory();

// BookPath when it can be read (without a trailing "/"), else the default.
// The folder is not created here.
std::string bookDirectory(platform::Registry& registry);

}  // namespace velkin::kb
