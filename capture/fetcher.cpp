#include "capture/fetcher.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

#include "capture/address.h"
#include "capture/transfer.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "velkin/product.h"

namespace velkin::capture {

using transfer::Transfer;

namespace {

constexpr auto& kUserAgent = product::kUserAgent;
constexpr char kFileScheme[] = "file://";
constexpr long kMaxRedirects = 10;
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kIdleBytesPerSecond = 1;
constexpr long kIdleSeconds = 30;
constexpr long kTransferTimeoutSeconds = 15 * 60;
// An error response's body is read and dropped (so the connection can serve
// the next request) up to this size; a longer one ends the connection.
constexpr size_t kErrorBodyLimit = 64u << 10;

std::string errnoText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// "larger than 64 MiB", in the largest unit that states the limit exactly.
std::string tooLargeText(std::uint64_t maxBytes) {
  static constexpr const char* kUnits[] = {"bytes", "KiB", "MiB", "GiB"};
  size_t unit = 0;
  while (unit + 1 < std::size(kUnits) && maxBytes >= 1024 && maxBytes % 1024 == 0) {
    maxBytes /= 1024;
    ++unit;
  }
  return "larger than " + std::to_string(maxBytes) + " " + kUnits[unit];
}

// Addresses keep the bytes the page wrote (blanks, UTF-8 letters); a request
// line cannot carry those, so they are percent-encoded here, as a browser
// does when it requests them. Existing escapes are left as they are.
std::string requestAddress(const std::string& address) {
  return percentEncoded(address, [](unsigned char byte) {
    return byte <= 0x20 || byte >= 0x7F || std::string_view("\"<>\\^`{|}").find(static_cast<char>(byte)) !=
                                                std::string_view::npos;
  });
}

// An open descriptor closed when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// Opens a local source for reading, refusing anything but a regular file
// (a folder, a device or a FIFO would fail, never end, or block).
FetchResult openLocalSource(const std::string& source, Descriptor& descriptor) {
  FetchResult result;
  if (source.empty() || source.find('\0') != std::string::npos) {
    result.error = "not a local file address";
    return result;
  }
  descriptor.fd = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat info {};
  if (descriptor.fd < 0 || fstat(descriptor.fd, &info) != 0) {
    result.error = errnoText("cannot read", source);
  } else if (!S_ISREG(info.st_mode)) {
    result.error = source + " is not a regular file";
  } else {
    result.ok = true;
  }
  return result;
}

// Reads the descriptor to its end, handing each piece to sink; stops with
// false when sink refuses a piece or reading fails (errno tells which).
template <typename Sink>
bool readAll(int fd, Sink&& sink) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!sink(buffer, static_cast<size_t>(got))) return false;
  }
}

FetchResult copyLocalFile(const std::string& source, const std::string& localPath, std::uint64_t maxBytes) {
  Descriptor input;
  FetchResult result = openLocalSource(source, input);
  if (!result.ok) return result;
  result.ok = false;
  platform::PendingFile output(localPath);
  if (!output.error().empty()) return transfer::openFailure(output);
  std::uint64_t copied = 0;
  bool tooLarge = false;
  const bool read = readAll(input.fd, [&](const char* data, size_t size) {
    copied += size;
    tooLarge = copied > maxBytes;
    return !tooLarge && output.write(std::string_view(data, size));
  });
  if (!read) {
    result.localFailure = !tooLarge && !output.error().empty();
    result.error = tooLarge ? source + " is " + tooLargeText(maxBytes)
                   : result.localFailure ? output.error()
                                         : errnoText("cannot read", source);
    return result;
  }
  result.ok = true;
  transfer::commitFile(output, result);
  return result;
}

FetchResult readLocalFile(const std::string& source, size_t maxBytes) {
  Descriptor input;
  FetchResult result = openLocalSource(source, input);
  if (!result.ok) return result;
  bool tooLarge = false;
  const bool read = readAll(input.fd, [&](const char* data, size_t size) {
    tooLarge = result.body.size() + size > maxBytes;
    if (!tooLarge) result.body.append(data, size);
    return !tooLarge;
  });
  result.ok = read;
  if (tooLarge) result.error = source + " is " + tooLargeText(maxBytes);
  else if (!read) result.error = errnoText("cannot read", source);
  if (!result.ok) result.body.clear();
  return result;
}

// The system's certificate authorities followed by the extra file's, as one
// PEM text; "" when no extra file is named or it cannot be read.
std::string certificateAuthorities(CURL* handle) {
  const char* extraFile = std::getenv(kExtraCaFileVariable);
  if (extraFile == nullptr || *extraFile == '\0') return {};
  const auto extra = platform::readFile(extraFile);
  if (!extra) {
    platform::trace("fetch", std::string("cannot read ") + extraFile + " (" + kExtraCaFileVariable + ")");
    return {};
  }
  const char* systemFile = nullptr;
  std::string authorities;
  if (curl_easy_getinfo(handle, CURLINFO_CAINFO, &systemFile) == CURLE_OK && systemFile != nullptr) {
    authorities = platform::readFile(systemFile).value_or(std::string());
  }
  if (!authorities.empty() && authorities.back() != '\n') authorities += '\n';
  return authorities + *extra;
}

long responseStatus(CURL* handle) {
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

size_t receive(char* data, size_t size, size_t count, void* user) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (transfer.status < 0) transfer.status = responseStatus(transfer.handle);
  if (transfer.status >= 400) {
    transfer.discarded += bytes;
    return transfer.discarded <= kErrorBodyLimit ? bytes : 0;
  }
  transfer.received += bytes;
  if (transfer.received > transfer.maxBytes) {
    transfer.failure = tooLargeText(transfer.maxBytes);
    return 0;
  }
  if (transfer.file == nullptr) {
    transfer.body->append(data, bytes);
    return bytes;
  }
  if (transfer.file->write(std::string_view(data, bytes))) return bytes;
  transfer.failure = transfer.file->error();
  transfer.localFailure = true;
  return 0;
}

// The progress callback of a cancellable fetch: a non-zero answer ends the
// transfer.
int cancelRequested(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

}  // namespace

std::string localSourcePath(std::string_view address) {
  const size_t schemeLength = std::strlen(kFileScheme);
  if (address.size() >= schemeLength && platform::equalsIgnoreCase(address.substr(0, schemeLength), kFileScheme)) {
    const std::string_view path = address.substr(schemeLength);
    return !path.empty() && path.front() == '/' ? std::string(path) : std::string();
  }
  return !address.empty() && address.front() == '/' ? std::string(address) : std::string();
}

struct Fetcher::Impl {
  CURL* handle = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};

  Impl() {
    transfer::initLibraryOnce();
    handle = curl_easy_init();
    if (handle == nullptr) {
      platform::trace("fetch", "curl_easy_init failed");
      return;
    }
    transfer::configureHandle(handle, errorText);
  }

  ~Impl() {
    if (handle != nullptr) curl_easy_cleanup(handle);
  }

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // One web transfer into transfer's file or body; fills everything but the body.
  FetchResult perform(const std::string& address, Transfer& transfer) {
    if (handle == nullptr) {
      FetchResult result;
      result.error = "no transfer handle";
      return result;
    }
    std::string requested;
    transfer::prepareTransfer(handle, address, requested, transfer, errorText);
    const CURLcode code = curl_easy_perform(handle);
    return transfer::transferResult(handle, code, address, transfer, errorText);
  }
};

Fetcher::Fetcher() : impl_(std::make_unique<Impl>()) {}

Fetcher::~Fetcher() = default;

void Fetcher::setUserAgent(const std::string& agent) {
  if (impl_->handle != nullptr) curl_easy_setopt(impl_->handle, CURLOPT_USERAGENT, agent.c_str());
}

void Fetcher::setTimeLimit(long seconds) {
  if (impl_->handle != nullptr) curl_easy_setopt(impl_->handle, CURLOPT_TIMEOUT, seconds);
}

void Fetcher::setCancelFlag(const std::atomic<bool>* flag) {
  if (impl_->handle == nullptr) return;
  curl_xferinfo_callback callback = flag != nullptr ? cancelRequested : nullptr;
  curl_easy_setopt(impl_->handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(flag));
  curl_easy_setopt(impl_->handle, CURLOPT_XFERINFOFUNCTION, callback);
  curl_easy_setopt(impl_->handle, CURLOPT_NOPROGRESS, flag != nullptr ? 0L : 1L);
}

FetchResult Fetcher::fetchToFile(const std::string& address, const std::string& localPath) {
  if (!hasWebScheme(address)) return copyLocalFile(localSourcePath(address), localPath, maxFileSize_);
  platform::PendingFile file(localPath);
  if (!file.error().empty()) return transfer::openFailure(file);
  Transfer transfer;
  transfer.file = &file;
  transfer.maxBytes = maxFileSize_;
  FetchResult result = impl_->perform(address, transfer);
  transfer::commitFile(file, result);
  return result;
}

FetchResult Fetcher::fetchText(const std::string& address, size_t maxBytes) {
  if (!hasWebScheme(address)) {
    FetchResult result = readLocalFile(localSourcePath(address), maxBytes);
    result.finalAddress = address;
    return result;
  }
  std::string body;
  Transfer transfer;
  transfer.body = &body;
  transfer.maxBytes = maxBytes;
  FetchResult result = impl_->perform(address, transfer);
  if (result.ok) result.body = std::move(body);
  return result;
}

namespace transfer {

void initLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK) platform::trace("fetch", std::string("curl_global_init: ") + curl_easy_strerror(code));
  });
}

void configureHandle(CURL* handle, char* errorText) {
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kIdleBytesPerSecond);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kIdleSeconds);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receive);
  std::string authorities = certificateAuthorities(handle);
  if (!authorities.empty()) {
    curl_blob blob{authorities.data(), authorities.size(), CURL_BLOB_COPY};
    curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &blob);
  }
}

void prepareTransfer(CURL* handle, const std::string& address, std::string& requested, Transfer& transfer,
                     char* errorText) {
  errorText[0] = '\0';
  transfer.handle = handle;
  requested = requestAddress(address);
  curl_easy_setopt(handle, CURLOPT_URL, requested.c_str());
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  // Refused at once when the server announces a larger size.
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.maxBytes));
}

FetchResult transferResult(CURL* handle, CURLcode code, const std::string& address, const Transfer& transfer,
                           const char* errorText) {
  FetchResult result;
  char* finalAddress = nullptr;
  char* contentType = nullptr;
  curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &finalAddress);
  curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &contentType);
  result.finalAddress = finalAddress != nullptr ? finalAddress : address;
  result.contentType = contentType != nullptr ? contentType : "";
  const long status = responseStatus(handle);
  if (status >= 400) {
    result.error = "HTTP status " + std::to_string(status);
  } else if (code == CURLE_FILESIZE_EXCEEDED) {
    result.error = tooLargeText(transfer.maxBytes);
  } else if (code != CURLE_OK) {
    result.error = !transfer.failure.empty() ? transfer.failure
                   : errorText[0] != '\0'    ? std::string(errorText)
                                             : std::string(curl_easy_strerror(code));
    result.localFailure = transfer.localFailure;
  } else {
    result.ok = true;
  }
  return result;
}

FetchResult openFailure(const platform::PendingFile& file) {
  FetchResult result;
  result.error = file.error();
  result.localFailure = true;
  return result;
}

void commitFile(platform::PendingFile& file, FetchResult& result) {
  if (!result.ok) return;
  result.error = file.commit(platform::PendingFile::Sync::Skip);
  result.ok = result.error.empty();
  result.localFailure = !result.ok;
}

}  // namespace transfer

}  // namespace velkin::capture
