// Fuzz target for the link scanner and rewriter. The first byte of the input
// picks the base address, the file types and the page name; the rest is the
// page HTML, scanned in capture mode 3 in a temporary folder made once.
// Checks, aborting on a breach:
// - every local path of the resource list is one safe file name inside the
//   page's companion folder;
// - for inputs of moderate size, the indexed rewriting gives exactly the
//   text, status and resource list of the literal rewriting.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "capture/page_capture.h"

namespace {

std::string& workFolder() {
  static std::string folder;
  return folder;
}

void removeWorkFolder() {
  if (workFolder().empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(workFolder(), ignored);
}

const std::string& ensureWorkFolder() {
  if (workFolder().empty()) {
    char pattern[] = "/tmp/velkin-fuzz-rewrite-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    workFolder() = pattern;
    std::atexit(removeWorkFolder);
  }
  return workFolder();
}

[[noreturn]] void breach(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fuzz_rewrite: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  removeWorkFolder();  // abort() skips the atexit handlers
  std::abort();
}

void checkLocalPaths(const velkin::capture::CPageCapture& job) {
  namespace fs = std::filesystem;
  const std::string folder = job.pageFolder() + "/" + job.companionFolderName();
  const fs::path normalFolder = fs::path(folder).lexically_normal();
  for (const velkin::capture::Resource& resource : job.resources()) {
    const std::string& local = resource.localPath;
    if (local.size() <= folder.size() + 1 || local.compare(0, folder.size() + 1, folder + "/") != 0) {
      breach("local path outside the companion folder", local);
    }
    const std::string_view name = std::string_view(local).substr(folder.size() + 1);
    if (name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
      breach("unsafe file name", local);
    }
    if (fs::path(local).lexically_normal().parent_path() != normalFolder) breach("path leaves the folder", local);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return 0;
  static const char* const kBases[] = {
      "http://ex.com/dir/page.htm", "https://ex.com/a/b/", "/pages/sub/p.htm", "C:\\pages\\sub\\p.htm",
      "",                           "http://ex.com/a>b/p.htm", "/tmp/x y/p.htm", "http://ex.com",
  };
  const uint8_t choice = data[0];
  const std::string base = kBases[choice & 7];
  std::vector<std::string> types;
  if (choice & 8) types.push_back("zip");
  if (choice & 16) types.push_back("GIF");
  if (choice & 32) types.push_back("htm");
  if (choice & 64) types.push_back("");
  const std::string pagePath = ensureWorkFolder() + ((choice & 128) ? "/p>q.htm" : "/p.htm");
  const std::string html(reinterpret_cast<const char*>(data + 1), size - 1);

  velkin::capture::CPageCapture job;
  job.setUp(html, velkin::capture::kCaptureHtml, pagePath, base, types);
  const int status = job.scanAndRewrite();
  checkLocalPaths(job);

  if (html.size() <= 16384) {
    velkin::capture::CPageCapture literal;
    literal.setUp(html, velkin::capture::kCaptureHtml, pagePath, base, types);
    literal.setRewriteStrategy(velkin::capture::RewriteStrategy::kLiteral);
    const int literalStatus = literal.scanAndRewrite();
    if (literalStatus != status) breach("status differs from the literal rewriting", html);
    if (literal.pageHtml() != job.pageHtml()) breach("text differs from the literal rewriting", html);
    if (literal.resourceCount() != job.resourceCount()) breach("resource count differs", html);
    for (size_t i = 0; i < job.resourceCount(); ++i) {
      if (literal.address(i) != job.address(i) || literal.localPath(i) != job.localPath(i)) {
        breach("resource list differs from the literal rewriting", html);
      }
    }
  }
  return 0;
}
