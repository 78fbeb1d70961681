#include "capture/download_run.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "capture/address.h"
#include "capture/fetcher.h"
#include "capture/transfer.h"
#include "kb/layout.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::capture {

namespace {

constexpr std::string_view kProgressPattern = "from %s to %s";

// "from %s to %s" with the entry's address and the local path it will have
// (written below folder, shown below shownFolder).
std::string progressText(const Resource& entry, const std::string& folder, const std::string& shownFolder) {
  std::string path = entry.localPath;
  if (!folder.empty() && path.rfind(folder + "/", 0) == 0) path.replace(0, folder.size(), shownFolder);
  const size_t second = kProgressPattern.rfind("%s");
  return platform::formatMessage(kProgressPattern.substr(0, second), entry.address) +
         platform::formatMessage(kProgressPattern.substr(second), path);
}

// True when path is absolute, has no empty, "." or ".." component, and names
// a file directly inside a companion folder ("x.files/name").
bool isInsideCompanionFolder(std::string_view path) {
  if (path.size() < 2 || path.front() != '/' || path.find('\0') != std::string_view::npos) return false;
  size_t components = 0;
  for (std::string_view rest = path.substr(1);; ++components) {
    const size_t slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    if (component.empty() || component == "." || component == "..") return false;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return components >= 1 && kb::isCompanionFolderName(platform::baseName(platform::parentPath(path)));
}

// Without HTTP/2 a host gets at most this many connections at once.
constexpr size_t kMaxConnectionsPerHost = 6;
constexpr int kPollMilliseconds = 1000;

// Fetches or copies one entry.
FetchResult fetchEntry(Fetcher& fetcher, const Resource& entry) {
  if (!isInsideCompanionFolder(entry.localPath)) {
    platform::trace("download", "skipped, not a file of a companion folder: " + entry.localPath);
    return {};
  }
  return fetcher.fetchToFile(entry.address, entry.localPath);
}

void traceFailure(const Resource& entry, const FetchResult& result) {
  if (!result.ok && !result.error.empty()) {
    platform::trace("download", entry.address + " -> " + entry.localPath + ": " + result.error);
  }
}

// Web transfers running side by side over one multi handle, which keeps
// the connections (and multiplexes HTTP/2 streams) for the whole run. Each
// slot's handle is configured once, like a Fetcher's, and reused.
class ParallelTransfers {
 public:
  using Done = std::function<void(size_t entry, const FetchResult& result)>;

  explicit ParallelTransfers(size_t jobs) : slots_(jobs) {
    transfer::initLibraryOnce();
    multi_ = curl_multi_init();
    if (multi_ == nullptr) return;
    curl_multi_setopt(multi_, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(std::min(jobs, kMaxConnectionsPerHost)));
    for (Slot& slot : slots_) {
      slot.handle = curl_easy_init();
      if (slot.handle == nullptr) continue;
      transfer::configureHandle(slot.handle, slot.errorText);
      // Waits for a connection that may multiplex rather than opening another.
      curl_easy_setopt(slot.handle, CURLOPT_PIPEWAIT, 1L);
    }
  }

  ~ParallelTransfers() {
    for (Slot& slot : slots_) {
      if (slot.busy) curl_multi_remove_handle(multi_, slot.handle);
      if (slot.handle != nullptr) curl_easy_cleanup(slot.handle);
    }
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
  }

  ParallelTransfers(const ParallelTransfers&) = delete;
  ParallelTransfers& operator=(const ParallelTransfers&) = delete;

  bool ready() const {
    return multi_ != nullptr &&
           std::all_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.handle != nullptr; });
  }
  bool hasFreeSlot() const { return freeSlot() != nullptr; }
  bool idle() const { return std::none_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.busy; }); }

  // Starts the download of entry (number index); the failure when it cannot
  // start (the local file cannot be made). Needs a free slot.
  std::optional<FetchResult> start(size_t index, const Resource& entry, std::uint64_t maxBytes) {
    Slot& slot = *freeSlot();
    slot.file = std::make_unique<platform::PendingFile>(entry.localPath);
    if (!slot.file->error().empty()) return transfer::openFailure(*slot.file);
    slot.entry = index;
    slot.address = entry.address;
    slot.transfer = transfer::Transfer{};
    slot.transfer.file = slot.file.get();
    slot.transfer.maxBytes = maxBytes;
    transfer::prepareTransfer(slot.handle, slot.address, slot.requested, slot.transfer, slot.errorText);
    if (const CURLMcode code = curl_multi_add_handle(multi_, slot.handle); code != CURLM_OK) {
      FetchResult result;
      result.error = curl_multi_strerror(code);
      return result;
    }
    slot.busy = true;
    return std::nullopt;
  }

  // Drives the transfers until at least one has ended (or a poll interval
  // has passed); done is told each ended one, its file committed if complete.
  void wait(const Done& done) {
    int running = 0;
    curl_multi_perform(multi_, &running);
    bool ended = false;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      const CURLcode code = message->data.result;
      Slot& slot = slotOf(message->easy_handle);
      curl_multi_remove_handle(multi_, slot.handle);
      slot.busy = false;
      FetchResult result = transfer::transferResult(slot.handle, code, slot.address, slot.transfer, slot.errorText);
      transfer::commitFile(*slot.file, result);
      slot.file.reset();
      done(slot.entry, result);
      ended = true;
    }
    if (!ended) curl_multi_poll(multi_, nullptr, 0, kPollMilliseconds, nullptr);
  }

 private:
  struct Slot {
    CURL* handle = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};
    bool busy = false;
    size_t entry = 0;
    std::string address;
    std::string requested;
    std::unique_ptr<platform::PendingFile> file;
    transfer::Transfer transfer;
  };

  const Slot* freeSlot() const {
    for (const Slot& slot : slots_) {
      if (!slot.busy) return &slot;
    }
    return nullptr;
  }
  Slot* freeSlot() { return const_cast<Slot*>(std::as_const(*this).freeSlot()); }
  Slot& slotOf(CURL* handle) {
    return *std::find_if(slots_.begin(), slots_.end(), [handle](const Slot& slot) { return slot.handle == handle; });
  }

  CURLM* multi_ = nullptr;
  std::vector<Slot> slots_;  // never resized: transfers point into it
};

}  // namespace

DownloadRun::DownloadRun(std::vector<Resource> entries) : entries_(std::move(entries)) {}

size_t DownloadRun::run(const std::function<void(const DownloadProgress&)>& progress, Fetcher* given) {
  std::unique_ptr<Fetcher> own;
  if (given == nullptr) own = std::make_unique<Fetcher>();
  Fetcher& fetcher = given != nullptr ? *given : *own;
  fetcher.setMaxFileSize(maxFileSize_);
  localFailure_.clear();
  if (jobs_ > 1) return runInParallel(progress, fetcher);
  size_t files = 0;
  DownloadProgress report;
  report.range = range();
  for (size_t i = 0; i < entries_.size() && !cancelled_ && localFailure_.empty(); ++i) {
    report.index = i;
    report.text = progressText(entries_[i], folder_, shownFolder_);
    if (progress) progress(report);
    const FetchResult result = fetchEntry(fetcher, entries_[i]);
    traceFailure(entries_[i], result);
    if (result.ok) ++files;
    if (result.localFailure) localFailure_ = result.error;
    report.position = kStep * static_cast<int>(i + 1);
    if (progress) progress(report);
  }
  return files;
}

// Entries are started in order while a slot is free; local copies and
// skipped entries are done at once on this thread. A cancel starts nothing
// more and lets the running transfers end; a local write failure ends them
// at once (their files are discarded) and stops the run.
size_t DownloadRun::runInParallel(const std::function<void(const DownloadProgress&)>& progress, Fetcher& fetcher) {
  ParallelTransfers transfers(jobs_);
  if (!transfers.ready()) {
    platform::trace("download", "cannot set up parallel transfers; fetching one after another");
    const size_t jobs = std::exchange(jobs_, 1);
    const size_t files = run(progress, &fetcher);
    jobs_ = jobs;
    return files;
  }
  size_t files = 0;
  size_t finished = 0;
  DownloadProgress report;
  report.range = range();
  const auto done = [&](size_t index, const FetchResult& result) {
    traceFailure(entries_[index], result);
    if (result.ok) ++files;
    if (result.localFailure && localFailure_.empty()) localFailure_ = result.error;
    report.index = index;
    report.position = kStep * static_cast<int>(++finished);
    if (progress) progress(report);
  };
  for (size_t next = 0;;) {
    while (next < entries_.size() && !cancelled_ && localFailure_.empty() && transfers.hasFreeSlot()) {
      const size_t index = next++;
      const Resource& entry = entries_[index];
      report.index = index;
      report.text = progressText(entry, folder_, shownFolder_);
      if (progress) progress(report);
      if (!isInsideCompanionFolder(entry.localPath) || !hasWebScheme(entry.address)) {
        done(index, fetchEntry(fetcher, entry));
      } else if (std::optional<FetchResult> failed = transfers.start(index, entry, maxFileSize_)) {
        done(index, *failed);
      }
    }
    if (transfers.idle() || !localFailure_.empty()) break;
    transfers.wait(done);
  }
  return files;
}

}  // namespace velkin::capture
