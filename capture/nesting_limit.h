// A page may nest elements as deep as it likes, but browsers stop building
// at a depth of 512, and the HTML parser the serialiser uses slows down with
// the square of the depth (a megabyte of nested DIVs takes minutes).
// limitNesting flattens what lies deeper, in one pass over the text, before
// the page reaches the parser, and caps the formatting elements the parser
// would keep reopening. Toolkit-free; safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkin::capture {

inline constexpr size_t kBrowserNestingDepth = 512;

// How many formatting elements (B, I, FONT, A ...) the parser may hold for
// reopening. It reopens every one of them that other tags closed, at each
// new block of text, and only identical ones (same name and attributes)
// replace each other, so a page that leaves a new one open before every
// block makes the parser's time and the serialised page grow with the
// square of its size. Real pages rarely have more than a handful open at
// once; 32 keeps them whole and lets each block cost at most 32 copies of
// a start tag.
inline constexpr size_t kFormattingElementLimit = 32;

// The page with every element that would open deeper than maxDepth removed:
// its start tag and its matching end tag are dropped, its content is kept in
// the element above. Depth follows the parser's stack of open elements
// closely enough for real pages: void elements, comments, the doctype and
// the content of SCRIPT, STYLE, TEXTAREA, TITLE and the other raw-text
// elements add nothing; the end tags a parser supplies (unclosed P, LI, TD,
// TR, OPTION ...) are supplied here too; formatting elements (B, I, FONT
// ...) that the parser will reopen after other tags closed them still
// count. Formatting elements are dropped the same way when the parser's
// list of them (the part since the innermost open table cell, caption,
// OBJECT, APPLET, MARQUEE or TEMPLATE) would hold more than maxFormatting.
// Tag names are read without regard to case, and a ">" inside a quoted
// attribute value does not end a tag. A page that never reaches either
// limit comes back byte for byte. The result is never longer than the
// page, limiting it again changes nothing, a page that comes back whole
// also does under higher limits, and for given limits the time taken is
// linear in the page's size.
std::string limitNesting(std::string_view html, size_t maxDepth = kBrowserNestingDepth,
                         size_t maxFormatting = kFormattingElementLimit);

}  // namespace velkin::capture
