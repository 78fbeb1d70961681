// Pending files and the name helpers: a file under its target's name only
// once it is complete, never half of one; names cut to fit without breaking
// a character or losing the extension.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_util.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace velkin::platform {
namespace {

using testing::readTextFile;
using testing::sortedNamesIn;

class PendingFileTest : public testing::IsolatedTest {};

TEST_F(PendingFileTest, TheTargetChangesOnlyOnCommitAndNothingElseIsLeft) {
  const std::string folder = path("f");
  testing::writeTextFile(folder + "/page.htm", "old");
  {
    PendingFile file(folder + "/page.htm");
    ASSERT_EQ(file.error(), "");
    ASSERT_TRUE(file.write("new, half"));
    // While it is written, the folder shows no other name.
    EXPECT_EQ(sortedNamesIn(folder), std::vector<std::string>{"page.htm"});
  }
  EXPECT_EQ(readTextFile(folder + "/page.htm"), "old");
  EXPECT_EQ(sortedNamesIn(folder), std::vector<std::string>{"page.htm"});

  PendingFile file(folder + "/page.htm");
  ASSERT_TRUE(file.write("new"));
  EXPECT_EQ(file.commit(), "");
  EXPECT_EQ(readTextFile(folder + "/page.htm"), "new");
  EXPECT_EQ(sortedNamesIn(folder), std::vector<std::string>{"page.htm"});

  // A folder that is not there is a failure with its reason, also for the
  // one-call form.
  EXPECT_NE(writeFileAtomic(path("missing/page.htm"), "x").find("No such file or directory"), std::string::npos);
}

TEST(FileNames, AreCutOnCharacterBoundariesKeepingTheExtension) {
  const std::string e = "\xC3\xA9";  // two bytes
  struct Case {
    std::string name;
    size_t maxBytes;
    std::string fitted;
  } cases[] = {
      {"short.png", 255, "short.png"},
      {"abcdefgh.png", 10, "abcdef.png"},
      {"a" + e + e + ".png", 8, "a" + e + ".png"},  // not "a" + e + half of e
      {"noextension", 4, "noex"},
      {"x." + std::string(30, 'y'), 8, "x.yyyyyy"},  // an over-long "extension" is not kept
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fitFileName(c.name, c.maxBytes), c.fitted) << c.name;
    EXPECT_LE(fitFileName(c.name, c.maxBytes).size(), c.maxBytes);
  }
  EXPECT_EQ(cutAtCharacter("ab" + e, 3), "ab");
}

}  // namespace
}  // namespace velkin::platform
