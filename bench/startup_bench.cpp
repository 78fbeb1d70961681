// startup_bench: how long kestrova takes from its start to its shown main
// window with the welcome page loaded, against a bare browser window loading
// the same page (minimal_webengine_window). Both run on Qt's offscreen
// platform with a settings store and data folder of their own in a
// temporary folder, and quit as soon as the page has loaded; each is timed
// from spawn to exit, as the median of several alternating runs after one
// warm-up each. Prints "startup ratio R goal <= 1.5", with the absolute
// times as "# " comment lines.
//
// Then, in this program on the same platform, Edit Source on a 5 MB page
// file (source_measure.h): from the call that loads the file into the
// source view to its text painted, against reading the same file into a
// plain, uncoloured text edit, as "edit_source_open ratio R goal <= 3", with
// the longest stall of the user-interface thread from the call to the whole
// text coloured, and the times, as "# " lines. Medians of up to three runs.
// Exits 0 whether or not the goals are met.
//
//   startup_bench [--runs N]
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "app/source_view.h"
#include "kb_generator.h"
#include "platform/registry.h"
#include "source_measure.h"

namespace {

using namespace velkin::bench;

constexpr double kGoal = 1.5;
constexpr double kEditSourceGoal = 3;
constexpr int kMaxEditSourceRuns = 3;

void usage() {
  std::fprintf(stderr, "usage: startup_bench [--runs N]\n");
  std::exit(2);
}

// Edit Source on a generated page file against a plain text edit reading it.
void editSourceFigure(int argc, char** argv, int runs, const std::string& scratch) {
  QApplication application(argc, argv);
  const QString page = QString::fromStdString(scratch + "/page.htm");
  const QByteArray bytes = generatedSourcePage().toUtf8();
  writeFile(page.toStdString(), bytes.constData(), static_cast<size_t>(bytes.size()));
  velkin::platform::Registry registry(scratch + "/config");
  const auto readIntoPlainEdit = [&](QPlainTextEdit& edit) {
    QFile file(page);
    if (file.open(QIODevice::ReadOnly)) edit.setPlainText(QString::fromUtf8(file.readAll()));
  };
  std::vector<double> plainShown, sourceShown, stall, coloured;
  for (int i = 0; i < std::min(runs, kMaxEditSourceRuns); ++i) {
    plainShown.push_back(plainEditRun(readIntoPlainEdit).shownMs);
    const SourceRun run = sourceViewRun(registry, [&](CKestrovaView& view) { view.loadFile(page); });
    sourceShown.push_back(run.shownMs);
    stall.push_back(run.openStallMs);
    coloured.push_back(run.colourSeconds);
  }
  std::printf("# edit_source_open: %.1f MB page shown in the source view in %.1f ms, in a plain text edit in %.1f ms\n",
              static_cast<double>(bytes.size()) / (1024 * 1024), median(sourceShown), median(plainShown));
  std::printf("# edit_source_open: longest stall of the user-interface thread %.1f ms; whole text coloured %.2f s\n",
              median(stall), median(coloured));
  printRatio("edit_source_open", median(plainShown) > 0 ? median(sourceShown) / median(plainShown) : 0,
             kEditSourceGoal);
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
  editSourceFigure(argc, argv, runs, scratch);

  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return 0;
}
