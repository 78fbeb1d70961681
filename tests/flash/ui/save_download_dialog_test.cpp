// The download dialog saving movies from a loopback web server: lines and
// question texts, No keeps the existing file, Cancel ends the run after the
// current file, and what was not saved is told once the run is over.
#include "flash/ui/download_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "capture/support/loopback_server.h"
#include "support/test_support.h"

namespace velkin::flash::ui {
namespace {

class SaveDownloadDialogTest : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    testing::makeDirs(flash_);
    server_.serve("/a.swf", "FWS-a");
    server_.serve("/b.swf", "FWS-b");
    server_.serve("/c.swf", "FWS-c");
  }
  DownloadRecord web(const std::string& name) const { return {server_.url("/" + name), flash_ + "/" + name, false}; }

  testing::DirectLoopback direct_;
  testing::LoopbackServer server_;
  std::string flash_ = path("Flash");
};

TEST_F(SaveDownloadDialogTest, MoviesAreSavedAndAnsweringNoKeepsTheExistingFile) {
  testing::writeTextFile(flash_ + "/b.swf", "mine");
  FlashDownloadDialog dialog({web("a.swf"), web("b.swf"), web("c.swf"), {"file:///etc/hostname", flash_ + "/x.swf"}},
                             flash_);
  std::vector<std::string> questions;
  std::vector<std::string> notices;
  std::string linesAtQuestion;
  dialog.setQuestion([&](QWidget*, const std::string& text) {
    questions.push_back(text);
    linesAtQuestion = (dialog.targetLine()->text() + "|" + dialog.sourceLine()->text()).toStdString();
    return false;
  });
  dialog.setNotice([&](QWidget*, const std::string& text) { notices.push_back(text); });
  EXPECT_EQ(dialog.run(), QDialog::Accepted);
  EXPECT_EQ(questions,
            (std::vector<std::string>{"The file has existed: " + flash_ + "/b.swf\n\nDo you want to overwrite or no?"}));
  EXPECT_EQ(linesAtQuestion, "Downloading " + flash_ + "/b.swf|from " + server_.url("/b.swf"));
  EXPECT_EQ(testing::readTextFile(flash_ + "/a.swf"), "FWS-a");
  EXPECT_EQ(testing::readTextFile(flash_ + "/b.swf"), "mine");
  EXPECT_EQ(testing::readTextFile(flash_ + "/c.swf"), "FWS-c");
  // The web page's local movie was refused, and said so.
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("file:///etc/hostname"), std::string::npos);
  EXPECT_EQ(testing::sortedNamesIn(flash_), (std::vector<std::string>{"a.swf", "b.swf", "c.swf"}));
}

TEST_F(SaveDownloadDialogTest, CancelClosesTheDialogAfterTheCurrentFile) {
  testing::writeTextFile(flash_ + "/a.swf", "old");
  FlashDownloadDialog dialog({web("a.swf"), web("b.swf"), web("c.swf")}, flash_);
  dialog.setQuestion([&](QWidget*, const std::string&) {
    dialog.reject();  // Cancel pressed while the question is open
    return true;
  });
  dialog.setNotice([](QWidget*, const std::string&) { ADD_FAILURE() << "nothing failed"; });
  EXPECT_EQ(dialog.run(), QDialog::Rejected);
  EXPECT_EQ(testing::readTextFile(flash_ + "/a.swf"), "old");
  EXPECT_EQ(server_.requestCount(), 0u);
  EXPECT_EQ(testing::sortedNamesIn(flash_), (std::vector<std::string>{"a.swf"}));
}

}  // namespace
}  // namespace velkin::flash::ui
