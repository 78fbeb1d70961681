// The book commands: build-chm compiles a category into a compiled-help
// book, streaming the compiler's output; build-html writes the category's
// "MyKnowledge.htm" index page.
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "book/book_settings.h"
#include "book/chm_build.h"
#include "book/chm_project.h"
#include "book/html_index.h"
#include "cli/cli.h"
#include "kb/project_tree.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "platform/task_loop.h"
#include "platform/text.h"

namespace velkin::cli {
namespace {

struct SelectedItem {
  std::string path;
  std::string text;  // what the project tree shows for it
  bool isPage = false;
};

// CATEGORY as velkin list takes it: a path under the book directory, or a
// full path inside it; "" and "/" are the root. nullopt when the tree has no
// such item.
std::optional<SelectedItem> findItem(Context& context, const std::string& category) {
  kb::ProjectTree::Options options;
  options.bookDirectory = context.bookDirectory;
  kb::ProjectTree tree(context.registry, options);
  tree.fill();
  const kb::TreeItem* item = tree.root();
  if (!category.empty() && category != "/") {
    const bool absolute = category.front() == '/';
    item = tree.findPath(absolute ? category : platform::joinPath(tree.bookDirectory(), category));
  }
  std::optional<SelectedItem> found;
  if (item != nullptr) found = SelectedItem{tree.pathOf(item), item->text, item->isPage()};
  // The command line leaves the project tree's remembered selection alone.
  tree.select(nullptr);
  return found;
}

std::string absoluteFromHere(const std::string& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

struct ChmArguments {
  std::string category;
  bool haveCategory = false;
  std::string output;
  std::optional<std::string> title;
  std::string topic;
  std::string language{book::kDefaultLanguage};
  bool openBook = false;
  bool showProgress = false;
};

// Parses the build-chm arguments; "" or the reason they are wrong.
std::string parseChmArguments(const Arguments& args, ChmArguments& parsed) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "-o" || arg == "--title" || arg == "--topic" || arg == "--language";
    if (takesValue && i + 1 >= args.size()) return arg + " needs a value";
    if (arg == "-o") {
      parsed.output = args[++i];
    } else if (arg == "--title") {
      parsed.title = args[++i];
    } else if (arg == "--topic") {
      parsed.topic = args[++i];
    } else if (arg == "--language") {
      const std::string_view entry = book::findLanguageEntry(args[++i]);
      if (entry.empty()) return "unknown language " + args[i];
      parsed.language = std::string(entry);
    } else if (arg == "--open") {
      parsed.openBook = true;
    } else if (arg == "--progress") {
      parsed.showProgress = true;
    } else if (arg.size() > 1 && arg.front() == '-') {
      return "unknown option " + arg;
    } else if (!parsed.haveCategory) {
      parsed.category = arg;
      parsed.haveCategory = true;
    } else {
      return "more than one category given";
    }
  }
  if (!parsed.haveCategory) return "give the CATEGORY to build";
  if (parsed.output.empty()) return "give the book to write with -o OUT.chm";
  return {};
}

// The compiler's output as the build progress bar shows it: the title line,
// then each chunk as it comes.
void printBuildOutput(Context& context, int kind, const std::string& text) {
  if (kind == book::kTitle) {
    context.out << text << "\n" << std::flush;
  } else if (kind == book::kOutput || kind == book::kError) {
    context.out << text << std::flush;
  }
}

}  // namespace

int runBuildChm(Context& context, const Arguments& args) {
  ChmArguments parsed;
  if (const std::string wrong = parseChmArguments(args, parsed); !wrong.empty()) {
    return usageError(context, "build-chm: " + wrong);
  }
  const auto item = findItem(context, parsed.category);
  if (!item) return failure(context, "no such category: " + parsed.category);
  if (item->isPage) return failure(context, book::kSelectFolderMessage);

  book::BookSettings settings;
  settings.title = parsed.title.value_or(item->text);
  settings.language = parsed.language;
  settings.openBook = parsed.openBook;
  settings.showProgress = parsed.showProgress;
  settings.outputPath = absoluteFromHere(parsed.output);
  if (!parsed.topic.empty()) {
    settings.topicPage = parsed.topic.front() == '/' ? parsed.topic : platform::joinPath(item->path, parsed.topic);
    if (!platform::isRegularFile(settings.topicPage)) return failure(context, "no such page: " + parsed.topic);
  }

  platform::TaskLoop loop;
  bool done = false;
  book::BuildResult result;
  book::ChmBuildSession session(
      loop.poster(), [&](int kind, const std::string& text) { printBuildOutput(context, kind, text); },
      [&](const book::BuildResult& finished) {
        result = finished;
        done = true;
      });
  if (const std::string error = session.build(item->path, settings); !error.empty()) {
    return failure(context, error);
  }
  // The compiler may take long on a large category; the user can stop it.
  loop.runUntil([&] { return done; }, std::chrono::hours(24 * 365));
  if (!result.started) return failure(context, "the build script could not be started");
  if (!result.bookWritten) return failure(context, "the compiler did not write " + settings.outputPath);
  return kExitOk;
}

int runBuildHtml(Context& context, const Arguments& args) {
  bool open = true;
  std::optional<std::string> category;
  for (const auto& arg : args) {
    if (arg == "--no-open") {
      open = false;
    } else if (arg.size() > 1 && arg.front() == '-') {
      return usageError(context, "build-html: unknown option " + arg);
    } else if (!category) {
      category = arg;
    } else {
      return usageError(context, "build-html: more than one category given");
    }
  }
  if (!category) return usageError(context, "build-html: give the CATEGORY to index");
  const auto item = findItem(context, *category);
  if (!item) return failure(context, "no such category: " + *category);
  const book::IndexOutcome outcome = book::buildHtmlIndex(item->path);
  if (!outcome.ok()) return failure(context, outcome.error);
  context.out << outcome.path << "\n" << std::flush;
  if (open && !book::openWithViewer(outcome.path)) {
    context.err << "velkin: cannot open " << outcome.path << " with " << book::kViewerName << "\n";
  }
  return kExitOk;
}

}  // namespace velkin::cli
