// The "HTML Format" clipboard text: a header of "Name:value" lines followed
// by the HTML. Only the version, the source address (SourceURL for 1.0, a
// BASE HREF for 0.9), the first TITLE and the position of "<HTML>" are read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkin::capture {

struct ClipboardHtml {
  std::string pageHtml;     // the charset META line, then the text from "<HTML>" on
  std::string baseAddress;  // empty when the text names none
  std::string title;
};

// The charset line put before the HTML, since clipboard HTML is UTF-8.
inline constexpr char kUtf8MetaLine[] =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">";

// nullopt when text is empty, has no "Version:" of 1.0 or 0.9, or no "<HTML>".
std::optional<ClipboardHtml> parseClipboardHtml(std::string_view text);

}  // namespace velkin::capture
