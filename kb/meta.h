// Page metadata kept inside the page itself: the capture header written at
// the top of every captured page, and the reader that finds a named META
// value ("PAGEURL", "KEYWORD") in any page file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "velkin/product.h"

namespace velkin::kb {

inline constexpr char kPageUrlName[] = "PAGEURL";
inline constexpr char kKeywordName[] = "KEYWORD";
inline constexpr auto& kHomePageAddress = product::kMakerAddress;

// The CONTENT value of the first META element whose NAME contains name,
// matched without regard to case, or "". The page is read as one text with
// its line ends removed and turned to upper case, so the value comes back in
// upper case, cut at its first blank, quotes included. A missing or
// unreadable page gives "". Reads only as far as the answer: a page of any
// size or content is read in bounded memory (but for one unterminated tag).
std::string readMetaValue(const std::string& pagePath, std::string_view name);

// The same rules applied to text already in memory.
std::string findMetaValue(std::string_view pageText, std::string_view name);

// The three header lines, each ended by CR LF, recording pageUrl. Line
// breaks inside the address are dropped so that it stays on its line.
std::string captureHeader(std::string_view pageUrl);

// The length of the document type declaration the page text starts with
// (after an optional byte order mark and blanks; "<!DOCTYPE" in any case, up
// to its ">"), those leading bytes included; 0 when the text starts with none.
size_t leadingDoctypeEnd(std::string_view html);

// html with header placed on top of it: after a leading document type
// declaration and a CR LF, so the page keeps its standards mode; else first.
std::string withCaptureHeader(std::string_view header, std::string_view html);

// Writes the header and html (placed as withCaptureHeader does) to pagePath through a temporary file, so an
// existing page is never half-overwritten. Returns "" or the failure reason.
std::string writeCapturedPage(const std::string& pagePath, std::string_view pageUrl,
                              std::string_view html);

}  // namespace velkin::kb
