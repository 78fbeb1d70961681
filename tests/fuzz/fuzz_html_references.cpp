// Fuzz target for the reference finder completion reads pages with. Every
// element's ranges lie inside the text it parsed, a quoted value sits
// between its quotes, no two values overlap (each can be replaced on its
// own), and a STYLE element's text lies inside the text; srcset candidates
// lie inside their value, in order, without blanks or overlap.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/html_references.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void checkSrcset(std::string_view value) {
  size_t previousEnd = 0;
  for (const velkin::capture::SrcsetCandidate& candidate : velkin::capture::srcsetCandidates(value)) {
    check(candidate.begin >= previousEnd && candidate.begin < candidate.end && candidate.end <= value.size());
    for (size_t at = candidate.begin; at < candidate.end; ++at) check(value[at] != ' ' && value[at] != '\n');
    previousEnd = candidate.end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view html(reinterpret_cast<const char*>(data), size);
  const velkin::capture::HtmlMarkup markup = velkin::capture::readHtmlElements(html);
  const std::string& text = markup.text;
  check(text.size() <= html.size());
  std::vector<std::pair<size_t, size_t>> values;
  for (const velkin::capture::HtmlElement& element : markup.elements) {
    check(!element.tag.empty());
    check(element.insertAt == std::string::npos || (element.insertAt < text.size() &&
                                                     (text[element.insertAt] == '>' || text[element.insertAt] == '/')));
    for (const velkin::capture::HtmlAttribute& attribute : element.attributes) {
      check(attribute.begin <= attribute.end && attribute.end <= text.size());
      if (attribute.quote != 0) check(attribute.begin > 0 && text[attribute.begin - 1] == attribute.quote);
      if (attribute.begin < attribute.end) values.emplace_back(attribute.begin, attribute.end);
      checkSrcset(attribute.value);
    }
    if (element.hasStyleText) check(element.styleBegin < element.styleEnd && element.styleEnd <= text.size());
  }
  std::sort(values.begin(), values.end());
  for (size_t i = 1; i < values.size(); ++i) check(values[i].first >= values[i - 1].second);
  return 0;
}
