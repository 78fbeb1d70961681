#include "app/raise_listener.h"

#include <QLocalSocket>
#include <QWidget>

#include "platform/paths.h"
#include "platform/trace.h"

CRaiseListener::CRaiseListener(QWidget& window, const QString& name, QObject* parent)
    : QObject(parent), window_(window) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, &CRaiseListener::acceptConnection);
  if (server_.listen(name)) return;
  // A socket file of a main program that did not close it blocks the name.
  QLocalServer::removeServer(name);
  if (!server_.listen(name)) {
    velkin::platform::trace("raise listener", "cannot listen on " + name.toStdString() + ": " +
                                                  server_.errorString().toStdString());
  }
}

void CRaiseListener::acceptConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      const QByteArray request = socket->readAll().trimmed();
      if (request != QByteArray(velkin::platform::kRaiseRequest)) return;
      if (window_.isMinimized()) {
        window_.showNormal();
      } else {
        window_.show();
      }
      window_.raise();
      window_.activateWindow();
      emit raised();
      socket->disconnectFromServer();
    });
  }
}
