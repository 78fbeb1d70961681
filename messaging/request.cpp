#include "messaging/request.h"

#include "platform/document_snapshot.h"

namespace velkin::messaging {
namespace {

using Json = nlohmann::json;

struct Refused {
  std::string reason;
};

[[noreturn]] void refuse(std::string reason) { throw Refused{std::move(reason)}; }

std::optional<RequestKind> kindNamed(const std::string& name) {
  if (name == "ping") return RequestKind::Ping;
  if (name == "save-page") return RequestKind::SavePage;
  if (name == "save-selection") return RequestKind::SaveSelection;
  if (name == "save-picture") return RequestKind::SavePicture;
  if (name == "options") return RequestKind::Options;
  return std::nullopt;
}

// The id member as it will be echoed; null when absent or too large.
Json readId(const Json& message) {
  const auto id = message.find("id");
  if (id == message.end()) return nullptr;
  if (id->dump(-1, ' ', false, Json::error_handler_t::replace).size() > kMaxIdBytes) {
    refuse("\"id\" is larger than " + std::to_string(kMaxIdBytes) + " bytes");
  }
  return *id;
}

Request readRequest(const Json& message) {
  if (!message.is_object()) refuse("the message is not a JSON object");
  Request request;
  const auto name = message.find("request");
  if (name == message.end() || !name->is_string()) refuse("\"request\" is missing or not a string");
  const std::optional<RequestKind> kind = kindNamed(name->get<std::string>());
  if (!kind) refuse("unknown request \"" + name->get<std::string>().substr(0, 64) + "\"");
  request.kind = *kind;
  if (request.kind == RequestKind::Ping) return request;
  if (request.kind == RequestKind::Options) {
    const auto quickSave = message.find("quickSave");
    if (quickSave != message.end()) {
      if (!quickSave->is_boolean()) refuse("\"quickSave\" is not true or false");
      request.quickSave = quickSave->get<bool>();
    }
    return request;
  }
  const auto snapshot = message.find("snapshot");
  if (snapshot == message.end() || !snapshot->is_object()) refuse("\"snapshot\" is missing or not an object");
  request.snapshot = snapshot->dump(-1, ' ', false, Json::error_handler_t::replace);
  if (request.kind == RequestKind::SavePicture) {
    const auto address = message.find("pictureAddress");
    if (address == message.end() || !address->is_string()) refuse("\"pictureAddress\" is missing or not a string");
    request.pictureAddress = address->get<std::string>();
    if (request.pictureAddress.empty()) refuse("\"pictureAddress\" is empty");
  }
  return request;
}

}  // namespace

ParsedRequest parseRequest(std::string_view body) {
  ParsedRequest parsed;
  std::string error;
  const std::optional<std::string> text = platform::boundedJsonText(body, error);
  if (!text) {
    parsed.error = "the request cannot be read: " + error;
    return parsed;
  }
  try {
    const Json message = Json::parse(*text);
    if (message.is_object()) parsed.id = readId(message);
    parsed.request = readRequest(message);
    parsed.request->id = parsed.id;
  } catch (const Refused& refused) {
    parsed.error = refused.reason;
  } catch (const Json::exception& parseError) {
    const std::string_view detail = parseError.what();
    const size_t tagEnd = detail.find("] ");
    parsed.error = "the request is not valid JSON (" +
                   std::string(detail.substr(tagEnd == detail.npos ? 0 : tagEnd + 2)) + ")";
  } catch (const std::bad_alloc&) {
    parsed.error = "there is not enough memory to read the request";
  }
  return parsed;
}

}  // namespace velkin::messaging
