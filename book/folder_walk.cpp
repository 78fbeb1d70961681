#include "book/folder_walk.h"

namespace velkin::book {

std::string escapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string pathBelow(std::string_view path, std::string_view folder) {
  if (!folder.empty() && path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder &&
      path[folder.size()] == '/') {
    return std::string(path.substr(folder.size() + 1));
  }
  return std::string(path);
}

std::string_view nameBeforeLastDot(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : fileName.substr(0, dot);
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace velkin::book
