// velkin build-chm and build-html, run as a user runs them: with stand-in
// compiler and opener programs on PATH, and once with the real compiler.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <regex>
#include <thread>

#include "kb/project_tree.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin {
namespace {

using testing::ProgramRun;
using testing::readTextFile;
using testing::runProgram;
using testing::writeTextFile;

constexpr const char* kBuildFiles[] = {"ExportASCHM.bat", "Project.hhp", "Contents.hhc", "Index.hhk"};

// Keeps a copy of the project, prints on both streams and writes a book.
constexpr char kFakeCompiler[] = R"sh(
cp "$1" "$LOG/Project.hhp"
OUT=$(sed -n 's/^Compiled file=//p' "$1" | tr -d '\r')
echo "Writing CHM $OUT"
echo "a warning" >&2
printf 'ITSF compiled' > "$OUT"
)sh";

class BookCliTest : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    const char* old = std::getenv("PATH");
    savedPath_ = old != nullptr ? old : "";
    testing::makeDirs(bin());
    testing::makeDirs(log());
    writeTextFile(book() + "/Cat/A/a.htm", "<html><body>a</body></html>");
    writeTextFile(book() + "/Cat/B/b.htm", "<html><body>b</body></html>");
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  std::string book() const { return path("kb"); }
  std::string bin() const { return path("bin"); }
  std::string log() const { return path("log"); }
  std::string output() const { return path("out/Book.chm"); }
  const std::string& systemPath() const { return savedPath_; }

  // Puts stand-ins first on PATH, before the system's programs.
  void installTool(const std::string& name, const std::string& body) {
    const std::string file = bin() + "/" + name;
    writeTextFile(file, "#!/bin/sh\nLOG='" + log() + "'\n" + body);
    ASSERT_EQ(::chmod(file.c_str(), 0755), 0);
    setenv("PATH", (bin() + ":/usr/bin:/bin").c_str(), 1);
  }
  ProgramRun velkin(std::vector<std::string> args) const {
    args.insert(args.begin(), {VELKIN_CLI_PATH, "--book", book()});
    return runProgram(args);
  }
  // Waits for a file a stand-in program writes when it gets there.
  static bool waitForFile(const std::string& file) {
    for (int i = 0; i < 400 && !platform::pathExists(file); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return platform::pathExists(file);
  }
  bool anyBuildFileLeft(const std::string& folder) const {
    for (const char* name : kBuildFiles) {
      if (platform::pathExists(folder + "/" + name)) return true;
    }
    return false;
  }

 private:
  std::string savedPath_;
};

TEST_F(BookCliTest, BuildChmStreamsTheCompilerAndRemovesTheProject) {
  installTool("chmcmd", kFakeCompiler);
  testing::makeDirs(path("out"));
  const ProgramRun run = velkin({"build-chm", "Cat", "-o", output()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("Velkin - /bin/sh '" + book() + "/Cat/ExportASCHM.bat'\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Writing CHM " + path("out/.velkin-book-")), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("a warning\n"), std::string::npos) << run.out;
  EXPECT_EQ(readTextFile(output()), "ITSF compiled");
  EXPECT_FALSE(anyBuildFileLeft(book() + "/Cat"));
}

TEST_F(BookCliTest, OptionsReachTheProjectAndOpenStartsTheViewer) {
  installTool("chmcmd", kFakeCompiler);
  installTool("xdg-open", "printf '%s' \"$1\" > \"$LOG/v.tmp\"; mv \"$LOG/v.tmp\" \"$LOG/viewer\"\n");
  testing::makeDirs(path("out"));
  const ProgramRun run = velkin({"build-chm", book() + "/Cat", "-o", output(), "--title", "My Book", "--topic", "B/b.htm",
                                 "--language", "0x411", "--progress", "--open"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string project = readTextFile(log() + "/Project.hhp");
  for (const char* line : {"\r\nTitle=My Book\r\n", "\r\nDefault topic=B/b.htm\r\n", "\r\nLanguage=0x411    Japanese\r\n",
                           "\r\nDisplay compile progress=YES\r\n"}) {
    EXPECT_NE(project.find(line), std::string::npos) << line << " in " << project;
  }
  ASSERT_TRUE(waitForFile(log() + "/viewer"));
  EXPECT_EQ(readTextFile(log() + "/viewer"), output());
}

TEST_F(BookCliTest, CompilerThatWritesNoBookFailsTheCommand) {
  installTool("chmcmd", "echo 'error: cannot compile' >&2; exit 0\n");
  testing::makeDirs(path("out"));
  const ProgramRun run = velkin({"build-chm", "Cat", "-o", output()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("error: cannot compile"), std::string::npos);
  EXPECT_NE(run.err.find("the compiler did not write " + output()), std::string::npos) << run.err;
  EXPECT_FALSE(anyBuildFileLeft(book() + "/Cat"));
}

TEST_F(BookCliTest, MissingCompilerIsReportedBeforeAnythingIsWritten) {
  setenv("PATH", bin().c_str(), 1);
  testing::makeDirs(path("out"));
  const ProgramRun run = velkin({"build-chm", "Cat", "-o", output()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "velkin: cannot start the compiler chmcmd: not found on PATH\n");
  EXPECT_FALSE(anyBuildFileLeft(book() + "/Cat"));
}

// A build in another process holds its project files. Listings meanwhile,
// in another velkin or in this process' tree, leave them (the root is built,
// whose listing a watcher's refresh repeats at once), a second build there is
// refused, and the book is compiled from the files as written. A leftover
// nobody holds still goes.
TEST_F(BookCliTest, ListingsDuringABuildInAnotherProcessLeaveItsFiles) {
  // The first run waits to be let go; a second one would end at once.
  installTool("chmcmd", R"sh(
[ -e "$LOG/started" ] && exit 0
: > "$LOG/started"
while [ ! -e "$LOG/go" ]; do sleep 0.05; done
cp "${1%/*}/Contents.hhc" "${1%/*}/Index.hhk" "$LOG/"
OUT=$(sed -n 's/^Compiled file=//p' "$1" | tr -d '\r')
printf 'ITSF compiled' > "$OUT"
)sh");
  testing::makeDirs(path("out"));
  writeTextFile(book() + "/Cat/Index.hhk", "left by a build that died");
  testing::StartedProgram build({VELKIN_CLI_PATH, "--book", book(), "build-chm", "/", "-o", output()});
  ASSERT_TRUE(waitForFile(log() + "/started"));

  const ProgramRun listed = velkin({"list"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  {
    platform::Registry registry(configDir());
    kb::ProjectTree::Options options;
    options.bookDirectory = book();
    kb::ProjectTree tree(registry, options);
    tree.fill();
    tree.expandAll(tree.root());
    tree.select(nullptr);
  }
  const ProgramRun second = velkin({"build-chm", "/", "-o", path("out/Second.chm")});
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("another book is being built in " + book()), std::string::npos) << second.err;
  EXPECT_FALSE(platform::pathExists(book() + "/Cat/Index.hhk"));
  for (const char* name : kBuildFiles) EXPECT_TRUE(platform::pathExists(book() + "/" + name)) << name;

  writeTextFile(log() + "/go", "");
  const ProgramRun built = build.wait();
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  EXPECT_EQ(readTextFile(output()), "ITSF compiled");
  const std::string contents = readTextFile(log() + "/Contents.hhc");
  EXPECT_NE(contents.find("\"Cat/A/a.htm\""), std::string::npos) << contents;
  EXPECT_EQ(readTextFile(log() + "/Index.hhk"), contents);
  EXPECT_FALSE(anyBuildFileLeft(book()));
}

// Every listing takes names in one order: each name's ASCII letters
// upper-cased, then byte by byte; folders and pages together.
TEST_F(BookCliTest, TreeListAndBookContentsShareTheNameOrder) {
  installTool("chmcmd", "cp \"${1%/*}/Contents.hhc\" \"$LOG/\"\n");
  const std::string order = book() + "/Order";
  for (const char* page : {"Zeta.htm", "_under.htm", "a_b.htm", "apple.htm", "\xC3\xA9.htm", "ab.htm", "APPLE.htm",
                           "Banana.html", "zebra/y.htm", "Apple/x.htm"}) {
    writeTextFile(order + "/" + page, "<html><body>x</body></html>");
  }
  const std::vector<std::string> expected = {"ab", "Apple", "x", "APPLE", "apple", "a_b", "Banana",
                                             "zebra", "y", "Zeta", "_under", "\xC3\xA9"};

  const ProgramRun listed = velkin({"list", "Order"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::string indented = "Order\n";
  for (const std::string& text : expected) indented += (text == "x" || text == "y" ? "    " : "  ") + text + "\n";
  EXPECT_EQ(listed.out, indented);

  platform::Registry registry(configDir());
  kb::ProjectTree::Options options;
  options.bookDirectory = book();
  kb::ProjectTree tree(registry, options);
  tree.fill();
  kb::TreeItem* category = tree.findPath(order);
  ASSERT_NE(category, nullptr);
  tree.expand(category);
  std::vector<std::string> shown;
  for (const auto& item : category->children) shown.push_back(item->text);
  tree.select(nullptr);
  EXPECT_EQ(shown, (std::vector<std::string>{"ab", "Apple", "APPLE", "apple", "a_b", "Banana", "zebra", "Zeta",
                                             "_under", "\xC3\xA9"}));

  testing::makeDirs(path("out"));
  velkin({"build-chm", "Order", "-o", output()});
  const std::string contents = readTextFile(log() + "/Contents.hhc");
  std::vector<std::string> names;
  const std::regex name(R"re(<param name="Name" value="([^"]*)")re");
  for (std::sregex_iterator it(contents.begin(), contents.end(), name), end; it != end; ++it) {
    names.push_back((*it)[1]);
  }
  EXPECT_EQ(names, expected);
}

struct BadBuild {
  const char* name;
  std::vector<std::string> args;
  int status;
  const char* message;
};
void PrintTo(const BadBuild& build, std::ostream* out) { *out << build.name; }

class BadBuildTest : public BookCliTest, public ::testing::WithParamInterface<BadBuild> {};

TEST_P(BadBuildTest, IsRefusedWithAClearMessage) {
  installTool("chmcmd", kFakeCompiler);
  const ProgramRun run = velkin(GetParam().args);
  EXPECT_EQ(run.status, GetParam().status);
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_FALSE(anyBuildFileLeft(book() + "/Cat"));
  EXPECT_FALSE(platform::pathExists(book() + "/Cat/MyKnowledge.htm"));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BadBuildTest,
    ::testing::Values(
        BadBuild{"MissingCategory", {"build-chm", "Nowhere", "-o", "/tmp/x.chm"}, 1, "no such category: Nowhere"},
        BadBuild{"PageIsNotAFolder", {"build-chm", "Cat/A/a.htm", "-o", "/tmp/x.chm"}, 1, "Please select a folder !"},
        BadBuild{"NoOutput", {"build-chm", "Cat"}, 2, "-o OUT.chm"},
        BadBuild{"OutputFolderMissing", {"build-chm", "Cat", "-o", "/nonexistent-folder/x.chm"}, 1,
                 "no such folder for the book: /nonexistent-folder"},
        BadBuild{"UnknownLanguage", {"build-chm", "Cat", "-o", "/tmp/x.chm", "--language", "Klingon"}, 2,
                 "unknown language Klingon"},
        BadBuild{"MissingTopic", {"build-chm", "Cat", "-o", "/tmp/x.chm", "--topic", "nope.htm"}, 1,
                 "no such page: nope.htm"},
        BadBuild{"HtmlMissingCategory", {"build-html", "Nowhere", "--no-open"}, 1, "no such category: Nowhere"},
        BadBuild{"HtmlNoCategory", {"build-html"}, 2, "give the CATEGORY"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(BookCliTest, BuildHtmlOnTheRootIndexesTheWholeBook) {
  const ProgramRun run = velkin({"build-html", "/", "--no-open"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, book() + "/MyKnowledge.htm\n");
  const std::string index = readTextFile(book() + "/MyKnowledge.htm");
  EXPECT_NE(index.find("<DT><H3>kb</H3><DL><p><DT><H3>Cat</H3>"), std::string::npos) << index;
  EXPECT_NE(index.find("<DT><A HREF=\"Cat/A/a.htm\">a</A>"), std::string::npos) << index;
}

TEST_F(BookCliTest, BuildHtmlHandsTheIndexToTheOpener) {
  installTool("xdg-open", "printf '%s' \"$1\" > \"$LOG/o.tmp\"; mv \"$LOG/o.tmp\" \"$LOG/opened\"\n");
  const ProgramRun run = velkin({"build-html", "Cat/A/a.htm"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(waitForFile(log() + "/opened"));
  EXPECT_EQ(readTextFile(log() + "/opened"), book() + "/Cat/A/MyKnowledge.htm");
}

// The real compiler, from a category with sub-folders, pictures in
// companion folders and an .html page; the book is then listed with the
// compiler's companion tool.
class RealCompilerTest : public BookCliTest {
 protected:
  static bool onPath(const std::string& program) {
    return runProgram({"/bin/sh", "-c", "command -v " + program}).status == 0;
  }
};

TEST_F(RealCompilerTest, BuildsABookHoldingEveryPageAndPicture) {
  if (!onPath("chmcmd") || !onPath("chmls")) GTEST_SKIP() << "chmcmd or chmls is not installed";
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  const std::string cat = book() + "/Cat";
  writeTextFile(cat + "/A/a.htm", "<html><body><h1>A</h1><img src=\"a.files/pic.png\"></body></html>");
  writeTextFile(cat + "/A/a.files/pic.png", png);
  writeTextFile(cat + "/B/Deeper/notes.html", "<html><body>notes</body></html>");
  writeTextFile(cat + "/top page.htm", "<html><body><img src=\"top%20page.files/a%20b.png\"></body></html>");
  writeTextFile(cat + "/top page.files/a b.png", png);
  testing::makeDirs(path("out"));

  const ProgramRun run = velkin({"build-chm", "Cat", "-o", output(), "--title", "End to end"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_FALSE(anyBuildFileLeft(cat));

  const ProgramRun listed = runProgram({"/bin/sh", "-c", "chmls -n list '" + output() + "'"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  for (const char* entry : {"/A/a.htm", "/A/a.files/pic.png", "/B/b.htm", "/B/Deeper/notes.html", "/top page.htm",
                            "/top page.files/a b.png", "/Contents.hhc", "/Index.hhk"}) {
    EXPECT_NE(listed.out.find(std::string(entry) + "\n"), std::string::npos) << entry << " in\n" << listed.out;
  }

  const std::string extracted = path("a.htm");
  runProgram({"/bin/sh", "-c", "chmls extract '" + output() + "' /A/a.htm '" + extracted + "'"});
  EXPECT_EQ(readTextFile(extracted), readTextFile(cat + "/A/a.htm"));
}

}  // namespace
}  // namespace velkin

namespace velkin {
namespace {

// The compiler reads a backslash as a folder separator: a page or category
// named with one is left out with a warning line, and the others build.
TEST_F(RealCompilerTest, NamesWithABackslashAreLeftOutAndTheOtherPagesBuild) {
  if (!onPath("chmcmd") || !onPath("chmls")) GTEST_SKIP() << "chmcmd or chmls is not installed";
  const std::string cat = book() + "/Cat";
  writeTextFile(cat + "/C:\\Temp.htm", "<html><body>temp</body></html>");
  writeTextFile(cat + "/C:\\Temp.files/pic.png", "png");
  writeTextFile(cat + "/Dir\\Name/inside.htm", "<html><body>inside</body></html>");
  writeTextFile(cat + "/A/a.files/odd\\name.png", "png");
  testing::makeDirs(path("out"));

  const ProgramRun run = velkin({"build-chm", "Cat", "-o", output()});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const char* reason = "left out of the book (the compiler takes a backslash for a folder separator): ";
  for (const char* name : {"C:\\Temp.htm", "Dir\\Name", "A/a.files/odd\\name.png"}) {
    EXPECT_NE(run.out.find(std::string("Warning: ") + reason + name + "\n"), std::string::npos) << name << " in\n" << run.out;
  }
  const ProgramRun listed = runProgram({"/bin/sh", "-c", "chmls -n list '" + output() + "'"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  for (const char* entry : {"/A/a.htm", "/B/b.htm", "/Contents.hhc", "/Index.hhk"}) {
    EXPECT_NE(listed.out.find(std::string(entry) + "\n"), std::string::npos) << entry << " in\n" << listed.out;
  }
  EXPECT_EQ(listed.out.find("Temp"), std::string::npos) << listed.out;
}

}  // namespace
}  // namespace velkin
