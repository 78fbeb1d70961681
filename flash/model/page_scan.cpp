#include "flash/model/page_scan.h"

#include "flash/model/movie_url.h"
#include "platform/text.h"

namespace velkin::flash {
namespace {

constexpr char kFlashClassId[] = "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000";
constexpr char kFlashMimeType[] = "application/x-shockwave-flash";
constexpr char kObjectTag[] = "OBJECT";
constexpr char kPlayerObjectTag[] = "RUFFLE-OBJECT";

bool attributeIs(const platform::SnapshotElement& element, const char* name, const char* expected) {
  const auto value = element.attribute(name);
  return value && platform::equalsIgnoreCase(*value, expected);
}

}  // namespace

bool isFlashMovieElement(const platform::SnapshotElement& element) {
  if (!element.isHtmlElement || !element.tagName) return false;
  const std::string& tag = *element.tagName;
  if (platform::equalsIgnoreCase(tag, kPlayerObjectTag)) return true;
  if (!platform::equalsIgnoreCase(tag, kObjectTag)) return false;
  return attributeIs(element, "classid", kFlashClassId) || attributeIs(element, "type", kFlashMimeType);
}

std::optional<std::string> elementMovie(const platform::SnapshotElement& element) {
  if (!isFlashMovieElement(element)) return std::nullopt;
  for (const auto& candidate : {element.param("movie"), element.param("src"), element.attribute("data")}) {
    if (candidate && !candidate->empty()) return candidate;
  }
  return std::nullopt;
}

void scanDocument(const platform::DocumentSnapshot& document, SaveList& list) {
  for (const platform::SnapshotElement& element : document.all()) {
    if (const auto movie = elementMovie(element)) list.push_back({resolveMovieUrl(*movie, document.url()), 0, document.url()});
  }
}

SaveList scanPage(const platform::DocumentSnapshot& top, const std::vector<platform::DocumentSnapshot>& frames) {
  SaveList list;
  scanDocument(top, list);
  for (const auto& frame : frames) scanDocument(frame, list);
  return list;
}

}  // namespace velkin::flash
