#include "capture/html_references.h"

#include <algorithm>
#include <unordered_set>

#include "capture/parsed_html.h"
#include "platform/text.h"

namespace velkin::capture {
namespace {

size_t offsetIn(const std::string& text, const char* at) { return static_cast<size_t>(at - text.data()); }

bool pointsInto(const std::string& text, const GumboStringPiece& piece) {
  return piece.data != nullptr && piece.data >= text.data() && piece.data + piece.length <= text.data() + text.size();
}

HtmlAttribute attributeOf(const std::string& text, const GumboAttribute& attribute) {
  HtmlAttribute out;
  out.name = platform::toAsciiLower(attribute.name);
  out.value = attribute.value;
  const GumboStringPiece& raw = attribute.original_value;
  if (raw.length == 0 || !pointsInto(text, raw)) {
    const GumboStringPiece& name = attribute.original_name;
    out.begin = out.end = pointsInto(text, name) ? offsetIn(text, name.data + name.length) : 0;
    return out;
  }
  out.begin = offsetIn(text, raw.data);
  out.end = out.begin + raw.length;
  const char first = raw.data[0];
  if (first == '"' || first == '\'') {
    out.quote = first;
    ++out.begin;
    if (out.end > out.begin && text[out.end - 1] == first) --out.end;
  }
  return out;
}

// The content of a STYLE element: from its first text child to its last.
void readStyleText(const std::string& text, const GumboElement& element, HtmlElement& out) {
  bool found = false;
  for (unsigned i = 0; i < element.children.length; ++i) {
    const GumboNode* child = childAt(element.children, i);
    if (child->type != GUMBO_NODE_TEXT && child->type != GUMBO_NODE_WHITESPACE && child->type != GUMBO_NODE_CDATA) {
      continue;
    }
    const GumboStringPiece& raw = child->v.text.original_text;
    if (raw.length == 0 || !pointsInto(text, raw)) continue;
    const size_t begin = offsetIn(text, raw.data);
    if (!found) out.styleBegin = begin;
    out.styleEnd = begin + raw.length;
    found = true;
  }
  out.hasStyleText = found && out.styleEnd > out.styleBegin;
}

HtmlElement elementOf(const std::string& text, const GumboElement& element) {
  HtmlElement out;
  const GumboStringPiece& tag = element.original_tag;
  if (element.tag != GUMBO_TAG_UNKNOWN) {
    out.tag = gumbo_normalized_tagname(element.tag);
  } else {
    GumboStringPiece name = tag;
    gumbo_tag_from_original_text(&name);
    out.tag = platform::toAsciiLower(std::string_view(name.data, name.length));
  }
  out.insertAt = std::string::npos;
  const size_t tagEnd = offsetIn(text, tag.data + tag.length);
  if (tag.length >= 2 && text[tagEnd - 1] == '>') {
    out.insertAt = tagEnd - 1;
    if (text[out.insertAt - 1] == '/') --out.insertAt;
  }
  for (unsigned i = 0; i < element.attributes.length; ++i) {
    out.attributes.push_back(attributeOf(text, *static_cast<const GumboAttribute*>(element.attributes.data[i])));
  }
  if (element.tag == GUMBO_TAG_STYLE) readStyleText(text, element, out);
  return out;
}

}  // namespace

const HtmlAttribute* HtmlElement::attribute(std::string_view name) const {
  for (const HtmlAttribute& candidate : attributes) {
    if (candidate.name == name) return &candidate;
  }
  return nullptr;
}

HtmlMarkup readHtmlElements(std::string_view html) {
  const ParsedHtml parsed(html);
  HtmlMarkup markup;
  markup.text = parsed.text();
  if (parsed.document() == nullptr) return markup;
  // The parser copies formatting elements it reopens, start tag and all:
  // each start tag counts once.
  std::unordered_set<const char*> seen;
  std::vector<std::pair<size_t, HtmlElement>> found;
  std::vector<const GumboNode*> pending{parsed.document()};
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    if (!isContainer(node)) continue;
    if (node->type != GUMBO_NODE_DOCUMENT) {
      const GumboElement& element = node->v.element;
      const GumboStringPiece& tag = element.original_tag;
      if (tag.length > 0 && pointsInto(parsed.text(), tag) && tag.data[0] == '<' && seen.insert(tag.data).second) {
        found.emplace_back(offsetIn(parsed.text(), tag.data), elementOf(parsed.text(), element));
      }
    }
    const GumboVector& children = childrenOf(node);
    for (size_t i = children.length; i > 0; --i) pending.push_back(childAt(children, i - 1));
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  markup.elements.reserve(found.size());
  for (auto& entry : found) markup.elements.push_back(std::move(entry.second));
  return markup;
}

std::vector<SrcsetCandidate> srcsetCandidates(std::string_view value) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
  std::vector<SrcsetCandidate> candidates;
  size_t at = 0;
  while (at < value.size()) {
    while (at < value.size() && (isBlank(value[at]) || value[at] == ',')) ++at;
    if (at >= value.size()) break;
    SrcsetCandidate candidate{at, at};
    while (at < value.size() && !isBlank(value[at])) ++at;
    candidate.end = at;
    if (value[candidate.end - 1] == ',') {
      // "a.png," ends the candidate; its commas are not part of the address.
      while (candidate.end > candidate.begin && value[candidate.end - 1] == ',') --candidate.end;
      if (candidate.end > candidate.begin) candidates.push_back(candidate);
      continue;
    }
    candidates.push_back(candidate);
    // The descriptors up to the next comma outside parentheses.
    int depth = 0;
    while (at < value.size() && !(value[at] == ',' && depth == 0)) {
      if (value[at] == '(') ++depth;
      if (value[at] == ')' && depth > 0) --depth;
      ++at;
    }
  }
  return candidates;
}

std::string quotedAttributeText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace velkin::capture
