// The scanner's fast (indexed) rewriting against a plain, literal
// implementation of the rule kept here as the reference: for each tag
// pattern, search from the current position, take the tag up to the next
// ">", decide, and replace EVERY occurrence of the old tag text in the whole
// working copy by the new one, then go on after the rewritten tag. Pages
// come from a seeded generator; both must agree byte for byte on the page
// HTML and on the resource list, and so must the engine's own literal way.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "capture/address.h"
#include "capture/page_capture.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace velkin::capture {
namespace {

// ---------------------------------------------------------------------------
// The reference: the rule as written, one whole-text replacement per tag.

struct ReferenceResult {
  int status = 1;
  std::string html;
  std::vector<Resource> resources;
};

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Replaces every occurrence (left to right, no overlap) and reports where the
// occurrence that started at `at` starts afterwards.
std::string referenceReplaceAll(const std::string& text, const std::string& from, const std::string& to,
                                size_t at, size_t* movedAt) {
  std::string out;
  size_t i = 0;
  *movedAt = std::string::npos;
  while (i < text.size()) {
    if (text.compare(i, from.size(), from) == 0) {
      if (i == at) *movedAt = out.size();
      out += to;
      i += from.size();
    } else {
      if (i == at) *movedAt = out.size();
      out += text[i];
      ++i;
    }
  }
  return out;
}

ReferenceResult referenceScan(const std::string& html, const std::string& base, const std::string& pagePath,
                              const std::vector<std::string>& fileTypes) {
  struct Pattern {
    std::string text;
    std::string attribute;
  };
  const Pattern patterns[] = {{"<A", "href"},     {"<FRAME", "src"},   {"<IMG", "src"},
                              {"<LINK", "href"},  {"<INPUT", "src"},   {"background", ""},
                              {"backsound", ""},  {"<PARAM NAME=\"Src\"", "VALUE"}};
  const size_t slash = pagePath.rfind('/');
  const std::string pageFolder = slash == std::string::npos ? "." : pagePath.substr(0, slash);
  std::string stem = slash == std::string::npos ? pagePath : pagePath.substr(slash + 1);
  if (stem.rfind('.') != std::string::npos) stem = stem.substr(0, stem.rfind('.'));
  const std::string companion = stem + ".files";

  ReferenceResult result;
  std::string work = html;
  for (int order = 1; order <= 8; ++order) {
    const Pattern& pattern = patterns[order - 1];
    size_t position = 0;
    for (;;) {
      const size_t start = work.find(pattern.text, position);
      if (start == std::string::npos) break;
      const size_t end = work.find('>', start);
      if (end == std::string::npos) break;
      const std::string tag = work.substr(start, end - start);
      position = end;
      const std::string forms[3] = {pattern.attribute + "=\"", pattern.attribute + "='", pattern.attribute + "="};
      const char closers[3] = {'"', '\'', ' '};
      int form = -1;
      size_t at = std::string::npos;
      for (int f = 0; f < 3 && at == std::string::npos; ++f) {
        at = tag.find(forms[f]);
        form = f;
      }
      if (at == std::string::npos) continue;
      const size_t valueStart = at + forms[form].size();
      const size_t valueEnd = tag.find(closers[form], valueStart);
      if (valueEnd == std::string::npos) continue;
      const std::string value = tag.substr(valueStart, valueEnd - valueStart);
      if (value.compare(0, companion.size(), companion) == 0) continue;

      bool resource = order != 1;
      if (order == 1) {
        const size_t dot = value.rfind('.');
        if (dot != std::string::npos) {
          const std::string extension = lowerAscii(value.substr(dot + 1));
          for (const std::string& type : fileTypes) {
            if (!type.empty() && lowerAscii(type) == extension) resource = true;
          }
        }
      }
      const auto address = resolveAddress(base, value);
      if (!address) continue;
      // A web page never has this machine's files copied.
      if (resource && (isWebAddress(base) || hasWebScheme(base)) && !hasWebScheme(*address)) continue;
      auto name = localFileName(*address);
      if (name) name = platform::fitFileName(*name, 255);
      std::string newValue;
      if (!resource) {
        newValue = *address;
      } else {
        if (!name) continue;
        newValue = companion + "/" + *name;
        if (form == 2 && (order == 6 || order == 7)) newValue = "\"" + newValue + "\"";
      }
      const std::string newTag = tag.substr(0, valueStart) + newValue + tag.substr(valueEnd);
      if (name) {
        const int made = platform::makeFolder(pageFolder + "/" + companion);
        if (made != 0) {
          result.status = kCaptureFailed;
          result.html = html;
          return result;
        }
      }
      if (resource) result.resources.push_back(Resource{*address, pageFolder + "/" + companion + "/" + *name});
      size_t movedStart = 0;
      work = referenceReplaceAll(work, tag, newTag, start, &movedStart);
      // The tag just found is always one of the occurrences replaced.
      EXPECT_NE(movedStart, std::string::npos);
      if (movedStart == std::string::npos) return result;
      position = movedStart + newTag.size();
    }
  }
  result.html = work;
  return result;
}

// ---------------------------------------------------------------------------
// The generated corpus.

class PageGenerator {
 public:
  explicit PageGenerator(unsigned seed) : random_(seed) {}

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool chance(int percent) { return pick(100) < percent; }

  std::string value() {
    static const char* const kValues[] = {
        "a.gif", "img/a.gif", "../img/b.png", "../../c.jpg", "http://ex.com/c.gif",
        "https://cdn.ex.org/d/e.jpg", "data:image/png;base64,AAAA", "DATA:text/plain,hi", "show.asp?id=3",
        "list?x=1", "dir/", "p.files/x.gif", "p.files", "x.ZIP", "files/x.zip", "doc.pdf", "page.html", "#top",
        "?q=1", "mailto:a@b.c", "javascript:go()", "a b.gif", "%2e%2e", "..", "../", "/abs/x.gif",
        "\xc3\xa9t\xc3\xa9.gif", "//other.ex.com/y.gif", "http://ex.com/", "x.gif?a=b", "a..b.gif",
        "http://ex.com/a/..?x=1", "C:\\pics\\a.gif", "background.gif", "<IMG src=z.gif", "q", "my page.files/k.gif",
        "a%20b.png", "x.htm#frag", "/pages/sub/x.htm", "x.htm", "HTTP://UP.EX.COM/A.GIF", "sub/../z.css", "=", "'", "\"",
    };
    if (chance(35)) return "p" + std::to_string(pick(12)) + (chance(50) ? ".gif" : ".zip");
    return kValues[pick(static_cast<int>(sizeof(kValues) / sizeof(kValues[0])))];
  }

  // attribute=value in one of the quotings (bare last: no closing blank).
  std::string attribute(const std::string& name, bool last) {
    const std::string v = value();
    switch (pick(4)) {
      case 0: return name + "=\"" + v + "\"";
      case 1: return name + "='" + v + "'";
      case 2: return name + "=" + v + " ";
      default: return name + "=" + v + (last ? "" : " ");
    }
  }

  std::string extraAttribute() {
    static const char* const kExtras[] = {"alt=\"x\"", "width=3", "title='t'", "class=c", "ALIGN=left",
                                          "bgcolor=red", "border=\"0\"", "onclick=\"go('a')\""};
    return kExtras[pick(static_cast<int>(sizeof(kExtras) / sizeof(kExtras[0])))];
  }

  // A tag without its ">".
  std::string openTag() {
    static const char* const kNames[][2] = {
        {"<A", "href"},      {"<AREA", "href"},   {"<FRAME", "src"},   {"<IMG", "src"},
        {"<LINK", "href"},   {"<INPUT", "src"},   {"<BODY", "background"}, {"<TD", "background"},
        {"<BGSOUND", "backsound"}, {"<PARAM NAME=\"Src\"", "VALUE"}, {"<PARAM NAME=\"src\"", "VALUE"},
        {"<img", "src"},     {"<IMG", "SRC"},     {"<A", "name"},
    };
    const auto& chosen = kNames[pick(static_cast<int>(sizeof(kNames) / sizeof(kNames[0])))];
    std::string tag = chosen[0];
    const int before = pick(3);
    for (int i = 0; i < before; ++i) tag += " " + extraAttribute();
    const int after = pick(3);
    tag += " " + attribute(chosen[1], after == 0);
    if (chance(10)) tag += " " + attribute(chosen[1], false);  // the attribute twice
    for (int i = 0; i < after; ++i) tag += " " + extraAttribute();
    if (chance(8)) tag += " ";
    return tag;
  }

  std::string piece() {
    static const char* const kTexts[] = {"hello ", "background info ", "backsound=x ", "a=b ", "\n",
                                         "<!-- <IMG src=\"c.gif\" -->", "= ", "> ", "text with <A in it ",
                                         "<P>", "</A>", "<TABLE background='t.gif' x>", "background=", ">"};
    const int kind = pick(100);
    if (kind < 25) return kTexts[pick(static_cast<int>(sizeof(kTexts) / sizeof(kTexts[0])))];
    if (kind < 45 && !made_.empty()) {
      std::string again = made_[pick(static_cast<int>(made_.size()))];
      if (chance(25)) again += " width=1";           // the old tag text followed by more
      if (chance(10)) again.resize(again.size() / 2);  // a cut copy
      return again + (chance(90) ? ">" : "");
    }
    std::string tag = openTag();
    if (chance(10)) {
      // A tag nested in another's attribute value.
      tag = "<A title=\"" + tag + "\" " + attribute("href", false);
    }
    made_.push_back(tag);
    return tag + (chance(94) ? ">" : "");
  }

  std::string page(int pieces) {
    made_.clear();
    std::string out = "<HTML><BODY>";
    for (int i = 0; i < pieces; ++i) out += piece();
    if (chance(80)) out += "</BODY></HTML>";
    return out;
  }

 private:
  std::mt19937 random_;
  std::vector<std::string> made_;
};

struct Comparison {
  size_t fallbacks = 0;
};

// Runs one page through the reference, the engine (indexed) and the engine
// (literal) in one folder; all three must agree.
void compareOnePage(const std::string& html, const std::string& base, const std::string& pageName,
                    const std::vector<std::string>& types, bool blockFolder, Comparison& comparison,
                    const std::string& what) {
  testing::TempFolder folder;
  const std::string pagePath = folder / pageName;
  if (blockFolder) {
    // A file where the companion folder should go: it cannot be made.
    CPageCapture probe;
    probe.setUp("", kCaptureHtml, pagePath, base, types);
    testing::writeTextFile(probe.pageFolder() + "/" + probe.companionFolderName(), "in the way");
  }
  const ReferenceResult expected = referenceScan(html, base, pagePath, types);
  for (const RewriteStrategy strategy : {RewriteStrategy::kIndexed, RewriteStrategy::kLiteral}) {
    CPageCapture job;
    job.setUp(html, kCaptureHtml, pagePath, base, types);
    job.setRewriteStrategy(strategy);
    const int status = job.scanAndRewrite();
    const char* name = strategy == RewriteStrategy::kIndexed ? "indexed" : "literal";
    ASSERT_EQ(status, expected.status) << what << " (" << name << ")";
    ASSERT_EQ(job.pageHtml(), expected.html) << what << " (" << name << ")\npage: " << html;
    ASSERT_EQ(job.resourceCount(), expected.resources.size()) << what << " (" << name << ")";
    for (size_t i = 0; i < expected.resources.size(); ++i) {
      ASSERT_EQ(job.address(i), expected.resources[i].address) << what << " #" << i << " (" << name << ")";
      ASSERT_EQ(job.localPath(i), expected.resources[i].localPath) << what << " #" << i << " (" << name << ")";
    }
    if (strategy == RewriteStrategy::kIndexed) {
      comparison.fallbacks += job.literalPassCount();
      // Only a ">" in a new tag text makes the indexed way fall back.
      if (base.find('>') == std::string::npos && pageName.find('>') == std::string::npos) {
        EXPECT_EQ(job.literalPassCount(), 0u) << what;
      }
    }
  }
}

TEST(RewriteEquivalence, GeneratedCorpusMatchesTheLiteralRule) {
  const char* const kBases[] = {
      "http://ex.com/dir/page.htm", "https://ex.com/a/b/", "http://ex.com", "/pages/sub/p.htm",
      "C:\\pages\\sub\\p.htm",      "",                     "relative",      "http://ex.com/a>b/p.htm",
      "/tmp/x>y/p.htm",             "http://ex.com/dir/page.htm?x=1#f",
  };
  const char* const kPages[] = {"p.htm", "p.htm", "p.htm", "my page.html", "p>q.htm", "noext"};
  const std::vector<std::vector<std::string>> kTypes = {{}, {"zip"}, {"ZIP", "pdf"}, {"gif", "htm"}, {""}};
  PageGenerator generator(20261207);
  Comparison comparison;
  size_t resourcesSeen = 0;
  for (int i = 0; i < 400; ++i) {
    const std::string base = kBases[generator.pick(static_cast<int>(sizeof(kBases) / sizeof(kBases[0])))];
    const std::string pageName = kPages[generator.pick(static_cast<int>(sizeof(kPages) / sizeof(kPages[0])))];
    const auto& types = kTypes[generator.pick(static_cast<int>(kTypes.size()))];
    const bool block = generator.chance(4);
    const std::string html = generator.page(5 + generator.pick(120));
    compareOnePage(html, base, pageName, types, block, comparison, "page " + std::to_string(i));
    if (::testing::Test::HasFatalFailure()) return;
    resourcesSeen += referenceScan(html, base, testing::TempFolder() / pageName, types).resources.size();
  }
  // The corpus does exercise both ways and finds resources.
  EXPECT_GT(comparison.fallbacks, 0u);
  EXPECT_GT(resourcesSeen, 400u);
}

struct CraftedCase {
  const char* what;
  const char* html;
  const char* base;
};

void PrintTo(const CraftedCase& c, std::ostream* out) { *out << c.what; }

class CraftedEquivalence : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(CraftedEquivalence, MatchesTheLiteralRule) {
  const CraftedCase& c = GetParam();
  Comparison comparison;
  for (const std::vector<std::string>& types : {std::vector<std::string>{}, std::vector<std::string>{"zip"}}) {
    compareOnePage(c.html, c.base, "p.htm", types, false, comparison, c.what);
  }
}

INSTANTIATE_TEST_SUITE_P(
    SubtleCases, CraftedEquivalence,
    ::testing::Values(
        CraftedCase{"identical tags", "<IMG src=\"a.gif\"><IMG src=\"a.gif\">", "http://ex.com/d/p.htm"},
        CraftedCase{"old tag text followed by more elsewhere",
                    "<IMG src=\"a.gif\"><IMG src=\"a.gif\" width=1><IMG src=\"a.gif\" >", "http://ex.com/d/"},
        CraftedCase{"old tag text before the current position, inside an earlier longer tag",
                    "<IMG src='q' src=\"a.gif\"><IMG src='q' >", "http://ex.com/d/"},
        CraftedCase{"earlier occurrence in a tag the pass jumped over",
                    "<IMG alt=\"<IMG src=x.gif \" src=\"y.gif\"><IMG src=x.gif >", "http://ex.com/d/"},
        CraftedCase{"background in prose before and after",
                    "background=a.gif x<BODY background=a.gif x>background=a.gif x", "http://ex.com/d/"},
        CraftedCase{"hyperlink made absolute, then the absolute one met again",
                    "<A href=\"x.htm\"><A href=\"http://ex.com/d/x.htm\"><A href=\"x.htm\" >", "http://ex.com/d/"},
        CraftedCase{"replacement holding the old tag text",
                    "<A href=x y><A href=x y z>", "/d/p.htm"},
        CraftedCase{"tags of one segment", "<IMG src=\"a.gif\" <IMG src=\"b.gif\">", "http://ex.com/"},
        CraftedCase{"missing closing bracket at the end", "<IMG src=\"a.gif\"><IMG src=\"b.gif\"", "http://ex.com/"},
        CraftedCase{"zip hyperlinks and plain ones",
                    "<A href=\"f/x.ZIP\"><A href=\"f/x.ZIP\" t><A href=\"y.htm\"><AREA href=f/x.zip >",
                    "http://ex.com/"},
        CraftedCase{"base with a bracket makes new tag texts with one",
                    "<A href=\"x.htm\"><A href=\"x.htm\" q><IMG src=a.gif >", "http://ex.com/a>b/p.htm"},
        CraftedCase{"already rewritten values", "<IMG src=\"p.files/a.gif\"><IMG src=\"a.gif\">",
                    "http://ex.com/"},
        CraftedCase{"two old tag texts begin one text, the shorter one made later",
                    "<A href=\"/pages/sub/x.htm\"c><A href=\"x.htm\"><A href=\"x.htm\"><A href=\"x.htm\"c",
                    "/pages/sub/p.htm"},
        CraftedCase{"param values", "<PARAM NAME=\"Src\" VALUE=\"m.swf\"><PARAM NAME=\"Src\" VALUE=m.swf >",
                    "http://ex.com/"}));

// ---------------------------------------------------------------------------
// Scaling: run by hand (--gtest_also_run_disabled_tests); the official
// benchmark lives elsewhere.

std::string scalingPage(size_t references) {
  std::string out = "<HTML><BODY>";
  const std::string filler(900, 'x');
  for (size_t i = 0; i < references; ++i) {
    out += "<P>" + filler.substr(0, 880 + i % 17) + "</P>";
    switch (i % 5) {
      case 0: out += "<IMG alt=\"pic\" src=\"images/pic" + std::to_string(i) + ".gif\" width=10>"; break;
      case 1: out += "<A href=\"page" + std::to_string(i) + ".htm\">link</A>"; break;
      case 2: out += "<IMG src=\"images/shared" + std::to_string(i % 50) + ".gif\">"; break;
      case 3: out += "<TD background=bg" + std::to_string(i) + ".gif class=c>"; break;
      default: out += "<LINK rel=stylesheet href='css/s" + std::to_string(i) + ".css'>"; break;
    }
  }
  return out + "</BODY></HTML>";
}

double secondsFor(const std::string& html, RewriteStrategy strategy) {
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    testing::TempFolder folder;
    CPageCapture job;
    job.setUp(html, kCaptureHtml, folder / "p.htm", "http://ex.com/dir/page.htm", {"zip"});
    job.setRewriteStrategy(strategy);
    const auto start = std::chrono::steady_clock::now();
    job.scanAndRewrite();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

TEST(RewriteScaling, DISABLED_FiveTimesTheReferencesTakeAtMostTwelveTimesTheTime) {
  const std::string small = scalingPage(1000);
  const std::string large = scalingPage(5000);
  const double smallSeconds = secondsFor(small, RewriteStrategy::kIndexed);
  const double largeSeconds = secondsFor(large, RewriteStrategy::kIndexed);
  const double literalSmall = secondsFor(small, RewriteStrategy::kLiteral);
  std::printf("indexed: %.1f KB %.4f s, %.1f KB %.4f s, ratio %.2f; literal 1,000 refs: %.4f s\n",
              small.size() / 1024.0, smallSeconds, large.size() / 1024.0, largeSeconds,
              largeSeconds / smallSeconds, literalSmall);
  EXPECT_LE(largeSeconds / smallSeconds, 12.0);
}

}  // namespace
}  // namespace velkin::capture
