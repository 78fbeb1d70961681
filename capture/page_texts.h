// The page texts of the three browser captures, composed from the browser's
// document (a DocumentSnapshot): the whole page, the selection as a page of
// its own, and a page that shows one picture. Each is handed to a capture
// job as HTML (kCaptureHtml), which rewrites its links and fetches its
// resources. The texts are composed byte for byte as the capture object
// always has; only a title that would end the TITLE element early is changed
// (see neutraliseTitle). Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/document_snapshot.h"

namespace velkin::capture {

// The outerHTML of the first item of the document's "all" collection that is
// an HTML element with the tag name "html" in any case; "" when there is
// none (the page then holds only its capture header). Items that are no
// HTML element, or whose tag name cannot be read, are skipped.
std::string wholePageText(const platform::DocumentSnapshot& document);

// <HTML><HEAD><TITLE>title</TITLE><style type="text/css"><!--style text-->
// </style></HEAD><BODY>selected HTML</BODY></HTML>, with nothing between the
// pieces (the line break above is not in the text). nullopt when the style
// sheets or the selection's range cannot be read: nothing is saved then.
std::optional<std::string> selectionPageText(std::string_view title, const platform::DocumentSnapshot& document);

// <HTML><HEAD><TITLE>title</TITLE></HEAD><BODY><IMG src="address"
// border=0></BODY></HTML>, with nothing between the pieces. An empty address
// gives an empty src. The address is inserted unchanged.
std::string picturePageText(std::string_view title, std::string_view pictureAddress);

// The title as written into a composed page's TITLE element: unchanged,
// markup characters and all, except that the "<" of every "</title" (in any
// case) is written as "&lt;", so that the title cannot end the element and
// turn the rest of itself into markup that hides the page's picture or
// selection. A browser shows "&lt;" in a title as "<", so the title reads
// the same.
std::string neutraliseTitle(std::string_view title);

}  // namespace velkin::capture
