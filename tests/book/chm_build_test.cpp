// A build session running real scripts: stand-in compilers on PATH write
// what they saw into a log folder, so each test checks what the compiler got,
// what the owner was told, and what is left in the category afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "book/chm_build.h"
#include "kb/listing.h"
#include "platform/command_queue.h"
#include "platform/file_util.h"
#include "platform/task_loop.h"
#include "support/test_support.h"

namespace velkin::book {
namespace {

using namespace std::chrono_literals;
using testing::readTextFile;
using testing::writeTextFile;

constexpr const char* kBuildFiles[] = {"ExportASCHM.bat", "Project.hhp", "Contents.hhc", "Index.hhk"};

// Records its arguments and the category as it saw it, prints on both
// streams, leaves a "k==estrova.htm" and writes a book.
constexpr char kGoodCompiler[] = R"(
project="$1"; folder=${project%/*}
printf '%s\n' "$@" > "$LOG/args"
ls "$folder" > "$LOG/listing"
out=$(sed -n 's/^Compiled file=//p' "$project" | tr -d '\r')
echo "Writing CHM"
echo "a warning" >&2
echo left > "$folder/k==estrova.htm"
printf 'ITSF compiled' > "$out"
)";

// Sets OUT to the output path named by the project file given as $1.
constexpr char kOutputOfProject[] = R"sh(OUT=$(sed -n 's/^Compiled file=//p' "$1" | tr -d '\r')
)sh";

class ChmBuildTest : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    const char* old = std::getenv("PATH");
    savedPath_ = old != nullptr ? old : "";
    setenv("PATH", (bin() + ":/usr/bin:/bin").c_str(), 1);
    testing::makeDirs(log());
    writeTextFile(cat() + "/A/a.htm", "<html><body>a</body></html>");
    session_ = std::make_unique<ChmBuildSession>(
        loop_.poster(), [this](int kind, const std::string& text) { outputs_.emplace_back(kind, text); },
        [this](const BuildResult& result) { result_ = result; });
  }
  void TearDown() override {
    session_.reset();
    setenv("PATH", savedPath_.c_str(), 1);
  }

  std::string cat() const { return path("book/Cat"); }
  std::string bin() const { return path("bin"); }
  std::string log() const { return path("log"); }
  std::string output() const { return path("out.chm"); }
  std::string script() const { return cat() + "/ExportASCHM.bat"; }

  void installTool(const std::string& name, const std::string& body) {
    const std::string file = bin() + "/" + name;
    writeTextFile(file, "#!/bin/sh\nLOG='" + log() + "'\n" + body);
    ASSERT_EQ(::chmod(file.c_str(), 0755), 0);
  }
  BookSettings settings(bool open = false) const {
    BookSettings s;
    s.title = "Cat";
    s.language = std::string(kDefaultLanguage);
    s.openBook = open;
    s.outputPath = output();
    return s;
  }
  // Builds and runs the owner's loop until the build has finished.
  void build(const BookSettings& s) {
    ASSERT_EQ(session_->build(cat(), s), "");
    ASSERT_TRUE(loop_.runUntil([this] { return result_.has_value(); }, 60s)) << "the build did not finish";
  }
  std::string textOf(int kind) const {
    std::string text;
    for (const auto& [k, chunk] : outputs_) {
      if (k == kind) text += chunk;
    }
    return text;
  }
  bool anyBuildFileLeft() const {
    for (const char* name : kBuildFiles) {
      if (platform::pathExists(cat() + "/" + name)) return true;
    }
    return false;
  }
  bool waitForFile(const std::string& file) const {
    for (int i = 0; i < 200 && !platform::pathExists(file); ++i) std::this_thread::sleep_for(50ms);
    return platform::pathExists(file);
  }

  platform::TaskLoop loop_;
  std::vector<std::pair<int, std::string>> outputs_;
  std::optional<BuildResult> result_;
  std::unique_ptr<ChmBuildSession> session_;

 private:
  std::string savedPath_;
};

TEST_F(ChmBuildTest, CompilerOutputIsForwardedAndTheProjectGoesWhenItEnds) {
  installTool("chmcmd", kGoodCompiler);
  build(settings());
  // Everything the compiler printed came before the end of the build.
  const size_t reported = outputs_.size();
  std::this_thread::sleep_for(200ms);
  loop_.runPending();
  EXPECT_EQ(outputs_.size(), reported);

  ASSERT_FALSE(outputs_.empty());
  const std::string command = "/bin/sh '" + script() + "'";
  EXPECT_EQ(outputs_.front(), std::make_pair(int{kTitle}, "Velkin - " + command));
  EXPECT_EQ(textOf(kOutput), "Writing CHM\n");
  EXPECT_EQ(readTextFile(output()), "ITSF compiled");
  EXPECT_EQ(textOf(kError), "a warning\n");
  EXPECT_EQ(session_->lastCommand(), command);

  EXPECT_TRUE(result_->started);
  EXPECT_TRUE(result_->bookWritten);
  EXPECT_FALSE(session_->isBuilding());
  EXPECT_EQ(readTextFile(log() + "/args"), cat() + "/Project.hhp\n");
  const std::string seen = readTextFile(log() + "/listing");
  for (const char* name : kBuildFiles) EXPECT_NE(seen.find(name), std::string::npos) << name;

  EXPECT_FALSE(anyBuildFileLeft());
  EXPECT_FALSE(platform::pathExists(cat() + "/k==estrova.htm"));
  EXPECT_EQ(readTextFile(dataHome() + "/Trash/files/k==estrova.htm"), "left\n");
  EXPECT_TRUE(platform::pathExists(cat() + "/A/a.htm"));
}

struct FailedCompile {
  const char* name;
  const char* compiler;
};

void PrintTo(const FailedCompile& compile, std::ostream* out) { *out << compile.name; }

class FailedCompileTest : public ChmBuildTest, public ::testing::WithParamInterface<FailedCompile> {};

// A failed build neither passes for a book nor touches the earlier one: it
// stays byte for byte, and nothing of the attempt is left beside it.
TEST_P(FailedCompileTest, KeepsTheEarlierBookAndRemovesTheProject) {
  const std::string earlier("ITSF\0an earlier book\r\n", 23);
  writeTextFile(output(), earlier);
  installTool("chmcmd", std::string(kOutputOfProject) + GetParam().compiler);
  build(settings());
  EXPECT_TRUE(result_->started);
  EXPECT_FALSE(result_->bookWritten);
  EXPECT_FALSE(anyBuildFileLeft());
  EXPECT_EQ(readTextFile(output()), earlier);
  for (const std::string& name : testing::sortedNamesIn(root())) EXPECT_NE(name.front(), '.') << name;
}

INSTANTIATE_TEST_SUITE_P(
    Compilers, FailedCompileTest,
    ::testing::Values(FailedCompile{"ExitsWithAnError", "echo 'cannot compile' >&2; exit 1\n"},
                      FailedCompile{"EndsQuietlyWithoutWriting", "exit 0\n"},
                      FailedCompile{"WritesSomethingElse", "printf 'garbage' > \"$OUT\"\n"},
                      FailedCompile{"TruncatesTheBook", ": > \"$OUT\"\n"},
                      FailedCompile{"WritesHalfABook", "printf 'IT' > \"$OUT\"; exit 1\n"},
                      // The book would lack its index: the project was not
                      // the one written for this build.
                      FailedCompile{"LosesTheIndexOnTheWay", "rm \"${1%/*}/Index.hhk\"; printf 'ITSF' > \"$OUT\"\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ChmBuildTest, OpeningHandsTheFinishedBookToTheViewerAndAFailedOneToNobody) {
  installTool("chmcmd", kGoodCompiler);
  installTool("xdg-open", "cat \"$1\" > \"$LOG/viewer.tmp\"; printf '%s' \"$1\" > \"$LOG/viewer.tmp.name\"; "
                          "mv \"$LOG/viewer.tmp.name\" \"$LOG/viewer.name\"; mv \"$LOG/viewer.tmp\" \"$LOG/viewer\"\n");
  build(settings(true));
  EXPECT_TRUE(result_->bookWritten);
  ASSERT_TRUE(waitForFile(log() + "/viewer"));
  EXPECT_EQ(readTextFile(log() + "/viewer.name"), output());
  EXPECT_EQ(readTextFile(log() + "/viewer"), "ITSF compiled") << "the viewer got the book as built";
  EXPECT_FALSE(anyBuildFileLeft());

  ASSERT_EQ(::unlink((log() + "/viewer").c_str()), 0);
  ASSERT_EQ(::unlink(output().c_str()), 0);
  result_.reset();
  installTool("chmcmd", "exit 1\n");
  build(settings(true));
  EXPECT_FALSE(result_->bookWritten);
  EXPECT_FALSE(platform::pathExists(output()));
  EXPECT_FALSE(platform::pathExists(log() + "/viewer")) << "a failed build opens nothing";
}

TEST_F(ChmBuildTest, MissingCompilerIsRefusedBeforeAnythingIsWritten) {
  setenv("PATH", bin().c_str(), 1);
  EXPECT_EQ(session_->build(cat(), settings()), kCompilerMissingMessage);
  EXPECT_FALSE(anyBuildFileLeft());
  EXPECT_FALSE(session_->isBuilding());
  loop_.runPending();
  EXPECT_TRUE(outputs_.empty());
  EXPECT_FALSE(result_.has_value());
}

TEST_F(ChmBuildTest, InputReachesTheCompilerWhileItsProjectIsHeldAndASecondBuildWaits) {
  installTool("chmcmd", "read line; echo \"got $line\"\n" + std::string(kGoodCompiler));
  ASSERT_EQ(session_->build(cat(), settings()), "");
  EXPECT_NE(session_->build(cat(), settings()), "");
  // The owner's own tree lists the category meanwhile, as its watcher does.
  kb::listFolder(cat(), {}, path("book"));
  for (const char* name : kBuildFiles) EXPECT_TRUE(platform::pathExists(cat() + "/" + name)) << name;
  session_->postCommand(platform::kStdioInput, "go\n");
  ASSERT_TRUE(loop_.runUntil([this] { return result_.has_value(); }, 60s));
  EXPECT_EQ(textOf(kOutput).rfind("got go\n", 0), 0u) << textOf(kOutput);
  EXPECT_TRUE(result_->bookWritten);
}

TEST_F(ChmBuildTest, BareScriptNameRunsFromTheBookFolderAndCommandsKeepTheirOrder) {
  installTool("chmcmd", kGoodCompiler);
  build(settings());
  outputs_.clear();
  writeTextFile(script(), "read a; read b; echo \"$a then $b\"\n");
  session_->postCommand(platform::kStdioStart, "ExportASCHM.bat");
  session_->postCommand(platform::kStdioInput, "one\n");
  session_->postCommand(platform::kStdioInput, "two\n");
  ASSERT_TRUE(loop_.runUntil(
      [this] { return textOf(kOutput) == "one then two\n" && !platform::pathExists(script()); }, 60s))
      << textOf(kOutput) << textOf(kError);
  EXPECT_EQ(session_->lastCommand(), "/bin/sh '" + script() + "'");
}

TEST_F(ChmBuildTest, EndingTheSessionStopsTheCompilerAndRemovesTheProject) {
  installTool("chmcmd", "echo started; exec sleep 60\n");
  ASSERT_EQ(session_->build(cat(), settings()), "");
  ASSERT_TRUE(loop_.runUntil([this] { return textOf(kOutput) == "started\n"; }, 60s));
  const auto began = std::chrono::steady_clock::now();
  session_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 30s);
  loop_.runPending();  // tasks posted for the gone session do nothing
  EXPECT_FALSE(anyBuildFileLeft());
  EXPECT_FALSE(result_.has_value());
}

}  // namespace
}  // namespace velkin::book
