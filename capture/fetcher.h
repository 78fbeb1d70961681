// Fetcher: fetches addresses one after another over one reused libcurl
// handle (keep-alive), proxy from the environment, connect and idle
// timeouts. Files are written to a temporary name beside the target and
// renamed when complete, so a failed or interrupted fetch leaves no file.
// "file://" addresses (and plain paths) are local copies. One Fetcher per
// thread. Fetched files are resources that can be fetched again: they are
// renamed into place without waiting for the disk.
//
// Every fetch is bounded: a file by the fetcher's largest file size (1 GiB
// unless set), a text by its own limit, and a transfer that stalls or runs
// on past a quarter of an hour is ended.
//
// Web fetches follow up to 10 redirects, fail on HTTP statuses of 400 and
// above, accept any content encoding the library can decode and only speak
// http and https (a redirect elsewhere fails). An extra certificate
// authority for https (a private one) can be named by the environment
// variable VELKIN_CA_FILE (a PEM file); it is trusted in addition to the
// system's.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velkin::capture {

// The largest resource a capture downloads unless told otherwise, and the
// largest page it takes from any source.
inline constexpr std::uint64_t kDefaultMaxFileSize = std::uint64_t{1} << 30;
inline constexpr size_t kMaxPageBytes = size_t{64} << 20;

struct FetchResult {
  bool ok = false;
  std::string error;       // why it failed, for the caller to show or trace
  // The failure is this machine's (no space, read-only, a name too long), not
  // the source's: the capture cannot be completed.
  bool localFailure = false;
  std::string finalAddress;  // after redirects
  std::string contentType;
  std::string body;        // fetchText only
};

// The environment variable naming an extra certificate authority file.
inline constexpr char kExtraCaFileVariable[] = "VELKIN_CA_FILE";

// The local file an address names: the rest after a leading "file://" (not
// percent-decoded), or the address itself when it is an absolute path; ""
// when the address names no local file by either form.
std::string localSourcePath(std::string_view address);

class Fetcher {
 public:
  Fetcher();
  ~Fetcher();
  Fetcher(const Fetcher&) = delete;
  Fetcher& operator=(const Fetcher&) = delete;

  // Files larger than this are failures, like a missing file.
  void setMaxFileSize(std::uint64_t bytes) { maxFileSize_ = bytes; }
  std::uint64_t maxFileSize() const { return maxFileSize_; }

  // The user agent of later web fetches (the product's unless set).
  void setUserAgent(const std::string& agent);
  // Ends a later web fetch that runs longer than this (a quarter of an hour
  // unless set).
  void setTimeLimit(long seconds);
  // A later web fetch ends, failing, soon after *flag turns true (checked
  // while the transfer waits or runs, about once a second at least). The
  // flag must outlive the fetches; nullptr checks nothing.
  void setCancelFlag(const std::atomic<bool>* flag);

  // Fetches address into localPath (replacing an existing file only when the
  // fetch is complete). HTTP statuses of 400 and above are failures. A web
  // address (hasWebScheme, capture/address.h) is downloaded; any other address is a local copy
  // of localSourcePath(address), which must be a regular file.
  FetchResult fetchToFile(const std::string& address, const std::string& localPath);
  // Fetches address into memory (the page itself), up to maxBytes.
  FetchResult fetchText(const std::string& address, size_t maxBytes = kMaxPageBytes);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::uint64_t maxFileSize_ = kDefaultMaxFileSize;
};

}  // namespace velkin::capture
