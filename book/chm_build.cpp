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
  void started(const std::string& commandLine) override { forward(kTitle, "Velkin - " + commandLine); }
  void outputText(std::string_view chunk) override { forward(kOutput, std::string(chunk)); }
  void errorText(std::string_view chunk) override { forward(kError, std::string(chunk)); }
  void ended() override { session_.postCommand(platform::kStdioEnded, ""); }

 private:
  void forward(int kind, std::string text) {
    ChmBuildSession& session = session_;
    session.postGuarded([&session, kind, text = std::move(text)] {
      if (session.output_) session.output_(kind, text);
    });
  }

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
  removeChmProject(projectFolder_);
  discardEmptyOutput();
}

void ChmBuildSession::postGuarded(Task task) {
  std::weak_ptr<ChmBuildSession*> alive = alive_;
  post_([alive = std::move(alive), task = std::move(task)] {
    if (alive.lock()) task();
  });
}

void ChmBuildSession::postCommand(int code, std::string text) { queue_.postCommand(code, std::move(text)); }

std::string ChmBuildSession::build(const std::string& category, const BookSettings& settings,
                                   const kb::PageFilter& filter) {
  if (building_) return "a book is already being built";
  const std::string compiler = findCompiler();
  if (compiler.empty()) return kCompilerMissingMessage;
  const std::string outputFolder(platform::parentPath(settings.outputPath));
  if (!settings.outputPath.empty() && !platform::isDirectory(outputFolder.empty() ? "." : outputFolder)) {
    return "no such folder for the book: " + outputFolder;
  }
  if (platform::isDirectory(settings.outputPath)) return "the book would replace a folder: " + settings.outputPath;
  const std::string folder = withoutTrailingSlash(category);
  const ProjectOutcome project = writeChmProject(folder, settings, compiler, filter);
  if (!project.ok()) return project.error;
  prepareOutput(settings);
  projectFolder_ = folder;
  building_ = true;
  started_ = false;
  postCommand(platform::kStdioStart, project.scriptPath);
  return {};
}

// The viewer is handed a file that exists even before the compiler runs. An
// existing book is left as it is until the compiler replaces it.
void ChmBuildSession::prepareOutput(const BookSettings& settings) {
  outputPath_ = settings.outputPath;
  createdEmptyOutput_ = false;
  if (settings.openBook) {
    const int fd = ::open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      createdEmptyOutput_ = true;
    } else if (errno != EEXIST) {
      platform::trace("book", "cannot create " + outputPath_ + ": " + std::strerror(errno));
    }
  }
  outputBefore_ = stampOf(outputPath_);
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
    return;
  }
  // The runner has reported why; the build still ends and cleans up.
  postCommand(platform::kStdioEnded, "");
}

void ChmBuildSession::scriptEnded(const std::string& text) {
  if (!projectFolder_.empty()) removeChmProject(projectFolder_);
  if (!text.empty()) {
    runner_->write(text);
  } else {
    runner_->close();
    runnerOpen_ = false;
  }
  finishBuild();
}

void ChmBuildSession::finishBuild() {
  if (!building_) return;
  building_ = false;
  BuildResult result;
  result.started = started_;
  result.outputPath = outputPath_;
  result.bookWritten = outputWritten();
  if (!result.bookWritten) discardEmptyOutput();
  if (finished_) finished_(result);
}

// The empty file made for the viewer is not kept when no book came of it.
void ChmBuildSession::discardEmptyOutput() {
  const FileStamp now = stampOf(outputPath_);
  if (!createdEmptyOutput_ || !now.exists || now.size != 0) return;
  if (::unlink(outputPath_.c_str()) != 0) platform::trace("book", "cannot delete " + outputPath_);
  createdEmptyOutput_ = false;
}

ChmBuildSession::FileStamp ChmBuildSession::stampOf(const std::string& path) {
  FileStamp stamp;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return stamp;
}

// The compiler's exit status does not tell (it ends with 0 even when it
// cannot read its project), so the output itself is checked: a compiled file
// that was not there, or not in this form, before the build.
bool ChmBuildSession::outputWritten() const {
  const FileStamp now = stampOf(outputPath_);
  if (!now.exists || now.size == 0) return false;
  const bool changed = !outputBefore_.exists || now.device != outputBefore_.device ||
                       now.inode != outputBefore_.inode || now.size != outputBefore_.size ||
                       now.modifiedNs != outputBefore_.modifiedNs;
  return changed && startsWithSignature(outputPath_);
}

std::string findCompiler() { return findOnPath(kCompilerName); }

}  // namespace velkin::book
