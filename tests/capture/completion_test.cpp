// Completion of captured pages against a real HTTP server on 127.0.0.1:
// every kind of reference a browser would still fetch from the web is made
// local, and hostile pages (frame and import cycles, deep frames, local
// files named by a web page) stay bounded.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "capture/completion.h"
#include "capture/document_capture.h"
#include "capture/html_serializer.h"
#include "capture/support/loopback_server.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::capture {
namespace {

using testing::LoopbackServer;
using testing::readTextFile;

struct KindCase {
  const char* name;
  const char* markup;  // inside BODY of /site/p.html
  std::vector<std::pair<std::string, std::string>> served;
  std::vector<std::string> inPage;  // texts the saved page must hold
  std::vector<std::pair<std::string, std::string>> files;  // companion file -> text it holds
};

void PrintTo(const KindCase& kind, std::ostream* out) { *out << kind.name; }

class CompletionKinds : public testing::IsolatedTest, public ::testing::WithParamInterface<KindCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    testing::makeDirs(path("kb"));
  }
  testing::DirectLoopback direct_;
  LoopbackServer server_;
};

TEST_P(CompletionKinds, AreFetchedAndPointedAtTheirLocalCopies) {
  const KindCase& kind = GetParam();
  for (const auto& [where, body] : kind.served) server_.serve(where, body, "text/html");
  const std::string markup = kind.markup;
  const bool frameset = markup.rfind("<frameset", 0) == 0;
  const std::string html = "<!DOCTYPE html><html><head><title>t</title></head>" +
                           (frameset ? markup : "<body>" + markup + "</body>") + "</html>";
  const CaptureResult result =
      captureDocument(serializeHtml(html), server_.url("/site/p.html"), path("kb/p.htm"), CaptureOptions{});
  ASSERT_TRUE(result.captured) << result.error;
  const std::string page = readTextFile(path("kb/p.htm"));
  for (const std::string& text : kind.inPage) EXPECT_NE(page.find(text), std::string::npos) << text << "\n" << page;
  for (const auto& [file, text] : kind.files) {
    ASSERT_TRUE(platform::isRegularFile(path("kb/p.files/" + file))) << file;
    EXPECT_NE(readTextFile(path("kb/p.files/" + file)).find(text), std::string::npos) << file;
  }
  EXPECT_EQ(result.resourcesFetched, result.resourceCount);
}

INSTANTIATE_TEST_SUITE_P(
    EveryReference, CompletionKinds,
    ::testing::Values(
        KindCase{"srcset", R"(<img src="a.png" srcset="a1.png 1x, /pics/a2.png 2x">)",
                 {{"/site/a.png", "A"}, {"/site/a1.png", "A1"}, {"/pics/a2.png", "A2"}},
                 {R"(srcset="p.files/a1.png 1x, p.files/a2.png 2x")"},
                 {{"a1.png", "A1"}, {"a2.png", "A2"}}},
        KindCase{"picture source",
                 R"(<picture><source srcset="w.webp" type="image/webp"><img src="a.png"></picture>)",
                 {{"/site/w.webp", "WEBP"}, {"/site/a.png", "A"}},
                 {R"(<SOURCE srcset="p.files/w.webp")"},
                 {{"w.webp", "WEBP"}}},
        KindCase{"lazy picture over a placeholder",
                 R"(<img src="data:image/gif;base64,R0lGODlh" data-src="lazy.png" data-srcset="lazy2.png 2x">)",
                 {{"/site/lazy.png", "LAZY"}, {"/site/lazy2.png", "LAZY2"}},
                 {R"(src="p.files/lazy.png")", R"(data-src="p.files/lazy.png")",
                  R"(srcset="p.files/lazy2.png 2x")"},
                 {{"lazy.png", "LAZY"}, {"lazy2.png", "LAZY2"}}},
        KindCase{"lazy picture without src",
                 R"(<img data-original="o.png"><img data-lazy-src="l.png" alt=x>)",
                 {{"/site/o.png", "ORIG"}, {"/site/l.png", "LZ"}},
                 {R"(data-original="p.files/o.png" src="p.files/o.png")", R"(src="p.files/l.png")"},
                 {{"o.png", "ORIG"}, {"l.png", "LZ"}}},
        KindCase{"media", R"(<video poster="v.jpg" src="v.mp4"><source src="v.webm"><track src="v.vtt"></video>
                 <audio src="a.ogg"></audio>)",
                 {{"/site/v.jpg", "JPG"}, {"/site/v.mp4", "MP4"}, {"/site/v.webm", "WEBM"}, {"/site/v.vtt", "VTT"},
                  {"/site/a.ogg", "OGG"}},
                 {R"(poster="p.files/v.jpg")", R"(src="p.files/v.mp4")", R"(<SOURCE src="p.files/v.webm">)",
                  R"(<TRACK src="p.files/v.vtt">)", R"(<AUDIO src="p.files/a.ogg">)"},
                 {{"v.jpg", "JPG"}, {"v.mp4", "MP4"}, {"v.webm", "WEBM"}, {"v.vtt", "VTT"}, {"a.ogg", "OGG"}}},
        KindCase{"script, object and embed",
                 R"(<script src="js/app.js"></script><object data="o.svg"></object><embed src="e.swf">)",
                 {{"/site/js/app.js", "JS"}, {"/site/o.svg", "SVG"}, {"/site/e.swf", "SWF"}},
                 {R"(<SCRIPT src="p.files/app.js">)", R"(<OBJECT data="p.files/o.svg">)",
                  R"(<EMBED src="p.files/e.swf">)"},
                 {{"app.js", "JS"}, {"o.svg", "SVG"}, {"e.swf", "SWF"}}},
        KindCase{"style block and style attribute",
                 R"~(<style>body { background: url('bg.png') } @import "more.css";</style>
                 <div style="background-image: url(&quot;d.png&quot;)">x</div>)~",
                 {{"/site/bg.png", "BG"}, {"/site/d.png", "D"}, {"/site/more.css", ".m { background: url(m.png) }"},
                  {"/site/m.png", "M"}},
                 {R"~(url("p.files/bg.png"))~", R"(@import "p.files/more.css")",
                  R"~(style="background-image: url(&quot;p.files/d.png&quot;)")~"},
                 {{"bg.png", "BG"}, {"d.png", "D"}, {"more.css", R"~(url("m.png"))~"}, {"m.png", "M"}}},
        KindCase{"linked sheet with fonts, pictures and an import",
                 R"(<link rel="stylesheet" href="css/site.css"><link rel="stylesheet" href="fonts.php?family=x">)",
                 {{"/site/css/site.css",
                   "@import url(\"deeper/more.css\"); @font-face { src: url(../f/x.woff2) } .a { background: "
                   "url(\"/img/a.png\") }"},
                  {"/site/css/deeper/more.css", ".b { background: url(b.png) }"},
                  {"/site/css/deeper/b.png", "B"},
                  {"/site/f/x.woff2", "FONT"},
                  {"/img/a.png", "A"},
                  {"/site/fonts.php", "@font-face { src: url(/f/y.woff) }"},
                  {"/f/y.woff", "Y"}},
                 {R"(href="p.files/site.css")", R"(href="p.files/fonts.htm.css")"},
                 {{"site.css", R"~(@import url("more.css"); @font-face { src: url("x.woff2") } .a { background: url("a.png") })~"},
                  {"more.css", R"~(url("b.png"))~"},
                  {"x.woff2", "FONT"},
                  {"a.png", "A"},
                  {"b.png", "B"},
                  {"fonts.htm.css", R"~(url("y.woff"))~"},
                  {"y.woff", "Y"}}},
        KindCase{"icon and picture button", R"(<link rel="icon" href="fav.ico"><input type="image" src="go.png">)",
                 {{"/site/fav.ico", "ICO"}, {"/site/go.png", "GO"}},
                 {R"(href="p.files/fav.ico")", R"(src="p.files/go.png")"},
                 {{"fav.ico", "ICO"}, {"go.png", "GO"}}},
        KindCase{"iframe captured as a page", R"(<iframe src="inner/f.html"></iframe>)",
                 {{"/site/inner/f.html", "<p><img src=\"pic.png\"></p>"}, {"/site/inner/pic.png", "PIC"}},
                 {R"(<IFRAME src="p.files/f.html">)"},
                 {{"f.html", R"(<IMG src="f.files/pic.png">)"}, {"f.files/pic.png", "PIC"}}},
        KindCase{"frame page renamed to be read as a page",
                 R"(<frameset cols="50%,*"><frame src="left.php"><frame src="right.html"></frameset>)",
                 {{"/site/left.php", "<p>left <img src=l.png></p>"}, {"/site/l.png", "L"},
                  {"/site/right.html", "<p>right</p>"}},
                 {R"(<FRAME src="p.files/left.php.html">)", R"(<FRAME src="p.files/right.html">)"},
                 {{"left.php.html", R"(src="left.php.files/l.png")"}, {"left.php.files/l.png", "L"},
                  {"right.html", "<P>right</P>"}}}));

class CompletionBounds : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    testing::makeDirs(path("kb"));
  }
  CaptureResult capture(const std::string& body) {
    const std::string html = "<html><body>" + body + "</body></html>";
    return captureDocument(serializeHtml(html), server_.url("/p.html"), path("kb/p.htm"), CaptureOptions{});
  }
  testing::DirectLoopback direct_;
  LoopbackServer server_;
};

TEST_F(CompletionBounds, FrameCyclesAndDepthAreBoundedAndTheRestIsMadeAbsolute) {
  server_.serve("/a.html", R"(<iframe src="b.html"></iframe><iframe src="p.html"></iframe><iframe src="a.html#x">)",
                "text/html");
  server_.serve("/b.html", R"(<iframe src="a.html"></iframe><iframe src="d1.html"></iframe>)", "text/html");
  server_.serve("/d1.html", R"(<iframe src="d2.html"></iframe>)", "text/html");
  server_.serve("/d2.html", R"(<iframe src="d3.html"></iframe>)", "text/html");
  server_.serve("/d3.html", "<p>deep</p>", "text/html");
  const CaptureResult result = capture(R"(<iframe src="a.html"></iframe>)");
  ASSERT_TRUE(result.captured) << result.error;
  for (const char* page : {"/a.html", "/b.html"}) EXPECT_EQ(server_.requestCount(page), 1u) << page;
  EXPECT_EQ(server_.requestCount("/p.html"), 0u);
  // p (depth 0) > a (1) > b (2) > d1 (3): d1's frame lies beyond the bound.
  EXPECT_EQ(server_.requestCount("/d1.html"), 1u);
  EXPECT_EQ(server_.requestCount("/d2.html"), 0u);
  const std::string a = readTextFile(path("kb/p.files/a.html"));
  EXPECT_NE(a.find("src=\"" + server_.url("/p.html") + "\""), std::string::npos) << a;
  EXPECT_NE(a.find("src=\"" + server_.url("/a.html#x") + "\""), std::string::npos) << a;
  const std::string b = readTextFile(path("kb/p.files/a.files/b.html"));
  EXPECT_NE(b.find("src=\"" + server_.url("/a.html") + "\""), std::string::npos) << b;
  const std::string d1 = readTextFile(path("kb/p.files/a.files/b.files/d1.html"));
  EXPECT_NE(d1.find("src=\"" + server_.url("/d2.html") + "\""), std::string::npos) << d1;
}

TEST_F(CompletionBounds, ImportCyclesEndAndAWebPageNeverGetsLocalFiles) {
  server_.serve("/x.css", "@import 'y.css'; .x { background: url(file:///etc/hostname) }", "text/css");
  server_.serve("/y.css", "@import url(x.css); .y { background: url(/etc/hostname) }", "text/css");
  const CaptureResult result = capture(
      R"(<link rel="stylesheet" href="x.css"><img srcset="/etc/hostname 1x, file:///etc/hostname 2x, gone.png 3x">)"
      R"~(<div style="background: url(file:///etc/hostname)">)~");
  ASSERT_TRUE(result.captured) << result.error;
  EXPECT_EQ(server_.requestCount("/x.css"), 1u);
  EXPECT_EQ(server_.requestCount("/y.css"), 1u);
  EXPECT_EQ(readTextFile(path("kb/p.files/y.css")).rfind("@import url(\"x.css\");", 0), 0u);
  // A local file named by a web page stays named as it was, never read; an
  // address of the web that did not arrive is made absolute.
  const std::string page = readTextFile(path("kb/p.htm"));
  EXPECT_NE(page.find("srcset=\"" + server_.url("/etc/hostname") + " 1x, file:///etc/hostname 2x, " +
                      server_.url("/gone.png") + " 3x\""),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("url(file:///etc/hostname)"), std::string::npos) << page;
  EXPECT_NE(readTextFile(path("kb/p.files/x.css")).find("url(file:///etc/hostname)"), std::string::npos);
  for (const std::string& name : testing::sortedNamesIn(path("kb/p.files"))) {
    EXPECT_NE(readTextFile(path("kb/p.files/" + name)), platform::readFile("/etc/hostname").value_or("?")) << name;
  }
}

}  // namespace
}  // namespace velkin::capture
