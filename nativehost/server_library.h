// An in-process server as a native host reaches it: the class registered
// for a program id in the settings store (HKCR), its library loaded from
// InprocServer32 and the class factory taken from the library's
// DllGetClassObject. A library once loaded stays loaded for the process
// (its Qt classes must outlive every window it made).
#pragma once

#include <string>

#include "platform/com/interfaces.h"
#include "platform/com/object.h"
#include "platform/registry.h"
#include "platform/trace.h"

namespace velkin::nativehost {

// The class factory of the class registered for progId, which must be
// clsid; empty, with a trace line under where saying why, when it is not
// registered or the library cannot be loaded.
com::ComPtr<com::IClassFactory> registeredClassFactory(platform::Registry& registry, const char* progId,
                                                       const com::GUID& clsid, const char* where);

// A new object of that class answering the interface I, or empty.
template <class I>
com::ComPtr<I> createRegisteredObject(platform::Registry& registry, const char* progId, const com::GUID& clsid,
                                      const char* where) {
  const com::ComPtr<com::IClassFactory> factory = registeredClassFactory(registry, progId, clsid, where);
  com::ComPtr<I> object;
  if (!factory) return {};
  if (com::FAILED(factory->CreateInstance(nullptr, I::iid(), object.putVoid())) || !object) {
    platform::trace(where, std::string("the class of ") + progId + " makes no object");
    return {};
  }
  return object;
}

}  // namespace velkin::nativehost
