#include "messaging/reply.h"

#include <cstdio>

#include "messaging/framing.h"
#include "platform/text.h"
#include "velkin/product.h"

namespace velkin::messaging {
namespace {

using Json = nlohmann::json;

constexpr char kCutMark[] = "...";

std::string serialize(const Json& reply) { return reply.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json withId(Json reply, const Json& id) {
  if (!id.is_null()) reply["id"] = id;
  return reply;
}

}  // namespace

std::string resultText(std::uint32_t result) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
  return text;
}

std::string fittedReply(Json reply) {
  std::string text = serialize(reply);
  for (const char* field : {"message", "error"}) {
    auto member = reply.find(field);
    if (text.size() <= kMaxOutgoingBytes || member == reply.end() || !member->is_string()) continue;
    // The longest start of the text that fits once escaped (escapes make
    // the serialized text up to six times longer than the text).
    const std::string full = member->get<std::string>();
    size_t fits = 0;
    size_t tooLong = full.size();
    while (tooLong - fits > 1) {
      const size_t middle = fits + (tooLong - fits) / 2;
      *member = std::string(platform::cutAtCharacter(full, middle)) + kCutMark;
      (serialize(reply).size() <= kMaxOutgoingBytes ? fits : tooLong) = middle;
    }
    *member = std::string(platform::cutAtCharacter(full, fits)) + kCutMark;
    text = serialize(reply);
  }
  if (text.size() > kMaxOutgoingBytes) return serialize(Json{{"ok", false}, {"error", "the reply is too large"}});
  return text;
}

std::string pingReply(const Json& id) {
  return fittedReply(withId(Json{{"ok", true}, {"version", product::kVersion}}, id));
}

std::string saveReply(const Json& id, const SaveOutcome& outcome) {
  Json reply{{"ok", true}, {"result", resultText(outcome.result)}, {"saved", outcome.saved}};
  if (!outcome.pagePath.empty()) reply["pagePath"] = outcome.pagePath;
  if (!outcome.message.empty()) reply["message"] = outcome.message;
  if (outcome.quickSave) reply["quickSave"] = true;
  return fittedReply(withId(std::move(reply), id));
}

std::string optionsReply(const Json& id, bool quickSave) {
  return fittedReply(withId(Json{{"ok", true}, {"quickSave", quickSave}}, id));
}

std::string errorReply(const Json& id, std::string_view error) {
  return fittedReply(withId(Json{{"ok", false}, {"error", std::string(error)}}, id));
}

std::string okReply(const Json& id, Json fields) {
  fields["ok"] = true;
  return fittedReply(withId(std::move(fields), id));
}

std::string answerMessage(std::string_view body, bool callerAllowed, const RequestHandler& handle) {
  return answerParsed(parseRequest(body), callerAllowed, RequestKind::Ping, handle);
}

std::string tooLargeReply(std::uint32_t length) {
  return errorReply(nullptr, "the request of " + std::to_string(length) + " bytes is larger than " +
                                 std::to_string(kMaxIncomingBytes) + " bytes");
}

}  // namespace velkin::messaging
