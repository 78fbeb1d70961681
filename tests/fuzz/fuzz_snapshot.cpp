// Fuzz target for the browser's document message: any bytes are read as a
// snapshot; when they are one, the three page texts are composed from it.
// Nothing may crash, a snapshot must be written back as a message that reads
// back equal, and a composed page's TITLE element must end where the page
// ends it, whatever the title holds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capture/page_texts.h"
#include "platform/document_snapshot.h"
#include "platform/text.h"

namespace {

using velkin::platform::DocumentSnapshot;

// Where the first end tag of the TITLE element starts, in any case.
size_t titleEnd(std::string_view page) {
  const std::string lower = velkin::platform::toAsciiLower(page);
  return lower.find("</title");
}

void checkTitleHolds(std::string_view page, std::string_view title) {
  const size_t expected = std::string_view("<HTML><HEAD><TITLE>").size() + velkin::capture::neutraliseTitle(title).size();
  if (titleEnd(page) != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(size == 0 ? "" : reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto snapshot = DocumentSnapshot::fromJson(input, error);
  if (!snapshot) {
    if (error.empty()) std::abort();
    return 0;
  }
  const auto again = DocumentSnapshot::fromJson(snapshot->toJson(), error);
  if (!again || !(*again == *snapshot)) std::abort();

  (void)velkin::capture::wholePageText(*snapshot);
  const std::string& title = snapshot->title();
  if (const auto page = velkin::capture::selectionPageText(title, *snapshot)) checkTitleHolds(*page, title);
  checkTitleHolds(velkin::capture::picturePageText(title, snapshot->elementFromPointSrc().value_or("")), title);
  return 0;
}
