// The Flash part's two options and the Options dialog's rules: whether the
// Flash bar is shown over movies (ShowToolbar) and whether the movie's
// context menu gets the Flash entries (ShowMenu), both under the plug-in's
// machine key, plus the Flash folder the dialog edits.
#pragma once

#include <string>

#include "platform/registry.h"

namespace velkin::flash {

inline constexpr char kShowToolbarValue[] = "ShowToolbar";
inline constexpr char kShowMenuValue[] = "ShowMenu";
inline constexpr char kChooseOneOptionMessage[] = "Choose one option at least!";

struct FlashOptions {
  bool showToolbar = true;
  bool showMenu = true;
  std::string saveFolder;  // the Flash folder (flashFolder())
};

// An option is on unless its value can be read and is 0: a missing key or
// value counts as on.
bool showToolbarSetting(platform::Registry& registry);
bool showMenuSetting(platform::Registry& registry);
// Both options and the Flash folder, as the Options dialog shows them.
FlashOptions readFlashOptions(platform::Registry& registry);

enum class OptionBox { Toolbar, Menu };
// After the user has clicked one of the two boxes (options holds the new
// states): when neither is on any more, the clicked box is turned on again
// and true comes back (kChooseOneOptionMessage is to be shown).
bool keepOneOptionOn(FlashOptions& options, OptionBox clicked);

// OK: the folder is stored as SavePath only when the key "SOFTWARE\Kestrova"
// exists (nothing else creates it there); the two options are stored under
// the plug-in's key, made when missing, as 1 or 0. The folder is not checked
// for existence. Returns "" when everything was stored, else a message for
// the user naming what could not be written and why.
std::string writeFlashOptions(platform::Registry& registry, const FlashOptions& options);

}  // namespace velkin::flash
