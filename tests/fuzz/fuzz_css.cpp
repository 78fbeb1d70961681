// Fuzz target for the style sheet tokenizer. The references lie in order,
// without overlapping, inside the sheet; a quoted one starts with its quote.
// Writing every address back in its own place and reading the result again
// gives the same addresses, and replacing nothing gives the sheet unchanged.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "capture/css_urls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velkin::capture::CssReference;
  const std::string_view css(reinterpret_cast<const char*>(data), size);
  const auto references = velkin::capture::findCssReferences(css);
  size_t previousEnd = 0;
  for (const CssReference& reference : references) {
    if (reference.begin < previousEnd || reference.begin >= reference.end || reference.end > css.size()) std::abort();
    if (reference.quoted && css[reference.begin] != '"' && css[reference.begin] != '\'') std::abort();
    previousEnd = reference.end;
  }
  const std::string same = velkin::capture::rewriteCssReferences(
      css, [](const CssReference& reference) -> std::optional<std::string> { return reference.address; });
  const auto again = velkin::capture::findCssReferences(same);
  if (again.size() != references.size()) std::abort();
  for (size_t i = 0; i < again.size(); ++i) {
    if (again[i].address != references[i].address || again[i].isImport != references[i].isImport) std::abort();
  }
  const std::string untouched = velkin::capture::rewriteCssReferences(
      css, [](const CssReference&) -> std::optional<std::string> { return std::nullopt; });
  if (untouched != css) std::abort();
  return 0;
}
