#include "book/book_settings.h"

#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::book {

std::string_view findLanguageEntry(std::string_view text) {
  for (const auto entry : kLanguageEntries) {
    if (entry == text) return entry;
  }
  for (const auto entry : kLanguageEntries) {
    if (platform::equalsIgnoreCase(entry.substr(0, entry.find(' ')), text)) return entry;
  }
  return {};
}

BookOptions readBookOptions(platform::Registry& registry) {
  const auto read = [&](const char* name) {
    const auto value = registry.readDword(platform::RegistryRoot::User, kBookOptionsKey, name);
    return value.has_value() && *value != 0;
  };
  BookOptions options;
  options.showProgress = read(kShowProgressValue);
  options.openBook = read(kOpenBookValue);
  return options;
}

bool writeBookOptions(platform::Registry& registry, const BookOptions& options) {
  const auto write = [&](const char* name, bool on) {
    if (registry.writeDword(platform::RegistryRoot::User, kBookOptionsKey, name, on ? 1 : 0)) return true;
    platform::trace("book options", std::string("cannot write ") + name);
    return false;
  };
  const bool progressWritten = write(kShowProgressValue, options.showProgress);
  const bool openWritten = write(kOpenBookValue, options.openBook);
  return progressWritten && openWritten;
}

}  // namespace velkin::book
