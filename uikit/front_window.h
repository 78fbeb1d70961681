// Dialogs that a helper process shows for a browser: the browser has the
// focus when they open, so they are raised and activated once shown.
#pragma once

class QDialog;

namespace velkin::uikit {

// Runs dialog modally, brought in front once it is shown; exec()'s result.
int execInFront(QDialog& dialog);

}  // namespace velkin::uikit
