// Shared by the benchmarks: a generated knowledge base of the shape a heavy
// user builds up (categories three levels deep, pages with companion folders
// holding a picture, a few .html pages, page addresses spread over a number
// of sites), and timed runs of programs compared against a reference.
//
// Everything is deterministic, so every run builds the same knowledge base.
// Failures to build it end the program with a message.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace velkin::bench {

namespace fs = std::filesystem;

// Three levels: 10 top categories, 10 below each, and 18 or 19 below each of
// those (90 x 19 + 10 x 18 = 1,890): 10 + 100 + 1,890 = 2,000 categories.
inline constexpr int kTopCategories = 10;
inline constexpr int kMiddlePerTop = 10;
inline constexpr int kLeavesPerMiddle = 19;
inline constexpr int kMiddlesWithFewerLeaves = 10;  // the last ten have 18
// Ten .htm pages in every category: 20,000 pages.
inline constexpr int kPagesPerCategory = 10;
// Every third page has a companion folder with one picture.
inline constexpr int kCompanionEvery = 3;
// A few .html pages besides, one in every this-many-th leaf category.
inline constexpr int kHtmlPageEveryLeaf = 150;
// Page URLs name one of this many sites; the searched one holds 1/kSites of
// the pages (2.5 %).
inline constexpr int kSites = 40;

// The smallest valid PNG: one transparent pixel.
inline constexpr unsigned char kPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f,
    0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x00,
    0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0d, 0x0a, 0x2d, 0xb4, 0x00, 0x00, 0x00, 0x00, 0x49,
    0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

inline constexpr const char* kWords[] = {
    "archive", "river",   "method",  "garden", "signal",  "harbour", "lantern", "theory",
    "market",  "winter",  "compass", "letter", "meadow",  "engine",  "voyage",  "pattern",
    "kitchen", "journal", "bridge",  "orbit",  "canvas",  "thread",  "beacon",  "summit",
    "quarry",  "library", "notion",  "pebble", "harvest", "ledger",  "mirror",  "anchor"};

struct Counts {
  int categories = 0;
  int pages = 0;
  int htmlPages = 0;
  int companions = 0;
};

// A small deterministic generator, so every run builds the same base.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 2862933555777941757ULL + 3037000493ULL) {}
  std::uint32_t next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  int below(int limit) { return static_cast<int>(next() % static_cast<std::uint32_t>(limit)); }

 private:
  std::uint64_t state_;
};

[[noreturn]] inline void fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.c_str());
  std::exit(1);
}

inline void writeFile(const std::string& path, const void* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail("cannot create " + path + ": " + std::strerror(errno));
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t wrote = ::write(fd, at, size);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      fail("cannot write " + path + ": " + std::strerror(errno));
    }
    at += wrote;
    size -= static_cast<size_t>(wrote);
  }
  ::close(fd);
}

inline void makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    fail("cannot create " + path + ": " + std::strerror(errno));
  }
}

inline std::string padded(int value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text;
}

// The capture header every saved page starts with, then 2 to 5 KB of body.
inline std::string pageText(int pageNumber, const std::string& title, const std::string& stem,
                            bool withPicture) {
  Random random(static_cast<std::uint64_t>(pageNumber) + 1);
  const int site = (pageNumber * 7919) % kSites;
  std::string text;
  text.reserve(6000);
  text += "<META -----Welcome to Velkin web. >\r\n";
  text += "<META -----Velkin web 2.0    HomePage: https://velkin.example >\r\n";
  text += "<META NAME=pageurl  Content=https://site-" + std::to_string(site) +
          ".example/path/page-" + std::to_string(pageNumber) + ".html >\r\n";
  text += "<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>" + title +
          "</title>\r\n</head>\r\n<body>\r\n<h1>" + title + "</h1>\r\n";
  if (withPicture) {
    text += "<p><img src=\"" + stem + ".files/picture.png\" alt=\"picture\"></p>\r\n";
  }
  const size_t bodySize = 2000 + static_cast<size_t>(random.below(3000));
  const size_t start = text.size();
  while (text.size() - start < bodySize) {
    text += "<p>";
    const int words = 20 + random.below(40);
    for (int i = 0; i < words; ++i) {
      if (i > 0) text += ' ';
      text += kWords[random.below(static_cast<int>(std::size(kWords)))];
    }
    text += ".</p>\r\n";
    if (random.below(4) == 0) {
      text += "<p><a href=\"https://ref-" + std::to_string(random.below(500)) +
              ".example/notes.html\">see also</a></p>\r\n";
    }
  }
  text += "</body>\r\n</html>\r\n";
  return text;
}

// Pages (ten unless told; a third with a companion folder) in one category
// folder.
inline void fillCategory(const std::string& folder, int& pageNumber, Counts& counts,
                         int pages = kPagesPerCategory) {
  for (int i = 0; i < pages; ++i, ++pageNumber) {
    const std::string stem = "page " + padded(pageNumber, 5);
    const bool withPicture = pageNumber % kCompanionEvery == 0;
    const std::string text = pageText(pageNumber, "Page " + std::to_string(pageNumber), stem,
                                      withPicture);
    writeFile(folder + "/" + stem + ".htm", text.data(), text.size());
    ++counts.pages;
    if (withPicture) {
      const std::string companion = folder + "/" + stem + ".files";
      makeFolder(companion);
      writeFile(companion + "/picture.png", kPng, sizeof kPng);
      ++counts.companions;
    }
  }
}

inline Counts generate(const std::string& root) {
  Counts counts;
  int pageNumber = 0;
  int leafNumber = 0;
  for (int top = 0; top < kTopCategories; ++top) {
    const std::string topFolder = root + "/Topic " + padded(top, 2);
    makeFolder(topFolder);
    ++counts.categories;
    fillCategory(topFolder, pageNumber, counts);
    for (int middle = 0; middle < kMiddlePerTop; ++middle) {
      const std::string middleFolder = topFolder + "/Subject " + padded(middle, 2);
      makeFolder(middleFolder);
      ++counts.categories;
      fillCategory(middleFolder, pageNumber, counts);
      const int middleIndex = top * kMiddlePerTop + middle;
      const int totalMiddles = kTopCategories * kMiddlePerTop;
      const int leaves = middleIndex < totalMiddles - kMiddlesWithFewerLeaves
                             ? kLeavesPerMiddle
                             : kLeavesPerMiddle - 1;
      for (int leaf = 0; leaf < leaves; ++leaf, ++leafNumber) {
        const std::string leafFolder = middleFolder + "/Item " + padded(leaf, 2);
        makeFolder(leafFolder);
        ++counts.categories;
        fillCategory(leafFolder, pageNumber, counts);
        if (leafNumber % kHtmlPageEveryLeaf == 0) {
          const int number = 100000 + counts.htmlPages;
          const std::string text = pageText(number, "Notes " + std::to_string(number),
                                            "notes", false);
          writeFile(leafFolder + "/notes.html", text.data(), text.size());
          ++counts.htmlPages;
        }
      }
    }
  }
  return counts;
}

inline bool folderIsEmpty(const std::string& path) {
  std::error_code error;
  return fs::is_empty(path, error) && !error;
}

inline std::string makeTempFolder(const char* prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" +
                        prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    fail("cannot create a temporary folder: " + std::string(std::strerror(errno)));
  }
  return pattern;
}

struct RunResult {
  bool started = false;
  int status = -1;  // exit status, or -1 when killed
  double seconds = 0;
};

// Runs argv with standard output to outputPath, standard error discarded
// and standard input empty, and times it from spawn to exit.
inline RunResult runTimed(const std::vector<std::string>& argv, const std::string& outputPath) {
  std::vector<char*> pointers;
  for (const auto& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  RunResult result;
  const auto began = std::chrono::steady_clock::now();
  pid_t pid = 0;
  // A path with a slash is run as given; a bare name is looked up in PATH.
  const int error = argv[0].find('/') != std::string::npos
                        ? posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ)
                        : posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return result;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  result.started = true;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline size_t countLines(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  size_t lines = 0;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) lines += c == '\n' ? 1 : 0;
  std::fclose(file);
  return lines;
}

// The options the knowledge-base benchmarks share: --dir DIR keeps the
// generated base there, --runs N sets how many timed runs make a median.
struct BenchOptions {
  std::optional<std::string> keptFolder;
  int runs = 5;
};

inline BenchOptions parseBenchOptions(int argc, char** argv, const char* program) {
  BenchOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      options.keptFolder = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      options.runs = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--dir DIR] [--runs N]\n", program);
      std::exit(2);
    }
  }
  return options;
}

// A generated knowledge base: in the kept folder when one was given (reused
// when a benchmark whose base has the same shape completed it there before,
// which left one of reusableMarkers in it; else generated into it, which must
// then be empty), else in scratch. marker names the benchmark that completed
// it. Returns its folder.
inline std::string prepareBase(const BenchOptions& options, const std::string& scratch, const std::string& marker,
                               const std::vector<std::string>& reusableMarkers,
                               const std::function<Counts(const std::string&)>& generateBase) {
  const std::string root = options.keptFolder ? *options.keptFolder : scratch + "/Project";
  std::error_code error;
  std::filesystem::create_directories(root, error);
  if (error) fail("cannot create " + root + ": " + error.message());
  for (const auto& known : reusableMarkers) {
    if (options.keptFolder && std::filesystem::exists(root + "/" + known)) {
      std::printf("# reusing the knowledge base in %s\n", root.c_str());
      return root;
    }
  }
  if (!folderIsEmpty(root)) fail(root + " is not empty");
  const auto began = std::chrono::steady_clock::now();
  const Counts counts = generateBase(root);
  writeFile(root + "/" + marker, "", 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::printf("# generated %d categories, %d .htm pages, %d .html pages, %d companion folders in %.1f s: %s\n",
              counts.categories, counts.pages, counts.htmlPages, counts.companions, seconds, root.c_str());
  return root;
}

// The 20,000-page knowledge base kb_bench and book_bench both measure.
inline std::string prepareKnowledgeBase(const BenchOptions& options, const std::string& scratch,
                                        const std::string& marker) {
  return prepareBase(options, scratch, marker, {".kb_bench-complete", ".book_bench-complete"}, generate);
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline std::string describe(const std::vector<std::string>& argv) {
  std::string text;
  for (const auto& arg : argv) {
    if (!text.empty()) text += ' ';
    text += arg.empty() || arg.find(' ') != std::string::npos ? "'" + arg + "'" : arg;
  }
  return text;
}

// The figure line every benchmark prints.
inline void printRatio(const char* name, double ratio, double goal) {
  std::printf("%s ratio %.2f goal <= %g\n", name, ratio, goal);
  std::fflush(stdout);
}

// Times velkin against the reference command and prints the figure. The
// runs alternate, so a slow patch of the machine hits both alike. A command
// that fails gives no figure (a quick failure would look like a fast run).
// okStatus is the highest exit status that counts as success. beforeReference,
// when given, runs (untimed) before each run of the reference command.
inline void compare(const char* name, double goal, const std::vector<std::string>& velkin,
                    const std::vector<std::string>& reference, int referenceOkStatus, int runs,
                    const std::string& scratch, const std::function<void()>& beforeReference = {}) {
  const auto runReference = [&](const std::string& outputPath) {
    if (beforeReference) beforeReference();
    return runTimed(reference, outputPath);
  };
  const std::string kept = scratch + "/" + name + ".out";
  const std::string discarded = "/dev/null";

  // Warm-up: fills the caches; velkin's output is kept to count its lines.
  const RunResult velkinWarm = runTimed(velkin, kept);
  const size_t velkinLines = countLines(kept);
  const RunResult referenceWarm = runReference(kept);
  const size_t referenceLines = countLines(kept);
  if (!velkinWarm.started || velkinWarm.status != 0) {
    std::printf("# %s: no figure: %s %s\n", name, describe(velkin).c_str(),
                velkinWarm.started ? ("exited with status " + std::to_string(velkinWarm.status)).c_str()
                                   : "could not be started");
    return;
  }
  if (!referenceWarm.started || referenceWarm.status < 0 ||
      referenceWarm.status > referenceOkStatus) {
    std::printf("# %s: no figure: %s failed\n", name, describe(reference).c_str());
    return;
  }

  std::vector<double> velkinTimes;
  std::vector<double> referenceTimes;
  for (int run = 0; run < runs; ++run) {
    const RunResult ours = runTimed(velkin, discarded);
    const RunResult theirs = runReference(discarded);
    if (ours.status != 0 || theirs.status < 0 || theirs.status > referenceOkStatus) {
      std::printf("# %s: no figure: a timed run failed\n", name);
      return;
    }
    velkinTimes.push_back(ours.seconds);
    referenceTimes.push_back(theirs.seconds);
  }
  const double ours = median(velkinTimes);
  const double theirs = median(referenceTimes);
  std::printf("# %s: velkin %.1f ms (%zu lines): %s\n", name, ours * 1000, velkinLines,
              describe(velkin).c_str());
  std::printf("# %s: reference %.1f ms (%zu lines): %s\n", name, theirs * 1000, referenceLines,
              describe(reference).c_str());
  printRatio(name, theirs > 0 ? ours / theirs : 0.0, goal);
}

}  // namespace velkin::bench
