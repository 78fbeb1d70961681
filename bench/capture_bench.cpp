// capture_bench: how capturing scales and how fast a whole capture is.
//
//   rewrite_scaling          scan and rewrite (in this process) of a generated
//                            5 MB page with 5,000 references against a 1 MB
//                            page with 1,000 (linear work gives 5)
//   capture_vs_wget          velkin capture URL --into CAT --quiet against
//                            wget -p -k -E -H -P DIR URL, on a page with 50
//                            pictures and 5 style sheets served on 127.0.0.1
//   capture_vs_curl          the same capture against one curl run fetching
//                            the same 56 files over one connection
//   capture_vs_wget_latency  capture against wget with the server waiting
//                            20 ms before every response
//   capture_vs_curl_parallel capture (default options: 6 resources at once)
//                            against curl -Z --parallel-max 6 fetching the
//                            same 56 files, 20 ms before every response
//
// Each figure is the median of several runs (after one warm-up), printed as
// "NAME ratio VALUE goal <= GOAL", with the absolute times on "# " lines.
// The server is this program's own (keep-alive and TCP_NODELAY on). It
// exits 0 whether or not the goals are met; it is run on demand, never as
// part of the tests.
//
//   capture_bench [--runs N]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "capture/page_capture.h"
#include "capture/support/loopback_server.h"
#include "kb_generator.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using velkin::testing::LoopbackServer;

constexpr int kPictures = 50;
constexpr int kStyleSheets = 5;
constexpr std::chrono::milliseconds kLatency{20};

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "capture_bench: %s\n", message.c_str());
  std::exit(1);
}

double secondsSince(Clock::time_point began) {
  return std::chrono::duration<double>(Clock::now() - began).count();
}

void printFigure(const char* name, double ours, double theirs, double goal) {
  std::printf("%s ratio %.2f goal <= %g\n", name, theirs > 0 ? ours / theirs : 0.0, goal);
  std::fflush(stdout);
}

// ---------------------------------------------------------------------------
// Scan and rewrite scaling.

// A page of about size bytes holding references distinct references:
// pictures, style sheets, background attributes and hyperlinks, with
// paragraphs of text between them.
std::string generatedPage(size_t size, int references) {
  std::string page = "<!DOCTYPE html><HTML><HEAD><TITLE>Generated</TITLE></HEAD><BODY>\n";
  const size_t textPerReference = size / static_cast<size_t>(references);
  const std::string words = "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod. ";
  for (int i = 0; i < references; ++i) {
    const std::string number = std::to_string(i);
    switch (i % 10) {
      case 0: case 1: case 2: case 3: case 4: case 5:
        page += "<P><IMG alt=picture src=\"img/picture" + number + ".png\" width=10>";
        break;
      case 6: case 7:
        page += "<P><A href=\"articles/article" + number + ".html\">article " + number + "</A>";
        break;
      case 8:
        page += "<LINK rel=stylesheet href=\"css/sheet" + number + ".css\">";
        break;
      default:
        page += "<TABLE><TR><TD background=\"img/back" + number + ".gif\">cell</TD></TR></TABLE>";
    }
    const size_t target = page.size() + textPerReference;
    while (page.size() < target) page += words;
    page += "</P>\n";
  }
  page += "</BODY></HTML>\n";
  return page;
}

double rewriteSeconds(const std::string& page, const std::string& folder, int runs) {
  std::vector<double> times;
  for (int run = 0; run <= runs; ++run) {
    velkin::capture::CPageCapture job;
    job.setUp(page, velkin::capture::kCaptureHtml, folder + "/page.htm", "http://127.0.0.1:8/site/index.html", {});
    const auto began = Clock::now();
    job.scanAndRewrite();
    if (run > 0) times.push_back(secondsSince(began));  // run 0 warms up
  }
  return velkin::bench::median(times);
}

void benchRewriteScaling(const std::string& scratch, int runs) {
  const std::string small = generatedPage(1u << 20, 1000);
  const std::string large = generatedPage(5u << 20, 5000);
  const double smallSeconds = rewriteSeconds(small, scratch, runs);
  const double largeSeconds = rewriteSeconds(large, scratch, runs);
  std::printf("# rewrite_scaling: %.1f ms for %zu bytes with 1,000 references, %.1f ms for %zu bytes with 5,000\n",
              smallSeconds * 1000, small.size(), largeSeconds * 1000, large.size());
  printFigure("rewrite_scaling", largeSeconds, smallSeconds, 12);
}

// ---------------------------------------------------------------------------
// End to end.

struct Site {
  std::string page;                // the page's path on the server
  std::vector<std::string> files;  // the page and every resource, as paths
};

// Bytes of a resource: size bytes that are not all alike.
std::string resourceBody(size_t size, int seed) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 31 + static_cast<size_t>(seed)) % 251);
  return body;
}

Site serveSite(LoopbackServer& server, std::chrono::milliseconds delay) {
  Site site;
  site.page = "/site/index.html";
  site.files.push_back(site.page);
  std::string html = "<!DOCTYPE html>\n<html><head><title>Fifty pictures</title>\n";
  for (int i = 0; i < kStyleSheets; ++i) {
    const std::string where = "/site/css/sheet" + std::to_string(i) + ".css";
    html += "<link rel=\"stylesheet\" href=\"css/sheet" + std::to_string(i) + ".css\">\n";
    server.serve(where, std::string(4000 + 500 * static_cast<size_t>(i), 'a'), "text/css", delay);
    site.files.push_back(where);
  }
  html += "</head><body>\n";
  for (int i = 0; i < kPictures; ++i) {
    const std::string where = "/site/img/picture" + std::to_string(i) + ".png";
    html += "<p>Picture " + std::to_string(i) + ": <img src=\"img/picture" + std::to_string(i) +
            ".png\" alt=\"picture\"></p>\n";
    server.serve(where, resourceBody(5000 + 900 * static_cast<size_t>(i), i), "image/png", delay);
    site.files.push_back(where);
  }
  html += "</body></html>\n";
  server.serve(site.page, html, "text/html", delay);
  return site;
}

// Runs argv with every stream on /dev/null and times it from spawn to exit.
struct TimedRun {
  bool ok = false;
  double seconds = 0;
};
TimedRun runQuietly(const std::vector<std::string>& argv) {
  const velkin::bench::RunResult result = velkin::bench::runTimed(argv, "/dev/null");
  return {result.started && result.status == 0, result.seconds};
}

// A command to time, with what must be cleared (untimed) before each run.
struct Contender {
  std::string label;
  std::vector<std::string> argv;
  std::function<void()> reset;
};

void removeAll(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

// Median seconds of runs alternating between the contenders, after one
// warm-up each; empty when one of them failed.
std::vector<double> timeAlternating(const std::vector<Contender>& contenders, int runs) {
  std::vector<std::vector<double>> times(contenders.size());
  for (int run = 0; run <= runs; ++run) {
    for (size_t i = 0; i < contenders.size(); ++i) {
      contenders[i].reset();
      const TimedRun result = runQuietly(contenders[i].argv);
      if (!result.ok) {
        std::printf("# %s failed (run %d)\n", contenders[i].label.c_str(), run);
        return {};
      }
      if (run > 0) times[i].push_back(result.seconds);
    }
  }
  std::vector<double> medians;
  for (const auto& series : times) medians.push_back(velkin::bench::median(series));
  return medians;
}

class EndToEnd {
 public:
  EndToEnd(std::string scratch, int runs) : scratch_(std::move(scratch)), runs_(runs) {
    fs::create_directories(book() + "/Cat");
    setenv("VELKIN_CONFIG_DIR", (scratch_ + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (scratch_ + "/data").c_str(), 1);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  }

  void run(const char* name, std::chrono::milliseconds delay, bool withCurl) {
    const std::vector<double> medians =
        measure(name, delay, [&](const LoopbackServer& server, const Site& site, const std::string& address) {
          std::vector<Contender> contenders = {captureContender(address), wgetContender(address)};
          if (withCurl) contenders.push_back(curlContender(server, site, false));
          return contenders;
        });
    if (medians.empty()) return;
    printFigure(name, medians[0], medians[1], delay.count() > 0 ? 1.05 : 1.2);
    if (withCurl) printFigure("capture_vs_curl", medians[0], medians[2], 1.3);
  }

  // Capture with its default options against curl fetching every file up
  // to 6 at a time.
  void againstParallelCurl(const char* name, std::chrono::milliseconds delay) {
    const std::vector<double> medians =
        measure(name, delay, [&](const LoopbackServer& server, const Site& site, const std::string& address) {
          return std::vector<Contender>{captureContender(address), curlContender(server, site, true)};
        });
    if (!medians.empty()) printFigure(name, medians[0], medians[1], 1.2);
  }

  // Each contender alone against a fresh server, to tell where time goes.
  void connectionsPerTool() {
    LoopbackServer server;
    if (!server.start()) fail("cannot start the loopback server");
    const Site site = serveSite(server, std::chrono::milliseconds(0));
    const std::string address = server.url(site.page);
    for (const Contender& contender : {captureContender(address), wgetContender(address), curlContender(server, site, false)}) {
      contender.reset();
      const size_t connections = server.connectionCount();
      const size_t requests = server.requestCount();
      const TimedRun result = runQuietly(contender.argv);
      std::printf("# %s alone: %s, %zu connections, %zu requests, %.1f ms\n", contender.label.c_str(),
                  result.ok ? "ok" : "failed", server.connectionCount() - connections,
                  server.requestCount() - requests, result.seconds * 1000);
    }
  }

 private:
  std::string book() const { return scratch_ + "/kb"; }

  using MakeContenders =
      std::function<std::vector<Contender>(const LoopbackServer&, const Site&, const std::string& address)>;

  // The medians of the contenders make gives for a fresh server of the site
  // (every response waiting delay), with the absolute times and the server's
  // counts printed; empty when a contender failed.
  std::vector<double> measure(const char* name, std::chrono::milliseconds delay, const MakeContenders& make) {
    LoopbackServer server;
    if (!server.start()) fail("cannot start the loopback server");
    const Site site = serveSite(server, delay);
    const std::vector<Contender> contenders = make(server, site, server.url(site.page));
    const size_t connectionsBefore = server.connectionCount();
    const size_t requestsBefore = server.requestCount();
    const std::vector<double> medians = timeAlternating(contenders, runs_);
    if (medians.empty()) {
      std::printf("# %s: no figure\n", name);
      return {};
    }
    const size_t runCount = static_cast<size_t>(runs_ + 1) * contenders.size();
    std::printf("# %s: %zu files, server delay %lld ms, %.1f connections and %.1f requests per run on average\n",
                name, site.files.size(), static_cast<long long>(delay.count()),
                static_cast<double>(server.connectionCount() - connectionsBefore) / static_cast<double>(runCount),
                static_cast<double>(server.requestCount() - requestsBefore) / static_cast<double>(runCount));
    for (size_t i = 0; i < contenders.size(); ++i) {
      std::printf("# %s: %s %.1f ms\n", name, contenders[i].label.c_str(), medians[i] * 1000);
    }
    return medians;
  }

  Contender captureContender(const std::string& address) const {
    const std::string category = book() + "/Cat";
    return {"velkin capture",
            {VELKIN_CLI_PATH, "--book", book(), "capture", address, "--into", "Cat", "--quiet"},
            [category] {
              removeAll(category);
              fs::create_directories(category);
            }};
  }

  Contender wgetContender(const std::string& address) const {
    const std::string folder = scratch_ + "/wget";
    return {"wget", {"wget", "-p", "-k", "-E", "-H", "-P", folder, address}, [folder] { removeAll(folder); }};
  }

  // One curl run fetching every file of the site: over one connection, or
  // with parallel up to 6 at a time.
  Contender curlContender(const LoopbackServer& server, const Site& site, bool parallel) const {
    const std::string folder = scratch_ + "/curl";
    std::vector<std::string> argv = {"curl", "-s", "-S", "-f"};
    if (parallel) argv.insert(argv.end(), {"-Z", "--parallel-max", "6"});
    for (size_t i = 0; i < site.files.size(); ++i) {
      argv.push_back("-o");
      argv.push_back(folder + "/file" + std::to_string(i));
      argv.push_back(server.url(site.files[i]));
    }
    const std::string label = std::string(parallel ? "curl -Z --parallel-max 6" : "curl") + " (one run, " +
                              std::to_string(site.files.size()) + " files)";
    return {label, argv, [folder] {
              removeAll(folder);
              fs::create_directories(folder);
            }};
  }

  std::string scratch_;
  int runs_;
};

std::string makeScratchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/capture_bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) fail("cannot create a temporary folder");
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      runs = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: capture_bench [--runs N]\n");
      return 2;
    }
  }
  const std::string scratch = makeScratchFolder();
  std::printf("# median of %d runs after one warm-up\n", runs);
  benchRewriteScaling(scratch, runs);
  EndToEnd endToEnd(scratch, runs);
  endToEnd.connectionsPerTool();
  endToEnd.run("capture_vs_wget", std::chrono::milliseconds(0), true);
  endToEnd.run("capture_vs_wget_latency", kLatency, false);
  endToEnd.againstParallelCurl("capture_vs_curl_parallel", kLatency);
  removeAll(scratch);
  return 0;
}
