// The new-version check against a loopback update server: the notice shown
// byte for byte whatever its length against the 1024-byte reads, each check
// appending its own lines, every kind of failure giving the failure line,
// the window answering while the notice is on its way, and a dialog closed
// mid-fetch going quietly.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "app/check_version_dialog.h"
#include "app/version_check.h"
#include "capture/support/loopback_server.h"
#include "kb/book_dir.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace {

using velkin::testing::LoopbackServer;

constexpr char kNoticeRoute[] = "/updates/english/kestrova/version.ini";
constexpr int kAnswerWaitMs = 30000;

// A notice of exactly size bytes, in CR LF lines, with non-ASCII letters.
std::string notice(size_t size) {
  std::string text;
  for (int line = 1; text.size() < size; ++line) {
    text += "Velkin Web 2.6 \xC3\xBC line " + std::to_string(line) + "\r\n";
  }
  text.resize(size);
  text.back() = 'X';  // a mark on the last byte
  return text;
}

class VersionCheckTest : public velkin::testing::IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    setServer(server_.url("/updates"));  // no trailing "/": the check puts one in
  }

  void setServer(const std::string& address) {
    registry_.writeString(velkin::platform::RegistryRoot::Machine, velkin::kb::kKestrovaKey,
                          velkin::app::kUpdateServerValue, address);
  }

  // Presses Check and waits for the answer; false when none came.
  bool check(CCheckVersionDialog& dialog) {
    QSignalSpy finished(&dialog, &CCheckVersionDialog::checkFinished);
    QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);
    return finished.wait(kAnswerWaitMs);
  }

  static std::string firstLine() { return velkin::app::currentVersionText() + "\r\n"; }

  velkin::testing::DirectLoopback direct_;
  LoopbackServer server_;
  velkin::platform::Registry registry_{configDir()};
};

TEST_F(VersionCheckTest, EachCheckAppendsTheNoticeByteForByteWhateverItsLength) {
  for (const size_t size : {size_t{1}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{1500}, size_t{5000}}) {
    const std::string body = notice(size);
    server_.serve(kNoticeRoute, body, "text/plain");
    CCheckVersionDialog dialog(registry_);
    dialog.show();
    EXPECT_EQ(dialog.text(), "Current Version: Velkin Web 2.5\r\n");
    ASSERT_TRUE(check(dialog)) << size;
    ASSERT_TRUE(check(dialog)) << size;
    const std::string answer = velkin::app::kCheckingText + body;
    EXPECT_EQ(dialog.text(), firstLine() + answer + answer) << size;
    EXPECT_EQ(server_.lastRequestHeader(kNoticeRoute, "User-Agent"), "CheckNewVersion");
    QString shown = QString::fromUtf8(dialog.text().c_str());
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(dialog.textEdit()->toPlainText(), shown) << "line ends shown as line breaks";
    EXPECT_TRUE(dialog.checkButton()->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
  }
}

TEST_F(VersionCheckTest, EveryFailureShowsTheFailureLineAndCheckCanBePressedAgain) {
  LoopbackServer closed;
  ASSERT_TRUE(closed.start());
  const std::string closedAddress = closed.url("/");
  closed.stop();
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"404", [] {}},
      {"500", [this] { server_.serveStatus(kNoticeRoute, 500, "server trouble"); }},
      {"closed port", [&] { setServer(closedAddress); }},
      {"cut off", [this] { server_.serveCutOff(kNoticeRoute, notice(3000), 1000); }},
      {"larger than the bound",
       [this] { server_.serve(kNoticeRoute, std::string(velkin::app::kMaxNoticeBytes + 1, 'a'), "text/plain"); }},
      {"endless", [this] { server_.serveEndless(kNoticeRoute, std::string(4096, 'b')); }},
      {"not a web address", [this] { setServer("file:///etc"); }},
  };
  for (const Case& c : cases) {
    LoopbackServer::Route none;
    none.status = 404;
    none.body = "not here";
    server_.setRoute(kNoticeRoute, none);
    setServer(server_.url("/updates/"));
    c.arrange();
    CCheckVersionDialog dialog(registry_);
    dialog.show();
    ASSERT_TRUE(check(dialog)) << c.name;
    EXPECT_EQ(dialog.text(), firstLine() + velkin::app::kCheckingText + velkin::app::kCheckFailedText) << c.name;
    EXPECT_TRUE(dialog.checkButton()->isEnabled()) << c.name;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << c.name;
  }
}

// Holds the server's answers until released. The state is shared with the
// server's thread, which may still be leaving the hook when the test ends.
struct HeldAnswer {
  struct State {
    std::mutex lock;
    std::condition_variable changed;
    bool arrived = false;
    bool released = false;
  };
  std::shared_ptr<State> state = std::make_shared<State>();

  explicit HeldAnswer(LoopbackServer& server) {
    server.onRequest([state = state](const httplib::Request&) {
      std::unique_lock<std::mutex> guard(state->lock);
      state->arrived = true;
      state->changed.wait_for(guard, std::chrono::seconds(30), [&] { return state->released; });
    });
  }
  ~HeldAnswer() { release(); }
  void release() {
    const std::lock_guard<std::mutex> guard(state->lock);
    state->released = true;
    state->changed.notify_all();
  }
  bool arrived() const {
    const std::lock_guard<std::mutex> guard(state->lock);
    return state->arrived;
  }
};

TEST_F(VersionCheckTest, TheWindowAnswersWhileTheNoticeIsOnItsWay) {
  server_.serve(kNoticeRoute, "held\r\n", "text/plain");
  HeldAnswer held(server_);
  CCheckVersionDialog dialog(registry_);
  dialog.show();
  QSignalSpy finished(&dialog, &CCheckVersionDialog::checkFinished);
  QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.text(), firstLine() + velkin::app::kCheckingText) << "the status line comes at once";
  QTRY_VERIFY_WITH_TIMEOUT(held.arrived(), kAnswerWaitMs);

  // The request is held by the server: the event loop still runs.
  bool timerRan = false;
  QTimer::singleShot(0, &dialog, [&] { timerRan = true; });
  QTRY_VERIFY(timerRan);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor) << "the wait cursor stays during the fetch";
  EXPECT_FALSE(dialog.checkButton()->isEnabled());
  EXPECT_TRUE(dialog.isChecking());
  EXPECT_EQ(finished.count(), 0);

  held.release();
  ASSERT_TRUE(finished.wait(kAnswerWaitMs));
  EXPECT_EQ(dialog.text(), firstLine() + velkin::app::kCheckingText + "held\r\n");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(VersionCheckTest, ClosingTheDialogMidFetchEndsTheFetchQuietly) {
  server_.serve(kNoticeRoute, "late\r\n", "text/plain");
  HeldAnswer held(server_);
  auto dialog = std::make_unique<CCheckVersionDialog>(registry_);
  dialog->show();
  QTest::mouseClick(dialog->checkButton(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(held.arrived(), kAnswerWaitMs);
  QTest::mouseClick(dialog->closeButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());
  dialog.reset();  // cancels and joins the worker while the server still holds the answer
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  held.release();
  QCoreApplication::processEvents();  // a late answer would be delivered here
}

}  // namespace
