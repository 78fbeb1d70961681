#include "platform/registry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace velkin::platform {
namespace {

using velkin::testing::IsolatedTest;

class RegistryTest : public IsolatedTest {};

TEST_F(RegistryTest, KeysAndValuesCompareWithoutCaseAndKeepFirstSpelling) {
  Registry registry(configDir());
  auto key = registry.createKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->writeString("BookDir", "/home/me/Project"));

  auto again = registry.openKey(RegistryRoot::Machine, "software\\KESTROVA");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->path(), "SOFTWARE\\Kestrova");
  EXPECT_EQ(again->readString("bookdir"), "/home/me/Project");

  // Writing under another spelling replaces the value, keeping its name.
  ASSERT_TRUE(again->writeString("BOOKDIR", "/elsewhere"));
  const auto values = key->values();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "BookDir");
  EXPECT_EQ(values[0].data, "/elsewhere");

  // A new child under a differently spelled parent hangs under the original.
  auto child = registry.createKey(RegistryRoot::Machine, "software\\kestrova\\Recent");
  ASSERT_TRUE(child);
  EXPECT_EQ(child->path(), "SOFTWARE\\Kestrova\\Recent");
  EXPECT_EQ(key->subkeys(), std::vector<std::string>{"Recent"});
}

TEST_F(RegistryTest, PathsIgnoreStraySeparatorsButNotForwardSlashes) {
  Registry registry(configDir());
  ASSERT_TRUE(registry.writeString(RegistryRoot::User, "\\Software\\\\Kestrova\\", "A", "1"));
  auto key = registry.openKey(RegistryRoot::User, "Software\\Kestrova");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->path(), "Software\\Kestrova");
  EXPECT_EQ(key->readString("A"), "1");

  ASSERT_TRUE(registry.createKey(RegistryRoot::User, "Software\\a/b"));
  EXPECT_FALSE(registry.openKey(RegistryRoot::User, "Software\\a"));
  EXPECT_EQ(registry.openKey(RegistryRoot::User, "Software")->subkeys(),
            (std::vector<std::string>{"Kestrova", "a/b"}));
}

TEST_F(RegistryTest, ValueTypesAreKeptApart) {
  Registry registry(configDir());
  auto key = registry.createKey(RegistryRoot::User, "Software\\Types");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->writeString("Text", "42"));
  ASSERT_TRUE(key->writeDword("Number", 0xdeadbeef));
  const std::string blob("\x00\x01\xff", 3);
  ASSERT_TRUE(key->writeBinary("Blob", blob));
  ASSERT_TRUE(key->writeString("Empty", ""));

  EXPECT_EQ(key->readString("Text"), "42");
  EXPECT_FALSE(key->readDword("Text"));
  EXPECT_EQ(key->readDword("Number"), 0xdeadbeefu);
  EXPECT_FALSE(key->readString("Number"));
  EXPECT_FALSE(key->readBinary("Number"));
  EXPECT_EQ(key->readBinary("Blob"), blob);
  EXPECT_FALSE(key->readString("Blob"));
  EXPECT_EQ(key->readString("Empty"), "");
  EXPECT_FALSE(key->readString("Missing"));

  const auto number = key->readValue("number");
  ASSERT_TRUE(number);
  EXPECT_EQ(number->type, RegistryType::Dword);
  EXPECT_EQ(number->data, std::string("\xef\xbe\xad\xde", 4));

  // Rewriting a value with another type changes its type.
  ASSERT_TRUE(key->writeDword("Text", 7));
  EXPECT_FALSE(key->readString("Text"));
  EXPECT_EQ(registry.readDword(RegistryRoot::User, "Software\\Types", "TEXT"), 7u);

  // The empty name is the default value, a value like any other.
  ASSERT_TRUE(key->writeString("", "default"));
  EXPECT_EQ(registry.readString(RegistryRoot::User, "SOFTWARE\\TYPES", ""), "default");
  EXPECT_TRUE(key->deleteValue("BLOB"));
  EXPECT_FALSE(key->deleteValue("Blob"));
  EXPECT_EQ(key->values().size(), 4u);
}

TEST_F(RegistryTest, OpenNeedsAnExistingKeyWhileCreateMakesParents) {
  Registry registry(configDir());
  EXPECT_FALSE(registry.openKey(RegistryRoot::Machine, "SOFTWARE\\Nothing"));
  EXPECT_FALSE(registry.readString(RegistryRoot::Machine, "SOFTWARE\\Nothing", "x"));
  EXPECT_TRUE(registry.openKey(RegistryRoot::Machine, ""));

  ASSERT_TRUE(registry.createKey(RegistryRoot::Machine, "A\\B\\C"));
  EXPECT_TRUE(registry.openKey(RegistryRoot::Machine, "A"));
  EXPECT_TRUE(registry.openKey(RegistryRoot::Machine, "A\\B"));
  // Roots are separate stores.
  EXPECT_FALSE(registry.openKey(RegistryRoot::User, "A"));
  EXPECT_TRUE(std::filesystem::exists(configDir() + "/machine.db"));

  Registry nested(path("deep/er/config"));
  EXPECT_TRUE(nested.writeDword(RegistryRoot::User, "X", "n", 1));
  EXPECT_TRUE(std::filesystem::exists(path("deep/er/config/user.db")));
}

TEST_F(RegistryTest, DeleteKeyRemovesItsSubtreeAndNothingElse) {
  Registry registry(configDir());
  ASSERT_TRUE(registry.writeString(RegistryRoot::Machine, "SOFTWARE\\Kestrova", "a", "1"));
  ASSERT_TRUE(registry.writeString(RegistryRoot::Machine, "SOFTWARE\\Kestrova\\Sub\\Deep", "b", "2"));
  ASSERT_TRUE(registry.writeString(RegistryRoot::Machine, "SOFTWARE\\Kestrova2", "c", "3"));
  ASSERT_TRUE(registry.writeString(RegistryRoot::Machine, "SOFTWARE\\Kestrov", "d", "4"));
  auto stale = registry.openKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova\\Sub");
  ASSERT_TRUE(stale);

  EXPECT_TRUE(registry.deleteKey(RegistryRoot::Machine, "software\\kestrova"));
  EXPECT_FALSE(registry.openKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova"));
  EXPECT_FALSE(registry.openKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova\\Sub\\Deep"));
  EXPECT_EQ(registry.readString(RegistryRoot::Machine, "SOFTWARE\\Kestrova2", "c"), "3");
  EXPECT_EQ(registry.readString(RegistryRoot::Machine, "SOFTWARE\\Kestrov", "d"), "4");
  EXPECT_EQ(registry.openKey(RegistryRoot::Machine, "SOFTWARE")->subkeys(),
            (std::vector<std::string>{"Kestrova2", "Kestrov"}));

  // A handle to a deleted key neither reads nor writes.
  EXPECT_FALSE(stale->writeString("late", "x"));
  EXPECT_TRUE(stale->values().empty());
  EXPECT_FALSE(registry.deleteKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova"));

  // Re-creating the key does not bring back old values or children.
  auto fresh = registry.createKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova");
  ASSERT_TRUE(fresh);
  EXPECT_TRUE(fresh->values().empty());
  EXPECT_TRUE(fresh->subkeys().empty());
}

TEST_F(RegistryTest, EnumeratesDirectChildrenAndValuesInCreationOrder) {
  Registry registry(configDir());
  for (const char* name : {"Zeta", "Alpha", "Mid"}) {
    ASSERT_TRUE(registry.createKey(RegistryRoot::User, std::string("Root\\") + name + "\\Grand"));
  }
  auto key = registry.openKey(RegistryRoot::User, "Root");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->subkeys(), (std::vector<std::string>{"Zeta", "Alpha", "Mid"}));
  ASSERT_TRUE(key->writeDword("z", 1));
  ASSERT_TRUE(key->writeString("a", "x"));
  ASSERT_TRUE(key->writeDword("Z", 2));
  const auto values = key->values();
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].name, "z");
  EXPECT_EQ(values[1].name, "a");
}

TEST_F(RegistryTest, ExportsKeysParentsFirstInTheFamiliarForm) {
  Registry registry(configDir());
  auto key = registry.createKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->writeString("Path", "C:\\dir \"quoted\""));
  ASSERT_TRUE(key->writeDword("Num", 42));
  ASSERT_TRUE(key->writeBinary("Bin", std::string("\x01\xff", 2)));
  ASSERT_TRUE(key->writeString("", "default"));
  ASSERT_TRUE(registry.writeDword(RegistryRoot::Machine, "SOFTWARE\\Kestrova\\Child", "n", 0));
  ASSERT_TRUE(registry.createKey(RegistryRoot::Machine, "SOFTWARE\\Kestrova\\Child\\Leaf"));
  ASSERT_TRUE(registry.writeString(RegistryRoot::Machine, "SOFTWARE\\Other", "x", "y"));

  EXPECT_EQ(registry.exportText(RegistryRoot::Machine, "software\\kestrova"),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrova]\n"
            "\"Path\"=\"C:\\\\dir \\\"quoted\\\"\"\n"
            "\"Num\"=dword:0000002a\n"
            "\"Bin\"=hex:01,ff\n"
            "@=\"default\"\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrova\\Child]\n"
            "\"n\"=dword:00000000\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrova\\Child\\Leaf]\n");
  EXPECT_EQ(registry.exportText(RegistryRoot::Machine, "SOFTWARE\\Missing"), "");
  const std::string whole = registry.exportText(RegistryRoot::Machine, "");
  EXPECT_EQ(whole.rfind("[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n", 0), 0u);
  EXPECT_NE(whole.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"x\"=\"y\"\n"), std::string::npos);
}

TEST_F(RegistryTest, ParsesRootNamesAndFullPaths) {
  EXPECT_EQ(parseRegistryRoot("hklm"), RegistryRoot::Machine);
  EXPECT_EQ(parseRegistryRoot("HKEY_Current_User"), RegistryRoot::User);
  EXPECT_EQ(parseRegistryRoot("HKCR"), RegistryRoot::Classes);
  EXPECT_FALSE(parseRegistryRoot("HKU"));
  EXPECT_FALSE(parseRegistryRoot("HKLMX"));
  EXPECT_STREQ(registryRootName(RegistryRoot::Classes), "HKEY_CLASSES_ROOT");

  const auto full = parseRegistryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\\\X\\");
  ASSERT_TRUE(full);
  EXPECT_EQ(full->first, RegistryRoot::Machine);
  EXPECT_EQ(full->second, "SOFTWARE\\X");
  const auto bare = parseRegistryPath("hkcu");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->first, RegistryRoot::User);
  EXPECT_EQ(bare->second, "");
  EXPECT_FALSE(parseRegistryPath("HKLM/SOFTWARE/X"));
  EXPECT_FALSE(parseRegistryPath("SOFTWARE\\X"));
  EXPECT_FALSE(parseRegistryPath(""));
}

TEST_F(RegistryTest, CorruptOrUnopenableStoresFailQuietly) {
  velkin::testing::writeTextFile(configDir() + "/user.db",
                                 std::string(4096, 'x') + "this is not a database");
  Registry registry(configDir());
  EXPECT_FALSE(registry.openKey(RegistryRoot::User, ""));
  EXPECT_FALSE(registry.createKey(RegistryRoot::User, "Software"));
  EXPECT_FALSE(registry.writeString(RegistryRoot::User, "Software", "a", "b"));
  EXPECT_FALSE(registry.readString(RegistryRoot::User, "Software", "a"));
  EXPECT_FALSE(registry.deleteKey(RegistryRoot::User, "Software"));
  EXPECT_EQ(registry.exportText(RegistryRoot::User, ""), "");
  // The other roots are unaffected.
  EXPECT_TRUE(registry.writeString(RegistryRoot::Machine, "Software", "a", "b"));

  // A configuration "folder" that is a file cannot hold any store.
  velkin::testing::writeTextFile(path("plainfile"), "x");
  Registry broken(path("plainfile"));
  EXPECT_FALSE(broken.createKey(RegistryRoot::Machine, "Software"));
  EXPECT_FALSE(broken.readDword(RegistryRoot::Machine, "Software", "n"));
}

TEST_F(RegistryTest, ThreadsSharingOneRegistryLoseNoWrites) {
  Registry registry(configDir());
  constexpr int kThreads = 4;
  constexpr int kWrites = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&registry, t] {
      for (int i = 0; i < kWrites; ++i) {
        registry.writeDword(RegistryRoot::User, "Shared",
                            "t" + std::to_string(t) + "_" + std::to_string(i),
                            static_cast<std::uint32_t>(i));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  auto key = registry.openKey(RegistryRoot::User, "Shared");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->values().size(), static_cast<size_t>(kThreads * kWrites));
}

// Each child writes its own values into one shared key, keeps a counter of
// its own by reading, incrementing and writing it back, and creates subkeys
// under a shared parent, all interleaved with the other child.
int concurrentWriter(const std::string& configDir, int child, int readyFd) {
  char go = 0;
  if (read(readyFd, &go, 1) < 0) return 3;  // wait for the start signal (EOF)
  Registry registry(configDir);
  const std::string prefix = "c" + std::to_string(child) + "_";
  const std::string counter = "count" + std::to_string(child);
  for (int i = 0; i < 300; ++i) {
    if (!registry.writeString(RegistryRoot::Machine, "SOFTWARE\\Shared", prefix + std::to_string(i),
                              std::to_string(i * 7))) {
      return 1;
    }
    const std::uint32_t seen =
        registry.readDword(RegistryRoot::Machine, "SOFTWARE\\Shared", counter).value_or(0);
    if (seen != static_cast<std::uint32_t>(i)) return 2;
    if (!registry.writeDword(RegistryRoot::Machine, "SOFTWARE\\Shared", counter, seen + 1)) {
      return 1;
    }
    if (i % 10 == 0 &&
        !registry.createKey(RegistryRoot::Machine,
                            "SOFTWARE\\Shared\\" + prefix + std::to_string(i))) {
      return 1;
    }
  }
  return 0;
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  velkin::testing::makeDirs(configDir());
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(start[1]);
      _exit(concurrentWriter(configDir(), child, start[0]));
    }
    children.push_back(pid);
  }
  close(start[0]);
  close(start[1]);  // both children start now
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  Registry registry(configDir());
  auto key = registry.openKey(RegistryRoot::Machine, "SOFTWARE\\Shared");
  ASSERT_TRUE(key);
  for (int child = 0; child < 2; ++child) {
    const std::string prefix = "c" + std::to_string(child) + "_";
    for (int i = 0; i < 300; ++i) {
      ASSERT_EQ(key->readString(prefix + std::to_string(i)), std::to_string(i * 7))
          << prefix << i;
    }
    EXPECT_EQ(key->readDword("count" + std::to_string(child)), 300u);
  }
  EXPECT_EQ(key->values().size(), 602u);
  EXPECT_EQ(key->subkeys().size(), 60u);
}

}  // namespace
}  // namespace velkin::platform
