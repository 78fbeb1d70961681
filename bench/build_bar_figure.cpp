#include "build_bar_figure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "kb_generator.h"
#include "uikit/build_progress_bar.h"

namespace velkin::bench {
namespace {

constexpr int kOutputBytes = 1024 * 1024;
constexpr int kChunkBytes = 256;  // what one read of the runner delivers
constexpr double kGoal = 3;

// Compiler-like output, cut into reads that split lines where they fall.
QStringList compilerOutputChunks() {
  QString output;
  for (int line = 0; output.size() < kOutputBytes; ++line) {
    output += QStringLiteral("Compiling Book/Subject %1/Item %2/page %3.htm ... done\r\n")
                  .arg(line % 5)
                  .arg(line % 9)
                  .arg(line, 5, 10, QLatin1Char('0'));
  }
  output.truncate(kOutputBytes);
  QStringList chunks;
  for (int at = 0; at < output.size(); at += kChunkBytes) chunks << output.mid(at, kChunkBytes);
  return chunks;
}

// Appends the chunks to a fresh, shown bar and waits until it is painted;
// returns the seconds taken and leaves the bar's text in text.
double appendToFreshBar(const QStringList& chunks, QString& text) {
  uikit::CBuildProgressBar bar;
  bar.resize(600, 200);
  bar.show();
  QApplication::processEvents();
  QElapsedTimer timer;
  timer.start();
  for (const QString& chunk : chunks) bar.appendChunk(chunk);
  QApplication::processEvents();
  bar.textBox()->viewport()->repaint();
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  text = bar.textBox()->toPlainText();
  return seconds;
}

}  // namespace

void compareBuildOutputAppends(int runs) {
  std::unique_ptr<QApplication> app;
  if (QApplication::instance() == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "book_bench";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
  }
  const QStringList chunks = compilerOutputChunks();
  // The same text in one piece: each append puts "\r" before its chunk.
  const QStringList whole = {chunks.join(QLatin1Char('\r'))};

  QString chunkedText;
  QString wholeText;
  appendToFreshBar(chunks, chunkedText);  // warm-up
  std::vector<double> chunkedTimes;
  std::vector<double> wholeTimes;
  for (int run = 0; run < runs; ++run) {
    chunkedTimes.push_back(appendToFreshBar(chunks, chunkedText));
    wholeTimes.push_back(appendToFreshBar(whole, wholeText));
  }
  if (chunkedText != wholeText) {
    std::printf("# book_output_append: no figure: the chunked output differs from the whole\n");
    return;
  }
  const double chunked = median(chunkedTimes);
  const double once = median(wholeTimes);
  std::printf("# book_output_append: %lld chunks of %d bytes %.1f ms; one append of %lld bytes %.1f ms\n",
              static_cast<long long>(chunks.size()), kChunkBytes, chunked * 1000,
              static_cast<long long>(whole.front().size()), once * 1000);
  printRatio("book_output_append", once > 0 ? chunked / once : 0.0, kGoal);
}

}  // namespace velkin::bench
