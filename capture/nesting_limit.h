// A page may nest elements as deep as it likes, but browsers stop building
// at a depth of 512, and the HTML parser the serialiser uses slows down with
// the square of the depth (a megabyte of nested DIVs takes minutes).
// limitNesting flattens what lies deeper, in one pass over the text, before
// the page reaches the parser. Toolkit-free; safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkin::capture {

inline constexpr size_t kBrowserNestingDepth = 512;

// The page with every element that would open deeper than maxDepth removed:
// its start tag and its matching end tag are dropped, its content is kept in
// the element above. Depth follows the parser's stack of open elements
// closely enough for real pages: void elements, comments, the doctype and
// the content of SCRIPT, STYLE, TEXTAREA, TITLE and the other raw-text
// elements add nothing; the end tags a parser supplies (unclosed P, LI, TD,
// TR, OPTION ...) are supplied here too; formatting elements (B, I, FONT
// ...) that the parser will reopen after other tags closed them still
// count. Tag names are read without regard to case, and a ">" inside a
// quoted attribute value does not end a tag. A page that never reaches
// maxDepth comes back byte for byte. The result is never longer than the
// page, limiting it again changes nothing, and for a given limit the time
// taken is linear in the page's size.
std::string limitNesting(std::string_view html, size_t maxDepth = kBrowserNestingDepth);

}  // namespace velkin::capture
