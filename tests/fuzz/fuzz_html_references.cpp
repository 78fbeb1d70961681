// Fuzz target for the reference finder completion reads pages with. Every
// element's ranges lie inside the text it parsed, in order of their start
// tags, a quoted value sits between its quotes, and a STYLE element's text
// lies after its start tag; srcset candidates lie inside their value, in
// order, without blanks or overlap.
#include <cstdint>
#include <cstdlib>
#include <string_view>

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
  size_t previousStart = 0;
  for (const velkin::capture::HtmlElement& element : markup.elements) {
    check(!element.tag.empty());
    check(element.insertAt == std::string::npos || (element.insertAt < text.size() &&
                                                     (text[element.insertAt] == '>' || text[element.insertAt] == '/')));
    size_t start = text.size();
    for (const velkin::capture::HtmlAttribute& attribute : element.attributes) {
      check(attribute.begin <= attribute.end && attribute.end <= text.size());
      if (attribute.quote != 0) check(attribute.begin > 0 && text[attribute.begin - 1] == attribute.quote);
      if (attribute.begin < start) start = attribute.begin;
      checkSrcset(attribute.value);
    }
    if (!element.attributes.empty()) {
      check(start >= previousStart);
      previousStart = start;
    }
    if (element.hasStyleText) check(element.styleBegin < element.styleEnd && element.styleEnd <= text.size());
  }
  return 0;
}
