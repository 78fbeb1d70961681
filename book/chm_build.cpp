#include "book/chm_build.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "book/chm_project.h"
#include "book/folder_walk.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::book {
namespace {

// Every compiled file begins with these four bytes.
constexpr std::string_view kCompiledFileSignature = "ITSF";

bool startsWithSignature(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[4] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  return got == static_cast<ssize_t>(sizeof head) && std::string_view(head, sizeof head) == kCompiledFileSignature;
}

}  // namespace

// Hands every callback of the runner's threads to the owner's thread.
class ChmBuildSession::Runner final : public platform::ConsoleRunner {
 public:
  explicit Runner(ChmBuildSession& session) : session_(session) {}
  ~Runner() override { close(); }

 protected:
  void started(const std::string& commandLine) override { session_.forward(kTitle, "Velkin - " + commandLine); }
  void outputText(std::string_view chunk) override { session_.forward(kOutput, std::string(chunk)); }
  void errorText(std::string_view chunk) override { session_.forward(kError, std::string(chunk)); }
  void ended() override { session_.postCommand(platform::kStdioEnded, ""); }

 private:
  ChmBuildSession& session_;
};

ChmBuildSession::ChmBuildSession(Post post, Output output, Finished finished)
    : post_(std::move(post)),
      output_(std::move(output)),
      finished_(std::move(finished)),
      alive_(std::make_shared<ChmBuildSession*>(this)),
      queue_([this](Task task) { postGuarded(std::move(task)); },
             [this](int code, const std::string& text) { handleCommand(code, text); }),
      runner_(std::make_unique<Runner>(*this)) {}

ChmBuildSession::~ChmBuildSession() {
  // The runner's threads are joined first, so nothing posts from them any
  // more; tasks already posted find the session gone and do nothing.
  runner_->close();
  alive_.reset();
  if (!building_) return;
  endProject();
  discardCompiledFile();
}

void ChmBuildSession::postGuarded(Task task) {
  std::weak_ptr<ChmBuildSession*> alive = alive_;
  post_([alive = std::move(alive), task = std::move(task)] {
    if (alive.lock()) task();
  });
}

// Any thread: the text reaches the owner's output on its own thread, after
// everything forwarded before it.
void ChmBuildSession::forward(int kind, std::string text) {
  postGuarded([this, kind, text = std::move(text)] {
    if (output_) output_(kind, text);
  });
}

void ChmBuildSession::postCommand(int code, std::string text) { queue_.postCommand(code, std::move(text)); }

std::string ChmBuildSession::build(const std::string& category, const BookSettings& settings,
                                   const kb::PageFilter& filter) {
  if (building_) return "a book is already being built";
  const std::string compiler = findCompiler();
  if (compiler.empty()) return kCompilerMissingMessage;
  if (settings.outputPath.empty()) return "no output file given";
  const std::string outputFolder(platform::parentPath(settings.outputPath));
  const std::string folderOfBook = outputFolder.empty() ? "." : outputFolder;
  if (!platform::isDirectory(folderOfBook)) return "no such folder for the book: " + outputFolder;
  if (platform::isDirectory(settings.outputPath)) return "the book would replace a folder: " + settings.outputPath;
  if (const auto why = unfitForBook(folderOfBook); !why.empty()) {
    return "the compiler cannot write into " + folderOfBook + " (" + std::string(why) + ")";
  }
  // The compiler writes beside the book, so that the book is replaced by a
  // rename, and only by a good one.
  std::string compiled;
  const int fd = platform::createUniqueFile(folderOfBook, ".velkin-book-" + std::to_string(::getpid()) + "-",
                                            ".chm", &compiled);
  if (fd < 0) return "cannot write the book in " + folderOfBook + ": " + std::strerror(errno);
  ::close(fd);
  BookSettings project = settings;
  project.outputPath = compiled;
  const std::string folder = withoutTrailingSlash(category);
  ProjectOutcome written = writeChmProject(folder, project, compiler, filter);
  if (!written.ok()) {
    ::unlink(compiled.c_str());
    return written.error;
  }
  projectFolder_ = folder;
  projectFiles_ = std::move(written.files);
  leftOut_ = std::move(written.leftOut);
  outputPath_ = settings.outputPath;
  compiledPath_ = compiled;
  openBook_ = settings.openBook;
  building_ = true;
  started_ = false;
  postCommand(platform::kStdioStart, written.scriptPath);
  return {};
}

void ChmBuildSession::handleCommand(int code, const std::string& text) {
  switch (code) {
    case platform::kStdioStart:
      startScript(text);
      break;
    case platform::kStdioEnded:
      scriptEnded(text);
      break;
    case platform::kStdioInput:
      runner_->write(text);
      break;
    default:
      break;
  }
}

void ChmBuildSession::startScript(const std::string& text) {
  const bool bareName = text.find('/') == std::string::npos;
  const std::string script = bareName && !projectFolder_.empty() ? platform::joinPath(projectFolder_, text) : text;
  const std::string command = "/bin/sh " + platform::shellQuote(script);
  // A script still attached from before is closed by open() itself.
  if (runner_->open(command, false)) {
    runnerOpen_ = true;
    started_ = true;
    lastCommand_ = command;
    // After the title, which open() has just forwarded.
    for (const std::string& line : leftOut_) forward(kError, "Warning: " + line + "\n");
    leftOut_.clear();
    return;
  }
  // The runner has reported why; the build still ends and cleans up.
  postCommand(platform::kStdioEnded, "");
}

void ChmBuildSession::scriptEnded(const std::string& text) {
  // Whether the compiler read the project as written, before it goes.
  const bool projectIntact = projectFiles_ != nullptr && projectFiles_->intact();
  endProject();
  if (!text.empty()) {
    runner_->write(text);
  } else {
    runner_->close();
    runnerOpen_ = false;
  }
  finishBuild(projectIntact);
}

void ChmBuildSession::endProject() {
  if (projectFiles_) projectFiles_->remove();
  projectFiles_.reset();
  if (!projectFolder_.empty()) removeChmProject(projectFolder_);
}

void ChmBuildSession::finishBuild(bool projectIntact) {
  if (!building_) return;
  building_ = false;
  BuildResult result;
  result.started = started_;
  result.outputPath = outputPath_;
  if (started_ && !projectIntact && output_) {
    output_(kError, "The project files were taken away while the compiler ran; " + outputPath_ +
                        " was not replaced.\n");
  }
  result.bookWritten = projectIntact && placeBook();
  discardCompiledFile();
  if (result.bookWritten && openBook_ && !openWithViewer(outputPath_)) {
    platform::trace("book", std::string("cannot open ") + outputPath_ + " with " + kViewerName);
  }
  if (finished_) finished_(result);
}

// The compiler's exit status does not tell (it ends with 0 even when it
// cannot read its project), so its output itself is checked: a compiled
// file, which then replaces the book in one step.
bool ChmBuildSession::placeBook() {
  if (!startsWithSignature(compiledPath_)) return false;
  if (::rename(compiledPath_.c_str(), outputPath_.c_str()) != 0) {
    platform::trace("book", "cannot replace " + outputPath_ + ": " + std::strerror(errno));
    return false;
  }
  compiledPath_.clear();
  return true;
}

void ChmBuildSession::discardCompiledFile() {
  if (compiledPath_.empty()) return;
  if (::unlink(compiledPath_.c_str()) != 0 && errno != ENOENT) {
    platform::trace("book", "cannot delete " + compiledPath_ + ": " + std::strerror(errno));
  }
  compiledPath_.clear();
}

std::string findCompiler() { return findOnPath(kCompilerName); }

}  // namespace velkin::book
