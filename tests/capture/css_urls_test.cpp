// The style sheet tokenizer: which url values and @import addresses a sheet
// has, where each lies, and writing replacements back in place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/css_urls.h"

namespace velkin::capture {
namespace {

struct Found {
  std::string range;  // the sheet's text the reference covers
  std::string address;
  bool isImport = false;

  bool operator==(const Found& other) const {
    return range == other.range && address == other.address && isImport == other.isImport;
  }
};

void PrintTo(const Found& value, std::ostream* out) {
  *out << "{" << value.range << " -> " << value.address << (value.isImport ? " import" : "") << "}";
}

struct TokenCase {
  const char* what;
  std::string css;
  std::vector<Found> found;
};

void PrintTo(const TokenCase& value, std::ostream* out) { *out << value.what; }

class CssTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(CssTokens, FindsEachReferenceWithItsRangeAndAddress) {
  const TokenCase& c = GetParam();
  std::vector<Found> found;
  for (const CssReference& reference : findCssReferences(c.css)) {
    found.push_back(Found{c.css.substr(reference.begin, reference.end - reference.begin), reference.address,
                          reference.isImport});
  }
  EXPECT_EQ(found, c.found) << c.css;
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, CssTokens,
    ::testing::Values(
        TokenCase{"unquoted", "a{background:url(img/a.png)}", {{"url(img/a.png)", "img/a.png"}}},
        TokenCase{"both quotes", "a{b:url(\"x.png\");c:url('y.png')}", {{"\"x.png\"", "x.png"}, {"'y.png'", "y.png"}}},
        TokenCase{"upper case URL( and blanks inside", "a{b:URL(  c.gif  )}", {{"URL(  c.gif  )", "c.gif"}}},
        TokenCase{"blanks before a quoted address", "a{b:url( \n 'q.gif' )}", {{"'q.gif'", "q.gif"}}},
        TokenCase{"escapes in an unquoted value",
                  "a{b:url(a\\)b\\ c\\31 23.png)}",
                  {{"url(a\\)b\\ c\\31 23.png)", "a)b c123.png"}}},
        TokenCase{"escapes in strings", "a{b:url(\"q\\\"x\\\\y\\e9 .png\")}", {{"\"q\\\"x\\\\y\\e9 .png\"", "q\"x\\y\xC3\xA9.png"}}},
        TokenCase{"escaped line end continues a string", "a{b:url('a\\\r\nb')}", {{"'a\\\r\nb'", "ab"}}},
        TokenCase{"escaped name still reads url", "a{b:\\75 rl(e.png)}", {{"\\75 rl(e.png)", "e.png"}}},
        TokenCase{"zero and too large escapes become U+FFFD", "a{b:url(\\0 \\110000)}", {{"url(\\0 \\110000)", "\xEF\xBF\xBD\xEF\xBF\xBD"}}},
        TokenCase{"a comment hides a url", "/* url(hidden.png) */a{b:url(shown.png)}", {{"url(shown.png)", "shown.png"}}},
        TokenCase{"an unterminated comment hides the rest", "a{} /* url(x.png)", {}},
        TokenCase{"a url inside a string is text", "a{content:\"url(no.png)\"}", {}},
        TokenCase{"comment marks inside a url are part of it", "a{b:url(/*x*/y.png)}", {{"url(/*x*/y.png)", "/*x*/y.png"}}},
        TokenCase{"space inside an unquoted value makes it bad", "a{b:url(a b.png) c:url(ok.png)}", {{"url(ok.png)", "ok.png"}}},
        TokenCase{"a quote inside an unquoted value makes it bad; its rest is skipped",
                  "a{b:url(a\"b) url(after.png)}", {{"url(after.png)", "after.png"}}},
        TokenCase{"an escaped ) in a bad value does not end it", "a{b:url(a(b\\) url(x)) url(y)}", {{"url(y)", "y"}}},
        TokenCase{"an unterminated url at the end still counts", "a{b:url(  last.png  ", {{"url(  last.png  ", "last.png"}}},
        TokenCase{"an unterminated string at the end still counts", "a{b:url('last.png", {{"'last.png", "last.png"}}},
        TokenCase{"a line end breaks a string", "a{b:url('bad\nc.png)} d{e:url(f.png)}", {{"url(f.png)", "f.png"}}},
        TokenCase{"names, numbers and hashes ending in url are no url",
                  "a{b:myurl(x) 5url(y) #url(z) @url(w) -url(v)}", {}},
        TokenCase{"@import with a string and with url()",
                  "@import \"a.css\";\n@IMPORT url(b.css) screen;\n@import url('c.css') print;",
                  {{"\"a.css\"", "a.css", true}, {"url(b.css)", "b.css", true}, {"'c.css'", "c.css", true}}},
        TokenCase{"a comment between @import and its address", "@import /* c */ 'd.css';", {{"'d.css'", "d.css", true}}},
        TokenCase{"a string after another token is no import", "@import screen \"x.css\"; @media{}", {}},
        TokenCase{"a data: address", "a{b:url(data:image/png;base64,iVBOR+/=)}",
                  {{"url(data:image/png;base64,iVBOR+/=)", "data:image/png;base64,iVBOR+/="}}},
        TokenCase{"non-ASCII addresses are kept", "a{b:url(caf\xC3\xA9.png)}", {{"url(caf\xC3\xA9.png)", "caf\xC3\xA9.png"}}},
        TokenCase{"empty url values", "a{b:url() c:url(\"\")}", {{"url()", ""}, {"\"\"", ""}}}));

TEST(CssRewrite, ReplacedValuesReadBackAndTheRestIsKept) {
  const std::string css =
      "@import url(base.css);\n/* url(comment.png) */\n"
      "a{background:url( 'img/a b.png' ) no-repeat; list-style:URL(keep.gif)}\n"
      "b{cursor:url(c\\).cur)}";
  const std::string rewritten = rewriteCssReferences(css, [](const CssReference& reference) -> std::optional<std::string> {
    if (reference.address == "keep.gif") return std::nullopt;
    return "page.files/\"odd\\name\n" + reference.address;
  });
  EXPECT_EQ(rewritten,
            "@import url(\"page.files/\\\"odd\\\\name\\a base.css\");\n/* url(comment.png) */\n"
            "a{background:url( \"page.files/\\\"odd\\\\name\\a img/a b.png\" ) no-repeat; list-style:URL(keep.gif)}\n"
            "b{cursor:url(\"page.files/\\\"odd\\\\name\\a c).cur\")}");
  std::vector<std::string> addresses;
  for (const CssReference& reference : findCssReferences(rewritten)) addresses.push_back(reference.address);
  EXPECT_EQ(addresses, (std::vector<std::string>{"page.files/\"odd\\name\nbase.css", "page.files/\"odd\\name\nimg/a b.png",
                                                 "keep.gif", "page.files/\"odd\\name\nc).cur"}));
  EXPECT_TRUE(findCssReferences(rewritten).front().isImport);
  EXPECT_EQ(rewriteCssReferences(css, [](const CssReference&) { return std::nullopt; }), css);
}

}  // namespace
}  // namespace velkin::capture
