// The register commands: load a capture library as the browser's native
// host does (dlopen) and call its DllRegisterServer or DllUnregisterServer,
// which write or remove its keys in the settings store.
//
//   velkin register [LIBRARY]      velkin unregister [LIBRARY]
//
// Without LIBRARY: the installed libmarrowind.so (lib/velkin beside the
// program's bin folder), else the one of the build tree.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace velkin::cli {
namespace {

constexpr char kLibraryName[] = "libmarrowind.so";

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

std::string hresultText(std::int32_t result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
  return text;
}

// Calls the library's entry point; its HRESULT decides the exit status.
int callEntryPoint(Context& context, const Arguments& args, const char* command, const char* entryPoint) {
  if (args.size() > 1) return usageError(context, std::string(command) + ": unexpected argument " + args[1]);
  if (!args.empty() && args[0].rfind("--", 0) == 0) {
    return usageError(context, std::string(command) + ": unknown option " + args[0]);
  }
  const std::string library = args.empty() ? defaultLibrary() : args[0];
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

}  // namespace

int runRegister(Context& context, const Arguments& args) {
  return callEntryPoint(context, args, "register", "DllRegisterServer");
}

int runUnregister(Context& context, const Arguments& args) {
  return callEntryPoint(context, args, "unregister", "DllUnregisterServer");
}

}  // namespace velkin::cli
