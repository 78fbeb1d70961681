// CFindDialog: the modeless Find dialog of the HTML source editor (Find
// what, Replace with, Match case, Match whole word only, direction Up or
// Down; Find Next, Replace, Replace All, Close). It belongs to its editor
// and lives as long as it; Close only hides it.
//
// Searching down starts at the top of the text, or right after the last
// match when the text searched for is the same as last time (after the last
// match, or a search that found nothing, the next one starts at the top
// again). Searching up starts at the start of the editor's selection and
// goes towards the top. Replace searches like Find Next and replaces the
// match it finds; Replace All repeats that, each search starting right after
// the replacement just inserted, so a replacement containing the text
// searched for ends after one pass. All of a Replace All is one undo step.
//
// A text searched or replaced with goes to the top of its list unless an
// entry of the list already begins with it (case ignored). The options and
// the lists are read from the settings store when the dialog is made and
// written when it is closed (source_settings.h).
#pragma once

#include <QDialog>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <optional>

#include "platform/registry.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class CFindDialog : public QDialog {
  Q_OBJECT

 public:
  CFindDialog(velkin::platform::Registry& registry, QPlainTextEdit* editor);

  QComboBox* findBox() const { return findBox_; }
  QComboBox* replaceBox() const { return replaceBox_; }
  QCheckBox* matchCaseBox() const { return matchCase_; }
  QCheckBox* matchWordBox() const { return matchWord_; }
  QRadioButton* upButton() const { return up_; }
  QRadioButton* downButton() const { return down_; }

 public slots:
  // True when a match was found (and selected).
  bool findNext();
  bool replace();
  // The number of replacements made.
  int replaceAll();
  // Stores the options and the lists, then hides the dialog.
  void closeDialog();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QTextDocument::FindFlags flags() const;
  // Where a search for text starts.
  int searchStart(const QString& text) const;
  // The next match of text from its search start, noting the search.
  QTextCursor search(const QString& text);
  void remember(QComboBox* list, const QString& text);

  velkin::platform::Registry& registry_;
  QPlainTextEdit* editor_;
  QComboBox* findBox_ = nullptr;
  QComboBox* replaceBox_ = nullptr;
  QCheckBox* matchCase_ = nullptr;
  QCheckBox* matchWord_ = nullptr;
  QRadioButton* up_ = nullptr;
  QRadioButton* down_ = nullptr;
  // The text of the last search and where a downward search of it goes on.
  QString lastText_;
  std::optional<int> resumeAt_;
};
