// The register commands: load the capture libraries as the browser's native
// hosts do (dlopen) and call their DllRegisterServer or DllUnregisterServer,
// which write or remove their keys in the settings store; then write or
// remove the native messaging host manifests through which the browsers
// start a library's host (marrowind-host for libmarrowind.so,
// glintcatch-host for libglintcatch.so).
//
//   velkin register [LIBRARY] [--host PATH] [--user-data-dir DIR]... [--system]
//   velkin unregister [LIBRARY] [--user-data-dir DIR]... [--system]
//
// Without LIBRARY: both libraries, each the installed one (lib/velkin beside
// the program's bin folder), else the one of the build tree. A LIBRARY named
// libglintcatch.so is the Flash library; any other is taken as the browser
// capture library. Each library's host is the program of that name beside
// the --host given (which may name either host), else beside velkin (the
// installed one), else the build tree's.
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

#ifndef VELKIN_MARROWIND_BUILD_PATH
#define VELKIN_MARROWIND_BUILD_PATH ""
#endif
#ifndef VELKIN_GLINTCATCH_BUILD_PATH
#define VELKIN_GLINTCATCH_BUILD_PATH ""
#endif

#ifndef VELKIN_MARROWIND_HOST_BUILD_PATH
#define VELKIN_MARROWIND_HOST_BUILD_PATH ""
#endif
#ifndef VELKIN_GLINTCATCH_HOST_BUILD_PATH
#define VELKIN_GLINTCATCH_HOST_BUILD_PATH ""
#endif

// A capture library, the extension whose host loads it, and the host's
// file in the build tree.
struct CaptureLibrary {
  const char* fileName;
  const char* buildPath;
  const platform::BrowserExtension* extension;
  const char* hostBuildPath;
};

const CaptureLibrary kMarrowind{"libmarrowind.so", VELKIN_MARROWIND_BUILD_PATH, &platform::kMarrowindExtension,
                                VELKIN_MARROWIND_HOST_BUILD_PATH};
const CaptureLibrary kGlintcatch{"libglintcatch.so", VELKIN_GLINTCATCH_BUILD_PATH, &platform::kGlintcatchExtension,
                                 VELKIN_GLINTCATCH_HOST_BUILD_PATH};

// One library to load: which one, and its file.
struct LibraryFile {
  const CaptureLibrary* library;
  std::string path;
};

struct RegisterOptions {
  std::vector<LibraryFile> libraries;
  std::string host;
  std::vector<std::string> userDataDirs;
  bool system = false;
};

std::string defaultPath(const CaptureLibrary& library) {
  const std::string installed = platform::joinPath(std::string(platform::parentPath(platform::executableFolder())),
                                                   "lib/velkin/" + std::string(library.fileName));
  if (platform::isRegularFile(installed)) return installed;
  if (platform::isRegularFile(library.buildPath)) return library.buildPath;
  return installed;
}

LibraryFile givenLibrary(const std::string& path) {
  const bool flash = platform::baseName(path) == std::string_view(kGlintcatch.fileName);
  return {flash ? &kGlintcatch : &kMarrowind, path};
}

std::string defaultHost(const CaptureLibrary& library) {
  const std::string installed = platform::joinPath(platform::executableFolder(), library.extension->hostProgram);
  if (platform::isRegularFile(installed)) return installed;
  if (platform::isRegularFile(library.hostBuildPath)) return library.hostBuildPath;
  return installed;
}

bool namesHostProgram(const std::string& path, const CaptureLibrary& library) {
  return platform::baseName(path) == std::string_view(library.extension->hostProgram);
}

// Whether path names one of the hosts (either library's).
bool namesAHost(const std::string& path) {
  return namesHostProgram(path, kMarrowind) || namesHostProgram(path, kGlintcatch);
}

// The library's host: the --host given when it names this host's program,
// else the program of that name beside it when there is one; a --host naming
// the other host leaves this one at its default, and any other --host is
// taken as given (and refused by its name).
std::string hostFor(const CaptureLibrary& library, const std::string& given) {
  if (given.empty()) return defaultHost(library);
  if (namesHostProgram(given, library)) return given;
  const std::string sibling = platform::joinPath(std::string(platform::parentPath(given)), library.extension->hostProgram);
  if (platform::isRegularFile(sibling)) return sibling;
  return namesAHost(given) ? defaultHost(library) : given;
}

// A build without the toolkit has no hosts: its libraries are registered
// without manifests (said on standard error), unless --host asks for them:
// it names this library's host or another program, or this library's host
// stands beside the other host it names.
bool hostBuilt(const CaptureLibrary& library, const std::string& given) {
  return *library.hostBuildPath != '\0' || platform::isRegularFile(defaultHost(library)) ||
         (!given.empty() && (!namesAHost(given) || namesHostProgram(given, library) ||
                             platform::isRegularFile(hostFor(library, given))));
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
      options.libraries.push_back(givenLibrary(arg));
      haveLibrary = true;
    }
  }
  if (!haveLibrary) {
    for (const CaptureLibrary* library : {&kMarrowind, &kGlintcatch}) {
      options.libraries.push_back({library, defaultPath(*library)});
    }
  }
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
int reportManifests(Context& context, const platform::BrowserExtension& extension,
                    const std::vector<platform::ManifestOutcome>& outcomes) {
  using Status = platform::ManifestOutcome::Status;
  int status = kExitOk;
  for (const platform::ManifestOutcome& outcome : outcomes) {
    switch (outcome.status) {
      case Status::Written: context.out << "wrote " << outcome.path << "\n"; break;
      case Status::Removed: context.out << "removed " << outcome.path << "\n"; break;
      case Status::Absent: break;
      case Status::Foreign:
        context.err << "velkin: left " << outcome.path << " alone: it does not name " << extension.hostProgram
                    << "\n";
        break;
      case Status::Failed: status = failure(context, outcome.path + ": " + outcome.error); break;
    }
  }
  return status;
}

// The host program for --host, checked before anything is written:
// manifests naming a program that is not there would fail only later,
// inside the browser. "" with the failure reported in status.
std::string checkedHost(Context& context, const CaptureLibrary& library, const RegisterOptions& options, int& status) {
  const std::string host = absolutePath(hostFor(library, options.host));
  if (!platform::isRegularFile(host) || access(host.c_str(), X_OK) != 0) {
    status = failure(context, "no host program " + host + ": build " + library.extension->hostProgram +
                                  " or give --host PATH");
    return {};
  }
  // Unregistering knows our manifests by the program's name in them.
  if (!namesHostProgram(host, library)) {
    status = failure(context, "the host program must be named " + std::string(library.extension->hostProgram) +
                                  ": " + host);
    return {};
  }
  return host;
}

// The first failing status of two (kExitOk when both succeeded).
int firstFailure(int status, int next) { return status != kExitOk ? status : next; }

}  // namespace

// Each library is registered, then the manifests of its host; a library that
// fails gets no manifests, and the next library is still registered.
int runRegister(Context& context, const Arguments& args) {
  RegisterOptions options;
  if (const int status = parseOptions(context, args, "register", true, options); status != 0) return status;
  int status = kExitOk;
  std::vector<std::string> hosts;
  for (const LibraryFile& file : options.libraries) {
    if (!hostBuilt(*file.library, options.host)) {
      context.err << "velkin: " << file.library->extension->hostProgram << " is not built: no browser manifests for "
                  << file.library->fileName << "\n";
      hosts.emplace_back();
      continue;
    }
    hosts.push_back(checkedHost(context, *file.library, options, status));
    if (hosts.back().empty()) return status;
  }
  for (size_t i = 0; i < options.libraries.size(); ++i) {
    const LibraryFile& file = options.libraries[i];
    const int registered = callEntryPoint(context, file.path, "DllRegisterServer");
    status = firstFailure(status, registered);
    if (registered != kExitOk) continue;
    context.out << "registered " << file.path << "\n";
    if (hosts[i].empty()) continue;
    const platform::BrowserExtension& extension = *file.library->extension;
    status = firstFailure(status, reportManifests(context, extension,
                                                  platform::writeManifests(extension, hosts[i], foldersFor(options))));
  }
  return status;
}

// The manifests go even when the library cannot be loaded or fails: they
// would only name a host that cannot capture.
int runUnregister(Context& context, const Arguments& args) {
  RegisterOptions options;
  if (const int status = parseOptions(context, args, "unregister", false, options); status != 0) return status;
  int status = kExitOk;
  for (const LibraryFile& file : options.libraries) {
    const int unregistered = callEntryPoint(context, file.path, "DllUnregisterServer");
    if (unregistered == kExitOk) context.out << "unregistered " << file.path << "\n";
    status = firstFailure(status, unregistered);
    const platform::BrowserExtension& extension = *file.library->extension;
    status = firstFailure(status, reportManifests(context, extension,
                                                  platform::removeManifests(extension, foldersFor(options))));
  }
  return status;
}

}  // namespace velkin::cli
