#include "capture/css_urls.h"

#include <cstdint>

#include "platform/text.h"

namespace velkin::capture {
namespace {

constexpr int kEnd = -1;  // what peek gives past the end of the sheet
constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

bool isNewline(int c) { return c == '\n' || c == '\r' || c == '\f'; }
bool isWhitespace(int c) { return c == ' ' || c == '\t' || isNewline(c); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isHexDigit(int c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isQuote(int c) { return c == '"' || c == '\''; }
// Bytes of non-ASCII characters count as name characters, as the characters
// do; a NUL byte stands for U+FFFD and counts too.
bool isIdentStart(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80 || c == 0; }
bool isIdentChar(int c) { return isIdentStart(c) || isDigit(c) || c == '-'; }
bool isNonPrintable(int c) { return (c >= 1 && c <= 8) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F; }

int hexValue(int c) {
  if (isDigit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

void appendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// A character of the sheet as it reads in a value: NUL becomes U+FFFD.
void appendByte(std::string& out, int c) {
  if (c == 0) {
    appendUtf8(out, kReplacementCharacter);
  } else {
    out += static_cast<char>(c);
  }
}

struct Value {
  std::string text;
  bool bad = false;  // a string broken by a line end, or a malformed url value
};

// Walks the sheet token by token, keeping only what finds references: the
// url values, the strings after url( and @import, and enough of every other
// token (names, numbers, comments) to know where tokens begin.
class CssTokenizer {
 public:
  explicit CssTokenizer(std::string_view css) : css_(css) {}

  std::vector<CssReference> run() {
    while (pos_ < css_.size()) nextToken();
    return std::move(references_);
  }

 private:
  int peek(size_t ahead = 0) const {
    return pos_ + ahead < css_.size() ? static_cast<unsigned char>(css_[pos_ + ahead]) : kEnd;
  }

  bool validEscape(size_t ahead) const { return peek(ahead) == '\\' && !isNewline(peek(ahead + 1)); }

  bool startsIdent(size_t ahead) const {
    const int c = peek(ahead);
    if (c == '-') return isIdentStart(peek(ahead + 1)) || peek(ahead + 1) == '-' || validEscape(ahead + 1);
    if (c == '\\') return validEscape(ahead);
    return c != kEnd && isIdentStart(c);
  }

  bool startsNumber() const {
    const int c = peek();
    if (c == '+' || c == '-') return isDigit(peek(1)) || (peek(1) == '.' && isDigit(peek(2)));
    if (c == '.') return isDigit(peek(1));
    return isDigit(c);
  }

  void skipWhitespace() {
    while (isWhitespace(peek())) ++pos_;
  }

  void skipDigits() {
    while (isDigit(peek())) ++pos_;
  }

  // Past the backslash: a hexadecimal escape (up to six digits and one
  // following blank) or the escaped character itself.
  void consumeEscape(std::string& out) {
    const int c = peek();
    if (c == kEnd) {
      appendUtf8(out, kReplacementCharacter);
      return;
    }
    if (!isHexDigit(c)) {
      appendByte(out, c);
      ++pos_;
      return;
    }
    uint32_t codePoint = 0;
    for (int digits = 0; digits < 6 && isHexDigit(peek()); ++digits, ++pos_) {
      codePoint = codePoint * 16 + static_cast<uint32_t>(hexValue(peek()));
    }
    if (peek() == '\r' && peek(1) == '\n') {
      pos_ += 2;
    } else if (isWhitespace(peek())) {
      ++pos_;
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    appendUtf8(out, codePoint == 0 || surrogate || codePoint > kMaxCodePoint ? kReplacementCharacter : codePoint);
  }

  std::string consumeName() {
    std::string name;
    for (;;) {
      if (isIdentChar(peek())) {
        appendByte(name, peek());
        ++pos_;
      } else if (validEscape(0)) {
        ++pos_;
        consumeEscape(name);
      } else {
        return name;
      }
    }
  }

  // Past the opening quote, up to and including the closing one.
  Value consumeString(int quote) {
    Value value;
    for (;;) {
      const int c = peek();
      if (c == kEnd) return value;
      if (c == quote) {
        ++pos_;
        return value;
      }
      if (isNewline(c)) {
        value.bad = true;  // the line end is left for the next token
        return value;
      }
      ++pos_;
      if (c != '\\') {
        appendByte(value.text, c);
      } else if (peek() == '\r' && peek(1) == '\n') {
        pos_ += 2;  // an escaped line end continues the string
      } else if (isNewline(peek())) {
        ++pos_;
      } else if (peek() != kEnd) {
        consumeEscape(value.text);
      }
    }
  }

  // The rest of a malformed url value, up to its ")"; escapes are skipped
  // whole so that an escaped ")" does not end it.
  void skipBadUrl() {
    for (;;) {
      const int c = peek();
      if (c == kEnd) return;
      if (c == ')') {
        ++pos_;
        return;
      }
      if (validEscape(0)) {
        ++pos_;
        std::string ignored;
        consumeEscape(ignored);
      } else {
        ++pos_;
      }
    }
  }

  // Past "url(": an unquoted url value up to and including its ")".
  Value consumeUrl() {
    Value value;
    skipWhitespace();
    for (;;) {
      const int c = peek();
      if (c == kEnd) return value;
      if (c == ')') {
        ++pos_;
        return value;
      }
      if (isWhitespace(c)) {
        skipWhitespace();
        if (peek() == kEnd) return value;
        if (peek() == ')') {
          ++pos_;
          return value;
        }
        value.bad = true;
        skipBadUrl();
        return value;
      }
      if (isQuote(c) || c == '(' || isNonPrintable(c) || (c == '\\' && !validEscape(0))) {
        value.bad = true;
        skipBadUrl();
        return value;
      }
      ++pos_;
      if (c == '\\') {
        consumeEscape(value.text);
      } else {
        appendByte(value.text, c);
      }
    }
  }

  void addReference(size_t begin, bool quoted, bool isImport, Value value) {
    if (value.bad) return;
    references_.push_back(CssReference{begin, pos_, quoted, isImport, std::move(value.text)});
  }

  // A name, a function, or a url: url( followed by a quote is a function
  // whose string is the address; any other url( is an unquoted url value.
  void consumeIdentLike(size_t begin, bool isImport) {
    const std::string name = consumeName();
    if (peek() != '(') return;
    ++pos_;
    if (!platform::equalsIgnoreCase(name, "url")) return;
    while (isWhitespace(peek()) && isWhitespace(peek(1))) ++pos_;
    if (isQuote(peek()) || (isWhitespace(peek()) && isQuote(peek(1)))) {
      skipWhitespace();
      const size_t stringBegin = pos_;
      const int quote = peek();
      ++pos_;
      addReference(stringBegin, true, isImport, consumeString(quote));
      return;
    }
    addReference(begin, false, isImport, consumeUrl());
  }

  void consumeNumeric() {
    if (peek() == '+' || peek() == '-') ++pos_;
    skipDigits();
    if (peek() == '.' && isDigit(peek(1))) {
      ++pos_;
      skipDigits();
    }
    if ((peek() == 'e' || peek() == 'E') &&
        (isDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
      pos_ += 2;
      skipDigits();
    }
    if (startsIdent(0)) {
      consumeName();  // a unit: "5url(" is a dimension, not a url
    } else if (peek() == '%') {
      ++pos_;
    }
  }

  void nextToken() {
    const size_t begin = pos_;
    const int c = peek();
    if (c == '/' && peek(1) == '*') {
      const size_t close = css_.find("*/", pos_ + 2);
      pos_ = close == std::string_view::npos ? css_.size() : close + 2;
      return;  // comments and blanks may stand between @import and its address
    }
    if (isWhitespace(c)) {
      skipWhitespace();
      return;
    }
    const bool isImport = importPending_;
    importPending_ = false;
    if (isQuote(c)) {
      ++pos_;
      Value value = consumeString(c);
      if (isImport) addReference(begin, true, true, std::move(value));
    } else if (c == '@' && startsIdent(1)) {
      ++pos_;
      importPending_ = platform::equalsIgnoreCase(consumeName(), "import");
    } else if (c == '#' && (isIdentChar(peek(1)) || validEscape(1))) {
      ++pos_;
      consumeName();
    } else if (startsNumber()) {
      consumeNumeric();
    } else if (css_.substr(pos_, 4) == "<!--") {
      pos_ += 4;
    } else if (css_.substr(pos_, 3) == "-->") {
      pos_ += 3;
    } else if (startsIdent(0)) {
      consumeIdentLike(begin, isImport);
    } else {
      ++pos_;
    }
  }

  std::string_view css_;
  size_t pos_ = 0;
  bool importPending_ = false;  // an @import was read and its address may follow
  std::vector<CssReference> references_;
};

// address as a CSS string that reads back as exactly address.
std::string quotedCssString(std::string_view address) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      out += '\\';
      if (c >= 0x10) out += kHex[c >> 4];
      out += kHex[c & 0x0F];
      out += ' ';
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

}  // namespace

std::vector<CssReference> findCssReferences(std::string_view css) { return CssTokenizer(css).run(); }

std::string rewriteCssReferences(
    std::string_view css, const std::function<std::optional<std::string>(const CssReference&)>& replacement) {
  std::string out;
  out.reserve(css.size());
  size_t copied = 0;
  for (const CssReference& reference : findCssReferences(css)) {
    const std::optional<std::string> address = replacement(reference);
    if (!address) continue;
    out.append(css.substr(copied, reference.begin - copied));
    out += reference.quoted ? quotedCssString(*address) : "url(" + quotedCssString(*address) + ")";
    copied = reference.end;
  }
  out.append(css.substr(copied));
  return out;
}

}  // namespace velkin::capture
