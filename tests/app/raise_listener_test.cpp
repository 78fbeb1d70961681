// The main program's end of Run Kestrova: a "raise" on its local socket
// brings the window up, anything else is ignored, and a socket file left
// behind by an ended program does not keep it from listening.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QWidget>

#include "app/raise_listener.h"
#include "support/test_support.h"

namespace {

class RaiseListener : public velkin::testing::IsolatedTest {
 protected:
  const QString name_ = QStringLiteral("velkin-raise-test-%1").arg(reinterpret_cast<quintptr>(this), 0, 16);

  // Connects and sends request; the listener answers once events run.
  static void send(const QString& name, const QByteArray& request) {
    QLocalSocket socket;
    socket.connectToServer(name);
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write(request);
    ASSERT_TRUE(socket.waitForBytesWritten(5000));
  }
};

TEST_F(RaiseListener, ShowsTheWindowOnRaiseOnly) {
  // A file in the socket's place, as a killed program leaves it.
  const QString stale = QDir(QDir::tempPath()).filePath(name_);
  velkin::testing::writeTextFile(stale.toStdString(), "");
  QWidget window;
  window.showMinimized();
  CRaiseListener listener(window, name_);
  ASSERT_TRUE(listener.isListening());
  QSignalSpy raised(&listener, &CRaiseListener::raised);

  // Requests are answered in order: the first is not a raise.
  send(name_, "close\n");
  send(name_, "raise\n");
  while (raised.count() == 0 && raised.wait(5000)) {
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(raised.count(), 1);
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized());
  QLocalServer::removeServer(name_);
}

}  // namespace
