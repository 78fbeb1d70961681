// The web view with real pages loaded from a temporary knowledge base: the
// HideError setting, design mode kept across navigation in Edit, saving with
// the capture header kept, tag marks, and the frame's handling of opened
// pages and the address bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <ostream>

#include "app/app_settings.h"
#include "app/main_frame.h"
#include "app/tk_web_view.h"
#include "kb/book_dir.h"
#include "kb/meta.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::app {
namespace {

using platform::Registry;
using platform::RegistryRoot;
using Command = CMainFrame::Command;

// Page loads are slow on a busy machine; waits are generous.
constexpr int kLoadTimeoutMs = 20000;

// Runs a script in the page and waits for its result.
QVariant evaluate(QWebEnginePage* page, const QString& script) {
  auto result = std::make_shared<std::pair<bool, QVariant>>();
  page->runJavaScript(script, [result](const QVariant& value) { *result = {true, value}; });
  if (!QTest::qWaitFor([&] { return result->first; }, kLoadTimeoutMs)) ADD_FAILURE() << "no script result";
  return result->second;
}

// Starts a load with start() and waits until it has finished.
bool loads(QWebEngineView* view, const std::function<void()>& start) {
  QSignalSpy finished(view, &QWebEngineView::loadFinished);
  start();
  return !finished.isEmpty() || finished.wait(kLoadTimeoutMs);
}

std::string pageText(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

// ---------------------------------------------------------------- rules

struct HeaderCase {
  const char* file;
  const char* header;
};

void PrintTo(const HeaderCase& value, std::ostream* out) { *out << std::string(value.file).substr(0, 24); }

class CaptureHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(CaptureHeaderTest, TheLeadingHeaderLinesAreFoundExactlyAsWritten) {
  EXPECT_EQ(leadingCaptureHeader(GetParam().file), GetParam().header);
}

const std::string kHeader = kb::captureHeader("https://news.example/a?b=1");

INSTANTIATE_TEST_SUITE_P(
    Files, CaptureHeaderTest,
    ::testing::Values(HeaderCase{"", ""}, HeaderCase{"<html><body>x</body></html>", ""},
                      HeaderCase{"<META NAME=pageurl  Content=x >\r\n<html>", ""},  // not first
                      HeaderCase{"<META -----Welcome to Velkin web. >\r\n<html>",
                                 "<META -----Welcome to Velkin web. >\r\n"},
                      HeaderCase{"<meta -----welcome to Velkin web. >\n<meta -----Velkin web 2.0    HomePage: h >\n"
                                 "<html>",
                                 "<meta -----welcome to Velkin web. >\n<meta -----Velkin web 2.0    HomePage: h >\n"}));

TEST(CaptureHeader, AWholeCapturedPageKeepsItsThreeLines) {
  const std::string file = kHeader + "<HTML><BODY>text</BODY></HTML>";
  EXPECT_EQ(leadingCaptureHeader(file), kHeader);
  EXPECT_EQ(savedPageText(kHeader, "\n<HTML></HTML>"), kHeader + "<HTML></HTML>");
}

TEST(ProgramFolders, PathsInsideAFolderAreRecognised) {
  EXPECT_TRUE(isInsideFolder("/usr/share/velkin/welcome.html", "/usr/share/velkin"));
  EXPECT_TRUE(isInsideFolder("/usr/share/velkin/welcome.html", "/usr/share/velkin/"));
  EXPECT_FALSE(isInsideFolder("/usr/share/velkin2/page.htm", "/usr/share/velkin"));
  EXPECT_FALSE(isInsideFolder("/home/me/page.htm", ""));
}

// ---------------------------------------------------------------- web view

class WebViewTest : public testing::IsolatedTest {
 protected:
  WebViewTest() : registry_(configDir()) {}
  std::string page(const std::string& name) const { return path("kb/" + name); }
  QString qpage(const std::string& name) const { return QString::fromStdString(page(name)); }

  Registry registry_;
};

struct SilentCase {
  std::optional<std::uint32_t> hideError;
  bool silent;
};

void PrintTo(const SilentCase& value, std::ostream* out) {
  *out << "HideError=" << (value.hideError ? std::to_string(*value.hideError) : std::string("missing"));
}

class SilentTest : public WebViewTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentTest, HideErrorDecidesWhetherScriptErrorsAreShown) {
  if (GetParam().hideError) {
    registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kHideErrorValue, *GetParam().hideError);
  }
  testing::writeTextFile(page("error.htm"), pageText("error", "<p>x</p><script>undefinedFunction();</script>"));
  CTkWebView view(registry_);
  QSignalSpy errors(&view, &CTkWebView::scriptError);
  ASSERT_TRUE(loads(&view, [&] { view.initialUpdate(qpage("error.htm")); }));
  EXPECT_EQ(view.isSilent(), GetParam().silent);
  if (!GetParam().silent) {
    EXPECT_TRUE(!errors.isEmpty() || errors.wait(kLoadTimeoutMs));
  } else {
    QTest::qWait(300);
    EXPECT_TRUE(errors.isEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(HideError, SilentTest,
                         ::testing::Values(SilentCase{std::nullopt, true}, SilentCase{0u, false},
                                           SilentCase{1u, true}));

TEST_F(WebViewTest, TheStartPageIsTheLocalWelcomePage) {
  const QString start = CTkWebView::startPage();
  ASSERT_TRUE(start.endsWith("welcome.html")) << start.toStdString();
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.initialUpdate(); }));
  EXPECT_EQ(view.location(), start);
  EXPECT_EQ(view.locationName(), "Welcome to Velkin Web");
}

TEST_F(WebViewTest, SavingKeepsTheCaptureHeaderAndWritesTheEdits) {
  const std::string original =
      kHeader + "<HTML><HEAD><TITLE>Saved</TITLE></HEAD><BODY><P id=text>Old text</P></BODY></HTML>";
  testing::writeTextFile(page("saved.htm"), original);
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.navigate(qpage("saved.htm")); }));
  view.setEditState();
  view.showTags(true);
  evaluate(view.page(), "document.getElementById('text').textContent = 'New text';");

  QSignalSpy saved(&view, &CTkWebView::saveFinished);
  view.save();
  ASSERT_TRUE(!saved.isEmpty() || saved.wait(kLoadTimeoutMs));
  EXPECT_TRUE(saved.at(0).at(1).toBool()) << saved.at(0).at(2).toString().toStdString();

  const std::string written = testing::readTextFile(page("saved.htm"));
  EXPECT_EQ(written.substr(0, kHeader.size()), kHeader);
  EXPECT_NE(written.find("New text"), std::string::npos);
  EXPECT_EQ(written.find("Old text"), std::string::npos);
  EXPECT_EQ(written.find("-----", kHeader.size()), std::string::npos) << "no second copy of the header";
  EXPECT_EQ(written.find("pageurl", kHeader.size()), std::string::npos);
  EXPECT_EQ(written.find("velkin-show-tags"), std::string::npos) << "the tag marks are not saved";
  EXPECT_EQ(kb::readMetaValue(page("saved.htm"), kb::kPageUrlName), "HTTPS://NEWS.EXAMPLE/A?B=1");
  EXPECT_NE(written.find("<BODY>"), std::string::npos) << "written in the serialiser's form";
}

TEST_F(WebViewTest, SaveAsWritesANewFileWithTheSameHeader) {
  testing::writeTextFile(page("source.htm"), kHeader + pageText("source", "<p>content</p>"));
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.navigate(qpage("source.htm")); }));
  auto result = std::make_shared<CTkWebView::SaveResult>(CTkWebView::SaveResult::NotSaved);
  bool done = false;
  view.saveAs(qpage("copy.htm"), [&, result](CTkWebView::SaveResult r, const QString&) {
    *result = r;
    done = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, kLoadTimeoutMs));
  EXPECT_EQ(*result, CTkWebView::SaveResult::Saved);
  const std::string copy = testing::readTextFile(page("copy.htm"));
  EXPECT_EQ(copy.substr(0, kHeader.size()), kHeader);
  EXPECT_NE(copy.find("content"), std::string::npos);
}

TEST_F(WebViewTest, PagesThatAreNotLocalFilesAreNotSaved) {
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.navigate("about:blank"); }));
  bool done = false;
  CTkWebView::SaveResult result = CTkWebView::SaveResult::Saved;
  view.save([&](CTkWebView::SaveResult r, const QString&) {
    result = r;
    done = true;
  });
  EXPECT_TRUE(done);
  EXPECT_EQ(result, CTkWebView::SaveResult::NotSaved);
}

TEST_F(WebViewTest, TheProgramsOwnWelcomePageIsNeverOverwritten) {
  const std::string welcome = shareFile("welcome.html");
  ASSERT_FALSE(welcome.empty());
  const std::string before = testing::readTextFile(welcome);
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.initialUpdate(); }));
  view.setEditState();
  bool done = false;
  CTkWebView::SaveResult result = CTkWebView::SaveResult::Saved;
  view.save([&](CTkWebView::SaveResult r, const QString&) {
    result = r;
    done = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, kLoadTimeoutMs));
  EXPECT_EQ(result, CTkWebView::SaveResult::NotSaved);
  EXPECT_EQ(testing::readTextFile(welcome), before);
}

TEST_F(WebViewTest, ShowTagsAddsAStyleThatHidingRemoves) {
  testing::writeTextFile(page("tags.htm"), pageText("tags", "<p>a</p>"));
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.navigate(qpage("tags.htm")); }));
  view.showTags(true);
  EXPECT_EQ(evaluate(view.page(), "!!document.getElementById('velkin-show-tags')").toBool(), true);
  EXPECT_NE(evaluate(view.page(), "getComputedStyle(document.querySelector('p'), '::before').content").toString(),
            "none");
  view.showTags(false);
  EXPECT_EQ(evaluate(view.page(), "!!document.getElementById('velkin-show-tags')").toBool(), false);
}

TEST_F(WebViewTest, BackAndForwardFollowTheHistory) {
  testing::writeTextFile(page("one.htm"), pageText("one", "1"));
  testing::writeTextFile(page("two.htm"), pageText("two", "2"));
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.navigate(qpage("one.htm")); }));
  EXPECT_FALSE(view.backEnabled());
  ASSERT_TRUE(loads(&view, [&] { view.navigate(qpage("two.htm")); }));
  EXPECT_TRUE(view.backEnabled());
  EXPECT_FALSE(view.forwardEnabled());
  ASSERT_TRUE(loads(&view, [&] { view.back(); }));
  EXPECT_TRUE(view.forwardEnabled());
  EXPECT_EQ(view.location(), qpage("one.htm"));
}

// ---------------------------------------------------------------- in the frame

class FrameWithPagesTest : public WebViewTest {
 protected:
  FrameWithPagesTest() {
    testing::writeTextFile(page("first.htm"), pageText("first", "<a id=next href='second.htm'>next</a>"));
    testing::writeTextFile(page("second.htm"), pageText("second", "<p id=text>second page</p>"));
    frame_ = std::make_unique<CMainFrame>(registry_);
    CMainFrame::Seams seams;
    seams.inform = [this](const char*, const QString& text) { messages_.push_back(text); };
    seams.ask = [](const char*, const QString&) { return true; };
    frame_->setSeams(std::move(seams));
  }
  ~FrameWithPagesTest() override { frame_.reset(); }

  CTkWebView* view() const { return frame_->webView(); }
  QString designMode() const { return evaluate(view()->page(), "document.designMode").toString(); }

  std::unique_ptr<CMainFrame> frame_;
  std::vector<QString> messages_;
};

TEST_F(FrameWithPagesTest, EditKeepsTheDesignModeWhenALinkIsFollowedAndBrowseEndsIt) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  frame_->action(Command::Edit)->trigger();
  EXPECT_EQ(designMode(), "on");
  ASSERT_TRUE(loads(view(), [&] { evaluate(view()->page(), "location.href = document.getElementById('next').href"); }));
  EXPECT_EQ(view()->location(), qpage("second.htm"));
  EXPECT_EQ(designMode(), "on") << "the new document is editable too";
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Edit);

  frame_->action(Command::Browse)->trigger();
  EXPECT_EQ(designMode(), "off");
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Browse);
}

TEST_F(FrameWithPagesTest, LeavingEditWritesTheEditedPage) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("second.htm")); }));
  frame_->action(Command::Edit)->trigger();
  evaluate(view()->page(), "document.getElementById('text').textContent = 'edited in place'");
  QSignalSpy saved(view(), &CTkWebView::saveFinished);
  frame_->action(Command::Browse)->trigger();
  ASSERT_TRUE(!saved.isEmpty() || saved.wait(kLoadTimeoutMs));
  EXPECT_NE(testing::readTextFile(page("second.htm")).find("edited in place"), std::string::npos);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FrameWithPagesTest, OpeningAnotherPageWhileEditingSavesTheEditsFirst) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("second.htm")); }));
  frame_->action(Command::Edit)->trigger();
  evaluate(view()->page(), "document.getElementById('text').textContent = 'kept before leaving'");
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  EXPECT_EQ(view()->location(), qpage("first.htm"));
  EXPECT_NE(testing::readTextFile(page("second.htm")).find("kept before leaving"), std::string::npos);
  EXPECT_EQ(testing::readTextFile(page("first.htm")).find("kept before leaving"), std::string::npos);
}

TEST_F(FrameWithPagesTest, ClosingWhileEditingWritesThePageBeforeTheWindowGoes) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("second.htm")); }));
  frame_->show();
  frame_->action(Command::Edit)->trigger();
  evaluate(view()->page(), "document.getElementById('text').textContent = 'written on close'");
  EXPECT_FALSE(frame_->close()) << "the window waits for the page to be written";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !frame_->isVisible(); }, kLoadTimeoutMs));
  EXPECT_NE(testing::readTextFile(page("second.htm")).find("written on close"), std::string::npos);
  EXPECT_TRUE(readPlacement(registry_)) << "the placement is still written";
}

TEST_F(FrameWithPagesTest, OpeningTheCurrentLocationAgainDoesNotReload) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  EXPECT_EQ(frame_->currentLocation(), qpage("first.htm"));
  QSignalSpy started(view(), &QWebEngineView::loadStarted);
  frame_->onOpenPage(qpage("first.htm"));
  QTest::qWait(500);
  EXPECT_TRUE(started.isEmpty());
}

TEST_F(FrameWithPagesTest, OpeningAPageShownAfterFollowingALinkShowsItAgain) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  ASSERT_TRUE(loads(view(), [&] { evaluate(view()->page(), "location.href = document.getElementById('next').href"); }));
  EXPECT_EQ(frame_->currentLocation(), qpage("second.htm"));
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  EXPECT_EQ(view()->location(), qpage("first.htm"));
}

TEST_F(FrameWithPagesTest, TheAddressBarShowsTheShownPageWithoutTheFileScheme) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  ASSERT_TRUE(loads(view(), [&] { evaluate(view()->page(), "location.href = document.getElementById('next').href"); }));
  EXPECT_EQ(frame_->addressBar()->currentText(), qpage("second.htm"));
  ASSERT_TRUE(loads(view(), [&] { frame_->action(Command::Blank)->trigger(); }));
  EXPECT_EQ(frame_->addressBar()->currentText(), "about:blank");
}

}  // namespace
}  // namespace velkin::app
