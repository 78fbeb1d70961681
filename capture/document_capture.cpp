#include "capture/document_capture.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "capture/clipboard_html.h"
#include "capture/completion.h"
#include "capture/file_types.h"
#include "capture/page_capture.h"
#include "capture/staging.h"
#include "kb/book_dir.h"
#include "kb/layout.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::capture {
namespace {

constexpr char kWhere[] = "capture";
constexpr size_t kMaxFileNameBytes = 255;
// A name taken from a page title is cut to this many bytes.
constexpr size_t kMaxTitleNameBytes = 200;

// Called once the page is scanned, before its resources are downloaded.
using ScannedHook = std::function<void()>;

// Scan, download and save in the staging folder, then publish; "" or why
// the capture failed.
std::string captureStaged(CPageCapture& job, CaptureStaging& staging, const std::string& pageName,
                          const CaptureOptions& options, const DownloadHook& download, const ScannedHook& scanned,
                          CaptureResult& result) {
  if (job.scanAndRewrite() != 1) return "Cannot create the folder of the page's resources in " + staging.path();
  if (scanned) scanned();
  FetchPlan plan;
  // Plain text names no files, whatever it holds.
  plan.complete = options.complete && job.captureMode() != kCapturePlainText;
  plan.pageIsWeb = job.pageIsWeb();
  plan.fileTypes = options.fileTypes;
  plan.maxFileSize = options.maxFileSize;
  plan.jobs = options.jobs;
  plan.download = download;
  plan.stagedFolder = staging.path();
  plan.shownFolder = std::string(platform::parentPath(staging.path()));
  if (std::string failure = fetchAndComplete(job, plan, result); !failure.empty()) return failure;
  if (job.savePage() != 1) return "Cannot write the page " + result.pagePath + ": " + job.saveError();
  return staging.publish(pageName, options.replace);
}

std::string pageTooLargeText() {
  return "The page is larger than " + std::to_string(kMaxPageBytes >> 20) + " MiB and was not saved.";
}

// The whole capture of a source into pagePath, built in a staging folder.
CaptureResult captureStaged(std::string sourceText, int captureMode, std::string baseAddress,
                            const std::string& pagePath, const CaptureOptions& options,
                            const DownloadHook& download, const ScannedHook& scanned) {
  CaptureResult result;
  result.pagePath = pagePath;
  if (sourceText.size() > kMaxPageBytes) {
    result.error = pageTooLargeText();
    return result;
  }
  const std::string pageName(platform::baseName(pagePath));
  std::string folder(platform::parentPath(pagePath));
  if (folder.empty()) folder = ".";
  std::unique_ptr<CaptureStaging> staging = CaptureStaging::create(folder, result.error);
  if (!staging) return result;
  CPageCapture job;
  job.setUp(std::move(sourceText), captureMode, staging->stagedPage(pageName), std::move(baseAddress),
            options.fileTypes);
  result.error = captureStaged(job, *staging, pageName, options, download, scanned, result);
  result.captured = result.error.empty();
  if (!result.captured) platform::trace(kWhere, result.pagePath + ": " + result.error);
  return result;
}

int modeOfDrop(DropKind kind) {
  switch (kind) {
    case DropKind::PlainText: return kCapturePlainText;
    case DropKind::ClipboardHtml: return kCaptureClipboardHtml;
    case DropKind::FileList: break;
  }
  return 0;
}

}  // namespace

std::string fittedPageFileName(const std::string& name) {
  const std::string page = pageFileNameFor(name);
  const auto kind = kb::pageKindOf(page);
  const size_t extension = kind ? kb::pageExtensionLength(*kind) : 0;
  // The companion folder's ".files" is the longer ending when the page's
  // is ".htm" or ".html".
  const size_t longestEnding = std::max(extension, std::string_view(".files").size());
  const std::string stem(platform::cutAtCharacter(page.substr(0, page.size() - extension),
                                                  kMaxFileNameBytes - longestEnding));
  return stem + page.substr(page.size() - extension);
}

std::string fileNameFromTitle(std::string_view title) {
  std::string name;
  bool pendingBlank = false;
  for (const char c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) {
      pendingBlank = !name.empty();
      continue;
    }
    if (pendingBlank) name += ' ';
    pendingBlank = false;
    name += c == '/' ? '-' : c;
  }
  if (name.size() > kMaxTitleNameBytes) {
    name.resize(platform::cutAtCharacter(name, kMaxTitleNameBytes).size());
    while (!name.empty() && name.back() == ' ') name.pop_back();
  }
  if (name.empty() || name == "." || name == "..") return kDefaultPageFileName;
  return name;
}

std::optional<std::uint64_t> parseByteSize(std::string_view text) {
  if (text.empty()) return std::nullopt;
  unsigned shift = 0;
  switch (platform::asciiUpper(text.back())) {
    case 'K': shift = 10; break;
    case 'M': shift = 20; break;
    case 'G': shift = 30; break;
    default: break;
  }
  if (shift != 0) text.remove_suffix(1);
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::uint64_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number == 0 || number > (std::uint64_t{1} << (63 - shift))) return std::nullopt;
  return number << shift;
}

std::uint64_t maxFileSizeSetting(platform::Registry& registry) {
  const auto value = registry.readString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kMaxFileSizeValue);
  if (!value) return kDefaultMaxFileSize;
  if (const auto bytes = parseByteSize(*value)) return *bytes;
  platform::trace(kWhere, std::string(kMaxFileSizeValue) + " is not a size: " + *value);
  return kDefaultMaxFileSize;
}

CaptureResult captureDrop(DropKind kind, std::string text, const std::string& targetFolder,
                          const DropHooks& hooks) {
  CaptureResult result;
  const int mode = modeOfDrop(kind);
  if (mode == 0 || !hooks.askSaveAs) {
    result.error = "Only text and HTML drops are captured.";
    return result;
  }
  if (text.size() > kMaxPageBytes) {
    result.error = pageTooLargeText();
    return result;
  }
  const std::optional<SaveAsChoice> choice = hooks.askSaveAs(kDefaultPageFileName);
  if (!choice) {
    result.cancelled = true;
    return result;
  }
  result.error = checkPageFileName(choice->fileName);
  if (!result.error.empty()) return result;
  result.pagePath = platform::joinPath(targetFolder, fittedPageFileName(choice->fileName));
  if (platform::isDirectory(result.pagePath)) {
    result.error = "A folder named " + result.pagePath + " is in the way.";
    return result;
  }
  CaptureOptions options{choice->fileTypes, hooks.maxFileSize, false};
  options.complete = hooks.complete;
  if (platform::pathExists(result.pagePath)) {
    if (!(hooks.askOverwrite && hooks.askOverwrite(result.pagePath))) {
      result.cancelled = true;
      return result;
    }
    options.replace = true;
  }
  ScannedHook scanned;
  if (hooks.pageAdded) scanned = [&hooks, &result] { hooks.pageAdded(result.pagePath); };
  return captureStaged(std::move(text), mode, "", result.pagePath, options, hooks.download, scanned);
}

CaptureResult captureSource(std::string sourceText, int captureMode, std::string baseAddress,
                            const std::string& pagePath, const CaptureOptions& options,
                            const DownloadHook& download) {
  return captureStaged(std::move(sourceText), captureMode, std::move(baseAddress), pagePath, options, download, {});
}

CaptureResult captureDocument(std::string html, std::string baseAddress, const std::string& pagePath,
                              const CaptureOptions& options, const DownloadHook& download) {
  return captureSource(withUtf8Declaration(std::move(html)), kCaptureHtml, std::move(baseAddress), pagePath, options,
                       download);
}

std::string withUtf8Declaration(std::string html) {
  // The page is written in UTF-8; this line, ahead of any declaration the
  // document carries from its site, makes browsers read it so.
  html.insert(kb::leadingDoctypeEnd(html), kUtf8MetaLine);
  return html;
}

bool completeCaptureSetting(platform::Registry& registry) {
  const auto value = registry.readDword(platform::RegistryRoot::Machine, kb::kKestrovaKey, kCompleteCaptureValue);
  return !value || *value != 0;
}

}  // namespace velkin::capture
