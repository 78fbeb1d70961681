// The requests of the browser extension, read and checked field by field:
//   {"request":"ping"}
//   {"request":"save-page","snapshot":{...}}
//   {"request":"save-selection","snapshot":{...}}
//   {"request":"save-picture","snapshot":{...},"pictureAddress":"..."}
//   {"request":"options"}                      reads the host's options
//   {"request":"options","quickSave":true}     changes them, then reads them
// each with an optional "id" (any JSON value of at most kMaxIdBytes) that
// the reply echoes. Other members are ignored, so that a newer extension
// still reaches an older host. The snapshot keeps the bounds of a snapshot
// message (platform/document_snapshot.h) and is passed on as JSON text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "messaging/message_reader.h"

namespace velkin::messaging {

enum class RequestKind { Ping, SavePage, SaveSelection, SavePicture, Options };

struct Request {
  RequestKind kind = RequestKind::Ping;
  std::string snapshot;        // the snapshot's JSON text (saves)
  std::string pictureAddress;  // save-picture
  std::optional<bool> quickSave;  // options: the new QuickSave setting, if one is given
  nlohmann::json id;           // null when absent
};

using ParsedRequest = ParsedMessage<Request>;

ParsedRequest parseRequest(std::string_view body);

}  // namespace velkin::messaging
