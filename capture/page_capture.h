// CPageCapture: one capture job. Set up with the source text, the capture
// mode, the page path, the base address and the chosen file types; scan and
// rewrite turns every resource reference into a reference to a local copy in
// the page's companion folder and every hyperlink into an absolute address,
// and lists the resources to fetch; save page writes the capture header and
// the rewritten HTML. One job lives for one capture, on one thread.
#pragma once

#include <string>
#include <vector>

namespace velkin::capture {

enum CaptureMode : int {
  kCapturePlainText = 1,      // the source text is plain text
  kCaptureClipboardHtml = 2,  // the source text is "HTML Format" clipboard text
  kCaptureHtml = 3,           // the source text is HTML
};

// The result of a failed scan (the companion folder cannot be created).
inline constexpr int kCaptureFailed = static_cast<int>(0x80004005u);

struct Resource {
  std::string address;    // absolute address to fetch
  std::string localPath;  // full path of the local copy
};

// How scan and rewrite applies its whole-text replacements. Both give the
// same text and the same resource list, byte for byte; the literal way
// costs a pass over the whole text per reference, the indexed way about one
// pass per tag pattern (it falls back to the literal way by itself for a
// pattern pass it cannot index). Tests and benchmarks choose the literal way
// to compare.
enum class RewriteStrategy {
  kIndexed,
  kLiteral,
};

class CPageCapture {
 public:
  // Any other mode than 1, 2 or 3 means the page HTML was set beforehand
  // with setPageHtml.
  void setUp(std::string sourceText, int captureMode, std::string pagePath, std::string baseAddress,
             std::vector<std::string> fileTypes);
  void setPageHtml(std::string html) { pageHtml_ = std::move(html); }

  // 1 on success; kCaptureFailed when the companion folder cannot be made.
  int scanAndRewrite();
  // 1 when the page was written (through a temporary file), else 0 with
  // the reason in saveError().
  int savePage();
  const std::string& saveError() const { return saveError_; }

  const std::string& pageHtml() const { return pageHtml_; }
  int captureMode() const { return captureMode_; }
  const std::string& pagePath() const { return pagePath_; }
  const std::string& pageFolder() const { return pageFolder_; }
  const std::string& companionFolderName() const { return companionFolderName_; }
  const std::string& baseAddress() const { return baseAddress_; }
  // A web page's references are fetched from the web only: its references
  // to this machine's files are never read. Other pages (a local file, a
  // drop without an address) may name local files.
  bool pageIsWeb() const;
  const std::string& title() const { return title_; }
  const std::vector<std::string>& fileTypes() const { return fileTypes_; }

  void setRewriteStrategy(RewriteStrategy strategy) { strategy_ = strategy; }
  // Tag pattern passes of the last scan that ran the literal way (all of
  // them under kLiteral; under kIndexed, those that fell back).
  size_t literalPassCount() const { return literalPasses_; }

  const std::vector<Resource>& resources() const { return resources_; }
  size_t resourceCount() const { return resources_.size(); }
  const std::string& address(size_t index) const { return resources_.at(index).address; }
  const std::string& localPath(size_t index) const { return resources_.at(index).localPath; }

 private:
  std::string sourceText_;
  int captureMode_ = 0;
  std::string pagePath_;
  std::string pageFolder_;
  std::string companionFolderName_;
  std::string baseAddress_;
  std::string title_;
  std::vector<std::string> fileTypes_;
  std::string pageHtml_;
  std::string saveError_;
  std::vector<Resource> resources_;
  RewriteStrategy strategy_ = RewriteStrategy::kIndexed;
  size_t literalPasses_ = 0;
};

}  // namespace velkin::capture
