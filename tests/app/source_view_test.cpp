// The HTML source view: colouring rules (a line on its own, lines of a whole
// text with what stays open carried on, typing), the editor's colours and
// context menu, the Find dialog's searches and its stored lists, and the
// save prompt when the source is left with changes.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/find_dialog.h"
#include "app/html_source_edit.h"
#include "app/source_colouring.h"
#include "app/source_settings.h"
#include "app/source_view.h"
#include "kb/book_dir.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::app {
namespace {

using platform::Registry;
using platform::RegistryRoot;

constexpr int kColourTimeoutMs = 20000;

// One letter per character: N normal, T tag, Q quoted, C comment.
std::string letters(const std::vector<SourceFormat>& formats) {
  std::string out;
  for (const SourceFormat format : formats) out += "NTQC"[static_cast<int>(format)];
  return out;
}

std::string lettersOf(std::u16string_view line, const SourceSpans& spans) {
  return letters(resolveSpans(static_cast<int>(line.size()), spans));
}

// ---------------------------------------------------------------- rules

TEST(SourceColouring, ALineOnItsOwnColoursTagsThenQuotesThenComments) {
  struct Case {
    std::u16string line;
    const char* expected;
  };
  const Case cases[] = {
      {u"<a href=\"x\">t", "TTTTTTTTQQQTN"},
      {u"x <!-- <b> --> y", "NNCCCCCCCCCCCCNN"},
      {u"say \"hi\" <i", "NNNNQQQQNTT"},  // a tag with no ">" runs to the end of the line
      {u"<!--a--><!--b", "CCCCCCCCCCCCC"},  // a comment opening right after one closed
      {u"plain", "NNNNN"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lettersOf(c.line, lineSpans(c.line)), c.expected) << std::string(c.line.begin(), c.line.end());
  }
  EXPECT_TRUE(lineSpans(u"").empty());
}

TEST(SourceColouring, AWholeTextCarriesOpenTagsCommentsAndQuotesToTheNextLines) {
  struct Case {
    const char* name;
    std::vector<std::u16string> lines;
    std::vector<const char*> expected;
    CarriedState after;
  };
  const Case cases[] = {
      {"tag over two lines", {u"<a", u"href=x>text"}, {"TT", "TTTTTTTNNNN"}, {}},
      {"comment over three lines",
       {u"a <!-- one", u"", u"two", u"three --> <b>"},
       {"NNCCCCCCCC", "", "CCC", "CCCCCCCCCNTTT"},
       {}},
      {"comment left open", {u"<!-- <a", u"x"}, {"CCCCCCC", "C"}, {true, false, false}},
      {"quote left open inside a tag", {u"<a title=\"one", u"two\" x>"}, {"TTTTTTTTTQQQQ", "TTTTTTT"}, {}},
      {"quote opened in text", {u"say \"one", u"two\" <b>"}, {"NNNNQQQQ", "QQQQNTTT"}, {}},
  };
  for (const Case& c : cases) {
    CarriedState state;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(lettersOf(c.lines[i], carriedLineSpans(c.lines[i], state)), c.expected[i]) << c.name << " line " << i;
    }
    EXPECT_EQ(state, c.after) << c.name;
  }
}

TEST(SourceColouring, TypingAnOpeningCommentKeepsEverythingCommentUntilItCloses) {
  SourceTyping typing;
  std::vector<SourceTyping::Effect> effects;
  for (const char16_t c : std::u16string(u"<!--ab\"<x>-->y")) effects.push_back(typing.type(c, true));
  EXPECT_EQ(effects[0].insertionFormat, SourceFormat::Tag);
  EXPECT_TRUE(effects[3].colourOpeningAsComment) << "the fourth character completes <!--";
  for (std::size_t i = 3; i < 13; ++i) EXPECT_EQ(effects[i].insertionFormat.value_or(SourceFormat::Comment),
                                                 SourceFormat::Comment) << i;
  EXPECT_EQ(effects[13].insertionFormat, SourceFormat::Normal) << "after --> the text is normal again";
  EXPECT_EQ(typing.state(), CarriedState{});

  SourceTyping inText;
  inText.type(u'a', false);
  EXPECT_TRUE(inText.lineDirty()) << "typing inside the text colours the line afterwards";
  inText.type(u'b', true);
  EXPECT_FALSE(inText.lineDirty());
  EXPECT_EQ(inText.type(u'"', true).insertionFormat, SourceFormat::Quoted);
  EXPECT_EQ(inText.type(u'>', true).insertionFormat, std::nullopt) << "no tag mark inside a quote";
  EXPECT_EQ(inText.type(u'"', true).insertionFormat, SourceFormat::Quoted);
  EXPECT_EQ(inText.type(u'>', true).insertionFormat, SourceFormat::Tag);
  EXPECT_EQ(inText.type(u'z', true).insertionFormat, SourceFormat::Normal) << "a > in plain text opens no tag";
}

// ---------------------------------------------------------------- the editor

class SourceViewTest : public testing::IsolatedTest {
 protected:
  SourceViewTest() : registry_(configDir()) {
    view_ = std::make_unique<CKestrovaView>(registry_);
    CKestrovaView::Seams seams;
    seams.askSave = [this] {
      ++questions_;
      return answer_;
    };
    seams.chooseSavePath = [this](const QString&) { return chosenPath_; };
    seams.ask = [this](const char*, const QString& text) {
      asked_.push_back(text);
      return leaveAnyway_;
    };
    view_->setSeams(std::move(seams));
    view_->resize(600, 400);
  }

  CHtmlSourceEdit* edit() const { return view_->edit(); }
  std::string formatsOf(int from, int length) const {
    std::vector<SourceFormat> formats;
    for (int i = from; i < from + length; ++i) formats.push_back(edit()->formatAt(i));
    return letters(formats);
  }
  void show(const QString& text) {
    QSignalSpy coloured(edit(), &CHtmlSourceEdit::wholeTextColoured);
    view_->setSourceText(text);
    ASSERT_TRUE(!coloured.isEmpty() || coloured.wait(kColourTimeoutMs));
  }
  void select(int start, int end) {
    QTextCursor cursor = edit()->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    edit()->setTextCursor(cursor);
  }
  // The colour the editor shows at a position, from its line's formats.
  QColor shownColour(int position) const {
    const QTextBlock block = edit()->document()->findBlock(position);
    for (const auto& range : block.layout()->formats()) {
      const int offset = position - block.position();
      if (offset >= range.start && offset < range.start + range.length) return range.format.foreground().color();
    }
    return edit()->palette().color(QPalette::Text);
  }

  Registry registry_;
  std::unique_ptr<CKestrovaView> view_;
  int questions_ = 0;
  CKestrovaView::SaveAnswer answer_;
  QString chosenPath_;
  bool leaveAnyway_ = false;
  std::vector<QString> asked_;
};

TEST_F(SourceViewTest, AWholeTextIsColouredInSlicesWithTheFourColours) {
  QString text;
  for (int i = 0; i < 20000; ++i) text += QStringLiteral("<p class=\"c%1\">line <!-- note --> %1</p>\n").arg(i);
  text += QStringLiteral("<a\nhref=x>end");
  QSignalSpy coloured(edit(), &CHtmlSourceEdit::wholeTextColoured);
  view_->setSourceText(text);
  EXPECT_TRUE(edit()->isColouring()) << "a large text is coloured from the event loop";
  ASSERT_TRUE(coloured.wait(kColourTimeoutMs));
  EXPECT_FALSE(view_->isModified()) << "colours are no edit";
  EXPECT_FALSE(edit()->document()->isUndoAvailable());

  const int last = static_cast<int>(text.size());
  EXPECT_EQ(formatsOf(last - 13, 13), "TTNTTTTTTTNNN") << "the tag over the last two lines";
  EXPECT_EQ(shownColour(0), QColor(128, 0, 0));
  EXPECT_EQ(shownColour(text.indexOf('"')), QColor(0, 128, 128));
  EXPECT_EQ(shownColour(text.indexOf("<!--")), QColor(0, 128, 0));
  EXPECT_EQ(shownColour(text.indexOf("line")), QColor(0, 0, 0));
  EXPECT_EQ(edit()->font().pointSize(), 10);
}

TEST_F(SourceViewTest, TypedTextFollowsTheTypingStateAndEditsInsideRecolourTheLine) {
  show(QStringLiteral("<b>x</b>"));
  edit()->moveCursor(QTextCursor::End);
  QTest::keyClicks(edit(), QStringLiteral(" <!--note"));
  EXPECT_EQ(formatsOf(8, 9), "NCCCCCCCC") << "<!-- and what follows are comment";
  QTest::keyClicks(edit(), QStringLiteral(" <a> -->"));
  EXPECT_EQ(formatsOf(17, 8), "CCCCCCCC") << "a tag inside the comment stays comment";
  QTest::keyClicks(edit(), QStringLiteral("z \"q\""));
  EXPECT_EQ(formatsOf(25, 5), "NNQQQ");

  // An edit inside the text colours its line from the rules alone.
  QTextCursor cursor = edit()->textCursor();
  cursor.setPosition(1);
  edit()->setTextCursor(cursor);
  QTest::keyClicks(edit(), QStringLiteral("i>"));
  EXPECT_EQ(formatsOf(0, 4), "TTTN") << "<i> is a tag, the b> after it is text";
  EXPECT_TRUE(view_->isModified());

  QTest::keyClick(edit(), Qt::Key_Tab);
  EXPECT_EQ(edit()->toPlainText().mid(3, 1), QStringLiteral("\t")) << "Tab goes into the text";
}

TEST_F(SourceViewTest, TheContextMenuEnablesUndoAndPasteOnlyWhenTheyCanRun) {
  show(QStringLiteral("<p>one two</p>"));
  QApplication::clipboard()->clear();
  const auto enabled = [this](CHtmlSourceEdit::Command command) {
    std::unique_ptr<QMenu> menu(edit()->createContextMenu(nullptr));
    const auto* item = menu->findChild<QAction*>(QStringLiteral("command%1").arg(static_cast<int>(command)));
    return item != nullptr && item->isEnabled();
  };
  EXPECT_FALSE(enabled(CHtmlSourceEdit::Command::Undo));
  EXPECT_FALSE(enabled(CHtmlSourceEdit::Command::Paste));
  EXPECT_TRUE(enabled(CHtmlSourceEdit::Command::Find));

  select(3, 7);
  edit()->runCommand(CHtmlSourceEdit::Command::Cut);
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("<p>two</p>"));
  EXPECT_TRUE(enabled(CHtmlSourceEdit::Command::Undo));
  EXPECT_TRUE(enabled(CHtmlSourceEdit::Command::Paste));
  select(3, 6);
  edit()->runCommand(CHtmlSourceEdit::Command::Delete);
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("<p></p>"));
  edit()->runCommand(CHtmlSourceEdit::Command::Paste);
  edit()->runCommand(CHtmlSourceEdit::Command::Undo);
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("<p></p>"));
  edit()->runCommand(CHtmlSourceEdit::Command::ReplaceAll);
  EXPECT_TRUE(edit()->findDialog()->isVisible());
}

// ---------------------------------------------------------------- Find

TEST_F(SourceViewTest, FindNextGoesOnAfterTheLastMatchAndANewTextStartsAtTheTop) {
  show(QStringLiteral("cat dog cat dog cat"));
  CFindDialog* find = edit()->findDialog();
  find->findBox()->setEditText(QStringLiteral("cat"));
  ASSERT_TRUE(find->findNext());
  EXPECT_EQ(edit()->textCursor().selectionStart(), 0);
  ASSERT_TRUE(find->findNext());
  EXPECT_EQ(edit()->textCursor().selectionStart(), 8) << "the same text again: the second one";
  find->findBox()->setEditText(QStringLiteral("dog"));
  ASSERT_TRUE(find->findNext());
  EXPECT_EQ(edit()->textCursor().selectionStart(), 4) << "another text starts at the top";

  // Up searches from the selection towards the top.
  select(16, 19);
  find->upButton()->setChecked(true);
  find->findBox()->setEditText(QStringLiteral("cat"));
  ASSERT_TRUE(find->findNext());
  EXPECT_EQ(edit()->textCursor().selectionStart(), 8);
  ASSERT_TRUE(find->findNext());
  EXPECT_EQ(edit()->textCursor().selectionStart(), 0);
  EXPECT_FALSE(find->findNext());
  EXPECT_EQ(edit()->textCursor().selectionStart(), 0) << "no match leaves the selection";

  find->downButton()->setChecked(true);
  find->matchWordBox()->setChecked(true);
  find->findBox()->setEditText(QStringLiteral("ca"));
  EXPECT_FALSE(find->findNext()) << "whole words only";
  find->matchWordBox()->setChecked(false);
  find->matchCaseBox()->setChecked(true);
  find->findBox()->setEditText(QStringLiteral("CAT"));
  EXPECT_FALSE(find->findNext()) << "case matters";
}

TEST_F(SourceViewTest, ReplaceAllWithALongerTextContainingTheFoundOneEndsAfterOnePass) {
  show(QStringLiteral("a-b a-b\na-b"));
  CFindDialog* find = edit()->findDialog();
  find->findBox()->setEditText(QStringLiteral("a-b"));
  find->replaceBox()->setEditText(QStringLiteral("[a-b a-b]"));
  EXPECT_EQ(find->replaceAll(), 3);
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("[a-b a-b] [a-b a-b]\n[a-b a-b]"));
  edit()->undo();
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("a-b a-b\na-b")) << "one undo step";

  find->replaceBox()->setEditText(QStringLiteral("xa-b"));
  EXPECT_TRUE(find->replace());
  EXPECT_TRUE(find->replace());
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("xa-b xa-b\na-b")) << "Replace goes on after its replacement";
}

TEST_F(SourceViewTest, TheFindListsAreStoredMostRecentFirstAndAtMost51) {
  FindOptions stored;
  for (int i = 0; i < 60; ++i) stored.findTexts.push_back("text" + std::to_string(i));
  stored.replaceTexts = {std::string(300, 'r')};
  stored.up = true;
  auto key = registry_.createKey(RegistryRoot::Machine, std::string(kFindOptionsKey) + "\\FindText");
  key->writeString("70", "left by another program");
  storeFindOptions(registry_, stored);
  EXPECT_EQ(key->values().size(), kMaxFindEntries);
  EXPECT_EQ(key->readString("50"), "text50");

  show(QStringLiteral("one two"));
  CFindDialog* find = edit()->findDialog();
  EXPECT_TRUE(find->upButton()->isChecked());
  EXPECT_EQ(find->findBox()->count(), 51);
  EXPECT_EQ(find->replaceBox()->itemText(0).size(), 260) << "entries are read up to 260 characters";
  find->findBox()->setEditText(QStringLiteral("two"));
  find->findNext();
  find->findBox()->setEditText(QStringLiteral("tex"));  // text0 begins with it: not added
  find->findNext();
  find->closeDialog();
  EXPECT_FALSE(find->isVisible());
  const FindOptions back = readFindOptions(registry_);
  ASSERT_EQ(back.findTexts.size(), kMaxFindEntries);
  EXPECT_EQ(back.findTexts[0], "two");
  EXPECT_EQ(back.findTexts[1], "text0");
  EXPECT_TRUE(back.up);
  EXPECT_EQ(firstCharacters("\xc3\xa9t\xc3\xa9", 2), "\xc3\xa9t");
}

// ---------------------------------------------------------------- saving

TEST_F(SourceViewTest, TheStoredChoiceOrTheAnswerDecidesWhetherChangesAreSaved) {
  const std::string file = path("kb/page.htm");
  testing::writeTextFile(file, "<p>old</p>\n");
  const auto editAndLeave = [&] {
    EXPECT_TRUE(view_->loadFile(QString::fromStdString(file)));
    edit()->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit(), QStringLiteral("new"));
    return view_->confirmLeave();
  };

  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kPromptSaveValue, 1);
  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kYesSaveValue, 0);
  EXPECT_TRUE(editAndLeave());
  EXPECT_EQ(questions_, 0) << "PromptSave=1: no question";
  EXPECT_EQ(testing::readTextFile(file), "<p>old</p>\n") << "YesSave=0: discarded";

  registry_.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, kPromptSaveValue, 0);
  answer_ = {true, true};
  EXPECT_TRUE(editAndLeave());
  EXPECT_EQ(questions_, 1);
  EXPECT_EQ(testing::readTextFile(file), "<p>old</p>\nnew");
  EXPECT_EQ(registry_.readDword(RegistryRoot::Machine, kb::kKestrovaKey, kPromptSaveValue), 1u);
  EXPECT_EQ(registry_.readDword(RegistryRoot::Machine, kb::kKestrovaKey, kYesSaveValue), 1u);
  EXPECT_TRUE(view_->confirmLeave()) << "nothing changed since: nothing to ask";
  EXPECT_EQ(questions_, 1);
}

TEST_F(SourceViewTest, TextThatCannotBeWrittenStaysUnlessTheUserLetsItGo) {
  // Taken from a web page: written where the user says.
  show(QStringLiteral("<p>web</p>"));
  QTest::keyClicks(edit(), QStringLiteral("x"));
  answer_ = {true, false};
  chosenPath_ = QString::fromStdString(path("chosen.htm"));
  EXPECT_TRUE(view_->confirmLeave());
  EXPECT_EQ(testing::readTextFile(path("chosen.htm")), "x<p>web</p>");

  // No file chosen, then a file that cannot be written: asked each time.
  QTest::keyClicks(edit(), QStringLiteral("y"));
  chosenPath_.clear();
  EXPECT_FALSE(view_->confirmLeave()) << "the user keeps the text";
  EXPECT_TRUE(view_->isModified());
  testing::writeTextFile(path("file"), "");
  EXPECT_FALSE(view_->writeTo(QString::fromStdString(path("file/under-a-file.htm"))).isEmpty());
  leaveAnyway_ = true;
  EXPECT_TRUE(view_->confirmLeave());
  EXPECT_EQ(asked_.size(), 2u);
}

TEST_F(SourceViewTest, AFileIsWrittenBackByteForByteExceptWhereEdited) {
  const std::string file = path("latin.htm");
  testing::writeTextFile(file, "<p>caf\xe9\xa0</p>\r\n<p>two</p>\r\n");
  EXPECT_FALSE(view_->loadFile(QString::fromStdString(path("missing.htm"))));
  ASSERT_TRUE(view_->loadFile(QString::fromStdString(file)));
  EXPECT_EQ(view_->fileName(), QString::fromStdString(file));
  edit()->moveCursor(QTextCursor::End);
  QTest::keyClicks(edit(), QStringLiteral("3"));
  EXPECT_EQ(view_->writeTo(QString::fromStdString(file)), QString());
  EXPECT_EQ(testing::readTextFile(file), "<p>caf\xe9\xa0</p>\r\n<p>two</p>\r\n3");
  EXPECT_FALSE(view_->isModified());

  edit()->insertPlainText(QString(QChar(0x4e2d)));
  EXPECT_FALSE(view_->writeTo(QString::fromStdString(file)).isEmpty()) << "Latin-1 cannot hold it";
  EXPECT_EQ(testing::readTextFile(file), "<p>caf\xe9\xa0</p>\r\n<p>two</p>\r\n3");
}

}  // namespace
}  // namespace velkin::app
