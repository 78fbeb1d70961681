// Fuzz target for the nesting limit. The input's first byte chooses small
// limits, so that short inputs reach them: its low five bits the depth (0 to
// 31), its high three bits the number of formatting elements (0 to 7); the
// rest is the page. The limited page is never longer than the page,
// limiting it again changes nothing, and a page that passes unchanged stays
// unchanged when either limit is higher.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capture/nesting_limit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velkin::capture::limitNesting;
  if (size == 0) return 0;
  const size_t maxDepth = data[0] % 32;
  const size_t maxFormatting = data[0] / 32;
  const std::string_view html(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string limited = limitNesting(html, maxDepth, maxFormatting);
  if (limited.size() > html.size()) std::abort();
  if (limitNesting(limited, maxDepth, maxFormatting) != limited) std::abort();
  if (limited == html && (limitNesting(html, maxDepth + 1, maxFormatting) != html ||
                          limitNesting(html, maxDepth, maxFormatting + 1) != html)) {
    std::abort();
  }
  (void)limitNesting(html);
  return 0;
}
