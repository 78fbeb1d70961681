// marrowind-host as the browser runs it: a child process on pipes with the
// caller in its arguments. Its answers to the frames of a conversation, and
// whole saves through the registered libmarrowind.so: one through the
// capture dialog (answered by the host's test driver), then two QuickSaves
// into the category chosen there.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "capture/support/loopback_server.h"
#include "iecapture/ivelkin.h"
#include "kb/book_dir.h"
#include "platform/browser_extensions.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/host_process.h"
#include "support/test_support.h"

namespace velkin::iecapture {
namespace {

using Json = nlohmann::json;
using testing::framed;
using testing::runProgram;

const std::string kChromiumCaller =
    std::string("chrome-extension://") + platform::kMarrowindExtension.chromiumId + "/";

struct HostRun {
  int status = -1;
  std::vector<Json> replies;
};

// Runs the host with arguments and the environment additions, feeds it
// input, closes its input and collects its replies until it exits.
HostRun runHost(const std::vector<std::string>& arguments, const std::string& input,
                const std::vector<std::pair<std::string, std::string>>& environment = {}) {
  int in[2];
  int out[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(pipe(out), 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(VELKIN_HOST_PATH)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(VELKIN_HOST_PATH, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  std::thread writer([&] {
    for (size_t at = 0; at < input.size();) {
      const ssize_t put = write(in[1], input.data() + at, input.size() - at);
      if (put <= 0) break;
      at += static_cast<size_t>(put);
    }
    close(in[1]);
  });
  std::string output;
  char buffer[65536];
  for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(got));
  writer.join();
  close(out[0]);
  HostRun run;
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (size_t at = 0; at + 4 <= output.size();) {
    std::uint32_t length = 0;
    output.copy(reinterpret_cast<char*>(&length), 4, at);
    run.replies.push_back(Json::parse(output.substr(at + 4, length)));
    at += 4 + length;
  }
  return run;
}

class MarrowindHost : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    platform::Registry registry(configDir());
    registry.writeString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kb::kBookPathValue, book_);
    testing::makeDirs(book_ + "/Sub");
  }
  const std::string book_ = path("book");
};

TEST_F(MarrowindHost, AnswersEveryFrameAndEndsWithItsInput) {
  const std::string ping = R"({"request":"ping","id":1})";
  const std::string save = R"({"request":"save-page","id":2,"snapshot":{"url":"http://127.0.0.1:9/"}})";
  const std::uint32_t tooLarge = 64u * 1024u * 1024u + 1u;
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string input;
    std::vector<Json> replies;
  };
  const Json pong = {{"ok", true}, {"version", "2.5"}, {"id", 1}};
  const Json notAllowed = {{"ok", false}, {"error", "caller not allowed"}, {"id", 1}};
  const Case cases[] = {
      {"Chromium, then the input ends inside a frame", {kChromiumCaller}, framed(ping) + framed(save) + "\x09\x00",
       {pong, {{"ok", false}, {"error", "marrowind set up incorrect!\nPlease setup marrowind again."}, {"id", 2}}}},
      {"Firefox", {"/x/com.velkinweb.marrowind.json", platform::kMarrowindExtension.geckoId}, framed(ping), {pong}},
      {"another extension", {"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"}, framed(ping), {notAllowed}},
      {"no caller", {}, framed(ping), {notAllowed}},
      {"over the limit: answered, then nothing more is read",
       {kChromiumCaller},
       std::string(reinterpret_cast<const char*>(&tooLarge), 4) + framed(ping),
       {{{"ok", false}, {"error", "the request of 67108865 bytes is larger than 67108864 bytes"}}}},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    const HostRun run = runHost(each.arguments, each.input);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.replies, each.replies);
  }
  const HostRun malformed = runHost({kChromiumCaller}, framed("") + framed("{\"request\":"));
  ASSERT_EQ(malformed.replies.size(), 2u);
  for (const Json& reply : malformed.replies) {
    EXPECT_EQ(reply["ok"], false);
    EXPECT_NE(reply["error"].get<std::string>().find("not valid JSON"), std::string::npos);
  }
}

// Through the dialog into Sub, then QuickSave twice into Sub (the category
// chosen last) without a dialog: "Story", then "Story (2)".
TEST_F(MarrowindHost, SavesThroughTheDialogAndThenQuickSavesIntoTheLastCategory) {
  ASSERT_EQ(runProgram({VELKIN_CLI_PATH, "register", VELKIN_MARROWIND_PATH}).status, 0);
  testing::DirectLoopback direct;
  testing::LoopbackServer server;
  ASSERT_TRUE(server.start());
  server.serve("/news/pic.png", "PNG picture", "image/png");
  const Json snapshot = {{"url", server.url("/news/story.html")},
                         {"title", "Story"},
                         {"all", {{{"tagName", "HTML"},
                                   {"outerHTML", "<html><head><title>Story</title></head>"
                                                 "<body><p>intro</p><img src=\"pic.png\"></body></html>"}}}}};
  const std::string savePage = framed(Json{{"request", "save-page"}, {"id", "p"}, {"snapshot", snapshot}}.dump());
  const std::string badSnapshot = framed(R"({"request":"save-page","snapshot":{"title":"no url"}})");

  const HostRun dialog = runHost({kChromiumCaller}, savePage + badSnapshot,
                                 {{"VELKIN_TEST_DIALOG_ANSWER", R"({"fileName":"Chosen","category":"Sub"})"}});
  const std::string chosen = book_ + "/Sub/Chosen.htm";
  ASSERT_EQ(dialog.replies.size(), 2u);
  EXPECT_EQ(dialog.replies[0],
            (Json{{"ok", true}, {"result", "0x00000000"}, {"saved", true}, {"pagePath", chosen}, {"id", "p"}}));
  EXPECT_EQ(dialog.replies[1]["result"], "0x80004005");
  EXPECT_EQ(dialog.replies[1]["saved"], false);
  EXPECT_NE(testing::readTextFile(chosen).find("src=\"Chosen.files/pic.png\""), std::string::npos);
  EXPECT_EQ(testing::readTextFile(book_ + "/Sub/Chosen.files/pic.png"), "PNG picture");

  ASSERT_EQ(runProgram({VELKIN_CLI_PATH, "registry", "set", "HKCU\\Software\\Kestrova\\Marrowind", "QuickSave", "1",
                        "--dword"})
                .status,
            0);
  // A dialog would be cancelled: QuickSave must not open one.
  const HostRun quick =
      runHost({kChromiumCaller}, savePage + savePage, {{"VELKIN_TEST_DIALOG_ANSWER", R"({"cancel":true})"}});
  ASSERT_EQ(quick.replies.size(), 2u);
  const std::string expected[] = {book_ + "/Sub/Story.htm", book_ + "/Sub/Story (2).htm"};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(quick.replies[i]["saved"], true);
    EXPECT_EQ(quick.replies[i]["pagePath"], expected[i]);
    EXPECT_TRUE(platform::pathExists(expected[i]));
  }
  EXPECT_EQ(testing::readTextFile(book_ + "/Sub/Story (2).files/pic.png"), "PNG picture");
}

// A QuickSave that cannot save tells why in the reply, not in a message box.
TEST_F(MarrowindHost, QuickSaveWithoutTheBookDirectoryAnswersWhy) {
  ASSERT_EQ(runProgram({VELKIN_CLI_PATH, "register", VELKIN_MARROWIND_PATH}).status, 0);
  platform::Registry registry(configDir());
  registry.writeString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kb::kBookPathValue, path("gone"));
  registry.writeDword(platform::RegistryRoot::User, kMarrowindKey, kQuickSaveValue, 1);
  const HostRun run = runHost(
      {kChromiumCaller}, framed(R"({"request":"save-page","snapshot":{"url":"http://127.0.0.1:9/","title":"T"}})"));
  ASSERT_EQ(run.replies.size(), 1u);
  EXPECT_EQ(run.replies[0]["result"], "0x00000001");
  EXPECT_EQ(run.replies[0]["saved"], false);
  EXPECT_NE(run.replies[0]["message"].get<std::string>().find(path("gone")), std::string::npos) << run.replies[0];
}

}  // namespace
}  // namespace velkin::iecapture
