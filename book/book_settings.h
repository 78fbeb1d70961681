// The settings of one compiled-help book (what the book dialog collects),
// the language entries it offers, and the two options it remembers in the
// user's settings store.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry.h"

namespace velkin::book {

struct BookSettings {
  std::string topicPage;     // full path of the page opened first; empty: the first page found
  std::string title;         // preset to the category's name
  std::string language;      // one of kLanguageEntries, written verbatim
  bool openBook = false;     // open the book in the viewer once it is compiled
  bool showProgress = false;
  std::string outputPath;    // the .chm to write
};

// The language entries, each written verbatim after "Language=". A
// three-digit number is followed by four blanks, a four-digit one by two.
inline constexpr std::string_view kLanguageEntries[] = {
    "0x804    Chinese(People's Replubic of China)",
    "0x404    Chinese(Taiwan)",
    "0x1004  Chinese(singapore)",
    "0xc04    Chinese(Hongkong)",
    "0x1404  Chinese(Macao)",
    "0xc09    English(Australia)",
    "0x809    English(Britain)",
    "0x1009  English(Canada)",
    "0x2409  English(Caribban)",
    "0x1809  English(Iriland)",
    "0x2009  English(Jamaican)",
    "0x1409  English(New Zealand)",
    "0x1c09  English(South Africa)",
    "0x409    English(United States)",
    "0x411    Japanese",
    "0x409    Japanese(Unicode)",
    "0x412    Korean",
};
// The entry selected when the dialog opens.
inline constexpr std::string_view kDefaultLanguage = kLanguageEntries[0];

// The entry given by its full text, or else the first entry whose number
// (the word before the blanks, e.g. "0x409") matches without regard to case.
// Empty when nothing matches.
std::string_view findLanguageEntry(std::string_view text);

// The options the book dialog remembers: user root, Software\Kestrova,
// "ShowProgress" and "OpenBook", 32-bit numbers 0 or 1.
inline constexpr char kBookOptionsKey[] = "Software\\Kestrova";
inline constexpr char kShowProgressValue[] = "ShowProgress";
inline constexpr char kOpenBookValue[] = "OpenBook";

struct BookOptions {
  bool showProgress = false;
  bool openBook = false;
};

// Missing or unreadable values leave an option off.
BookOptions readBookOptions(platform::Registry& registry);
// Writes both values, creating the key when missing. False on a failed write.
bool writeBookOptions(platform::Registry& registry, const BookOptions& options);

// What Build CHM says when no folder is selected (information icon).
inline constexpr char kSelectFolderMessage[] = "Please select a folder !";

}  // namespace velkin::book
