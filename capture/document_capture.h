// Document capture: the road from content handed to the system to a page
// and its resources lying in a category. Every road runs one capture job
// (CPageCapture) in the same order: set up, scan and rewrite, download,
// save. The caller's part (dialogs, the tree, a progress display, the
// worker thread) comes in through hooks, so this code shows nothing itself
// and runs without a display.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/download_run.h"
#include "capture/fetcher.h"

namespace velkin::platform {
class Registry;
}

namespace velkin::capture {

// What a drag carries, in the order a drop tries them.
enum class DropKind : int {
  FileList = 1,       // copied into the category by the project tree, not here
  PlainText = 2,      // captured as plain text
  ClipboardHtml = 3,  // "HTML Format" text (see drop_adapter.h for text/html)
};

// Asked before a capture replaces a page that exists.
inline constexpr char kOverwriteQuestion[] = "The file has existed, overwrite or no?";

struct SaveAsChoice {
  std::string fileName;                // ends in a page extension
  std::vector<std::string> fileTypes;  // extensions of linked files to fetch
};

// Runs the download of a capture's resources and returns when it is over.
using DownloadHook = std::function<void(DownloadRun&)>;

// What a capture may do besides reading its source.
struct CaptureOptions {
  std::vector<std::string> fileTypes;  // extensions of linked files to fetch
  std::uint64_t maxFileSize = kDefaultMaxFileSize;  // larger resources fail like a missing one
  // An existing page of the name (and its companion folder) may be
  // replaced; otherwise finding one is a failure and nothing is replaced.
  bool replace = false;
  // How many resources are fetched at once (DownloadRun::setParallelJobs);
  // 1, one after another, unless the caller asks for more.
  size_t jobs = 1;
  // The page is completed (completion.h): style-sheet pictures and fonts,
  // srcset, lazy pictures, media, frames. Off, a capture keeps to what
  // scan and rewrite makes local.
  bool complete = true;
};

struct DropHooks {
  // The save dialog, preset with kDefaultPageFileName; nullopt when cancelled.
  std::function<std::optional<SaveAsChoice>(const std::string& presetName)> askSaveAs;
  // Asked (with kOverwriteQuestion) when the chosen page exists; true
  // replaces it. Without this hook an existing page is never replaced.
  std::function<bool(const std::string& pagePath)> askOverwrite;
  // The page is about to be written: the tree shows and selects its item.
  // It may name a page that is already listed (one being replaced).
  std::function<void(const std::string& pagePath)> pageAdded;
  // Default: the run on the calling thread.
  DownloadHook download;
  // The largest resource downloaded (see maxFileSizeSetting).
  std::uint64_t maxFileSize = kDefaultMaxFileSize;
  // Whether the page is completed (see completeCaptureSetting).
  bool complete = true;
};

struct CaptureResult {
  bool captured = false;   // the page was written
  bool cancelled = false;  // the user cancelled or declined; nothing written
  std::string pagePath;
  std::string error;       // why nothing was written; for the user
  size_t resourceCount = 0;    // resources listed for download
  size_t resourcesFetched = 0; // of those, how many have a local copy
};

// A drop of plain text or clipboard HTML onto the category targetFolder:
// save dialog, page path (targetFolder, "/", file name), set up with an
// empty base address, scan and rewrite, pageAdded, download, save. A file
// name that is not one path component is refused with an error before
// anything is written. FileList drops are refused (the tree copies them).
CaptureResult captureDrop(DropKind kind, std::string text, const std::string& targetFolder,
                          const DropHooks& hooks);

// A document (HTML) captured into pagePath with the address it came from:
// set up, scan and rewrite, download, save. An empty download hook runs the
// download here.
//
// Every capture is built apart (see staging.h) and appears whole or not at
// all: a source larger than kMaxPageBytes is refused, a failure to write
// here (no space, read-only, a companion folder that cannot be made, a name
// taken meanwhile) fails the capture with its reason and changes nothing in
// the category, while resources the web does not deliver (missing, too
// large, unreachable) leave the page partly captured, as counted in the
// result. A cancelled download still saves what it fetched.
CaptureResult captureDocument(std::string html, std::string baseAddress, const std::string& pagePath,
                              const CaptureOptions& options, const DownloadHook& download = {});

// The same for any capture mode (CaptureMode in page_capture.h).
CaptureResult captureSource(std::string sourceText, int captureMode, std::string baseAddress,
                            const std::string& pagePath, const CaptureOptions& options,
                            const DownloadHook& download = {});

// The page file name for a chosen name: the page extension added when
// missing (pageFileNameFor), then cut so that the page and its companion
// folder ("NAME.files") both fit a file system's 255-byte names.
std::string fittedPageFileName(const std::string& name);

// A single file name from a page title: control characters and runs of
// blanks become one blank, "/" becomes "-", blanks at both ends go, long
// titles are cut (at a character boundary). kDefaultPageFileName ("New
// File") when nothing is left.
std::string fileNameFromTitle(std::string_view title);

// The settings value (a string under the main program's machine key) that
// sets the largest resource the main program's captures download, in the
// notation of parseByteSize; kDefaultMaxFileSize when missing or unreadable.
inline constexpr char kMaxFileSizeValue[] = "MaxFileSize";
std::uint64_t maxFileSizeSetting(platform::Registry& registry);

// The settings value (a number under the main program's machine key)
// that turns the completion of captures off when 0; on when missing.
inline constexpr char kCompleteCaptureValue[] = "CompleteCapture";
bool completeCaptureSetting(platform::Registry& registry);

// html with the UTF-8 declaration every captured document starts with,
// after a leading document type declaration, which must stay first.
std::string withUtf8Declaration(std::string html);

// "1G", "300M", "512K", "1000" (bytes); K, M and G are powers of 1024, in
// either case. nullopt for anything else, zero or past 2^63.
std::optional<std::uint64_t> parseByteSize(std::string_view text);

}  // namespace velkin::capture
