#include "platform/native_host_manifests.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::platform {
namespace {

using Json = nlohmann::json;

// A manifest is a few hundred bytes; anything far larger is not ours.
constexpr size_t kMaxManifestBytes = 64 * 1024;

ManifestOutcome failed(const std::string& path, const std::string& what) {
  trace("native host manifest", path + ": " + what);
  return {path, ManifestOutcome::Status::Failed, what};
}

ManifestOutcome writeOne(const std::string& folder, const std::string& file, const std::string& text) {
  const std::string path = joinPath(folder, file);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return failed(path, "cannot create " + folder + ": " + error.message());
  if (std::string reason = writeFileAtomic(path, text); !reason.empty()) return failed(path, reason);
  return {path, ManifestOutcome::Status::Written, ""};
}

ManifestOutcome removeOne(const BrowserExtension& extension, const std::string& path) {
  const FileRead read = readFileUpTo(path, kMaxManifestBytes);
  if (read.status == FileRead::Status::Missing) return {path, ManifestOutcome::Status::Absent, ""};
  if (read.status == FileRead::Status::Failed) return failed(path, std::strerror(read.error));
  if (read.status == FileRead::Status::TooLarge || !isOurManifest(extension, read.data)) {
    return {path, ManifestOutcome::Status::Foreign, ""};
  }
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return failed(path, std::strerror(errno));
  return {path, ManifestOutcome::Status::Removed, ""};
}

}  // namespace

std::vector<ManifestFolder> manifestFolders(const ManifestPlaces& places) {
  std::vector<ManifestFolder> folders;
  if (!places.configHome.empty()) {
    folders.push_back({joinPath(places.configHome, "chromium/NativeMessagingHosts"), BrowserFamily::Chromium});
    folders.push_back({joinPath(places.configHome, "google-chrome/NativeMessagingHosts"), BrowserFamily::Chromium});
  }
  for (const std::string& dir : places.userDataDirs) {
    folders.push_back({joinPath(dir, "NativeMessagingHosts"), BrowserFamily::Chromium});
  }
  if (!places.home.empty()) {
    folders.push_back({joinPath(places.home, ".mozilla/native-messaging-hosts"), BrowserFamily::Firefox});
  }
  if (places.system) {
    const std::string& root = places.systemRoot;
    folders.push_back({joinPath(root, "etc/chromium/native-messaging-hosts"), BrowserFamily::Chromium});
    folders.push_back({joinPath(root, "etc/opt/chrome/native-messaging-hosts"), BrowserFamily::Chromium});
    folders.push_back({joinPath(root, "usr/lib/mozilla/native-messaging-hosts"), BrowserFamily::Firefox});
  }
  return folders;
}

std::string manifestFileName(const BrowserExtension& extension) { return std::string(extension.hostName) + ".json"; }

std::string manifestText(const BrowserExtension& extension, BrowserFamily family, const std::string& hostPath) {
  Json manifest = {{"name", extension.hostName},
                   {"description", extension.description},
                   {"path", hostPath},
                   {"type", "stdio"}};
  if (family == BrowserFamily::Chromium) {
    manifest["allowed_origins"] = {std::string("chrome-extension://") + extension.chromiumId + "/"};
  } else {
    manifest["allowed_extensions"] = {extension.geckoId};
  }
  return manifest.dump(2) + "\n";
}

bool isOurManifest(const BrowserExtension& extension, const std::string& text) {
  const Json manifest = Json::parse(text, nullptr, false);
  if (!manifest.is_object()) return false;
  const auto name = manifest.find("name");
  const auto path = manifest.find("path");
  if (name == manifest.end() || path == manifest.end() || !name->is_string() || !path->is_string()) return false;
  const std::string& program = path->get_ref<const std::string&>();
  return name->get_ref<const std::string&>() == extension.hostName &&
         baseName(program) == std::string_view(extension.hostProgram);
}

std::vector<ManifestOutcome> writeManifests(const BrowserExtension& extension, const std::string& hostPath,
                                            const std::vector<ManifestFolder>& folders) {
  std::vector<ManifestOutcome> outcomes;
  for (const ManifestFolder& folder : folders) {
    if (hostPath.empty() || hostPath[0] != '/') {
      outcomes.push_back(failed(joinPath(folder.path, manifestFileName(extension)),
                                "the host program's path is not absolute: " + hostPath));
      continue;
    }
    outcomes.push_back(writeOne(folder.path, manifestFileName(extension),
                                manifestText(extension, folder.family, hostPath)));
  }
  return outcomes;
}

std::vector<ManifestOutcome> removeManifests(const BrowserExtension& extension,
                                             const std::vector<ManifestFolder>& folders) {
  std::vector<ManifestOutcome> outcomes;
  for (const ManifestFolder& folder : folders) {
    outcomes.push_back(removeOne(extension, joinPath(folder.path, manifestFileName(extension))));
  }
  return outcomes;
}

}  // namespace velkin::platform
