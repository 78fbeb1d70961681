#include "capture/html_serializer.h"

#include <gumbo.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "capture/parsed_html.h"
#include "platform/text.h"

namespace velkin::capture {
namespace {

using platform::asciiUpper;

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool isHtmlElement(const GumboNode* node, GumboTag tag) {
  return (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) &&
         node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML && node->v.element.tag == tag;
}

bool isHtmlElementOf(const GumboNode* node, std::initializer_list<GumboTag> tags) {
  for (const GumboTag tag : tags) {
    if (isHtmlElement(node, tag)) return true;
  }
  return false;
}

// Elements whose content the parser takes as it stands, without entities.
bool holdsRawText(const GumboNode* node) {
  return isHtmlElementOf(node, {GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_XMP, GUMBO_TAG_IFRAME,
                                GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES, GUMBO_TAG_PLAINTEXT});
}

// Elements whose content has entities but no tags.
bool holdsEscapableRawText(const GumboNode* node) {
  return isHtmlElementOf(node, {GUMBO_TAG_TITLE, GUMBO_TAG_TEXTAREA});
}

bool isVoidElement(const GumboNode* node) {
  return isHtmlElementOf(node, {GUMBO_TAG_AREA, GUMBO_TAG_BASE, GUMBO_TAG_BASEFONT, GUMBO_TAG_BGSOUND,
                                GUMBO_TAG_BR, GUMBO_TAG_COL, GUMBO_TAG_EMBED, GUMBO_TAG_FRAME,
                                GUMBO_TAG_HR, GUMBO_TAG_IMG, GUMBO_TAG_INPUT, GUMBO_TAG_KEYGEN,
                                GUMBO_TAG_LINK, GUMBO_TAG_META, GUMBO_TAG_PARAM, GUMBO_TAG_SOURCE,
                                GUMBO_TAG_TRACK, GUMBO_TAG_WBR});
}

// The parser drops a line break right after these start tags.
bool dropsLeadingLineBreak(const GumboNode* node) {
  return isHtmlElementOf(node, {GUMBO_TAG_PRE, GUMBO_TAG_TEXTAREA, GUMBO_TAG_LISTING});
}

// Attributes the capture engine reads addresses from. Their values are
// always quoted: the engine's unquoted form needs a blank after the value,
// so an unquoted value standing last in its tag would never be captured.
bool carriesAddress(std::string_view name) {
  return name == "href" || name == "src" || name == "background" || name == "backsound";
}

bool isAsciiAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isTagNameEnd(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>';
}

// A start tag's name as written in the source ("<my-widget a=b>"), in
// capitals, with NUL as the parser reads it.
std::string nameFromSourceTag(const GumboStringPiece& tag) {
  std::string_view text(tag.data != nullptr ? tag.data : "", tag.length);
  if (text.empty() || text.front() != '<') return {};
  text.remove_prefix(1);
  if (!text.empty() && text.front() == '/') text.remove_prefix(1);
  std::string name;
  for (const char c : text) {
    if (isTagNameEnd(c)) break;
    if (c == '\0') {
      name += kReplacementCharacter;
    } else {
      name += asciiUpper(c);
    }
  }
  return name;
}

std::string tagName(const GumboElement& element) {
  if (element.tag != GUMBO_TAG_UNKNOWN) return platform::toAsciiUpper(gumbo_normalized_tagname(element.tag));
  std::string name = nameFromSourceTag(element.original_tag);
  return name.empty() ? std::string("UNKNOWN") : name;
}

std::string attributeName(const GumboAttribute& attribute) {
  std::string name;
  switch (attribute.attr_namespace) {
    case GUMBO_ATTR_NAMESPACE_XLINK: name = "xlink:"; break;
    case GUMBO_ATTR_NAMESPACE_XML: name = "xml:"; break;
    case GUMBO_ATTR_NAMESPACE_XMLNS:
      if (std::string_view(attribute.name) != "xmlns") name = "xmlns:";
      break;
    case GUMBO_ATTR_NAMESPACE_NONE: break;
  }
  name += platform::toAsciiLower(attribute.name);
  return name;
}

bool canStayUnquoted(std::string_view value) {
  return !value.empty() && value.find_first_of(" \t\n\r\f\"'=<>`") == std::string_view::npos;
}

// Whether the "&" at index would be read back as the start of a character
// reference inside an attribute value: "&#..." always; "&name" unless an
// "=" follows the name (then the parser leaves it as it is). Any other
// ampersand stays as it is, so addresses keep their plain "&".
bool ampersandIsAmbiguousInValue(std::string_view value, size_t index) {
  const size_t next = index + 1;
  if (next < value.size() && value[next] == '#') return true;
  size_t end = next;
  while (end < value.size() && isAsciiAlphanumeric(value[end])) ++end;
  return end > next && (end == value.size() || value[end] != '=');
}

class Writer {
 public:
  Writer(const SerializeOptions& options, std::string& out, FragmentBounds& fragment)
      : options_(options), out_(out), fragment_(fragment) {}
  void writeDocument(const GumboNode* document);

 private:
  void writeDoctype(const GumboDocument& document);
  void openElement(const GumboNode* node);
  void closeElement(const GumboNode* node);
  void writeLeaf(const GumboNode* node);
  void writeAttributes(const GumboElement& element, bool isParam);
  void writeAttribute(std::string_view name, std::string_view value, bool alwaysQuoted);
  void writeQuotedValue(std::string_view value);
  void appendValueText(std::string_view value);
  void appendText(std::string_view text);
  void appendEscapableRawText(std::string_view text);
  void chooseFragmentHolder(const GumboNode* document);

  const SerializeOptions& options_;
  std::string& out_;
  FragmentBounds& fragment_;
  const GumboNode* fragmentHolder_ = nullptr;  // gets the fragment comments
  bool fragmentMarkedInSource_ = false;
  bool stopped_ = false;                       // after PLAINTEXT nothing can follow
};

void Writer::writeDocument(const GumboNode* document) {
  const bool withDoctype = options_.keepDoctype && !options_.rootOnly;
  if (withDoctype && document->v.document.has_doctype) writeDoctype(document->v.document);
  if (options_.markFragment) chooseFragmentHolder(document);
  struct Frame {
    const GumboNode* node;
    size_t next;
  };
  std::vector<Frame> stack{{document, 0}};
  while (!stack.empty() && !stopped_) {
    const GumboNode* node = stack.back().node;
    const GumboVector& children = childrenOf(node);
    if (stack.back().next == children.length) {
      if (node != document) closeElement(node);
      stack.pop_back();
      continue;
    }
    const GumboNode* child = childAt(children, stack.back().next++);
    if (options_.rootOnly && node == document && !isContainer(child)) continue;
    if (isContainer(child)) {
      openElement(child);
      stack.push_back({child, 0});
    } else {
      writeLeaf(child);
    }
  }
}

void Writer::writeDoctype(const GumboDocument& document) {
  const auto quoted = [](std::string_view id) {
    const char quote = id.find('"') == std::string_view::npos ? '"' : '\'';
    return std::string(1, quote) + std::string(id) + quote;
  };
  const std::string_view name = document.name != nullptr ? document.name : "";
  const std::string_view publicId = document.public_identifier != nullptr ? document.public_identifier : "";
  const std::string_view systemId = document.system_identifier != nullptr ? document.system_identifier : "";
  out_ += "<!DOCTYPE";
  if (!name.empty()) out_.append(" ").append(name);
  if (!publicId.empty()) {
    out_.append(" PUBLIC ").append(quoted(publicId));
    if (!systemId.empty()) out_.append(" ").append(quoted(systemId));
  } else if (!systemId.empty()) {
    out_.append(" SYSTEM ").append(quoted(systemId));
  }
  out_ += '>';
}

// BODY, or the root element when there is none; none when the document
// already marks its fragment.
void Writer::chooseFragmentHolder(const GumboNode* document) {
  bool hasStart = false;
  bool hasEnd = false;
  const GumboNode* root = nullptr;
  std::vector<const GumboNode*> pending{document};
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    if (node->type == GUMBO_NODE_COMMENT) {
      const std::string_view text = node->v.text.text;
      hasStart = hasStart || text == "StartFragment";
      hasEnd = hasEnd || text == "EndFragment";
    }
    if (!isContainer(node)) continue;
    if (root == nullptr && node->parent == document && node->type != GUMBO_NODE_DOCUMENT) root = node;
    const GumboVector& children = childrenOf(node);
    for (unsigned i = 0; i < children.length; ++i) pending.push_back(childAt(children, i));
  }
  if (hasStart && hasEnd) {
    fragmentMarkedInSource_ = true;
    return;
  }
  if (root == nullptr) return;
  fragmentHolder_ = root;
  const GumboVector& rootChildren = childrenOf(root);
  for (unsigned i = 0; i < rootChildren.length; ++i) {
    if (isHtmlElement(childAt(rootChildren, i), GUMBO_TAG_BODY)) fragmentHolder_ = childAt(rootChildren, i);
  }
}

void Writer::openElement(const GumboNode* node) {
  const GumboElement& element = node->v.element;
  out_ += '<';
  out_ += tagName(element);
  const bool isRoot = node->parent != nullptr && node->parent->type == GUMBO_NODE_DOCUMENT;
  if (!(isRoot && options_.bareRootTag)) writeAttributes(element, isHtmlElement(node, GUMBO_TAG_PARAM));
  out_ += '>';
  if (dropsLeadingLineBreak(node) && element.children.length > 0) {
    const GumboNode* first = childAt(element.children, 0);
    const bool isText = first->type == GUMBO_NODE_TEXT || first->type == GUMBO_NODE_WHITESPACE;
    if (isText && first->v.text.text[0] == '\n') out_ += '\n';
  }
  if (node == fragmentHolder_) {
    out_ += kStartFragmentComment;
    fragment_.start = out_.size();
  }
}

void Writer::closeElement(const GumboNode* node) {
  if (isHtmlElement(node, GUMBO_TAG_PLAINTEXT)) {
    stopped_ = true;  // everything after <PLAINTEXT> reads back as its text
    return;
  }
  if (node == fragmentHolder_) {
    fragment_.end = out_.size();
    out_ += kEndFragmentComment;
  }
  if (isVoidElement(node) && node->v.element.children.length == 0) return;
  out_ += "</";
  out_ += tagName(node->v.element);
  out_ += '>';
}

void Writer::writeLeaf(const GumboNode* node) {
  const std::string_view text = node->v.text.text;
  switch (node->type) {
    case GUMBO_NODE_COMMENT:
      if (fragmentMarkedInSource_ && text == "EndFragment" && fragment_.end == std::string::npos) {
        fragment_.end = out_.size();
      }
      out_.append("<!--").append(text).append("-->");
      if (fragmentMarkedInSource_ && text == "StartFragment" && fragment_.start == std::string::npos) {
        fragment_.start = out_.size();
      }
      break;
    case GUMBO_NODE_CDATA:
      out_.append("<![CDATA[").append(text).append("]]>");
      break;
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_WHITESPACE:
      if (node->parent != nullptr && holdsRawText(node->parent)) {
        out_ += text;
      } else if (node->parent != nullptr && holdsEscapableRawText(node->parent)) {
        appendEscapableRawText(text);
      } else {
        appendText(text);
      }
      break;
    default:
      break;
  }
}

void Writer::writeAttributes(const GumboElement& element, bool isParam) {
  const GumboAttribute* paramName = nullptr;
  const GumboAttribute* paramValue = nullptr;
  if (isParam) {
    paramName = gumbo_get_attribute(&element.attributes, "name");
    paramValue = gumbo_get_attribute(&element.attributes, "value");
    // The engine looks for <PARAM NAME="..."; both always come first.
    if (paramName != nullptr) {
      out_ += " NAME=";
      writeQuotedValue(paramName->value);
    }
    if (paramValue != nullptr) {
      out_ += " VALUE=";
      writeQuotedValue(paramValue->value);
    }
  }
  for (unsigned i = 0; i < element.attributes.length; ++i) {
    const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
    if (attribute == paramName || attribute == paramValue) continue;
    const std::string name = attributeName(*attribute);
    writeAttribute(name, attribute->value, carriesAddress(name));
  }
}

void Writer::writeAttribute(std::string_view name, std::string_view value, bool alwaysQuoted) {
  out_ += ' ';
  out_ += name;
  out_ += '=';
  if (!alwaysQuoted && canStayUnquoted(value)) {
    appendValueText(value);
  } else {
    writeQuotedValue(value);
  }
}

void Writer::writeQuotedValue(std::string_view value) {
  out_ += '"';
  appendValueText(value);
  out_ += '"';
}

// A value's text as it reads back inside quotes, with no "<" or ">" in it.
void Writer::appendValueText(std::string_view value) {
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '"') {
      out_ += "&quot;";
    } else if (c == '<') {
      out_ += "&lt;";
    } else if (c == '>') {
      out_ += "&gt;";
    } else if (c == '&' && ampersandIsAmbiguousInValue(value, i)) {
      out_ += "&amp;";
    } else {
      out_ += c;
    }
  }
}

void Writer::appendText(std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&': out_ += "&amp;"; break;
      case '<': out_ += "&lt;"; break;
      case '>': out_ += "&gt;"; break;
      default: out_ += c;
    }
  }
}

// TITLE and TEXTAREA content stays as it is but for an "&" that would read
// back as an entity and a "</" that could end the element early.
void Writer::appendEscapableRawText(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '&' && (next == '#' || isAsciiAlphanumeric(next))) {
      out_ += "&amp;";
    } else if (c == '<' && next == '/') {
      out_ += "&lt;";
    } else {
      out_ += c;
    }
  }
}

}  // namespace

std::string serializeHtml(std::string_view html, const SerializeOptions& options, FragmentBounds& fragment) {
  fragment = FragmentBounds{};
  const ParsedHtml parsed(html);
  std::string out;
  if (parsed.document() == nullptr) return out;
  out.reserve(html.size() + html.size() / 8 + 64);
  Writer(options, out, fragment).writeDocument(parsed.document());
  return out;
}

std::string serializeHtml(std::string_view html, const SerializeOptions& options) {
  FragmentBounds ignored;
  return serializeHtml(html, options, ignored);
}

std::string htmlTitle(std::string_view html) {
  const ParsedHtml parsed(html);
  if (parsed.document() == nullptr) return {};
  std::vector<const GumboNode*> pending{parsed.document()};
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    if (isHtmlElement(node, GUMBO_TAG_TITLE)) {
      std::string title;
      const GumboVector& children = childrenOf(node);
      for (unsigned i = 0; i < children.length; ++i) {
        const GumboNode* child = childAt(children, i);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE) title += child->v.text.text;
      }
      return title;
    }
    if (!isContainer(node)) continue;
    const GumboVector& children = childrenOf(node);
    for (size_t i = children.length; i > 0; --i) pending.push_back(childAt(children, i - 1));
  }
  return {};
}

}  // namespace velkin::capture
