// marrowind-host's requests (messaging/request.h): saves run the capture
// object of libmarrowind.so, whose capture dialog is a window of this
// process; options read and set QuickSave.
#pragma once

#include <string>
#include <string_view>

#include "iecapture/ivelkin.h"
#include "messaging/reply.h"
#include "nativehost/host_session.h"
#include "platform/com/object.h"
#include "platform/registry.h"

namespace velkin::iecapture::host {

class CaptureRequests : public nativehost::MessageHandler {
 public:
  explicit CaptureRequests(bool callerAllowed) : callerAllowed_(callerAllowed) {}

  // Loads the library and makes the capture object while the browser
  // gathers the page, before the first request comes.
  void warmUp() override;
  std::string answer(std::string_view body) override;

 private:
  std::string save(const messaging::Request& request);
  std::string options(const messaging::Request& request);
  // The capture object, made once for the session (it keeps nothing between
  // calls).
  com::ComPtr<iecapture::IVelkin> captureObject(platform::Registry& registry);

  bool callerAllowed_;
  com::ComPtr<iecapture::IVelkin> captureObject_;
};

}  // namespace velkin::iecapture::host
