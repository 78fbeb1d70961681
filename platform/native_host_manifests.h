// Native messaging host manifests: the small JSON files through which
// Chromium, Google Chrome and Firefox find the program to start for an
// extension. Written for one BrowserExtension and its host program's path,
// in the folders each browser reads; removed again only where they name our
// host.
#pragma once

#include <string>
#include <vector>

#include "platform/browser_extensions.h"

namespace velkin::platform {

// Chromium-family manifests allow an origin (chrome-extension://ID/),
// Firefox ones an add-on id.
enum class BrowserFamily { Chromium, Firefox };

struct ManifestFolder {
  std::string path;
  BrowserFamily family;
};

// Which folders to serve.
struct ManifestPlaces {
  std::string home;                       // the user's folders below it; "" for none
  std::string configHome;                 // Chromium's and Chrome's profiles below it; "" for none
  std::vector<std::string> userDataDirs;  // Chromium profiles started with --user-data-dir DIR
  bool system = false;                    // the folders read for every user
  std::string systemRoot = "/";           // where the system folders are looked for (tests)
};

// The folders, user ones first: Chromium, Google Chrome, each DIR's
// NativeMessagingHosts, Firefox; then the system ones when asked for.
std::vector<ManifestFolder> manifestFolders(const ManifestPlaces& places);

// The manifest's file name (hostName.json) and its text for a browser family.
std::string manifestFileName(const BrowserExtension& extension);
std::string manifestText(const BrowserExtension& extension, BrowserFamily family, const std::string& hostPath);

// True when text is a manifest of our host: a JSON object whose "name" is
// the host's name and whose "path" ends in the host program's file name.
bool isOurManifest(const BrowserExtension& extension, const std::string& text);

// What became of one folder's manifest.
struct ManifestOutcome {
  enum class Status { Written, Removed, Absent, Foreign, Failed };
  std::string path;  // the manifest file
  Status status = Status::Failed;
  std::string error;  // the reason, when Failed
};

// Writes the manifest into every folder (creating it), each file replaced
// atomically. hostPath must be absolute. A failing folder does not stop
// the others; its outcome says why.
std::vector<ManifestOutcome> writeManifests(const BrowserExtension& extension, const std::string& hostPath,
                                            const std::vector<ManifestFolder>& folders);

// Removes our manifest from every folder: only the file, never a folder,
// and never a file of that name that is not ours (Foreign).
std::vector<ManifestOutcome> removeManifests(const BrowserExtension& extension,
                                             const std::vector<ManifestFolder>& folders);

}  // namespace velkin::platform
