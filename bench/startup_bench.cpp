// startup_bench: how long kestrova takes from its start to its shown main
// window with the welcome page loaded, against a bare browser window loading
// the same page (minimal_webengine_window). Both run on Qt's offscreen
// platform with a settings store and data folder of their own in a
// temporary folder, and quit as soon as the page has loaded; each is timed
// from spawn to exit, as the median of several alternating runs after one
// warm-up each. Prints "startup ratio R goal <= 1.5", with the absolute
// times as "# " comment lines; exits 0 whether or not the goal is met.
//
//   startup_bench [--runs N]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "kb_generator.h"

namespace {

using namespace velkin::bench;

constexpr double kGoal = 1.5;

void usage() {
  std::fprintf(stderr, "usage: startup_bench [--runs N]\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
      if (runs < 1) usage();
    } else {
      usage();
    }
  }

  const std::string scratch = makeTempFolder("startup_bench");
  makeFolder(scratch + "/config");
  makeFolder(scratch + "/data");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("VELKIN_CONFIG_DIR", (scratch + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (scratch + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
  setenv("VELKIN_NO_TIP", "1", 1);

  compare("startup", kGoal, {KESTROVA_PATH, "--exit-when-shown"}, {MINIMAL_WINDOW_PATH, WELCOME_PAGE}, 0, runs,
          scratch);

  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return 0;
}
