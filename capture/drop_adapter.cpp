#include "capture/drop_adapter.h"

#include <cstdio>

#include "capture/html_serializer.h"

namespace velkin::capture {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr int kOffsetDigits = 10;

std::string cleanAddress(std::string_view address) {
  std::string clean;
  clean.reserve(address.size());
  for (const char c : address) {
    switch (c) {
      case '\r':
      case '\n':
      case '\0': break;
      case '<': clean += "%3C"; break;
      case '>': clean += "%3E"; break;
      default: clean += c;
    }
  }
  return clean;
}

std::string offsetLine(std::string_view name, size_t offset) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*zu", kOffsetDigits, offset);
  std::string line(name);
  line += ':';
  line += digits;
  line += kLineEnd;
  return line;
}

struct Offsets {
  size_t startHtml = 0;
  size_t endHtml = 0;
  size_t startFragment = 0;
  size_t endFragment = 0;
};

std::string header(const Offsets& offsets, std::string_view sourceLine) {
  std::string text = "Version:1.0";
  text += kLineEnd;
  text += offsetLine("StartHTML", offsets.startHtml);
  text += offsetLine("EndHTML", offsets.endHtml);
  text += offsetLine("StartFragment", offsets.startFragment);
  text += offsetLine("EndFragment", offsets.endFragment);
  text += sourceLine;
  return text;
}

}  // namespace

std::string buildClipboardHtml(std::string_view textHtml, std::string_view sourceAddress) {
  SerializeOptions options;
  options.rootOnly = true;
  options.bareRootTag = true;
  options.markFragment = true;
  FragmentBounds fragment;
  const std::string html = serializeHtml(textHtml, options, fragment);

  std::string sourceLine;
  const std::string address = cleanAddress(sourceAddress);
  if (!address.empty()) sourceLine.append("SourceURL:").append(address).append(kLineEnd);
  // The offsets have a fixed width, so the header's size does not depend on
  // their values.
  const size_t headerSize = header(Offsets{}, sourceLine).size();

  Offsets offsets;
  // The root element comes first: the HTML starts at its "<HTML>". A
  // fragment without both ends, or with its ends the wrong way round, is
  // taken as the whole HTML.
  if (fragment.start == std::string::npos) fragment.start = 0;
  if (fragment.end == std::string::npos) fragment.end = html.size();
  if (fragment.start > fragment.end) fragment = FragmentBounds{0, html.size()};
  offsets.startHtml = headerSize;
  offsets.endHtml = headerSize + html.size();
  offsets.startFragment = headerSize + fragment.start;
  offsets.endFragment = headerSize + fragment.end;
  return header(offsets, sourceLine) + html;
}

}  // namespace velkin::capture
