// Document capture: the road from content handed to the system to a page
// and its resources lying in a category. Every road runs one capture job
// (CPageCapture) in the same order: set up, scan and rewrite, download,
// save. The caller's part (dialogs, the tree, a progress display, the
// worker thread) comes in through hooks, so this code shows nothing itself
// and runs without a display.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/download_run.h"

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
};

struct CaptureResult {
  bool captured = false;   // the page was written
  bool cancelled = false;  // the user cancelled or declined; nothing written
  std::string pagePath;
  std::string error;       // why nothing (or only part) was written; for the user
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
// set up, scan and rewrite, download, save. An existing page is replaced;
// callers ask first. An empty download hook runs the download here.
CaptureResult captureDocument(std::string html, std::string baseAddress, const std::string& pagePath,
                              std::vector<std::string> fileTypes, const DownloadHook& download = {});

// The same for any capture mode (CaptureMode in page_capture.h).
CaptureResult captureSource(std::string sourceText, int captureMode, std::string baseAddress,
                            const std::string& pagePath, std::vector<std::string> fileTypes,
                            const DownloadHook& download = {});

}  // namespace velkin::capture
