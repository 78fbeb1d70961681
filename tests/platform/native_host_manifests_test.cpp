// Native messaging host manifests: where they go, what they say, and that
// removing them touches nothing but our own files.
#include "platform/native_host_manifests.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::platform {
namespace {

using Status = ManifestOutcome::Status;
using testing::readTextFile;
using testing::writeTextFile;

class NativeHostManifests : public testing::IsolatedTest {
 protected:
  const BrowserExtension& extension_ = kMarrowindExtension;
  const std::string host_ = path("bin/marrowind-host");
  ManifestPlaces places() const {
    ManifestPlaces places;
    places.home = home();
    places.configHome = path("xdg config");
    places.userDataDirs = {path("profile one"), path("profile two")};
    places.system = true;
    places.systemRoot = path("root");
    return places;
  }
};

std::vector<Status> statuses(const std::vector<ManifestOutcome>& outcomes) {
  std::vector<Status> result;
  for (const ManifestOutcome& outcome : outcomes) result.push_back(outcome.status);
  return result;
}

TEST_F(NativeHostManifests, EachBrowserGetsItsManifestInItsFolders) {
  const std::string chromiumOrigin = std::string("chrome-extension://") + extension_.chromiumId + "/";
  struct Expected {
    std::string folder;
    const char* allowKey;
    std::string allowed;
  };
  const Expected expected[] = {
      {path("xdg config/chromium/NativeMessagingHosts"), "allowed_origins", chromiumOrigin},
      {path("xdg config/google-chrome/NativeMessagingHosts"), "allowed_origins", chromiumOrigin},
      {path("profile one/NativeMessagingHosts"), "allowed_origins", chromiumOrigin},
      {path("profile two/NativeMessagingHosts"), "allowed_origins", chromiumOrigin},
      {home() + "/.mozilla/native-messaging-hosts", "allowed_extensions", extension_.geckoId},
      {path("root/etc/chromium/native-messaging-hosts"), "allowed_origins", chromiumOrigin},
      {path("root/etc/opt/chrome/native-messaging-hosts"), "allowed_origins", chromiumOrigin},
      {path("root/usr/lib/mozilla/native-messaging-hosts"), "allowed_extensions", extension_.geckoId},
  };
  const std::vector<ManifestOutcome> outcomes = writeManifests(extension_, host_, manifestFolders(places()));
  ASSERT_EQ(outcomes.size(), std::size(expected));
  for (size_t i = 0; i < outcomes.size(); ++i) {
    const std::string file = expected[i].folder + "/com.velkinweb.marrowind.json";
    EXPECT_EQ(outcomes[i].path, file);
    EXPECT_EQ(outcomes[i].status, Status::Written) << outcomes[i].error;
    const nlohmann::json manifest = nlohmann::json::parse(readTextFile(file));
    EXPECT_EQ(manifest.at("name"), "com.velkinweb.marrowind") << file;
    EXPECT_EQ(manifest.at("path"), host_) << file;
    EXPECT_EQ(manifest.at("type"), "stdio") << file;
    EXPECT_EQ(manifest.at(expected[i].allowKey), nlohmann::json::array({expected[i].allowed})) << file;
    EXPECT_EQ(manifest.size(), 5u) << file;
  }
}

TEST_F(NativeHostManifests, RemovalTakesOnlyOurManifests) {
  const std::vector<ManifestFolder> folders = manifestFolders(places());
  writeManifests(extension_, host_, folders);
  const std::string manifest = "/com.velkinweb.marrowind.json";
  // Someone else's files: another host beside ours, and files of our name
  // that are not our manifest (another program, another name, not JSON).
  const std::string neighbour = folders[0].path + "/org.example.other.json";
  writeTextFile(neighbour, "{}");
  const std::string foreign[] = {
      R"({"name": "com.velkinweb.marrowind", "path": "/opt/other/other-host", "type": "stdio"})",
      R"({"name": "org.example.other", "path": "/usr/bin/marrowind-host"})",
      "not json",
  };
  for (size_t i = 0; i < std::size(foreign); ++i) writeTextFile(folders[i + 1].path + manifest, foreign[i]);
  removeTree(folders[4].path);  // never written, or removed by hand

  const std::vector<ManifestOutcome> outcomes = removeManifests(extension_, folders);
  EXPECT_EQ(statuses(outcomes), (std::vector<Status>{Status::Removed, Status::Foreign, Status::Foreign,
                                                     Status::Foreign, Status::Absent, Status::Removed,
                                                     Status::Removed, Status::Removed}));
  EXPECT_EQ(readTextFile(neighbour), "{}");
  for (size_t i = 0; i < std::size(foreign); ++i) EXPECT_EQ(readTextFile(folders[i + 1].path + manifest), foreign[i]);
  for (const size_t i : {0, 5, 6, 7}) {
    EXPECT_FALSE(pathExists(folders[i].path + manifest)) << folders[i].path;
    EXPECT_TRUE(isDirectory(folders[i].path)) << "folders stay: " << folders[i].path;
  }
}

TEST_F(NativeHostManifests, AFailingFolderIsReportedAndTheOthersAreWritten) {
  writeTextFile(path("profile one"), "a file where the profile folder should be");
  const std::vector<ManifestOutcome> outcomes = writeManifests(extension_, host_, manifestFolders(places()));
  ASSERT_EQ(outcomes.size(), 8u);
  for (size_t i = 0; i < outcomes.size(); ++i) {
    EXPECT_EQ(outcomes[i].status, i == 2 ? Status::Failed : Status::Written) << outcomes[i].path;
    EXPECT_EQ(isRegularFile(outcomes[i].path), i != 2) << outcomes[i].path;
  }
  EXPECT_NE(outcomes[2].error.find(path("profile one")), std::string::npos) << outcomes[2].error;
  // A relative host path would be started from the browser's working folder.
  const std::vector<ManifestOutcome> relative = writeManifests(extension_, "bin/marrowind-host", {{path("x"), {}}});
  EXPECT_EQ(statuses(relative), std::vector<Status>{Status::Failed});
  EXPECT_FALSE(pathExists(path("x")));
}

}  // namespace
}  // namespace velkin::platform
