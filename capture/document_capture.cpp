#include "capture/document_capture.h"

#include "capture/clipboard_html.h"

#include "capture/file_types.h"
#include "capture/page_capture.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::capture {
namespace {

constexpr char kWhere[] = "capture";

// The result is not acted on: without a companion folder the page keeps its
// original references, and the capture goes on with what was found.
void scan(CPageCapture& job) {
  if (job.scanAndRewrite() != 1) {
    platform::trace(kWhere, "cannot create the companion folder of " + job.pagePath() +
                                "; the page keeps its original references");
  }
}

void fetchResources(const CPageCapture& job, const DownloadHook& hook, CaptureResult& result) {
  result.resourceCount = job.resourceCount();
  if (result.resourceCount == 0) return;
  DownloadRun run(job.resources());
  if (hook) {
    hook(run);
  } else {
    run.run();
  }
  for (const Resource& resource : job.resources()) {
    if (platform::isRegularFile(resource.localPath)) ++result.resourcesFetched;
  }
  if (result.resourcesFetched < result.resourceCount) {
    platform::trace(kWhere, std::to_string(result.resourceCount - result.resourcesFetched) + " of " +
                                std::to_string(result.resourceCount) + " resources of " + job.pagePath() +
                                " have no local copy");
  }
}

void writePage(CPageCapture& job, CaptureResult& result) {
  if (job.savePage() == 1) {
    result.captured = true;
    return;
  }
  result.error = "Cannot write the page " + job.pagePath();
  platform::trace(kWhere, result.error);
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

CaptureResult captureDrop(DropKind kind, std::string text, const std::string& targetFolder,
                          const DropHooks& hooks) {
  CaptureResult result;
  const int mode = modeOfDrop(kind);
  if (mode == 0 || !hooks.askSaveAs) {
    result.error = "Only text and HTML drops are captured.";
    return result;
  }
  const std::optional<SaveAsChoice> choice = hooks.askSaveAs(kDefaultPageFileName);
  if (!choice) {
    result.cancelled = true;
    return result;
  }
  result.error = checkPageFileName(choice->fileName);
  if (!result.error.empty()) return result;
  result.pagePath = platform::joinPath(targetFolder, pageFileNameFor(choice->fileName));
  if (platform::isDirectory(result.pagePath)) {
    result.error = "A folder named " + result.pagePath + " is in the way.";
    return result;
  }
  if (platform::pathExists(result.pagePath) && !(hooks.askOverwrite && hooks.askOverwrite(result.pagePath))) {
    result.cancelled = true;
    return result;
  }

  CPageCapture job;
  job.setUp(std::move(text), mode, result.pagePath, "", choice->fileTypes);
  scan(job);
  if (hooks.pageAdded) hooks.pageAdded(result.pagePath);
  fetchResources(job, hooks.download, result);
  writePage(job, result);
  return result;
}

CaptureResult captureSource(std::string sourceText, int captureMode, std::string baseAddress,
                            const std::string& pagePath, std::vector<std::string> fileTypes,
                            const DownloadHook& download) {
  CaptureResult result;
  result.pagePath = pagePath;
  CPageCapture job;
  job.setUp(std::move(sourceText), captureMode, pagePath, std::move(baseAddress), std::move(fileTypes));
  scan(job);
  fetchResources(job, download, result);
  writePage(job, result);
  return result;
}

CaptureResult captureDocument(std::string html, std::string baseAddress, const std::string& pagePath,
                              std::vector<std::string> fileTypes, const DownloadHook& download) {
  // The page is written in UTF-8; this line, ahead of any declaration the
  // document carries from its site, makes browsers read it so.
  html.insert(0, kUtf8MetaLine);
  return captureSource(std::move(html), kCaptureHtml, std::move(baseAddress), pagePath, std::move(fileTypes),
                       download);
}

}  // namespace velkin::capture
