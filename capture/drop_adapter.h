// The drop adapter: what a drag brings on this desktop (a text/html piece
// and the address it came from) becomes the "HTML Format" clipboard text
// that the clipboard parser reads, so a drop of HTML takes the same road as
// clipboard HTML always did.
#pragma once

#include <string>
#include <string_view>

namespace velkin::capture {

// "Version:1.0", the StartHTML, EndHTML, StartFragment and EndFragment byte
// offsets (ten digits each), "SourceURL:" with the address (no such line
// when it is empty), every line ended by CR LF; then the serialised HTML
// (see html_serializer.h) from "<HTML>" on, with <!--StartFragment--> and
// <!--EndFragment--> around BODY's content unless the piece marks its
// fragment itself. Line breaks in the address are dropped and "<", ">"
// written as %3C, %3E, so that it stays on its line and cannot be taken for
// the HTML.
std::string buildClipboardHtml(std::string_view textHtml, std::string_view sourceAddress);

}  // namespace velkin::capture
