#include "book/chm_project.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "book/folder_walk.h"
#include "kb/build_files.h"
#include "kb/layout.h"
#include "kb/meta.h"
#include "platform/console_runner.h"
#include "platform/file_util.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/trace.h"

extern char** environ;

namespace velkin::book {
namespace {

using platform::joinPath;

constexpr const char* kProjectFiles[] = {kScriptFileName, kProjectFileName, kContentsFileName, kIndexFileName};

// Pages the compiler could not take are passed over.
std::string searchFirstPage(const std::string& root, const std::string& folder, WalkPath& way) {
  const FolderListing listing = readFolder(folder);
  if (!listing.readable || !way.enter(listing.identity)) return {};
  std::string found;
  for (const auto& entry : listing.entries) {
    const std::string path = joinPath(folder, entry.name);
    if (entry.isFolder()) {
      found = searchFirstPage(root, path, way);
    } else if (kb::pageKindOf(entry.name) == kb::ItemKind::Page && !kb::isBuildFileName(entry.name) &&
               unfitForBook(pathBelow(path, root)).empty()) {
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
      if (entry.isFolder()) {
        if (!kb::isCompanionFolderName(entry.name) && fitsTheBook(path)) addCategory(path, entry.name);
      } else if (!kb::isBuildFileName(entry.name) && kb::pageKindOf(entry.name) &&
                 pagePasses(filter_, path, entry.name) && fitsTheBook(path)) {
        addPage(path, entry.name);
      }
    }
  }

  BookContents take() { return {std::move(sitemap_), std::move(files_), std::move(leftOut_)}; }
  WalkPath& way() { return way_; }

 private:
  // A path the compiler cannot take is left out, with all below it, and
  // named in leftOut_.
  bool fitsTheBook(const std::string& path) {
    const std::string relative = pathBelow(path, projectFolder_);
    const std::string_view why = unfitForBook(relative);
    if (why.empty()) return true;
    leftOut_.push_back("left out of the book (" + std::string(why) + "): " + relative);
    return false;
  }

  // Only the first category met anywhere in the walk opens the topic.
  void addCategory(const std::string& path, const std::string& name) {
    const FolderListing listing = readFolder(path);
    if (listing.readable && !way_.enter(listing.identity)) {
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
    if (!listing.readable || !way_.enter(listing.identity)) return;
    for (const auto& entry : listing.entries) {
      const std::string path = joinPath(folder, entry.name);
      if (!fitsTheBook(path)) continue;
      if (entry.isFolder()) {
        addFilesBelow(path);
      } else {
        addFile(pathBelow(path, projectFolder_));
      }
    }
    way_.leave();
  }

  void addFile(const std::string& relative) {
    if (seen_.insert(relative).second) files_.push_back(relative);
  }

  const std::string& projectFolder_;
  std::string pendingTopic_;
  const kb::PageFilter& filter_;
  WalkPath way_;
  std::string sitemap_;
  std::vector<std::string> files_;
  std::vector<std::string> leftOut_;
  std::unordered_set<std::string> seen_;
};

std::string singleLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string checkSettings(const BookSettings& settings, const std::string& topic) {
  if (settings.outputPath.empty()) return "no output file given";
  if (const auto why = unfitForBook(settings.outputPath); !why.empty()) {
    return "the compiler cannot write the book there (" + std::string(why) + "): " + settings.outputPath;
  }
  if (const auto why = unfitForBook(topic); !why.empty()) {
    return "the topic page cannot go into the book (" + std::string(why) + "): " + topic;
  }
  return {};
}

}  // namespace

std::string_view unfitForBook(std::string_view path) {
  if (path.find('\\') != std::string_view::npos) return "the compiler takes a backslash for a folder separator";
  if (hasLineBreak(path)) return "a line break in its name";
  return {};
}

std::string firstPage(const std::string& folder) {
  WalkPath way;
  return searchFirstPage(folder, folder, way);
}

std::string defaultTopic(const std::string& projectFolder, const std::string& topicPage) {
  return pathBelow(topicPage.empty() ? firstPage(projectFolder) : topicPage, projectFolder);
}

std::string exportScriptText(const std::string& compilerPath, const std::string& projectFolder) {
  return platform::shellQuote(compilerPath) + "   " + platform::shellQuote(joinPath(projectFolder, kProjectFileName));
}

BookContents bookContents(const std::string& projectFolder, const std::string& topic,
                          const kb::PageFilter& filter) {
  ContentsWalk walk(projectFolder, topic, filter);
  walk.addTopicFile();
  const FolderListing listing = readFolder(projectFolder);
  const bool entered = listing.readable && walk.way().enter(listing.identity);
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
  BookContents contents = bookContents(category, topic, filter);
  const kb::HeldBuildFiles::Files files = {
      {kScriptFileName, exportScriptText(compilerPath, category)},
      {kProjectFileName, projectFileText(settings, topic, contents.files)},
      {kContentsFileName, contents.sitemap},
      {kIndexFileName, contents.sitemap},
  };
  outcome.files = kb::HeldBuildFiles::write(category, files, &outcome.error);
  if (!outcome.ok()) return outcome;
  outcome.scriptPath = joinPath(category, kScriptFileName);
  outcome.leftOut = std::move(contents.leftOut);
  return outcome;
}

void removeChmProject(const std::string& projectFolder) {
  const int fd = ::open(projectFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    kb::deleteUnheldBuildFiles(fd, projectFolder, {std::begin(kProjectFiles), std::end(kProjectFiles)});
    ::close(fd);
  }
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

bool openWithViewer(const std::string& path) {
  if (findOnPath(kViewerName).empty()) return false;
  const std::string script = std::string(kViewerName) + " \"$1\" </dev/null >/dev/null 2>&1 &";
  const char* argv[] = {"/bin/sh", "-c", script.c_str(), "sh", path.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velkin::book
