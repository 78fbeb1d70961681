// The search filter of a project tree: which pages a listing shows.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace velkin::kb {

enum class FilterMode : int { None = 0, FileName = 1, Created = 2, PageUrl = 3, Keyword = 4 };

struct PageFilter {
  int mode = 0;          // a FilterMode; any other number lets no page pass
  std::string text;      // modes 1, 3 and 4
  std::time_t from = 0;  // mode 2, both bounds inclusive
  std::time_t to = 0;

  static PageFilter none() { return {}; }
  static PageFilter byMode(FilterMode mode, std::string text) {
    PageFilter filter;
    filter.mode = static_cast<int>(mode);
    filter.text = std::move(text);
    return filter;
  }
  static PageFilter byCreation(std::time_t from, std::time_t to) {
    PageFilter filter;
    filter.mode = static_cast<int>(FilterMode::Created);
    filter.from = from;
    filter.to = to;
    return filter;
  }

  // pagePath is the page's full path, fileName its last component. Only the
  // modes that need the disk touch it (creation time, META values).
  bool passes(const std::string& pagePath, std::string_view fileName) const;
};

}  // namespace velkin::kb
