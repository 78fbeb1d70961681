#include "book/html_index.h"

#include "book/folder_walk.h"
#include "kb/layout.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::book {
namespace {

using platform::joinPath;

// A relative path as a link address: escaped for the attribute, and with the
// characters that a browser would read as the end of the path encoded.
std::string linkAddress(std::string_view relative) {
  std::string address;
  address.reserve(relative.size());
  for (const char c : relative) {
    switch (c) {
      case '%': address += "%25"; break;
      case '#': address += "%23"; break;
      case '?': address += "%3F"; break;
      default: address += c;
    }
  }
  return escapeHtml(address);
}

class IndexWalk {
 public:
  explicit IndexWalk(const std::string& root) : root_(root) {}

  void addFolder(const std::string& folder) {
    text_ += "<DT><H3>" + escapeHtml(platform::baseName(folder)) + "</H3>";
    text_ += "<DL><p>";
    const FolderListing listing = readFolder(folder);
    if (!listing.readable) return;
    if (way_.enter(listing.identity)) {
      for (const auto& entry : listing.entries) addEntry(folder, entry);
      way_.leave();
    } else {
      platform::trace("html index", "not following a link back into " + folder);
    }
    text_ += "</DL><p>";
  }

  std::string take() { return std::move(text_); }

 private:
  void addEntry(const std::string& folder, const FolderEntry& entry) {
    const std::string path = joinPath(folder, entry.name);
    if (entry.isFolder()) {
      if (!kb::isCompanionFolderName(entry.name)) addFolder(path);
    } else if (!kb::isBuildFileName(entry.name)) {
      text_ += "<DT><A HREF=\"" + linkAddress(pathBelow(path, root_)) + "\">" +
               escapeHtml(nameBeforeLastDot(entry.name)) + "</A>";
    }
  }

  const std::string& root_;
  WalkPath way_;
  std::string text_;
};

}  // namespace

std::string htmlIndexFolder(const std::string& selectedPath) {
  const std::string path = withoutTrailingSlash(selectedPath);
  if (platform::isDirectory(path)) return path;
  return std::string(platform::parentPath(path));
}

std::string htmlIndexText(const std::string& selectedPath) {
  const std::string root = withoutTrailingSlash(selectedPath);
  std::string text = "<META -----Welcome to use Velkin Web. >";
  text += std::string("<META -----Velkin Web 1.0    Homepage: ") + kb::kHomePageAddress + " >\r\n";
  text += "<TITLE>My Knowledge</TITLE>";
  text += "<H1>My Knowledge</H1>";
  text += "<DL><p>";
  IndexWalk walk(root);
  walk.addFolder(root);
  text += walk.take();
  text += "</DL><p>";
  return text;
}

IndexOutcome buildHtmlIndex(const std::string& selectedPath) {
  IndexOutcome outcome;
  outcome.path = joinPath(htmlIndexFolder(selectedPath), kHtmlIndexFileName);
  outcome.error = platform::writeFileAtomic(outcome.path, htmlIndexText(selectedPath));
  if (!outcome.ok()) platform::trace("html index", outcome.error);
  return outcome;
}

}  // namespace velkin::book
