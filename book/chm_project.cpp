#include "book/chm_project.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "book/folder_walk.h"
#include "kb/layout.h"
#include "kb/meta.h"
#include "platform/console_runner.h"
#include "platform/file_util.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::book {
namespace {

using platform::joinPath;

constexpr const char* kProjectFiles[] = {kScriptFileName, kProjectFileName, kContentsFileName, kIndexFileName};

std::string searchFirstPage(const std::string& folder, WalkPath& way) {
  const FolderListing listing = readFolder(folder);
  if (!listing.readable || !way.enter(listing)) return {};
  std::string found;
  for (const auto& entry : listing.entries) {
    const std::string path = joinPath(folder, entry.name);
    if (entry.isFolder) {
      found = searchFirstPage(path, way);
    } else if (kb::pageKindOf(entry.name) == kb::ItemKind::Page && !kb::isBuildFileName(entry.name)) {
      found = path;
    }
    if (!found.empty()) break;
  }
  way.leave();
  return found;
}

bool pagePasses(const kb::PageFilter& filter, const std::string& path, std::string_view name) {
  return filter.mode == 0 || filter.passes(path, name);
}

// Walks a category once, writing its sitemap entries and collecting the
// files the book needs.
class ContentsWalk {
 public:
  ContentsWalk(const std::string& projectFolder, std::string topic, const kb::PageFilter& filter)
      : projectFolder_(projectFolder), pendingTopic_(std::move(topic)), filter_(filter) {}

  void addTopicFile() {
    if (!pendingTopic_.empty() && pendingTopic_.front() != '/') addFile(pendingTopic_);
  }

  // The entries of folder, which the caller has entered on way_.
  void addEntries(const std::string& folder, const FolderListing& listing) {
    for (const auto& entry : listing.entries) {
      const std::string path = joinPath(folder, entry.name);
      if (entry.isFolder) {
        if (!kb::isCompanionFolderName(entry.name)) addCategory(path, entry.name);
      } else if (!kb::isBuildFileName(entry.name) && kb::pageKindOf(entry.name) &&
                 pagePasses(filter_, path, entry.name)) {
        addPage(path, entry.name);
      }
    }
  }

  BookContents take() { return {std::move(sitemap_), std::move(files_)}; }
  WalkPath& way() { return way_; }

 private:
  // Only the first category met anywhere in the walk opens the topic.
  void addCategory(const std::string& path, const std::string& name) {
    const FolderListing listing = readFolder(path);
    if (listing.readable && !way_.enter(listing)) {
      platform::trace("book", "not following a link back into " + path);
      return;
    }
    sitemap_ += R"(<LI><OBJECT type="text/sitemap"><param name="Name" value=")" + escapeHtml(name) + "\">";
    if (!pendingTopic_.empty()) {
      sitemap_ += R"(<param name="Local" value=")" + escapeHtml(pendingTopic_) + "\">";
      pendingTopic_.clear();
    }
    sitemap_ += "</OBJECT><UL>";
    if (listing.readable) {
      addEntries(path, listing);
      way_.leave();
    }
    sitemap_ += "</UL>";
  }

  void addPage(const std::string& path, const std::string& name) {
    const std::string local = pathBelow(path, projectFolder_);
    sitemap_ += R"(<LI><OBJECT type="text/sitemap"><param name="Name" value=")" +
                escapeHtml(nameBeforeLastDot(name)) + R"("><param name="Local" value=")" + escapeHtml(local) +
                "\"></OBJECT>";
    addFile(local);
    for (const auto& companion : platform::companionFoldersOf(path)) addFilesBelow(companion);
  }

  void addFilesBelow(const std::string& folder) {
    const FolderListing listing = readFolder(folder);
    if (!listing.readable || !way_.enter(listing)) return;
    for (const auto& entry : listing.entries) {
      const std::string path = joinPath(folder, entry.name);
      if (entry.isFolder) {
        addFilesBelow(path);
      } else {
        addFile(pathBelow(path, projectFolder_));
      }
    }
    way_.leave();
  }

  // A name with a line break cannot be written as a project file line.
  void addFile(const std::string& relative) {
    if (hasLineBreak(relative)) {
      platform::trace("book", "left out of the book (line break in its name): " + relative);
      return;
    }
    if (seen_.insert(relative).second) files_.push_back(relative);
  }

  const std::string& projectFolder_;
  std::string pendingTopic_;
  const kb::PageFilter& filter_;
  WalkPath way_;
  std::string sitemap_;
  std::vector<std::string> files_;
  std::unordered_set<std::string> seen_;
};

std::string singleLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void deleteProjectFiles(const std::string& projectFolder) {
  for (const char* name : kProjectFiles) {
    const std::string path = joinPath(projectFolder, name);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      platform::trace("book", "cannot delete " + path + ": " + std::strerror(errno));
    }
  }
}

std::string checkSettings(const BookSettings& settings, const std::string& topic) {
  if (settings.outputPath.empty()) return "no output file given";
  if (hasLineBreak(settings.outputPath)) return "the output file name contains a line break: " + settings.outputPath;
  if (hasLineBreak(topic)) return "the topic page name contains a line break: " + topic;
  return {};
}

}  // namespace

std::string firstPage(const std::string& folder) {
  WalkPath way;
  return searchFirstPage(folder, way);
}

std::string defaultTopic(const std::string& projectFolder, const std::string& topicPage) {
  return pathBelow(topicPage.empty() ? firstPage(projectFolder) : topicPage, projectFolder);
}

std::string exportScriptText(const std::string& compilerPath, const std::string& projectFolder,
                             const BookSettings& settings) {
  std::string text = platform::shellQuote(compilerPath) + "   " +
                     platform::shellQuote(joinPath(projectFolder, kProjectFileName));
  if (settings.openBook) {
    // The viewer runs on its own, its output away from the build's pipes:
    // the build ends when the compiler does, not when the viewer is closed.
    text += std::string("\n") + kViewerName + "   " + platform::shellQuote(settings.outputPath) +
            " </dev/null >/dev/null 2>&1 &";
  }
  return text;
}

BookContents bookContents(const std::string& projectFolder, const std::string& topic,
                          const kb::PageFilter& filter) {
  ContentsWalk walk(projectFolder, topic, filter);
  walk.addTopicFile();
  const FolderListing listing = readFolder(projectFolder);
  const bool entered = listing.readable && walk.way().enter(listing);
  std::string head = std::string(R"(<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">)") +
                     "<!Welcome to use Velkin Web 1.0 >" +
                     R"(<HTML><HEAD><META name="GENERATOR" content="Velkin Web1.0"><META name="Author" content="Velkin">)" +
                     R"(<META name="site" content=")" + kb::kHomePageAddress + R"(">)" +
                     "<!-- Sitemap 1.0 --></HEAD>" + "<BODY>" +
                     R"(<OBJECT type="text/site properties"><param name="ImageType" value="Folder"></OBJECT>)" +
                     "<UL>";
  if (entered) walk.addEntries(projectFolder, listing);
  BookContents contents = walk.take();
  contents.sitemap = head + contents.sitemap + "</UL>" + "</BODY></HTML>";
  return contents;
}

std::string projectFileText(const BookSettings& settings, const std::string& topic,
                            const std::vector<std::string>& files) {
  std::string text = "[OPTIONS]\r\n";
  text += "Compatibility=1.1 or later\r\n";
  text += "Compiled file=" + settings.outputPath + "\r\n";
  text += std::string("Contents file=") + kContentsFileName + "\r\n";
  text += "Default topic=" + topic + "\r\n";
  text += "Title=" + singleLine(settings.title) + "\r\n";
  text += "Full-text search=Yes\r\n";
  text += std::string("Index file=") + kIndexFileName + "\r\n";
  text += "Language=" + singleLine(settings.language) + "\r\n";
  text += settings.showProgress ? "Display compile progress=YES\r\n" : "Display compile progress=NO\r\n";
  text += "[INFOTYPES]\r\n";
  // The compiler takes exactly these files into the book, wherever it is
  // started from; it finds the pictures they show by scanning them.
  text += "[FILES]";
  for (const auto& file : files) text += "\r\n" + file;
  return text;
}

ProjectOutcome writeChmProject(const std::string& categoryPath, const BookSettings& settings,
                               const std::string& compilerPath, const kb::PageFilter& filter) {
  ProjectOutcome outcome;
  const std::string category = withoutTrailingSlash(categoryPath);
  if (!platform::isDirectory(category)) {
    outcome.error = "no such category: " + category;
    return outcome;
  }
  const std::string topic = defaultTopic(category, settings.topicPage);
  outcome.error = checkSettings(settings, topic);
  if (!outcome.ok()) return outcome;
  const BookContents contents = bookContents(category, topic, filter);
  const std::pair<const char*, std::string> files[] = {
      {kScriptFileName, exportScriptText(compilerPath, category, settings)},
      {kProjectFileName, projectFileText(settings, topic, contents.files)},
      {kContentsFileName, contents.sitemap},
      {kIndexFileName, contents.sitemap},
  };
  for (const auto& [name, text] : files) {
    outcome.error = platform::writeFileAtomic(joinPath(category, name), text);
    if (!outcome.ok()) {
      deleteProjectFiles(category);
      return outcome;
    }
  }
  outcome.scriptPath = joinPath(category, kScriptFileName);
  return outcome;
}

void removeChmProject(const std::string& projectFolder) {
  deleteProjectFiles(projectFolder);
  const std::string leftover = joinPath(projectFolder, kLeftoverPageName);
  if (!platform::pathExists(leftover)) return;
  const platform::ShellResult trashed = platform::shellTrash(leftover);
  if (!trashed.ok) platform::trace("book", "cannot move " + leftover + " to the Trash: " + trashed.error);
}

std::string findOnPath(std::string_view program) {
  const auto runnable = [](const std::string& path) {
    return platform::isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
  };
  if (program.empty()) return {};
  if (program.find('/') != std::string_view::npos) {
    return runnable(std::string(program)) ? std::string(program) : std::string();
  }
  const char* pathVariable = std::getenv("PATH");
  const std::string_view searched = pathVariable != nullptr ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= searched.size()) {
    const size_t end = std::min(searched.find(':', start), searched.size());
    const std::string_view folder = searched.substr(start, end - start);
    const std::string candidate = joinPath(folder.empty() ? "." : folder, program);
    if (runnable(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace velkin::book
