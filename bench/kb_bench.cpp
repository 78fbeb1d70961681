// kb_bench: how fast velkin walks and searches a large knowledge base,
// measured against the system's own find and grep over the same folder.
//
// It generates a knowledge base of 20,000 pages in 2,000 categories (three
// levels), then times, as the median of several runs after one warm-up and
// with output thrown away:
//   velkin --book DIR list              against  find DIR -printf ''
//   velkin --book DIR search --url TEXT against  grep -rlF TEXT DIR
// and prints one "NAME ratio VALUE goal <= GOAL" line per figure, with the
// absolute times as "# " comment lines. It exits 0 whether or not the goals
// are met; it is run on demand, never as part of the tests.
//
//   kb_bench [--dir DIR] [--runs N]
//
// Without --dir the base is built in a temporary folder under $TMPDIR and
// removed at the end. With --dir it is built in DIR (which must be missing or
// empty) and kept; a base that kb_bench completed there earlier is reused.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "kb_generator.h"

namespace {

using namespace velkin::bench;

constexpr const char* kSearchedUrlText = "site-7.example";

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = parseBenchOptions(argc, argv, "kb_bench");
  const int runs = options.runs;
  const std::string scratch = makeTempFolder("kb_bench");
  const std::string root = prepareKnowledgeBase(options, scratch, ".kb_bench-complete");
  std::printf("# median of %d runs after one warm-up, output to /dev/null\n", runs);
  std::fflush(stdout);

  const std::string velkin = VELKIN_CLI_PATH;
  compare("kb_list", 3, {velkin, "--book", root, "list"}, {"find", root, "-printf", ""}, 0, runs,
          scratch);
  // grep exits 1 when nothing matches; that is still a complete search.
  compare("kb_url_search", 1.5, {velkin, "--book", root, "search", "--url", kSearchedUrlText},
          {"grep", "-rlF", kSearchedUrlText, root}, 1, runs, scratch);

  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return 0;
}
