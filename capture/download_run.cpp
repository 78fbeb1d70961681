#include "capture/download_run.h"

#include <memory>

#include "capture/fetcher.h"
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

// Fetches or copies one entry.
FetchResult fetchEntry(Fetcher& fetcher, const Resource& entry) {
  if (!isInsideCompanionFolder(entry.localPath)) {
    platform::trace("download", "skipped, not a file of a companion folder: " + entry.localPath);
    return {};
  }
  FetchResult result = fetcher.fetchToFile(entry.address, entry.localPath);
  if (!result.ok) platform::trace("download", entry.address + " -> " + entry.localPath + ": " + result.error);
  return result;
}

}  // namespace

DownloadRun::DownloadRun(std::vector<Resource> entries) : entries_(std::move(entries)) {}

size_t DownloadRun::run(const std::function<void(const DownloadProgress&)>& progress, Fetcher* given) {
  std::unique_ptr<Fetcher> own;
  if (given == nullptr) own = std::make_unique<Fetcher>();
  Fetcher& fetcher = given != nullptr ? *given : *own;
  fetcher.setMaxFileSize(maxFileSize_);
  localFailure_.clear();
  size_t files = 0;
  DownloadProgress report;
  report.range = range();
  for (size_t i = 0; i < entries_.size() && !cancelled_ && localFailure_.empty(); ++i) {
    report.index = i;
    report.text = progressText(entries_[i], folder_, shownFolder_);
    if (progress) progress(report);
    const FetchResult result = fetchEntry(fetcher, entries_[i]);
    if (result.ok) ++files;
    if (result.localFailure) localFailure_ = result.error;
    report.position = kStep * static_cast<int>(i + 1);
    if (progress) progress(report);
  }
  return files;
}

}  // namespace velkin::capture
