// Internal to the capture library: one web transfer as the single fetcher
// (fetcher.cpp) and the parallel download run (download_run.cpp) both run
// it. A handle set up by configureHandle carries every bound of a fetch
// (protocols, redirects, timeouts, certificate authorities); prepareTransfer
// points it at an address and a Transfer; receiveTransfer is its write
// callback (error bodies dropped, size counted against the limit, a local
// write failure noted); transferResult turns the finished transfer into a
// FetchResult.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>

#include "capture/fetcher.h"
#include "platform/file_util.h"

namespace velkin::capture::transfer {

// What one web transfer writes to: a pending file or a text in memory.
struct Transfer {
  CURL* handle = nullptr;
  platform::PendingFile* file = nullptr;
  std::string* body = nullptr;
  std::uint64_t maxBytes = 0;  // of the file or the body
  std::uint64_t received = 0;
  long status = -1;
  size_t discarded = 0;
  std::string failure;  // why the write callback stopped the transfer
  bool localFailure = false;
};

// curl_global_init, once per process.
void initLibraryOnce();

// Options shared by every transfer of handle; errorText (CURL_ERROR_SIZE
// bytes) receives the library's message for a failed transfer.
void configureHandle(CURL* handle, char* errorText);

// Points handle at address (percent-encoded into requested, which must live
// as long as the transfer) writing into transfer; clears errorText.
void prepareTransfer(CURL* handle, const std::string& address, std::string& requested, Transfer& transfer,
                     char* errorText);

// The outcome of a finished transfer of address (everything but the body).
FetchResult transferResult(CURL* handle, CURLcode code, const std::string& address, const Transfer& transfer,
                           const char* errorText);

// The failure of a pending file that could not be opened.
FetchResult openFailure(const platform::PendingFile& file);

// Renames a complete download into place; a failure to do so is local.
void commitFile(platform::PendingFile& file, FetchResult& result);

}  // namespace velkin::capture::transfer
