// book_bench: how fast velkin builds books, measured against what it cannot
// avoid doing.
//
// It generates the knowledge base kb_bench uses (20,000 pages in 2,000
// categories) and, beside it, one category of 500 pages, then times, as the
// median of several runs after one warm-up and with output thrown away:
//   velkin --book DIR build-html / --no-open     against  find DIR -printf ''
//   velkin --book BOOK build-chm CAT -o OUT.chm  against  chmcmd CAT/Project.hhp
// The second reference is the compiler alone on the project velkin writes
// (written before each of its runs, untimed), so the figure is what the
// project writing, the console runner and the clean-up add to the compile.
// Where the main program is built, it also times the build progress bar:
//   1 MB of compiler output appended in 256-byte chunks  against  one append
// of the same text, each into a fresh bar shown on Qt's offscreen platform.
// It prints one "NAME ratio VALUE goal <= GOAL" line per figure, with the
// absolute times as "# " comment lines, and exits 0 whether or not the goals
// are met; it is run on demand, never as part of the tests.
//
//   book_bench [--dir DIR] [--runs N]
//
// Without --dir the knowledge base is built in a temporary folder under
// $TMPDIR and removed at the end. With --dir it is built in DIR (which must
// be missing or empty) and kept; a base that book_bench or kb_bench completed
// there earlier is reused.
#include <optional>

#include "book/book_settings.h"
#include "book/chm_project.h"
#include "kb_generator.h"
#ifdef VELKIN_BENCH_BUILD_BAR
#include "build_bar_figure.h"
#endif

namespace {

using namespace velkin::bench;

// Five subjects, each with ten pages of its own and nine items of ten pages:
// 5 x (10 + 9 x 10) = 500 pages.
constexpr int kBookSubjects = 5;
constexpr int kItemsPerSubject = 9;

Counts generateBookCategory(const std::string& folder) {
  Counts counts;
  int pageNumber = 0;
  makeFolder(folder);
  for (int subject = 0; subject < kBookSubjects; ++subject) {
    const std::string subjectFolder = folder + "/Subject " + padded(subject, 2);
    makeFolder(subjectFolder);
    ++counts.categories;
    fillCategory(subjectFolder, pageNumber, counts);
    for (int item = 0; item < kItemsPerSubject; ++item) {
      const std::string itemFolder = subjectFolder + "/Item " + padded(item, 2);
      makeFolder(itemFolder);
      ++counts.categories;
      fillCategory(itemFolder, pageNumber, counts);
    }
  }
  return counts;
}

void compareChmBuild(const std::string& velkin, int runs, const std::string& scratch) {
  const std::string compiler = velkin::book::findOnPath(velkin::book::kCompilerName);
  if (compiler.empty()) {
    std::printf("# book_chm: no figure: %s is not on PATH\n", velkin::book::kCompilerName);
    return;
  }
  const std::string bookRoot = scratch + "/ChmBook";
  const std::string category = bookRoot + "/Book";
  makeFolder(bookRoot);
  const Counts counts = generateBookCategory(category);
  std::printf("# book_chm: a category of %d pages in %d sub-categories, compiled by %s\n", counts.pages,
              counts.categories, compiler.c_str());

  velkin::book::BookSettings settings;
  settings.title = "Book";
  settings.language = std::string(velkin::book::kDefaultLanguage);
  settings.outputPath = scratch + "/Book.chm";
  compare("book_chm", 1.1, {velkin, "--book", bookRoot, "build-chm", "Book", "-o", settings.outputPath},
          {compiler, category + "/" + velkin::book::kProjectFileName}, 0, runs, scratch, [&] {
            const auto project = velkin::book::writeChmProject(category, settings, compiler);
            if (!project.ok()) fail("cannot write the project: " + project.error);
          });
  velkin::book::removeChmProject(category);
}

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = parseBenchOptions(argc, argv, "book_bench");
  const int runs = options.runs;
  const std::string scratch = makeTempFolder("book_bench");
  const std::string root = prepareKnowledgeBase(options, scratch, ".book_bench-complete");
  std::printf("# median of %d runs after one warm-up, output to /dev/null\n", runs);
  std::fflush(stdout);

  const std::string velkin = VELKIN_CLI_PATH;
  compare("book_html", 3, {velkin, "--book", root, "build-html", "/", "--no-open"}, {"find", root, "-printf", ""},
          0, runs, scratch);
  // A kept knowledge base is left as it was found.
  std::error_code ignored;
  fs::remove(root + "/MyKnowledge.htm", ignored);

  compareChmBuild(velkin, runs, scratch);
#ifdef VELKIN_BENCH_BUILD_BAR
  compareBuildOutputAppends(runs);
#endif

  fs::remove_all(scratch, ignored);
  return 0;
}
