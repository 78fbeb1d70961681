#include "platform/document_snapshot.h"

#include <string>
#include <vector>

#include "support/test_support.h"

namespace velkin::platform {
namespace {

using velkin::testing::IsolatedTest;

class DocumentSnapshotTest : public IsolatedTest {};

std::optional<DocumentSnapshot> read(const std::string& message) {
  std::string error;
  auto snapshot = DocumentSnapshot::fromJson(message, error);
  EXPECT_TRUE(snapshot) << error;
  return snapshot;
}

TEST_F(DocumentSnapshotTest, FullMessageGivesEveryFieldAndIsWrittenBackEqual) {
  const auto snapshot = read(R"({
    "url": "https://example.org/a", "title": "A page",
    "all": [null, {"tagName": "!", "outerHTML": "<!--x-->", "isHtmlElement": false},
            {"outerHTML": "<p>"}, {"tagName": "HTML", "outerHTML": "<html><body>x</body></html>"},
            {"tagName": "OBJECT", "attributes": {"type": "application/x-shockwave-flash", "Data": "a.swf"},
             "params": [{"name": "Movie", "value": "m.swf"}, {"name": "movie", "value": "second.swf"}, {"value": "v"}]}],
    "styleSheetsReadable": true,
    "styleSheets": [{"cssText": "a{}"}, null, {"cssText": null}, {"cssText": "b{}"}],
    "selection": {"htmlText": "<B>bold</B>"},
    "elementFromPoint": {"src": "https://example.org/p.png"}})");
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->url(), "https://example.org/a");
  EXPECT_EQ(snapshot->title(), "A page");
  ASSERT_EQ(snapshot->all().size(), 5u);
  EXPECT_FALSE(snapshot->all()[0].isHtmlElement);
  EXPECT_FALSE(snapshot->all()[1].isHtmlElement);
  EXPECT_EQ(snapshot->all()[1].tagName, "!");
  EXPECT_EQ(snapshot->all()[2].tagName, std::nullopt);
  EXPECT_EQ(snapshot->all()[3].outerHTML, "<html><body>x</body></html>");
  EXPECT_TRUE(snapshot->all()[3].attributes.empty());
  const SnapshotElement& object = snapshot->all()[4];
  EXPECT_EQ(object.attribute("DATA"), "a.swf");
  EXPECT_EQ(object.attribute("classid"), std::nullopt);
  EXPECT_EQ(object.param("movie"), "m.swf");  // the first of its name, any case
  EXPECT_EQ(object.param(""), "v");
  ASSERT_EQ(snapshot->styleSheets().size(), 4u);
  EXPECT_FALSE(snapshot->styleSheets()[1].isStyleSheet);
  EXPECT_EQ(snapshot->styleSheets()[2].cssText, std::nullopt);
  EXPECT_EQ(snapshot->styleText(), "a{}b{}");
  EXPECT_EQ(snapshot->selectionHtml(), "<B>bold</B>");
  EXPECT_EQ(snapshot->elementFromPointSrc(), "https://example.org/p.png");

  const auto again = read(snapshot->toJson());
  ASSERT_TRUE(again);
  EXPECT_TRUE(*again == *snapshot) << snapshot->toJson();
}

TEST_F(DocumentSnapshotTest, AbsentNullAndUnknownFieldsTakeTheBrowsersFailureResults) {
  const auto bare = read(R"({"url": "u", "extra": {"deep": [1, {"x": null}]}})");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->title(), "");
  EXPECT_TRUE(bare->all().empty());
  EXPECT_EQ(bare->styleText(), "");
  EXPECT_EQ(bare->selectionHtml(), std::nullopt);
  EXPECT_EQ(bare->elementFromPointSrc(), std::nullopt);

  const auto nulls = read(R"({"url": "u", "title": null, "all": null, "styleSheets": null, "selection": null,
                              "elementFromPoint": null, "styleSheetsReadable": null})");
  ASSERT_TRUE(nulls);
  EXPECT_TRUE(*nulls == *bare);

  const auto failing = read(R"({"url": "u", "styleSheetsReadable": false, "styleSheets": [{"cssText": "a{}"}],
                                "selection": {"other": 1}, "elementFromPoint": {"id": "x"}})");
  ASSERT_TRUE(failing);
  EXPECT_EQ(failing->styleText(), std::nullopt);
  EXPECT_EQ(failing->selectionHtml(), std::nullopt);
  EXPECT_EQ(failing->elementFromPointSrc(), "");
}

TEST_F(DocumentSnapshotTest, TextsStayUtf8AndLoneSurrogatesBecomeReplacementCharacters) {
  const auto snapshot = read(R"({"url": "u", "title": "a\ud800b\udc00c\ud83d\ude00\u00e9\\ud800"})");
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->title(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xF0\x9F\x98\x80\xC3\xA9\\ud800");

  // A title beyond its bound is cut before a character, never inside one.
  const std::string longTitle = std::string(kMaxTitleBytes - 1, 'x') + "\xC3\xA9";
  const auto cut = read(R"({"url": "u", "title": ")" + longTitle + "\"}");
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->title(), std::string(kMaxTitleBytes - 1, 'x'));
}

struct MalformedCase {
  const char* name;
  std::string message;
  const char* reason;  // a piece of the error text
};

std::string repeated(const std::string& piece, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// An "attributes" object with count distinct names.
std::string manyAttributes(size_t count) {
  std::string object = "{";
  for (size_t i = 0; i < count; ++i) object += (i == 0 ? "\"a" : ",\"a") + std::to_string(i) + "\": \"\"";
  return object + "}";
}

TEST_F(DocumentSnapshotTest, MalformedMessagesAreRefusedWithTheirReason) {
  const std::vector<MalformedCase> cases = {
      {"empty", "", "not valid JSON"},
      {"not json", "{url: 1}", "not valid JSON"},
      {"trailing text", R"({"url": "u"} x)", "not valid JSON"},
      {"cut short", R"({"url": "u)", "not valid JSON"},
      {"array at top", R"(["u"])", "not a JSON object"},
      {"no url", R"({"title": "t"})", "no \"url\""},
      {"null url", R"({"url": null})", "no \"url\""},
      {"url a number", R"({"url": 5})", "\"url\" is not a string"},
      {"title an object", R"({"url": "u", "title": {}})", "\"title\" is not a string"},
      {"all an object", R"({"url": "u", "all": {}})", "\"all\" is not an array"},
      {"element a string", R"({"url": "u", "all": ["html"]})", "\"all\"[0] is not an object"},
      {"tag name a number", R"({"url": "u", "all": [null, {"tagName": 1}]})", "\"all\"[1].tagName is not a string"},
      {"outer html a list", R"({"url": "u", "all": [{"outerHTML": []}]})", "outerHTML is not a string"},
      {"html element flag", R"({"url": "u", "all": [{"isHtmlElement": 1}]})", "isHtmlElement is not true or false"},
      {"long tag name", R"({"url": "u", "all": [{"tagName": ")" + std::string(kMaxTagNameBytes + 1, 'a') + "\"}]}",
       "tagName is longer than"},
      {"readable flag", R"({"url": "u", "styleSheetsReadable": "yes"})", "\"styleSheetsReadable\" is not true"},
      {"sheet a number", R"({"url": "u", "styleSheets": [1]})", "\"styleSheets\"[0] is not an object"},
      {"css text a number", R"({"url": "u", "styleSheets": [{"cssText": 1}]})", "cssText is not a string"},
      {"selection a string", R"({"url": "u", "selection": "x"})", "\"selection\" is not an object"},
      {"html text a bool", R"({"url": "u", "selection": {"htmlText": true}})", "\"selection\".htmlText is not"},
      {"point an array", R"({"url": "u", "elementFromPoint": []})", "\"elementFromPoint\" is not an object"},
      {"attributes a list", R"({"url": "u", "all": [{"attributes": []}]})", "attributes is not an object"},
      {"attribute a number", R"({"url": "u", "all": [{"attributes": {"type": 1}}]})", "attributes.type is not a string"},
      {"long attribute name", R"({"url": "u", "all": [{"attributes": {")" + std::string(kMaxTagNameBytes + 1, 'a') +
       "\": \"\"}}]}", "has a name longer than"},
      {"too many attributes", R"({"url": "u", "all": [{"attributes": )" + manyAttributes(kMaxElementAttributes + 1) + "}]}",
       "attributes holds more than 1024 items"},
      {"params an object", R"({"url": "u", "all": [{"params": {}}]})", "params is not an array"},
      {"param null", R"({"url": "u", "all": [{"params": [null]}]})", "params[0] is not an object"},
      {"param value a list", R"({"url": "u", "all": [{"params": [{"value": []}]}]})", "params[0].value is not"},
      {"too many params", R"({"url": "u", "all": [{"params": [{})" + repeated(",{}", kMaxElementAttributes) + "]}]}",
       "params holds more than 1024 items"},
      {"src a number", R"({"url": "u", "elementFromPoint": {"src": 2}})", "\"elementFromPoint\".src is not"},
      {"bad utf-8", "{\"url\": \"u\xC3(\"}", "not valid JSON"},
      {"raw control character", "{\"url\": \"u\x01\"}", "not valid JSON"},
      {"deep nesting", R"({"url": "u", "x": )" + repeated("[", kMaxNestingDepth) + repeated("]", kMaxNestingDepth) + "}",
       "more than 32 deep"},
      {"too many elements", R"({"url": "u", "all": [null)" + repeated(",null", kMaxCollectionItems) + "]}",
       "\"all\" holds more than 100000 items"},
      {"too many values", R"({"url": "u", "x": [0)" + repeated(",0", kMaxJsonValues) + "]}", "values"},
      {"oversized", R"({"url": ")" + std::string(kMaxMessageBytes, 'a') + "\"}", "larger than"},
  };
  for (const MalformedCase& malformed : cases) {
    std::string error;
    EXPECT_FALSE(DocumentSnapshot::fromJson(malformed.message, error)) << malformed.name;
    EXPECT_NE(error.find(malformed.reason), std::string::npos) << malformed.name << ": " << error;
  }
}

}  // namespace
}  // namespace velkin::platform
