// The new-version check without any toolkit: the texts the check shows, the
// address of the update notice, and the fetch of the notice itself.
//
// The notice is a plain text file, "english/kestrova/version.ini" below the
// update server's base address. That address is the string UpdateServer of
// SOFTWARE\Kestrova (machine root), the maker's site when unset. The fetch
// uses libcurl (capture::Fetcher) with the user agent "CheckNewVersion" and
// the proxy of the environment, and is bounded: kMaxNoticeBytes, a connect
// timeout and kCheckTimeLimitSeconds for the whole transfer. It blocks: run
// it off the UI thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "velkin/product.h"

namespace velkin::app {

inline constexpr char kUpdateServerValue[] = "UpdateServer";
inline constexpr char kDefaultUpdateServer[] = "https://www.velkinweb.example/";
inline constexpr char kNoticePath[] = "english/kestrova/version.ini";
inline constexpr char kCheckUserAgent[] = "CheckNewVersion";
// The notice is free text meant for reading: anything larger is no notice.
inline constexpr std::size_t kMaxNoticeBytes = std::size_t{1} << 20;
inline constexpr long kCheckTimeLimitSeconds = 30;

inline constexpr char kCheckingText[] = "Checking lastest version...\r\n";
inline constexpr char kCheckFailedText[] = "Failed to check new version, please check your internet connection.\r\n";

// The dialog's first line: "Current Version: " with the product's name and
// version, without a line break.
std::string currentVersionText();

// The update server's base address: UpdateServer when it can be read and is
// not empty, else kDefaultUpdateServer.
std::string updateServer(platform::Registry& registry);
// The notice's address below server ("/" put between them when missing).
std::string noticeAddress(const std::string& server);

// Fetches the notice at address: its exact bytes, or nullopt when it cannot
// be had whole (no connection, an HTTP error status, a cut-off or oversized
// notice, an address that is not http or https, or *cancel turned true).
// The reason of a failure goes to the trace.
std::optional<std::string> fetchNotice(const std::string& address, const std::atomic<bool>* cancel = nullptr);

}  // namespace velkin::app
