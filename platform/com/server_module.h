// What every in-process server library does with its four entry points,
// given its class table, its registry scripts and its type library:
//
//   getClassObject   DllGetClassObject: each class's factory is made once,
//                    under a lock, on its first request, and kept until the
//                    library is unloaded
//   canUnloadNow     DllCanUnloadNow: S_OK when no object, no LockServer
//                    lock and no class factory held by a caller is left
//   registerServer   DllRegisterServer: every script, then the type library
//   unregisterServer DllUnregisterServer: the same taken back, past failures
//
// A server library keeps one ServerModule in a static of its own and calls
// it from its exports. The library names itself in its keys by its own path
// (found with dladdr from the module object's address, links resolved).
// A refused module (refuse()) answers every request with failure: no class,
// no registration.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/object.h"
#include "platform/com/type_library.h"

namespace velkin::com {

struct ServerClass {
  GUID clsid;
  // The class's factory; it must not count itself into lock (the module
  // keeps it), only the objects it makes.
  std::function<IClassFactory*(ModuleLock& lock)> makeFactory;
};

// The class table entry of T, made with `new T(lock)`.
template <class T>
ServerClass serverClass(const GUID& clsid) {
  return {clsid, [](ModuleLock& lock) -> IClassFactory* {
            return new ClassFactory<T>(typename ClassFactory<T>::KeptByModule{}, lock);
          }};
}

struct ServerDescription {
  std::string traceName;  // the trace channel
  std::vector<ServerClass> classes;
  // Names of the library's REGISTRY resources, run in this order.
  std::vector<std::string> scripts;
  // How the scripts name the library file beside its folder, e.g.
  // "Marrowind.dll": "%MODULEPATH%\<name>" in any letter case stands for
  // the library's own path, %MODULE%.
  std::string windowsFileName;
  // The type library, without its path and help folder (the library's own).
  TypeLibraryInfo typeLibrary;
};

class ServerModule {
 public:
  explicit ServerModule(ServerDescription description) : description_(std::move(description)) {}
  ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  HRESULT getClassObject(const GUID* clsid, const GUID* iid, void** object);
  HRESULT canUnloadNow();
  HRESULT registerServer();
  HRESULT unregisterServer();

  ModuleLock& lock() { return lock_; }
  // From now on every entry point answers failure; why goes to the trace.
  void refuse(const std::string& why);
  bool refused() const { return refused_; }

  // The full path of the library file that holds this module.
  std::string libraryPath() const;
  // A script's text with the library's Windows file name turned into %MODULE%.
  std::string registryScript(const std::string& name) const;

 private:
  IClassFactory* factoryFor(const ServerClass& entry);
  HRESULT runRegistration(bool registering);

  ServerDescription description_;
  ModuleLock lock_;
  std::mutex factoriesMutex_;
  std::vector<std::pair<GUID, IClassFactory*>> factories_;
  bool refused_ = false;
};

}  // namespace velkin::com

// The four exported entry points of a server library whose ServerModule is
// returned by moduleFunction(); the library's linker version script keeps
// them and hides everything else.
#define VELKIN_COM_SERVER_EXPORTS(moduleFunction)                                                                  \
  extern "C" {                                                                                                     \
  __attribute__((visibility("default"))) velkin::com::HRESULT DllGetClassObject(                                  \
      const velkin::com::GUID* clsid, const velkin::com::GUID* iid, void** object) {                              \
    return moduleFunction().getClassObject(clsid, iid, object);                                                    \
  }                                                                                                                \
  __attribute__((visibility("default"))) velkin::com::HRESULT DllCanUnloadNow() {                                 \
    return moduleFunction().canUnloadNow();                                                                        \
  }                                                                                                                \
  __attribute__((visibility("default"))) velkin::com::HRESULT DllRegisterServer() {                               \
    return moduleFunction().registerServer();                                                                      \
  }                                                                                                                \
  __attribute__((visibility("default"))) velkin::com::HRESULT DllUnregisterServer() {                             \
    return moduleFunction().unregisterServer();                                                                    \
  }                                                                                                                \
  }
