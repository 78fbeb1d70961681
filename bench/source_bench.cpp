// source_bench: opening a 5 MB page in the HTML source view (real widgets on
// Qt's offscreen platform), from the call that shows the text to the whole
// text coloured.
//
//   source_open_stall    the longest time the user-interface thread does
//                        not answer (a 1 ms timer that cannot run) while the
//                        source view opens the page and colours it, against
//                        the same text put into a plain, uncoloured text
//                        edit; median of the runs
//   source_colour_stall  the longest such stall once the text is shown, that
//                        is while the colouring alone runs, as a ratio to
//                        50 ms
// The generated page has 5 MB of markup in lines of tags, quoted attribute
// values, comments, text and a few long lines of script. It prints one
// "NAME ratio VALUE goal <= GOAL" line per figure, with the absolute figures
// as "# " comment lines, and exits 0 whether or not the goals are met.
//
//   source_bench [--runs N]
#include <QApplication>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/source_view.h"
#include "kb_generator.h"
#include "platform/registry.h"
#include "source_measure.h"

namespace {

constexpr double kColourStallUnitMs = 50;
constexpr double kOpenStallGoal = 1.5;

}  // namespace

int main(int argc, char** argv) {
  using velkin::bench::median;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  QApplication application(argc, argv);
  const std::string config = velkin::bench::makeTempFolder("source-bench");
  velkin::platform::Registry registry(config);
  const QString text = velkin::bench::generatedSourcePage();

  std::vector<double> reference, open, colour, seconds;
  for (int i = 0; i < runs; ++i) {
    reference.push_back(velkin::bench::plainEditRun([&](QPlainTextEdit& edit) { edit.setPlainText(text); }).stallMs);
    const velkin::bench::SourceRun run =
        velkin::bench::sourceViewRun(registry, [&](CKestrovaView& view) { view.setSourceText(text); });
    open.push_back(run.openStallMs);
    colour.push_back(run.colourStallMs);
    seconds.push_back(run.colourSeconds);
  }
  std::printf("# page of %lld characters, %d lines; median of %d runs\n", static_cast<long long>(text.size()),
              static_cast<int>(text.count(QLatin1Char('\n'))), runs);
  std::printf("# source_open_stall: source view %.1f ms, plain text edit %.1f ms\n", median(open), median(reference));
  std::printf("# source_colour_stall: longest slice %.1f ms; whole text coloured %.2f s after opening\n",
              median(colour), median(seconds));
  velkin::bench::printRatio("source_open_stall", median(reference) > 0 ? median(open) / median(reference) : 0,
                            kOpenStallGoal);
  velkin::bench::printRatio("source_colour_stall", median(colour) / kColourStallUnitMs, 1);
  std::filesystem::remove_all(config);
  return 0;
}
