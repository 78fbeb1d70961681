#include "app/source_settings.h"

#include <algorithm>
#include <optional>

#include "app/app_settings.h"
#include "kb/book_dir.h"
#include "platform/trace.h"

namespace velkin::app {
namespace {

using platform::Registry;
using platform::RegistryRoot;

std::string subkeyPath(const char* subkey) { return std::string(kFindOptionsKey) + "\\" + subkey; }

bool readFlag(const std::optional<platform::RegistryKey>& key, const char* name) {
  if (!key) return false;
  const auto value = key->readDword(name);
  return value && *value != 0;
}

std::vector<std::string> readList(Registry& registry, const char* subkey) {
  std::vector<std::string> list;
  const auto key = registry.openKey(RegistryRoot::Machine, subkeyPath(subkey));
  if (!key) return list;
  for (const auto& value : key->values()) {
    if (value.type == platform::RegistryType::String) list.push_back(firstCharacters(value.data, kMaxFindEntryLength));
  }
  return list;
}

// "7" -> 7; nullopt for a name that is not a plain number.
std::optional<std::size_t> entryNumber(const std::string& name) {
  if (name.empty() || name.size() > 9) return std::nullopt;
  std::size_t number = 0;
  for (const char c : name) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::size_t>(c - '0');
  }
  return number;
}

bool storeList(Registry& registry, const char* subkey, const std::vector<std::string>& list) {
  auto key = registry.createKey(RegistryRoot::Machine, subkeyPath(subkey));
  if (!key) return false;
  bool ok = true;
  const std::size_t count = std::min(list.size(), kMaxFindEntries);
  for (std::size_t i = 0; i < count; ++i) {
    ok = key->writeString(std::to_string(i), firstCharacters(list[i], kMaxFindEntryLength)) && ok;
  }
  for (const auto& value : key->values()) {
    const auto number = entryNumber(value.name);
    if (number && *number >= kMaxFindEntries) ok = key->deleteValue(value.name) && ok;
  }
  return ok;
}

}  // namespace

std::string firstCharacters(const std::string& text, std::size_t maxCharacters) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A byte that does not continue a UTF-8 sequence starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xc0u) != 0x80u && characters++ == maxCharacters) {
      return text.substr(0, i);
    }
  }
  return text;
}

FindOptions readFindOptions(Registry& registry) {
  FindOptions options;
  const auto key = registry.openKey(RegistryRoot::Machine, kFindOptionsKey);
  options.matchCase = readFlag(key, kMatchCaseValue);
  options.matchWord = readFlag(key, kMatchWordValue);
  options.up = readFlag(key, kUpValue);
  options.findTexts = readList(registry, kFindTextSubkey);
  options.replaceTexts = readList(registry, kReplaceTextSubkey);
  return options;
}

void storeFindOptions(Registry& registry, const FindOptions& options) {
  auto key = registry.createKey(RegistryRoot::Machine, kFindOptionsKey);
  bool ok = key.has_value();
  if (key) {
    ok = key->writeDword(kMatchCaseValue, options.matchCase ? 1 : 0) && ok;
    ok = key->writeDword(kMatchWordValue, options.matchWord ? 1 : 0) && ok;
    ok = key->writeDword(kUpValue, options.up ? 1 : 0) && ok;
  }
  ok = storeList(registry, kFindTextSubkey, options.findTexts) && ok;
  ok = storeList(registry, kReplaceTextSubkey, options.replaceTexts) && ok;
  if (!ok) platform::trace("find", "find options not stored: " + registry.lastWriteError(RegistryRoot::Machine));
}

SavePrompt readSavePrompt(Registry& registry) {
  SavePrompt prompt;
  const auto key = registry.openKey(RegistryRoot::Machine, kb::kKestrovaKey);
  if (!key) return prompt;
  if (const auto value = key->readDword(kPromptSaveValue)) prompt.ask = *value == 0;
  if (const auto value = key->readDword(kYesSaveValue)) prompt.saveWithoutAsking = *value != 0;
  return prompt;
}

void storeSaveAnswer(Registry& registry, bool save, bool doNotAskAgain) {
  storeToggle(registry, kPromptSaveValue, doNotAskAgain);
  storeToggle(registry, kYesSaveValue, save);
}

}  // namespace velkin::app
