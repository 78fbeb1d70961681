// The nesting limit: what browsers would not nest is flattened before the
// parser sees it, and everything else passes byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "capture/html_serializer.h"
#include "capture/nesting_limit.h"

namespace velkin::capture {
namespace {

struct NestingCase {
  const char* name;
  const char* html;
  size_t maxDepth;
  const char* limited;
};

void PrintTo(const NestingCase& nesting, std::ostream* out) { *out << nesting.name; }

class NestingCases : public ::testing::TestWithParam<NestingCase> {};

TEST_P(NestingCases, FlattensOnlyWhatPassesTheLimit) {
  const NestingCase& c = GetParam();
  EXPECT_EQ(limitNesting(c.html, c.maxDepth), c.limited);
  EXPECT_EQ(limitNesting(c.limited, c.maxDepth), c.limited);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, NestingCases,
    ::testing::Values(
        NestingCase{"UnderTheLimitUnchanged", "<div><p>a</p><span>b</span></div>", 2,
                    "<div><p>a</p><span>b</span></div>"},
        NestingCase{"OverTheLimitFlattenedWithTextKept", "<div><div><div>x</div>y</div>z</div>", 2,
                    "<div><div>xy</div>z</div>"},
        NestingCase{"UnclosedElementsFlattened", "<b><i><u>x", 2, "<b><i>x"},
        NestingCase{"NamesInAnyCase", "<DIV><Div><div>x</DIV></div></dIv>", 2, "<DIV><Div>x</div></dIv>"},
        NestingCase{"GreaterThanInQuotedValues", "<div title='a>b'><div class=\"<c>\"><div>x</div></div></div>", 1,
                    "<div title='a>b'>x</div>"},
        NestingCase{"VoidElementsNotCounted", "<div><br><img src=a><input><hr></div><p>x", 1,
                    "<div><br><img src=a><input><hr></div><p>x"},
        NestingCase{"RawTextNotCounted",
                    "<div><script>if (a<b) x='<div><div>';</script><textarea><p><p></textarea>"
                    "<style><b><b></style><title><i><i></title>x</div>",
                    1,
                    "<div><script>if (a<b) x='<div><div>';</script><textarea><p><p></textarea>"
                    "<style><b><b></style><title><i><i></title>x</div>"},
        NestingCase{"ScriptInsideScriptComment", "<div><script><!--<script>'</script><div><div>'</script>x</div>", 1,
                    "<div><script><!--<script>'</script><div><div>'</script>x</div>"},
        NestingCase{"CommentsAndDoctypeNotCounted", "<!DOCTYPE html><!-- <div><div> --><div>x</div><!--><div>y</div>",
                    1, "<!DOCTYPE html><!-- <div><div> --><div>x</div><!--><div>y</div>"},
        NestingCase{"EndTagsTheParserSuppliesAreSupplied",
                    "<p>a<p>b<div>c</div><ul><li>d<li>e</ul><table><tr><td>f<td>g<tr><td>h</table>"
                    "<select><option>i<option>j</select>",
                    4,
                    "<p>a<p>b<div>c</div><ul><li>d<li>e</ul><table><tr><td>f<td>g<tr><td>h</table>"
                    "<select><option>i<option>j</select>"},
        NestingCase{"FormattingElementsTheParserReopensCount",
                    "<div><b id=1></div>t<div><b id=2></div>t<div><b id=3></div>t", 2,
                    "<div><b id=1></div>t<div></div>t<div></div>t"},
        NestingCase{"BodyEndTagClosesNothing", "<div><div></body><div>x", 2, "<div><div></body>x"},
        NestingCase{"FormEndTagLeavesItsContentOpen", "<form><div></form><form><div></form>", 2,
                    "<form><div></form>"},
        NestingCase{"StrayEndTagsKept", "</span></p><div>x</div></b>", 1, "</span></p><div>x</div></b>"},
        NestingCase{"LessThanBeforeADroppedTagStaysText", "<div>a<<div>b</div></div>", 1, "<div>a&lt;b</div>"},
        NestingCase{"ForeignContent", "<svg><g><g/></g><foreignObject><div>x</div></foreignObject></svg>", 2,
                    "<svg><g><g/></g><foreignObject>x</foreignObject></svg>"}),
    [](const ::testing::TestParamInfo<NestingCase>& param) { return std::string(param.param.name); });

// How deep elements nest in serialised text, which has every end tag.
size_t deepestElement(const std::string& html) {
  size_t depth = 0;
  size_t deepest = 0;
  for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
    if (html.compare(at, 2, "</") == 0) {
      depth -= depth > 0 ? 1 : 0;
    } else if (html.compare(at, 2, "<!") != 0) {
      deepest = std::max(deepest, ++depth);
    }
  }
  return deepest;
}

// The parser takes minutes over such a page when it gets it whole.
TEST(NestingLimit, DeeplyNestedPageIsFlattenedBeforeParsing) {
  constexpr size_t kDepth = 200000;
  std::string deep = "<title>deep</title>";
  for (size_t i = 0; i < kDepth; ++i) deep += "<div>";
  deep += "text";
  for (size_t i = 0; i < kDepth; ++i) deep += "</div>";
  const std::string out = serializeHtml(deep);
  EXPECT_LE(deepestElement(out), kBrowserNestingDepth + 3);  // with HTML, BODY and a margin
  EXPECT_NE(out.find(">text</DIV>"), std::string::npos);
  EXPECT_EQ(htmlTitle(deep), "deep");
}

}  // namespace
}  // namespace velkin::capture
