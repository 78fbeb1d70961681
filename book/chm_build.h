// One owner's compiled-help builds: writes the project into a category,
// runs its script through a console runner, forwards what the compiler
// prints, and cleans up when the script ends.
//
// Everything the session does happens on its owner's thread, through the
// owner's Post function: the runner's threads only post (output chunks, and
// the end as a posted command), never call the owner. Posted commands
// (platform::CommandQueue):
//   kStdioStart: start a script. A bare file name is taken from the folder of
//                the book being built, where the script is written; the
//                script is run by /bin/sh.
//   kStdioEnded: the script has ended: delete the project files and move a
//                "k==estrova.htm" in the book's folder to the Trash; then
//                write the text to the script's input if there is one, else
//                close the runner. Ends the build.
//   kStdioInput: write the text to the script's input.
// The owner's output function receives (kind, text): kTitle "Velkin - " and
// the command line when the script has started, then a kError line
// "Warning: ..." for each file left out of the book, kOutput and kError for
// each chunk the script prints, in the order they arrive, and a kError line
// when the project was taken away while the compiler ran.
//
// The project files are held while the build runs, so no listing deletes
// them (kb/build_files.h), and removed when it ends, also when the compiler
// fails or the script cannot be started. The compiler writes a temporary
// file beside the book; it replaces the book only when it is a compiled file
// and the project files were in place until the compiler ended, so a failed
// build leaves an earlier book as it was. Only then is the book handed to
// the viewer, when it is to be opened.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "book/book_settings.h"
#include "kb/build_files.h"
#include "kb/page_filter.h"
#include "platform/command_queue.h"
#include "platform/console_runner.h"

namespace velkin::book {

enum OutputKind : int { kTitle = 1, kOutput = 2, kError = 3 };

struct BuildResult {
  bool started = false;      // the script ran
  bool bookWritten = false;  // a new compiled file is at the output path
  std::string outputPath;
};

class ChmBuildSession {
 public:
  using Task = platform::CommandQueue::Task;
  using Post = platform::CommandQueue::Post;
  using Output = std::function<void(int kind, const std::string& text)>;
  using Finished = std::function<void(const BuildResult& result)>;

  ChmBuildSession(Post post, Output output, Finished finished);
  // Stops a running script and removes its project files; finished is not
  // called for that build.
  ~ChmBuildSession();
  ChmBuildSession(const ChmBuildSession&) = delete;
  ChmBuildSession& operator=(const ChmBuildSession&) = delete;

  // Owner's thread. Writes the project into category with the compiler found
  // on PATH and posts the start of its script. Returns "" or, with nothing
  // started, why: another build still runs (here, or in category anywhere),
  // the compiler is missing, the output folder is missing or not writable,
  // or the project could not be written. finished is called once for each
  // build that was accepted.
  std::string build(const std::string& category, const BookSettings& settings,
                    const kb::PageFilter& filter = {});

  // Any thread: posts a command (code and text) to the owner's thread.
  void postCommand(int code, std::string text);

  bool isBuilding() const { return building_; }
  // The command line of the last script started.
  const std::string& lastCommand() const { return lastCommand_; }

 private:
  class Runner;

  void handleCommand(int code, const std::string& text);
  void startScript(const std::string& text);
  void scriptEnded(const std::string& text);
  void finishBuild(bool projectIntact);
  bool placeBook();
  void endProject();
  void discardCompiledFile();
  // Posts a task that runs only while this session is alive.
  void postGuarded(Task task);
  void forward(int kind, std::string text);

  Post post_;
  Output output_;
  Finished finished_;
  std::shared_ptr<ChmBuildSession*> alive_;
  platform::CommandQueue queue_;
  std::unique_ptr<Runner> runner_;
  bool runnerOpen_ = false;
  bool building_ = false;
  bool started_ = false;
  std::string projectFolder_;
  std::unique_ptr<kb::HeldBuildFiles> projectFiles_;
  std::vector<std::string> leftOut_;
  std::string outputPath_;
  std::string compiledPath_;  // where the compiler writes, beside outputPath_
  bool openBook_ = false;
  std::string lastCommand_;
};

// The compiler for a build: the first "chmcmd" on PATH, or "".
std::string findCompiler();

// Says why the compiler cannot be started, for the user.
inline constexpr char kCompilerMissingMessage[] = "cannot start the compiler chmcmd: not found on PATH";

}  // namespace velkin::book
