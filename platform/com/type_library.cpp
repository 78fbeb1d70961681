#include "platform/com/type_library.h"

#include <string_view>

#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::com {

using platform::Registry;
using platform::RegistryRoot;

namespace {

constexpr RegistryRoot kClasses = RegistryRoot::Classes;

bool isVersion(std::string_view version) {
  const size_t dot = version.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == version.size()) return false;
  for (size_t i = 0; i < version.size(); ++i) {
    if (i != dot && (version[i] < '0' || version[i] > '9')) return false;
  }
  return true;
}

std::string libraryKey(const TypeLibraryInfo& info) { return "TypeLib\\" + formatGuid(info.libid); }
std::string versionKey(const TypeLibraryInfo& info) { return libraryKey(info) + "\\" + info.version; }
std::string interfaceKey(const GUID& iid) { return "Interface\\" + formatGuid(iid); }

HRESULT registryFailure(Registry& registry, std::string_view what, const std::string& path) {
  std::string message = std::string(what) + " HKEY_CLASSES_ROOT\\" + path;
  const std::string reason = registry.lastWriteError(kClasses);
  if (!reason.empty()) message += ": " + reason;
  platform::trace("com::typeLibrary", message);
  return TYPE_E_REGISTRYACCESS;
}

// The default value of a key, creating the key.
bool writeDefault(Registry& registry, const std::string& path, const std::string& text) {
  return registry.writeString(kClasses, path, "", text);
}

bool deleteIfPresent(Registry& registry, const std::string& path) {
  return registry.deleteKey(kClasses, path) || registry.lastWriteError(kClasses).empty();
}

}  // namespace

const char* typeLibraryPlatformKey() { return sizeof(void*) == 8 ? "linux64" : "linux32"; }

HRESULT registerTypeLibrary(Registry& registry, const TypeLibraryInfo& info) {
  if (!isVersion(info.version)) return E_INVALIDARG;
  const std::string version = versionKey(info);
  const std::string libid = formatGuid(info.libid);
  const std::pair<std::string, std::string> defaults[] = {
      {version, info.helpString},
      {version + "\\0\\" + typeLibraryPlatformKey(), info.path},
      {version + "\\FLAGS", "0"},
      {version + "\\HELPDIR", info.helpDir},
  };
  for (const auto& [path, text] : defaults) {
    if (!writeDefault(registry, path, text)) return registryFailure(registry, "cannot write", path);
  }
  for (const DualInterfaceInfo& dual : info.interfaces) {
    const std::string key = interfaceKey(dual.iid);
    const bool written = writeDefault(registry, key, dual.name) &&
                         writeDefault(registry, key + "\\ProxyStubClsid32", formatGuid(CLSID_AutomationMarshaller)) &&
                         writeDefault(registry, key + "\\TypeLib", libid) &&
                         registry.writeString(kClasses, key + "\\TypeLib", "Version", info.version);
    if (!written) return registryFailure(registry, "cannot write", key);
  }
  return S_OK;
}

HRESULT unregisterTypeLibrary(Registry& registry, const TypeLibraryInfo& info) {
  if (!isVersion(info.version)) return E_INVALIDARG;
  HRESULT result = S_OK;
  const std::string version = versionKey(info);
  if (!deleteIfPresent(registry, version)) result = registryFailure(registry, "cannot delete", version);
  const std::string library = libraryKey(info);
  if (auto key = registry.openKey(kClasses, library); key && key->subkeys().empty()) {
    if (!deleteIfPresent(registry, library)) result = registryFailure(registry, "cannot delete", library);
  }
  // An interface key that now names another library belongs to it.
  const std::string libid = formatGuid(info.libid);
  for (const DualInterfaceInfo& dual : info.interfaces) {
    const std::string key = interfaceKey(dual.iid);
    const auto owner = registry.readString(kClasses, key + "\\TypeLib", "");
    if (!owner || !platform::equalsIgnoreCase(*owner, libid)) continue;
    if (!deleteIfPresent(registry, key)) result = registryFailure(registry, "cannot delete", key);
  }
  return result;
}

}  // namespace velkin::com
