// Saving Flash movies: the rows of the save dialog, the download list it
// builds, and the download run that writes the ticked movies one after
// another into the Flash folder.
//
// The run is strict about where bytes come from and where they go. A web
// movie (http or https) is fetched by the capture engine's fetcher (size and
// time limits, a temporary file renamed into place, so a failed fetch leaves
// no file). Any other source is a local copy, allowed only for a movie found
// on a page of this computer: a web page can never make us read a local
// file. Every target must be a plain file name directly inside a folder that
// lies in the Flash folder, links resolved.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "flash/model/save_record.h"

namespace velkin::capture {
class Fetcher;
}

namespace velkin::flash {

// One row of the save dialog's movie list.
struct SaveRow {
  std::string fileName;  // without ".swf"
  std::string url;
  std::string savePath;  // the folder the movie goes to
  std::string sizeText;  // "" when unknown
  bool ticked = true;
  bool localAllowed = false;
};

// One movie to write: where it comes from, the full path it goes to, and
// whether a source that is not a web address may be read from this computer.
struct DownloadRecord {
  std::string source;
  std::string target;
  bool localAllowed = false;
};

// Whether a movie found on page may be a local file: only when the page is
// itself a local file (a "file://" address or an absolute path).
bool localSourceAllowed(std::string_view page);
// The size column's text: the size in decimal, "" for 0.
std::string sizeText(std::uint32_t size);
// The row a save record starts as: its file name, its address, the Flash
// folder as save path, ticked.
SaveRow saveRow(const SaveRecord& record, const std::string& flashFolder);
std::vector<SaveRow> saveRows(const std::vector<SaveRecord>& records, const std::string& flashFolder);
// The save path label's text for a chosen folder: "Save Path:" and the folder.
std::string savePathLabel(std::string_view folder);
// What Save hands to the download: one record per ticked row, in row order,
// the target being the save path, "/", the file name and ".swf".
std::vector<DownloadRecord> downloadList(const std::vector<SaveRow>& rows);
// The address the preview plays for the selected row, "" when the preview
// is off or no row is selected.
std::string previewAddress(const std::vector<SaveRow>& rows, int selectedRow, bool previewOn);

enum class DownloadOutcome {
  Saved,      // the movie is in its target
  Kept,       // the target existed and the user kept it
  Refused,    // never tried: the target or the source is not allowed
  Failed,     // tried and failed; no file was left behind
  Cancelled,  // not reached: the run was cancelled before it
};

struct DownloadResult {
  DownloadOutcome outcome = DownloadOutcome::Cancelled;
  std::string message;  // why it was refused or failed, for the user
};

// The texts of the download dialog and its question.
inline constexpr char kDownloadTitle[] = "Flash Download...";
inline constexpr char kDownloadingText[] = "Downloading %s";  // the target
inline constexpr char kFromText[] = "from %s";                // the source
inline constexpr char kOverwriteQuestion[] = "The file has existed: %s\n\nDo you want to overwrite or no?";
inline constexpr char kLocalSourceRefused[] =
    "%s was found on a web page: a web page's movie is never read from this computer.";
inline constexpr char kSomeNotSavedMessage[] = "These movies were not saved:\n\n%s";

class FlashDownload {
 public:
  struct Hooks {
    // A record is about to be worked on.
    std::function<void(size_t index, const DownloadRecord& record)> started;
    // The target exists: true overwrites it, false keeps it. Unset keeps it.
    std::function<bool(const std::string& target)> overwrite;
  };

  // flashFolder: the folder every target must lie in.
  FlashDownload(std::vector<DownloadRecord> records, std::string flashFolder);

  // Any thread: the run stops before its next record (the current file is
  // finished first).
  void cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }
  const std::vector<DownloadRecord>& records() const { return records_; }
  // Largest movie fetched (the fetcher's default unless set); set before run.
  void setMaxFileSize(std::uint64_t bytes) { maxFileSize_ = bytes; }

  // Worker thread: works through the records; one result per record.
  // A fetcher may be given (tests set its limits); else one is made.
  std::vector<DownloadResult> run(const Hooks& hooks, capture::Fetcher* fetcher = nullptr);

 private:
  DownloadResult runOne(size_t index, const Hooks& hooks, capture::Fetcher& fetcher);

  std::vector<DownloadRecord> records_;
  std::string flashFolder_;
  std::atomic<bool> cancelled_{false};
  std::uint64_t maxFileSize_ = 0;
};

// The user's text for the records that were refused or failed ("" when every
// one was saved, kept or cancelled).
std::string notSavedText(const std::vector<DownloadRecord>& records, const std::vector<DownloadResult>& results);

}  // namespace velkin::flash
