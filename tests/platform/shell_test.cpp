#include "platform/shell.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace velkin::platform {
namespace {

namespace fs = std::filesystem;
using velkin::testing::IsolatedTest;
using velkin::testing::makeDirs;
using velkin::testing::readTextFile;
using velkin::testing::writeTextFile;

bool exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Decodes a .trashinfo Path value independently of the code under test.
std::string percentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

class ShellTest : public IsolatedTest {
 protected:
  std::string trash() const { return dataHome() + "/Trash"; }

  // The decoded Path of a trash entry's .trashinfo, checking its form.
  std::string trashedPathOf(const std::string& entry) const {
    const std::string info =
        readTextFile(trash() + "/info/" + fs::path(entry).filename().string() + ".trashinfo");
    std::smatch match;
    static const std::regex form(
        "\\[Trash Info\\]\nPath=([A-Za-z0-9/%._~-]+)\n"
        "DeletionDate=\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\n");
    EXPECT_TRUE(std::regex_match(info, match, form)) << info;
    return match.size() > 1 ? percentDecode(match[1].str()) : std::string();
  }
};

// ---------------------------------------------------------------------------
// Pages carry their companion folders

struct CompanionCase {
  const char* page;
  const char* suffix;  // the companion folder's suffix to the page stem
  bool copy;
};

class CompanionTest : public ShellTest, public ::testing::WithParamInterface<CompanionCase> {};

TEST_P(CompanionTest, PageTakesItsCompanionFolderAlong) {
  const auto& param = GetParam();
  const std::string stem = fs::path(param.page).stem().string();
  writeTextFile(path("src/") + param.page, "<p>page</p>");
  writeTextFile(path("src/") + stem + param.suffix + "/img/pic.png", "PNG\x01\x02");
  makeDirs(path("dst"));

  const ShellResult result = param.copy ? shellCopy(path("src/") + param.page, path("dst"))
                                        : shellMove(path("src/") + param.page, path("dst"));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.path, path("dst/") + param.page);
  EXPECT_EQ(readTextFile(path("dst/") + param.page), "<p>page</p>");
  EXPECT_EQ(readTextFile(path("dst/") + stem + param.suffix + "/img/pic.png"), "PNG\x01\x02");
  EXPECT_EQ(exists(path("src/") + param.page), param.copy);
  EXPECT_EQ(exists(path("src/") + stem + param.suffix), param.copy);
}

INSTANTIATE_TEST_SUITE_P(Forms, CompanionTest,
                         ::testing::Values(CompanionCase{"a.htm", ".files", false},
                                           CompanionCase{"a.htm", "_files", false},
                                           CompanionCase{"Page.HTML", ".files", true},
                                           CompanionCase{"Page.HTML", "_files", true},
                                           CompanionCase{"b.Html", "_files", false}));

TEST_F(ShellTest, RenamedPageRenamesItsCompanions) {
  writeTextFile(path("a.htm"), "page");
  writeTextFile(path("a.files/x"), "x");
  writeTextFile(path("a_files/y"), "y");
  const ShellResult result = shellMoveTo(path("a.htm"), path("sub/b.html"));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(namesIn(path("sub")), (std::vector<std::string>{"b.files", "b.html", "b_files"}));
  EXPECT_EQ(readTextFile(path("sub/b_files/y")), "y");
  EXPECT_TRUE(companionFoldersOf(path("a.htm")).empty());
  EXPECT_EQ(companionFoldersOf(path("sub/b.html")).size(), 2U);
}

TEST_F(ShellTest, CompanionsBelongToPagesOnly) {
  writeTextFile(path("notes.txt"), "t");
  makeDirs(path("notes.files"));
  EXPECT_TRUE(companionFoldersOf(path("notes.txt")).empty());
  ASSERT_TRUE(shellMove(path("notes.txt"), path("dst")).ok);
  EXPECT_TRUE(exists(path("notes.files")));
}

// ---------------------------------------------------------------------------
// Nothing is ever replaced

TEST_F(ShellTest, TakenPageNameGetsNumberedTogetherWithCompanion) {
  for (const bool copy : {false, true}) {
    SCOPED_TRACE(copy ? "copy" : "move");
    const std::string src = path(copy ? "c-src" : "m-src");
    const std::string dst = path(copy ? "c-dst" : "m-dst");
    writeTextFile(src + "/a.htm", "new page");
    writeTextFile(src + "/a.files/pic", "new pic");
    writeTextFile(dst + "/a.htm", "old page");
    writeTextFile(dst + "/a.files/pic", "old pic");

    const ShellResult result = copy ? shellCopy(src + "/a.htm", dst) : shellMove(src + "/a.htm", dst);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.path, dst + "/a (2).htm");
    EXPECT_EQ(readTextFile(dst + "/a (2).htm"), "new page");
    EXPECT_EQ(readTextFile(dst + "/a (2).files/pic"), "new pic");
    EXPECT_EQ(readTextFile(dst + "/a.htm"), "old page");
    EXPECT_EQ(readTextFile(dst + "/a.files/pic"), "old pic");
    EXPECT_EQ(namesIn(dst).size(), 4U);
  }
}

TEST_F(ShellTest, NextFreeNameTable) {
  writeTextFile(path("x.zip"), "");
  makeDirs(path("Cat"));
  makeDirs(path("Cat (2)"));
  writeTextFile(path("a (2).htm"), "");
  writeTextFile(path("p.htm"), "");
  makeDirs(path("q_files"));  // a stray folder a new "q.htm" would adopt
  makeDirs(path("r (2).files"));
  writeTextFile(path("r.htm"), "");
  writeTextFile(path(".profile"), "");

  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"free.txt", "free.txt"}, {"x.zip", "x (2).zip"},   {"Cat", "Cat (3)"},
      {"a (2).htm", "a (3).htm"}, {"p.htm", "p (2).htm"}, {"q.htm", "q (2).htm"},
      {"r.htm", "r (3).htm"},   {".profile", ".profile (2)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nextFreeName(root(), c.name), c.expected) << c.name;
  }
  // The kind of entry decides where the number goes, not the name's look.
  EXPECT_EQ(nextFreeName(root(), "x.zip", true), "x.zip (2)");
}

TEST_F(ShellTest, MoveOntoItselfIsANoOp) {
  writeTextFile(path("a.htm"), "page");
  writeTextFile(path("a.files/x"), "x");
  const ShellResult result = shellMove(path("a.htm"), root());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.path, path("a.htm"));
  EXPECT_EQ(readTextFile(path("a.htm")), "page");
  EXPECT_EQ(readTextFile(path("a.files/x")), "x");
  EXPECT_FALSE(exists(path("a (2).htm")));
}

TEST_F(ShellTest, FolderIntoItselfFailsAndChangesNothing) {
  writeTextFile(path("Cat/Sub/deep/f.txt"), "f");
  writeTextFile(path("p.htm"), "p");
  makeDirs(path("p.files/inner"));
  const struct {
    const char* what;
    ShellResult result;
  } attempts[] = {
      {"move into sub-folder", shellMove(path("Cat"), path("Cat/Sub"))},
      {"move into itself", shellMove(path("Cat"), path("Cat"))},
      {"move to own descendant path", shellMoveTo(path("Cat"), path("Cat/Sub/deep/Cat2"))},
      {"copy into sub-folder", shellCopy(path("Cat"), path("Cat/Sub/deep"))},
      {"page into its companion", shellMove(path("p.htm"), path("p.files/inner"))},
  };
  for (const auto& attempt : attempts) {
    EXPECT_FALSE(attempt.result.ok) << attempt.what;
    EXPECT_NE(attempt.result.error.find(root()), std::string::npos) << attempt.result.error;
  }
  EXPECT_EQ(namesIn(path("Cat/Sub")), std::vector<std::string>{"deep"});
  EXPECT_EQ(namesIn(path("Cat/Sub/deep")), std::vector<std::string>{"f.txt"});
  EXPECT_EQ(namesIn(path("p.files")), std::vector<std::string>{"inner"});
  EXPECT_TRUE(namesIn(path("p.files/inner")).empty());
  EXPECT_EQ(readTextFile(path("p.htm")), "p");
}

TEST_F(ShellTest, MissingSourceFailsWithItsPath) {
  for (const ShellResult& result :
       {shellMove(path("nope.htm"), root()), shellCopy(path("nope"), root()),
        shellTrash(path("nope")), restoreFromTrash(trash() + "/files/nope")}) {
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("nope"), std::string::npos) << result.error;
  }
}

// ---------------------------------------------------------------------------
// Folder trees

TEST_F(ShellTest, CopyKeepsNestedTreeLinksAndModes) {
  writeTextFile(path("Cat/top.txt"), "top");
  writeTextFile(path("Cat/a/b/c/deep.bin"), std::string("\0\xff\n", 3));
  makeDirs(path("Cat/empty"));
  ASSERT_EQ(chmod(path("Cat/top.txt").c_str(), 0751), 0);
  ASSERT_EQ(symlink("a/b/c/deep.bin", path("Cat/link").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent/outside", path("Cat/dangling").c_str()), 0);

  const ShellResult result = shellCopy(path("Cat"), root());  // into its own parent
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.path, path("Cat (2)"));
  EXPECT_EQ(readTextFile(path("Cat (2)/a/b/c/deep.bin")), std::string("\0\xff\n", 3));
  EXPECT_TRUE(fs::is_directory(path("Cat (2)/empty")));
  EXPECT_EQ(fs::read_symlink(path("Cat (2)/link")), "a/b/c/deep.bin");
  EXPECT_EQ(fs::read_symlink(path("Cat (2)/dangling")), "/nonexistent/outside");
  struct stat info {};
  ASSERT_EQ(stat(path("Cat (2)/top.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0751U);
  EXPECT_EQ(readTextFile(path("Cat/top.txt")), "top");  // the original stays
}

TEST_F(ShellTest, MoveAcrossFileSystemsCopiesThenRemoves) {
  char pattern[] = "/dev/shm/velkin-shell-XXXXXX";
  struct stat here {}, there {};
  if (stat("/dev/shm", &there) != 0 || stat(root().c_str(), &here) != 0 ||
      here.st_dev == there.st_dev || mkdtemp(pattern) == nullptr) {
    GTEST_SKIP() << "no second file system to move to";
  }
  const std::string other = pattern;
  writeTextFile(path("p.htm"), "page");
  writeTextFile(path("p_files/sub/pic"), "pic");
  ASSERT_EQ(chmod(path("p.htm").c_str(), 0604), 0);
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path("p.htm").c_str(), times, 0), 0);

  const ShellResult result = shellMove(path("p.htm"), other);
  struct stat info {};
  const bool statted = stat((other + "/p.htm").c_str(), &info) == 0;
  const std::string page = readTextFile(other + "/p.htm");
  const std::string pic = readTextFile(other + "/p_files/sub/pic");
  fs::remove_all(other);

  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(page, "page");
  EXPECT_EQ(pic, "pic");
  ASSERT_TRUE(statted);
  EXPECT_EQ(info.st_mode & 07777, 0604U);
  EXPECT_EQ(info.st_mtime, 1000000000);
  EXPECT_FALSE(exists(path("p.htm")));
  EXPECT_FALSE(exists(path("p_files")));
}

// ---------------------------------------------------------------------------
// Trash

TEST_F(ShellTest, TrashRecordsPathAndRestoresEverythingByteIdentical) {
  const std::string name = "my 100% \xC3\x9C" "bersicht #1";
  const std::string page = path("kb/" + name + ".htm");
  const std::string binary("\x89PNG\r\n\x1a\n\0\x01", 10);
  writeTextFile(page, "<html>page</html>");
  writeTextFile(path("kb/" + name + "_files/pic.png"), binary);
  writeTextFile(path("kb/" + name + ".files/style.css"), "p{}");
  EXPECT_EQ(trashFolderFor(page), trash());

  const ShellResult result = shellTrash(page);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(fs::path(result.path).parent_path(), trash() + "/files");
  EXPECT_EQ(trashedPathOf(result.path), page);
  EXPECT_TRUE(namesIn(path("kb")).empty());

  // Each companion is an entry of its own whose Path is the companion's.
  const auto entries = namesIn(trash() + "/files");
  ASSERT_EQ(entries.size(), 3U);
  std::vector<std::string> originals;
  for (const auto& entry : entries) originals.push_back(trashedPathOf(trash() + "/files/" + entry));
  std::sort(originals.begin(), originals.end());
  EXPECT_EQ(originals, (std::vector<std::string>{path("kb/" + name + ".files"), page,
                                                 path("kb/" + name + "_files")}));

  for (const auto& entry : entries) {
    const ShellResult restored = restoreFromTrash(trash() + "/files/" + entry);
    ASSERT_TRUE(restored.ok) << restored.error;
  }
  EXPECT_EQ(readTextFile(page), "<html>page</html>");
  EXPECT_EQ(readTextFile(path("kb/" + name + "_files/pic.png")), binary);
  EXPECT_EQ(readTextFile(path("kb/" + name + ".files/style.css")), "p{}");
  EXPECT_TRUE(namesIn(trash() + "/files").empty());
  EXPECT_TRUE(namesIn(trash() + "/info").empty());
}

TEST_F(ShellTest, SameNameTrashedTwiceKeepsBothAndRestoreNeverReplaces) {
  writeTextFile(path("x.txt"), "one");
  const ShellResult first = shellTrash(path("x.txt"));
  writeTextFile(path("x.txt"), "two");
  const ShellResult second = shellTrash(path("x.txt"));
  ASSERT_TRUE(first.ok) << first.error;
  ASSERT_TRUE(second.ok) << second.error;
  ASSERT_NE(first.path, second.path);
  EXPECT_EQ(readTextFile(first.path), "one");
  EXPECT_EQ(readTextFile(second.path), "two");
  EXPECT_EQ(trashedPathOf(first.path), path("x.txt"));
  EXPECT_EQ(trashedPathOf(second.path), path("x.txt"));

  ASSERT_TRUE(restoreFromTrash(second.path).ok);
  const ShellResult blocked = restoreFromTrash(first.path);
  EXPECT_FALSE(blocked.ok);
  EXPECT_NE(blocked.error.find(path("x.txt")), std::string::npos) << blocked.error;
  EXPECT_EQ(readTextFile(path("x.txt")), "two");
  EXPECT_EQ(readTextFile(first.path), "one");  // still in the trash, restorable later
}

TEST_F(ShellTest, TrashRefusesTheFolderHoldingTheTrash) {
  writeTextFile(path("data/keep.txt"), "k");
  const ShellResult result = shellTrash(dataHome());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(readTextFile(path("data/keep.txt")), "k");
}

TEST_F(ShellTest, OtherVolumeUsesItsTopFolderTrash) {
  struct stat here {}, there {};
  if (stat("/dev/shm", &there) != 0 || stat(root().c_str(), &here) != 0 ||
      here.st_dev == there.st_dev) {
    GTEST_SKIP() << "no second file system";
  }
  const std::string uid = std::to_string(getuid());
  struct stat shared {};
  const bool stickyShared = lstat("/dev/shm/.Trash", &shared) == 0 && S_ISDIR(shared.st_mode) &&
                            (shared.st_mode & S_ISVTX) != 0;
  EXPECT_EQ(trashFolderFor("/dev/shm/some/file.txt"),
            stickyShared ? "/dev/shm/.Trash/" + uid : "/dev/shm/.Trash-" + uid);
}

}  // namespace
}  // namespace velkin::platform
