#include "kb/meta.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/file_util.h"
#include "platform/text.h"

namespace velkin::kb {
namespace {

constexpr std::string_view kMetaOpen = "<META";

// Applies the tag rule to one tag (from "<META" up to, not including, ">").
// nullopt when the tag is not the element asked for; else its value.
std::optional<std::string> valueOfTag(std::string_view tag, std::string_view name) {
  if (tag.find(name) == std::string_view::npos) return std::nullopt;
  const auto namePos = tag.find(" NAME=");
  if (namePos == std::string_view::npos) return std::nullopt;
  const auto nameEnd = tag.find(' ', namePos + 1);
  const auto namePart = tag.substr(namePos, nameEnd == std::string_view::npos ? tag.npos : nameEnd - namePos);
  if (namePart.find(name) == std::string_view::npos) return std::nullopt;
  constexpr std::string_view kContent = " CONTENT=";
  const auto contentPos = tag.find(kContent);
  if (contentPos == std::string_view::npos) return std::string();
  const auto valueStart = contentPos + kContent.size();
  const auto valueEnd = tag.find(' ', valueStart);
  return std::string(tag.substr(valueStart, valueEnd == std::string_view::npos ? tag.npos : valueEnd - valueStart));
}

// Scans the page text as it arrives in pieces: line ends are dropped (a line
// feed, and a carriage return right before one), letters are upper-cased,
// and text that can no longer matter is discarded.
class MetaScanner {
 public:
  explicit MetaScanner(std::string_view name) : name_(platform::toAsciiUpper(name)) {}

  // Adds the next piece of the page; returns the answer once it is known.
  std::optional<std::string> feed(std::string_view piece) {
    appendJoined(piece);
    return scan(false);
  }

  std::string finish() {
    if (pendingCarriageReturn_) text_ += '\r';
    pendingCarriageReturn_ = false;
    return scan(true).value_or(std::string());
  }

 private:
  void appendJoined(std::string_view piece) {
    for (const char c : piece) {
      if (pendingCarriageReturn_) {
        pendingCarriageReturn_ = false;
        if (c != '\n') text_ += '\r';
      }
      if (c == '\r') {
        pendingCarriageReturn_ = true;
      } else if (c != '\n') {
        text_ += platform::asciiUpper(c);
      }
    }
  }

  // Runs the search over what has arrived. At the end of the page a search
  // that finds nothing more answers "".
  std::optional<std::string> scan(bool atEnd) {
    for (;;) {
      if (tagStart_ == std::string::npos) {
        const auto open = text_.find(kMetaOpen, searchFrom_);
        if (open == std::string::npos) {
          if (atEnd) return std::string();
          discardBefore(text_.size() > kMetaOpen.size() ? text_.size() - (kMetaOpen.size() - 1) : 0);
          return std::nullopt;
        }
        tagStart_ = open;
        closeFrom_ = open + 1;
      }
      const auto close = text_.find('>', closeFrom_);
      if (close == std::string::npos) {
        if (atEnd) return std::string();
        closeFrom_ = text_.size();
        discardBefore(tagStart_);
        return std::nullopt;
      }
      auto value = valueOfTag(std::string_view(text_).substr(tagStart_, close - tagStart_), name_);
      if (value) return value;
      tagStart_ = std::string::npos;
      searchFrom_ = close;
    }
  }

  // Drops text before offset, keeping every remembered position valid.
  void discardBefore(size_t offset) {
    if (offset == 0) return;
    text_.erase(0, offset);
    searchFrom_ = searchFrom_ > offset ? searchFrom_ - offset : 0;
    if (tagStart_ != std::string::npos) {
      tagStart_ -= offset;
      closeFrom_ -= offset;
    }
  }

  std::string name_;
  std::string text_;
  bool pendingCarriageReturn_ = false;
  size_t searchFrom_ = 0;
  size_t tagStart_ = std::string::npos;
  size_t closeFrom_ = 0;
};

}  // namespace

std::string findMetaValue(std::string_view pageText, std::string_view name) {
  MetaScanner scanner(name);
  if (auto value = scanner.feed(pageText)) return *value;
  return scanner.finish();
}

std::string readMetaValue(const std::string& pagePath, std::string_view name) {
  const int fd = open(pagePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  MetaScanner scanner(name);
  // Captured pages carry their address in the first lines, so a small first
  // read usually answers; later reads are larger.
  std::string buffer(4096, '\0');
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // end, or unreadable: what was read decides
    if (auto value = scanner.feed(std::string_view(buffer.data(), static_cast<size_t>(got)))) {
      close(fd);
      return *value;
    }
    if (buffer.size() < 65536) buffer.resize(65536);
  }
  close(fd);
  return scanner.finish();
}

std::string captureHeader(std::string_view pageUrl) {
  std::string address;
  address.reserve(pageUrl.size());
  for (const char c : pageUrl) {
    if (c != '\r' && c != '\n' && c != '\0') address += c;
  }
  std::string header;
  header += "<META -----Welcome to Velkin web. >\r\n";
  header += "<META -----Velkin web 2.0    HomePage: ";
  header += kHomePageAddress;
  header += " >\r\n";
  header += "<META NAME=pageurl  Content=";
  header += address;
  header += " >\r\n";
  return header;
}

size_t leadingDoctypeEnd(std::string_view html) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  constexpr std::string_view kDoctype = "<!DOCTYPE";
  size_t start = html.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
  start = html.find_first_not_of(" \t\r\n\f", start);
  if (start == std::string_view::npos || html.size() - start < kDoctype.size() ||
      !platform::equalsIgnoreCase(html.substr(start, kDoctype.size()), kDoctype)) {
    return 0;
  }
  const size_t close = html.find('>', start + kDoctype.size());
  return close == std::string_view::npos ? 0 : close + 1;
}

std::string withCaptureHeader(std::string_view header, std::string_view html) {
  const size_t doctypeEnd = leadingDoctypeEnd(html);
  std::string contents;
  contents.reserve(header.size() + html.size() + 2);
  if (doctypeEnd > 0) {
    contents.append(html.substr(0, doctypeEnd));
    contents += "\r\n";
  }
  contents.append(header);
  contents.append(html.substr(doctypeEnd));
  return contents;
}

std::string writeCapturedPage(const std::string& pagePath, std::string_view pageUrl, std::string_view html) {
  return platform::writeFileAtomic(pagePath, withCaptureHeader(captureHeader(pageUrl), html));
}

}  // namespace velkin::kb
