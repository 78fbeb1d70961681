// DocumentSnapshot: the browser's document as the browser extension reports
// it, standing in for the browser's document object. The native host reads
// one JSON message from the extension, builds a snapshot from it and hands it
// to the capture code, which queries it as it would query the live document:
// its address and title, the elements of its "all" collection, its style
// sheets, its selection and the element under the pointer. A query that the
// browser could fail (an unreadable style sheet collection, a selection
// without a range) answers nullopt. Immutable once built; any thread.
//
// The message is one JSON object (field names in camelCase; unknown fields
// are ignored at every level, so the extension may send more):
//
//   {
//     "url": "https://example.org/page",       required, string
//     "title": "The page",                     string; absent or null: ""
//     "all": [                                 array; absent or null: no elements
//       { "tagName": "HTML",                   string; absent or null: the tag
//                                              name cannot be read (skipped)
//         "outerHTML": "<html>...</html>",     string; absent or null: ""
//         "isHtmlElement": true,               bool; absent or null: true
//         "attributes": { "type": "x" },       object of strings; absent or
//                                              null: none (order not kept)
//         "params": [                          array; absent or null: none.
//           { "name": "movie",                 The PARAM children of an
//             "value": "a.swf" } ] },          OBJECT (or of a player element
//                                              standing in for one); "name"
//                                              and "value" absent or null: ""
//       null                                   an item that is no HTML element
//     ],
//     "styleSheetsReadable": true,             bool; absent or null: true.
//                                              false: the collection itself
//                                              cannot be read
//     "styleSheets": [                         array; absent or null: none
//       { "cssText": "body{color:red}" },      a style sheet; "cssText" absent
//                                              or null: its text cannot be read
//       null                                   an item that is no style sheet
//     ],
//     "selection": { "htmlText": "<B>x</B>" }, object; null, absent, or without
//                                              a string "htmlText": no range
//     "elementFromPoint": { "src": "a.png" }   object; null or absent: no
//                                              element; "src" absent or null: ""
//   }
//
// Bounds: the message at most kMaxMessageBytes, nesting at most
// kMaxNestingDepth arrays and objects deep, at most kMaxJsonValues values in
// all, at most kMaxCollectionItems items in "all" and in "styleSheets", tag
// names and attribute and parameter names at most kMaxTagNameBytes, at most
// kMaxElementAttributes attributes and as many parameters per element. A title longer than kMaxTitleBytes is cut
// on a character boundary (it only names the page). Texts are UTF-8: a
// message with bytes that are not UTF-8 is refused; an escaped lone UTF-16
// surrogate ("\ud800", which a script's string may hold) is read as U+FFFD.
// Anything else malformed (not JSON, a field of the wrong type, a missing
// "url") is refused with a message saying what is wrong, and traced.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkin::platform {

inline constexpr size_t kMaxMessageBytes = 64u * 1024u * 1024u;
inline constexpr size_t kMaxNestingDepth = 32;
inline constexpr size_t kMaxJsonValues = 2'000'000;
inline constexpr size_t kMaxCollectionItems = 100'000;
inline constexpr size_t kMaxTagNameBytes = 256;
inline constexpr size_t kMaxTitleBytes = 64u * 1024u;
inline constexpr size_t kMaxElementAttributes = 1024;

// A name and its value: an element's attribute, or a PARAM child.
using SnapshotPair = std::pair<std::string, std::string>;

// One item of the document's "all" collection.
struct SnapshotElement {
  bool isHtmlElement = true;
  std::optional<std::string> tagName;  // nullopt: the tag name cannot be read
  std::string outerHTML;
  std::vector<SnapshotPair> attributes{};  // in name order
  std::vector<SnapshotPair> params{};      // in document order

  // The value of the first attribute or parameter with this name, compared
  // without regard to ASCII case; nullopt when there is none.
  std::optional<std::string> attribute(std::string_view name) const;
  std::optional<std::string> param(std::string_view name) const;
};

// One item of the document's "styleSheets" collection.
struct SnapshotStyleSheet {
  bool isStyleSheet = true;
  std::optional<std::string> cssText;  // nullopt: the text cannot be read
};

// A message of the browser extension made ready for a JSON parser under the
// same bounds as a snapshot (size, nesting, number of values), with escaped
// lone surrogates read as U+FFFD; nullopt with the reason in error when a
// bound is passed. Messages that carry a snapshot are read through it so a
// snapshot inside them is judged as a snapshot alone would be.
std::optional<std::string> boundedJsonText(std::string_view text, std::string& error);

class DocumentSnapshot {
 public:
  // The snapshot the message describes, or nullopt with the reason in error.
  // Never throws.
  static std::optional<DocumentSnapshot> fromJson(std::string_view text, std::string& error);
  // The message that describes this snapshot (fromJson reads it back equal).
  std::string toJson() const;

  const std::string& url() const { return url_; }
  const std::string& title() const { return title_; }
  const std::vector<SnapshotElement>& all() const { return all_; }
  bool styleSheetsReadable() const { return styleSheetsReadable_; }
  const std::vector<SnapshotStyleSheet>& styleSheets() const { return styleSheets_; }

  // The texts of every style sheet, in order, with nothing between them;
  // items that are no style sheet and unreadable texts add nothing. nullopt
  // when the collection cannot be read.
  std::optional<std::string> styleText() const;
  // The selection's range as HTML; nullopt when there is no range to read.
  const std::optional<std::string>& selectionHtml() const { return selectionHtml_; }
  // The src of the element under the pointer; nullopt when there is none.
  const std::optional<std::string>& elementFromPointSrc() const { return elementFromPointSrc_; }

  bool operator==(const DocumentSnapshot& other) const;

 private:
  friend class SnapshotReader;

  std::string url_;
  std::string title_;
  std::vector<SnapshotElement> all_;
  bool styleSheetsReadable_ = true;
  std::vector<SnapshotStyleSheet> styleSheets_;
  std::optional<std::string> selectionHtml_;
  std::optional<std::string> elementFromPointSrc_;
};

bool operator==(const SnapshotElement& a, const SnapshotElement& b);
bool operator==(const SnapshotStyleSheet& a, const SnapshotStyleSheet& b);

}  // namespace velkin::platform
