// CRaiseListener: the main program's end of the capture dialog's "Run
// Kestrova". It listens on the user's local socket
// (platform::mainProgramSocketName()) and, for every connection that sends
// platform::kRaiseRequest, shows the window, brings it to the front and
// activates it. A socket file left behind by a main program that ended
// without closing it is removed and listened on afresh.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class QWidget;

class CRaiseListener : public QObject {
  Q_OBJECT

 public:
  explicit CRaiseListener(QWidget& window, const QString& name, QObject* parent = nullptr);

  bool isListening() const { return server_.isListening(); }

 signals:
  void raised();  // the window was brought to the front

 private:
  void acceptConnection();

  QWidget& window_;
  QLocalServer server_;
};
