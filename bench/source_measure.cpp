#include "source_measure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

#include "app/html_source_edit.h"
#include "app/source_view.h"

namespace velkin::bench {

namespace {

constexpr int kPageChars = 5 * 1024 * 1024;
// How long the reference edit is watched after its text is put in.
constexpr int kSettleMs = 300;

// The longest gap between two ticks of a 1 ms timer between start and stop.
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

// Runs open on edit, then paints it at once; the milliseconds that took.
double timeShown(QPlainTextEdit& edit, const std::function<void()>& open) {
  QElapsedTimer clock;
  clock.start();
  open();
  edit.viewport()->repaint();
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

QString generatedSourcePage() {
  QString page = QStringLiteral("<!DOCTYPE html>\n<html><head><title>Source bench</title>\n");
  for (int i = 0; page.size() < kPageChars; ++i) {
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

PlainRun plainEditRun(const std::function<void(QPlainTextEdit&)>& open) {
  QPlainTextEdit edit;
  edit.resize(900, 700);
  edit.show();
  QCoreApplication::processEvents();
  PlainRun run;
  StallProbe probe;
  probe.start();
  QTimer::singleShot(0, &edit, [&] { run.shownMs = timeShown(edit, [&] { open(edit); }); });
  QElapsedTimer settle;
  settle.start();
  runEvents([&] { return settle.elapsed() > kSettleMs + 50 && !edit.document()->isEmpty(); });
  probe.stop();
  run.stallMs = probe.longestMs;
  return run;
}

SourceRun sourceViewRun(platform::Registry& registry, const std::function<void(CKestrovaView&)>& open) {
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
    run.shownMs = timeShown(*view.edit(), [&] { open(view); });
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

}  // namespace velkin::bench
