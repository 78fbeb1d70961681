// Fetcher: fetches addresses one after another over one reused libcurl
// handle (keep-alive), proxy from the environment, connect and idle
// timeouts. Files are written to a temporary name beside the target and
// renamed when complete, so a failed or interrupted fetch leaves no file.
// "file://" addresses (and plain paths) are local copies. One Fetcher per
// thread. Fetched files are resources that can be fetched again: they are
// renamed into place without waiting for the disk.
//
// Web fetches follow up to 10 redirects, fail on HTTP statuses of 400 and
// above, accept any content encoding the library can decode and only speak
// http and https (a redirect elsewhere fails). An extra certificate
// authority for https (a private one) can be named by the environment
// variable VELKIN_CA_FILE (a PEM file); it is trusted in addition to the
// system's.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace velkin::capture {

struct FetchResult {
  bool ok = false;
  std::string error;       // why it failed, for the caller to show or trace
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

  // Fetches address into localPath (replacing an existing file only when the
  // fetch is complete). HTTP statuses of 400 and above are failures. A web
  // address (isWebAddress, capture/address.h) is downloaded; any other address is a local copy
  // of localSourcePath(address), which must be a regular file.
  FetchResult fetchToFile(const std::string& address, const std::string& localPath);
  // Fetches address into memory (the page itself), up to maxBytes.
  FetchResult fetchText(const std::string& address, size_t maxBytes = 64u << 20);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velkin::capture
