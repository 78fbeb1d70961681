#include "messaging/request.h"

#include "messaging/message_reader.h"

namespace velkin::messaging {
namespace {

using Json = nlohmann::json;

std::optional<RequestKind> kindNamed(const std::string& name) {
  if (name == "ping") return RequestKind::Ping;
  if (name == "save-page") return RequestKind::SavePage;
  if (name == "save-selection") return RequestKind::SaveSelection;
  if (name == "save-picture") return RequestKind::SavePicture;
  if (name == "options") return RequestKind::Options;
  return std::nullopt;
}

Request readRequest(const Json& message) {
  const std::string name = requestName(message);
  const std::optional<RequestKind> kind = kindNamed(name);
  if (!kind) refuseUnknown(name);
  Request request;
  request.kind = *kind;
  if (request.kind == RequestKind::Ping) return request;
  if (request.kind == RequestKind::Options) {
    request.quickSave = optionalBool(message, "quickSave");
    return request;
  }
  request.snapshot = snapshotText(message);
  if (request.kind == RequestKind::SavePicture) request.pictureAddress = requiredString(message, "pictureAddress");
  return request;
}

}  // namespace

ParsedRequest parseRequest(std::string_view body) { return parseMessage(body, readRequest); }

}  // namespace velkin::messaging
