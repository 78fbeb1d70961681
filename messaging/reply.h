// The host's replies, one per request and never above the browsers' 1 MiB
// limit: a reply that would pass it has its "message" or "error" cut (at a
// character boundary, marked with "..."), so the extension always gets an
// answer it can read.
//   {"ok":true,"version":"2.5"}                                   ping
//   {"ok":true,"result":"0x00000000","saved":true,"pagePath":"...","message":"...","quickSave":true}
//   {"ok":true,"quickSave":false}                                 options
//   {"ok":false,"error":"why"}                                    refused
// each with the request's "id" when it had one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "messaging/request.h"

namespace velkin::messaging {

inline constexpr char kCallerNotAllowed[] = "caller not allowed";
// A save whose page snapshot cannot be read.
inline constexpr char kUnreadableSnapshot[] = "The page's snapshot cannot be read.";

// What a save request did: the capture method's result, whether the page
// was written and where, and what went wrong (optional).
struct SaveOutcome {
  std::uint32_t result = 0;
  bool saved = false;
  std::string pagePath;
  std::string message;
  bool quickSave = false;  // saved without asking (QuickSave): the extension tells where the page went
};

// "0x80004005"
std::string resultText(std::uint32_t result);

std::string pingReply(const nlohmann::json& id);
std::string saveReply(const nlohmann::json& id, const SaveOutcome& outcome);
std::string optionsReply(const nlohmann::json& id, bool quickSave);
std::string errorReply(const nlohmann::json& id, std::string_view error);
// {"ok":true} with the members of fields (an object) and the id, fitted.
std::string okReply(const nlohmann::json& id, nlohmann::json fields);

// The serialized reply, cut to kMaxOutgoingBytes (see above).
std::string fittedReply(nlohmann::json reply);

// The reply to one message: the caller check, the request's checks and
// ping are answered here; saves and options go to handle, which gives the
// reply.
using RequestHandler = std::function<std::string(const Request& request)>;

// The same for any host's requests, once read: a refused caller or request
// gets an error reply, ping its reply, the rest go to handle.
template <class R, class Kind>
std::string answerParsed(const ParsedMessage<R>& parsed, bool callerAllowed, Kind ping,
                         const std::function<std::string(const R& request)>& handle) {
  if (!callerAllowed) return errorReply(parsed.id, kCallerNotAllowed);
  if (!parsed.request) return errorReply(parsed.id, parsed.error);
  if (parsed.request->kind == ping) return pingReply(parsed.id);
  return handle(*parsed.request);
}
std::string answerMessage(std::string_view body, bool callerAllowed, const RequestHandler& handle);

// The reply to a frame whose length is above the incoming limit.
std::string tooLargeReply(std::uint32_t length);

}  // namespace velkin::messaging
