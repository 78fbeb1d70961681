// The capture command: a web page, an HTML file or standard input captured
// into a category, by the same sequence as a capture from the browser.
//
//   velkin [--book DIR] capture SOURCE --into CATEGORY [--name NAME]
//          [--types zip,pdf] [--text] [--url ADDRESS] [--quiet] [--overwrite]
//          [--max-file-size SIZE] [--jobs N] [--plain]
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "capture/charset.h"
#include "capture/document_capture.h"
#include "capture/fetcher.h"
#include "capture/file_types.h"
#include "capture/html_serializer.h"
#include "capture/page_capture.h"
#include "cli/cli.h"
#include "kb/book_dir.h"
#include "kb/layout.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace velkin::cli {
namespace {

// A page name made from a title keeps at most this many bytes, so that the
// page and its companion folder ("NAME.files") stay within a file name's
// 255 bytes.
constexpr int kProgressWidth = 30;
constexpr size_t kDefaultJobs = 6;
constexpr size_t kMaxJobs = 64;

struct CaptureRequest {
  std::string source;
  std::optional<std::string> category;
  std::optional<std::string> name;
  std::vector<std::string> fileTypes;
  std::optional<std::string> address;  // --url
  std::optional<std::uint64_t> maxFileSize;
  size_t jobs = kDefaultJobs;
  bool asText = false;
  bool quiet = false;
  bool overwrite = false;
  bool plain = false;  // no completion; default: the main program's setting
};

// "zip, .pdf" -> {"zip", "pdf"}.
std::vector<std::string> splitFileTypes(const std::string& list) {
  std::vector<std::string> types;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string type = list.substr(start, end - start);
    const size_t first = type.find_first_not_of(" \t.");
    const size_t last = type.find_last_not_of(" \t");
    if (first != std::string::npos) types.push_back(type.substr(first, last - first + 1));
    start = end + 1;
  }
  return types;
}

// The number of --jobs: a whole number from 1 to kMaxJobs.
std::optional<size_t> parseJobs(const std::string& value) {
  if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const size_t jobs = std::stoul(value);
  if (jobs < 1 || jobs > kMaxJobs) return std::nullopt;
  return jobs;
}

// "" when the arguments are complete, else what is wrong with them.
std::string parseArguments(const Arguments& args, CaptureRequest& request) {
  bool haveSource = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue =
        arg == "--into" || arg == "--name" || arg == "--types" || arg == "--url" || arg == "--max-file-size" ||
                            arg == "--jobs";
    if (takesValue) {
      if (i + 1 >= args.size()) return arg + " needs a value";
      const std::string& value = args[++i];
      if (arg == "--into") request.category = value;
      if (arg == "--name") request.name = value;
      if (arg == "--types") request.fileTypes = splitFileTypes(value);
      if (arg == "--url") request.address = value;
      if (arg == "--max-file-size") {
        request.maxFileSize = capture::parseByteSize(value);
        if (!request.maxFileSize) return "--max-file-size takes a size such as 500K, 20M or 1G, not " + value;
      }
      if (arg == "--jobs") {
        const std::optional<size_t> jobs = parseJobs(value);
        if (!jobs) return "--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ", not " + value;
        request.jobs = *jobs;
      }
    } else if (arg == "--text") {
      request.asText = true;
    } else if (arg == "--quiet") {
      request.quiet = true;
    } else if (arg == "--overwrite") {
      request.overwrite = true;
    } else if (arg == "--plain") {
      request.plain = true;
    } else if (arg.rfind("--", 0) == 0) {
      return "unknown option " + arg;
    } else if (haveSource) {
      return "more than one source given";
    } else {
      request.source = arg;
      haveSource = true;
    }
  }
  if (!haveSource || request.source.empty()) return "give a SOURCE: a web address, an HTML file or -";
  if (!request.category) return "give the category with --into CATEGORY";
  if (request.name && !capture::checkPageFileName(*request.name).empty()) {
    return "--name must be one file name, not empty, \".\" or \"..\", without \"/\"";
  }
  return {};
}

std::string bookDirectoryOf(const Context& context) {
  std::string book = context.bookDirectory.value_or("");
  if (book.empty()) book = kb::bookDirectory(context.registry);
  while (book.size() > 1 && book.back() == '/') book.pop_back();
  return book;
}

// The main program's capture settings, so both capture alike: the largest
// resource to download when --max-file-size is not given, and whether
// pages are completed without --plain.
struct CaptureSettings {
  std::uint64_t maxFileSize;
  bool complete;
};

CaptureSettings configuredCaptureSettings(platform::Registry& registry) {
  return CaptureSettings{capture::maxFileSizeSetting(registry), capture::completeCaptureSetting(registry)};
}

// The folder of CATEGORY: "" or "/" is the book directory, a relative path
// lies below it, an absolute one must lie inside it. No ".." and no
// companion folder on the way; the folder must exist.
std::optional<std::string> categoryFolder(const std::string& book, const std::string& category,
                                          std::string& error) {
  std::string relative = category;
  if (!category.empty() && category.front() == '/' && category != "/") {
    if (category.rfind(book + "/", 0) != 0 && category != book) {
      error = category + " is not inside the knowledge base " + book;
      return std::nullopt;
    }
    relative = category.substr(std::min(category.size(), book.size()));
  }
  std::string folder = book;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      error = "the category may not contain \"..\": " + category;
      return std::nullopt;
    }
    if (kb::isCompanionFolderName(part)) {
      error = part + " is a page's companion folder, not a category";
      return std::nullopt;
    }
    folder = platform::joinPath(folder, part);
  }
  if (!platform::isDirectory(folder)) {
    error = "no such category: " + (category.empty() ? std::string("/") : category) + " (" + folder + ")";
    return std::nullopt;
  }
  return folder;
}

bool isWebSource(const std::string& source) {
  const std::string lower = platform::toAsciiLower(source.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

struct Source {
  std::string text;
  std::string baseAddress;
  std::string contentType;  // as the server gave it; "" for files
};

std::optional<Source> fetchPage(capture::Fetcher& fetcher, const std::string& address, std::string& error) {
  capture::FetchResult fetched = fetcher.fetchText(address);
  if (!fetched.ok) {
    error = "cannot fetch " + address + ": " + fetched.error;
    return std::nullopt;
  }
  return Source{std::move(fetched.body), fetched.finalAddress.empty() ? address : fetched.finalAddress,
                fetched.contentType};
}

std::optional<Source> readLocalFile(capture::Fetcher& fetcher, const std::string& path, std::string& error) {
  // The page's references are resolved against the file's own full path.
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::string base = resolved;
  std::free(resolved);
  capture::FetchResult read = fetcher.fetchText(base);
  if (!read.ok) {
    error = "cannot read " + path + ": " + read.error;
    return std::nullopt;
  }
  return Source{std::move(read.body), std::move(base), ""};
}

// Standard input up to the page limit; more is refused, not cut.
std::optional<Source> readStandardInput(std::string& error) {
  std::string text;
  char buffer[65536];
  while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(std::cin.gcount()));
    if (text.size() > capture::kMaxPageBytes) {
      error = "standard input is larger than " + std::to_string(capture::kMaxPageBytes >> 20) +
              " MiB; pages are limited to that size";
      return std::nullopt;
    }
  }
  return Source{std::move(text), "", ""};
}

std::optional<Source> readSource(capture::Fetcher& fetcher, const CaptureRequest& request, std::string& error) {
  std::optional<Source> source;
  if (request.source == "-") {
    source = readStandardInput(error);
  } else if (isWebSource(request.source)) {
    source = fetchPage(fetcher, request.source, error);
  } else {
    source = readLocalFile(fetcher, request.source, error);
  }
  if (source && request.address) source->baseAddress = *request.address;
  // The engine and the saved page work in UTF-8, whatever the site used.
  if (source) source->text = capture::toUtf8(source->text, source->contentType);
  return source;
}

// The download progress as a bar redrawn in place on standard error.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  void show(const capture::DownloadProgress& progress) {
    if (!enabled_ || progress.range <= 0) return;
    const int filled = static_cast<int>(static_cast<long long>(progress.position) * kProgressWidth / progress.range);
    std::string line = "\r[";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kProgressWidth - filled), '.');
    line += "] " + std::to_string(progress.position / capture::DownloadRun::kStep) + "/" +
            std::to_string(progress.range / capture::DownloadRun::kStep);
    if (line == drawn_) return;
    err_ << line << std::flush;
    drawn_ = line;
  }
  void finish() {
    if (!drawn_.empty()) err_ << "\n" << std::flush;
    drawn_.clear();
  }

 private:
  std::ostream& err_;
  bool enabled_;
  std::string drawn_;  // the line on screen
};

}  // namespace

int runCapture(Context& context, const Arguments& args) {
  CaptureRequest request;
  if (const std::string problem = parseArguments(args, request); !problem.empty()) {
    return usageError(context, "capture: " + problem);
  }
  std::string error;
  const std::optional<std::string> folder = categoryFolder(bookDirectoryOf(context), *request.category, error);
  if (!folder) return failure(context, error);
  // One fetcher serves the page and its resources: one connection for all.
  capture::Fetcher fetcher;
  const std::optional<Source> source = readSource(fetcher, request, error);
  if (!source) return failure(context, error);

  const std::string name =
      request.name ? *request.name
                   : capture::fileNameFromTitle(request.asText ? std::string() : capture::htmlTitle(source->text));
  const std::string pagePath = platform::joinPath(*folder, capture::fittedPageFileName(name));
  if (platform::isDirectory(pagePath)) return failure(context, "a folder is in the way: " + pagePath);
  if (platform::pathExists(pagePath) && !request.overwrite) {
    return failure(context, pagePath + " exists; give --overwrite to replace it");
  }

  ProgressBar bar(context.err, !request.quiet && isatty(STDERR_FILENO) == 1);
  const capture::DownloadHook download = [&bar, &fetcher](capture::DownloadRun& run) {
    run.run([&bar](const capture::DownloadProgress& progress) { bar.show(progress); }, &fetcher);
    bar.finish();
  };
  capture::CaptureOptions options{request.fileTypes, capture::kDefaultMaxFileSize, request.overwrite};
  const CaptureSettings settings = configuredCaptureSettings(context.registry);
  options.maxFileSize = request.maxFileSize.value_or(settings.maxFileSize);
  options.jobs = request.jobs;
  options.complete = !request.plain && settings.complete;
  const capture::CaptureResult result =
      request.asText ? capture::captureSource(source->text, capture::kCapturePlainText, source->baseAddress,
                                              pagePath, options, download)
                     : capture::captureDocument(capture::serializeHtml(source->text), source->baseAddress,
                                                pagePath, options, download);
  if (!result.captured) return failure(context, result.error);
  if (!request.quiet && result.resourcesFetched < result.resourceCount) {
    context.err << "velkin: " << result.resourceCount - result.resourcesFetched << " of " << result.resourceCount
                << " resources could not be fetched\n";
  }
  context.out << result.pagePath << "\n";
  return kExitOk;
}

}  // namespace velkin::cli
