// The addresses a style sheet refers to: url(...) values and @import rules,
// found by tokenizing the sheet the way browsers do (comments, strings,
// escapes, bad strings and bad url values), so that a url inside a comment
// or a string is not taken for one, and each value can be replaced in place.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkin::capture {

struct CssReference {
  size_t begin = 0;       // byte range of the value in the sheet:
  size_t end = 0;         // the whole url(...) token, or the quoted string
  bool quoted = false;    // the range is a quoted string (in url("...") or after @import)
  bool isImport = false;  // the address of an @import rule
  std::string address;    // escapes decoded, as UTF-8
};

// Every reference of css, in the order they appear; ranges never overlap.
std::vector<CssReference> findCssReferences(std::string_view css);

// css with each reference for which replacement gives an address written
// in its place as a quoted string (url("...") for a url value), escaped so
// that it reads back as exactly that address. Other text is kept as it is.
std::string rewriteCssReferences(
    std::string_view css, const std::function<std::optional<std::string>(const CssReference&)>& replacement);

}  // namespace velkin::capture
