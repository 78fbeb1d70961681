// BookDialog: collects the settings of a compiled-help book. Its upper part
// is a "save as" file chooser for the book file (".chm" added to a name
// typed without extension, replacing an existing file asked first); below
// it the "Advance" panel: the topic page (with a chooser), the book title
// (preset by the caller), the language (sorted list, the first entry of
// book::kLanguageEntries selected at first) and the "Open the book" and
// "Show Progress" boxes. The two boxes are read from the user's settings
// when the dialog opens and written back when the user saves.
#pragma once

#include <QDialog>
#include <string>

#include "book/book_settings.h"
#include "platform/registry.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLineEdit;

namespace velkin::app {

class BookDialog : public QDialog {
  Q_OBJECT

 public:
  // title presets "Book Title"; the file chooser starts in folder with the
  // name "<title>.chm".
  BookDialog(platform::Registry& registry, const std::string& title, const std::string& folder,
             QWidget* parent = nullptr);

  // After the dialog was accepted.
  const book::BookSettings& settings() const { return settings_; }

  QFileDialog* fileDialog() const { return fileDialog_; }
  QLineEdit* topicEdit() const { return topicEdit_; }
  QLineEdit* titleEdit() const { return titleEdit_; }
  QComboBox* languageBox() const { return languageBox_; }
  QCheckBox* openBookBox() const { return openBookBox_; }
  QCheckBox* showProgressBox() const { return showProgressBox_; }

 private:
  QWidget* makeAdvancePanel(const std::string& title);
  void fillLanguages();
  void bookFileChosen();
  void browseTopic();

  platform::Registry& registry_;
  std::string folder_;
  book::BookSettings settings_;
  QFileDialog* fileDialog_ = nullptr;
  QLineEdit* topicEdit_ = nullptr;
  QLineEdit* titleEdit_ = nullptr;
  QComboBox* languageBox_ = nullptr;
  QCheckBox* openBookBox_ = nullptr;
  QCheckBox* showProgressBox_ = nullptr;
};

}  // namespace velkin::app
