// The light-weight book: one page, "MyKnowledge.htm", that lists a category
// in the bookmark-file layout (a heading and a nested list per folder, a
// link per file), written into the category.
#pragma once

#include <string>

namespace velkin::book {

inline constexpr char kHtmlIndexFileName[] = "MyKnowledge.htm";

// Where the index of the selected item goes: a page's own folder, or the
// selected folder itself.
std::string htmlIndexFolder(const std::string& selectedPath);

// The index text for the selected item's path (root of every relative
// link). Every file below it is listed but build files and what lies in
// companion folders; a page (which cannot be listed) gives a heading with its
// file name and an empty list. Names and paths are HTML-escaped, and the
// characters that would end a link's path ('%', '#', '?') are percent-encoded.
std::string htmlIndexText(const std::string& selectedPath);

struct IndexOutcome {
  std::string path;   // the index written
  std::string error;  // why it was not written; empty on success
  bool ok() const { return error.empty(); }
};

// Builds the index of the selected item and writes it (through a temporary
// file, so an earlier index is never left half-written).
IndexOutcome buildHtmlIndex(const std::string& selectedPath);

}  // namespace velkin::book
