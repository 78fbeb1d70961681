#include "nativehost/server_library.h"

#include <dlfcn.h>

#include <map>
#include <optional>
#include <string>

#include "platform/com/guid.h"
#include "platform/trace.h"

namespace velkin::nativehost {
namespace {

using GetClassObject = com::HRESULT (*)(const com::GUID* clsid, const com::GUID* iid, void** object);

// The library registered for the program id, from its class.
std::optional<std::string> registeredLibrary(platform::Registry& registry, const char* progId, const char* where) {
  using platform::RegistryRoot;
  const std::optional<std::string> clsid =
      registry.readString(RegistryRoot::Classes, std::string(progId) + "\\CLSID", "");
  if (!clsid || !com::parseGuid(*clsid)) {
    platform::trace(where, std::string(progId) + " has no class registered");
    return std::nullopt;
  }
  std::optional<std::string> library =
      registry.readString(RegistryRoot::Classes, "CLSID\\" + *clsid + "\\InprocServer32", "");
  if (!library || library->empty()) {
    platform::trace(where, "the class " + *clsid + " has no InprocServer32");
    return std::nullopt;
  }
  return library;
}

// The library's DllGetClassObject; the library stays loaded.
GetClassObject classObjectEntry(const std::string& library, const char* where) {
  static std::map<std::string, void*> loaded;
  void*& handle = loaded[library];
  if (handle == nullptr) handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    platform::trace(where, "cannot load " + library + ": " + (why != nullptr ? why : "unknown reason"));
    loaded.erase(library);
    return nullptr;
  }
  auto entry = reinterpret_cast<GetClassObject>(dlsym(handle, "DllGetClassObject"));
  if (entry == nullptr) platform::trace(where, library + " has no DllGetClassObject");
  return entry;
}

}  // namespace

com::ComPtr<com::IClassFactory> registeredClassFactory(platform::Registry& registry, const char* progId,
                                                       const com::GUID& clsid, const char* where) {
  const std::optional<std::string> library = registeredLibrary(registry, progId, where);
  if (!library) return {};
  const GetClassObject getClassObject = classObjectEntry(*library, where);
  if (getClassObject == nullptr) return {};
  com::ComPtr<com::IClassFactory> factory;
  if (com::FAILED(getClassObject(&clsid, &com::IID_IClassFactory, factory.putVoid())) || !factory) {
    platform::trace(where, *library + " has no class factory for " + progId);
    return {};
  }
  return factory;
}

}  // namespace velkin::nativehost
