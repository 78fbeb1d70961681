#include "uikit/web_engine_setup.h"

#include <unistd.h>

#include <QApplication>
#include <cstdlib>

namespace velkin::uikit {

void prepareWebEngine() {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

}  // namespace velkin::uikit
