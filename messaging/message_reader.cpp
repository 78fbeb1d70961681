#include "messaging/message_reader.h"

#include "platform/document_snapshot.h"

namespace velkin::messaging {
namespace {

using Json = nlohmann::json;

std::string serialize(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The id member as it will be echoed; null when absent.
Json readId(const Json& message) {
  const auto id = message.find("id");
  if (id == message.end()) return nullptr;
  if (serialize(*id).size() > kMaxIdBytes) refuse("\"id\" is larger than " + std::to_string(kMaxIdBytes) + " bytes");
  return *id;
}

}  // namespace

void refuse(std::string reason) { throw Refused{std::move(reason)}; }

std::string requestName(const Json& message) {
  if (!message.is_object()) refuse("the message is not a JSON object");
  const auto name = message.find("request");
  if (name == message.end() || !name->is_string()) refuse("\"request\" is missing or not a string");
  return name->get<std::string>();
}

void refuseUnknown(const std::string& name) { refuse("unknown request \"" + name.substr(0, 64) + "\""); }

std::string requiredString(const Json& message, const char* name, bool allowEmpty) {
  const auto member = message.find(name);
  if (member == message.end() || !member->is_string()) refuse("\"" + std::string(name) + "\" is missing or not a string");
  std::string value = member->get<std::string>();
  if (value.empty() && !allowEmpty) refuse("\"" + std::string(name) + "\" is empty");
  return value;
}

std::optional<bool> optionalBool(const Json& message, const char* name) {
  const auto member = message.find(name);
  if (member == message.end()) return std::nullopt;
  if (!member->is_boolean()) refuse("\"" + std::string(name) + "\" is not true or false");
  return member->get<bool>();
}

std::string snapshotText(const Json& message) {
  const auto snapshot = message.find("snapshot");
  if (snapshot == message.end() || !snapshot->is_object()) refuse("\"snapshot\" is missing or not an object");
  return serialize(*snapshot);
}

std::vector<std::string> snapshotTexts(const Json& message, const char* name, size_t limit) {
  const auto member = message.find(name);
  if (member == message.end()) return {};
  const std::string quoted = "\"" + std::string(name) + "\"";
  if (!member->is_array()) refuse(quoted + " is not an array");
  if (member->size() > limit) refuse(quoted + " holds more than " + std::to_string(limit) + " snapshots");
  std::vector<std::string> texts;
  for (const Json& snapshot : *member) {
    if (!snapshot.is_object()) refuse(quoted + " holds a snapshot that is not an object");
    texts.push_back(serialize(snapshot));
  }
  return texts;
}

MessageRead readMessage(std::string_view body, const std::function<void(const Json& message)>& reader) {
  MessageRead result;
  std::string error;
  const std::optional<std::string> text = platform::boundedJsonText(body, error);
  if (!text) {
    result.error = "the request cannot be read: " + error;
    return result;
  }
  try {
    const Json message = Json::parse(*text);
    if (message.is_object()) result.id = readId(message);
    reader(message);
    result.read = true;
  } catch (const Refused& refused) {
    result.error = refused.reason;
  } catch (const Json::exception& parseError) {
    const std::string_view detail = parseError.what();
    const size_t tagEnd = detail.find("] ");
    result.error = "the request is not valid JSON (" +
                   std::string(detail.substr(tagEnd == detail.npos ? 0 : tagEnd + 2)) + ")";
  } catch (const std::bad_alloc&) {
    result.error = "there is not enough memory to read the request";
  }
  return result;
}

}  // namespace velkin::messaging
