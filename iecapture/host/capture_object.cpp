#include "iecapture/host/capture_object.h"

#include <dlfcn.h>

#include <map>
#include <optional>

#include "platform/com/guid.h"
#include "platform/trace.h"

namespace velkin::iecapture::host {
namespace {

constexpr char kWhere[] = "marrowind-host";

// The library registered for the program id, from its class.
std::optional<std::string> registeredLibrary(platform::Registry& registry) {
  using platform::RegistryRoot;
  const std::optional<std::string> clsid =
      registry.readString(RegistryRoot::Classes, std::string(kProgId) + "\\CLSID", "");
  if (!clsid || !com::parseGuid(*clsid)) {
    platform::trace(kWhere, std::string(kProgId) + " has no class registered");
    return std::nullopt;
  }
  std::optional<std::string> library =
      registry.readString(RegistryRoot::Classes, "CLSID\\" + *clsid + "\\InprocServer32", "");
  if (!library || library->empty()) {
    platform::trace(kWhere, "the class " + *clsid + " has no InprocServer32");
    return std::nullopt;
  }
  return library;
}

// The library's DllGetClassObject; the library stays loaded.
DllGetClassObjectFunction classObjectEntry(const std::string& library) {
  static std::map<std::string, void*> loaded;
  void*& handle = loaded[library];
  if (handle == nullptr) handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    platform::trace(kWhere, "cannot load " + library + ": " + (why != nullptr ? why : "unknown reason"));
    loaded.erase(library);
    return nullptr;
  }
  auto entry = reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
  if (entry == nullptr) platform::trace(kWhere, library + " has no DllGetClassObject");
  return entry;
}

}  // namespace

com::ComPtr<IVelkin> createCaptureObject(platform::Registry& registry) {
  const std::optional<std::string> library = registeredLibrary(registry);
  if (!library) return {};
  const DllGetClassObjectFunction getClassObject = classObjectEntry(*library);
  if (getClassObject == nullptr) return {};
  com::ComPtr<com::IClassFactory> factory;
  com::ComPtr<IVelkin> velkin;
  if (com::FAILED(getClassObject(&CLSID_Velkin, &com::IID_IClassFactory, factory.putVoid())) || !factory ||
      com::FAILED(factory->CreateInstance(nullptr, IID_IVelkin, velkin.putVoid())) || !velkin) {
    platform::trace(kWhere, *library + " does not make the capture object");
    return {};
  }
  return velkin;
}

}  // namespace velkin::iecapture::host
