// tree_bench: the main program's project tree on a large knowledge base,
// with the real widgets on Qt's offscreen platform.
//
// It generates the knowledge base kb_bench uses (20,000 pages in 2,000
// categories) plus one category, "Clippings", of 16,000 pages, and measures:
//   tree_expand       expanding Clippings, from the click to the listing laid
//                     out and painted, against find listing the same folder
//                     (find CAT -maxdepth 1 -printf ''); median of the runs,
//                     each on a freshly opened tree
//   tree_page_memory  the memory the expansion adds per listed page (heap in
//                     use), as a ratio to 4 KB
//   tree_watch_stall  the longest time the user-interface thread does not
//                     answer (a 1 ms timer that cannot run) while a shell
//                     script saves 500 pages into the book folder, each page
//                     written to a temporary name and renamed, every third
//                     with a companion folder, with Clippings open and one of
//                     its pages selected; as a ratio to 200 ms
// It prints one "NAME ratio VALUE goal <= GOAL" line per figure, with the
// absolute figures as "# " comment lines, and exits 0 whether or not the
// goals are met; it is run on demand, never as part of the tests.
//
//   tree_bench [--dir DIR] [--runs N]
//
// Without --dir the knowledge base is built in a temporary folder under
// $TMPDIR and removed at the end. With --dir it is built in DIR (which must
// be missing or empty) and kept; a base that tree_bench completed there
// earlier is reused (the 500 saved pages are removed again at the end).
#include <malloc.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidgetItem>
#include <memory>

#include "app/project_tree_ctrl.h"
#include "app/tk_tree_view.h"
#include "kb/book_dir.h"
#include "kb_generator.h"
#include "platform/registry.h"

namespace {

using namespace velkin::bench;

constexpr const char* kBigCategory = "Clippings";
constexpr int kBigCategoryPages = 16000;
constexpr int kSavedPages = 500;
constexpr double kExpandGoal = 10;
constexpr double kPageMemoryUnit = 4096;
constexpr double kStallUnitMs = 200;
// Stop waiting for the tree to show the saved pages after this long.
constexpr qint64 kWatchDeadlineMs = 10 * 60 * 1000;

Counts generateTreeBase(const std::string& root) {
  Counts counts = generate(root);
  const std::string folder = root + "/" + kBigCategory;
  makeFolder(folder);
  ++counts.categories;
  int pageNumber = 200000;
  fillCategory(folder, pageNumber, counts, kBigCategoryPages);
  return counts;
}

// Heap in use, including large blocks the allocator maps on their own.
double heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
}

double secondsSince(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e9; }

// Lets queued work (layouts, paints, posted refreshes) run.
void settle() {
  QApplication::processEvents();
  QApplication::processEvents();
}

class TreeWindow {
 public:
  explicit TreeWindow(velkin::platform::Registry& registry) : view_(std::make_unique<CTkTreeView>(registry)) {
    view_->resize(320, 900);
    view_->show();
    settle();
  }
  CProjectTreeCtrl& tree() { return *view_->treeCtrl(); }
  QTreeWidgetItem* widgetAt(const std::string& path) {
    return tree().widgetItem(tree().model().findPath(path));
  }

 private:
  std::unique_ptr<CTkTreeView> view_;
};

struct ExpandRun {
  double seconds = 0;
  double bytesPerPage = 0;
  int listed = 0;
};

// Opens the big category as a click on its expander does and waits until
// the listing is laid out and painted.
ExpandRun expandBigCategory(TreeWindow& window, const std::string& category) {
  ExpandRun run;
  QTreeWidgetItem* widget = window.widgetAt(category);
  if (widget == nullptr) fail("the tree does not show " + category);
  const double heapBefore = heapInUse();
  QElapsedTimer timer;
  timer.start();
  widget->setExpanded(true);
  settle();
  window.tree().viewport()->repaint();
  run.seconds = secondsSince(timer);
  run.listed = widget->childCount();
  if (run.listed > 0) run.bytesPerPage = (heapInUse() - heapBefore) / run.listed;
  return run;
}

// The script that saves pages as another program would: each page written
// under a temporary name and renamed, every third with a companion folder
// holding a picture.
constexpr const char* kSaveScript = R"(
book=$1; count=$2; page=$3; picture=$4; i=0
while [ "$i" -lt "$count" ]; do
  name="Saved page $i"
  if [ $((i % 3)) -eq 0 ]; then mkdir "$book/$name.files" && cp "$picture" "$book/$name.files/picture.png"; fi
  cp "$page" "$book/.saving.tmp" && mv "$book/.saving.tmp" "$book/$name.htm" || exit 1
  i=$((i + 1))
done
)";

struct WatchRun {
  double longestStallMs = 0;
  int refreshes = 0;
  double scriptSeconds = 0;
  double shownAfterSeconds = 0;
  bool allShown = false;
};

int savedPagesShown(CProjectTreeCtrl& tree) {
  int shown = 0;
  const velkin::kb::TreeItem* root = tree.model().root();
  if (root == nullptr) return 0;
  for (const auto& child : root->children) shown += child->isPage() && child->text.rfind("Saved page ", 0) == 0;
  return shown;
}

WatchRun watchSavedPages(TreeWindow& window, const std::string& book, const std::string& scratch) {
  const std::string page = scratch + "/saved-page.htm";
  const std::string text = pageText(300000, "Saved page", "Saved page", true);
  writeFile(page, text.data(), text.size());
  const std::string picture = scratch + "/picture.png";
  writeFile(picture, kPng, sizeof kPng);

  WatchRun run;
  // A Refresh rebuilds the widget tree, which resets its item model.
  QObject::connect(window.tree().QTreeWidget::model(), &QAbstractItemModel::modelReset, [&run] { ++run.refreshes; });

  // The longest gap between two ticks of a 1 ms timer is the longest time
  // the thread could not answer the user.
  QElapsedTimer clock;
  clock.start();
  qint64 lastTick = clock.nsecsElapsed();
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    run.longestStallMs = std::max(run.longestStallMs, static_cast<double>(now - lastTick) / 1e6);
    lastTick = now;
  });
  ticker.start();

  pid_t pid = 0;
  std::vector<std::string> argv = {"sh", "-c", kSaveScript, "sh", book, std::to_string(kSavedPages), page, picture};
  std::vector<char*> pointers;
  for (auto& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  if (posix_spawnp(&pid, "sh", nullptr, nullptr, pointers.data(), environ) != 0) fail("cannot start sh");
  bool scriptDone = false;
  while (clock.elapsed() < kWatchDeadlineMs) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (!scriptDone) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        scriptDone = true;
        run.scriptSeconds = static_cast<double>(clock.elapsed()) / 1000;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail("the saving script failed");
      }
      continue;
    }
    if (savedPagesShown(window.tree()) == kSavedPages) {
      run.allShown = true;
      run.shownAfterSeconds = static_cast<double>(clock.elapsed()) / 1000;
      break;
    }
  }
  // A little longer, for a refresh still on its way.
  const qint64 until = clock.elapsed() + 1500;
  while (clock.elapsed() < until) QApplication::processEvents(QEventLoop::AllEvents, 5);
  ticker.stop();
  if (!scriptDone) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  return run;
}

// A kept knowledge base is left as it was found.
void removeSavedPages(const std::string& book) {
  std::error_code ignored;
  for (int i = 0; i < kSavedPages; ++i) {
    const std::string stem = book + "/Saved page " + std::to_string(i);
    fs::remove(stem + ".htm", ignored);
    fs::remove_all(stem + ".files", ignored);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = parseBenchOptions(argc, argv, "tree_bench");
  const std::string scratch = makeTempFolder("tree_bench");
  const std::string book =
      prepareBase(options, scratch, ".tree_bench-complete", {".tree_bench-complete"}, generateTreeBase);
  const std::string category = book + "/" + kBigCategory;
  makeFolder(scratch + "/config");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("VELKIN_CONFIG_DIR", (scratch + "/config").c_str(), 1);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  velkin::platform::Registry registry(scratch + "/config");
  registry.writeString(velkin::platform::RegistryRoot::Machine, velkin::kb::kKestrovaKey,
                       velkin::kb::kBookPathValue, book);

  // Warm-up: fills the caches.
  std::unique_ptr<TreeWindow> window = std::make_unique<TreeWindow>(registry);
  expandBigCategory(*window, category);
  runTimed({"find", category, "-maxdepth", "1", "-printf", ""}, "/dev/null");

  std::vector<double> expandTimes;
  std::vector<double> findTimes;
  std::vector<double> pageBytes;
  int listed = 0;
  for (int run = 0; run < options.runs; ++run) {
    window.reset();
    // Each run opens the tree as on a first start, with nothing remembered.
    registry.deleteKey(velkin::platform::RegistryRoot::User, velkin::kb::kSelectedKey);
    window = std::make_unique<TreeWindow>(registry);
    const ExpandRun expanded = expandBigCategory(*window, category);
    const RunResult found = runTimed({"find", category, "-maxdepth", "1", "-printf", ""}, "/dev/null");
    if (!found.started || found.status != 0) fail("find failed on " + category);
    expandTimes.push_back(expanded.seconds);
    findTimes.push_back(found.seconds);
    pageBytes.push_back(expanded.bytesPerPage);
    listed = expanded.listed;
  }
  const double expandSeconds = median(expandTimes);
  const double findSeconds = median(findTimes);
  std::printf("# median of %d runs after one warm-up\n", options.runs);
  std::printf("# tree_expand: %d pages listed in %.1f ms; find %.1f ms: find %s -maxdepth 1\n", listed,
              expandSeconds * 1000, findSeconds * 1000, category.c_str());
  printRatio("tree_expand", findSeconds > 0 ? expandSeconds / findSeconds : 0.0, kExpandGoal);
  const double bytes = median(pageBytes);
  std::printf("# tree_page_memory: %.0f bytes of heap per listed page\n", bytes);
  printRatio("tree_page_memory", bytes / kPageMemoryUnit, 1);

  // The big category stays open, with one of its pages selected.
  velkin::kb::TreeItem* selected = window->tree().model().findPath(category + "/page 215999.htm");
  if (selected == nullptr) fail("the tree does not show the last page of " + category);
  window->tree().model().select(selected);
  settle();
  std::vector<double> refreshTimes;
  for (int run = 0; run < options.runs; ++run) {
    QElapsedTimer timer;
    timer.start();
    window->tree().onRefresh();
    settle();
    window->tree().viewport()->repaint();
    refreshTimes.push_back(secondsSince(timer));
  }
  std::printf("# tree_watch_stall: one Refresh with %s open takes %.1f ms\n", kBigCategory,
              median(refreshTimes) * 1000);
  const WatchRun watched = watchSavedPages(*window, book, scratch);
  std::printf("# tree_watch_stall: longest stall %.1f ms over %d refreshes while %d pages were saved in %.1f s%s\n",
              watched.longestStallMs, watched.refreshes, kSavedPages, watched.scriptSeconds,
              watched.allShown ? "" : "; the tree never showed them all");
  if (watched.allShown) {
    std::printf("# tree_watch_stall: all pages shown %.1f s after the start\n", watched.shownAfterSeconds);
    printRatio("tree_watch_stall", watched.longestStallMs / kStallUnitMs, 1);
  } else {
    std::printf("# tree_watch_stall: no figure: the saved pages did not all appear\n");
  }
  window.reset();
  removeSavedPages(book);

  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return 0;
}
