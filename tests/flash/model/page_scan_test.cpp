// The page scan over the browser's document: which elements are Flash
// movies, which address each names, and the order over a page's frames.
#include "flash/model/page_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velkin::flash {
namespace {

using platform::DocumentSnapshot;

DocumentSnapshot snapshot(const std::string& message) {
  std::string error;
  auto read = DocumentSnapshot::fromJson(message, error);
  EXPECT_TRUE(read) << error;
  return read.value_or(DocumentSnapshot());
}

std::vector<std::string> urls(const SaveList& list) {
  std::vector<std::string> out;
  for (const auto& record : list) {
    EXPECT_EQ(record.size, 0u);
    out.push_back(record.url);
  }
  return out;
}

struct ElementCase {
  const char* name;
  const char* element;  // one item of "all"
  const char* expected;  // resolved movie, "" for none
};

TEST(PageScanTest, OnlyFlashObjectsAndThePlayerStandInForThemGiveMovies) {
  const std::vector<ElementCase> cases = {
      {"classid, movie param", R"({"tagName": "OBJECT",
         "attributes": {"classid": "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000"},
         "params": [{"name": "movie", "value": "a.swf"}]})", "http://host/d/a.swf"},
      {"classid in other case, src param", R"({"tagName": "object",
         "attributes": {"classid": "CLSID:d27cdb6e-ae6d-11CF-96b8-444553540000"},
         "params": [{"name": "SRC", "value": "/s.swf"}]})", "http://host/s.swf"},
      {"type, data attribute", R"({"tagName": "OBJECT",
         "attributes": {"type": "Application/X-Shockwave-Flash", "data": "b.swf"}})", "http://host/d/b.swf"},
      {"movie param before src and data", R"({"tagName": "OBJECT",
         "attributes": {"type": "application/x-shockwave-flash", "data": "data.swf"},
         "params": [{"name": "src", "value": "src.swf"}, {"name": "Movie", "value": "movie.swf"}]})",
       "http://host/d/movie.swf"},
      {"empty movie param falls to data", R"({"tagName": "OBJECT",
         "attributes": {"type": "application/x-shockwave-flash", "data": "d.swf"},
         "params": [{"name": "movie", "value": ""}]})", "http://host/d/d.swf"},
      {"absolute movie kept", R"({"tagName": "OBJECT", "attributes": {"type": "application/x-shockwave-flash",
         "data": "https://cdn.example/c.swf"}})", "https://cdn.example/c.swf"},
      {"player stand-in", R"({"tagName": "RUFFLE-OBJECT", "attributes": {"data": "r.swf"}})",
       "http://host/d/r.swf"},
      {"player stand-in with params", R"({"tagName": "ruffle-object",
         "params": [{"name": "movie", "value": "p.swf"}]})", "http://host/d/p.swf"},
      {"flash object naming no movie", R"({"tagName": "OBJECT",
         "attributes": {"type": "application/x-shockwave-flash"}})", ""},
      {"embed stays out", R"({"tagName": "EMBED",
         "attributes": {"type": "application/x-shockwave-flash", "src": "e.swf"}})", ""},
      {"player stand-in for embed stays out", R"({"tagName": "RUFFLE-EMBED",
         "attributes": {"src": "e.swf"}})", ""},
      {"other object", R"({"tagName": "OBJECT", "attributes": {"type": "application/pdf", "data": "x.swf"}})", ""},
      {"other classid", R"({"tagName": "OBJECT",
         "attributes": {"classid": "clsid:00000000-0000-0000-0000-000000000000", "data": "x.swf"}})", ""},
      {"swf link is no movie", R"({"tagName": "A", "attributes": {"href": "x.swf"}})", ""},
      {"unreadable tag", R"({"attributes": {"type": "application/x-shockwave-flash", "data": "x.swf"}})", ""},
      {"not an html element", R"({"tagName": "OBJECT", "isHtmlElement": false,
         "attributes": {"type": "application/x-shockwave-flash", "data": "x.swf"}})", ""},
      {"outer html alone is not read", R"({"tagName": "OBJECT",
         "outerHTML": "<OBJECT type=application/x-shockwave-flash data=x.swf></OBJECT>"})", ""},
  };
  for (const ElementCase& c : cases) {
    const auto document = snapshot(std::string(R"({"url": "http://host/d/page.htm?q=1", "all": [)") + c.element + "]}");
    SaveList list;
    scanDocument(document, list);
    const std::vector<std::string> expected =
        std::string(c.expected).empty() ? std::vector<std::string>{} : std::vector<std::string>{c.expected};
    EXPECT_EQ(urls(list), expected) << c.name;
  }
}

TEST(PageScanTest, PageGivesTopMoviesThenEachFrameInOrderWithDuplicatesKept) {
  const char* movie = R"({"tagName": "OBJECT", "attributes": {"type": "application/x-shockwave-flash", "data": "%"}})";
  auto document = [&](const std::string& url, const std::vector<std::string>& movies) {
    std::string all = "null";
    for (const auto& m : movies) {
      std::string element = movie;
      element.replace(element.find('%'), 1, m);
      all += "," + element;
    }
    return snapshot(R"({"url": ")" + url + R"(", "all": [)" + all + "]}");
  };
  const auto top = document("http://host/index.htm", {"a.swf", "a.swf"});
  const std::vector<DocumentSnapshot> frames = {document("http://f1/x/frame.htm", {"b.swf"}),
                                                document("http://f2/frame.htm", {}),
                                                document("http://f3/y/frame.htm", {"/c.swf"})};
  EXPECT_EQ(urls(scanPage(top, frames)),
            (std::vector<std::string>{"http://host/a.swf", "http://host/a.swf", "http://f1/x/b.swf", "http://f3/c.swf"}));
  EXPECT_TRUE(scanPage(document("http://host/", {}), {}).empty());
}

}  // namespace
}  // namespace velkin::flash
