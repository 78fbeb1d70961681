// The web view with real pages loaded from a temporary knowledge base: the
// HideError setting, design mode kept across navigation in Edit, saving with
// the capture header kept (and only what may be written back), tag marks,
// and the frame's handling of opened pages and the address bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <memory>
#include <ostream>

#include "app/app_settings.h"
#include "app/html_source_edit.h"
#include "app/main_frame.h"
#include "app/source_view.h"
#include "app/tk_tree_view.h"
#include "app/tk_web_view.h"
#include "capture/support/loopback_server.h"
#include "kb/book_dir.h"
#include "kb/meta.h"
#include "platform/favorites.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "platform/shell.h"
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
  // A page with a document type declaration keeps it first, header after it.
  const std::string declared = "<!DOCTYPE html>\r\n" + kHeader + "<HTML></HTML>";
  EXPECT_EQ(leadingCaptureHeader(declared), kHeader);
  EXPECT_EQ(savedPageText(kHeader, "<!DOCTYPE html><HTML></HTML>"), declared);
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

TEST_F(WebViewTest, SavingAPageWithADoctypeKeepsItFirstAndTheHeaderAfterIt) {
  testing::writeTextFile(page("declared.htm"), "<!DOCTYPE html>\r\n" + kHeader +
                                                   "<HTML><HEAD><TITLE>D</TITLE></HEAD><BODY><P id=text>Old</P></BODY></HTML>");
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.navigate(qpage("declared.htm")); }));
  view.setEditState();
  evaluate(view.page(), "document.getElementById('text').textContent = 'New';");
  QSignalSpy saved(&view, &CTkWebView::saveFinished);
  view.save();
  ASSERT_TRUE(!saved.isEmpty() || saved.wait(kLoadTimeoutMs));
  EXPECT_TRUE(saved.at(0).at(1).toBool()) << saved.at(0).at(2).toString().toStdString();

  const std::string written = testing::readTextFile(page("declared.htm"));
  const std::string start = "<!DOCTYPE html>\r\n" + kHeader;
  EXPECT_EQ(written.substr(0, start.size()), start) << written;
  EXPECT_EQ(written.find("pageurl", start.size()), std::string::npos) << "no second copy of the header";
  EXPECT_NE(written.find("New"), std::string::npos);
  EXPECT_EQ(kb::readMetaValue(page("declared.htm"), kb::kPageUrlName), "HTTPS://NEWS.EXAMPLE/A?B=1");
}

TEST_F(WebViewTest, PagesThatAreNotLocalFilesAreNotSaved) {
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.navigate("about:blank"); }));
  EXPECT_FALSE(view.canSave());
  view.setEditState();
  evaluate(view.page(), "document.body.appendChild(document.createTextNode('typed'))");
  bool done = false;
  CTkWebView::SaveResult result = CTkWebView::SaveResult::Saved;
  view.save([&](CTkWebView::SaveResult r, const QString&) {
    result = r;
    done = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, kLoadTimeoutMs));
  EXPECT_EQ(result, CTkWebView::SaveResult::NotSaved);
}

TEST_F(WebViewTest, TheProgramsOwnWelcomePageIsNeverOverwritten) {
  const std::string welcome = shareFile("welcome.html");
  ASSERT_FALSE(welcome.empty());
  const std::string before = testing::readTextFile(welcome);
  CTkWebView view(registry_);
  ASSERT_TRUE(loads(&view, [&] { view.initialUpdate(); }));
  view.setEditState();
  evaluate(view.page(), "document.body.appendChild(document.createTextNode('typed'))");
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

// What a file is on disk: its bytes and its modification time.
struct FileState {
  std::string bytes;
  std::filesystem::file_time_type modified;
  bool operator==(const FileState& other) const { return bytes == other.bytes && modified == other.modified; }
};

FileState fileState(const std::string& file) {
  return {testing::readTextFile(file), std::filesystem::last_write_time(file)};
}

// Dates a file back a day, so that any rewrite shows in its time.
void backdate(const std::string& file) {
  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) - std::chrono::hours(24));
}

struct DocumentCase {
  const char* name;
  bool edited;
  bool htmlPage;
};

void PrintTo(const DocumentCase& value, std::ostream* out) {
  *out << value.name << (value.edited ? " edited" : " unchanged");
}

class SaveOnlyHtmlEditsTest : public FrameWithPagesTest, public ::testing::WithParamInterface<DocumentCase> {
 protected:
  void writeDocument(const std::string& file) {
    if (QString::fromStdString(file).endsWith(".png")) {
      QImage picture(8, 8, QImage::Format_RGB32);
      picture.fill(Qt::red);
      ASSERT_TRUE(picture.save(QString::fromStdString(file)));
    } else if (QString::fromStdString(file).endsWith(".txt")) {
      testing::writeTextFile(file, "plain notes\nsecond line\n");
    } else {
      testing::writeTextFile(file, kHeader + pageText("kept", "<p id=text>as it was</p>"));
    }
    backdate(file);
  }
};

TEST_P(SaveOnlyHtmlEditsTest, SaveAndLeavingWriteNothingButEditsOfAnHtmlPage) {
  const DocumentCase& document = GetParam();
  const std::string file = page(document.name);
  writeDocument(file);
  const FileState before = fileState(file);
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(QString::fromStdString(file)); }));
  EXPECT_EQ(frame_->action(Command::Save)->isEnabled(), document.htmlPage) << "Save is offered for HTML pages only";

  frame_->action(Command::Edit)->trigger();
  if (document.edited) evaluate(view()->page(), "document.body.appendChild(document.createTextNode('typed'))");
  QSignalSpy finished(view(), &CTkWebView::saveFinished);
  frame_->onSave();  // Ctrl+S, even where the command is disabled
  if (document.htmlPage) {
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(kLoadTimeoutMs));
    EXPECT_FALSE(finished.at(0).at(1).toBool());
  }
  EXPECT_FALSE(frame_->statusBar()->currentMessage().isEmpty()) << "Save says why it wrote nothing";

  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  EXPECT_EQ(view()->location(), qpage("first.htm"));
  EXPECT_TRUE(fileState(file) == before) << "bytes and modification time unchanged";
  ASSERT_EQ(messages_.size(), document.edited ? 1u : 0u) << "lost edits are reported, a page without edits is not";
  if (document.edited) {
    EXPECT_NE(messages_[0].indexOf("Save As"), -1) << messages_[0].toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, SaveOnlyHtmlEditsTest,
                         ::testing::Values(DocumentCase{"notes.txt", true, false},
                                           DocumentCase{"picture.png", true, false},
                                           DocumentCase{"unchanged.htm", false, true}));

struct GoneCase {
  const char* what;
  // Takes the page (kb/Cat/edited.htm) away as the tree would; returns where
  // the page is now.
  std::function<std::string(const std::string& page, const std::string& category)> takeAway;
};

void PrintTo(const GoneCase& value, std::ostream* out) { *out << value.what; }

class EditedPageGoneTest : public FrameWithPagesTest, public ::testing::WithParamInterface<GoneCase> {};

TEST_P(EditedPageGoneTest, IsNotWrittenBackAtItsOldPathAndDoesNotHoldTheView) {
  const std::string category = page("Cat");
  const std::string edited = category + "/edited.htm";
  testing::writeTextFile(edited, pageText("edited", "<p id=text>original</p>"));
  const std::string original = testing::readTextFile(edited);
  int questions = 0;
  CMainFrame::Seams seams;
  seams.ask = [&](const char*, const QString&) { return ++questions, false; };
  frame_->setSeams(std::move(seams));
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(QString::fromStdString(edited)); }));
  frame_->action(Command::Edit)->trigger();
  evaluate(view()->page(), "document.getElementById('text').textContent = 'edited text'");

  const std::string nowAt = GetParam().takeAway(edited, category);
  ASSERT_FALSE(nowAt.empty());
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  EXPECT_EQ(view()->location(), qpage("first.htm")) << "the view moves on";
  EXPECT_EQ(questions, 0) << "without asking to leave a page that could not be saved";
  EXPECT_FALSE(platform::pathExists(edited)) << "the page is not brought back at its old path";
  EXPECT_EQ(testing::readTextFile(nowAt), original) << "nor written where it went";
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].indexOf("moved, deleted or replaced"), -1) << messages_[0].toStdString();

  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("second.htm")); }));
  EXPECT_EQ(view()->location(), qpage("second.htm"));
  EXPECT_EQ(messages_.size(), 1u) << "later navigation is not held up";
}

INSTANTIATE_TEST_SUITE_P(
    TreeOperations, EditedPageGoneTest,
    ::testing::Values(GoneCase{"deleted",
                               [](const std::string& edited, const std::string&) {
                                 return platform::shellTrash(edited).path;
                               }},
                      GoneCase{"category renamed", [](const std::string&, const std::string& category) {
                                 const platform::ShellResult moved = platform::shellMoveTo(category, category + "2");
                                 return moved.ok ? moved.path + "/edited.htm" : std::string();
                               }}));

TEST_F(FrameWithPagesTest, AfterAboutBlankThePageShownBeforeOpensAgain) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  ASSERT_TRUE(loads(view(), [&] { frame_->action(Command::Blank)->trigger(); }));
  EXPECT_EQ(frame_->currentLocation().toStdString(), "about:blank") << "the current location follows the view";
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  EXPECT_EQ(view()->location(), qpage("first.htm"));
}


// ---------------------------------------------------------------- Edit Source

class EditSourceTest : public FrameWithPagesTest {
 protected:
  EditSourceTest() {
    CMainFrame::Seams seams;
    seams.askSaveSource = [this] {
      ++saveQuestions_;
      return CKestrovaView::SaveAnswer{true, false};
    };
    frame_->setSeams(std::move(seams));
    frame_->show();
  }
  CKestrovaView* source() const { return frame_->sourceView(); }
  void appendToSource(const QString& text) {
    source()->edit()->moveCursor(QTextCursor::End);
    source()->edit()->insertPlainText(text);
  }

  int saveQuestions_ = 0;
};

TEST_F(EditSourceTest, ALocalPageIsEditedAsItsFileAndLeavingSavesItAndShowsThePageAgain) {
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("second.htm")); }));
  frame_->action(Command::Edit)->trigger();
  evaluate(view()->page(), "document.getElementById('text').textContent = 'edited before the source'");
  QSignalSpy saved(view(), &CTkWebView::saveFinished);
  frame_->action(Command::EditSource)->trigger();
  ASSERT_TRUE(!saved.isEmpty() || saved.wait(kLoadTimeoutMs)) << "Edit saves the page before its source is shown";
  ASSERT_TRUE(QTest::qWaitFor([&] { return source() != nullptr; }, kLoadTimeoutMs));

  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::EditSource);
  EXPECT_TRUE(frame_->action(Command::EditSource)->isChecked());
  EXPECT_EQ(source()->fileName(), qpage("second.htm"));
  EXPECT_NE(source()->edit()->toPlainText().indexOf("edited before the source"), -1) << "the file as saved";
  EXPECT_TRUE(source()->isVisible());
  EXPECT_FALSE(view()->isVisible()) << "the source view stands in the web view's place";
  for (const Command browserOnly : {Command::Print, Command::Refresh, Command::GoHome, Command::FontLargest}) {
    EXPECT_FALSE(frame_->action(browserOnly)->isEnabled()) << static_cast<int>(browserOnly);
  }

  appendToSource("<p id=added>added in the source</p>");
  ASSERT_TRUE(loads(view(), [&] { frame_->action(Command::Browse)->trigger(); }));
  EXPECT_EQ(saveQuestions_, 1);
  EXPECT_EQ(source(), nullptr);
  EXPECT_TRUE(view()->isVisible());
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Browse);
  EXPECT_TRUE(frame_->action(Command::Print)->isEnabled());
  EXPECT_NE(testing::readTextFile(page("second.htm")).find("added in the source"), std::string::npos);
  EXPECT_EQ(evaluate(view()->page(), "document.getElementById('added').textContent").toString(),
            "added in the source")
      << "the page shown again is the file as saved";
}

TEST_F(EditSourceTest, TheSourceTakesTheWebViewsPlaceAndWidthAndTheTreeKeepsItsOwn) {
  frame_->resize(1000, 700);
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  QTest::qWait(50);
  const int treeWidth = frame_->treeView()->width();
  const int contentWidth = view()->width();
  frame_->action(Command::EditSource)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return source() != nullptr; }, kLoadTimeoutMs));
  QTest::qWait(50);
  EXPECT_EQ(frame_->treeView()->width(), treeWidth);
  EXPECT_EQ(source()->width(), contentWidth);
  EXPECT_EQ(frame_->splitter()->indexOf(source()) + 1, frame_->splitter()->indexOf(view()))
      << "the source stands where the web view stood";

  ASSERT_TRUE(loads(view(), [&] { frame_->action(Command::Browse)->trigger(); }));
  QTest::qWait(50);
  EXPECT_EQ(frame_->treeView()->width(), treeWidth);
  EXPECT_EQ(view()->width(), contentWidth) << "the web view gets its width back";
}

TEST_F(EditSourceTest, OpeningAPageLeavesEditSourceForBrowseByTheStoredChoice) {
  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kPromptSaveValue, 1);
  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kYesSaveValue, 0);
  const std::string before = testing::readTextFile(page("first.htm"));
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  frame_->action(Command::EditSource)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return source() != nullptr; }, kLoadTimeoutMs));
  appendToSource("discarded");

  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("second.htm")); }));
  EXPECT_EQ(saveQuestions_, 0) << "PromptSave=1: no question";
  EXPECT_EQ(testing::readTextFile(page("first.htm")), before) << "YesSave=0: nothing written";
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Browse);
  EXPECT_EQ(source(), nullptr);
  EXPECT_EQ(view()->location(), qpage("second.htm"));

  // Into Edit Source and out to Edit: the page comes back editable.
  frame_->action(Command::EditSource)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return source() != nullptr; }, kLoadTimeoutMs));
  ASSERT_TRUE(loads(view(), [&] { frame_->action(Command::Edit)->trigger(); }));
  EXPECT_EQ(frame_->mode(), CMainFrame::Mode::Edit);
  EXPECT_EQ(designMode(), "on");
}

TEST_F(EditSourceTest, AWebPageShowsTheBrowsersWholeTextWithoutAFileName) {
  testing::LoopbackServer server;
  std::string big = "<html><body><p>web page</p>";
  while (big.size() < 100000) big += "<div class=\"filler\">more text to pass 64 KB</div>\n";
  big += "<p id=last>the end</p></body></html>";
  server.serve("/page.htm", big, "text/html");
  ASSERT_TRUE(server.start());
  const QString address = QString::fromStdString(server.url("/page.htm"));
  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(address); }));
  frame_->action(Command::EditSource)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return source() != nullptr; }, kLoadTimeoutMs));
  EXPECT_TRUE(source()->fileName().isEmpty());
  EXPECT_NE(source()->edit()->toPlainText().indexOf("the end"), -1) << "the whole text, past 64 KB";

  // Leaving without changes asks nothing.
  ASSERT_TRUE(loads(view(), [&] { frame_->action(Command::Browse)->trigger(); }));
  EXPECT_EQ(saveQuestions_, 0);
  EXPECT_EQ(frame_->currentLocation(), address);
}

}  // namespace
}  // namespace velkin::app

namespace velkin::app {
namespace {

// The favourites folder of these tests, named in the user's shell folders.
class FavoritesMenuTest : public FrameWithPagesTest {
 protected:
  FavoritesMenuTest() {
    registry_.writeString(RegistryRoot::User, platform::kShellFoldersKey, platform::kFavoritesValue, folder_);
    CMainFrame::Seams seams;
    seams.openExternally = [this](const QUrl& address) { opened_.push_back(address); };
    frame_->setSeams(std::move(seams));
  }
  // The menu's entries as "text" or "text/" for a sub-menu, after opening it.
  QStringList openFavorites() {
    emit frame_->favoritesMenu()->aboutToShow();
    QStringList entries;
    for (QAction* item : frame_->favoritesMenu()->actions()) {
      if (!item->isSeparator()) entries << item->text() + (item->menu() ? "/" : "");
    }
    return entries;
  }
  QAction* favorite(int number) const {
    return frame_->favoritesMenu()->findChild<QAction*>(QStringLiteral("command%1").arg(CMainFrame::kFirstFavorite + number));
  }

  std::string folder_ = path("fav");
  std::vector<QUrl> opened_;
};

TEST_F(FavoritesMenuTest, AddToFavoritesKeepsEveryAddedPageAndTheRebuiltMenuOpensThem) {
  testing::writeTextFile(folder_ + "/Sub/next.url", platform::internetShortcutText(
                                                        QUrl::fromLocalFile(qpage("second.htm")).toString().toStdString()));
  testing::makeDirs(folder_ + "/Empty");
  EXPECT_EQ(openFavorites(), (QStringList{"Add to Favorites...", "Organize Favorites...", "Sub/"}));

  ASSERT_TRUE(loads(view(), [&] { frame_->onOpenPage(qpage("first.htm")); }));
  frame_->action(Command::AddToFavorites)->trigger();
  frame_->action(Command::AddToFavorites)->trigger();
  EXPECT_EQ(testing::sortedNamesIn(folder_), (std::vector<std::string>{"Empty", "Sub", "first (2).url", "first.url"}));
  EXPECT_EQ(platform::internetShortcutAddress(testing::readTextFile(folder_ + "/first.url")),
            QUrl::fromLocalFile(qpage("first.htm")).toString().toStdString());
  EXPECT_EQ(openFavorites(),
            (QStringList{"Add to Favorites...", "Organize Favorites...", "Sub/", "first", "first (2)"}));
  ASSERT_NE(favorite(1), nullptr);
  EXPECT_EQ(favorite(1)->text(), "first");

  // The sub-folder's favourite comes after this folder's in number.
  ASSERT_NE(favorite(3), nullptr);
  ASSERT_TRUE(loads(view(), [&] { favorite(3)->trigger(); }));
  EXPECT_EQ(frame_->addressBar()->currentText(), qpage("second.htm"));
  EXPECT_EQ(view()->title(), "second");

  frame_->action(Command::OrganizeFavorites)->trigger();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(QString::fromStdString(folder_)));
}

TEST_F(FavoritesMenuTest, OrganizeCreatesAMissingFolderAndNothingIsAddedForABlankPage) {
  frame_->action(Command::AddToFavorites)->trigger();
  EXPECT_FALSE(platform::pathExists(folder_)) << "about:blank is no favourite";
  frame_->action(Command::OrganizeFavorites)->trigger();
  EXPECT_TRUE(platform::isDirectory(folder_));
  EXPECT_EQ(openFavorites(), (QStringList{"Add to Favorites...", "Organize Favorites..."}));
}

}  // namespace
}  // namespace velkin::app
