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
  size_t maxFormatting = kFormattingElementLimit;
};

void PrintTo(const NestingCase& nesting, std::ostream* out) { *out << nesting.name; }

class NestingCases : public ::testing::TestWithParam<NestingCase> {};

TEST_P(NestingCases, FlattensOnlyWhatPassesTheLimit) {
  const NestingCase& c = GetParam();
  EXPECT_EQ(limitNesting(c.html, c.maxDepth, c.maxFormatting), c.limited);
  EXPECT_EQ(limitNesting(c.limited, c.maxDepth, c.maxFormatting), c.limited);
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
        // Past the formatting limit, start and end tags go and text stays;
        // identical entries replace each other and a table cell starts anew.
        NestingCase{"FormattingElementsBeyondTheLimitDropped",
                    "<p><b id=1>a</p><p><i id=2>b</p><p><u id=3>c</p><p><s>d</s>e</p>"
                    "<table><td><b><b><b><b>f</td></table><em>g</em>",
                    20,
                    "<p><b id=1>a</p><p><i id=2>b</p><p><u id=3>c</p><p>de</p>"
                    "<table><td><b><b><b><b>f</td></table>g",
                    3},
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

// Each block reopens every formatting element other blocks left open, so
// with a new one left open per block the serialised page used to grow with
// the square of the input (1.2 MB became 421 MB). At the limit the new one
// is dropped, and each block copies at most the limit's worth of B elements.
TEST(NestingLimit, FormattingElementsLeftOpenPerBlockStayLinear) {
  std::string page;
  size_t blocks = 0;
  while (page.size() < 1000000) page += "<p><b id=" + std::to_string(blocks++) + ">x</p>";
  const std::string out = serializeHtml(page);
  // The elements kept are the first ones, with ids of at most two digits.
  const size_t perBlock =
      std::string("<P>x</P>").size() + kFormattingElementLimit * std::string("<B id=99></B>").size();
  EXPECT_LE(out.size(), blocks * perBlock + 100);  // the document's own elements
  EXPECT_LE(out.size(), 40 * page.size());
  EXPECT_EQ(static_cast<size_t>(std::count(out.begin(), out.end(), 'x')), blocks);
}

}  // namespace
}  // namespace velkin::capture
