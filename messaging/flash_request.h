// The requests of the Flash extension to glintcatch-host, read and checked
// field by field like the capture requests (messaging/request.h):
//   {"request":"ping"}
//   {"request":"probe","pageUrl":"...","movie":"..."}   a movie the page shows
//   {"request":"options"}
//   {"request":"folder-tree","operation":"list"|"refresh"}
//   {"request":"folder-tree","operation":"expand"|"new-folder"|"delete","path":[...]}
//   {"request":"folder-tree","operation":"rename","path":[...],"name":"..."}
//   {"request":"open-movie","path":[...]}
//   {"request":"save-movie","pageUrl":"...","movie":"..."}
//   {"request":"save-page","snapshot":{...},"frames":[{...},...]}
//                 the top document and its own frames' documents (optional)
//   {"request":"dialog","dialog":"options"|"about"|"help"}
//   {"request":"read-movie","path":[...],"offset":N}   a movie's bytes, a chunk at a time
// A path names a tree item by the texts shown from below the root down
// ([] is the root itself), never by a file path: the host finds only what it
// listed itself, inside the Flash folder. Each with an optional "id".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "messaging/message_reader.h"
#include "messaging/reply.h"

namespace velkin::messaging {

inline constexpr size_t kMaxPathSteps = 256;
inline constexpr size_t kMaxFrames = 256;

enum class FlashRequestKind { Ping, Probe, Options, FolderTree, OpenMovie, SaveMovie, SavePage, Dialog, ReadMovie };
enum class FlashDialog { Options, About, Help };
enum class FolderOperation { List, Expand, NewFolder, Rename, Delete, Refresh };

struct FlashRequest {
  FlashRequestKind kind = FlashRequestKind::Ping;
  std::string pageUrl;   // probe, save-movie
  std::string movie;     // probe, save-movie: the movie as the page names it
  FolderOperation operation = FolderOperation::List;
  std::vector<std::string> path;  // folder-tree (not list/refresh), open-movie, read-movie
  std::string name;      // rename
  std::string snapshot;  // save-page: the snapshot's JSON text
  std::vector<std::string> frames;  // save-page: the frames' snapshots' JSON texts
  FlashDialog dialog = FlashDialog::Options;
  std::uint64_t offset = 0;  // read-movie
  nlohmann::json id;
};

using ParsedFlashRequest = ParsedMessage<FlashRequest>;

ParsedFlashRequest parseFlashRequest(std::string_view body);

// The reply to one message: the caller check, the request's checks and
// ping are answered here; every other request goes to handle.
using FlashRequestHandler = std::function<std::string(const FlashRequest& request)>;
std::string answerFlashMessage(std::string_view body, bool callerAllowed, const FlashRequestHandler& handle);

}  // namespace velkin::messaging
