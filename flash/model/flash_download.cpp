#include "flash/model/flash_download.h"

#include <sys/stat.h>

#include <memory>

#include "capture/address.h"
#include "capture/fetcher.h"
#include "flash/model/flash_folder.h"
#include "flash/model/messages.h"
#include "flash/model/movie_url.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::flash {

namespace {

// Whether anything, a dangling link included, is at path.
bool entryExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

DownloadResult result(DownloadOutcome outcome, std::string message = {}) {
  return DownloadResult{outcome, std::move(message)};
}

}  // namespace

bool localSourceAllowed(std::string_view page) { return !capture::localSourcePath(page).empty(); }

std::string sizeText(std::uint32_t size) { return size == 0 ? std::string() : std::to_string(size); }

SaveRow saveRow(const SaveRecord& record, const std::string& flashFolder) {
  SaveRow row;
  row.fileName = movieFileName(record.url);
  row.url = record.url;
  row.savePath = flashFolder;
  row.sizeText = sizeText(record.size);
  row.localAllowed = localSourceAllowed(record.page);
  return row;
}

std::vector<SaveRow> saveRows(const std::vector<SaveRecord>& records, const std::string& flashFolder) {
  std::vector<SaveRow> rows;
  rows.reserve(records.size());
  for (const SaveRecord& record : records) rows.push_back(saveRow(record, flashFolder));
  return rows;
}

std::string savePathLabel(std::string_view folder) { return "Save Path:" + std::string(folder); }

std::vector<DownloadRecord> downloadList(const std::vector<SaveRow>& rows) {
  std::vector<DownloadRecord> records;
  for (const SaveRow& row : rows) {
    if (!row.ticked) continue;
    records.push_back({row.url, platform::joinPath(row.savePath, row.fileName + kMovieExtension), row.localAllowed});
  }
  return records;
}

std::string previewAddress(const std::vector<SaveRow>& rows, int selectedRow, bool previewOn) {
  if (!previewOn || selectedRow < 0 || static_cast<size_t>(selectedRow) >= rows.size()) return {};
  return rows[static_cast<size_t>(selectedRow)].url;
}

FlashDownload::FlashDownload(std::vector<DownloadRecord> records, std::string flashFolder)
    : records_(std::move(records)), flashFolder_(std::move(flashFolder)) {}

std::vector<DownloadResult> FlashDownload::run(const Hooks& hooks, capture::Fetcher* fetcher) {
  std::unique_ptr<capture::Fetcher> own;
  if (fetcher == nullptr) {
    own = std::make_unique<capture::Fetcher>();
    fetcher = own.get();
  }
  if (maxFileSize_ != 0) fetcher->setMaxFileSize(maxFileSize_);
  std::vector<DownloadResult> results(records_.size());
  for (size_t index = 0; index < records_.size() && !cancelled_; ++index) {
    results[index] = runOne(index, hooks, *fetcher);
  }
  return results;
}

DownloadResult FlashDownload::runOne(size_t index, const Hooks& hooks, capture::Fetcher& fetcher) {
  const DownloadRecord& record = records_[index];
  if (hooks.started) hooks.started(index, record);
  if (!isChangeableInside(flashFolder_, record.target)) {
    return result(DownloadOutcome::Refused, platform::formatMessage(kOutsideFolderMessage, record.target));
  }
  const bool web = capture::hasWebScheme(record.source);
  if (!web && !record.localAllowed) {
    return result(DownloadOutcome::Refused, platform::formatMessage(kLocalSourceRefused, record.source));
  }
  if (entryExists(record.target) && !(hooks.overwrite && hooks.overwrite(record.target))) {
    return result(DownloadOutcome::Kept);
  }
  if (cancelled_) return result(DownloadOutcome::Cancelled);
  const capture::FetchResult fetched = fetcher.fetchToFile(record.source, record.target);
  if (fetched.ok) return result(DownloadOutcome::Saved);
  platform::trace("flash download", record.source + ": " + fetched.error);
  return result(DownloadOutcome::Failed, record.source + ": " + fetched.error);
}

std::string notSavedText(const std::vector<DownloadRecord>& records, const std::vector<DownloadResult>& results) {
  std::string lines;
  for (size_t index = 0; index < results.size() && index < records.size(); ++index) {
    const DownloadResult& one = results[index];
    if (one.outcome != DownloadOutcome::Refused && one.outcome != DownloadOutcome::Failed) continue;
    lines += one.message + "\n";
  }
  return lines.empty() ? std::string() : platform::formatMessage(kSomeNotSavedMessage, lines);
}

}  // namespace velkin::flash
