// The favourites folder: where it is, how it reads into a menu tree, what
// untrusted shortcut files may not do, and adding a favourite.
#include "platform/favorites.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/test_support.h"

namespace velkin::platform {
namespace {

using testing::IsolatedTest;
using testing::makeDirs;
using testing::readTextFile;
using testing::writeTextFile;

std::string shortcut(const std::string& address) { return "[InternetShortcut]\r\nURL=" + address + "\r\n"; }

std::vector<std::string> titlesOf(const FavoriteFolder& folder) {
  std::vector<std::string> titles;
  for (const FavoriteFolder& sub : folder.folders) titles.push_back(sub.title + "/");
  for (const Favorite& favorite : folder.favorites) titles.push_back(favorite.title);
  return titles;
}

class FavoritesTest : public IsolatedTest {
 protected:
  std::string folder_ = path("favorites");
};

TEST(InternetShortcut, TheAddressIsTheUrlKeyOfItsSectionOnly) {
  struct Case {
    const char* text;
    const char* address;
  } cases[] = {
      {"[InternetShortcut]\r\nURL=http://a/\r\n", "http://a/"},
      {"\xEF\xBB\xBF[internetshortcut]\n  url = http://b/ \nURL=http://c/\n", "http://b/"},  // first key wins
      {"URL=http://outside/\n[Other]\nURL=http://other/\n", ""},
      {"[DEFAULT]\nBASEURL=http://base/\n[InternetShortcut]\nIconFile=x\nURL=http://d/\n", "http://d/"},
      {"[InternetShortcut]\nURL=http://a/\x01" "b\n", ""},  // control characters: no address
      {"[InternetShortcut]\n", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(internetShortcutAddress(c.text), c.address) << c.text;
  // Long addresses are cut at a character boundary.
  const std::string longText = "[InternetShortcut]\nURL=http://a/" + std::string(3000, 'x') + "\n";
  EXPECT_EQ(internetShortcutAddress(longText).size(), kMaxFavoriteAddressBytes);
}

TEST_F(FavoritesTest, TitlesSortWithoutCaseSubFoldersComeFirstAndEmptyOnesAreLeftOut) {
  writeTextFile(folder_ + "/b.url", shortcut("http://b/"));
  writeTextFile(folder_ + "/A.url", shortcut("http://a/"));
  writeTextFile(folder_ + "/a b.url", shortcut("http://ab/"));
  writeTextFile(folder_ + "/notes.URL", shortcut("http://upper/"));  // not exactly ".url"
  writeTextFile(folder_ + "/.hidden.url", shortcut("http://hidden/"));
  writeTextFile(folder_ + "/readme.txt", "x");
  writeTextFile(folder_ + "/News/z.url", shortcut("http://z/"));
  makeDirs(folder_ + "/Empty/Deeper");
  writeTextFile(folder_ + "/Empty/other.txt", "x");
  writeTextFile(folder_ + "/Outer/Inner/deep.url", shortcut("http://deep/"));

  const FavoriteFolder top = readFavorites(folder_);
  EXPECT_EQ(titlesOf(top), (std::vector<std::string>{"News/", "Outer/", "A", "a b", "b"}));
  // This folder's favourites are numbered first, then the sub-folders'.
  EXPECT_EQ(top.favorites[0].number, 1);
  EXPECT_EQ(top.favorites[0].address, "http://a/");
  EXPECT_EQ(top.favorites[2].number, 3);
  ASSERT_EQ(top.folders[0].favorites.size(), 1u);
  EXPECT_EQ(top.folders[0].favorites[0].number, 4);
  ASSERT_EQ(top.folders[1].folders.size(), 1u);
  EXPECT_EQ(top.folders[1].folders[0].favorites[0].address, "http://deep/");
}

TEST_F(FavoritesTest, HostileShortcutsAndLinksCannotHarmTheReading) {
  writeTextFile(folder_ + "/huge.url", shortcut("http://huge/") + std::string(kMaxShortcutBytes, 'x'));
  writeTextFile(folder_ + "/binary.url", std::string("\0\xff\xfe[InternetShortcut]\0URL=\0", 24));
  writeTextFile(folder_ + "/fine.url", shortcut("http://fine/"));
  writeTextFile(path("outside/secret.url"), shortcut("http://secret/"));
  // A link cycle inside, and a link that leads out of the folder.
  makeDirs(folder_ + "/Loop");
  writeTextFile(folder_ + "/Loop/in.url", shortcut("http://in/"));
  ASSERT_EQ(symlink("..", (folder_ + "/Loop/back").c_str()), 0);
  ASSERT_EQ(symlink(path("outside").c_str(), (folder_ + "/Out").c_str()), 0);
  ASSERT_EQ(mkfifo((folder_ + "/pipe.url").c_str(), 0600), 0);

  const FavoriteFolder top = readFavorites(folder_);
  EXPECT_EQ(titlesOf(top), (std::vector<std::string>{"Loop/", "binary", "fine", "huge"}));
  EXPECT_EQ(top.favorites[0].address, "");
  EXPECT_EQ(top.favorites[1].address, "http://fine/");
  EXPECT_EQ(top.favorites[2].address, "") << "a file over the limit is not read";
  EXPECT_EQ(titlesOf(top.folders[0]), (std::vector<std::string>{"in"})) << "the link back up is not followed";
}

TEST_F(FavoritesTest, NumbersPastTheMenusLastAreLeftOut) {
  for (int i = 0; i < kMaxFavoriteNumber + 5; ++i) {
    writeTextFile(folder_ + "/f" + std::to_string(1000 + i) + ".url", shortcut("http://x/"));
  }
  const FavoriteFolder top = readFavorites(folder_);
  ASSERT_EQ(top.favorites.size(), static_cast<std::size_t>(kMaxFavoriteNumber));
  EXPECT_EQ(top.favorites.back().number, kMaxFavoriteNumber);
}

TEST_F(FavoritesTest, TheFolderComesFromTheShellFoldersValueExpandedElseTheDataFolder) {
  Registry registry(configDir());
  EXPECT_EQ(favoritesFolder(registry), programDataFolder() + "/Favorites");
  setenv("VELKIN_TEST_PLACE", "/srv/place", 1);
  struct Case {
    const char* stored;
    std::string folder;
  } cases[] = {
      {"%USERPROFILE%\\Favorites", home() + "/Favorites"},
      {"$HOME/Links/", home() + "/Links"},
      {"${VELKIN_TEST_PLACE}/fav", "/srv/place/fav"},
      {"%VELKIN_TEST_PLACE%\\x", "/srv/place/x"},
      {"%NO_SUCH_VARIABLE%\\x", programDataFolder() + "/Favorites"},  // not absolute: the data folder
      {"relative", programDataFolder() + "/Favorites"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(registry.writeString(RegistryRoot::User, kShellFoldersKey, kFavoritesValue, c.stored));
    EXPECT_EQ(favoritesFolder(registry), c.folder) << c.stored;
  }
  unsetenv("VELKIN_TEST_PLACE");
}

TEST_F(FavoritesTest, AddingNeverOverwritesAndMakesAVisibleSingleName) {
  const ShellResult first = addFavorite(folder_, "Page: one/two", "http://one/");
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_EQ(first.path, folder_ + "/Page: one two.url");
  const ShellResult second = addFavorite(folder_, "Page: one/two", "http://two/");
  ASSERT_TRUE(second.ok) << second.error;
  EXPECT_EQ(second.path, folder_ + "/Page: one two (2).url");
  EXPECT_EQ(internetShortcutAddress(readTextFile(first.path)), "http://one/");
  EXPECT_EQ(internetShortcutAddress(readTextFile(second.path)), "http://two/");

  const ShellResult hidden = addFavorite(folder_, "..secret", "http://s/");
  ASSERT_TRUE(hidden.ok);
  EXPECT_EQ(hidden.path, folder_ + "/secret.url");
  EXPECT_EQ(addFavorite(folder_, "  ", "http://u/").path, folder_ + "/Favorite.url");
  EXPECT_FALSE(addFavorite(folder_, "bad", "http://a/\r\nURL=http://b/").ok) << "no injected keys";
  EXPECT_FALSE(addFavorite(folder_, "long", "http://a/" + std::string(kMaxFavoriteAddressBytes, 'x')).ok);
  EXPECT_EQ(readFavorites(folder_).favorites.size(), 4u);
}

}  // namespace
}  // namespace velkin::platform
