// minimal_webengine_window: the reference of startup_bench. The least a
// program showing a web page can do: an application object and one browser
// view that loads the given local page. It prints a line and quits once the
// window is shown and the page has loaded, exactly when kestrova does with
// --exit-when-shown.
//
//   minimal_webengine_window PAGE
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  // The browser engine's sandbox cannot start for the root user.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: minimal_webengine_window PAGE\n");
    return 2;
  }
  QWebEngineView view;
  view.resize(1000, 700);
  bool shown = false;
  QObject::connect(&view, &QWebEngineView::loadFinished, &view, [&shown] {
    if (shown) return;
    shown = true;
    std::printf("minimal_webengine_window: shown\n");
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  });
  view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
  view.show();
  return QApplication::exec();
}
