// The Help command of the Flash bar, context menu and folder bar: opens the
// main program's help book, Contents.chm in the share folder, with the
// desktop's viewer.
#pragma once

#include <QUrl>
#include <functional>

#include "uikit/prompts.h"

namespace velkin::flash::ui {

inline constexpr char kHelpBookName[] = "Contents.chm";
inline constexpr char kHelpMissingMessage[] = "The help file Contents.chm is not installed.";

// Opens an address with the desktop's handler; false when it could not.
using UrlOpener = std::function<bool(const QUrl&)>;

// The help book's path; "" when it is not installed.
std::string helpBookPath();
// Opens the help book through opener (unset: QDesktopServices::openUrl). A
// book that is not installed, or that no viewer opens, is told through
// prompts (caption "Velkin Web for Flash").
void openHelp(QWidget* parent, const uikit::Prompts& prompts, const UrlOpener& opener = {});

}  // namespace velkin::flash::ui
