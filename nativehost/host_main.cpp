#include "nativehost/host_main.h"

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <string>
#include <vector>

#include "messaging/caller.h"
#include "platform/trace.h"
#include "uikit/web_engine_setup.h"

namespace velkin::nativehost {

int runHost(int argc, char** argv, const HostProgram& program) {
  const platform::BrowserExtension& extension = *program.extension;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const bool allowed = messaging::callerAllowed(arguments, extension);
  if (!allowed) {
    platform::trace(extension.hostProgram, "caller not allowed: " + (arguments.empty() ? "" : arguments[0]));
  }
  // Standard output carries messages only: the messages get a descriptor of
  // their own, and anything else written to standard output (by a library,
  // by Qt) goes to standard error.
  const int messages = dup(STDOUT_FILENO);
  if (messages < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
  // A browser that has gone away makes a write fail, which ends the
  // conversation, instead of killing the host in the middle of a save.
  signal(SIGPIPE, SIG_IGN);

  // The Flash host's preview is a web view.
  uikit::prepareWebEngine();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  HostSession session(STDIN_FILENO, messages);
  const std::unique_ptr<MessageHandler> handler = program.makeHandler(session, allowed);
  session.start(*handler);
  if (program.started) program.started();
  return QApplication::exec();
}

}  // namespace velkin::nativehost
