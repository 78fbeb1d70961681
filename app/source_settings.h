// The settings of the HTML source editor, without any toolkit: the Find
// dialog's options and recent texts, and the save prompt on leaving the
// source with changes.
//
// Find options live in SOFTWARE\Kestrova\FindOptions (machine root):
// "MatchCase", "MatchWord" and "Up" as 32-bit numbers (0 when missing), and
// the recent texts as string values "0", "1", ... of the FindText and
// ReplaceText subkeys, in list order. The save prompt reads "PromptSave" (1:
// do not ask) and "YesSave" (the answer used without asking: 1 save, 0
// discard; 1 when missing) of SOFTWARE\Kestrova.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace velkin::app {

inline constexpr char kFindOptionsKey[] = "SOFTWARE\\Kestrova\\FindOptions";
inline constexpr char kFindTextSubkey[] = "FindText";
inline constexpr char kReplaceTextSubkey[] = "ReplaceText";
inline constexpr char kMatchCaseValue[] = "MatchCase";
inline constexpr char kMatchWordValue[] = "MatchWord";
inline constexpr char kUpValue[] = "Up";
// At most this many entries of each list are stored, each of at most
// kMaxFindEntryLength characters.
inline constexpr std::size_t kMaxFindEntries = 51;
inline constexpr std::size_t kMaxFindEntryLength = 260;

struct FindOptions {
  bool matchCase = false;
  bool matchWord = false;
  bool up = false;
  std::vector<std::string> findTexts;
  std::vector<std::string> replaceTexts;
};

// Missing keys and values read as off and empty lists; list entries come in
// the store's order, cut to kMaxFindEntryLength characters.
FindOptions readFindOptions(platform::Registry& registry);
// Writes the options and the first kMaxFindEntries entries of each list
// (each cut to kMaxFindEntryLength characters), creating the keys when
// missing. Older entries past the ones written stay, except numbered ones
// from kMaxFindEntries on, which are removed: the store never holds more than
// kMaxFindEntries entries of a list. Failures are traced.
void storeFindOptions(platform::Registry& registry, const FindOptions& options);

// The first maxCharacters characters (code points) of a UTF-8 text.
std::string firstCharacters(const std::string& text, std::size_t maxCharacters);

// How leaving the source with changes goes.
struct SavePrompt {
  bool ask = true;       // PromptSave is 0 or missing
  bool saveWithoutAsking = true;  // YesSave, when not asking
};
SavePrompt readSavePrompt(platform::Registry& registry);
// The user's answer to the save question: PromptSave = doNotAskAgain,
// YesSave = save.
void storeSaveAnswer(platform::Registry& registry, bool save, bool doNotAskAgain);

}  // namespace velkin::app
