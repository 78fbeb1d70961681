#include "kb/layout.h"

#include "platform/text.h"

namespace velkin::kb {

using platform::endsWith;

bool isCompanionFolderName(std::string_view name) {
  return endsWith(name, ".files") || endsWith(name, "_files");
}

bool isBuildFileName(std::string_view name) {
  static constexpr std::string_view kBuildFiles[] = {
      "k==estrova.htm", "Contents.hhc", "ExportASCHM.bat", "Index.hhk", "Project.hhp"};
  for (const auto reserved : kBuildFiles) {
    if (name == reserved) return true;
  }
  return false;
}

std::optional<ItemKind> pageKindOf(std::string_view fileName) {
  if (endsWith(fileName, ".htm") || endsWith(fileName, ".HTM")) return ItemKind::Page;
  if (endsWith(fileName, ".html") || endsWith(fileName, ".HTML")) return ItemKind::HtmlPage;
  return std::nullopt;
}

size_t pageExtensionLength(ItemKind kind) { return kind == ItemKind::HtmlPage ? 5 : 4; }

std::string pageDisplayName(std::string_view fileName, ItemKind kind) {
  const size_t cut = pageExtensionLength(kind);
  return std::string(fileName.substr(0, fileName.size() > cut ? fileName.size() - cut : 0));
}

bool hasInvalidLetter(std::string_view name) {
  return name.find_first_of(kInvalidNameLetters) != std::string_view::npos;
}

std::string companionFolderFor(std::string_view pagePath) {
  const auto slash = pagePath.rfind('/');
  const auto dot = pagePath.rfind('.');
  const bool hasExtension = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
  return std::string(hasExtension ? pagePath.substr(0, dot) : pagePath) + ".files";
}

}  // namespace velkin::kb
