// velkin register and unregister, run as a program: the host manifests they
// write and remove, and their failures.
#include <sys/stat.h>

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
    std::vector<std::string> files;
    for (const std::string& folder : {home() + "/.config/chromium/NativeMessagingHosts",
                                      home() + "/.config/google-chrome/NativeMessagingHosts",
                                      home() + "/.mozilla/native-messaging-hosts", path("a/NativeMessagingHosts"),
                                      path("b/NativeMessagingHosts")}) {
      files.push_back(folder + "/com.velkinweb.marrowind.json");
    }
    return files;
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

TEST_F(RegisterCliTest, FailuresAreReported) {
  // No host program: nothing is registered or written.
  const ProgramRun noHost = velkin({"register", VELKIN_FAKE_LIBRARY_PATH, "--host", path("missing")});
  EXPECT_EQ(noHost.status, 1);
  EXPECT_NE(noHost.err.find("--host"), std::string::npos) << noHost.err;
  EXPECT_FALSE(velkin::platform::pathExists(home() + "/.config"));
  EXPECT_EQ(velkin({"register", "--host"}).status, 2);
  EXPECT_EQ(velkin({"unregister", "--host", host_}).status, 2);

  // A profile folder that cannot hold the manifest fails the command, the
  // other folders are written all the same.
  writeTextFile(path("b"), "a file, not a folder");
  const ProgramRun run = velkin({"register", VELKIN_FAKE_LIBRARY_PATH, "--host", host_, "--user-data-dir",
                                 path("a"), "--user-data-dir", path("b")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(path("b/NativeMessagingHosts")), std::string::npos) << run.err;
  const std::vector<std::string> files = manifests();
  for (size_t i = 0; i + 1 < files.size(); ++i) EXPECT_TRUE(velkin::platform::isRegularFile(files[i])) << files[i];
}

}  // namespace
