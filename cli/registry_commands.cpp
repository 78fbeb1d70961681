// velkin registry: read, write and export the settings store from a shell.
//
//   registry get KEY [VALUE]          print one value, or all values of KEY
//   registry set KEY VALUE DATA [--dword]
//   registry export [KEY]             KEY and everything below it, or all roots
//
// KEY is a full path with its root, e.g. HKCU\Software\Kestrova. An empty
// VALUE ("") names the key's default value.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/registry.h"

namespace velkin::cli {

namespace {

using platform::Registry;
using platform::RegistryRoot;
using platform::RegistryType;
using platform::RegistryValue;

// Words and options of a subcommand, split apart. "--" ends the options, so
// data that begins with "--" can still be given.
struct Words {
  std::vector<std::string> words;
  bool dword = false;
  std::string badOption;
};

Words splitWords(const Arguments& args, size_t first, bool allowDword) {
  Words result;
  bool optionsOver = false;
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsOver && arg == "--") {
      optionsOver = true;
    } else if (!optionsOver && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      if (allowDword && arg == "--dword") {
        result.dword = true;
      } else if (result.badOption.empty()) {
        result.badOption = arg;
      }
    } else {
      result.words.push_back(arg);
    }
  }
  return result;
}

// A 32-bit unsigned number in decimal or 0x hexadecimal, nothing else.
std::optional<std::uint32_t> parseDword(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    const bool ok = hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                        : (c >= '0' && c <= '9');
    if (!ok) return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || end == nullptr || *end != '\0' || value > 0xffffffffULL) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::uint32_t dwordOf(const std::string& bytes) {
  std::uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < bytes.size(); ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  }
  return value;
}

// A value's data as a person reads it: strings as they are, numbers in
// decimal, blobs as comma-separated hex bytes.
std::string displayData(const RegistryValue& value) {
  switch (value.type) {
    case RegistryType::String:
      return value.data;
    case RegistryType::Dword:
      return std::to_string(dwordOf(value.data));
    case RegistryType::Binary:
    default: {
      static const char kHex[] = "0123456789abcdef";
      std::string text;
      for (size_t i = 0; i < value.data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(value.data[i]);
        if (i > 0) text += ',';
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0f];
      }
      return text;
    }
  }
}

int runGet(Context& context, Registry& registry, const Words& words) {
  if (words.words.empty()) return usageError(context, "registry get: no key given");
  if (words.words.size() > 2) return usageError(context, "registry get: too many arguments");
  const std::string& keyName = words.words[0];
  const auto where = platform::parseRegistryPath(keyName);
  if (!where) return usageError(context, "registry get: unknown root in " + keyName);
  const auto key = registry.openKey(where->first, where->second);
  if (!key) return failure(context, "no such key: " + keyName);
  if (words.words.size() == 1) {
    for (const RegistryValue& value : key->values()) {
      context.out << platform::formatRegistryValue(value) << '\n';
    }
    return kExitOk;
  }
  const std::string& valueName = words.words[1];
  const auto value = key->readValue(valueName);
  if (!value) return failure(context, "no value " + valueName + " in " + keyName);
  context.out << displayData(*value) << '\n';
  return kExitOk;
}

int runSet(Context& context, Registry& registry, const Words& words) {
  if (words.words.size() < 3) return usageError(context, "registry set: needs KEY VALUE DATA");
  if (words.words.size() > 3) return usageError(context, "registry set: too many arguments");
  const std::string& keyName = words.words[0];
  const std::string& valueName = words.words[1];
  const std::string& data = words.words[2];
  const auto where = platform::parseRegistryPath(keyName);
  if (!where) return usageError(context, "registry set: unknown root in " + keyName);
  bool written = false;
  if (words.dword) {
    const auto number = parseDword(data);
    if (!number) {
      return usageError(context, "registry set: not a 32-bit unsigned number: " + data);
    }
    written = registry.writeDword(where->first, where->second, valueName, *number);
  } else {
    written = registry.writeString(where->first, where->second, valueName, data);
  }
  if (!written) {
    return failure(context, "cannot write " + valueName + " in " + keyName + ": " +
                                registry.lastWriteError(where->first));
  }
  return kExitOk;
}

int runExport(Context& context, Registry& registry, const Words& words) {
  if (words.words.size() > 1) return usageError(context, "registry export: too many arguments");
  if (words.words.empty()) {
    std::string all;
    for (RegistryRoot root : {RegistryRoot::Machine, RegistryRoot::User, RegistryRoot::Classes}) {
      const std::string text = registry.exportText(root, "");
      if (text.empty()) {
        return failure(context, std::string("cannot read ") + platform::registryRootName(root));
      }
      if (!all.empty()) all += '\n';
      all += text;
    }
    context.out << all;
    return kExitOk;
  }
  const std::string& keyName = words.words[0];
  const auto where = platform::parseRegistryPath(keyName);
  if (!where) return usageError(context, "registry export: unknown root in " + keyName);
  const std::string text = registry.exportText(where->first, where->second);
  if (text.empty()) return failure(context, "no such key: " + keyName);
  context.out << text;
  return kExitOk;
}

}  // namespace

int runRegistry(Context& context, const Arguments& args) {
  if (args.empty()) return usageError(context, "registry: no subcommand given (get, set, export)");
  const std::string& sub = args[0];
  if (sub != "get" && sub != "set" && sub != "export") {
    return usageError(context, "registry: unknown subcommand " + sub);
  }
  const Words words = splitWords(args, 1, sub == "set");
  if (!words.badOption.empty()) {
    return usageError(context, "registry " + sub + ": unknown option " + words.badOption);
  }
  if (sub == "get") return runGet(context, context.registry, words);
  if (sub == "set") return runSet(context, context.registry, words);
  return runExport(context, context.registry, words);
}

}  // namespace velkin::cli
