// Internal to the capture library: one parse of an HTML text by the HTML
// parser, freed safely whatever its depth, and the helpers that walk its
// tree. The serialiser and the reference finder both read pages through it.
#pragma once

#include <gumbo.h>

#include <string>
#include <string_view>

namespace velkin::capture {

// The parser gets the text with its nesting limited as browsers limit it
// (nesting_limit.h): its time grows with the square of the depth, so a page
// of deeply nested elements would take minutes. Positions in the tree refer
// to text(), which is the source unless the source nests deeper than that.
class ParsedHtml {
 public:
  explicit ParsedHtml(std::string_view source);
  ~ParsedHtml();
  ParsedHtml(const ParsedHtml&) = delete;
  ParsedHtml& operator=(const ParsedHtml&) = delete;

  const GumboNode* document() const { return output_ != nullptr ? output_->document : nullptr; }
  const std::string& text() const { return text_; }

 private:
  const std::string text_;  // the parse points into it
  GumboOptions options_{};
  GumboOutput* output_ = nullptr;
};

// A document, element or template: a node with children.
bool isContainer(const GumboNode* node);
const GumboVector& childrenOf(const GumboNode* node);
GumboNode* childAt(const GumboVector& children, size_t index);

}  // namespace velkin::capture
