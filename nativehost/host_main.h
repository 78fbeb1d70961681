// A native host program's setup: the caller check against its extension,
// standard output kept for messages only, the application and the session.
#pragma once

#include <functional>
#include <memory>

#include "nativehost/host_session.h"
#include "platform/browser_extensions.h"

namespace velkin::nativehost {

struct HostProgram {
  const platform::BrowserExtension* extension = nullptr;
  // The host's requests; callerAllowed says whether the browser started the
  // host for the extension (a refused caller still gets answers that say so).
  std::function<std::unique_ptr<MessageHandler>(HostSession& session, bool callerAllowed)> makeHandler;
  // Called once the session has started (test drivers).
  std::function<void()> started;
};

// Runs the host until its conversation ends; the process's exit status.
int runHost(int argc, char** argv, const HostProgram& program);

}  // namespace velkin::nativehost
