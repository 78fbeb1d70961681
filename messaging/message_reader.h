// What every host's request reader shares: the message read as bounded JSON
// (platform/document_snapshot.h), its optional "id" (any JSON value of at
// most kMaxIdBytes, echoed by the reply), its "request" name, and field
// checks that refuse a request with a reason the extension can show.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace velkin::messaging {

inline constexpr size_t kMaxIdBytes = 1024;

// Thrown by the field checks inside readMessage's reader.
struct Refused {
  std::string reason;
};
[[noreturn]] void refuse(std::string reason);

// The message's "request" member, which must be a string.
std::string requestName(const nlohmann::json& message);
// The unknown request's refusal ("unknown request \"NAME\"", cut to 64 bytes).
[[noreturn]] void refuseUnknown(const std::string& name);
// A required string member (refused when missing, not a string, or empty
// unless allowEmpty).
std::string requiredString(const nlohmann::json& message, const char* name, bool allowEmpty = false);
// An optional true/false member.
std::optional<bool> optionalBool(const nlohmann::json& message, const char* name);
// The message's "snapshot" member (an object) as JSON text.
std::string snapshotText(const nlohmann::json& message);
// An optional array member of snapshots (objects), each as JSON text; none
// when absent, refused beyond limit.
std::vector<std::string> snapshotTexts(const nlohmann::json& message, const char* name, size_t limit);

struct MessageRead {
  bool read = false;
  std::string error;  // why the reader did not finish
  nlohmann::json id;  // echoed in the reply when it could be read
};

// Parses body and calls reader with the message object; every refusal,
// JSON error or lack of memory becomes the error.
MessageRead readMessage(std::string_view body, const std::function<void(const nlohmann::json& message)>& reader);

// A host's request as read from one message: the request (with the id
// set), or why there is none.
template <class R>
struct ParsedMessage {
  std::optional<R> request;
  std::string error;  // why there is no request
  nlohmann::json id;  // echoed in the error reply when it could be read
};

// The request that read makes of body's message, with refusals as above.
template <class R>
ParsedMessage<R> parseMessage(std::string_view body, R (*read)(const nlohmann::json& message)) {
  ParsedMessage<R> parsed;
  const MessageRead result = readMessage(body, [&parsed, read](const nlohmann::json& message) {
    parsed.request = read(message);
  });
  parsed.id = result.id;
  parsed.error = result.error;
  if (parsed.request) parsed.request->id = parsed.id;
  return parsed;
}

}  // namespace velkin::messaging
