// Fetcher: fetches addresses one after another over one reused libcurl
// handle (keep-alive), proxy from the environment, connect and idle
// timeouts. Files are written to a temporary name beside the target and
// renamed when complete, so a failed or interrupted fetch leaves no file.
// "file://" addresses (and plain paths) are local copies. One Fetcher per
// thread.
#pragma once

#include <memory>
#include <string>

namespace velkin::capture {

struct FetchResult {
  bool ok = false;
  std::string error;       // why it failed, for the caller to show or trace
  std::string finalAddress;  // after redirects
  std::string contentType;
  std::string body;        // fetchText only
};

class Fetcher {
 public:
  Fetcher();
  ~Fetcher();
  Fetcher(const Fetcher&) = delete;
  Fetcher& operator=(const Fetcher&) = delete;

  // Fetches address into localPath (replacing an existing file only when the
  // fetch is complete). HTTP statuses of 400 and above are failures.
  FetchResult fetchToFile(const std::string& address, const std::string& localPath);
  // Fetches address into memory (the page itself), up to maxBytes.
  FetchResult fetchText(const std::string& address, size_t maxBytes = 64u << 20);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velkin::capture
