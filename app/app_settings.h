// The main program's settings and the small rules around them, without any
// toolkit: where each setting lives in the settings store, the frame's three
// toggles, the typed-address list of the address bar, the saved window
// placement record, the text zoom commands, the address bar text of a
// location, and the command line of kestrova.
//
// Everything reads and writes through the Registry object it is given; a
// value is used only when it can be read, otherwise its default applies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "uikit/share_folder.h"
#include "velkin/product.h"

namespace velkin::app {

// Per-user profile area of the main program (user root) and its sections.
inline constexpr char kProfileKey[] = "Software\\Local AppWizard-Generated Applications\\Velkin Web";
inline constexpr char kFrameSection[] = "FrameWndState";
inline constexpr char kPlacementValue[] = "FrameWndPlacement";
inline constexpr char kToolbarSection[] = "ToolbarState";
inline constexpr char kRebarSection[] = "RebarState";
inline constexpr char kBuildProgressSection[] = "BuildProgress";
inline constexpr char kTipSection[] = "Tip";
// Bar state records are written as this value of their section.
inline constexpr char kStateValue[] = "State";
// ToolbarState: how the toolbar shows its button texts (ToolbarTextOption).
inline constexpr char kTextOptionsValue[] = "TextOptions";

// Machine root SOFTWARE\Kestrova (kb::kKestrovaKey): the frame's toggles.
inline constexpr char kShowAllTagsValue[] = "ShowAllTags";
inline constexpr char kPromptSaveValue[] = "PromptSave";
inline constexpr char kYesSaveValue[] = "YesSave";
inline constexpr char kHideErrorValue[] = "HideError";

// User root: the addresses typed into the address bar, url1 the most recent.
inline constexpr char kTypedUrlsKey[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
inline constexpr std::size_t kMaxTypedUrls = 25;

inline constexpr char kApplicationTitle[] = "Velkin Web";
inline constexpr auto& kMainWindowTitle = product::kMainWindowTitle;
inline constexpr char kBlankAddress[] = "about:blank";

// "<profile>\<section>".
std::string profileSectionKey(std::string_view section);

// The toggles the frame reads at creation. Missing values keep the defaults:
// tags hidden, no save prompt, script errors hidden.
struct FrameSettings {
  bool showAllTags = false;
  bool promptSave = false;
  bool hideError = true;
};
FrameSettings readFrameSettings(platform::Registry& registry);
// HideError alone, as the web view reads it: on unless stored as 0.
bool readHideError(platform::Registry& registry);
// Writes one toggle (ShowAllTags, PromptSave, HideError, YesSave) as a 32-bit
// number, creating SOFTWARE\Kestrova when it is missing.
bool storeToggle(platform::Registry& registry, const char* valueName, bool on);

// The typed addresses, most recent first, in the order url1, url2, ...
// (values that are missing or not strings are skipped).
std::vector<std::string> readTypedUrls(platform::Registry& registry);
// Puts address first in the list; an equal entry further down is dropped and
// the list is cut to kMaxTypedUrls. An empty address changes nothing.
bool rememberTypedUrl(platform::Registry& registry, std::string_view address);

// A list kept most recent first as string values PREFIX1, PREFIX2, ... of a
// user key (the typed addresses, the recent files).
struct NumberedList {
  std::string key;
  std::string prefix;
  std::size_t limit;
};
// The items in number order; values of other names or types are skipped.
std::vector<std::string> readNumberedList(platform::Registry& registry, const NumberedList& list);
// Writes items (cut to the limit) and deletes the values past them.
bool writeNumberedList(platform::Registry& registry, const NumberedList& list, const std::vector<std::string>& items);
// Puts item first, without duplicates, cut to the limit. "" changes nothing.
bool rememberInList(platform::Registry& registry, const NumberedList& list, std::string_view item);
// Takes item out of the list.
bool forgetInList(platform::Registry& registry, const NumberedList& list, std::string_view item);

// The recent files of the File menu: File1 .. File4 in the profile area's
// "Recent File List" section, most recent first.
inline constexpr char kRecentFileSection[] = "Recent File List";
inline constexpr std::size_t kMaxRecentFiles = 4;
NumberedList typedUrlList();
NumberedList recentFileList();

// The address bar's text for a location: the location, without a leading
// "file://".
std::string addressText(std::string_view location);

// Book directory for Set Book Directory. When SOFTWARE\Kestrova is missing it
// is created with the default book directory stored as BookPath. When the key
// exists without a BookPath, the default is offered but not stored until the
// user picks a folder.
std::string bookDirectoryToOffer(platform::Registry& registry);
bool storeBookDirectory(platform::Registry& registry, std::string_view folder);

// A screen rectangle: left and top inside, right and bottom outside.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool isEmpty() const { return right <= left || bottom <= top; }
  bool intersects(const ScreenRect& other) const;
};

// The saved window placement: a 44-byte record of eleven little-endian
// 32-bit fields: length (44), flags, show command, minimised position (x, y),
// maximised position (x, y) and the normal rectangle (left, top, right,
// bottom) of the window's client area in screen coordinates.
enum ShowCommand : std::uint32_t { kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3 };
struct WindowPlacement {
  std::uint32_t flags = 0;
  std::uint32_t showCommand = kShowNormal;
  int minX = -1, minY = -1, maxX = -1, maxY = -1;
  ScreenRect normal;
};
inline constexpr std::size_t kPlacementSize = 44;
std::string encodePlacement(const WindowPlacement& placement);
// nullopt for a record of another size or length field, or an empty rectangle.
std::optional<WindowPlacement> decodePlacement(std::string_view bytes);
// True when the normal rectangle meets one of the screens' areas.
bool placementOnScreen(const WindowPlacement& placement, const std::vector<ScreenRect>& screens);
std::optional<WindowPlacement> readPlacement(platform::Registry& registry);
bool writePlacement(platform::Registry& registry, const WindowPlacement& placement);

// A binary record of a profile section (bar states), nullopt when missing.
std::optional<std::string> readProfileBinary(platform::Registry& registry, std::string_view section,
                                             std::string_view value);
bool writeProfileBinary(platform::Registry& registry, std::string_view section,
                        std::string_view value, std::string_view bytes);
std::optional<std::uint32_t> readProfileNumber(platform::Registry& registry, std::string_view section,
                                               std::string_view value);
bool writeProfileNumber(platform::Registry& registry, std::string_view section,
                        std::string_view value, std::uint32_t number);

// Text zoom: five levels from 0 (smallest) to 4 (largest); the frame keeps a
// state code of 10 * level + 1 and marks the command whose code it holds.
struct ZoomCommand {
  int commandId;
  int level;
};
inline constexpr int kMediumZoomStateCode = 21;
inline constexpr ZoomCommand kZoomCommands[] = {
    {32825, 4},  // Largest
    {32826, 3},  // Larger
    {32827, 2},  // Medium
    {32828, 1},  // Smaller
    {32829, 0},  // Smallest
};
inline constexpr int zoomStateCode(int level) { return 10 * level + 1; }
// The page zoom factor shown for a level; levels outside 0..4 are clamped.
double zoomFactorForLevel(int level);

// The command line of kestrova:
//   kestrova [--no-tip | /nosplash | -nosplash] [--exit-when-shown]
//            [--screenshot=DIR] [--help] [PAGE]
// VELKIN_NO_TIP in the environment has the effect of --no-tip; the
// screenshot and exit options imply it, so nothing waits for a person.
struct StartOptions {
  std::string page;              // a path or an address to open; empty: the start page
  bool noTip = false;
  bool exitWhenShown = false;    // quit once the window is shown and its page loaded
  std::string screenshotFolder;  // grab the main windows into this folder, then quit
  bool help = false;             // print the usage and quit
  std::string error;             // not empty: the command line cannot be processed
};
StartOptions parseStartOptions(const std::vector<std::string>& arguments, bool noTipFromEnvironment);
inline constexpr char kUsage[] = "usage: kestrova [--no-tip] [--exit-when-shown] [--screenshot=DIR] [PAGE]";

// True for an address with a scheme ("https://...", "about:blank",
// "file:///..."), false for a path.
bool looksLikeAddress(std::string_view text);

// The share folder and its files (uikit/share_folder.h), which the Flash
// dialogs use as well.
using uikit::shareFolder;
using uikit::shareFile;

}  // namespace velkin::app
