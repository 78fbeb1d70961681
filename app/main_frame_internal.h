// What the files of CMainFrame share among themselves and nothing else uses.
#pragma once

#include <QIcon>
#include <QString>

namespace velkin::app::frame {

// The version written with the frame's bar states.
constexpr int kStateVersion = 1;

// Toolbar text options of the Customize dialog.
enum ToolbarTextOption { kTextLabels = 0, kSelectiveText = 1, kNoTextLabels = 2 };

// One of the program's icons by name (":/kestrova/<name>.svg").
QIcon icon(const QString& name);

}  // namespace velkin::app::frame
