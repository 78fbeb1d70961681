#include "platform/text.h"

#include <algorithm>

namespace velkin::platform {

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void makeAsciiUpper(std::string& text) {
  for (char& c : text) c = asciiUpper(c);
}

std::string toAsciiUpper(std::string_view text) {
  std::string out(text);
  makeAsciiUpper(out);
  return out;
}

std::string toAsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiLower(c);
  return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

int compareNames(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(asciiUpper(a[i]));
    const auto y = static_cast<unsigned char>(asciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool endsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view cutAtCharacter(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  // Back over continuation bytes to the lead byte of the cut character.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

std::string fitFileName(std::string_view name, size_t maxBytes) {
  if (name.size() <= maxBytes) return std::string(name);
  constexpr size_t kLongestKeptExtension = 16;
  const size_t dot = name.rfind('.');
  std::string_view extension;
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= kLongestKeptExtension &&
      name.size() - dot < maxBytes) {
    extension = name.substr(dot);
  }
  const std::string_view stem = name.substr(0, name.size() - extension.size());
  std::string fitted(cutAtCharacter(stem, maxBytes - extension.size()));
  fitted.append(extension);
  return fitted;
}

std::string_view baseName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view parentPath(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

std::string formatMessage(std::string_view pattern, std::string_view arg) {
  std::string out;
  const auto at = pattern.find("%s");
  if (at == std::string_view::npos) return std::string(pattern);
  out.reserve(pattern.size() + arg.size());
  out.append(pattern.substr(0, at));
  out.append(arg);
  out.append(pattern.substr(at + 2));
  return out;
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace velkin::platform
