// glintcatch-host: the native messaging host of the Flash extension. It
// answers the content scripts' probes, the options, the side panel's
// folder tree (with its change events) and saves through libglintcatch.so,
// found through the settings store as the browser finds it.
#include "flash/host/flash_requests.h"
#include "flash/host/test_save_driver.h"
#include "nativehost/host_main.h"
#include "platform/browser_extensions.h"

int main(int argc, char** argv) {
  using namespace velkin;
  nativehost::HostProgram program;
  program.extension = &platform::kGlintcatchExtension;
  program.makeHandler = [](nativehost::HostSession& session, bool callerAllowed) {
    return std::make_unique<flash::host::FlashRequests>(session, callerAllowed);
  };
  program.started = flash::host::startTestSaveDriver;
  return nativehost::runHost(argc, argv, program);
}
