// velkin registry, run as a program against a temporary settings store.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_util.h"
#include "support/test_support.h"

namespace {

using velkin::testing::ProgramRun;
using velkin::testing::runProgram;

class RegistryCliTest : public velkin::testing::IsolatedTest {
 protected:
  static ProgramRun velkin(std::vector<std::string> args) {
    args.insert(args.begin(), VELKIN_CLI_PATH);
    return runProgram(args);
  }
};

constexpr const char* kKey = "HKCU\\Software\\Kestrova";

// A folder made read-only for this process and the programs it starts, the
// way a read-only file system is: a read-only bind mount in a mount
// namespace of the test's own (root ignores permission bits, so a chmod
// would prove nothing). Nothing leaks to the rest of the machine; the mount
// goes with the object. error() says why it could not be made.
class ReadOnlyMount {
 public:
  explicit ReadOnlyMount(std::string folder) : folder_(std::move(folder)) {
    if (unshare(CLONE_NEWNS) != 0) {
      error_ = std::string("no mount namespace: ") + std::strerror(errno);
    } else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
               mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      error_ = std::string("cannot bind-mount: ") + std::strerror(errno);
    } else if (mounted_ = true;
               mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      error_ = std::string("cannot remount read-only: ") + std::strerror(errno);
    } else if (access(folder_.c_str(), W_OK) == 0 || errno != EROFS) {
      error_ = "the folder is still writable";
    }
  }
  ~ReadOnlyMount() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  ReadOnlyMount(const ReadOnlyMount&) = delete;
  ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;
  const std::string& error() const { return error_; }

 private:
  std::string folder_;
  std::string error_;
  bool mounted_ = false;
};

TEST_F(RegistryCliTest, SetThenGetRoundTripsStringsAndNumbers) {
  EXPECT_EQ(velkin({"registry", "set", kKey, "Title", "Hello \"World\""}).status, 0);
  EXPECT_EQ(velkin({"registry", "set", kKey, "Count", "42", "--dword"}).status, 0);
  EXPECT_EQ(velkin({"registry", "set", "--dword", kKey, "Mask", "0xFFFFFFFF"}).status, 0);
  EXPECT_EQ(velkin({"registry", "set", kKey, "", "--", "--not-an-option"}).status, 0);

  ProgramRun run = velkin({"registry", "get", "hkey_current_user\\SOFTWARE\\kestrova", "title"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Hello \"World\"\n");
  EXPECT_EQ(velkin({"registry", "get", kKey, "Count"}).out, "42\n");
  EXPECT_EQ(velkin({"registry", "get", kKey, "Mask"}).out, "4294967295\n");
  EXPECT_EQ(velkin({"registry", "get", kKey, ""}).out, "--not-an-option\n");

  run = velkin({"registry", "get", kKey});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "\"Title\"=\"Hello \\\"World\\\"\"\n"
            "\"Count\"=dword:0000002a\n"
            "\"Mask\"=dword:ffffffff\n"
            "@=\"--not-an-option\"\n");
}

TEST_F(RegistryCliTest, MissingKeysAndValuesFailWithAMessage) {
  ProgramRun run = velkin({"registry", "get", "HKLM\\SOFTWARE\\Nothing"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "velkin: no such key: HKLM\\SOFTWARE\\Nothing\n");

  ASSERT_EQ(velkin({"registry", "set", kKey, "Title", "x"}).status, 0);
  run = velkin({"registry", "get", kKey, "Other"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string("velkin: no value Other in ") + kKey + "\n");
}

TEST_F(RegistryCliTest, ExportShowsKeysBelowTheGivenOneOrEverything) {
  ASSERT_EQ(velkin({"registry", "set", kKey, "Title", "t"}).status, 0);
  ASSERT_EQ(velkin({"registry", "set", "HKCU\\Software\\Kestrova\\Recent", "n", "3", "--dword"})
                .status,
            0);
  ASSERT_EQ(velkin({"registry", "set", "HKLM\\SOFTWARE\\Other", "x", "y"}).status, 0);

  ProgramRun run = velkin({"registry", "export", kKey});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "[HKEY_CURRENT_USER\\Software\\Kestrova]\n"
            "\"Title\"=\"t\"\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Kestrova\\Recent]\n"
            "\"n\"=dword:00000003\n");

  run = velkin({"registry", "export"});
  EXPECT_EQ(run.status, 0) << run.err;
  const size_t machine = run.out.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"x\"=\"y\"\n");
  const size_t user = run.out.find("[HKEY_CURRENT_USER\\Software\\Kestrova]\n");
  const size_t classes = run.out.find("[HKEY_CLASSES_ROOT]\n");
  EXPECT_NE(machine, std::string::npos);
  EXPECT_NE(user, std::string::npos);
  EXPECT_NE(classes, std::string::npos);
  EXPECT_LT(machine, user);
  EXPECT_LT(user, classes);
}

TEST_F(RegistryCliTest, ReadOnlySettingsFolderStillGivesTheBookPathAndRefusesWrites) {
  const std::string book = path("My Book");
  const std::string bookKey = "HKLM\\SOFTWARE\\Kestrova";
  ASSERT_EQ(velkin({"registry", "set", bookKey, "BookPath", book}).status, 0);
  velkin::testing::writeTextFile(book + "/Notes/old.htm", "<p>old</p>");
  velkin::testing::writeTextFile(path("source.html"), "<html><body><p>new</p></body></html>");

  const ReadOnlyMount readOnly(configDir());
  if (!readOnly.error().empty()) GTEST_SKIP() << readOnly.error();

  ProgramRun run = velkin({"book-dir"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, book + "\n");
  run = velkin({"list"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\n  Notes\n    old\n"), std::string::npos) << run.out;

  run = velkin({"capture", path("source.html"), "--into", "Notes", "--name", "new", "--quiet"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, book + "/Notes/new.htm\n");
  EXPECT_TRUE(velkin::platform::isRegularFile(book + "/Notes/new.htm"));
  EXPECT_FALSE(velkin::platform::pathExists(dataHome() + "/velkin/Project"));

  // A write fails with the reason, and the stored value stays.
  run = velkin({"registry", "set", bookKey, "BookPath", path("elsewhere")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("velkin: cannot write BookPath in " + bookKey + ": the settings store " + configDir() +
                         "/machine.db is read-only: "),
            std::string::npos)
      << run.err;
  EXPECT_EQ(velkin({"registry", "get", bookKey, "BookPath"}).out, book + "\n");
}

TEST_F(RegistryCliTest, BadArgumentsGiveUsage) {
  const std::vector<std::vector<std::string>> badCalls = {
      {"registry"},
      {"registry", "remove", kKey},
      {"registry", "get"},
      {"registry", "get", "SOFTWARE\\Kestrova", "a"},
      {"registry", "get", "HKLM/SOFTWARE/Kestrova"},
      {"registry", "set", kKey, "Title"},
      {"registry", "set", kKey, "n", "12abc", "--dword"},
      {"registry", "set", kKey, "n", "4294967296", "--dword"},
      {"registry", "set", kKey, "n", "1", "--binary"},
      {"registry", "export", kKey, "extra"},
      {"registry", "export", "HKXX"},
  };
  for (const auto& call : badCalls) {
    const ProgramRun run = velkin(call);
    std::string shown;
    for (const auto& word : call) shown += " " + word;
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_NE(run.err.find("velkin: registry"), std::string::npos) << shown << "\n" << run.err;
    EXPECT_NE(run.err.find("usage:"), std::string::npos) << shown;
  }
  // Nothing was written by the rejected calls.
  EXPECT_EQ(velkin({"registry", "get", kKey}).status, 1);
}

}  // namespace
