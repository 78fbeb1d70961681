// The HTML serialiser: parses any HTML (a browser's markup, a drop's
// text/html, a file) and writes the whole document back in the one form the
// capture engine's case-sensitive searches expect:
//   - tag names in capitals, attribute names in small letters;
//   - attribute values without quotes when they are non-empty and hold no
//     blank, tab, line break, form feed, quote, apostrophe, "=", "<", ">" or
//     backtick; otherwise in double quotes, a double quote inside written as
//     &quot;. In every value "<" and ">" are written as &lt; and &gt;: the
//     engine reads a tag from its "<" to the next ">", so neither may stand
//     inside one. The values of the attributes the engine reads addresses from
//     (href, src, background, backsound) are always double-quoted, so that a
//     value standing last in its tag is still found;
//   - a PARAM element as <PARAM NAME="..." VALUE="..."> (those two first, in
//     capitals, always double-quoted), its other attributes after them;
//   - text with "&", "<" and ">" as entities; the content of SCRIPT, STYLE and
//     the other raw-text elements exactly as parsed; TITLE and TEXTAREA
//     content as parsed but for what could not be read back the same way;
//   - comments and a doctype kept, void elements without end tags, every
//     other element with its end tag, the document always from <HTML> to
//     </HTML> (the parser supplies HTML, HEAD and BODY when they are missing).
// Elements nested deeper than browsers build are flattened before parsing
// (see nesting_limit.h). The result is not byte-identical to the source, but
// parsing it again gives the same tree, so serialising it again gives the
// same text. Never fails: malformed input yields whatever tree the parser
// makes of it.
#pragma once

#include <string>
#include <string_view>

namespace velkin::capture {

struct SerializeOptions {
  bool keepDoctype = true;
  // Only the root element: no doctype, no comments before or after it, so
  // the text starts with "<HTML".
  bool rootOnly = false;
  // <HTML> without the root element's attributes (clipboard text needs the
  // exact "<HTML>").
  bool bareRootTag = false;
  // <!--StartFragment--> as BODY's first child and <!--EndFragment--> as its
  // last (as the root element's first and last child when there is no BODY,
  // as in a frameset document), unless the document holds both already.
  bool markFragment = false;
};

inline constexpr char kStartFragmentComment[] = "<!--StartFragment-->";
inline constexpr char kEndFragmentComment[] = "<!--EndFragment-->";

std::string serializeHtml(std::string_view html, const SerializeOptions& options = {});

// With markFragment: where the fragment lies in the result, as byte offsets
// of its first byte (after <!--StartFragment-->) and of the byte after it
// (where <!--EndFragment--> starts). npos for a comment that was not
// written (after <PLAINTEXT> nothing is). Found from the document's own
// nodes, never by searching the text, which may hold the same words.
struct FragmentBounds {
  size_t start = std::string::npos;
  size_t end = std::string::npos;
};
std::string serializeHtml(std::string_view html, const SerializeOptions& options, FragmentBounds& fragment);

// The text of the document's first TITLE element (as the parser decoded it),
// or "" when there is none.
std::string htmlTitle(std::string_view html);

}  // namespace velkin::capture
