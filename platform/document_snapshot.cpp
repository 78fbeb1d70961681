#include "platform/document_snapshot.h"

#include <algorithm>
#include <new>
#include <nlohmann/json.hpp>

#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::platform {

using Json = nlohmann::json;

namespace {

// Thrown inside this file only, to leave the reading at the first fault;
// fromJson turns it into its error text.
struct MalformedMessage {
  std::string reason;
};

[[noreturn]] void refuse(std::string reason) { throw MalformedMessage{std::move(reason)}; }

// The code unit of the escape "\uXXXX" starting at text[at], or -1 when
// there is no complete one there.
long escapedUnit(std::string_view text, size_t at) {
  if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
  long unit = 0;
  for (size_t i = at + 2; i < at + 6; ++i) {
    const int digit = hexDigitValue(text[i]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

bool isHighSurrogate(long unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(long unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// One pass over the message before the JSON parser sees it: bounds the
// nesting depth and the number of values (so that a small hostile message
// cannot make the parser build an enormous tree), and rewrites an escaped
// lone surrogate as "\ufffd", which the parser would otherwise refuse.
// Everything else is copied unchanged for the parser to judge.
std::string prepareMessage(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t depth = 0;
  size_t values = 1;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '"') inString = false;
      if (c != '\\') {
        out += c;
        continue;
      }
      const long unit = escapedUnit(text, i);
      const bool pair = isHighSurrogate(unit) && isLowSurrogate(escapedUnit(text, i + 6));
      if (pair) {
        out.append(text.substr(i, 12));
        i += 11;
      } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
        out += "\\ufffd";
        i += 5;
      } else {
        out.append(text.substr(i, std::min<size_t>(2, text.size() - i)));
        ++i;
      }
      continue;
    }
    if (c == '"') inString = true;
    if (c == '[' || c == '{') {
      if (++depth > kMaxNestingDepth) {
        refuse("it nests arrays and objects more than " + std::to_string(kMaxNestingDepth) + " deep");
      }
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
    if ((c == ',' || c == ':') && ++values > kMaxJsonValues) {
      refuse("it holds more than " + std::to_string(kMaxJsonValues) + " values");
    }
    out += c;
  }
  return out;
}

// The member of an object, or nullptr when it is absent or null.
const Json* member(const Json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || found->is_null()) return nullptr;
  return &*found;
}

std::string path(const std::string& where, const char* name) {
  return where.empty() ? std::string("\"") + name + "\"" : where + "." + name;
}

std::optional<std::string> optionalString(const Json& object, const char* name, const std::string& where) {
  const Json* value = member(object, name);
  if (!value) return std::nullopt;
  if (!value->is_string()) refuse(path(where, name) + " is not a string");
  return value->get<std::string>();
}

std::optional<bool> optionalBool(const Json& object, const char* name, const std::string& where) {
  const Json* value = member(object, name);
  if (!value) return std::nullopt;
  if (!value->is_boolean()) refuse(path(where, name) + " is not true or false");
  return value->get<bool>();
}

const Json* optionalArray(const Json& object, const char* name) {
  const Json* value = member(object, name);
  if (!value) return nullptr;
  if (!value->is_array()) refuse(path("", name) + " is not an array");
  if (value->size() > kMaxCollectionItems) {
    refuse(path("", name) + " holds more than " + std::to_string(kMaxCollectionItems) + " items");
  }
  return value;
}

const Json* optionalObject(const Json& object, const char* name, const std::string& where) {
  const Json* value = member(object, name);
  if (value && !value->is_object()) refuse(path(where, name) + " is not an object");
  return value;
}

// Whether an item of a collection is an object to read (true) or null, an
// item of another kind (false); anything else is malformed.
bool isItemObject(const Json& item, const std::string& where) {
  if (item.is_null()) return false;
  if (!item.is_object()) refuse(where + " is not an object or null");
  return true;
}

void refuseLongName(const std::string& name, const std::string& where) {
  if (name.size() > kMaxTagNameBytes) {
    refuse(where + " has a name longer than " + std::to_string(kMaxTagNameBytes) + " bytes");
  }
}

void refuseManyPairs(const Json& value, const std::string& where) {
  if (value.size() > kMaxElementAttributes) {
    refuse(where + " holds more than " + std::to_string(kMaxElementAttributes) + " items");
  }
}

// An element's "attributes": an object whose members are strings.
std::vector<SnapshotPair> readAttributes(const Json& item, const std::string& where) {
  std::vector<SnapshotPair> attributes;
  const Json* object = optionalObject(item, "attributes", where);
  if (!object) return attributes;
  const std::string at = path(where, "attributes");
  refuseManyPairs(*object, at);
  for (const auto& [name, value] : object->items()) {
    refuseLongName(name, at);
    if (!value.is_string()) refuse(at + "." + name + " is not a string");
    attributes.emplace_back(name, value.get<std::string>());
  }
  return attributes;
}

// An element's "params": an array of {"name", "value"} objects.
std::vector<SnapshotPair> readParams(const Json& item, const std::string& where) {
  std::vector<SnapshotPair> params;
  const Json* array = member(item, "params");
  if (!array) return params;
  const std::string at = path(where, "params");
  if (!array->is_array()) refuse(at + " is not an array");
  refuseManyPairs(*array, at);
  for (size_t i = 0; i < array->size(); ++i) {
    const std::string itemAt = at + "[" + std::to_string(i) + "]";
    if (!(*array)[i].is_object()) refuse(itemAt + " is not an object");
    std::string name = optionalString((*array)[i], "name", itemAt).value_or("");
    refuseLongName(name, itemAt);
    params.emplace_back(std::move(name), optionalString((*array)[i], "value", itemAt).value_or(""));
  }
  return params;
}

std::optional<std::string> valueNamed(const std::vector<SnapshotPair>& pairs, std::string_view name) {
  for (const auto& pair : pairs) {
    if (equalsIgnoreCase(pair.first, name)) return pair.second;
  }
  return std::nullopt;
}

std::string itemPath(const char* collection, size_t index) {
  return std::string("\"") + collection + "\"[" + std::to_string(index) + "]";
}

}  // namespace

// Reads the parsed message into a snapshot, field by field.
class SnapshotReader {
 public:
  static DocumentSnapshot read(const Json& message) {
    if (!message.is_object()) refuse("it is not a JSON object");
    DocumentSnapshot snapshot;
    auto url = optionalString(message, "url", "");
    if (!url) refuse("it has no \"url\"");
    snapshot.url_ = std::move(*url);
    snapshot.title_ = readTitle(message);
    if (const Json* all = optionalArray(message, "all")) {
      for (size_t i = 0; i < all->size(); ++i) snapshot.all_.push_back(readElement((*all)[i], itemPath("all", i)));
    }
    snapshot.styleSheetsReadable_ = optionalBool(message, "styleSheetsReadable", "").value_or(true);
    if (const Json* sheets = optionalArray(message, "styleSheets")) {
      for (size_t i = 0; i < sheets->size(); ++i) {
        snapshot.styleSheets_.push_back(readStyleSheet((*sheets)[i], itemPath("styleSheets", i)));
      }
    }
    if (const Json* selection = optionalObject(message, "selection", "")) {
      snapshot.selectionHtml_ = optionalString(*selection, "htmlText", "\"selection\"");
    }
    if (const Json* element = optionalObject(message, "elementFromPoint", "")) {
      snapshot.elementFromPointSrc_ = optionalString(*element, "src", "\"elementFromPoint\"").value_or("");
    }
    return snapshot;
  }

  static Json write(const DocumentSnapshot& snapshot) {
    Json all = Json::array();
    for (const SnapshotElement& element : snapshot.all_) {
      Json item = {{"isHtmlElement", element.isHtmlElement}, {"outerHTML", element.outerHTML}};
      if (element.tagName) item["tagName"] = *element.tagName;
      if (!element.attributes.empty()) {
        Json attributes = Json::object();
        for (const auto& [name, value] : element.attributes) attributes[name] = value;
        item["attributes"] = std::move(attributes);
      }
      if (!element.params.empty()) {
        Json params = Json::array();
        for (const auto& [name, value] : element.params) params.push_back({{"name", name}, {"value", value}});
        item["params"] = std::move(params);
      }
      all.push_back(std::move(item));
    }
    Json sheets = Json::array();
    for (const SnapshotStyleSheet& sheet : snapshot.styleSheets_) {
      Json item = nullptr;
      if (sheet.isStyleSheet) item = {{"cssText", sheet.cssText ? Json(*sheet.cssText) : Json()}};
      sheets.push_back(std::move(item));
    }
    Json message = {{"url", snapshot.url_}, {"title", snapshot.title_}, {"all", std::move(all)},
                    {"styleSheetsReadable", snapshot.styleSheetsReadable_}, {"styleSheets", std::move(sheets)}};
    message["selection"] = snapshot.selectionHtml_ ? Json{{"htmlText", *snapshot.selectionHtml_}} : Json();
    message["elementFromPoint"] = snapshot.elementFromPointSrc_ ? Json{{"src", *snapshot.elementFromPointSrc_}} : Json();
    return message;
  }

 private:
  static std::string readTitle(const Json& message) {
    std::string title = optionalString(message, "title", "").value_or("");
    if (title.size() > kMaxTitleBytes) {
      trace("DocumentSnapshot", "title of " + std::to_string(title.size()) + " bytes cut");
      title = std::string(cutAtCharacter(title, kMaxTitleBytes));
    }
    return title;
  }

  static SnapshotElement readElement(const Json& item, const std::string& where) {
    SnapshotElement element;
    if (!isItemObject(item, where)) {
      element.isHtmlElement = false;
      return element;
    }
    element.isHtmlElement = optionalBool(item, "isHtmlElement", where).value_or(true);
    element.tagName = optionalString(item, "tagName", where);
    if (element.tagName && element.tagName->size() > kMaxTagNameBytes) {
      refuse(path(where, "tagName") + " is longer than " + std::to_string(kMaxTagNameBytes) + " bytes");
    }
    element.outerHTML = optionalString(item, "outerHTML", where).value_or("");
    element.attributes = readAttributes(item, where);
    element.params = readParams(item, where);
    return element;
  }

  static SnapshotStyleSheet readStyleSheet(const Json& item, const std::string& where) {
    SnapshotStyleSheet sheet;
    sheet.isStyleSheet = isItemObject(item, where);
    if (sheet.isStyleSheet) sheet.cssText = optionalString(item, "cssText", where);
    return sheet;
  }
};

std::optional<DocumentSnapshot> DocumentSnapshot::fromJson(std::string_view text, std::string& error) {
  std::string reason;
  try {
    if (text.size() > kMaxMessageBytes) {
      refuse("it is larger than " + std::to_string(kMaxMessageBytes) + " bytes");
    }
    const Json message = Json::parse(prepareMessage(text));
    return SnapshotReader::read(message);
  } catch (const MalformedMessage& malformed) {
    reason = malformed.reason;
  } catch (const Json::exception& parseError) {
    // The parser's text starts with its own tag ("[json.exception...] ").
    const std::string_view detail = parseError.what();
    const size_t tagEnd = detail.find("] ");
    reason = "it is not valid JSON (" + std::string(detail.substr(tagEnd == detail.npos ? 0 : tagEnd + 2)) + ")";
  } catch (const std::bad_alloc&) {
    reason = "there is not enough memory to read it";
  }
  error = "The browser's document message cannot be read: " + reason + ".";
  trace("DocumentSnapshot", error);
  return std::nullopt;
}

std::string DocumentSnapshot::toJson() const {
  return SnapshotReader::write(*this).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::string> DocumentSnapshot::styleText() const {
  if (!styleSheetsReadable_) return std::nullopt;
  std::string text;
  for (const SnapshotStyleSheet& sheet : styleSheets_) {
    if (sheet.isStyleSheet && sheet.cssText) text += *sheet.cssText;
  }
  return text;
}

std::optional<std::string> SnapshotElement::attribute(std::string_view name) const {
  return valueNamed(attributes, name);
}

std::optional<std::string> SnapshotElement::param(std::string_view name) const { return valueNamed(params, name); }

bool operator==(const SnapshotElement& a, const SnapshotElement& b) {
  return a.isHtmlElement == b.isHtmlElement && a.tagName == b.tagName && a.outerHTML == b.outerHTML &&
         a.attributes == b.attributes && a.params == b.params;
}

bool operator==(const SnapshotStyleSheet& a, const SnapshotStyleSheet& b) {
  return a.isStyleSheet == b.isStyleSheet && a.cssText == b.cssText;
}

bool DocumentSnapshot::operator==(const DocumentSnapshot& other) const {
  return url_ == other.url_ && title_ == other.title_ && all_ == other.all_ &&
         styleSheetsReadable_ == other.styleSheetsReadable_ && styleSheets_ == other.styleSheets_ &&
         selectionHtml_ == other.selectionHtml_ && elementFromPointSrc_ == other.elementFromPointSrc_;
}

std::optional<std::string> boundedJsonText(std::string_view text, std::string& error) {
  try {
    if (text.size() > kMaxMessageBytes) {
      refuse("it is larger than " + std::to_string(kMaxMessageBytes) + " bytes");
    }
    return prepareMessage(text);
  } catch (const MalformedMessage& malformed) {
    error = malformed.reason;
  } catch (const std::bad_alloc&) {
    error = "there is not enough memory to read it";
  }
  return std::nullopt;
}

}  // namespace velkin::platform
