#include "platform/com/registrar.h"

#include <cstddef>

#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::com {

using platform::equalsIgnoreCase;
using platform::RegistryRoot;
using platform::RegistryType;

namespace {

enum class TokenKind { Word, Quoted, Open, Close, Equals };

struct Token {
  TokenKind kind;
  std::string text;
  int line;
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool endsWord(char c) { return isBlank(c) || c == '{' || c == '}' || c == '=' || c == '\''; }

// Splits a script into tokens, replacing placeholders inside names and
// values. Fills error and returns false on the first fault.
class Tokenizer {
 public:
  Tokenizer(std::string_view text, const Placeholders& placeholders)
      : text_(text), placeholders_(placeholders) {}

  bool run(std::vector<Token>& tokens, std::string& error) {
    while (skipBlanks()) {
      const char c = text_[pos_];
      if (c == '\0') return failAt(error, "the script holds a NUL byte");
      if (c == '}' || c == '=') {
        tokens.push_back({c == '}' ? TokenKind::Close : TokenKind::Equals, std::string(1, c), line_});
        ++pos_;
      } else if (c == '{' && !bracedWordAhead()) {
        tokens.push_back({TokenKind::Open, "{", line_});
        ++pos_;
      } else if (c == '\'') {
        if (!readQuoted(tokens, error)) return false;
      } else if (!readWord(tokens, error)) {
        return false;
      }
    }
    return true;
  }

 private:
  bool skipBlanks() {
    while (pos_ < text_.size() && isBlank(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    return pos_ < text_.size();
  }

  // "{...}" with something in it and no blank, brace, '=' or quote before
  // the closing brace is one word (a class identifier), not a block.
  bool bracedWordAhead() const {
    size_t end = pos_ + 1;
    while (end < text_.size() && !endsWord(text_[end]) && text_[end] != '\0') ++end;
    return end > pos_ + 1 && end < text_.size() && text_[end] == '}';
  }

  bool readQuoted(std::vector<Token>& tokens, std::string& error) {
    const int startLine = line_;
    std::string raw;
    for (++pos_; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (c == '\0') return failAt(error, "the script holds a NUL byte");
      if (c == '\n') ++line_;
      if (c != '\'') {
        raw += c;
      } else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
        raw += '\'';
        ++pos_;
      } else {
        ++pos_;
        return push(tokens, TokenKind::Quoted, raw, startLine, error);
      }
    }
    line_ = startLine;
    return failAt(error, "a quoted text is not closed");
  }

  bool readWord(std::vector<Token>& tokens, std::string& error) {
    const size_t start = pos_;
    if (text_[pos_] == '{') {
      pos_ = text_.find('}', pos_) + 1;  // bracedWordAhead() saw the brace
    } else {
      while (pos_ < text_.size() && !endsWord(text_[pos_]) && text_[pos_] != '\0') ++pos_;
    }
    return push(tokens, TokenKind::Word, text_.substr(start, pos_ - start), line_, error);
  }

  bool push(std::vector<Token>& tokens, TokenKind kind, std::string_view raw, int line, std::string& error) {
    std::string text;
    if (!substitute(raw, text, error)) return false;
    tokens.push_back({kind, std::move(text), line});
    return true;
  }

  bool substitute(std::string_view raw, std::string& out, std::string& error) const {
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '%') {
        out += raw[i];
        continue;
      }
      const size_t close = raw.find('%', i + 1);
      if (close == std::string_view::npos) return failAt(error, "a % is not closed (write %% for one %)");
      const std::string_view name = raw.substr(i + 1, close - i - 1);
      if (name.empty()) {
        out += '%';
      } else if (const std::string* value = lookup(name)) {
        out += *value;
      } else {
        return failAt(error, "unknown placeholder %" + std::string(name) + "%");
      }
      i = close;
    }
    return true;
  }

  const std::string* lookup(std::string_view name) const {
    for (const auto& [key, value] : placeholders_) {
      if (equalsIgnoreCase(key, name)) return &value;
    }
    return nullptr;
  }

  bool failAt(std::string& error, const std::string& what) const {
    error = "line " + std::to_string(line_) + ": " + what;
    return false;
  }

  std::string_view text_;
  const Placeholders& placeholders_;
  size_t pos_ = 0;
  int line_ = 1;
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = platform::asciiLower(c);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// Decimal, or hexadecimal after "0x"; nullopt past 32 bits or on any other
// character.
std::optional<std::uint32_t> parseNumber(std::string_view text) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && platform::asciiLower(text[1]) == 'x') {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    const int digit = hexDigit(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
    value = value * base + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::optional<std::string> parseHexBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = hexDigit(text[i]);
    const int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

// Recursive descent over the tokens; depth is bounded by kMaxScriptDepth.
class Parser {
 public:
  explicit Parser(const std::vector<Token>& tokens) : tokens_(tokens) {}

  bool run(RegistryScript& script, std::string& error) {
    while (pos_ < tokens_.size()) {
      const Token& name = tokens_[pos_++];
      const auto root = name.kind == TokenKind::Word ? platform::parseRegistryRoot(name.text) : std::nullopt;
      if (!root) return fail(error, "expected a root (HKCR, HKCU, HKLM), found \"" + name.text + "\"");
      ScriptRoot& entry = script.roots.emplace_back();
      entry.root = *root;
      if (!expect(TokenKind::Open, "{ after the root", error)) return false;
      if (!parseBlock(entry.keys, nullptr, 1, error)) return false;
    }
    return true;
  }

 private:
  // Keys (and, inside a key, values) up to and including the closing brace.
  bool parseBlock(std::vector<ScriptKey>& keys, ScriptKey* owner, int depth, std::string& error) {
    while (true) {
      if (pos_ >= tokens_.size()) return fail(error, "a { is not closed");
      const Token& token = tokens_[pos_];
      if (token.kind == TokenKind::Close) {
        ++pos_;
        return true;
      }
      if (isWord(token, "val")) {
        ++pos_;
        if (!owner) return fail(error, "a value outside of a key");
        if (!parseValue(owner->values.emplace_back(), error)) return false;
      } else if (!parseKey(keys.emplace_back(), depth, error)) {
        return false;
      }
    }
  }

  bool parseKey(ScriptKey& key, int depth, std::string& error) {
    if (depth > kMaxScriptDepth) return fail(error, "keys are nested too deeply");
    key.mark = markOf(tokens_[pos_]);
    if (key.mark != KeyMark::None) ++pos_;
    if (!readName(key.name, "a key name", error)) return false;
    if (key.name.find('\\') != std::string::npos) {
      return fail(error, "the key name \"" + key.name + "\" holds a \\ (nest keys in blocks instead)");
    }
    if (peek(TokenKind::Equals)) {
      ++pos_;
      if (!parseData(key.defaultValue.emplace(), error)) return false;
    }
    if (peek(TokenKind::Open)) {
      ++pos_;
      if (!parseBlock(key.subkeys, &key, depth + 1, error)) return false;
    }
    return true;
  }

  bool parseValue(ScriptValue& value, std::string& error) {
    if (!readName(value.name, "a value name", error)) return false;
    if (!expect(TokenKind::Equals, "= after the value name", error)) return false;
    return parseData(value, error);
  }

  // "s 'text'", "d 16" or "b '0aff'".
  bool parseData(ScriptValue& value, std::string& error) {
    if (pos_ + 1 >= tokens_.size() || tokens_[pos_].kind != TokenKind::Word ||
        (tokens_[pos_ + 1].kind != TokenKind::Quoted && tokens_[pos_ + 1].kind != TokenKind::Word)) {
      return fail(error, "expected a type (s, d or b) and a value");
    }
    const std::string& type = tokens_[pos_].text;
    const std::string& data = tokens_[pos_ + 1].text;
    pos_ += 2;
    if (equalsIgnoreCase(type, "s")) {
      value.type = RegistryType::String;
      value.text = data;
    } else if (equalsIgnoreCase(type, "d")) {
      const auto number = parseNumber(data);
      if (!number) return fail(error, "\"" + data + "\" is no 32-bit number");
      value.type = RegistryType::Dword;
      value.number = *number;
    } else if (equalsIgnoreCase(type, "b")) {
      auto bytes = parseHexBytes(data);
      if (!bytes) return fail(error, "\"" + data + "\" is no run of hexadecimal bytes");
      value.type = RegistryType::Binary;
      value.text = std::move(*bytes);
    } else {
      return fail(error, "unknown value type \"" + type + "\" (s, d or b)");
    }
    return true;
  }

  bool readName(std::string& name, const char* what, std::string& error) {
    if (pos_ >= tokens_.size() ||
        (tokens_[pos_].kind != TokenKind::Word && tokens_[pos_].kind != TokenKind::Quoted)) {
      return fail(error, std::string("expected ") + what);
    }
    name = tokens_[pos_++].text;
    if (name.empty()) return fail(error, std::string(what) + " is empty");
    return true;
  }

  static bool isWord(const Token& token, std::string_view word) {
    return token.kind == TokenKind::Word && equalsIgnoreCase(token.text, word);
  }

  static KeyMark markOf(const Token& token) {
    if (isWord(token, "NoRemove")) return KeyMark::NoRemove;
    if (isWord(token, "ForceRemove")) return KeyMark::ForceRemove;
    if (isWord(token, "Delete")) return KeyMark::Delete;
    return KeyMark::None;
  }

  bool peek(TokenKind kind) const { return pos_ < tokens_.size() && tokens_[pos_].kind == kind; }

  bool expect(TokenKind kind, const char* what, std::string& error) {
    if (!peek(kind)) return fail(error, std::string("expected ") + what);
    ++pos_;
    return true;
  }

  bool fail(std::string& error, const std::string& what) const {
    const int line = tokens_.empty() ? 1 : tokens_[pos_ < tokens_.size() ? pos_ : tokens_.size() - 1].line;
    error = "line " + std::to_string(line) + ": " + what;
    return false;
  }

  const std::vector<Token>& tokens_;
  size_t pos_ = 0;
};

std::string childPath(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

}  // namespace

ScriptParse parseRegistryScript(std::string_view text, const Placeholders& placeholders) {
  ScriptParse result;
  std::vector<Token> tokens;
  if (!Tokenizer(text, placeholders).run(tokens, result.error)) return result;
  RegistryScript script;
  if (!Parser(tokens).run(script, result.error)) return result;
  result.script = std::move(script);
  return result;
}

std::optional<RegistryScript> Registrar::parse(std::string_view text) {
  lastError_.clear();
  ScriptParse parsed = parseRegistryScript(text, placeholders_);
  if (!parsed.script) {
    lastError_ = "the registry script cannot be read: " + parsed.error;
    platform::trace("com::Registrar", lastError_);
  }
  return std::move(parsed.script);
}

HRESULT Registrar::registerScript(std::string_view text) {
  const auto script = parse(text);
  if (!script) return E_FAIL;
  for (const ScriptRoot& root : script->roots) {
    for (const ScriptKey& key : root.keys) {
      if (!registerKey(root.root, "", key)) return E_FAIL;
    }
  }
  return S_OK;
}

HRESULT Registrar::unregisterScript(std::string_view text) {
  const auto script = parse(text);
  if (!script) return E_FAIL;
  bool ok = true;
  for (const ScriptRoot& root : script->roots) {
    for (const ScriptKey& key : root.keys) ok = unregisterKey(root.root, "", key) && ok;
  }
  return ok ? S_OK : E_FAIL;
}

bool Registrar::fail(RegistryRoot root, const std::string& path, std::string_view what) {
  // Keep the first failure: later ones often follow from it.
  if (lastError_.empty()) {
    lastError_ = std::string(what) + " " + platform::registryRootName(root) + "\\" + path;
    const std::string reason = registry_.lastWriteError(root);
    if (!reason.empty()) lastError_ += ": " + reason;
    platform::trace("com::Registrar", lastError_);
  }
  return false;
}

bool Registrar::deleteTree(RegistryRoot root, const std::string& path) {
  // False from deleteKey with no write error means there was nothing to delete.
  if (registry_.deleteKey(root, path) || registry_.lastWriteError(root).empty()) return true;
  return fail(root, path, "cannot delete the key");
}

bool Registrar::writeValue(platform::RegistryKey& key, const ScriptValue& value) {
  bool written = false;
  switch (value.type) {
    case RegistryType::Dword:
      written = key.writeDword(value.name, value.number);
      break;
    case RegistryType::Binary:
      written = key.writeBinary(value.name, value.text);
      break;
    case RegistryType::String:
      written = key.writeString(value.name, value.text);
      break;
  }
  return written || fail(key.root(), key.path(), "cannot write the value \"" + value.name + "\" of");
}

bool Registrar::registerKey(RegistryRoot root, const std::string& parent, const ScriptKey& key) {
  const std::string path = childPath(parent, key.name);
  if (key.mark == KeyMark::Delete) return deleteTree(root, path);
  if (key.mark == KeyMark::ForceRemove && !deleteTree(root, path)) return false;
  auto opened = registry_.createKey(root, path);
  if (!opened) return fail(root, path, "cannot create the key");
  if (key.defaultValue && !writeValue(*opened, *key.defaultValue)) return false;
  for (const ScriptValue& value : key.values) {
    if (!writeValue(*opened, value)) return false;
  }
  for (const ScriptKey& subkey : key.subkeys) {
    if (!registerKey(root, path, subkey)) return false;
  }
  return true;
}

bool Registrar::unregisterKey(RegistryRoot root, const std::string& parent, const ScriptKey& key) {
  const std::string path = childPath(parent, key.name);
  if (key.mark == KeyMark::Delete) return true;
  if (key.mark == KeyMark::ForceRemove) return deleteTree(root, path);
  auto opened = registry_.openKey(root, path);
  if (!opened) return true;
  bool ok = true;
  for (const ScriptKey& subkey : key.subkeys) ok = unregisterKey(root, path, subkey) && ok;
  const auto removeValue = [&](const std::string& name) {
    if (!opened->deleteValue(name) && !registry_.lastWriteError(root).empty()) {
      ok = fail(root, path, "cannot delete the value \"" + name + "\" of");
    }
  };
  for (const ScriptValue& value : key.values) removeValue(value.name);
  if (key.mark == KeyMark::NoRemove) return ok;
  if (key.defaultValue) removeValue("");
  if (opened->values().empty() && opened->subkeys().empty()) ok = deleteTree(root, path) && ok;
  return ok;
}

}  // namespace velkin::com
