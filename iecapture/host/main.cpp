// marrowind-host: the native messaging host of the browser extension. The
// browser starts it with the caller's identity in its arguments and talks
// to it over standard input and output (messaging/); each save request runs
// the capture library (libmarrowind.so, found through the settings store)
// whose capture dialog is a window of this process.
#include <unistd.h>

#include <QApplication>
#include <string>
#include <vector>

#include "iecapture/host/host_session.h"
#include "iecapture/host/test_dialog_driver.h"
#include "messaging/caller.h"
#include "platform/browser_extensions.h"
#include "platform/trace.h"

int main(int argc, char** argv) {
  using namespace velkin;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const bool allowed = messaging::callerAllowed(arguments, platform::kMarrowindExtension);
  if (!allowed) platform::trace("marrowind-host", "caller not allowed: " + (arguments.empty() ? "" : arguments[0]));
  // Standard output carries messages only: the messages get a descriptor of
  // their own, and anything else written to standard output (by a library,
  // by Qt) goes to standard error.
  const int messages = dup(STDOUT_FILENO);
  if (messages < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  iecapture::host::HostSession session(STDIN_FILENO, messages, allowed);
  session.start();
  iecapture::host::startTestDialogDriver();
  return QApplication::exec();
}
