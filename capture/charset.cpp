#include "capture/charset.h"

#include <iconv.h>

#include <cerrno>

#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::capture {
namespace {

constexpr size_t kPrescanBytes = 1024;

bool isUtf8Name(std::string_view charset) { return charset == "utf-8" || charset == "utf8"; }

// The labels browsers take for UTF-16 (little- or big-endian).
bool isUtf16Label(std::string_view charset) {
  static constexpr std::string_view kLabels[] = {"csunicode",   "iso-10646-ucs-2", "ucs-2",    "unicode",
                                                 "unicodefeff", "unicodefffe",     "utf-16",   "utf-16be",
                                                 "utf-16le"};
  for (const std::string_view label : kLabels) {
    if (charset == label) return true;
  }
  return false;
}

struct ByteOrderMark {
  size_t length = 0;
  const char* charset = "";
};

ByteOrderMark byteOrderMark(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return {3, "utf-8"};
  if (bytes.substr(0, 2) == "\xFF\xFE") return {2, "utf-16le"};
  if (bytes.substr(0, 2) == "\xFE\xFF") return {2, "utf-16be"};
  return {};
}

// The value after "charset=" in text (lower-cased), up to a quote, blank,
// semicolon or ">"; "" when there is none.
std::string charsetParameter(std::string_view lowerText) {
  const auto at = lowerText.find("charset=");
  if (at == std::string_view::npos) return {};
  size_t start = at + 8;
  while (start < lowerText.size() && (lowerText[start] == '"' || lowerText[start] == '\'' || lowerText[start] == ' ')) {
    ++start;
  }
  size_t end = start;
  while (end < lowerText.size() && std::string_view("\"' ;>/\t\r\n").find(lowerText[end]) == std::string_view::npos) {
    ++end;
  }
  return std::string(lowerText.substr(start, end - start));
}

// A META element in the page's first bytes that declares its charset, either
// as <meta charset=...> or <meta http-equiv=content-type content="...;
// charset=...">.
std::string metaCharset(std::string_view bytes) {
  const std::string head = platform::toAsciiLower(bytes.substr(0, kPrescanBytes));
  for (size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
    const auto end = head.find('>', at);
    const std::string_view tag =
        std::string_view(head).substr(at, end == std::string::npos ? std::string::npos : end - at);
    const std::string charset = charsetParameter(tag);
    if (!charset.empty()) return charset;
  }
  return {};
}

std::string convert(std::string_view bytes, const std::string& charset) {
  iconv_t converter = iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    platform::trace("charset", "cannot convert from " + charset);
    return std::string(bytes);
  }
  std::string out;
  out.resize(bytes.size() * 4 + 16);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* outAt = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(converter, &in, &inLeft, &outAt, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;  // cannot happen with four bytes per input byte
    // A byte the character set does not define becomes U+FFFD.
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    if (outLeft < 3) break;
    for (const char c : std::string_view(kReplacement, 3)) *outAt++ = c;
    outLeft -= 3;
    ++in;
    --inLeft;
  }
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string declaredCharset(std::string_view bytes, std::string_view contentType) {
  if (const ByteOrderMark mark = byteOrderMark(bytes); mark.length > 0) return mark.charset;
  std::string charset = charsetParameter(platform::toAsciiLower(contentType));
  if (!charset.empty()) return charset;
  charset = metaCharset(bytes);
  // The META was just read as ASCII, so a page that declares UTF-16 there is
  // not UTF-16; browsers read it as UTF-8, and x-user-defined as
  // windows-1252.
  if (isUtf16Label(charset)) return "utf-8";
  if (charset == "x-user-defined") return "windows-1252";
  return charset;
}

std::string toUtf8(std::string_view bytes, std::string_view contentType) {
  std::string charset = declaredCharset(bytes, contentType);
  bytes.remove_prefix(byteOrderMark(bytes).length);
  if (charset.empty()) charset = isValidUtf8(bytes) ? "utf-8" : "windows-1252";
  // Browsers read pages labelled Latin-1 with the windows-1252 letters.
  if (charset == "iso-8859-1" || charset == "latin1" || charset == "us-ascii") charset = "windows-1252";
  if (isUtf8Name(charset)) return std::string(bytes);
  return convert(bytes, charset);
}

}  // namespace velkin::capture
