#include "capture/nesting_limit.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace velkin::capture {
namespace {

constexpr size_t kNone = std::string_view::npos;

// What the parser does with an element, as far as depth is concerned.
enum TagFlag : uint32_t {
  kVoid = 1u << 0,         // never has content
  kRawText = 1u << 1,      // in HTML, its content is text up to its own end tag
  kSpecial = 1u << 2,      // stops the search of an end tag that has no rule of its own
  kScope = 1u << 3,        // what is open inside it is out of scope for end tags outside it
  kClosesP = 1u << 4,      // its start tag closes an open P
  kScopedEnd = 1u << 5,    // its end tag closes it when it is in scope
  kHeading = 1u << 6,      // H1 to H6
  kImpliedEnd = 1u << 7,   // closed without an end tag when the element around it ends
  kBreaksOut = 1u << 8,    // its start tag leaves SVG or MathML content
  kIntegration = 1u << 9,  // an SVG or MathML element whose content is HTML again
  kDocument = 1u << 10,    // HTML, HEAD, BODY: the parser opens these itself, once
  kFormatting = 1u << 11,  // reopened by the parser when closed by other elements' tags
  kMarker = 1u << 12,      // formatting elements outside it are not reopened inside it
};

struct KnownTag {
  std::string_view name;
  uint32_t flags;
};

constexpr uint32_t kBlock = kSpecial | kClosesP | kScopedEnd;
constexpr uint32_t kInlineFormatting = kFormatting | kBreaksOut;

constexpr KnownTag kKnownTags[] = {
    {"a", kFormatting},
    {"address", kBlock},
    {"annotation-xml", kIntegration},
    {"applet", kSpecial | kScope | kScopedEnd | kMarker},
    {"area", kVoid},
    {"article", kBlock},
    {"aside", kBlock},
    {"b", kInlineFormatting},
    {"base", kVoid},
    {"basefont", kVoid},
    {"bgsound", kVoid},
    {"big", kInlineFormatting},
    {"blockquote", kBlock | kBreaksOut},
    {"body", kDocument | kBreaksOut},
    {"br", kVoid | kBreaksOut},
    {"button", kSpecial | kScopedEnd},
    {"caption", kSpecial | kScope | kMarker},
    {"center", kBlock | kBreaksOut},
    {"code", kInlineFormatting},
    {"col", kVoid},
    {"colgroup", kSpecial},
    {"dd", kSpecial | kClosesP | kImpliedEnd | kBreaksOut},
    {"desc", kIntegration},
    {"details", kBlock},
    {"dialog", kClosesP | kScopedEnd},
    {"dir", kBlock},
    {"div", kBlock | kBreaksOut},
    {"dl", kBlock | kBreaksOut},
    {"dt", kSpecial | kClosesP | kImpliedEnd | kBreaksOut},
    {"em", kInlineFormatting},
    {"embed", kVoid | kBreaksOut},
    {"fieldset", kBlock},
    {"figcaption", kBlock},
    {"figure", kBlock},
    {"font", kFormatting},
    {"footer", kBlock},
    {"foreignobject", kIntegration},
    {"form", kSpecial | kClosesP},
    {"frame", kVoid},
    {"frameset", kSpecial},
    {"h1", kSpecial | kClosesP | kHeading | kBreaksOut},
    {"h2", kSpecial | kClosesP | kHeading | kBreaksOut},
    {"h3", kSpecial | kClosesP | kHeading | kBreaksOut},
    {"h4", kSpecial | kClosesP | kHeading | kBreaksOut},
    {"h5", kSpecial | kClosesP | kHeading | kBreaksOut},
    {"h6", kSpecial | kClosesP | kHeading | kBreaksOut},
    {"head", kDocument | kBreaksOut},
    {"header", kBlock},
    {"hgroup", kBlock},
    {"hr", kVoid | kClosesP | kBreaksOut},
    {"html", kDocument},
    {"i", kInlineFormatting},
    {"iframe", kRawText},
    {"image", kVoid},
    {"img", kVoid | kBreaksOut},
    {"input", kVoid},
    {"keygen", kVoid},
    {"li", kSpecial | kClosesP | kImpliedEnd | kBreaksOut},
    {"link", kVoid},
    {"listing", kBlock | kBreaksOut},
    {"main", kBlock},
    {"marquee", kSpecial | kScope | kScopedEnd | kMarker},
    {"math", 0},
    {"menu", kBlock | kBreaksOut},
    {"meta", kVoid | kBreaksOut},
    {"mi", kIntegration},
    {"mn", kIntegration},
    {"mo", kIntegration},
    {"ms", kIntegration},
    {"mtext", kIntegration},
    {"nav", kBlock},
    {"nobr", kInlineFormatting},
    {"noembed", kRawText},
    {"noframes", kRawText},
    // The serialiser's parser reads NOSCRIPT content as markup, so it is
    // counted like any other element.
    {"noscript", kSpecial},
    {"object", kSpecial | kScope | kScopedEnd | kMarker},
    {"ol", kBlock | kBreaksOut},
    {"optgroup", kImpliedEnd},
    {"option", kImpliedEnd},
    {"p", kSpecial | kClosesP | kImpliedEnd | kBreaksOut},
    {"param", kVoid},
    {"plaintext", kRawText | kClosesP},
    {"pre", kBlock | kBreaksOut},
    {"rb", kImpliedEnd},
    {"rp", kImpliedEnd},
    {"rt", kImpliedEnd},
    {"rtc", kImpliedEnd},
    {"ruby", kBreaksOut},
    {"s", kInlineFormatting},
    {"script", kRawText},
    {"search", kBlock},
    {"section", kBlock},
    {"select", kSpecial},
    {"small", kInlineFormatting},
    {"source", kVoid},
    {"span", kBreaksOut},
    {"strike", kInlineFormatting},
    {"strong", kInlineFormatting},
    {"style", kRawText},
    {"sub", kBreaksOut},
    {"summary", kBlock},
    {"sup", kBreaksOut},
    {"svg", 0},
    {"table", kSpecial | kScope | kBreaksOut},
    {"tbody", kSpecial},
    {"td", kSpecial | kScope | kMarker},
    {"template", kSpecial | kScope | kMarker},
    {"textarea", kRawText},
    {"tfoot", kSpecial},
    {"th", kSpecial | kScope | kMarker},
    {"thead", kSpecial},
    // TITLE is raw text in HTML and an integration point in SVG.
    {"title", kRawText | kIntegration},
    {"tr", kSpecial},
    {"track", kVoid},
    {"tt", kInlineFormatting},
    {"u", kInlineFormatting},
    {"ul", kBlock | kBreaksOut},
    {"var", kBreaksOut},
    {"wbr", kVoid},
    {"xmp", kRawText | kClosesP},
};

constexpr uint32_t kKnownCount = static_cast<uint32_t>(std::size(kKnownTags));

constexpr uint32_t idOf(std::string_view name) {
  for (uint32_t id = 0; id < kKnownCount; ++id) {
    if (kKnownTags[id].name == name) return id;
  }
  return kKnownCount;
}

constexpr uint32_t kA = idOf("a"), kAddress = idOf("address"), kButton = idOf("button"), kCaption = idOf("caption"),
                   kColgroup = idOf("colgroup"), kDd = idOf("dd"), kDiv = idOf("div"), kDt = idOf("dt"),
                   kForm = idOf("form"), kLi = idOf("li"), kMath = idOf("math"), kNobr = idOf("nobr"),
                   kOl = idOf("ol"), kOptgroup = idOf("optgroup"), kOption = idOf("option"), kP = idOf("p"),
                   kPlaintext = idOf("plaintext"), kScript = idOf("script"), kSelect = idOf("select"), kSvg = idOf("svg"),
                   kTable = idOf("table"), kTbody = idOf("tbody"), kTd = idOf("td"), kTemplate = idOf("template"),
                   kTfoot = idOf("tfoot"), kTh = idOf("th"), kThead = idOf("thead"), kTr = idOf("tr"),
                   kUl = idOf("ul");
static_assert(kUl < kKnownCount && kA < kKnownCount && kTr < kKnownCount, "a name the rules use is missing");

const std::unordered_map<std::string_view, uint32_t>& knownIds() {
  static const auto* const ids = [] {
    auto* map = new std::unordered_map<std::string_view, uint32_t>();
    for (uint32_t id = 0; id < kKnownCount; ++id) map->emplace(kKnownTags[id].name, id);
    return map;
  }();
  return *ids;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsAt(std::string_view text, size_t at, std::string_view literal) {
  return at <= text.size() && text.substr(at, literal.size()) == literal;
}

// Whether text holds the lower-case name at "at" (in any case), followed by
// a character that ends a tag name.
bool tagNameAt(std::string_view text, size_t at, std::string_view name) {
  if (at + name.size() >= text.size()) return false;
  for (size_t k = 0; k < name.size(); ++k) {
    if (asciiLower(text[at + k]) != name[k]) return false;
  }
  const char after = text[at + name.size()];
  return isBlank(after) || after == '/' || after == '>';
}

bool endTagAt(std::string_view text, size_t at, std::string_view name) {
  return startsAt(text, at, "</") && tagNameAt(text, at + 2, name);
}

// Where the end tag that closes a raw-text element starts, or kNone.
size_t rawTextEnd(std::string_view html, size_t from, std::string_view name) {
  for (size_t at = html.find("</", from); at != kNone; at = html.find("</", at + 2)) {
    if (tagNameAt(html, at + 2, name)) return at;
  }
  return kNone;
}

// Where the end tag that closes a SCRIPT starts, or kNone. Inside "<!--" a
// "<script" hides the next "</script" (so pages may write script tags in
// their scripts), as the tokenizer's escaped states have it.
size_t scriptEnd(std::string_view html, size_t from) {
  enum class State { kData, kEscaped, kDoubleEscaped } state = State::kData;
  size_t dashes = 0;  // dashes just before, in the escaped states
  size_t at = from;
  while (at < html.size()) {
    const char c = html[at];
    if (state == State::kData) {
      if (c == '<' && endTagAt(html, at, "script")) return at;
      if (c == '<' && startsAt(html, at, "<!--")) {
        state = State::kEscaped;
        dashes = 2;
        at += 4;
        continue;
      }
      ++at;
      continue;
    }
    if (c == '-') {
      ++dashes;
      ++at;
      continue;
    }
    if (c == '>' && dashes >= 2) {
      state = State::kData;
      dashes = 0;
      ++at;
      continue;
    }
    dashes = 0;
    if (c == '<' && state == State::kEscaped) {
      if (endTagAt(html, at, "script")) return at;
      if (tagNameAt(html, at + 1, "script")) {
        state = State::kDoubleEscaped;
        at += 7;
        continue;
      }
    } else if (c == '<' && state == State::kDoubleEscaped && endTagAt(html, at, "script")) {
      state = State::kEscaped;
      at += 8;
      continue;
    }
    ++at;
  }
  return kNone;
}

// After "<!--": the end of the comment, or kNone when the page ends in it.
size_t commentEnd(std::string_view html, size_t from) {
  if (startsAt(html, from, ">")) return from + 1;
  if (startsAt(html, from, "->")) return from + 2;
  for (size_t at = html.find("--", from); at != kNone; at = html.find("--", at + 1)) {
    if (startsAt(html, at + 2, ">")) return at + 3;
    if (startsAt(html, at + 2, "!>")) return at + 4;
  }
  return kNone;
}

// One pass over the page, modelling what the parser will build from the
// result: its stack of open elements (the kept stack) and its list of
// formatting elements, which reopens B, I, FONT ... that other elements'
// tags closed. The kept stack and the formatting elements waiting to be
// reopened together never pass maxDepth, and the formatting list never holds
// more than maxFormatting entries after its last marker: the parser reopens
// entries only as far back as that marker, and any open entry may come to
// wait. The elements whose start tags were dropped are stacked apart, so
// that their end tags are dropped too. The model only ever changes by tags
// that stay in the result, so a second pass models the same and drops
// nothing. Lookups in the kept stack go through per-name and per-category
// chains; searches of the formatting list stop at its last marker, and so
// at maxFormatting entries.
class Limiter {
 public:
  Limiter(std::string_view html, size_t maxDepth, size_t maxFormatting)
      : html_(html), maxDepth_(maxDepth), maxFormatting_(maxFormatting) {
    lastKept_.assign(kKnownCount, -1);
    lastDropped_.assign(kKnownCount, -1);
  }

  std::string run() {
    size_t at = 0;
    while (at != kNone) {
      const size_t open = html_.find('<', at);
      if (open == kNone || open + 1 >= html_.size()) break;
      const char next = html_[open + 1];
      if (isAsciiAlpha(next)) {
        at = startTag(open);
      } else if (next == '/') {
        at = endTagOpen(open);
      } else if (next == '!') {
        at = markupDeclaration(open);
      } else if (next == '?') {
        at = pastNext('>', open + 2);
      } else {
        at = open + 1;
      }
    }
    if (!changed_) return std::string(html_);
    out_.append(html_.substr(copied_));
    return out_;
  }

 private:
  enum Category : size_t { kCatSpecial, kCatScope, kCatHtml, kCatHeading, kCatListStop, kCategoryCount };

  struct Open {
    uint32_t name;
    uint32_t categories;  // bits by Category
    bool foreign;         // SVG or MathML
    bool htmlInside;      // its content is parsed as HTML
    int32_t previousSameName;
    std::array<int32_t, kCategoryCount> previousInCategory;
    int32_t formatting = -1;  // its entry in the formatting list (or its marker)
  };

  // An entry of the parser's list of active formatting elements.
  struct Formatting {
    uint32_t name;
    uint64_t attributes;  // a hash of the attribute text
    int32_t open;         // its kept entry; -1 while it waits to be reopened
    bool marker;
  };

  struct Dropped {
    uint32_t name;
    int32_t previousSameName;
  };

  // What a start tag does to the kept stack: the stack is cut to keepSize,
  // then, when it opens, the element goes on top (after a TBODY and a TR the
  // parser supplies when a table lacks them).
  struct Plan {
    size_t keepSize;
    bool adoptsFormatting = false;  // an open A (or NOBR) leaves the formatting list
    bool opens = false;
    bool foreign = false;
    bool rawText = false;
    bool impliedSection = false;
    bool impliedRow = false;
  };

  static uint32_t flagsOf(uint32_t name) { return name < kKnownCount ? kKnownTags[name].flags : 0; }

  uint32_t intern(const std::string& lowerName) {
    const auto& known = knownIds();
    if (const auto found = known.find(lowerName); found != known.end()) return found->second;
    if (const auto found = otherIds_.find(lowerName); found != otherIds_.end()) return found->second;
    const uint32_t id = kKnownCount + static_cast<uint32_t>(otherIds_.size());
    otherIds_.emplace(lowerName, id);
    lastKept_.push_back(-1);
    lastDropped_.push_back(-1);
    return id;
  }

  // The tag name starting at "at", lower-cased; nameEnd is set after it.
  uint32_t readName(size_t at, size_t& nameEnd) {
    name_.clear();
    while (at < html_.size() && !isBlank(html_[at]) && html_[at] != '/' && html_[at] != '>') {
      name_ += asciiLower(html_[at]);
      ++at;
    }
    nameEnd = at;
    return intern(name_);
  }

  // The end of a tag whose name ends at "at": after its ">", or kNone when
  // the page ends inside it. Attribute values in quotes may hold ">".
  size_t tagEnd(size_t at, bool& selfClosing) const {
    const size_t size = html_.size();
    selfClosing = false;
    while (at < size) {
      const char c = html_[at];
      if (isBlank(c)) {
        ++at;
      } else if (c == '>') {
        return at + 1;
      } else if (c == '/') {
        if (at + 1 < size && html_[at + 1] == '>') {
          selfClosing = true;
          return at + 2;
        }
        ++at;
      } else {
        // An attribute name (which may start with "="), then maybe a value.
        ++at;
        while (at < size && !isBlank(html_[at]) && html_[at] != '/' && html_[at] != '>' && html_[at] != '=') ++at;
        while (at < size && isBlank(html_[at])) ++at;
        if (at >= size || html_[at] != '=') continue;
        ++at;
        while (at < size && isBlank(html_[at])) ++at;
        if (at >= size) return kNone;
        const char quote = html_[at];
        if (quote == '"' || quote == '\'') {
          const size_t close = html_.find(quote, at + 1);
          if (close == kNone) return kNone;
          at = close + 1;
        } else {
          while (at < size && !isBlank(html_[at]) && html_[at] != '>') ++at;
        }
      }
    }
    return kNone;
  }

  size_t pastNext(char c, size_t from) const {
    const size_t at = html_.find(c, from);
    return at == kNone ? kNone : at + 1;
  }

  bool inForeignContent() const { return !kept_.empty() && !kept_.back().htmlInside; }

  size_t markupDeclaration(size_t open) const {
    if (startsAt(html_, open + 2, "--")) return commentEnd(html_, open + 4);
    if (!kept_.empty() && kept_.back().foreign && startsAt(html_, open + 2, "[CDATA[")) {
      const size_t end = html_.find("]]>", open + 9);
      return end == kNone ? kNone : end + 3;
    }
    return pastNext('>', open + 2);  // a doctype, or a bogus comment
  }

  size_t startTag(size_t open) {
    size_t nameEnd = 0;
    const uint32_t name = readName(open + 1, nameEnd);
    bool selfClosing = false;
    const size_t end = tagEnd(nameEnd, selfClosing);
    if (end == kNone) return kNone;  // the parser drops an unfinished tag
    const Plan plan = planStart(name, selfClosing);
    const bool formatting = plan.opens && !plan.foreign && (flagsOf(name) & kFormatting);
    const uint64_t attributes = formatting ? hashOf(nameEnd, end) : 0;
    if (plan.opens && (tooDeep(plan) || (formatting && tooManyFormatting(name, attributes, plan)))) {
      dropped_.push_back({name, lastDropped_[name]});
      lastDropped_[name] = static_cast<int32_t>(dropped_.size() - 1);
      cut(open, end);
      return end;
    }
    popTo(plan.keepSize);
    if (plan.adoptsFormatting) {
      if (const int32_t entry = lastFormattingNamed(name); entry >= 0) removeFormatting(entry);
    }
    if (plan.opens) {
      if (plan.impliedSection) push(kTbody, false);
      if (plan.impliedRow) push(kTr, false);
      push(name, plan.foreign);
      if (formatting) addFormatting(name, attributes);
      if (name == kForm) formOpen_ = true;
    }
    if (!plan.rawText) return end;
    if (name == kPlaintext) return kNone;  // the rest of the page is its text
    const std::string_view tagName = kKnownTags[name].name;
    const size_t close = name == kScript ? scriptEnd(html_, end) : rawTextEnd(html_, end, tagName);
    if (close == kNone) return kNone;
    return tagEnd(close + 2 + tagName.size(), selfClosing);
  }

  Plan planStart(uint32_t name, bool selfClosing) const {
    const uint32_t flags = flagsOf(name);
    Plan plan{kept_.size()};
    size_t& size = plan.keepSize;
    if (inForeignContent()) {
      if (!(flags & kBreaksOut)) {
        plan.opens = !selfClosing;
        plan.foreign = true;
        return plan;
      }
      while (size > 0 && !kept_[size - 1].htmlInside) --size;
    }
    if (name == kSvg || name == kMath) {
      plan.opens = !selfClosing;
      plan.foreign = true;
      return plan;
    }
    if ((flags & kDocument) || (name == kForm && formOpen_)) return plan;
    if (name == kLi || name == kDd || name == kDt) {
      // The nearest item closes, unless something other than ADDRESS, DIV
      // or P stands in between.
      const int32_t stop = lastIn(kCatListStop, size);
      if (stop >= 0) {
        const uint32_t item = kept_[stop].name;
        if (name == kLi ? item == kLi : (item == kDd || item == kDt)) size = static_cast<size_t>(stop);
      }
    }
    if (flags & kClosesP) {
      const int32_t p = lastNamed(kP, size);
      if (p >= 0 && p > std::max(lastIn(kCatScope, size), lastNamed(kButton, size))) size = static_cast<size_t>(p);
    }
    if ((flags & kHeading) && size > 0 && (kept_[size - 1].categories & (1u << kCatHeading))) --size;
    if (name == kOption || name == kOptgroup) {
      if (size > 0 && kept_[size - 1].name == kOption) --size;
      // In a SELECT an OPTGROUP also ends the one before; elsewhere it nests.
      if (name == kOptgroup && size > 0 && kept_[size - 1].name == kOptgroup && lastNamed(kSelect, size) >= 0) --size;
    }
    if (name == kA || name == kNobr) {
      // A second A ends the first: closes it unless a block stands in
      // between (then the parser moves elements about without changing the
      // depth), and takes it off the formatting list. A NOBR does so only
      // when the first is open and in scope.
      const int32_t entry = lastFormattingNamed(name);
      const int32_t at = entry >= 0 ? formatting_[static_cast<size_t>(entry)].open : -1;
      const bool inScope = at >= 0 && static_cast<size_t>(at) < size && at > lastIn(kCatScope, size);
      if (inScope && lastIn(kCatSpecial, size) < at) size = static_cast<size_t>(at);
      plan.adoptsFormatting = entry >= 0 && (name == kA || inScope);
    }
    if (name == kButton) {
      const int32_t at = lastNamed(kButton, size);
      if (at >= 0 && at > lastIn(kCatScope, size)) size = static_cast<size_t>(at);
    }
    if (name == kCaption || name == kColgroup || name == kTbody || name == kThead || name == kTfoot ||
        name == kTr || name == kTd || name == kTh || name == kTable) {
      if (!planTablePart(name, plan)) return plan;
    }
    plan.rawText = (flags & kRawText) != 0;
    plan.opens = !(flags & kVoid) && !plan.rawText;
    return plan;
  }

  // Table parts close what is open inside the table back to where they
  // belong. False when the parser ignores the tag (outside any table).
  bool planTablePart(uint32_t name, Plan& plan) const {
    size_t& size = plan.keepSize;
    const int32_t table = lastNamed(kTable, size);
    const int32_t tmpl = lastNamed(kTemplate, size);
    if (tmpl > table) return true;  // template content takes table parts as they come
    if (name == kTable) {
      const int32_t cell = std::max({lastNamed(kTd, size), lastNamed(kTh, size), lastNamed(kCaption, size)});
      if (table >= 0 && cell < table) size = static_cast<size_t>(table);  // a table directly in a table ends it
      return true;
    }
    if (table < 0) return false;
    const int32_t section = std::max({lastNamed(kTbody, size), lastNamed(kThead, size), lastNamed(kTfoot, size)});
    const int32_t row = lastNamed(kTr, size);
    if (name == kTd || name == kTh) {
      if (row > table) {
        size = static_cast<size_t>(row) + 1;
        return true;
      }
      plan.impliedRow = true;
    }
    if (name == kTr || name == kTd || name == kTh) {
      if (section > table) {
        size = static_cast<size_t>(section) + 1;
        return true;
      }
      plan.impliedSection = true;
    }
    size = static_cast<size_t>(table) + 1;
    return true;
  }

  size_t endTagOpen(size_t open) {
    if (open + 2 >= html_.size()) return kNone;
    const char next = html_[open + 2];
    if (next == '>') return open + 3;                              // "</>" is dropped by the parser
    if (!isAsciiAlpha(next)) return pastNext('>', open + 2);       // a bogus comment
    size_t nameEnd = 0;
    const uint32_t name = readName(open + 2, nameEnd);
    bool selfClosing = false;
    const size_t end = tagEnd(nameEnd, selfClosing);
    if (end == kNone) return kNone;
    if (const int32_t at = lastDropped_[name]; at >= 0) {
      while (dropped_.size() > static_cast<size_t>(at)) popDropped();
      cut(open, end);
      return end;
    }
    closeByEndTag(name);
    return end;
  }

  void closeByEndTag(uint32_t name) {
    const size_t size = kept_.size();
    const int32_t at = lastNamed(name, size);
    if (inForeignContent() && at >= 0 && at > lastIn(kCatHtml, size)) {
      popTo(static_cast<size_t>(at));
      return;
    }
    const uint32_t flags = flagsOf(name);
    if (flags & (kDocument | kVoid)) return;  // BODY and HTML stay open to the end
    if ((flags & kFormatting) && closeFormatting(name)) return;
    const int32_t scope = lastIn(kCatScope, size);
    bool closes = false;
    if (name == kP) {
      closes = at > std::max(scope, lastNamed(kButton, size));
    } else if (name == kLi) {
      closes = at > std::max({scope, lastNamed(kOl, size), lastNamed(kUl, size)});
    } else if (name == kDd || name == kDt) {
      closes = at > scope;
    } else if (flags & kHeading) {
      const int32_t heading = lastIn(kCatHeading, size);  // any heading's end tag ends any heading
      if (heading > scope) popTo(static_cast<size_t>(heading));
      return;
    } else if (name == kForm) {
      // The form element leaves the stack alone; what is open inside it
      // stays open.
      formOpen_ = false;
      if (at < 0 || at < scope) return;
      size_t keep = size;
      while (keep > static_cast<size_t>(at) + 1 && (flagsOf(kept_[keep - 1].name) & kImpliedEnd)) --keep;
      popTo(keep == static_cast<size_t>(at) + 1 ? keep - 1 : keep);
      return;
    } else if (flags & kScopedEnd) {
      closes = at >= 0 && at >= scope;
    } else if (name == kTable || name == kTbody || name == kThead || name == kTfoot || name == kTr ||
               name == kTd || name == kTh || name == kCaption) {
      closes = at >= 0 && at >= std::max(lastNamed(kTable, size), lastNamed(kTemplate, size));
    } else if (name == kColgroup) {
      closes = at >= 0 && static_cast<size_t>(at) + 1 == size;
    } else {
      // Any other end tag closes its element unless a special element
      // stands in between.
      closes = at >= 0 && lastIn(kCatSpecial, size) <= at;
    }
    if (closes) popTo(static_cast<size_t>(at));
  }

  // The end tag of a formatting element on the formatting list: one waiting
  // to be reopened leaves the list; an open one is closed when nothing
  // special stands above it (otherwise the parser moves elements about
  // without changing the depth). False when the list does not hold it.
  bool closeFormatting(uint32_t name) {
    const int32_t entry = lastFormattingNamed(name);
    if (entry < 0) return false;
    const int32_t at = formatting_[static_cast<size_t>(entry)].open;
    if (at < 0) {
      removeFormatting(entry);
    } else if (at > lastIn(kCatScope, kept_.size()) && lastIn(kCatSpecial, kept_.size()) < at) {
      popTo(static_cast<size_t>(at));  // no marker above it, so the entry stays where it is
      removeFormatting(entry);
    }
    return true;
  }

  // Whether the element a start tag opens would stand deeper than maxDepth,
  // counting the formatting elements the parser would reopen around it.
  bool tooDeep(const Plan& plan) const {
    const size_t depth = plan.keepSize + 1 + (plan.impliedSection ? 1 : 0) + (plan.impliedRow ? 1 : 0) +
                         waitingAfterPopTo(plan.keepSize);
    return depth > maxDepth_;
  }

  // Whether adding a formatting element would leave more than maxFormatting
  // entries after the last marker, once the entry an A or NOBR ends and the
  // earliest of three identical entries have left. (For the formatting
  // elements' start tags the plan's cut closes no marker.)
  bool tooManyFormatting(uint32_t name, uint64_t attributes, const Plan& plan) const {
    const int32_t adopted = plan.adoptsFormatting ? lastFormattingNamed(name) : -1;
    size_t entries = 1;
    size_t identical = 0;
    for (size_t at = formatting_.size(); at > 0; --at) {
      const Formatting& entry = formatting_[at - 1];
      if (entry.marker) break;
      if (static_cast<int32_t>(at - 1) == adopted) continue;
      ++entries;
      if (entry.name == name && entry.attributes == attributes) ++identical;
    }
    return entries - (identical >= 3 ? 1 : 0) > maxFormatting_;
  }

  // The formatting elements waiting to be reopened once the kept stack is
  // cut to size: those waiting now and those the cut would close.
  size_t waitingAfterPopTo(size_t size) const {
    size_t waiting = waiting_;
    for (size_t at = size; at < kept_.size(); ++at) {
      const int32_t entry = kept_[at].formatting;
      if (entry >= 0 && !formatting_[static_cast<size_t>(entry)].marker) ++waiting;
    }
    return waiting;
  }

  // The most recent formatting entry of a name after the last marker.
  int32_t lastFormattingNamed(uint32_t name) const {
    for (size_t at = formatting_.size(); at > 0; --at) {
      const Formatting& entry = formatting_[at - 1];
      if (entry.marker) break;
      if (entry.name == name) return static_cast<int32_t>(at - 1);
    }
    return -1;
  }

  // Puts the element just pushed on the formatting list; as the parser does,
  // the earliest of three identical entries after the last marker leaves.
  void addFormatting(uint32_t name, uint64_t attributes) {
    size_t identical = 0;
    size_t earliest = 0;
    for (size_t at = formatting_.size(); at > 0; --at) {
      const Formatting& entry = formatting_[at - 1];
      if (entry.marker) break;
      if (entry.name == name && entry.attributes == attributes) {
        ++identical;
        earliest = at - 1;
      }
    }
    if (identical >= 3) removeFormatting(static_cast<int32_t>(earliest));
    kept_.back().formatting = static_cast<int32_t>(formatting_.size());
    formatting_.push_back({name, attributes, static_cast<int32_t>(kept_.size() - 1), false});
  }

  void removeFormatting(int32_t index) {
    const auto at = static_cast<size_t>(index);
    if (formatting_[at].open >= 0) {
      kept_[static_cast<size_t>(formatting_[at].open)].formatting = -1;
    } else if (!formatting_[at].marker) {
      --waiting_;
    }
    formatting_.erase(formatting_.begin() + index);
    for (size_t later = at; later < formatting_.size(); ++later) {
      const int32_t open = formatting_[later].open;
      if (open >= 0) kept_[static_cast<size_t>(open)].formatting = static_cast<int32_t>(later);
    }
  }

  // A marker's element closed: the entries after its marker leave the list.
  void clearFormattingTo(size_t marker) {
    while (formatting_.size() > marker) {
      const Formatting& entry = formatting_.back();
      if (entry.open >= 0) {
        kept_[static_cast<size_t>(entry.open)].formatting = -1;
      } else if (!entry.marker) {
        --waiting_;
      }
      formatting_.pop_back();
    }
  }

  uint64_t hashOf(size_t begin, size_t end) const {
    uint64_t hash = 14695981039346656037ull;
    for (size_t at = begin; at < end; ++at) {
      hash = (hash ^ static_cast<unsigned char>(html_[at])) * 1099511628211ull;
    }
    return hash;
  }

  // The most recent kept entry of a name (or of a category) below limit.
  int32_t lastNamed(uint32_t name, size_t limit) const {
    int32_t at = lastKept_[name];
    while (at >= 0 && static_cast<size_t>(at) >= limit) at = kept_[static_cast<size_t>(at)].previousSameName;
    return at;
  }

  int32_t lastIn(Category category, size_t limit) const {
    int32_t at = lastInCategory_[category];
    while (at >= 0 && static_cast<size_t>(at) >= limit) {
      at = kept_[static_cast<size_t>(at)].previousInCategory[category];
    }
    return at;
  }

  void push(uint32_t name, bool foreign) {
    const uint32_t flags = flagsOf(name);
    Open entry{name, 0, foreign, !foreign || (flags & kIntegration) != 0, lastKept_[name], {}};
    if (!foreign) {
      entry.categories = 1u << kCatHtml;
      if (flags & kSpecial) entry.categories |= 1u << kCatSpecial;
      if (flags & kScope) entry.categories |= 1u << kCatScope;
      if (flags & kHeading) entry.categories |= 1u << kCatHeading;
      if ((flags & kSpecial) && name != kAddress && name != kDiv && name != kP) {
        entry.categories |= 1u << kCatListStop;
      }
    } else if (flags & kIntegration) {
      entry.categories = (1u << kCatSpecial) | (1u << kCatScope) | (1u << kCatListStop);
    }
    const auto index = static_cast<int32_t>(kept_.size());
    for (size_t category = 0; category < kCategoryCount; ++category) {
      entry.previousInCategory[category] = lastInCategory_[category];
      if (entry.categories & (1u << category)) lastInCategory_[category] = index;
    }
    lastKept_[name] = index;
    if (!foreign && (flags & kMarker)) {
      entry.formatting = static_cast<int32_t>(formatting_.size());
      formatting_.push_back({name, 0, index, true});
    }
    kept_.push_back(entry);
  }

  // Cuts the kept stack to size; the dropped elements above go with it.
  void popTo(size_t size) {
    if (kept_.size() <= size) return;
    while (kept_.size() > size) {
      const Open& entry = kept_.back();
      if (entry.formatting >= 0) {
        const auto at = static_cast<size_t>(entry.formatting);
        if (formatting_[at].marker) {
          clearFormattingTo(at);
        } else {
          formatting_[at].open = -1;  // the parser reopens it at the next text
          ++waiting_;
        }
      }
      lastKept_[entry.name] = entry.previousSameName;
      for (size_t category = 0; category < kCategoryCount; ++category) {
        if (entry.categories & (1u << category)) lastInCategory_[category] = entry.previousInCategory[category];
      }
      kept_.pop_back();
    }
    while (!dropped_.empty()) popDropped();
  }

  void popDropped() {
    lastDropped_[dropped_.back().name] = dropped_.back().previousSameName;
    dropped_.pop_back();
  }

  // Leaves html_[begin, end) out of the result. A "<" of text just before
  // would start a tag with what follows, so it is written as "&lt;".
  void cut(size_t begin, size_t end) {
    if (!changed_) {
      out_.reserve(html_.size());
      changed_ = true;
    }
    out_.append(html_.substr(copied_, begin - copied_));
    if (!out_.empty() && out_.back() == '<') {
      out_.back() = '&';
      out_ += "lt;";
    }
    copied_ = end;
  }

  const std::string_view html_;
  const size_t maxDepth_;
  const size_t maxFormatting_;
  std::vector<Open> kept_;
  std::vector<Dropped> dropped_;
  std::vector<Formatting> formatting_;
  size_t waiting_ = 0;  // formatting entries waiting to be reopened
  std::vector<int32_t> lastKept_;     // by name id
  std::vector<int32_t> lastDropped_;  // by name id
  std::array<int32_t, kCategoryCount> lastInCategory_{-1, -1, -1, -1, -1};
  std::unordered_map<std::string, uint32_t> otherIds_;
  std::string name_;
  bool formOpen_ = false;
  bool changed_ = false;
  size_t copied_ = 0;
  std::string out_;
};

}  // namespace

std::string limitNesting(std::string_view html, size_t maxDepth, size_t maxFormatting) {
  // Every element that opens starts with "<": a page with no more of them
  // than the limits cannot pass either.
  const auto tags = static_cast<size_t>(std::count(html.begin(), html.end(), '<'));
  if (tags <= std::min(maxDepth, maxFormatting)) return std::string(html);
  return Limiter(html, maxDepth, maxFormatting).run();
}

}  // namespace velkin::capture
