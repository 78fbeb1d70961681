// The look shared by the Flash dialogs: a white band across the top with
// the logo on the left and a title and subtitle line beside it, and etched
// horizontal lines under the band and above the row of buttons.
#pragma once

#include <QString>

class QDialog;
class QFrame;
class QLayout;
class QWidget;

namespace velkin::uikit {

inline constexpr int kDialogHeaderLogoSize = 48;

// The band; its labels are named "headerTitle" and "headerSubtitle".
QWidget* makeDialogHeader(const QString& title, const QString& subtitle, QWidget* parent);
// A sunken horizontal line.
QFrame* makeEtchedLine(QWidget* parent);
// Lays a dialog out in that look: the band (caption title, subtitle), a
// line, the body, a line, then the buttons.
void layOutWithHeader(QDialog* dialog, const QString& title, const QString& subtitle, QLayout* body,
                      QWidget* buttons);

}  // namespace velkin::uikit
