// The places of a page's markup that name other files, with their exact
// byte ranges, found by a real HTML parse (comments, scripts, raw text and
// malformed markup read as browsers read them) so that each value can be
// replaced in place while every other byte of the page stays as it is.
// Toolkit-free; safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velkin::capture {

struct HtmlAttribute {
  std::string name;   // in small letters
  std::string value;  // character references decoded
  // Byte range of the value as written, without its quotes; for an
  // attribute written without a value both are where the name ends.
  size_t begin = 0;
  size_t end = 0;
  char quote = 0;  // '"', '\'' or 0 (unquoted or no value)
};

struct HtmlElement {
  std::string tag;  // in small letters
  std::vector<HtmlAttribute> attributes;
  // Where a new attribute may be written: before the start tag's ">" or "/>".
  size_t insertAt = 0;
  // The text of a STYLE element: byte range of its content.
  bool hasStyleText = false;
  size_t styleBegin = 0;
  size_t styleEnd = 0;

  const HtmlAttribute* attribute(std::string_view name) const;
};

struct HtmlMarkup {
  // The text the ranges refer to: the page itself, unless it nests deeper
  // than browsers build (then flattened as the serialiser flattens it).
  std::string text;
  // Every element written in the text (none the parser made up), each
  // once, in the order of their start tags; those inside a TEMPLATE or in
  // SVG or MathML too.
  std::vector<HtmlElement> elements;
};

HtmlMarkup readHtmlElements(std::string_view html);

// One candidate of a srcset value: the byte range of its address inside the
// value (the descriptors after it stay as written).
struct SrcsetCandidate {
  size_t begin = 0;
  size_t end = 0;
};

// The candidates of a srcset value, read as browsers read them: addresses
// split at blanks, a trailing comma ending a candidate without descriptors,
// commas inside parentheses kept in a descriptor.
std::vector<SrcsetCandidate> srcsetCandidates(std::string_view value);

// value written as the text of a double-quoted attribute: "&" and '"' as
// character references, and "<" and ">" too (the capture engine reads a tag
// up to the next ">").
std::string quotedAttributeText(std::string_view value);

}  // namespace velkin::capture
