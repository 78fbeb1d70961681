#include "uikit/front_window.h"

#include <QDialog>
#include <QTimer>

namespace velkin::uikit {

int execInFront(QDialog& dialog) {
  // Once exec() has shown it as modal.
  QTimer::singleShot(0, &dialog, [&dialog] {
    dialog.raise();
    dialog.activateWindow();
  });
  return dialog.exec();
}

}  // namespace velkin::uikit
