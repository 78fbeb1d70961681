// The register commands: load a capture library as the browser's native
// host does (dlopen) and call its DllRegisterServer or DllUnregisterServer,
// which write or remove its keys in the settings store; then write or
// remove the native messaging host manifests through which the browsers
// start marrowind-host.
//
//   velkin register [LIBRARY] [--host PATH] [--user-data-dir DIR]... [--system]
//   velkin unregister [LIBRARY] [--user-data-dir DIR]... [--system]
//
// Without LIBRARY: the installed libmarrowind.so (lib/velkin beside the
// program's bin folder), else the one of the build tree. Without --host:
// marrowind-host beside velkin (the installed one), else the build tree's.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/browser_extensions.h"
#include "platform/file_util.h"
#include "platform/native_host_manifests.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace velkin::cli {
namespace {

constexpr char kLibraryName[] = "libmarrowind.so";
const platform::BrowserExtension& kExtension = platform::kMarrowindExtension;

struct RegisterOptions {
  std::string library;
  std::string host;
  std::vector<std::string> userDataDirs;
  bool system = false;
};

std::string defaultLibrary() {
  const std::string installed =
      platform::joinPath(std::string(platform::parentPath(platform::executableFolder())), "lib/velkin/" +
                                                                                            std::string(kLibraryName));
  if (platform::isRegularFile(installed)) return installed;
#ifdef VELKIN_MARROWIND_BUILD_PATH
  if (platform::isRegularFile(VELKIN_MARROWIND_BUILD_PATH)) return VELKIN_MARROWIND_BUILD_PATH;
#endif
  return installed;
}

std::string defaultHost() {
  const std::string installed = platform::joinPath(platform::executableFolder(), kExtension.hostProgram);
  if (platform::isRegularFile(installed)) return installed;
#ifdef VELKIN_MARROWIND_HOST_BUILD_PATH
  if (platform::isRegularFile(VELKIN_MARROWIND_HOST_BUILD_PATH)) return VELKIN_MARROWIND_HOST_BUILD_PATH;
#endif
  return installed;
}

// Browsers start the host by the manifest's path from their own working
// folder, so every path written there is absolute.
std::string absolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// Reads the arguments; a usage error's exit status, or 0.
int parseOptions(Context& context, const Arguments& args, const std::string& command, bool takesHost,
                 RegisterOptions& options) {
  bool haveLibrary = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--user-data-dir" || (takesHost && arg == "--host");
    if (takesValue && (i + 1 == args.size() || args[i + 1].empty())) {
      return usageError(context, command + ": " + arg + " needs a value");
    }
    if (arg == "--user-data-dir") {
      options.userDataDirs.push_back(absolutePath(args[++i]));
    } else if (takesHost && arg == "--host") {
      options.host = args[++i];
    } else if (arg == "--system") {
      options.system = true;
    } else if (arg.rfind("--", 0) == 0) {
      return usageError(context, command + ": unknown option " + arg);
    } else if (haveLibrary) {
      return usageError(context, command + ": unexpected argument " + arg);
    } else {
      options.library = arg;
      haveLibrary = true;
    }
  }
  if (!haveLibrary) options.library = defaultLibrary();
  return 0;
}

std::string hresultText(std::int32_t result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
  return text;
}

// Calls the library's entry point; its HRESULT decides the exit status.
int callEntryPoint(Context& context, const std::string& library, const char* entryPoint) {
  // The library names itself in the keys by its own path: give it a full one.
  void* handle = dlopen(library.find('/') == std::string::npos ? ("./" + library).c_str() : library.c_str(),
                        RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return failure(context, "cannot load " + library + ": " + dlerror());
  using EntryPoint = std::int32_t (*)();
  const auto call = reinterpret_cast<EntryPoint>(dlsym(handle, entryPoint));
  if (call == nullptr) {
    dlclose(handle);
    return failure(context, library + " has no " + entryPoint);
  }
  const std::int32_t result = call();
  dlclose(handle);
  if (result != 0) return failure(context, std::string(entryPoint) + " of " + library + " failed: " + hresultText(result));
  return kExitOk;
}

std::vector<platform::ManifestFolder> foldersFor(const RegisterOptions& options) {
  platform::ManifestPlaces places;
  places.home = platform::homeFolder();
  places.configHome = platform::userConfigHome();
  places.userDataDirs = options.userDataDirs;
  places.system = options.system;
  return platform::manifestFolders(places);
}

// Prints what became of each manifest; kExitFailure when any failed.
int reportManifests(Context& context, const std::vector<platform::ManifestOutcome>& outcomes) {
  using Status = platform::ManifestOutcome::Status;
  int status = kExitOk;
  for (const platform::ManifestOutcome& outcome : outcomes) {
    switch (outcome.status) {
      case Status::Written: context.out << "wrote " << outcome.path << "\n"; break;
      case Status::Removed: context.out << "removed " << outcome.path << "\n"; break;
      case Status::Absent: break;
      case Status::Foreign:
        context.err << "velkin: left " << outcome.path << " alone: it does not name " << kExtension.hostProgram
                    << "\n";
        break;
      case Status::Failed: status = failure(context, outcome.path + ": " + outcome.error); break;
    }
  }
  return status;
}

}  // namespace

int runRegister(Context& context, const Arguments& args) {
  RegisterOptions options;
  if (const int status = parseOptions(context, args, "register", true, options); status != 0) return status;
  // The host is checked before anything is written: manifests naming a
  // program that is not there would fail only later, inside the browser.
  const std::string host = absolutePath(options.host.empty() ? defaultHost() : options.host);
  if (!platform::isRegularFile(host) || access(host.c_str(), X_OK) != 0) {
    return failure(context, "no host program " + host + ": build " + kExtension.hostProgram + " or give --host PATH");
  }
  // Unregistering knows our manifests by the program's name in them.
  if (platform::baseName(host) != std::string_view(kExtension.hostProgram)) {
    return failure(context, "the host program must be named " + std::string(kExtension.hostProgram) + ": " + host);
  }
  if (const int status = callEntryPoint(context, options.library, "DllRegisterServer"); status != kExitOk) {
    return status;
  }
  return reportManifests(context, platform::writeManifests(kExtension, host, foldersFor(options)));
}

// The manifests go even when the library cannot be loaded or fails: they
// would only name a host that cannot capture.
int runUnregister(Context& context, const Arguments& args) {
  RegisterOptions options;
  if (const int status = parseOptions(context, args, "unregister", false, options); status != 0) return status;
  const int library = callEntryPoint(context, options.library, "DllUnregisterServer");
  const int manifests = reportManifests(context, platform::removeManifests(kExtension, foldersFor(options)));
  return library != kExitOk ? library : manifests;
}

}  // namespace velkin::cli
