#include "platform/com/server_module.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "platform/com/registrar.h"
#include "platform/embedded_resource.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::com {
namespace {

Placeholders placeholders(const std::string& path) {
  return {{"MODULE", path}, {"MODULEPATH", std::string(platform::parentPath(path))}};
}

}  // namespace

ServerModule::~ServerModule() {
  for (auto& [clsid, factory] : factories_) factory->Release();
}

void ServerModule::refuse(const std::string& why) {
  refused_ = true;
  platform::trace(description_.traceName, "refusing to serve: " + why);
}

IClassFactory* ServerModule::factoryFor(const ServerClass& entry) {
  const std::lock_guard<std::mutex> guard(factoriesMutex_);
  for (auto& [clsid, factory] : factories_) {
    if (clsid == entry.clsid) return factory;
  }
  IClassFactory* factory = entry.makeFactory(lock_);
  factory->AddRef();
  factories_.emplace_back(entry.clsid, factory);
  return factory;
}

HRESULT ServerModule::getClassObject(const GUID* clsid, const GUID* iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid == nullptr || iid == nullptr) return E_POINTER;
  if (refused_) return CLASS_E_CLASSNOTAVAILABLE;
  for (const ServerClass& entry : description_.classes) {
    if (entry.clsid != *clsid) continue;
    try {
      return factoryFor(entry)->QueryInterface(*iid, object);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerModule::canUnloadNow() {
  if (!lock_.canUnload()) return S_FALSE;
  const std::lock_guard<std::mutex> guard(factoriesMutex_);
  for (auto& [clsid, factory] : factories_) {
    // The module's own reference is the only one when nobody holds it.
    factory->AddRef();
    if (factory->Release() > 1) return S_FALSE;
  }
  return S_OK;
}

std::string ServerModule::libraryPath() const {
  Dl_info info{};
  if (dladdr(static_cast<const void*>(this), &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

std::string ServerModule::registryScript(const std::string& name) const {
  std::string script(platform::findEmbeddedResource("REGISTRY", name).value_or(""));
  if (description_.windowsFileName.empty()) return script;
  const std::string from = platform::toAsciiLower("%MODULEPATH%\\" + description_.windowsFileName);
  const std::string lower = platform::toAsciiLower(script);
  std::string result;
  size_t done = 0;
  for (size_t at = lower.find(from); at != std::string::npos; at = lower.find(from, done)) {
    result.append(script, done, at - done).append("%MODULE%");
    done = at + from.size();
  }
  return result.append(script, done, std::string::npos);
}

HRESULT ServerModule::registerServer() { return runRegistration(true); }

HRESULT ServerModule::unregisterServer() { return runRegistration(false); }

// Registering stops at the first failure; unregistering goes on past
// failures (traced) and always answers S_OK.
HRESULT ServerModule::runRegistration(bool registering) {
  if (refused_) return E_FAIL;
  const std::string path = libraryPath();
  const std::string doing = std::string(registering ? "registering " : "unregistering ") + path;
  platform::Registry registry(platform::configFolder());
  Registrar registrar(registry, placeholders(path));
  for (const std::string& name : description_.scripts) {
    const std::string script = registryScript(name);
    const HRESULT result = registering ? registrar.registerScript(script) : registrar.unregisterScript(script);
    if (FAILED(result)) {
      platform::trace(description_.traceName, doing + " (script " + name + "): " + registrar.lastError());
      if (registering) return result;
    }
  }
  TypeLibraryInfo typeLibrary = description_.typeLibrary;
  typeLibrary.path = path;
  typeLibrary.helpDir = std::string(platform::parentPath(path));
  if (!registering) {
    unregisterTypeLibrary(registry, typeLibrary);
    return S_OK;
  }
  const HRESULT result = registerTypeLibrary(registry, typeLibrary);
  if (FAILED(result)) platform::trace(description_.traceName, doing + ": the type library failed");
  return result;
}

}  // namespace velkin::com
