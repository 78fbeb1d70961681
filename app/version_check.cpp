#include "app/version_check.h"

#include "capture/address.h"
#include "capture/fetcher.h"
#include "kb/book_dir.h"
#include "platform/trace.h"

namespace velkin::app {

std::string currentVersionText() {
  return std::string("Current Version: ") + product::kName + " " + product::kVersion;
}

std::string updateServer(platform::Registry& registry) {
  const auto server = registry.readString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kUpdateServerValue);
  return server && !server->empty() ? *server : std::string(kDefaultUpdateServer);
}

std::string noticeAddress(const std::string& server) {
  if (!server.empty() && server.back() == '/') return server + kNoticePath;
  return server + "/" + kNoticePath;
}

std::optional<std::string> fetchNotice(const std::string& address, const std::atomic<bool>* cancel) {
  // Only the web: a settings value must not make the check read local files.
  if (!capture::hasWebScheme(address)) {
    platform::trace("version check", "not a web address: " + address);
    return std::nullopt;
  }
  capture::Fetcher fetcher;
  fetcher.setUserAgent(kCheckUserAgent);
  fetcher.setTimeLimit(kCheckTimeLimitSeconds);
  fetcher.setCancelFlag(cancel);
  capture::FetchResult result = fetcher.fetchText(address, kMaxNoticeBytes);
  if (!result.ok) {
    platform::trace("version check", address + ": " + result.error);
    return std::nullopt;
  }
  return std::move(result.body);
}

}  // namespace velkin::app
