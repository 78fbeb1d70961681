// Completion of a capture: after scan and rewrite, which makes local the
// pictures, frames, style sheets and chosen files its tag patterns name, a
// second pass makes local what a browser would still fetch from the web to
// show the page: the pictures and fonts named by style sheets (linked,
// @import-ed, <style> blocks, style attributes), srcset candidates, the
// pictures of lazy-loading scripts, media, scripts, icons, OBJECT and EMBED
// data and IFRAME/FRAME pages, which are captured as pages of their own
// inside the companion folder. References that cannot be made local are
// made absolute on a web page, so the saved copy still finds them online.
//
// Everything completion writes lies in the page's companion folder and
// follows the capture's rules: single safe file names, every download
// bounded, no local file read for a web page, files complete or absent.
// Toolkit-free; runs on the capture's worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/document_capture.h"
#include "capture/page_capture.h"

namespace velkin::capture {

// Bounds that keep a hostile page from making a capture endless.
inline constexpr size_t kMaxFrameDepth = 3;         // frames inside frames inside frames
inline constexpr size_t kMaxFramesPerCapture = 32;  // frame pages captured in all
inline constexpr size_t kMaxImportDepth = 8;        // @import inside @import ...
inline constexpr size_t kMaxCompletedFiles = 5000;  // files completion adds in all
inline constexpr size_t kMaxSheetBytes = size_t{16} << 20;  // sheets read for references

// How the resources of one capture are fetched and whether it is completed.
struct FetchPlan {
  bool complete = true;
  bool pageIsWeb = false;  // no local file is read for a web page
  std::vector<std::string> fileTypes;
  std::uint64_t maxFileSize = kDefaultMaxFileSize;
  size_t jobs = 1;
  DownloadHook download;  // empty: each run on the calling thread
  // Progress shows paths below stagedFolder as below shownFolder.
  std::string stagedFolder;
  std::string shownFolder;
};

// Downloads job's resources (after scanAndRewrite) and, when plan.complete,
// completes the page: more downloads, rewritten references in the page,
// its style sheets and its frame pages. Counts every listed and fetched
// file in result. Returns "" or why the capture cannot be completed here (a
// local write failure); a cancelled download ends completion early and
// keeps what was fetched.
std::string fetchAndComplete(CPageCapture& job, const FetchPlan& plan, CaptureResult& result);

}  // namespace velkin::capture
