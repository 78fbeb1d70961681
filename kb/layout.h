// The on-disk layout of a knowledge base: which folders are categories, which
// files are pages and of what kind, companion folders and the reserved build
// file names. Pure name rules; nothing here touches the disk.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkin::kb {

// Kinds of project tree items. The numbers are stored with each item.
enum class ItemKind : int {
  Root = 0,
  Category = 1,
  Page = 2,      // a page ending in ".htm" or ".HTM"
  HtmlPage = 3,  // a page ending in ".html" or ".HTML"
};

inline bool isPageKind(ItemKind kind) { return kind == ItemKind::Page || kind == ItemKind::HtmlPage; }

// A folder whose name ends in ".files" or "_files" (the last six letters,
// compared case-sensitively) holds a page's resources: never a category.
bool isCompanionFolderName(std::string_view name);

// "k==estrova.htm", "Contents.hhc", "ExportASCHM.bat", "Index.hhk",
// "Project.hhp", compared case-sensitively with the whole name.
bool isBuildFileName(std::string_view name);

// Page kind by the file name's ending: exactly ".htm"/".HTM" or
// ".html"/".HTML". nullopt for any other file (".Htm", "a.htm.bak", ...).
std::optional<ItemKind> pageKindOf(std::string_view fileName);

// Number of letters of the page extension of a page of this kind (4 or 5).
size_t pageExtensionLength(ItemKind kind);

// "a.html" -> "a". The name must be a page name of that kind.
std::string pageDisplayName(std::string_view fileName, ItemKind kind);

// The nine letters a category name may not contain.
inline constexpr std::string_view kInvalidNameLetters = "\\/:*?\"<>|";
bool hasInvalidLetter(std::string_view name);

// The companion folder a capture creates for a page: the page's path without
// its extension, then ".files".
std::string companionFolderFor(std::string_view pagePath);

}  // namespace velkin::kb
