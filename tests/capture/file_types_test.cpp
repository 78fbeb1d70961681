// The file-type list file and the save dialog's rules.
#include <gtest/gtest.h>

#include "capture/file_types.h"
#include "kb/messages.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::capture {
namespace {

using Types = std::vector<FileType>;

TEST(FileTypesFile, RoundTripKeepsOrderTextsAndFlagsInTheFileFormat) {
  testing::TempFolder folder;
  const Types types{{"zip", "ZIP archive", true}, {"pdf", "", false}, {"mp3", "Sound, \"quoted\"", true}};
  ASSERT_EQ(saveFileTypes(folder / "filetype.ini", types), "");
  EXPECT_EQ(testing::readTextFile(folder / "filetype.ini"),
            "zip\r\nZIP archive\r\n1\r\npdf\r\n\r\n0\r\nmp3\r\nSound, \"quoted\"\r\n1\r\n");
  EXPECT_EQ(loadFileTypes(folder / "filetype.ini"), types);
}

struct ParseCase {
  const char* what;
  std::string text;
  Types expected;
};

class FileTypesParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FileTypesParsing, ReadsTheExpectedList) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(parseFileTypes(c.text), c.expected) << c.what;
  // What was read is written back so that it reads the same.
  EXPECT_EQ(parseFileTypes(formatFileTypes(c.expected)), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Records, FileTypesParsing,
    ::testing::Values(
        ParseCase{"empty file", "", {}},
        ParseCase{"missing description ends reading", "zip\r\nZIP\r\n1\r\nrar", {{"zip", "ZIP", true}, {"rar", "", false}}},
        ParseCase{"missing flag ends reading unselected", "zip\r\nZIP\r\n1\r\nrar\r\nRAR\r\n",
                  {{"zip", "ZIP", true}, {"rar", "RAR", false}}},
        ParseCase{"last line without line end", "zip\r\nZIP\r\n1", {{"zip", "ZIP", true}}},
        ParseCase{"line feeds alone", "zip\nZIP\n1\npdf\nPDF\n0\n", {{"zip", "ZIP", true}, {"pdf", "PDF", false}}},
        ParseCase{"flag 2 is selected", "a\r\n\r\n2\r\n", {{"a", "", true}}},
        ParseCase{"negative flag is selected", "a\r\n\r\n-1\r\n", {{"a", "", true}}},
        ParseCase{"leading blanks and trailing garbage", "a\r\n\r\n  1abc\r\n", {{"a", "", true}}},
        ParseCase{"garbage flag is unselected", "a\r\n\r\nyes\r\n", {{"a", "", false}}},
        ParseCase{"hexadecimal is not read", "a\r\n\r\n0x1\r\n", {{"a", "", false}}},
        ParseCase{"number too long for any integer", "a\r\n\r\n000000000000000000000000000009\r\n",
                  {{"a", "", true}}},
        ParseCase{"empty flag line", "a\r\nA\r\n\r\nb\r\nB\r\n1\r\n", {{"a", "A", false}, {"b", "B", true}}},
        ParseCase{"blank name record is dropped and reading goes on", "\r\nnothing\r\n1\r\nzip\r\nZ\r\n0\r\n",
                  {{"zip", "Z", false}}},
        ParseCase{"trailing blank line adds no type", "zip\r\nZ\r\n1\r\n\r\n", {{"zip", "Z", true}}},
        ParseCase{"carriage returns alone end lines", "zip\rZIP\r1\rpdf\rPDF\r0\r",
                  {{"zip", "ZIP", true}, {"pdf", "PDF", false}}},
        ParseCase{"all three line ends mixed", "zip\r\nZIP\r1\npdf\nPDF\r\n0", {{"zip", "ZIP", true}, {"pdf", "PDF", false}}},
        ParseCase{"carriage return before CR LF ends an empty line", "a\r\r\n1\r\n", {{"a", "", true}}},
        ParseCase{"bytes are kept as they are", std::string("d\xc3\xa9j\x00", 5) + "\r\n\t\r\n1\r\n",
                  {{std::string("d\xc3\xa9j\x00", 5), "\t", true}}}));

TEST(FileTypesFile, LineBreaksInsideAFieldCannotShiftTheRecords) {
  const Types written{{"a", "first\r\nsecond\nthird", true}, {"b\n", "B", false}};
  EXPECT_EQ(parseFileTypes(formatFileTypes(written)),
            (Types{{"a", "first second third", true}, {"b ", "B", false}}));
}

TEST(FileTypesFile, MissingOrUnreadableFileGivesAnEmptyList) {
  testing::TempFolder folder;
  EXPECT_TRUE(loadFileTypes(folder / "filetype.ini").empty());
  testing::makeDirs(folder / "folder.ini");
  EXPECT_TRUE(loadFileTypes(folder / "folder.ini").empty());
}

TEST(FileTypesFile, AFileOverOneMebibyteIsRefusedWithAMessageAndNeverWrittenOver) {
  testing::TempFolder folder;
  // One record whose description fills the file to exactly 1 MiB.
  const std::string description(kMaxFileTypesBytes - std::string("zip\r\n\r\n1\r\n").size(), 'd');
  const std::string text = "zip\r\n" + description + "\r\n1\r\n";
  testing::writeTextFile(folder / "limit.ini", text);
  std::string message = "untouched";
  EXPECT_EQ(loadFileTypes(folder / "limit.ini", &message), (Types{{"zip", description, true}}));
  EXPECT_EQ(message, "") << "a file of exactly 1 MiB is read";

  testing::writeTextFile(folder / "filetype.ini", text + "\n");
  EXPECT_TRUE(loadFileTypes(folder / "filetype.ini", &message).empty());
  EXPECT_EQ(message, "The file type list " + (folder / "filetype.ini") +
                         " is larger than 1 MiB and was not read; it is left as it is.");

  // The dialog shows the message, works on an empty list and leaves the file alone.
  SaveDialogModel model(folder / "filetype.ini");
  EXPECT_EQ(model.open(), message);
  EXPECT_EQ(model.addType("pdf", ""), "");
  EXPECT_EQ(model.lastWriteError(), message);
  EXPECT_TRUE(model.save("page").accepted);
  EXPECT_EQ(testing::readTextFile(folder / "filetype.ini"), text + "\n");
}

class SaveDialog : public testing::IsolatedTest {
 protected:
  std::string ini() const { return path("filetype.ini"); }
  Types stored() const { return loadFileTypes(ini()); }
};

TEST_F(SaveDialog, WithoutAFileTheListIsEmptyAndSavingCreatesAnEmptyFileInTheDataFolder) {
  SaveDialogModel model;
  model.open();
  EXPECT_TRUE(model.types().empty());
  const auto outcome = model.save("page");
  ASSERT_TRUE(outcome.accepted);
  EXPECT_EQ(outcome.fileName, "page.htm");
  EXPECT_TRUE(outcome.selectedTypes.empty());
  EXPECT_EQ(fileTypesPath(), dataHome() + "/velkin/filetype.ini");
  EXPECT_TRUE(platform::isRegularFile(fileTypesPath()));
  EXPECT_EQ(testing::readTextFile(fileTypesPath()), "");
  EXPECT_EQ(model.lastWriteError(), "");
}

TEST_F(SaveDialog, AddChecksTheNameAndSavesTheNewTypeUnchecked) {
  testing::writeTextFile(ini(), "zip\r\nZIP archive\r\n1\r\n");
  SaveDialogModel model(ini());
  model.open();
  EXPECT_EQ(model.addType("ZIP", "again"), kFileTypeExistsMessage);
  EXPECT_EQ(model.addType("", "nameless"), kInputFileTypeMessage);
  EXPECT_EQ(model.types().size(), 1u);
  EXPECT_EQ(model.addType("pdf", "Documents\r\nand forms"), "");
  const Types expected{{"zip", "ZIP archive", true}, {"pdf", "Documents and forms", false}};
  EXPECT_EQ(model.types(), expected);
  EXPECT_EQ(stored(), expected);
  EXPECT_EQ(checkNewFileType("Pdf", model.types()), kFileTypeExistsMessage);
}

TEST_F(SaveDialog, DeleteAsksWithTheNameAndSaves) {
  testing::writeTextFile(ini(), "zip\r\nZ\r\n1\r\npdf\r\nP\r\n0\r\n");
  SaveDialogModel model(ini());
  model.open();
  EXPECT_EQ(model.deleteQuestion(1), "Delete the select file type: pdf ?");
  EXPECT_EQ(model.deleteQuestion(2), "");
  EXPECT_FALSE(model.deleteType(2));
  ASSERT_TRUE(model.deleteType(0));
  EXPECT_EQ(stored(), (Types{{"pdf", "P", false}}));
}

TEST_F(SaveDialog, SaveGivesCheckedNamesInListOrderAndRemembersTheChecks) {
  testing::writeTextFile(ini(), "zip\r\nZ\r\n0\r\npdf\r\nP\r\n1\r\nmp3\r\nM\r\n0\r\n");
  SaveDialogModel model(ini());
  model.open();
  model.selectAll();
  model.setChecked(1, false);
  model.setChecked(7, true);
  const auto outcome = model.save("notes.html");
  ASSERT_TRUE(outcome.accepted);
  EXPECT_EQ(outcome.selectedTypes, (std::vector<std::string>{"zip", "mp3"}));
  SaveDialogModel reopened(ini());
  reopened.open();
  EXPECT_EQ(reopened.types(), (Types{{"zip", "Z", true}, {"pdf", "P", false}, {"mp3", "M", true}}));
  reopened.unselectAll();
  EXPECT_TRUE(reopened.save("x").selectedTypes.empty());
}

TEST_F(SaveDialog, WriteFailureIsReportedButTheDialogCarriesOn) {
  testing::writeTextFile(path("plain"), "x");
  SaveDialogModel model(path("plain/filetype.ini"));
  model.open();
  EXPECT_EQ(model.addType("zip", ""), "");
  EXPECT_EQ(model.types().size(), 1u);
  EXPECT_NE(model.lastWriteError(), "");
  EXPECT_TRUE(model.save("page").accepted);
}

struct FileNameCase {
  std::string given;
  std::string fileName;  // when accepted
  std::string message;   // when refused
};

class SaveDialogFileName : public testing::IsolatedTest, public ::testing::WithParamInterface<FileNameCase> {};

TEST_P(SaveDialogFileName, GivesThePageFileNameOrTheMessage) {
  const FileNameCase& c = GetParam();
  SaveDialogModel model(path("filetype.ini"));
  model.open();
  const auto outcome = model.save(c.given);
  EXPECT_EQ(outcome.accepted, c.message.empty());
  EXPECT_EQ(outcome.message, c.message);
  EXPECT_EQ(outcome.fileName, c.fileName);
  // A refused name leaves the dialog open without writing the list.
  EXPECT_EQ(platform::pathExists(path("filetype.ini")), c.message.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, SaveDialogFileName,
    ::testing::Values(FileNameCase{"page", "page.htm", ""}, FileNameCase{"page.html", "page.html", ""},
                      FileNameCase{"page.HTM", "page.HTM", ""}, FileNameCase{"page.HTML", "page.HTML", ""},
                      FileNameCase{"page.Html", "page.Html.htm", ""}, FileNameCase{"page.htm.bak", "page.htm.bak.htm", ""},
                      FileNameCase{"New File", "New File.htm", ""}, FileNameCase{"a\\b:c", "a\\b:c.htm", ""},
                      FileNameCase{"", "", kFileNameEmptyMessage}, FileNameCase{"../x", "", kb::kInvalidLetterMessage},
                      FileNameCase{"a/b.htm", "", kb::kInvalidLetterMessage},
                      FileNameCase{".", "", kb::kInvalidLetterMessage}, FileNameCase{"..", "", kb::kInvalidLetterMessage},
                      FileNameCase{std::string("a\0b", 3), "", kb::kInvalidLetterMessage}));

}  // namespace
}  // namespace velkin::capture
