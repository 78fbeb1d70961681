// The settings store that stands in for the Windows registry.
//
// Three roots (machine, user, classes), each an SQLite database in the
// configuration folder: machine.db, user.db, classes.db. Keys form a tree of
// "\"-separated names compared without regard to ASCII case (the case a key
// or value was first created with is kept for display). Values are strings,
// 32-bit numbers or binary blobs. Every call is one SQLite transaction, so
// several processes may read and write at once without losing a write.
// A store that cannot be written (read-only folder, file or file system) is
// opened for reading only: every read works, every write fails and
// lastWriteError() tells why.
//
// A Registry object may be used from several threads; RegistryKey handles are
// cheap values that refer back to it and must not outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkin::platform {

enum class RegistryRoot { Machine, User, Classes };

// Value types keep the Windows numbers so exported text reads familiar.
enum class RegistryType : int { String = 1, Binary = 3, Dword = 4 };

struct RegistryValue {
  std::string name;
  RegistryType type = RegistryType::String;
  std::string data;  // the string, the 4 little-endian bytes of a number, or the blob
};

// Parses "HKLM", "HKEY_LOCAL_MACHINE", "HKCU", "HKEY_CURRENT_USER", "HKCR",
// "HKEY_CLASSES_ROOT" (any case). nullopt for anything else.
std::optional<RegistryRoot> parseRegistryRoot(std::string_view name);
const char* registryRootName(RegistryRoot root);  // "HKEY_LOCAL_MACHINE", ...

// Splits "HKLM\SOFTWARE\Kestrova" into root and key path.
std::optional<std::pair<RegistryRoot, std::string>> parseRegistryPath(std::string_view full);

// One value as a line of exported text, without the newline:
// "Name"="data", "Num"=dword:0000002a, "Bin"=hex:01,ff, or @=... for the
// default value.
std::string formatRegistryValue(const RegistryValue& value);

class Registry;

class RegistryKey {
 public:
  RegistryRoot root() const { return root_; }
  const std::string& path() const { return path_; }

  std::optional<std::string> readString(std::string_view name) const;
  std::optional<std::uint32_t> readDword(std::string_view name) const;
  std::optional<std::string> readBinary(std::string_view name) const;
  std::optional<RegistryValue> readValue(std::string_view name) const;

  // Writes fail (false) when the key has been deleted meanwhile.
  bool writeString(std::string_view name, std::string_view value);
  bool writeDword(std::string_view name, std::uint32_t value);
  bool writeBinary(std::string_view name, std::string_view bytes);
  bool deleteValue(std::string_view name);

  // Direct children, in the order they were created.
  std::vector<std::string> subkeys() const;
  std::vector<RegistryValue> values() const;

 private:
  friend class Registry;
  RegistryKey(Registry* registry, RegistryRoot root, std::string path)
      : registry_(registry), root_(root), path_(std::move(path)) {}
  Registry* registry_;
  RegistryRoot root_;
  std::string path_;  // canonical: no leading, trailing or doubled "\"
};

class Registry {
 public:
  // Uses (and creates) the databases in configDir.
  explicit Registry(std::string configDir);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  const std::string& configDir() const { return configDir_; }

  // Opens an existing key; nullopt when it is missing or the store cannot
  // be opened. An empty path is the root itself, which always exists.
  std::optional<RegistryKey> openKey(RegistryRoot root, std::string_view path);
  // Opens a key, creating it and any missing parents.
  std::optional<RegistryKey> createKey(RegistryRoot root, std::string_view path);
  // Deletes a key with its whole subtree. False when it did not exist.
  bool deleteKey(RegistryRoot root, std::string_view path);

  // Shorthands used by most settings: read one value of a key, or write one,
  // creating the key when missing.
  std::optional<std::string> readString(RegistryRoot root, std::string_view path,
                                        std::string_view name);
  std::optional<std::uint32_t> readDword(RegistryRoot root, std::string_view path,
                                         std::string_view name);
  bool writeString(RegistryRoot root, std::string_view path, std::string_view name,
                   std::string_view value);
  bool writeDword(RegistryRoot root, std::string_view path, std::string_view name,
                  std::uint32_t value);
  // A folder a string value names, without trailing "/"; fallback when the
  // value is missing or empty.
  std::string readFolder(RegistryRoot root, std::string_view path, std::string_view name,
                         const std::string& fallback);

  // Why the last write to root failed (any call that changes the store:
  // writing or deleting a value, creating or deleting a key), "" when it
  // worked or found nothing to change. Names the store's file and the
  // system's reason, e.g. that the store is read-only, for a message.
  std::string lastWriteError(RegistryRoot root);

  // The keys under path (and path itself) as text in the familiar
  // "[HKEY_...\Key]" / "\"Name\"=\"data\"" form, parents before children.
  std::string exportText(RegistryRoot root, std::string_view path);

 private:
  friend class RegistryKey;
  struct Database;
  Database* database(RegistryRoot root);
  std::string configDir_;
  std::unique_ptr<Database> databases_[3];
};

}  // namespace velkin::platform
