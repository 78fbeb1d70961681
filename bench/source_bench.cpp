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
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "app/html_source_edit.h"
#include "app/source_view.h"
#include "kb_generator.h"
#include "platform/registry.h"

namespace {

constexpr int kPageBytes = 5 * 1024 * 1024;
constexpr double kColourStallUnitMs = 50;
constexpr double kOpenStallGoal = 1.5;
// How long the reference edit is watched after its text is put in.
constexpr int kSettleMs = 300;

QString generatedPage() {
  QString page = QStringLiteral("<!DOCTYPE html>\n<html><head><title>Source bench</title>\n");
  for (int i = 0; page.size() < kPageBytes; ++i) {
    page += QStringLiteral("<div class=\"row r%1\" id=\"item%1\"><a href=\"https://site%2.example/page%1.htm\">"
                           "Entry %1</a> some text &amp; words</div>\n")
                .arg(i)
                .arg(i % 40);
    if (i % 10 == 0) page += QStringLiteral("<!-- section %1 begins\n     and goes on here -->\n").arg(i);
    if (i % 500 == 0) {
      page += QStringLiteral("<script>var data = [");
      for (int j = 0; j < 200; ++j) page += QStringLiteral("\"value%1\", ").arg(j);
      page += QStringLiteral("0];</script>\n");
    }
  }
  return page + QStringLiteral("</body></html>\n");
}

// The longest gap between two ticks of a 1 ms timer while work runs and
// until done() holds.
struct StallProbe {
  QElapsedTimer clock;
  qint64 lastTick = 0;
  double longestMs = 0;
  QTimer ticker;

  StallProbe() {
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [this] { tick(); });
  }
  void tick() {
    const qint64 now = clock.nsecsElapsed();
    longestMs = std::max(longestMs, static_cast<double>(now - lastTick) / 1e6);
    lastTick = now;
  }
  void start() {
    clock.start();
    lastTick = clock.nsecsElapsed();
    longestMs = 0;
    ticker.start();
  }
  void stop() {
    tick();
    ticker.stop();
  }
};

void runEvents(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double plainEditStall(const QString& text) {
  QPlainTextEdit edit;
  edit.resize(900, 700);
  edit.show();
  QCoreApplication::processEvents();
  StallProbe probe;
  probe.start();
  QTimer::singleShot(0, &edit, [&] { edit.setPlainText(text); });
  QElapsedTimer settle;
  settle.start();
  runEvents([&] { return settle.elapsed() > kSettleMs + 50 && !edit.toPlainText().isEmpty(); });
  probe.stop();
  return probe.longestMs;
}

struct SourceRun {
  double openStallMs = 0;
  double colourStallMs = 0;
  double colourSeconds = 0;
};

SourceRun sourceViewStall(velkin::platform::Registry& registry, const QString& text) {
  CKestrovaView view(registry);
  view.resize(900, 700);
  view.show();
  QCoreApplication::processEvents();
  bool coloured = false;
  QObject::connect(view.edit(), &CHtmlSourceEdit::wholeTextColoured, [&] { coloured = true; });
  SourceRun run;
  StallProbe probe;
  probe.start();
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(0, &view, [&] {
    view.setSourceText(text);
    // From here on only the colouring runs.
    probe.stop();
    run.openStallMs = probe.longestMs;
    probe.start();
  });
  runEvents([&] { return coloured; });
  probe.stop();
  run.colourSeconds = static_cast<double>(clock.elapsed()) / 1000;
  run.colourStallMs = probe.longestMs;
  run.openStallMs = std::max(run.openStallMs, run.colourStallMs);
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  QApplication application(argc, argv);
  const std::string config = velkin::bench::makeTempFolder("source-bench");
  velkin::platform::Registry registry(config);
  const QString text = generatedPage();

  std::vector<double> reference, open, colour, seconds;
  for (int i = 0; i < runs; ++i) {
    reference.push_back(plainEditStall(text));
    const SourceRun run = sourceViewStall(registry, text);
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
