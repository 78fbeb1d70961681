// What the book builders share: the folder reading and walk guard of every
// listing (platform/folder_listing.h: name order, links followed but never
// endlessly), and the small text rules for putting names and paths into the
// HTML they write.
#pragma once

#include <string>
#include <string_view>

#include "platform/folder_listing.h"

namespace velkin::book {

using platform::FolderEntry;
using platform::FolderListing;
using platform::readFolder;
using platform::WalkPath;

// The text with &, <, > and " written as character references, so that a
// name or path cannot end an attribute value or start a tag.
std::string escapeHtml(std::string_view text);

// path relative to folder when it lies below it ("folder/x/y" gives "x/y"),
// else path unchanged.
std::string pathBelow(std::string_view path, std::string_view folder);

// The file name up to its last dot; empty when it has none.
std::string_view nameBeforeLastDot(std::string_view fileName);

bool hasLineBreak(std::string_view text);

// "/a/b/" gives "/a/b"; "/" stays "/".
std::string withoutTrailingSlash(std::string path);

}  // namespace velkin::book
