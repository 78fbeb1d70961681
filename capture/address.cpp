#include "capture/address.h"

#include <curl/curl.h>

#include <memory>

#include "platform/text.h"

namespace velkin::capture {
namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";
constexpr std::string_view kDriveMark = ":\\";
constexpr std::string_view kData = "data:";

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool beginsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && platform::equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Length of the scheme of text (letters, digits, "+", "-", "." after a
// first letter, then ":"), without the colon; 0 when text has none.
size_t schemeLength(std::string_view text) {
  if (text.empty() || !((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'))) return 0;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i;
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                    c == '-' || c == '.';
    if (!ok) return 0;
  }
  return 0;
}

// Where the authority of an address ends (the first "/", "?" or "#" after
// it), or 0 when the address has no authority. An authority follows a
// leading "//" or a scheme's "://".
size_t authorityEnd(std::string_view address) {
  size_t start;
  if (address.substr(0, 2) == "//") {
    start = 2;
  } else {
    const size_t scheme = schemeLength(address);
    if (scheme == 0 || address.substr(scheme, 3) != "://") return 0;
    start = scheme + 3;
  }
  const size_t end = address.find_first_of("/?#", start);
  return end == std::string_view::npos ? address.size() : end;
}

// libcurl percent-encodes blanks and bytes above 127 of a relative
// reference while it resolves it, which would change the address beyond
// what resolving means. Those bytes (and "%" itself, so that the marks can
// be told apart) are hidden as "%~XY" outside the authority before libcurl
// sees the text and restored afterwards; libcurl moves the marks around
// as any other path, query or fragment text.
constexpr char kHex[] = "0123456789ABCDEF";

bool needsHiding(unsigned char c) { return c == ' ' || c == '%' || c >= 0x80; }

std::string hideBytes(std::string_view text) {
  const size_t keep = authorityEnd(text);
  std::string out(text.substr(0, keep));
  out.reserve(text.size() + 16);
  for (size_t i = keep; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (needsHiding(c)) {
      out += "%~";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string restoreBytes(std::string_view text) {
  const size_t keep = authorityEnd(text);
  std::string out(text.substr(0, keep));
  out.reserve(text.size());
  for (size_t i = keep; i < text.size(); ++i) {
    if (text[i] == '%' && i + 3 < text.size() && text[i + 1] == '~' && hexValue(text[i + 2]) >= 0 &&
        hexValue(text[i + 3]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct UrlDeleter {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

// RFC 3986 resolution of value against the web address base with libcurl's
// URL API; nullopt when libcurl refuses either.
std::optional<std::string> combineWebAddress(std::string_view base, std::string_view value) {
  // libcurl takes C strings: a NUL inside would silently cut the text.
  if (contains(base, std::string_view("\0", 1)) || contains(value, std::string_view("\0", 1))) return std::nullopt;
  std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (!handle) return std::nullopt;
  // No CURLU_URLENCODE: nothing is to be encoded; other schemes than
  // libcurl's own (a web page may name any) are combined all the same.
  constexpr unsigned int kFlags = CURLU_NON_SUPPORT_SCHEME;
  const std::string hiddenBase = hideBytes(base);
  if (curl_url_set(handle.get(), CURLUPART_URL, hiddenBase.c_str(), kFlags) != CURLUE_OK) return std::nullopt;

  // A reference of a fragment alone keeps the whole base but its fragment
  // (libcurl drops the base's last path segment there).
  if (value.front() == '#') {
    std::string out(base.substr(0, base.find('#')));
    out.append(value);
    return out;
  }

  const std::string hiddenValue = hideBytes(value);
  if (curl_url_set(handle.get(), CURLUPART_URL, hiddenValue.c_str(), kFlags) != CURLUE_OK) return std::nullopt;
  char* combined = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_URL, &combined, 0) != CURLUE_OK || combined == nullptr) {
    return std::nullopt;
  }
  std::string out = restoreBytes(combined);
  curl_free(combined);

  // libcurl writes the scheme in small letters; keep the letters it had.
  const size_t valueScheme = schemeLength(value);
  const std::string_view scheme = valueScheme ? value.substr(0, valueScheme) : base.substr(0, schemeLength(base));
  if (!scheme.empty() && out.size() > scheme.size() && out[scheme.size()] == ':' &&
      platform::equalsIgnoreCase(std::string_view(out).substr(0, scheme.size()), scheme)) {
    out.replace(0, scheme.size(), scheme);
  }
  return out;
}

// Folder arithmetic for a base that is a path (or an address of another
// kind): steps 4 to 7 of resolving.
std::optional<std::string> combinePath(std::string_view base, std::string_view value) {
  const char separator = contains(base, kDriveMark) ? '\\' : '/';
  const size_t last = base.rfind(separator);
  if (last == std::string_view::npos) return std::nullopt;
  std::string_view folder = base.substr(0, last);
  // Each ".." (wherever it stands) takes the text up to one letter past it
  // off the value and the last component off the folder. Once the folder
  // has no separator left it stays as it is, but the ".." are still taken
  // off, as a path cannot go above its root (the file meant is the same).
  size_t from = 0;
  for (size_t dots = value.find("..", from); dots != std::string_view::npos; dots = value.find("..", from)) {
    from = std::min(dots + 3, value.size());
    const size_t cut = folder.rfind(separator);
    if (cut != std::string_view::npos) folder = folder.substr(0, cut);
  }
  std::string_view rest = value.substr(from);
  if (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.remove_prefix(1);
  std::string out;
  out.reserve(folder.size() + 1 + rest.size());
  out.append(folder);
  out += separator;
  out.append(rest);
  return out;
}

}  // namespace

bool isWebAddress(std::string_view address) { return contains(address, kHttp) || contains(address, kHttps); }

bool hasWebScheme(std::string_view address) {
  return beginsWithIgnoreCase(address, kHttp) || beginsWithIgnoreCase(address, kHttps);
}

std::optional<std::string> resolveAddress(std::string_view base, std::string_view value) {
  if (base.empty() || value.empty()) return std::nullopt;
  // Data in the reference itself: nothing to fetch, nothing to resolve.
  if (beginsWithIgnoreCase(value, kData)) return std::nullopt;
  if (isWebAddress(value) || contains(value, kDriveMark)) return std::string(value);
  std::optional<std::string> combined =
      isWebAddress(base) ? combineWebAddress(base, value) : combinePath(base, value);
  if (!combined || combined->size() > kMaxResolvedAddress) return std::nullopt;
  return combined;
}

std::optional<std::string> localFileName(std::string_view address) {
  if (address.empty()) return std::nullopt;  // an empty name would be the companion folder itself
  std::string name;
  const size_t query = address.find('?');
  if (query == std::string_view::npos) {
    const size_t slash = address.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    name = std::string(address.substr(slash + 1));
  } else {
    const std::string_view before = address.substr(0, query);
    const size_t slash = before.rfind('/');
    if (before.empty() || slash == std::string_view::npos) return std::nullopt;
    const size_t dot = before.find('.', slash + 1);
    name = std::string(before.substr(slash + 1, dot == std::string_view::npos ? std::string_view::npos
                                                                              : dot - slash));
    name += (!name.empty() && name.back() == '.') ? "htm" : ".htm";
  }
  for (size_t at = name.find("%20"); at != std::string::npos; at = name.find("%20", at + 1)) {
    name.replace(at, 3, " ");
  }
  // One safe component of the companion folder, nothing else.
  if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
    return std::nullopt;
  }
  return name;
}

std::string percentEncoded(std::string_view text, bool (*encode)(unsigned char byte)) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (encode(byte)) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace velkin::capture
