// velkin register and unregister, run as a program: the host manifests they
// write and remove (where and what: tests/platform/native_host_manifests_test).
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_util.h"
#include "support/test_support.h"

namespace {

using velkin::testing::ProgramRun;
using velkin::testing::readTextFile;
using velkin::testing::runProgram;
using velkin::testing::writeTextFile;

class RegisterCliTest : public velkin::testing::IsolatedTest {
 protected:
  RegisterCliTest() {
    writeTextFile(host_, "#!/bin/sh\n");
    chmod(host_.c_str(), 0755);
  }
  static ProgramRun velkin(std::vector<std::string> args) {
    args.insert(args.begin(), {VELKIN_CLI_PATH});
    return runProgram(args);
  }
  std::vector<std::string> manifests() const {
    const std::string name = "/com.velkinweb.marrowind.json";
    // Chromium's profiles follow XDG_CONFIG_HOME, which the test sets.
    return {path("xdg-config/chromium/NativeMessagingHosts") + name,
            home() + "/.mozilla/native-messaging-hosts" + name, path("a/NativeMessagingHosts") + name,
            path("b/NativeMessagingHosts") + name};
  }
  const std::string host_ = path("host folder/marrowind-host");
};

TEST_F(RegisterCliTest, RegisterWritesTheManifestsAndUnregisterRemovesThem) {
  const ProgramRun run = velkin({"register", VELKIN_FAKE_LIBRARY_PATH, "--host", host_, "--user-data-dir",
                                 path("a"), "--user-data-dir", path("b")});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const std::string& file : manifests()) {
    EXPECT_NE(readTextFile(file).find("\"path\": \"" + host_ + "\""), std::string::npos) << file;
    EXPECT_NE(run.out.find("wrote " + file), std::string::npos) << run.out;
  }
  const ProgramRun gone =
      velkin({"unregister", VELKIN_FAKE_LIBRARY_PATH, "--user-data-dir", path("a"), "--user-data-dir", path("b")});
  ASSERT_EQ(gone.status, 0) << gone.err;
  for (const std::string& file : manifests()) EXPECT_FALSE(velkin::platform::pathExists(file)) << file;
}

TEST_F(RegisterCliTest, NothingIsDoneWithoutAHostProgram) {
  const ProgramRun noHost = velkin({"register", VELKIN_FAKE_LIBRARY_PATH, "--host", path("missing")});
  EXPECT_EQ(noHost.status, 1);
  EXPECT_NE(noHost.err.find("--host"), std::string::npos) << noHost.err;
  EXPECT_FALSE(velkin::platform::pathExists(path("xdg-config/chromium")));
  EXPECT_EQ(velkin({"register", VELKIN_FAKE_LIBRARY_PATH, "--host", "/bin/sh"}).status, 1);
  EXPECT_FALSE(velkin::platform::pathExists(path("xdg-config/chromium")));
  EXPECT_EQ(velkin({"register", "--host"}).status, 2);
  EXPECT_EQ(velkin({"register", "--host", host_, "--user-data-dir", ""}).status, 2);
  EXPECT_EQ(velkin({"unregister", "--host", host_}).status, 2);
}

// The Flash library gets glintcatch-host's manifests, the host found beside
// the --host given, whichever of the two hosts that names.
TEST_F(RegisterCliTest, EachLibraryGetsItsOwnHostsManifests) {
  const std::string flashHost = path("host folder/glintcatch-host");
  writeTextFile(flashHost, "#!/bin/sh\n");
  chmod(flashHost.c_str(), 0755);
  const std::string flashLibrary = path("lib/libglintcatch.so");
  velkin::testing::makeDirs(path("lib"));
  std::filesystem::copy_file(VELKIN_FAKE_LIBRARY_PATH, flashLibrary);
  const std::string flashManifest = path("xdg-config/chromium/NativeMessagingHosts/com.velkinweb.glintcatch.json");
  const ProgramRun run = velkin({"register", flashLibrary, "--host", host_});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string text = readTextFile(flashManifest);
  EXPECT_NE(text.find("\"path\": \"" + flashHost + "\""), std::string::npos) << text;
  EXPECT_NE(text.find("chrome-extension://afphagoinfljpokfgecbobkclominpol/"), std::string::npos) << text;
  EXPECT_FALSE(velkin::platform::pathExists(manifests()[0])) << "Marrowind's host is not the Flash library's";
  ASSERT_EQ(velkin({"register", VELKIN_FAKE_LIBRARY_PATH, "--host", flashHost}).status, 0);
  EXPECT_NE(readTextFile(manifests()[0]).find(host_), std::string::npos);
  ASSERT_EQ(velkin({"unregister", flashLibrary}).status, 0);
  EXPECT_FALSE(velkin::platform::pathExists(flashManifest));
  EXPECT_TRUE(velkin::platform::pathExists(manifests()[0]));
}

TEST_F(RegisterCliTest, AFolderThatCannotBeWrittenFailsTheCommand) {
  writeTextFile(path("b"), "a file, not a folder");
  const ProgramRun run = velkin({"register", VELKIN_FAKE_LIBRARY_PATH, "--host", host_, "--user-data-dir",
                                 path("a"), "--user-data-dir", path("b")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(path("b/NativeMessagingHosts")), std::string::npos) << run.err;
  EXPECT_TRUE(velkin::platform::isRegularFile(manifests()[2])) << "the other folders are still written";
}

}  // namespace
