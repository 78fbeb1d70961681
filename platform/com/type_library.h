// Type library registration recorded in the settings store, under the
// classes root, with the keys the platform's own registration writes:
//
//   TypeLib\{LIBID}\1.0              (default) help string
//   TypeLib\{LIBID}\1.0\0\linux64    (default) path of the library file
//   TypeLib\{LIBID}\1.0\FLAGS        (default) "0"
//   TypeLib\{LIBID}\1.0\HELPDIR      (default) help folder
//   Interface\{IID}                  (default) interface name
//   Interface\{IID}\ProxyStubClsid32 (default) the automation marshaller
//   Interface\{IID}\TypeLib          (default) LIBID, Version "1.0"
//
// "0" is the neutral locale. The platform key names the build: linux64 for
// 64-bit programs, linux32 otherwise (the original platform wrote win32 or
// win64 there).
#pragma once

#include <string>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/registry.h"

namespace velkin::com {

// The marshaller every dual interface names: {00020424-0000-0000-C000-000000000046}.
inline constexpr GUID CLSID_AutomationMarshaller{0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// "linux64" or "linux32".
const char* typeLibraryPlatformKey();

struct DualInterfaceInfo {
  GUID iid;
  std::string name;
};

struct TypeLibraryInfo {
  GUID libid;
  std::string version = "1.0";  // major.minor
  std::string helpString;
  std::string path;
  std::string helpDir;
  std::vector<DualInterfaceInfo> interfaces;
};

// S_OK; E_INVALIDARG for a version that is not "major.minor" (digits);
// TYPE_E_REGISTRYACCESS (with a trace line) when the store cannot be written.
HRESULT registerTypeLibrary(platform::Registry& registry, const TypeLibraryInfo& info);
// Removes the version's keys, TypeLib\{LIBID} when no other version is left,
// and the Interface keys that name this library. S_OK also when nothing was
// registered; TYPE_E_REGISTRYACCESS when a deletion fails.
HRESULT unregisterTypeLibrary(platform::Registry& registry, const TypeLibraryInfo& info);

}  // namespace velkin::com
