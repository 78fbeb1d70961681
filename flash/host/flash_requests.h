// glintcatch-host's requests (messaging/flash_request.h):
//   probe       {"ok":true,"movieUrl":"...","movieName":"...","ownFolder":false,
//                "showToolbar":true,"showMenu":true}
//               the movie's address resolved against the page's, whether it
//               lies in the Flash folder (no bar, no menu for those), the
//               name it would be saved under, and both options read afresh
//   options     {"ok":true,"showToolbar":true,"showMenu":true,"flashFolder":"..."}
//   folder-tree, open-movie, read-movie   see flash/host/folder_requests.h
//   dialog      {"ok":true,"accepted":true}   once the Options (accepted: OK),
//               About or Help has been shown and closed
//   save-movie, save-page     {"ok":true,"result":"0x...","saved":true,"message":"..."}
//               handed to the Searcher class of libglintcatch.so, found
//               through the settings store as the browser finds it, as the
//               browser window of the page (with its frames); the reply
//               comes once the save and download dialogs are closed
#pragma once

#include <string>
#include <string_view>

#include "flash/host/folder_requests.h"
#include "flash/iglintcatch.h"
#include "messaging/flash_request.h"
#include "nativehost/host_session.h"
#include "platform/com/object.h"
#include "platform/registry.h"

namespace velkin::flash::host {

// The answer to a save when the library is not registered or cannot be loaded.
inline constexpr char kSetupIncorrect[] = "glintcatch set up incorrect!\nPlease setup glintcatch again.";
inline constexpr char kSearcherProgId[] = "Glintcatch.Searcher.1";

class FlashRequests : public nativehost::MessageHandler {
 public:
  FlashRequests(nativehost::HostSession& session, bool callerAllowed);

  std::string answer(std::string_view body) override;

 private:
  std::string handle(const messaging::FlashRequest& request);
  std::string probe(const messaging::FlashRequest& request);
  std::string options(const messaging::FlashRequest& request);
  std::string save(const messaging::FlashRequest& request);
  std::string dialog(const messaging::FlashRequest& request);

  bool callerAllowed_;
  platform::Registry registry_;
  FolderRequests folders_;
};

}  // namespace velkin::flash::host
