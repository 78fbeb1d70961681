// Movie addresses: resolution against the page, the own-folder test and the
// file name a movie is saved under, hostile addresses included.
#include "flash/model/movie_url.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace velkin::flash {
namespace {

struct ResolveCase {
  const char* name;
  const char* movie;
  const char* page;
  const char* expected;
};

TEST(MovieUrlTest, MoviesResolveAgainstThePageAsThePlayerRuleSays) {
  const std::vector<ResolveCase> cases = {
      {"relative, query dropped", "intro.swf", "http://host/dir/page.htm?x=1", "http://host/dir/intro.swf"},
      {"rooted keeps scheme and host", "/m/a.swf", "http://host/dir/page.htm?x=1", "http://host/m/a.swf"},
      {"absolute kept", "https://cdn.example/x/y.swf", "http://host/dir/page.htm", "https://cdn.example/x/y.swf"},
      {"absolute with odd scheme kept", "ftp://h/a.swf", "http://host/", "ftp://h/a.swf"},
      {"page without path", "a.swf", "http://h", "http://h/a.swf"},
      {"page with one step", "a.swf", "http://h/x", "http://h/a.swf"},
      {"rooted on page without path", "/a.swf", "http://h", "http://h/a.swf"},
      {"scheme-relative is a path", "//h/a.swf", "http://host/dir/page.htm", "http://host//h/a.swf"},
      {"relative steps not folded", "../up/a.swf", "http://host/dir/page.htm", "http://host/dir/../up/a.swf"},
      {"query in movie kept", "p.swf?level=2", "http://host/d/page.htm", "http://host/d/p.swf?level=2"},
      {"last question mark cuts", "a.swf", "http://host/d/p?x=1?y=2", "http://host/d/a.swf"},
      {"slash inside the query is cut with it", "a.swf", "http://host/d/p.php?u=/x/y", "http://host/d/a.swf"},
      {"question mark first is kept", "a.swf", "?x", "?x/a.swf"},
      {"empty movie", "", "http://host/d/p.htm", "http://host/d/"},
      {"empty page", "a.swf", "", "/a.swf"},
      {"rooted on empty page", "/a.swf", "", "/a.swf"},
      {"local file page", "clip.swf", "file:///home/u/Flash/index.htm", "file:///home/u/Flash/clip.swf"},
      {"trailing slash page", "a.swf", "http://host/dir/", "http://host/dir/a.swf"},
  };
  for (const ResolveCase& c : cases) {
    EXPECT_EQ(resolveMovieUrl(c.movie, c.page), c.expected) << c.name;
  }
}

TEST(MovieUrlTest, OwnFolderTestFindsTheFolderAnywhereInTheAddressInAnyCase) {
  struct Case {
    const char* url;
    const char* folder;
    bool inside;
  };
  const std::vector<Case> cases = {
      {"file:///home/u/.local/share/velkin/Flash/a.swf", "/home/u/.local/share/velkin/Flash", true},
      {"file:///HOME/U/FLASH/Games/a.swf", "/home/u/flash", true},
      {"/home/u/Flash/a.swf", "/home/u/Flash", true},
      {"http://host/a.swf", "/home/u/Flash", false},
      {"file:///home/u/Flash2/a.swf", "/home/u/Flash/", false},
      {"file:///home/u/a.swf", "", false},
      // The browser writes a blank and other letters of the folder as %XX.
      {"file:///home/u/My%20Movies/a.swf", "/home/u/My Movies", true},
      {"file:///home/u/Fl%c3%a4sh/a.swf", "/home/u/Fl\xc3\xa4sh", true},
      {"file:///home/u/My%2", "/home/u/My", true},
  };
  for (const Case& c : cases) EXPECT_EQ(isInFlashFolder(c.url, c.folder), c.inside) << c.url << " in " << c.folder;
}

TEST(MovieUrlTest, FileNamesFollowTheAddressAndAreAlwaysOneSafeName) {
  struct Case {
    std::string url;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"http://host/dir/movie.swf", "movie"},
      {"http://host/dir/Movie.SWF", "Movie"},
      {"http://host/dir/m.sWf", "m"},
      {"http:\\\\host\\dir\\back.swf", "back"},
      {"http://host/play.php?id=intro", "intro"},
      {"http://host/play.php?a=1&movie=two", "two"},
      {"http://host/page.htm", "Flash"},
      {"movie.swf", "Flash"},
      {".swf", "Flash"},
      {"http://host/dir/.swf", "Flash"},
      {"http://host/play?m=", "Flash"},
      {"http://host/play?m=..", "Flash"},
      {"http://host/play?m=.", "Flash"},
      {"http://host/play?m=../../etc/passwd", "passwd"},
      {"http://host/play?m=a/b", "b"},
      {"http://host/play?m=..\\..\\x", "x"},
      {"http://host/play?m=dir/", "Flash"},
      {"http://host/a%2F..%2Fb.swf", "a%2F..%2Fb"},
      {std::string("http://host/play?m=a\nb\x7f") + '\0' + "c", "a_b__c"},
  };
  for (const Case& c : cases) EXPECT_EQ(movieFileName(c.url), c.expected) << c.url;

  const std::string longName(400, 'n');
  const std::string fitted = movieFileName("http://host/" + longName + ".swf");
  EXPECT_EQ(fitted.size() + 4, size_t{NAME_MAX});
  // A character that does not fit whole is left out, never cut in half.
  EXPECT_EQ(movieFileName("http://host/play?m=" + std::string(250, 'x') + "\xC3\xA9"), std::string(250, 'x'));
}

}  // namespace
}  // namespace velkin::flash
