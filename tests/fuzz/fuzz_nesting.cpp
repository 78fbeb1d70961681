// Fuzz target for the nesting limit. The input's first byte chooses a small
// limit (0 to 31), so that short inputs reach it; the rest is the page. The
// limited page is never longer than the page, limiting it again changes
// nothing, and a page that passes unchanged stays unchanged under any
// higher limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capture/nesting_limit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t maxDepth = data[0] % 32;
  const std::string_view html(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string limited = velkin::capture::limitNesting(html, maxDepth);
  if (limited.size() > html.size()) std::abort();
  if (velkin::capture::limitNesting(limited, maxDepth) != limited) std::abort();
  if (limited == html && velkin::capture::limitNesting(html, maxDepth + 1) != html) std::abort();
  (void)velkin::capture::limitNesting(html);
  return 0;
}
