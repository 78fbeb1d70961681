// The Flash part's two options as the host reads them, afresh for every
// probe: ShowToolbar (the Flash bar over movies) and ShowMenu (the entries
// of the Flash context menu), REG_DWORD values under the machine key
// "Software\Marrowind\Glintcatch". An option whose value cannot be read
// counts as on.
#pragma once

#include "platform/registry.h"

namespace velkin::flash::host {

inline constexpr char kShowToolbarValue[] = "ShowToolbar";
inline constexpr char kShowMenuValue[] = "ShowMenu";

struct FlashOptions {
  bool showToolbar = true;
  bool showMenu = true;
};

FlashOptions readFlashOptions(platform::Registry& registry);

}  // namespace velkin::flash::host
