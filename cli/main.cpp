// velkin: the command-line tool over the knowledge base, the settings store
// and (later) capture and book building.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

using velkin::cli::Arguments;
using velkin::cli::Context;

// Items print with full paths, so a relative --book is taken from here.
std::string absolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  char* here = getcwd(nullptr, 0);
  if (here == nullptr) return path;
  std::string absolute = velkin::platform::joinPath(here, path);
  std::free(here);
  return absolute;
}

struct Command {
  const char* name;
  int (*run)(Context&, const Arguments&);
};

constexpr Command kCommands[] = {
    {"list", velkin::cli::runList},
    {"search", velkin::cli::runSearch},
    {"meta", velkin::cli::runMeta},
    {"book-dir", velkin::cli::runBookDir},
    {"capture", velkin::cli::runCapture},
    {"build-chm", velkin::cli::runBuildChm},
    {"build-html", velkin::cli::runBuildHtml},
    {"registry", velkin::cli::runRegistry},
    {"register", velkin::cli::runRegister},
    {"unregister", velkin::cli::runUnregister},
};

}  // namespace

int main(int argc, char** argv) {
  velkin::platform::Registry registry(velkin::platform::configFolder());
  Context context{std::nullopt, std::cout, std::cerr, registry};
  Arguments args(argv + 1, argv + argc);
  // Global options come before the command word.
  size_t next = 0;
  while (next < args.size() && args[next].rfind("--", 0) == 0) {
    if (args[next] == "--help") {
      velkin::cli::usageError(context, "");
      return velkin::cli::kExitOk;
    }
    if (args[next] == "--book" && next + 1 < args.size()) {
      context.bookDirectory = absolutePath(args[next + 1]);
      next += 2;
      continue;
    }
    return velkin::cli::usageError(context, "unknown option " + args[next]);
  }
  if (next == args.size()) return velkin::cli::usageError(context, "no command given");
  const std::string& word = args[next];
  const Arguments rest(args.begin() + static_cast<long>(next) + 1, args.end());
  for (const Command& command : kCommands) {
    if (word == command.name) return command.run(context, rest);
  }
  return velkin::cli::usageError(context, "unknown command " + word);
}
