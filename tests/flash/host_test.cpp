// glintcatch-host as the browser runs it: a child process on pipes with the
// caller in its arguments, answering the Flash extension's requests over a
// Flash folder of the test's own, and telling the side panel of changes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "flash/model/flash_folder.h"
#include "platform/browser_extensions.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "capture/support/loopback_server.h"
#include "support/host_process.h"
#include "support/test_support.h"

namespace velkin::flash {
namespace {

using Json = nlohmann::json;
using testing::HostProcess;

const std::string kChromiumCaller =
    std::string("chrome-extension://") + platform::kGlintcatchExtension.chromiumId + "/";

// The names of a tree item's listed children.
std::vector<std::string> childNames(const Json& item) {
  std::vector<std::string> names;
  for (const Json& child : item.value("children", Json::array())) names.push_back(child["name"]);
  return names;
}

class GlintcatchHost : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    platform::Registry registry(configDir());
    for (const char* key : {kSaveFolderKey, kPlugInKey}) {
      registry.writeString(platform::RegistryRoot::Machine, key, kSavePathValue, flash_);
    }
    testing::writeTextFile(flash_ + "/Sub/intro.swf", "FWS");
    testing::writeTextFile(flash_ + "/a.swf", "FWS");
    testing::writeTextFile(path("outside/secret.swf"), "FWS");
    ASSERT_EQ(symlink(path("outside").c_str(), (flash_ + "/out").c_str()), 0);
    ASSERT_EQ(symlink(path("outside/secret.swf").c_str(), (flash_ + "/link.swf").c_str()), 0);
  }
  // Registers libglintcatch.so, which writes glintcatch-host's manifests too.
  void registerLibrary() const {
    const testing::ProgramRun registered = testing::runProgram(
        {VELKIN_CLI_PATH, "register", VELKIN_GLINTCATCH_PATH, "--host", VELKIN_GLINTCATCH_HOST_PATH});
    ASSERT_EQ(registered.status, 0) << registered.err;
  }
  HostProcess host(std::vector<std::string> arguments = {kChromiumCaller}) const {
    return HostProcess(VELKIN_GLINTCATCH_HOST_PATH, arguments);
  }
  const std::string flash_ = path("flash");
};

TEST_F(GlintcatchHost, AnswersEveryRequestKind) {
  registerLibrary();
  const std::string manifest =
      testing::readTextFile(path("xdg-config/chromium/NativeMessagingHosts/com.velkinweb.glintcatch.json"));
  EXPECT_NE(manifest.find(kChromiumCaller), std::string::npos) << manifest;
  // Registration turns both options on; the user then turns the menu off.
  platform::Registry(configDir()).writeDword(platform::RegistryRoot::Machine, kPlugInKey, "ShowMenu", 0);

  HostProcess run = host();
  EXPECT_EQ(run.ask(R"({"request":"ping","id":1})"), (Json{{"ok", true}, {"version", "2.5"}, {"id", 1}}));
  const Json probe = run.ask(R"({"request":"probe","pageUrl":"http://127.0.0.1/d/p.htm?x=1","movie":"m/intro.swf"})");
  EXPECT_EQ(probe, (Json{{"ok", true}, {"movieUrl", "http://127.0.0.1/d/m/intro.swf"}, {"movieName", "intro"},
                         {"ownFolder", false}, {"showToolbar", true}, {"showMenu", false}}));
  const Json own = run.ask(R"({"request":"probe","pageUrl":"x","movie":"file://)" + flash_ + R"(/a.swf"})");
  EXPECT_EQ(own["ownFolder"], true);
  EXPECT_EQ(run.ask(R"({"request":"options"})"),
            (Json{{"ok", true}, {"showToolbar", true}, {"showMenu", false}, {"flashFolder", flash_}}));
  // The options are read afresh for every probe, not once per session.
  platform::Registry(configDir()).writeDword(platform::RegistryRoot::Machine, kPlugInKey, "ShowToolbar", 0);
  EXPECT_EQ(run.ask(R"({"request":"probe","pageUrl":"x","movie":"a.swf"})")["showToolbar"], false);

  const Json list = run.ask(R"({"request":"folder-tree","operation":"list"})");
  EXPECT_EQ(list["tree"]["kind"], "root");
  EXPECT_EQ(childNames(list["tree"]), (std::vector<std::string>{"a.swf", "link.swf", "out", "Sub"}));
  const Json expanded = run.ask(R"({"request":"folder-tree","operation":"expand","path":["Sub"]})");
  EXPECT_EQ(childNames(expanded["tree"]["children"][3]), std::vector<std::string>{"intro.swf"});
  const Json movie = run.ask(R"({"request":"open-movie","path":["Sub","intro.swf"]})");
  EXPECT_EQ(movie["fileUrl"], "file://" + flash_ + "/Sub/intro.swf");

  // The player page reads a movie through the host, a chunk at a time.
  const Json bytes = run.ask(R"({"request":"read-movie","path":["Sub","intro.swf"],"offset":1})");
  EXPECT_EQ(bytes, (Json{{"ok", true}, {"data", "V1M="}, {"offset", 1}, {"size", 3}, {"done", true}}));
  EXPECT_EQ(run.finish(), 0);
}

TEST_F(GlintcatchHost, RefusesBadFieldsAndOtherCallers) {
  struct Case {
    const char* body;
    const char* error;
  };
  const Case cases[] = {
      {R"({"request":"probe","movie":"a.swf"})", "\"pageUrl\" is missing"},
      {R"({"request":"probe","pageUrl":"p","movie":""})", "\"movie\" is empty"},
      {R"({"request":"folder-tree","operation":"format"})", "unknown folder operation"},
      {R"({"request":"folder-tree","operation":"rename","path":["a.swf"]})", "\"name\" is missing"},
      {R"({"request":"folder-tree","operation":"delete","path":"a.swf"})", "\"path\" is missing or not an array"},
      {R"({"request":"open-movie","path":["..","outside","secret.swf"]})", "no such item"},
      {R"({"request":"open-movie","path":["Sub"]})", "not a movie"},
      {R"({"request":"save-page"})", "\"snapshot\" is missing"},
      {R"({"request":"save-page","snapshot":{"url":"http://127.0.0.1/"}})", "glintcatch set up incorrect"},
      {R"({"request":"save-page","snapshot":{"url":"u"},"frames":{"url":"u"}})", "\"frames\" is not an array"},
      {R"({"request":"save-page","snapshot":{"url":"u"},"frames":["u"]})", "not an object"},
      {R"({"request":"dialog","dialog":"format"})", "unknown dialog"},
      {R"({"request":"read-movie","path":["a.swf"],"offset":-1})", "\"offset\" is not a whole number"},
      {R"({"request":"read-movie","path":["a.swf"],"offset":4})", "past the end"},
      {R"({"request":"read-movie","path":["link.swf"]})", "not a movie"},
      {R"({"request":"save-selection"})", "unknown request"},
  };
  HostProcess run = host();
  for (const Case& each : cases) {
    const Json reply = run.ask(each.body);
    EXPECT_EQ(reply["ok"], false) << each.body;
    EXPECT_NE(reply.value("error", "").find(each.error), std::string::npos) << each.body << " -> " << reply.dump();
  }
  for (const std::vector<std::string>& caller :
       {std::vector<std::string>{"chrome-extension://ccoohepbkfgcoppcfnaipiglhpmngokm/"},
        std::vector<std::string>{"/x/com.velkinweb.glintcatch.json", platform::kMarrowindExtension.geckoId}}) {
    HostProcess stranger = host(caller);
    EXPECT_EQ(stranger.ask(R"({"request":"options","id":7})"),
              (Json{{"ok", false}, {"error", "caller not allowed"}, {"id", 7}}));
  }
  HostProcess firefox = host({"/x/com.velkinweb.glintcatch.json", platform::kGlintcatchExtension.geckoId});
  EXPECT_EQ(firefox.ask(R"({"request":"options"})")["ok"], true);
}

// The page's movies and its frames' go through the save dialog (answered
// by the host's test driver: every row into Sub, no overwriting) and the
// download dialog; EMBED elements are not movies.
TEST_F(GlintcatchHost, SavesThePageAndItsFramesThroughTheDialogs) {
  registerLibrary();
  testing::DirectLoopback direct;
  testing::LoopbackServer server;
  ASSERT_TRUE(server.start());
  server.serve("/m/top.swf", "FWS-top", "application/x-shockwave-flash");
  server.serve("/f/inner.swf", "FWS-inner", "application/x-shockwave-flash");
  server.serve("/embedded.swf", "FWS-embed", "application/x-shockwave-flash");
  testing::writeTextFile(flash_ + "/Sub/top.swf", "kept");
  testing::ScopedEnvironment answer{"VELKIN_TEST_FLASH_ANSWER", R"({"folder":"Sub","overwrite":false})"};

  const Json object{{"tagName", "OBJECT"}, {"attributes", {{"type", "application/x-shockwave-flash"}, {"data", "m/top.swf"}}}};
  const Json embed{{"tagName", "EMBED"}, {"attributes", {{"src", "/embedded.swf"}}}};
  const Json inFrame{{"tagName", "OBJECT"},
                     {"attributes", {{"classid", "clsid:d27cdb6e-ae6d-11cf-96b8-444553540000"}}},
                     {"params", Json::array({Json{{"name", "movie"}, {"value", "inner.swf"}}})}};
  const Json request{{"request", "save-page"},
                     {"snapshot", {{"url", server.url("/page.htm")}, {"all", {object, embed}}}},
                     {"frames", Json::array({Json{{"url", server.url("/f/frame.htm")}, {"all", {inFrame}}}})}};
  HostProcess run = host();
  const Json reply = run.ask(request.dump());
  EXPECT_EQ(reply["ok"], true) << reply.dump();
  EXPECT_EQ(reply["saved"], true) << reply.dump();
  EXPECT_EQ(testing::readTextFile(flash_ + "/Sub/top.swf"), "kept");
  EXPECT_EQ(testing::readTextFile(flash_ + "/Sub/inner.swf"), "FWS-inner");
  EXPECT_FALSE(platform::pathExists(flash_ + "/Sub/embedded.swf"));
  EXPECT_EQ(server.requestCount("/embedded.swf"), 0);
  EXPECT_EQ(run.finish(), 0);
}

// The Flash bar's and the side panel's Options and About are the host's
// dialogs: the reply comes once they are closed and says how.
TEST_F(GlintcatchHost, ShowsTheFlashDialogsAndRepliesWhenTheyClose) {
  for (const char* way : {"ok", "cancel"}) {
    testing::ScopedEnvironment answer{"VELKIN_TEST_FLASH_ANSWER", (std::string(R"({"dialogs":")") + way + "\"}").c_str()};
    HostProcess run = host();
    const bool ok = std::string(way) == "ok";
    EXPECT_EQ(run.ask(R"({"request":"dialog","dialog":"options","id":1})"),
              (Json{{"ok", true}, {"accepted", ok}, {"id", 1}})) << way;
    EXPECT_EQ(run.ask(R"({"request":"dialog","dialog":"about"})"), (Json{{"ok", true}, {"accepted", true}})) << way;
    EXPECT_EQ(run.finish(), 0);
  }
}

TEST_F(GlintcatchHost, FolderOperationsStayInsideTheFlashFolder) {
  HostProcess run = host();
  run.ask(R"({"request":"folder-tree","operation":"list"})");
  const Json hostile = run.ask(R"({"request":"folder-tree","operation":"rename","path":["a.swf"],"name":"../x"})");
  EXPECT_EQ(hostile["done"], false);
  EXPECT_FALSE(hostile.value("message", "").empty());
  // Through the link to a folder outside: nothing made, moved or removed there.
  const Json made = run.ask(R"({"request":"folder-tree","operation":"new-folder","path":["out"]})");
  EXPECT_EQ(made["done"], false);
  const Json removed = run.ask(R"({"request":"folder-tree","operation":"delete","path":["out","secret.swf"]})");
  EXPECT_EQ(removed["done"], false);
  const Json renamed = run.ask(R"({"request":"folder-tree","operation":"rename","path":["out","secret.swf"],"name":"y"})");
  EXPECT_EQ(renamed["done"], false);
  EXPECT_EQ(testing::sortedNamesIn(path("outside")), std::vector<std::string>{"secret.swf"});
  for (const char* beside : {"x", "x.swf", "outside/New Folder", "outside/y.swf"}) {
    EXPECT_FALSE(platform::pathExists(path(beside))) << beside;
  }
  // A movie that is a link to a file outside is not opened.
  EXPECT_EQ(run.ask(R"({"request":"open-movie","path":["link.swf"]})")["ok"], false);

  // Inside, the same operations do their work.
  const Json newFolder = run.ask(R"({"request":"folder-tree","operation":"new-folder","path":["Sub"]})");
  EXPECT_EQ(newFolder["done"], true);
  EXPECT_EQ(newFolder["item"], (Json{"Sub", "New Folder"}));
  const Json good = run.ask(R"({"request":"folder-tree","operation":"rename","path":["a.swf"],"name":"b"})");
  EXPECT_EQ(good["done"], true);
  EXPECT_EQ(good["item"], Json{"b.swf"});
  EXPECT_TRUE(platform::isRegularFile(flash_ + "/b.swf"));
  EXPECT_EQ(run.ask(R"({"request":"folder-tree","operation":"delete","path":["b.swf"]})")["done"], true);
  EXPECT_FALSE(platform::pathExists(flash_ + "/b.swf"));
}

TEST_F(GlintcatchHost, TellsTheSidePanelWhenTheFolderChanges) {
  HostProcess run = host();
  run.ask(R"({"request":"folder-tree","operation":"list"})");
  testing::makeDirs(flash_ + "/Made elsewhere");
  const std::optional<Json> event = run.next();
  ASSERT_TRUE(event);
  EXPECT_EQ(*event, (Json{{"event", "folder-changed"}}));
  // The tree the next request sees holds the change.
  const Json list = run.ask(R"({"request":"folder-tree","operation":"list"})");
  const std::vector<std::string> names = childNames(list["tree"]);
  EXPECT_NE(std::find(names.begin(), names.end(), "Made elsewhere"), names.end());
}

}  // namespace
}  // namespace velkin::flash
