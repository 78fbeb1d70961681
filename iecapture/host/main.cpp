// marrowind-host: the native messaging host of the browser extension. The
// browser starts it with the caller's identity in its arguments and talks
// to it over standard input and output (nativehost/, messaging/); each save
// request runs the capture library (libmarrowind.so, found through the
// settings store) whose capture dialog is a window of this process.
#include "iecapture/host/capture_requests.h"
#include "iecapture/host/test_dialog_driver.h"
#include "nativehost/host_main.h"
#include "platform/browser_extensions.h"

int main(int argc, char** argv) {
  using namespace velkin;
  nativehost::HostProgram program;
  program.extension = &platform::kMarrowindExtension;
  program.makeHandler = [](nativehost::HostSession&, bool callerAllowed) {
    return std::make_unique<iecapture::host::CaptureRequests>(callerAllowed);
  };
  program.started = iecapture::host::startTestDialogDriver;
  return nativehost::runHost(argc, argv, program);
}
