// libmarrowind.so: the capture object's in-process server. Its only exports
// are the four entry points a host finds with dlsym (the linker's version
// script hides everything else):
//   DllGetClassObject    the class factory of Velkin
//   DllCanUnloadNow      S_OK when no object or server lock is left
//   DllRegisterServer    the registry script (REGISTRY 102), then the type library
//   DllUnregisterServer  both taken back; always S_OK
// The library names itself in its keys by its own path.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "iecapture/ivelkin.h"
#include "iecapture/velkin_object.h"
#include "platform/com/registrar.h"
#include "platform/com/type_library.h"
#include "platform/embedded_resource.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace {

using namespace velkin;
using com::HRESULT;

constexpr char kWhere[] = "marrowind";

com::ModuleLock& moduleLock() {
  static com::ModuleLock lock;
  return lock;
}

// The full path of this library file, links resolved.
std::string modulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&moduleLock), &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

// The registry script as this library runs it. The script names the
// library file as "%MODULEPATH%\Marrowind.dll" (a Windows file name beside
// the folder); here that is the library's own path, %MODULE%.
std::string registryScript() {
  std::string script(platform::findEmbeddedResource("REGISTRY", "102").value_or(""));
  for (const char* name : {"%MODULEPATH%\\Marrowind.dll", "%MODULEPATH%\\Marrowind.DLL"}) {
    const std::string from = name;
    for (size_t at = script.find(from); at != std::string::npos; at = script.find(from, at)) {
      script.replace(at, from.size(), "%MODULE%");
    }
  }
  return script;
}

com::Placeholders placeholders(const std::string& path) {
  return {{"MODULE", path}, {"MODULEPATH", std::string(platform::parentPath(path))}};
}

com::TypeLibraryInfo typeLibrary(const std::string& path) {
  com::TypeLibraryInfo info;
  info.libid = iecapture::LIBID_MarrowindLib;
  info.version = "1.0";
  info.helpString = "Marrowind 1.0 Type Library";
  info.path = path;
  info.helpDir = std::string(platform::parentPath(path));
  info.interfaces = {{iecapture::IID_IVelkin, "IVelkin"}};
  return info;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const com::GUID* clsid, const com::GUID* iid,
                                                                  void** object) {
  if (object == nullptr) return com::E_POINTER;
  *object = nullptr;
  if (clsid == nullptr || iid == nullptr) return com::E_POINTER;
  if (*clsid != iecapture::CLSID_Velkin) return com::CLASS_E_CLASSNOTAVAILABLE;
  return com::createObject(nullptr, *iid, object, []() -> com::ComObjectCore* {
    return new com::ClassFactory<iecapture::Velkin>(moduleLock());
  });
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  return moduleLock().canUnload() ? com::S_OK : com::S_FALSE;
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  const std::string path = modulePath();
  platform::Registry registry(platform::configFolder());
  com::Registrar registrar(registry, placeholders(path));
  HRESULT result = registrar.registerScript(registryScript());
  if (com::FAILED(result)) {
    platform::trace(kWhere, "registering " + path + ": " + registrar.lastError());
    return result;
  }
  result = com::registerTypeLibrary(registry, typeLibrary(path));
  if (com::FAILED(result)) platform::trace(kWhere, "registering the type library of " + path + " failed");
  return result;
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  const std::string path = modulePath();
  platform::Registry registry(platform::configFolder());
  com::Registrar registrar(registry, placeholders(path));
  if (com::FAILED(registrar.unregisterScript(registryScript()))) {
    platform::trace(kWhere, "unregistering " + path + ": " + registrar.lastError());
  }
  com::unregisterTypeLibrary(registry, typeLibrary(path));
  return com::S_OK;
}

}  // extern "C"
