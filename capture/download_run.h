// The download run of a capture: fetches a job's resources on the calling
// (worker) thread, with a cancel flag checked before each entry is started
// and a progress report when each one starts and when it ends. By default
// the entries are fetched strictly one after another, web addresses over
// one connection kept for the whole run; with more than one job, up to that
// many web transfers run at once (HTTP/2 multiplexing where the server
// offers it, else up to 6 reused connections per host), each bounded
// exactly as a Fetcher's. Other addresses are local copies (see Fetcher). An entry whose local path
// is not a file directly inside a companion folder is never written. Failed
// entries leave no file and are traced; the run carries on past a failure of
// the source (missing, too large, unreachable) and stops at a failure to
// write here (no space, read-only), which fails the whole capture.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "capture/fetcher.h"
#include "capture/page_capture.h"

namespace velkin::capture {

struct DownloadProgress {
  size_t index = 0;      // entry being worked on
  std::string text;      // "from %s to %s" with address and local path
  int position = 0;      // 50 per finished entry
  int range = 0;         // 50 times the number of entries
};

class DownloadRun {
 public:
  static constexpr int kStep = 50;
  explicit DownloadRun(std::vector<Resource> entries);

  // Any thread: asks the run to stop before its next entry.
  void cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }
  // Largest file of the run (kDefaultMaxFileSize unless set); set it before run.
  void setMaxFileSize(std::uint64_t bytes) { maxFileSize_ = bytes; }
  // How many web transfers may run at once (1, the default: one after
  // another); set it before run.
  void setParallelJobs(size_t jobs) { jobs_ = jobs < 1 ? 1 : jobs; }
  size_t parallelJobs() const { return jobs_; }
  // Progress shows local paths below folder as below shownFolder (where the
  // files will be once the capture is published).
  void showFolderAs(std::string folder, std::string shownFolder) {
    folder_ = std::move(folder);
    shownFolder_ = std::move(shownFolder);
  }
  // Why the run stopped at a local write failure; "" when it did not.
  const std::string& localFailure() const { return localFailure_; }
  int range() const { return kStep * static_cast<int>(entries_.size()); }
  const std::vector<Resource>& entries() const { return entries_; }

  // Worker thread: processes the entries; progress is called with the text
  // when an entry starts and with the new position (finished entries) when
  // one ends. Returns the number of entries that ended with a local file.
  // A fetcher of the calling thread may be given so that the page and its
  // resources share one connection (one after another) or do its local
  // copies (in parallel).
  size_t run(const std::function<void(const DownloadProgress&)>& progress = {}, Fetcher* fetcher = nullptr);

 private:
  size_t runInParallel(const std::function<void(const DownloadProgress&)>& progress, Fetcher& fetcher);
  size_t jobs_ = 1;
  std::vector<Resource> entries_;
  std::atomic<bool> cancelled_{false};
  std::uint64_t maxFileSize_ = kDefaultMaxFileSize;
  std::string localFailure_;
  std::string folder_;
  std::string shownFolder_;
};

}  // namespace velkin::capture
