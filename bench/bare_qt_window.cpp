// bare_qt_window: the reference of the browser capture benchmark. The least
// a program showing a dialog can do: an application object and one empty
// dialog. It prints the wall-clock milliseconds at which the dialog is shown
// (as the capture host's test driver logs its dialog) and quits.
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>

namespace {

class ShownDialog : public QDialog {
 protected:
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    std::printf("shown %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ShownDialog dialog;
  dialog.resize(540, 520);
  dialog.show();
  return QApplication::exec();
}
