#include "capture/page_texts.h"

#include <string>
#include <vector>

#include "support/test_support.h"

namespace velkin::capture {
namespace {

using platform::DocumentSnapshot;
using velkin::testing::IsolatedTest;

class PageTextsTest : public IsolatedTest {};

DocumentSnapshot snapshotOf(const std::string& message) {
  std::string error;
  auto snapshot = DocumentSnapshot::fromJson(message, error);
  EXPECT_TRUE(snapshot) << error;
  return snapshot.value_or(*DocumentSnapshot::fromJson(R"({"url": ""})", error));
}

struct SelectionCase {
  const char* name;
  std::string title;
  std::string members;  // after "url"
  std::string page;
};

TEST_F(PageTextsTest, SelectionPageIsComposedByteForByte) {
  const std::string selection = R"("selection": {"htmlText": "<P>sel</P>"})";
  const std::vector<SelectionCase> cases = {
      {"no style sheets: the style element is empty", "T", selection,
       "<HTML><HEAD><TITLE>T</TITLE><style type=\"text/css\"><!----></style></HEAD><BODY><P>sel</P></BODY></HTML>"},
      {"two sheets joined without a separator", "T",
       R"("styleSheets": [{"cssText": "a{}\n"}, {"cssText": "b{}"}], )" + selection,
       "<HTML><HEAD><TITLE>T</TITLE><style type=\"text/css\"><!--a{}\nb{}--></style></HEAD><BODY><P>sel</P>"
       "</BODY></HTML>"},
      {"no sheets, unreadable and empty texts add nothing", "T",
       R"("styleSheets": [null, {"cssText": ""}, {}, {"cssText": "c{}"}], )" + selection,
       "<HTML><HEAD><TITLE>T</TITLE><style type=\"text/css\"><!--c{}--></style></HEAD><BODY><P>sel</P>"
       "</BODY></HTML>"},
      {"markup in the title and an empty selection stay unchanged", "a<b & \"c\" </tit", R"("selection": {"htmlText": ""})",
       "<HTML><HEAD><TITLE>a<b & \"c\" </tit</TITLE><style type=\"text/css\"><!----></style></HEAD><BODY>"
       "</BODY></HTML>"},
      {"a title end tag in the title cannot end the element", "x</TiTlE><!--", selection,
       "<HTML><HEAD><TITLE>x&lt;/TiTlE><!--</TITLE><style type=\"text/css\"><!----></style></HEAD><BODY><P>sel</P>"
       "</BODY></HTML>"},
  };
  for (const SelectionCase& c : cases) {
    const auto page = selectionPageText(c.title, snapshotOf(R"({"url": "u", )" + c.members + "}"));
    ASSERT_TRUE(page) << c.name;
    EXPECT_EQ(*page, c.page) << c.name;
  }
}

TEST_F(PageTextsTest, SelectionPageIsNotComposedWhenSheetsOrSelectionCannotBeRead) {
  for (const char* members : {R"("styleSheetsReadable": false, "selection": {"htmlText": "x"})",
                              R"("selection": null)", R"("selection": {})", R"("selection": {"htmlText": null})"}) {
    EXPECT_EQ(selectionPageText("T", snapshotOf(std::string(R"({"url": "u", )") + members + "}")), std::nullopt)
        << members;
  }
}

TEST_F(PageTextsTest, WholePageIsTheFirstHtmlElementFoundWithoutRegardToCase) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"([{"tagName": "HTML", "outerHTML": "<HTML><BODY>x</BODY></HTML>"}])", "<HTML><BODY>x</BODY></HTML>"},
      {R"([null, {"outerHTML": "unread"}, {"tagName": "html", "outerHTML": "fake", "isHtmlElement": false},
           {"tagName": "HEAD", "outerHTML": "<head>"}, {"tagName": "hTmL", "outerHTML": "first"},
           {"tagName": "html", "outerHTML": "second"}])",
       "first"},
      {R"([{"tagName": "html", "outerHTML": "<html><frameset cols=\"50%,*\"><frame src=\"a.htm\"></frameset></html>"},
           {"tagName": "FRAMESET", "outerHTML": "<frameset>"}])",
       "<html><frameset cols=\"50%,*\"><frame src=\"a.htm\"></frameset></html>"},
      {R"([{"tagName": "HTMLX", "outerHTML": "no"}, {"tagName": "BODY", "outerHTML": "no"}])", ""},
      {R"([])", ""},
  };
  for (const auto& [all, page] : cases) {
    EXPECT_EQ(wholePageText(snapshotOf(R"({"url": "u", "all": )" + all + "}")), page) << all;
  }
}

TEST_F(PageTextsTest, PicturePageIsComposedByteForByte) {
  EXPECT_EQ(picturePageText("Pic", "http://a.example/p.png?x=1&y=\"2\""),
            "<HTML><HEAD><TITLE>Pic</TITLE></HEAD><BODY><IMG src=\"http://a.example/p.png?x=1&y=\"2\"\" border=0>"
            "</BODY></HTML>");
  EXPECT_EQ(picturePageText("a<b", ""),
            "<HTML><HEAD><TITLE>a<b</TITLE></HEAD><BODY><IMG src=\"\" border=0></BODY></HTML>");
  EXPECT_EQ(picturePageText("</title></title", "p.png"),
            "<HTML><HEAD><TITLE>&lt;/title>&lt;/title</TITLE></HEAD><BODY><IMG src=\"p.png\" border=0>"
            "</BODY></HTML>");
}

}  // namespace
}  // namespace velkin::capture
