// The velkin command line: each command is a function taking its own
// arguments (after the command word) and the run's context. They return the
// process exit status: 0 success, 1 failure, 2 bad arguments (usage printed).
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace velkin::platform {
class Registry;
}

namespace velkin::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Context {
  std::optional<std::string> bookDirectory;  // --book DIR, for this run only
  std::ostream& out;
  std::ostream& err;
  platform::Registry& registry;  // the settings store, one for the whole run
};

using Arguments = std::vector<std::string>;

int runList(Context& context, const Arguments& args);
int runSearch(Context& context, const Arguments& args);
int runMeta(Context& context, const Arguments& args);
// book-dir [--create]: prints the book directory in use.
int runBookDir(Context& context, const Arguments& args);
// capture SOURCE --into CATEGORY [...]: a page and its resources into a category.
int runCapture(Context& context, const Arguments& args);
// register / unregister [LIBRARY] [options]: a capture library's keys and the
// browsers' native messaging host manifests written or removed.
int runRegister(Context& context, const Arguments& args);
int runUnregister(Context& context, const Arguments& args);
// build-chm CATEGORY -o OUT.chm [...] and build-html CATEGORY [--no-open].
int runBuildChm(Context& context, const Arguments& args);
int runBuildHtml(Context& context, const Arguments& args);
// registry get KEY [VALUE] | set KEY VALUE DATA [--dword] | export [KEY]
int runRegistry(Context& context, const Arguments& args);

// Prints "velkin: MESSAGE" and the usage text to context.err; returns 2.
int usageError(Context& context, const std::string& message);
// Prints "velkin: MESSAGE" to context.err; returns 1.
int failure(Context& context, const std::string& message);

}  // namespace velkin::cli
