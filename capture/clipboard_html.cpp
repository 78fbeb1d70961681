#include "capture/clipboard_html.h"

namespace velkin::capture {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The text after marker up to terminator (or the end), if marker occurs
// after the start of the text.
std::optional<std::string> valueAfter(std::string_view text, std::string_view marker,
                                      std::string_view terminator) {
  const auto at = text.find(marker);
  if (at == std::string_view::npos || at == 0) return std::nullopt;
  const auto start = at + marker.size();
  const auto end = text.find(terminator, start);
  return std::string(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
}

}  // namespace

std::optional<ClipboardHtml> parseClipboardHtml(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const auto versionAt = text.find("Version:");
  if (versionAt == std::string_view::npos) return std::nullopt;
  const auto versionStart = versionAt + 8;
  const auto versionEnd = text.find(kLineEnd, versionStart);
  const std::string_view version =
      text.substr(versionStart, versionEnd == std::string_view::npos ? text.npos : versionEnd - versionStart);

  ClipboardHtml result;
  if (version == "1.0") {
    // The address belongs to the header: page text that happens to hold
    // "SourceURL:" must not become the base address.
    const auto html = text.find("<HTML>");
    result.baseAddress = valueAfter(text.substr(0, html), "SourceURL:", kLineEnd).value_or("");
  } else if (version == "0.9") {
    result.baseAddress = valueAfter(text, "<BASE HREF=\"", "\">").value_or("");
  } else {
    return std::nullopt;
  }
  result.title = valueAfter(text, "<TITLE>", "</TITLE>").value_or("");
  const auto html = text.find("<HTML>");
  if (html == std::string_view::npos) return std::nullopt;
  result.pageHtml = kUtf8MetaLine;
  result.pageHtml.append(text.substr(html));
  return result;
}

}  // namespace velkin::capture
