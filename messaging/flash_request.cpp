#include "messaging/flash_request.h"

#include <utility>

#include "messaging/message_reader.h"

namespace velkin::messaging {
namespace {

using Json = nlohmann::json;

std::optional<FlashRequestKind> kindNamed(const std::string& name) {
  static const std::pair<const char*, FlashRequestKind> kinds[] = {
      {"ping", FlashRequestKind::Ping},           {"probe", FlashRequestKind::Probe},
      {"options", FlashRequestKind::Options},     {"folder-tree", FlashRequestKind::FolderTree},
      {"open-movie", FlashRequestKind::OpenMovie}, {"save-movie", FlashRequestKind::SaveMovie},
      {"save-page", FlashRequestKind::SavePage},   {"dialog", FlashRequestKind::Dialog},
      {"read-movie", FlashRequestKind::ReadMovie}};
  for (const auto& [text, kind] : kinds) {
    if (name == text) return kind;
  }
  return std::nullopt;
}

// The value a text member names in names; refused as "unknown WHAT" when
// it names none.
template <class T, size_t N>
T namedMember(const Json& message, const char* member, const std::pair<const char*, T> (&names)[N],
              const char* what) {
  const std::string name = requiredString(message, member);
  for (const auto& [text, value] : names) {
    if (name == text) return value;
  }
  refuse("unknown " + std::string(what) + " \"" + name.substr(0, 64) + "\"");
}

FolderOperation operationOf(const Json& message) {
  static const std::pair<const char*, FolderOperation> operations[] = {
      {"list", FolderOperation::List},     {"expand", FolderOperation::Expand},
      {"new-folder", FolderOperation::NewFolder}, {"rename", FolderOperation::Rename},
      {"delete", FolderOperation::Delete}, {"refresh", FolderOperation::Refresh}};
  return namedMember(message, "operation", operations, "folder operation");
}

std::vector<std::string> itemPath(const Json& message) {
  const auto path = message.find("path");
  if (path == message.end() || !path->is_array()) refuse("\"path\" is missing or not an array");
  if (path->size() > kMaxPathSteps) refuse("\"path\" has more than " + std::to_string(kMaxPathSteps) + " steps");
  std::vector<std::string> steps;
  for (const Json& step : *path) {
    if (!step.is_string() || step.get<std::string>().empty()) refuse("\"path\" holds a step that is not a text");
    steps.push_back(step.get<std::string>());
  }
  return steps;
}

FlashDialog dialogOf(const Json& message) {
  static const std::pair<const char*, FlashDialog> dialogs[] = {
      {"options", FlashDialog::Options}, {"about", FlashDialog::About}, {"help", FlashDialog::Help}};
  return namedMember(message, "dialog", dialogs, "dialog");
}

std::uint64_t offsetOf(const Json& message) {
  const auto offset = message.find("offset");
  if (offset == message.end()) return 0;
  if (!offset->is_number_unsigned()) refuse("\"offset\" is not a whole number");
  return offset->get<std::uint64_t>();
}

void readFolderTree(const Json& message, FlashRequest& request) {
  request.operation = operationOf(message);
  if (request.operation == FolderOperation::List || request.operation == FolderOperation::Refresh) return;
  request.path = itemPath(message);
  if (request.operation == FolderOperation::Rename) request.name = requiredString(message, "name", true);
}

FlashRequest readRequest(const Json& message) {
  const std::string name = requestName(message);
  const std::optional<FlashRequestKind> kind = kindNamed(name);
  if (!kind) refuseUnknown(name);
  FlashRequest request;
  request.kind = *kind;
  switch (request.kind) {
    case FlashRequestKind::Probe:
    case FlashRequestKind::SaveMovie:
      request.pageUrl = requiredString(message, "pageUrl", true);
      request.movie = requiredString(message, "movie");
      break;
    case FlashRequestKind::FolderTree:
      readFolderTree(message, request);
      break;
    case FlashRequestKind::OpenMovie:
      request.path = itemPath(message);
      break;
    case FlashRequestKind::SavePage:
      request.snapshot = snapshotText(message);
      request.frames = snapshotTexts(message, "frames", kMaxFrames);
      break;
    case FlashRequestKind::Dialog:
      request.dialog = dialogOf(message);
      break;
    case FlashRequestKind::ReadMovie:
      request.path = itemPath(message);
      request.offset = offsetOf(message);
      break;
    default:
      break;
  }
  return request;
}

}  // namespace

ParsedFlashRequest parseFlashRequest(std::string_view body) { return parseMessage(body, readRequest); }

std::string answerFlashMessage(std::string_view body, bool callerAllowed, const FlashRequestHandler& handle) {
  return answerParsed(parseFlashRequest(body), callerAllowed, FlashRequestKind::Ping, handle);
}

}  // namespace velkin::messaging
