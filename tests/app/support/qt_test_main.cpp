// Runs the widget tests inside one QApplication on the offscreen platform
// (Qt WebEngine needs its application object before any view exists).
#include <gtest/gtest.h>

#include <QApplication>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
