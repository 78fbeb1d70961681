// The HTML serialiser and the drop adapter: the written form the capture
// engine searches for, parsing back to the same tree, and "HTML Format"
// text that the clipboard parser reads with correct offsets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/clipboard_html.h"
#include "capture/drop_adapter.h"
#include "capture/html_serializer.h"
#include "capture/nesting_limit.h"

namespace velkin::capture {
namespace {

// What the serialiser writes between <BODY ...> and </BODY>.
std::string bodyOf(const std::string& html) {
  const std::string out = serializeHtml(html);
  const size_t open = out.find("<BODY");
  const size_t start = out.find('>', open);
  const size_t end = out.rfind("</BODY>");
  if (open == std::string::npos || start == std::string::npos || end == std::string::npos) return "?" + out;
  return out.substr(start + 1, end - start - 1);
}

struct FormCase {
  const char* name;
  const char* source;
  const char* body;
};

void PrintTo(const FormCase& form, std::ostream* out) { *out << form.name; }

class SerializedForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(SerializedForm, WritesTheEngineForm) { EXPECT_EQ(bodyOf(GetParam().source), GetParam().body); }

INSTANTIATE_TEST_SUITE_P(
    Serializer, SerializedForm,
    ::testing::Values(
        FormCase{"TagsInCapitals", "<div><Span>x</span></div>", "<DIV><SPAN>x</SPAN></DIV>"},
        FormCase{"AttributeNamesInSmallLetters", "<p CLASS=a Id='b'>", "<P class=a id=b></P>"},
        FormCase{"PlainValueUnquoted", "<p title=\"a.b-c_d/e:f\">", "<P title=a.b-c_d/e:f></P>"},
        FormCase{"ValuesNeedingQuotes", "<p a='x y' b='x\ty' c='x\ny' d='x=y' e='x<y' f='x>y' g='x`y' h=\"it's\">",
                 "<P a=\"x y\" b=\"x\ty\" c=\"x\ny\" d=\"x=y\" e=\"x&lt;y\" f=\"x&gt;y\" g=\"x`y\" h=\"it's\"></P>"},
        FormCase{"QuoteWrittenAsEntity", "<p title='say \"hi\"'>", "<P title=\"say &quot;hi&quot;\"></P>"},
        FormCase{"EmptyValueQuoted", "<input disabled>", "<INPUT disabled=\"\">"},
        FormCase{"AddressAttributesAlwaysQuoted",
                 "<img src=a.gif><a href=x.zip>z</a><table background=t.gif><tr><td backsound=s.wav>",
                 "<IMG src=\"a.gif\"><A href=\"x.zip\">z</A><TABLE background=\"t.gif\"><TBODY><TR>"
                 "<TD backsound=\"s.wav\"></TD></TR></TBODY></TABLE>"},
        FormCase{"AddressKeepsPlainAmpersand", "<a href=\"p?a=1&amp;b=2\">x</a>",
                 "<A href=\"p?a=1&b=2\">x</A>"},
        FormCase{"AmpersandThatWouldReadAsEntityEscaped", "<p title=\"&amp;copy &amp;#38;\">",
                 "<P title=\"&amp;copy &amp;#38;\"></P>"},
        FormCase{"ParamNameAndValueFirst", "<object><param id=p value=\"m.swf\" name=Src></object>",
                 "<OBJECT><PARAM NAME=\"Src\" VALUE=\"m.swf\" id=p></OBJECT>"},
        FormCase{"ParamWithoutName", "<object><param value=v></object>", "<OBJECT><PARAM VALUE=\"v\"></OBJECT>"},
        FormCase{"VoidElementsWithoutEndTag", "a<br>b<hr><img src=x>", "a<BR>b<HR><IMG src=\"x\">"},
        FormCase{"TextEscaped", "a &amp; b &lt; c &gt; d \xC3\xA9", "a &amp; b &lt; c &gt; d \xC3\xA9"},
        FormCase{"CommentsKept", "a<!-- note <b> -->b", "a<!-- note <b> -->b"},
        FormCase{"ScriptVerbatim", "x<script>if (a < b && c) x = \"</p>\";</script>",
                 "x<SCRIPT>if (a < b && c) x = \"</p>\";</SCRIPT>"},
        FormCase{"StyleVerbatim", "x<style>p > a { content: \"&amp;\" }</style>",
                 "x<STYLE>p > a { content: \"&amp;\" }</STYLE>"},
        FormCase{"TextareaKeepsLeadingLineBreak", "<textarea>\n\nx &amp; y</textarea>",
                 "<TEXTAREA>\n\nx & y</TEXTAREA>"},
        FormCase{"PreKeepsLeadingLineBreak", "<pre>\n\nx</pre>", "<PRE>\n\nx</PRE>"},
        FormCase{"UnknownElementInCapitals", "<my-Widget data-X=1>w</my-widget>",
                 "<MY-WIDGET data-x=1>w</MY-WIDGET>"},
        FormCase{"ForeignElementsClosedAndPrefixed", "<svg viewBox=\"0 0 1 1\"><a xlink:href=\"#a\"/></svg>",
                 "<SVG viewbox=\"0 0 1 1\"><A xlink:href=#a></A></SVG>"}),
    [](const ::testing::TestParamInfo<FormCase>& param) { return std::string(param.param.name); });

TEST(Serializer, WritesTheWholeDocumentWithDoctype) {
  EXPECT_EQ(serializeHtml("<!DOCTYPE html><title>T</title><p>x"),
            "<!DOCTYPE html><HTML><HEAD><TITLE>T</TITLE></HEAD><BODY><P>x</P></BODY></HTML>");
  EXPECT_EQ(serializeHtml("<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://w3.example/s.dtd\">"),
            "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://w3.example/s.dtd\">"
            "<HTML><HEAD></HEAD><BODY></BODY></HTML>");
  EXPECT_EQ(serializeHtml(""), "<HTML><HEAD></HEAD><BODY></BODY></HTML>");
  // Whatever follows <PLAINTEXT> reads back as its text, end tags included.
  EXPECT_EQ(serializeHtml("<plaintext>a </p> & b"), "<HTML><HEAD></HEAD><BODY><PLAINTEXT>a </p> & b");
  EXPECT_EQ(serializeHtml("<!--before--><html lang=en></html><!--after-->"),
            "<!--before--><HTML lang=en><HEAD></HEAD><BODY></BODY></HTML><!--after-->");
}

TEST(Serializer, TitleStaysAsWrittenUnlessItCouldEndEarly) {
  EXPECT_EQ(serializeHtml("<title>Tom &amp; Jerry</title>"),
            "<HTML><HEAD><TITLE>Tom & Jerry</TITLE></HEAD><BODY></BODY></HTML>");
  EXPECT_EQ(serializeHtml("<title>a &lt;/title&gt; &amp;amp;</title>"),
            "<HTML><HEAD><TITLE>a &lt;/title> &amp;amp;</TITLE></HEAD><BODY></BODY></HTML>");
}

// Documents that exercise the parser's repairs: each must read back as the
// tree it came from.
class ReparseStability : public ::testing::TestWithParam<const char*> {};

TEST_P(ReparseStability, SerialisingTwiceGivesTheSameText) {
  const std::string once = serializeHtml(GetParam());
  EXPECT_EQ(serializeHtml(once), once);
}

INSTANTIATE_TEST_SUITE_P(
    Serializer, ReparseStability,
    ::testing::Values(
        "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>A &amp; B</title>"
        "<link rel=\"stylesheet\" href=\"s.css\"><script>var a = '<b>' && 1;</script></head>"
        "<body class='x y' background=\"bg.gif\"><p>Hello & <b>world</b><img alt=\"a\" src=\"i.gif\">"
        "<a href=\"x.zip?a=1&amp;b=2\">z</a><!-- c --></body></html>",
        "<table><tr>stray text<td>c<td>d</table>",
        "<b><p>misnested</b> formatting</p><i><div>more</i></div>",
        "<select><option>a<option selected>b<optgroup label=g><option>c</select>",
        "<frameset rows=\"*,*\"><frame src=a><noframes><p>no frames</noframes></frameset>",
        "<template><td>cell</td></template><p>after",
        "<svg><foreignObject><p>html in svg</p></foreignObject><![CDATA[x<y]]><title>t</title></svg>"
        "<math><mi>x</mi></math>",
        "<textarea>\nfirst line kept\n</textarea><pre>\nalso</pre><listing>\nand this</listing>",
        "<p title=\"&amp;lt; &quot; ' ` =\">&lt;tags&gt;</p><p a=&amp;b=c>",
        "<noscript><p>no script</p></noscript><iframe><b>raw</b></iframe><xmp><i>raw</i></xmp>",
        "<object><param name=Src value=\"a b.swf\" extra><embed src=e.swf></object>",
        "<a href=x><a href=y>nested anchors</a></a><form><form>nested forms</form>",
        "<!doctype html><html><body><!--a--></body></html><!--tail-->",
        "<plaintext>everything </plaintext> is text <b>"));

// The engine reads a tag from "<IMG" to the next ">", so a ">" left inside
// a value before src would hide the address from it.
TEST(Serializer, AngleBracketsInValuesDoNotEndTheTag) {
  const std::string out =
      serializeHtml("<img alt=\"a>b\" title='<i>' data-x=\"1<2\" src=\"x.png\"><a title=\">\" href=y.html>y</a>");
  for (const std::string start : {"<IMG", "<A"}) {
    const size_t open = out.find(start);
    ASSERT_NE(open, std::string::npos) << out;
    const std::string tag = out.substr(open, out.find('>', open) + 1 - open);
    EXPECT_EQ(tag.find('<', 1), std::string::npos) << tag;
    EXPECT_NE(tag.find(start == "<IMG" ? " src=\"x.png\">" : " href=\"y.html\">"), std::string::npos) << tag;
  }
  EXPECT_NE(out.find("<IMG alt=\"a&gt;b\" title=\"&lt;i&gt;\" data-x=\"1&lt;2\" src=\"x.png\">"), std::string::npos)
      << out;
  EXPECT_EQ(serializeHtml(out), out);
}

TEST(Serializer, MalformedInputNeverCrashes) {
  const char* const inputs[] = {
      "<",     "</",   "<!--",         "<!-- unterminated", "<img src=\"a",  "<a href=", "<p <p <p",
      "<<<>>>", "</p>", "<!DOCTYPE",   "<![CDATA[",         "<?xml ?>",      "&#x110000;&#0;&;",
      "\xff\xfe<\x80\x81>", "<script>", "<script><!--<script>", "<title>", "<table><caption><table>"};
  for (const char* input : inputs) {
    const std::string out = serializeHtml(input);
    EXPECT_NE(out.find("<HTML>"), std::string::npos) << input << " -> " << out;
    EXPECT_EQ(out.substr(out.size() - 7), "</HTML>") << input << " -> " << out;
  }
  const std::string withNul("<p a=\"x\0y\">b\0c</p>", 19);
  EXPECT_NE(serializeHtml(withNul).find("<P a=x\xEF\xBF\xBDy>bc</P>"), std::string::npos);
}

TEST(Serializer, DeeplyNestedInputIsFreedSafely) {
  constexpr size_t kDepth = 400000;  // far beyond what a recursive clean-up survives
  std::string deep;
  for (size_t i = 0; i < kDepth; ++i) deep += "<span>";
  const std::string out = serializeHtml(deep);
  // Nested no deeper than browsers nest.
  EXPECT_EQ(out.size(), std::string("<HTML><HEAD></HEAD><BODY></BODY></HTML>").size() + kBrowserNestingDepth * 13);
}

TEST(Serializer, TitleIsTheFirstTitleAsDecoded) {
  EXPECT_EQ(htmlTitle("<title> Tom &amp; Jerry </title><title>second</title>"), " Tom & Jerry ");
  EXPECT_EQ(htmlTitle("<p>no title here"), "");
  EXPECT_EQ(htmlTitle("<svg><title>picture</title></svg><title>page</title>"), "page");
}

// ---------------------------------------------------------------------------
// The drop adapter.

// The value of a "Name:digits" header line.
size_t headerOffset(const std::string& text, const std::string& name) {
  const size_t at = text.find(name + ":");
  EXPECT_NE(at, std::string::npos) << name;
  const std::string digits = text.substr(at + name.size() + 1, 10);
  EXPECT_EQ(text.substr(at + name.size() + 11, 2), "\r\n") << "ten digits expected for " << name;
  return static_cast<size_t>(std::stoull(digits));
}

TEST(DropAdapter, OffsetsPointAtTheHtmlAndTheFragment) {
  const std::string text =
      buildClipboardHtml("<!DOCTYPE html><html lang=en><meta charset=utf-8><b>bold</b> text", "https://news.example/a");
  EXPECT_EQ(text.rfind("Version:1.0\r\nStartHTML:", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nSourceURL:https://news.example/a\r\n<HTML><HEAD>"), std::string::npos) << text;
  EXPECT_EQ(text.find("<!DOCTYPE"), std::string::npos);
  EXPECT_EQ(text.substr(headerOffset(text, "StartHTML"), 6), "<HTML>");
  EXPECT_EQ(headerOffset(text, "EndHTML"), text.size());
  const size_t start = headerOffset(text, "StartFragment");
  const size_t end = headerOffset(text, "EndFragment");
  ASSERT_LE(start, end);
  EXPECT_EQ(text.substr(start, end - start), "<B>bold</B> text");
  const auto parsed = parseClipboardHtml(text);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->baseAddress, "https://news.example/a");
  EXPECT_EQ(parsed->pageHtml, std::string(kUtf8MetaLine) +
                                  "<HTML><HEAD><META charset=utf-8></HEAD><BODY><!--StartFragment--><B>bold</B> text"
                                  "<!--EndFragment--></BODY></HTML>");
}

TEST(DropAdapter, WithoutAddressThereIsNoSourceLine) {
  const std::string text = buildClipboardHtml("x", "");
  EXPECT_EQ(text.find("SourceURL:"), std::string::npos);
  const auto parsed = parseClipboardHtml(text);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->baseAddress, "");
  EXPECT_EQ(text.substr(headerOffset(text, "StartHTML"), 6), "<HTML>");
}

TEST(DropAdapter, AddressCannotBreakTheHeader) {
  const std::string text = buildClipboardHtml("<p>x</p>", "http://a.example/\r\nStartHTML:1<HTML>");
  const auto parsed = parseClipboardHtml(text);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->baseAddress, "http://a.example/StartHTML:1%3CHTML%3E");
  EXPECT_EQ(text.substr(headerOffset(text, "StartHTML"), 6), "<HTML>");
  EXPECT_EQ(parsed->pageHtml.find("<HTML><HEAD>"), std::string(kUtf8MetaLine).size());
}

TEST(DropAdapter, MarkWordsInTextAreNotTakenForTheMarks) {
  const std::string text = buildClipboardHtml(
      "<title>&lt;!--EndFragment--&gt;</title><script>'<!--StartFragment-->'</script><p>x</p>", "");
  const size_t start = headerOffset(text, "StartFragment");
  const size_t end = headerOffset(text, "EndFragment");
  ASSERT_LE(start, end);
  EXPECT_EQ(text.substr(start, end - start), "<P>x</P>");
}

TEST(DropAdapter, KeepsTheFragmentMarksOfTheSource) {
  const std::string text =
      buildClipboardHtml("<html><body>before<!--StartFragment--><i>x</i><!--EndFragment-->after</body></html>", "");
  const size_t start = headerOffset(text, "StartFragment");
  const size_t end = headerOffset(text, "EndFragment");
  EXPECT_EQ(text.substr(start, end - start), "<I>x</I>");
  EXPECT_EQ(text.find("StartFragment-->", text.find("StartFragment-->") + 1), std::string::npos);
}

}  // namespace
}  // namespace velkin::capture
