// CKestrovaView: the content view of the main window in Edit Source mode.
// Its only child is the HTML source editor (CHtmlSourceEdit) filling it.
//
// The text comes from a page file (loadFile) or from a web page as the
// browser holds it (setSourceText; no file name). A file is read as UTF-8;
// one that is not valid UTF-8 is read byte for byte as Latin-1, and a file
// with CR LF line ends keeps them, so writing the text back changes only
// what was edited.
//
// Leaving the view with changes runs the save prompt (confirmLeave): by the
// stored choice (PromptSave, YesSave) or by asking the user, who may tick
// "Do not prompt again". Saving writes the whole text to the file through a
// temporary file. Text without a file name is saved to a file the user
// picks. A text that could not be written (no file picked, or the write
// failed) is never dropped without the user's word: they are asked whether
// to leave it anyway, and otherwise it stays on screen.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "platform/registry.h"

class CHtmlSourceEdit;

class CKestrovaView : public QWidget {
  Q_OBJECT

 public:
  // The answer to the save question.
  struct SaveAnswer {
    bool save = false;
    bool doNotAskAgain = false;
  };
  struct Seams {
    // The save question (Yes/No with "Do not prompt again").
    std::function<SaveAnswer()> askSave;
    // A file to save text without a file name to ("" for Cancel).
    std::function<QString(const QString& proposed)> chooseSavePath;
    // A Yes/No question; true for Yes.
    std::function<bool(const char* caption, const QString& text)> ask;
  };

  explicit CKestrovaView(velkin::platform::Registry& registry, QWidget* parent = nullptr);

  // Replaces the seams that are set in seams.
  void setSeams(Seams seams);

  // Shows the file at path and makes it the file name. False, with the view
  // and the file name unchanged, when path is empty or cannot be read.
  bool loadFile(const QString& path);
  // Shows text taken from a web page; the file name is cleared.
  void setSourceText(const QString& text);
  const QString& fileName() const { return fileName_; }
  CHtmlSourceEdit* edit() const { return edit_; }
  bool isModified() const;

  // The save prompt before the view goes. True when the view may go: the
  // text had no changes, was written, was to be discarded, or the user
  // chose to leave it unwritten.
  bool confirmLeave();
  // Writes the text to path; "" when done, else the reason.
  QString writeTo(const QString& path);

 private:
  // Saves the text (to its file, or one the user picks); true when written
  // or when the user leaves it unwritten.
  bool saveOrLetGo();

  velkin::platform::Registry& registry_;
  CHtmlSourceEdit* edit_ = nullptr;
  Seams seams_;
  QString fileName_;
  bool latin1_ = false;
  bool crLf_ = false;
};
