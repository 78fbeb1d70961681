// The capture sequences against a real HTTP server on 127.0.0.1: drops of
// clipboard HTML and plain text onto a category, with the save dialog, the
// overwrite question, the tree and the download as hooks; and a document
// captured with its address.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/clipboard_html.h"
#include "capture/document_capture.h"
#include "capture/drop_adapter.h"
#include "capture/support/loopback_server.h"
#include "kb/book_dir.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::capture {
namespace {

using testing::LoopbackServer;
using testing::readTextFile;

constexpr char kPng[] = "\x89PNG picture bytes";
constexpr char kGif[] = "GIF89a picture bytes";

class DocumentCapture : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    server_.serve("/news/pics/a.png", kPng, "image/png");
    server_.serve("/pics/a.png", kPng, "image/png");
    server_.serve("/pics/b.gif", kGif, "image/gif");
    testing::makeDirs(category());
  }

  std::string category() const { return path("kb/Category"); }
  std::string page(const std::string& name) const { return category() + "/" + name; }

  // Hooks that answer the save dialog with name and record the order of
  // the steps.
  DropHooks hooksSavingAs(const std::string& name) {
    DropHooks hooks;
    hooks.askSaveAs = [this, name](const std::string& preset) -> std::optional<SaveAsChoice> {
      steps_.push_back("save dialog preset " + preset);
      return SaveAsChoice{name, {}};
    };
    hooks.askOverwrite = [this](const std::string&) {
      steps_.push_back("overwrite?");
      return overwrite_;
    };
    hooks.pageAdded = [this](const std::string& pagePath) {
      steps_.push_back(std::string("page added") + (platform::pathExists(pagePath) ? " (exists)" : ""));
    };
    hooks.download = [this](DownloadRun& run) {
      steps_.push_back("download " + std::to_string(run.entries().size()));
      run.run();
    };
    return hooks;
  }

  // The clipboard text of a browser selection holding both pictures.
  std::string selection() const {
    return buildClipboardHtml("<p>Story <img alt=first src=\"pics/a.png\"> and <img src=\"/pics/b.gif\" alt=b></p>",
                              server_.url("/news/story.html"));
  }

  static std::vector<std::string> filesIn(const std::string& folder) { return testing::sortedNamesIn(folder); }

  testing::DirectLoopback direct_;
  LoopbackServer server_;
  std::vector<std::string> steps_;
  bool overwrite_ = false;
};

TEST_F(DocumentCapture, ClipboardDropBecomesPageWithPictures) {
  const CaptureResult result = captureDrop(DropKind::ClipboardHtml, selection(), category(), hooksSavingAs("news"));
  ASSERT_TRUE(result.captured) << result.error;
  EXPECT_EQ(result.pagePath, page("news.htm"));
  EXPECT_EQ(steps_, (std::vector<std::string>{"save dialog preset New File", "page added", "download 2"}));

  const std::string text = readTextFile(page("news.htm"));
  EXPECT_EQ(text.rfind(kb::captureHeader(server_.url("/news/story.html")) + kUtf8MetaLine + "<HTML>", 0), 0u)
      << text;
  EXPECT_NE(text.find("<IMG alt=first src=\"news.files/a.png\">"), std::string::npos) << text;
  EXPECT_NE(text.find("<IMG src=\"news.files/b.gif\" alt=b>"), std::string::npos) << text;
  EXPECT_EQ(filesIn(page("news.files")), (std::vector<std::string>{"a.png", "b.gif"}));
  EXPECT_EQ(readTextFile(page("news.files/a.png")), kPng);
  EXPECT_EQ(readTextFile(page("news.files/b.gif")), kGif);
  EXPECT_EQ(result.resourceCount, 2u);
  EXPECT_EQ(result.resourcesFetched, 2u);
}

TEST_F(DocumentCapture, PlainTextDropIsKeptAsItIs) {
  const std::string words = "a <b>not markup</b> & \r\nsecond line";
  const CaptureResult result = captureDrop(DropKind::PlainText, words, category(), hooksSavingAs("notes.html"));
  ASSERT_TRUE(result.captured) << result.error;
  EXPECT_EQ(readTextFile(page("notes.html")), kb::captureHeader("") + "<HTML>" + words + "</HTML>");
  EXPECT_EQ(kb::readMetaValue(page("notes.html"), kb::kPageUrlName), "");
  EXPECT_EQ(filesIn(category()), (std::vector<std::string>{"notes.html"}));
  EXPECT_EQ(steps_, (std::vector<std::string>{"save dialog preset New File", "page added"}));
}

TEST_F(DocumentCapture, OldClipboardVersionWithoutBaseFetchesNothing) {
  const std::string old = "Version:0.9\r\nStartHTML:71\r\n\r\n<HTML><BODY><IMG src=\"pics/a.png\" alt=x></BODY></HTML>";
  const CaptureResult result = captureDrop(DropKind::ClipboardHtml, old, category(), hooksSavingAs("old"));
  ASSERT_TRUE(result.captured) << result.error;
  EXPECT_EQ(result.resourceCount, 0u);
  EXPECT_EQ(server_.requestCount(), 0u);
  EXPECT_NE(readTextFile(page("old.htm")).find("<IMG src=\"pics/a.png\" alt=x>"), std::string::npos);
  EXPECT_EQ(kb::readMetaValue(page("old.htm"), kb::kPageUrlName), "");
}

TEST_F(DocumentCapture, CancelledSaveDialogWritesNothing) {
  DropHooks hooks = hooksSavingAs("unused");
  hooks.askSaveAs = [](const std::string&) { return std::optional<SaveAsChoice>(); };
  const CaptureResult result = captureDrop(DropKind::ClipboardHtml, selection(), category(), hooks);
  EXPECT_FALSE(result.captured);
  EXPECT_TRUE(result.cancelled);
  EXPECT_TRUE(filesIn(category()).empty());
  EXPECT_EQ(server_.requestCount(), 0u);
  EXPECT_TRUE(steps_.empty());
}

TEST_F(DocumentCapture, ExistingPageStaysUnlessReplacingIsConfirmed) {
  testing::writeTextFile(page("news.htm"), "old page");
  const CaptureResult declined = captureDrop(DropKind::ClipboardHtml, selection(), category(), hooksSavingAs("news"));
  EXPECT_FALSE(declined.captured);
  EXPECT_TRUE(declined.cancelled);
  EXPECT_EQ(readTextFile(page("news.htm")), "old page");
  EXPECT_FALSE(platform::pathExists(page("news.files")));
  EXPECT_EQ(steps_, (std::vector<std::string>{"save dialog preset New File", "overwrite?"}));

  steps_.clear();
  overwrite_ = true;
  const CaptureResult replaced = captureDrop(DropKind::ClipboardHtml, selection(), category(), hooksSavingAs("news"));
  ASSERT_TRUE(replaced.captured) << replaced.error;
  EXPECT_NE(readTextFile(page("news.htm")).find("news.files/a.png"), std::string::npos);
  EXPECT_EQ(steps_, (std::vector<std::string>{"save dialog preset New File", "overwrite?", "page added (exists)",
                                              "download 2"}));
}

TEST_F(DocumentCapture, WithoutOverwriteQuestionAnExistingPageIsNeverReplaced) {
  testing::writeTextFile(page("news.htm"), "old page");
  DropHooks hooks = hooksSavingAs("news");
  hooks.askOverwrite = nullptr;
  EXPECT_FALSE(captureDrop(DropKind::PlainText, "new", category(), hooks).captured);
  EXPECT_EQ(readTextFile(page("news.htm")), "old page");
}

class UnsafeFileName : public DocumentCapture, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnsafeFileName, IsRefusedBeforeAnythingIsWritten) {
  const CaptureResult result = captureDrop(DropKind::ClipboardHtml, selection(), category(), hooksSavingAs(GetParam()));
  EXPECT_FALSE(result.captured);
  EXPECT_FALSE(result.error.empty());
  EXPECT_TRUE(filesIn(category()).empty());
  EXPECT_EQ(filesIn(path("kb")), std::vector<std::string>{"Category"});
  EXPECT_EQ(server_.requestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(DocumentCapture, UnsafeFileName,
                         ::testing::Values("", ".", "..", "../escaped", "sub/page.htm", "/tmp/abs"));

TEST_F(DocumentCapture, FileListDropsAreNotCapturedHere) {
  const CaptureResult result = captureDrop(DropKind::FileList, "/some/file", category(), hooksSavingAs("x"));
  EXPECT_FALSE(result.captured);
  EXPECT_FALSE(result.error.empty());
  EXPECT_TRUE(steps_.empty());
}

TEST_F(DocumentCapture, FailedResourcesAreCountedAndThePageIsStillWritten) {
  const std::string html = "<HTML><BODY><IMG src=\"missing.png\" alt=m><IMG src=\"pics/a.png\" alt=a></BODY></HTML>";
  const CaptureResult result = captureDocument(html, server_.url("/index.html"), page("partial.htm"), {});
  ASSERT_TRUE(result.captured) << result.error;
  EXPECT_EQ(result.resourceCount, 2u);
  EXPECT_EQ(result.resourcesFetched, 1u);
  EXPECT_EQ(filesIn(page("partial.files")), (std::vector<std::string>{"a.png"}));
}

TEST_F(DocumentCapture, UnwritablePageIsReportedAsAFailure) {
  const CaptureResult result =
      captureDocument("<HTML></HTML>", "", path("kb/no such folder/page.htm"), {});
  EXPECT_FALSE(result.captured);
  EXPECT_FALSE(result.error.empty());
}

// The main program's drops take their size limit from the settings store,
// in the command line's notation; anything unreadable keeps the default.
TEST_F(DocumentCapture, DropsTakeTheLargestFileSizeFromTheSettings) {
  platform::Registry registry(configDir());
  EXPECT_EQ(maxFileSizeSetting(registry), kDefaultMaxFileSize);
  const std::pair<const char*, std::uint64_t> values[] = {
      {"15", 15}, {"2k", 2048}, {"3M", 3u << 20}, {"1G", 1u << 30}, {"", kDefaultMaxFileSize},
      {"0", kDefaultMaxFileSize}, {"12X", kDefaultMaxFileSize}, {"-1K", kDefaultMaxFileSize},
      {"99999999999G", kDefaultMaxFileSize}};
  for (const auto& [text, bytes] : values) {
    ASSERT_TRUE(registry.writeString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kMaxFileSizeValue, text));
    EXPECT_EQ(maxFileSizeSetting(registry), bytes) << text;
  }

  server_.serve("/pics/big.png", std::string(5000, 'b'), "image/png");
  registry.writeString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kMaxFileSizeValue, "4K");
  DropHooks hooks = hooksSavingAs("limited");
  hooks.maxFileSize = maxFileSizeSetting(registry);
  std::vector<std::string> shown;
  hooks.download = [&shown](DownloadRun& run) {
    run.run([&shown](const DownloadProgress& progress) { shown.push_back(progress.text); });
  };
  const CaptureResult result = captureDrop(
      DropKind::ClipboardHtml,
      buildClipboardHtml("<img src=\"/pics/big.png\"><img src=\"/pics/b.gif\">", server_.url("/news/x.html")),
      category(), hooks);
  ASSERT_TRUE(result.captured) << result.error;
  EXPECT_EQ(result.resourcesFetched, 1u);
  EXPECT_EQ(filesIn(page("limited.files")), std::vector<std::string>{"b.gif"});
  // The progress names the files where they end up, not where they are built.
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[2], "from " + server_.url("/pics/b.gif") + " to " + page("limited.files/b.gif"));
}

}  // namespace
}  // namespace velkin::capture
