// The look shared by the Flash dialogs: a white band across the top with
// the logo on the left and a title and subtitle line beside it, and etched
// horizontal lines under the band and above the row of buttons.
#pragma once

#include <QString>

class QFrame;
class QWidget;

namespace velkin::uikit {

inline constexpr int kDialogHeaderLogoSize = 48;

// The band; its labels are named "headerTitle" and "headerSubtitle".
QWidget* makeDialogHeader(const QString& title, const QString& subtitle, QWidget* parent);
// A sunken horizontal line.
QFrame* makeEtchedLine(QWidget* parent);

}  // namespace velkin::uikit
