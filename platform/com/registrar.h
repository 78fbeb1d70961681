// The registrar: runs registry scripts into the settings store, to register
// an in-process server and to undo that registration.
//
// Script syntax (the registrar syntax the servers' scripts are written in):
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {7B2EC9CF-3C72-4DE4-B15D-7556A156564D} = s 'Velkin Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//       }
//     }
//   }
//
// - Roots HKCR, HKCU, HKLM or their long forms (HKEY_CLASSES_ROOT, ...).
// - A key is an optional mark (NoRemove, ForceRemove, Delete), a name, an
//   optional default value (`= s 'text'`) and an optional block of values
//   (`val Name = d 16`) and subkeys. Names are quoted with ' or bare (a bare
//   name runs to a blank, brace, '=' or quote; "{...}" without blanks is one
//   bare name, as a class identifier is written). A name holds no "\".
// - Values: s 'text', d 16 (or d 0x10, or d '16'), b '0aff' (hex bytes).
//   Inside quotes '' stands for one '. Keywords and marks ignore case.
// - %NAME% inside a name or a value is replaced by the placeholder's text,
//   %% by one %. The replacement is taken as it is (quotes and braces in a
//   module path change nothing of the script's shape); an unknown name is
//   an error.
//
// Register: a NoRemove key is created if missing and never deleted; a
// ForceRemove key is deleted with its subtree and written anew; a Delete key
// is deleted with its subtree (its block is not written); any other key is
// created if missing. Values are written.
// Unregister: a ForceRemove key is deleted with its subtree; a Delete key is
// left alone; the values a script names are removed from the other keys
// (with the default value of unmarked keys), their subkeys processed, and
// then an unmarked key is deleted when nothing (no value, no subkey) is left
// in it, so what other programs keep there survives.
//
// The whole script is read before anything is written: a script with an
// error (E_FAIL, the reason in lastError() and a trace line) writes nothing.
// A key nested deeper than kMaxScriptDepth keys is an error; any input is
// safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/registry.h"

namespace velkin::com {

constexpr int kMaxScriptDepth = 64;

enum class KeyMark { None, NoRemove, ForceRemove, Delete };

struct ScriptValue {
  std::string name;  // "" for a key's default value
  platform::RegistryType type = platform::RegistryType::String;
  std::string text;  // the string, or the bytes of a binary value
  std::uint32_t number = 0;
};

struct ScriptKey {
  std::string name;
  KeyMark mark = KeyMark::None;
  std::optional<ScriptValue> defaultValue;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
  platform::RegistryRoot root = platform::RegistryRoot::Classes;
  std::vector<ScriptKey> keys;
};

struct RegistryScript {
  std::vector<ScriptRoot> roots;
};

// Placeholder names (without the %) and their texts; names match without
// regard to ASCII case.
using Placeholders = std::map<std::string, std::string>;

struct ScriptParse {
  std::optional<RegistryScript> script;
  std::string error;  // "line 3: ..." when script is empty
};

ScriptParse parseRegistryScript(std::string_view text, const Placeholders& placeholders);

class Registrar {
 public:
  Registrar(platform::Registry& registry, Placeholders placeholders)
      : registry_(registry), placeholders_(std::move(placeholders)) {}

  // S_OK, or E_FAIL at the first error (nothing written for a script that
  // does not parse; what was written before a failing write stays).
  HRESULT registerScript(std::string_view text);
  // Goes on past failing deletions; E_FAIL if any failed or the script
  // does not parse.
  HRESULT unregisterScript(std::string_view text);
  // Why the last call failed, for a message; "" after success.
  const std::string& lastError() const { return lastError_; }

 private:
  std::optional<RegistryScript> parse(std::string_view text);
  bool registerKey(platform::RegistryRoot root, const std::string& parent, const ScriptKey& key);
  bool unregisterKey(platform::RegistryRoot root, const std::string& parent, const ScriptKey& key);
  bool writeValue(platform::RegistryKey& key, const ScriptValue& value);
  bool deleteTree(platform::RegistryRoot root, const std::string& path);
  bool fail(platform::RegistryRoot root, const std::string& path, std::string_view what);

  platform::Registry& registry_;
  Placeholders placeholders_;
  std::string lastError_;
};

}  // namespace velkin::com
